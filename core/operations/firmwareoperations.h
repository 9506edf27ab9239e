#pragma once

#include "core/adapter/deviceinfo.h"
#include "core/operations/operationresult.h"

#include <QString>

#include <cstdint>

namespace korvane {

class AdapterLibrary;
class Clock;

// Firmware data goes to the adapter in blocks of this size.
constexpr int kFirmwareBlockSize = 5120;
// Waits for the restarting adapter: tries, and the sleep before each try.
constexpr int kAdapterWaitTries = 52;
constexpr int kReappearSleepMs = 500;
constexpr int kReopenSleepMs = 100;
// How often the upgrade jumps into the upgrade code before giving up on an adapter that keeps
// reporting that it runs its application.
constexpr int kMaxUpgradeJumps = 3;

struct FirmwareInfo
{
    DEVICE_INFO info{};
    char functions[kDeviceFunctionsTextSize] = {};
};

// The adapter's own report: NoAdapter, OpenFailed or FirmwareInfoFailed when it cannot be had.
OperationResult readFirmwareInfo(AdapterLibrary& adapter, int deviceIndex, FirmwareInfo* info);

// "v<major>.<minor>.<patch>" from a packed version (major bits 31..24, minor 23..16, patch 15..0).
QString firmwareVersionText(std::uint32_t packed);
// A text field read up to its first NUL, never past its size; UTF-8.
QString firmwareFieldText(const char* field, int size);

// The steps of an upgrade, in order, with the progress value each starts at.
enum class UpgradeStep
{
    FindingDevice,       // 10
    OpeningDevice,       // 20
    ReadingInfo,         // 30
    EnteringUpgradeMode, // 40
    CheckingFile,        // 50
    Erasing,             // 60
    Writing,             // 60 on, as blocks are written
};

class UpgradeProgress
{
public:
    virtual ~UpgradeProgress() = default;
    virtual void stepStarted(UpgradeStep step, int value) = 0;
    // After each block of the image: the progress value, 60 to 100.
    virtual void blockWritten(int value) = 0;
    // The adapter found the written image's MD5 value wrong; called before the adapter is closed.
    virtual void md5CheckFailed() {}
};

// Replaces the adapter's firmware with the image in the file at path, whose last 16 bytes are the
// MD5 value of the rest: restarts the adapter into its upgrade code (waiting for it to come back),
// erases the application area, writes the image in blocks and its MD5 value behind it, has the
// adapter check it, and starts it.
OperationResult upgradeFirmware(AdapterLibrary& adapter, Clock& clock, int deviceIndex, const QString& path,
                                UpgradeProgress& progress);

} // namespace korvane
