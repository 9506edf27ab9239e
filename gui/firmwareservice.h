#pragma once

#include "core/adapter/deviceinfo.h"
#include "core/operations/firmwareoperations.h"

#include <QString>

#include <cstdint>

class QWidget;

namespace korvane {

class AdapterLibrary;
class Clock;
class UserInteraction;

// The text of the firmware information box. Every text is read up to its first NUL and never past
// the end of its field; functions holds functionsSize bytes.
QString firmwareInfoText(const DEVICE_INFO& info, const char* functions,
                         int functionsSize = kDeviceFunctionsTextSize);

// The adapter's firmware service as the main window offers it: the information box and the
// upgrade from an image file. Every outcome ends in one message box with parent as its parent.
class FirmwareService
{
public:
    FirmwareService(AdapterLibrary& adapter, UserInteraction& ui, Clock& clock, QWidget* parent);

    // Returns true when the information box was shown.
    bool showFirmwareInfo(int deviceIndex);
    // Returns true when the new firmware was written, checked and started.
    bool upgradeFirmware(int deviceIndex);

private:
    void warn(const char* text);

    AdapterLibrary& adapter;
    UserInteraction& ui;
    Clock& clock;
    QWidget* parent;
};

} // namespace korvane
