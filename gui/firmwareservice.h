#pragma once

#include "core/adapter/deviceinfo.h"

#include <QString>

#include <cstdint>

class AdapterLibrary;
class Clock;
class ProgressDialog;
class QWidget;
class UserInteraction;

// Adapter memory used by the upgrade: the upgrade code's entry and the application area.
constexpr std::uint32_t kUpgradeCodeAddress = 0x08000000;
constexpr std::uint32_t kFirmwareApplicationAddress = 0x08020000;
// Firmware data goes to the adapter in blocks of this size; the image ends with its MD5 value.
constexpr int kFirmwareBlockSize = 5120;
constexpr int kFirmwareMd5Size = 16;
// Waits for the restarting adapter: tries, and the sleep before each try.
constexpr int kAdapterWaitTries = 52;
constexpr int kReappearSleepMs = 500;
constexpr int kReopenSleepMs = 100;
// How often the upgrade jumps into the upgrade code before giving up on an adapter that keeps
// reporting that it runs its application.
constexpr int kMaxUpgradeJumps = 3;

// "v<major>.<minor>.<patch>" from a packed version (major bits 31..24, minor 23..16, patch 15..0).
QString firmwareVersionText(std::uint32_t packed);

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
    // Null when the adapter runs its upgrade code and is open again; otherwise the warning to show.
    const char* enterUpgradeMode(int deviceIndex, DEVICE_INFO& info, char* functions);
    bool fail(ProgressDialog& progress, const char* text);
    void warn(const char* text);

    AdapterLibrary& adapter;
    UserInteraction& ui;
    Clock& clock;
    QWidget* parent;
};
