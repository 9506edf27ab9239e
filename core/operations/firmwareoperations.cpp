#include "core/operations/firmwareoperations.h"

#include "core/adapter/adapterlibrary.h"
#include "core/adapter/firmwarelayout.h"
#include "core/base/clock.h"
#include "core/base/fileaccess.h"

#include <QFile>

#include <memory>
#include <new>

namespace korvane {

namespace {

// Whole image: at least one data byte in front of the MD5 value, and small enough that the end of
// the erased range still fits the adapter's 32-bit addresses.
constexpr qint64 kMinImageLength = kFirmwareMd5Size + 1;
constexpr qint64 kMaxImageLength = qint64(0xFFFFFFFFu) - kFirmwareApplicationAddress;

// Runs attempt up to tries times, each after a sleep of sleepMs; true as soon as it succeeds.
template <typename Attempt> bool retry(Clock& clock, int tries, int sleepMs, Attempt attempt)
{
    for (int i = 0; i < tries; ++i) {
        clock.sleep(sleepMs);
        if (attempt())
            return true;
    }
    return false;
}

// Restarts the adapter into its upgrade code until it reports running it, and opens it again.
OperationResult enterUpgradeMode(AdapterLibrary& adapter, Clock& clock, int deviceIndex, FirmwareInfo& info)
{
    for (int jumps = 0; !(info.info.ModeFlags & 1u); ++jumps) {
        // An adapter that never reports its upgrade code would keep the command jumping forever.
        if (jumps == kMaxUpgradeJumps)
            return operationFailure(OperationStatus::FirmwareInfoFailed);
        adapter.jumpToAddress(deviceIndex, kUpgradeCodeAddress);
        adapter.closeDevice(deviceIndex);
        if (!retry(clock, kAdapterWaitTries, kReappearSleepMs,
                   [&] { return adapter.scanDevices(nullptr) > 0; }))
            return operationFailure(OperationStatus::NoAdapter);
        if (!retry(clock, kAdapterWaitTries, kReopenSleepMs, [&] { return adapter.openDevice(deviceIndex); }))
            return operationFailure(OperationStatus::OpenFailed);
        // A failed read leaves the record as it was; the mode bit then asks for another jump.
        info.functions[0] = 0;
        adapter.getDeviceInfo(deviceIndex, &info.info, info.functions);
    }
    return OperationResult{};
}

} // namespace

QString firmwareVersionText(std::uint32_t packed)
{
    return QString::asprintf("v%d.%d.%d", int(packed >> 24), int((packed >> 16) & 0xFF),
                             int(packed & 0xFFFF));
}

QString firmwareFieldText(const char* field, int size)
{
    return QString::fromUtf8(field, static_cast<int>(qstrnlen(field, static_cast<uint>(size))));
}

OperationResult readFirmwareInfo(AdapterLibrary& adapter, int deviceIndex, FirmwareInfo* info)
{
    if (deviceIndex >= adapter.scanDevices(nullptr))
        return operationFailure(OperationStatus::NoAdapter);
    if (!adapter.openDevice(deviceIndex))
        return operationFailure(OperationStatus::OpenFailed, adapter.openError(deviceIndex));
    if (!adapter.getDeviceInfo(deviceIndex, &info->info, info->functions))
        return operationFailure(OperationStatus::FirmwareInfoFailed);
    return OperationResult{};
}

OperationResult upgradeFirmware(AdapterLibrary& adapter, Clock& clock, int deviceIndex, const QString& path,
                                UpgradeProgress& progress)
{
    FirmwareInfo info;
    // Only a regular file: a FIFO would block until something writes to it.
    QFile file;
    if (!openRegularFile(file, path, nullptr))
        return operationFailure(OperationStatus::FirmwareFileUnreadable);

    progress.stepStarted(UpgradeStep::FindingDevice, 10);
    if (adapter.scanDevices(nullptr) <= 0)
        return operationFailure(OperationStatus::NoAdapter);

    progress.stepStarted(UpgradeStep::OpeningDevice, 20);
    if (!adapter.openDevice(deviceIndex))
        return operationFailure(OperationStatus::OpenFailed, adapter.openError(deviceIndex));
    // Before anything is changed: an adapter without the service is told so at once.
    if (!adapter.hasFirmwareUpgrade(deviceIndex))
        return operationFailure(OperationStatus::NoFirmwareUpgrade);

    progress.stepStarted(UpgradeStep::ReadingInfo, 30);
    info.functions[0] = 0;
    if (!adapter.getDeviceInfo(deviceIndex, &info.info, info.functions))
        return operationFailure(OperationStatus::FirmwareInfoFailed);

    progress.stepStarted(UpgradeStep::EnteringUpgradeMode, 40);
    const OperationResult entered = enterUpgradeMode(adapter, clock, deviceIndex, info);
    if (!entered.ok())
        return entered;

    // The image is read whole; too short or too long an image is refused at the file check below
    // and never read.
    const qint64 length = file.size();
    const bool usableLength = length >= kMinImageLength && length <= kMaxImageLength;
    std::unique_ptr<std::uint8_t[]> image;
    if (usableLength) {
        image.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(length)]);
        if (!image)
            return operationFailure(OperationStatus::OutOfMemory);
        if (!file.seek(0) || file.read(reinterpret_cast<char*>(image.get()), length) != length)
            return operationFailure(OperationStatus::FirmwareFileUnreadable);
    }
    file.close();

    progress.stepStarted(UpgradeStep::CheckingFile, 50);
    if (!usableLength || !adapter.checkFirmwareFile(QFile::encodeName(path).constData()))
        return operationFailure(OperationStatus::FirmwareFileRejected);

    const auto imageLength = static_cast<std::uint32_t>(length);
    const std::uint32_t dataLength = imageLength - kFirmwareMd5Size;

    progress.stepStarted(UpgradeStep::Erasing, 60);
    if (!adapter.eraseFirmware(deviceIndex, kFirmwareApplicationAddress,
                               kFirmwareApplicationAddress + imageLength))
        return operationFailure(OperationStatus::FirmwareEraseFailed);

    progress.stepStarted(UpgradeStep::Writing, -1);
    const std::uint32_t fullBlocks = dataLength / kFirmwareBlockSize;
    for (std::uint32_t i = 0; i < fullBlocks; ++i) {
        const std::uint32_t offset = i * kFirmwareBlockSize;
        if (!adapter.writeFirmware(deviceIndex, kFirmwareApplicationAddress + offset, image.get() + offset,
                                   kFirmwareBlockSize, 1))
            return operationFailure(OperationStatus::FirmwareWriteFailed);
        progress.blockWritten(static_cast<int>(60 + (qint64(i + 1) * 204800) / dataLength));
    }
    const std::uint32_t tail = dataLength % kFirmwareBlockSize;
    if (tail != 0) {
        const std::uint32_t offset = fullBlocks * kFirmwareBlockSize;
        if (!adapter.writeFirmware(deviceIndex, kFirmwareApplicationAddress + offset, image.get() + offset,
                                   tail, 1))
            return operationFailure(OperationStatus::FirmwareWriteFailed);
        progress.blockWritten(100);
    }

    if (!adapter.writeFirmware(deviceIndex, kFirmwareApplicationAddress + dataLength,
                               image.get() + dataLength, kFirmwareMd5Size, 0))
        return operationFailure(OperationStatus::FirmwareMd5WriteFailed);

    if (!adapter.checkFirmwareMd5(deviceIndex, kFirmwareApplicationAddress, dataLength)) {
        progress.md5CheckFailed();
        adapter.closeDevice(deviceIndex);
        return operationFailure(OperationStatus::FirmwareMd5Mismatch);
    }

    adapter.jumpToAddress(deviceIndex, kFirmwareApplicationAddress);
    adapter.closeDevice(deviceIndex);
    return OperationResult{};
}

} // namespace korvane
