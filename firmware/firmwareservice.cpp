#include "firmware/firmwareservice.h"

#include "common/clock.h"
#include "common/fileaccess.h"
#include "common/userinteraction.h"
#include "flash/adapter/adapterlibrary.h"

#include <QCoreApplication>
#include <QFile>

#include <memory>
#include <new>

namespace {

const char* const kWarningTitle = "警告";

// Whole image: at least one data byte in front of the MD5 value, and small enough that the end of
// the erased range still fits the adapter's 32-bit addresses.
constexpr qint64 kMinImageLength = kFirmwareMd5Size + 1;
constexpr qint64 kMaxImageLength = qint64(0xFFFFFFFFu) - kFirmwareApplicationAddress;

QString fieldText(const char* field, int size)
{
    return QString::fromUtf8(field, static_cast<int>(qstrnlen(field, static_cast<uint>(size))));
}

// Keeps the progress dialog from outliving the command on any path.
class ProgressGuard
{
public:
    explicit ProgressGuard(std::unique_ptr<ProgressDialog> dialog) : dialog(std::move(dialog)) {}
    ~ProgressGuard()
    {
        if (dialog->isVisible())
            dialog->close();
    }
    ProgressDialog& operator*() const { return *dialog; }
    ProgressDialog* operator->() const { return dialog.get(); }

private:
    std::unique_ptr<ProgressDialog> dialog;
};

void step(ProgressDialog& progress, const QString& label, int value)
{
    progress.setLabelText(label);
    progress.setValue(value);
    QCoreApplication::processEvents();
}

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

} // namespace

QString firmwareVersionText(std::uint32_t packed)
{
    return QString::asprintf("v%d.%d.%d", int(packed >> 24), int((packed >> 16) & 0xFF),
                             int(packed & 0xFFFF));
}

QString firmwareInfoText(const DEVICE_INFO& info, const char* functions, int functionsSize)
{
    QString text;
    text += QStringLiteral("固件名称: ") + fieldText(info.FirmwareName, sizeof info.FirmwareName) + '\n';
    text += QStringLiteral("编译日期: ") + fieldText(info.BuildDate, sizeof info.BuildDate) + '\n';
    text += QStringLiteral("固件版本: ") + firmwareVersionText(info.FirmwareVersion) + '\n';
    text += QStringLiteral("硬件版本: ") + firmwareVersionText(info.HardwareVersion) + '\n';
    text += QStringLiteral("设备序号: ");
    for (std::uint32_t word : info.SerialNumber)
        text += QString::asprintf("%08X", word);
    text += '\n';
    text += QStringLiteral("固件功能: ") + fieldText(functions, functionsSize);
    return text;
}

FirmwareService::FirmwareService(AdapterLibrary& adapter, UserInteraction& ui, Clock& clock, QWidget* parent)
    : adapter(adapter), ui(ui), clock(clock), parent(parent)
{
}

bool FirmwareService::showFirmwareInfo(int deviceIndex)
{
    if (deviceIndex >= adapter.scanDevices(nullptr)) {
        warn("该设备未连接！");
        return false;
    }
    if (!adapter.openDevice(deviceIndex)) {
        warn("打开设备失败！");
        return false;
    }
    DEVICE_INFO info{};
    char functions[kDeviceFunctionsTextSize] = {};
    if (!adapter.getDeviceInfo(deviceIndex, &info, functions)) {
        warn("获取固件信息失败！");
        return false;
    }
    ui.about(parent, QStringLiteral("固件信息"), firmwareInfoText(info, functions));
    return true;
}

bool FirmwareService::upgradeFirmware(int deviceIndex)
{
    const QString path =
        ui.getOpenFileName(parent, QCoreApplication::translate("MainWindow", "打开固件文件"), QString(),
                           QStringLiteral("Binary Files (*.bin);;All Files (*.*)"));
    if (path.isEmpty())
        return false;

    DEVICE_INFO info{};
    char functions[kDeviceFunctionsTextSize] = {};
    ProgressGuard progress(ui.showProgress(parent, QStringLiteral("固件更新"),
                                           QStringLiteral("正在检测设备，请稍后...\n"), 0, 100));
    QCoreApplication::processEvents();

    // Only a regular file: a FIFO would block the window until something writes to it.
    QFile file;
    if (!openRegularFile(file, path, nullptr))
        return fail(*progress, "打开固件文件失败！");

    step(*progress, QStringLiteral("查找设备..."), 10);
    if (adapter.scanDevices(nullptr) <= 0)
        return fail(*progress, "无设备连接！");

    step(*progress, QStringLiteral("打开设备..."), 20);
    if (!adapter.openDevice(deviceIndex))
        return fail(*progress, "打开设备失败！");

    step(*progress, QStringLiteral("获取设备信息..."), 30);
    functions[0] = 0;
    if (!adapter.getDeviceInfo(deviceIndex, &info, functions))
        return fail(*progress, "获取固件信息失败！");

    step(*progress, QStringLiteral("进入升级模式..."), 40);
    if (const char* failure = enterUpgradeMode(deviceIndex, info, functions))
        return fail(*progress, failure);

    // The image is read whole; too short or too long an image is refused at the file check below
    // and never read.
    const qint64 length = file.size();
    const bool usableLength = length >= kMinImageLength && length <= kMaxImageLength;
    std::unique_ptr<std::uint8_t[]> image;
    if (usableLength) {
        image.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(length)]);
        if (!image)
            return fail(*progress, "分配内存失败！");
        if (!file.seek(0) || file.read(reinterpret_cast<char*>(image.get()), length) != length)
            return fail(*progress, "打开固件文件失败！");
    }
    file.close();

    step(*progress, QStringLiteral("检测固件文件..."), 50);
    if (!usableLength || !adapter.checkFirmwareFile(QFile::encodeName(path).constData()))
        return fail(*progress, "固件文件校验失败！");

    const auto imageLength = static_cast<std::uint32_t>(length);
    const std::uint32_t dataLength = imageLength - kFirmwareMd5Size;

    step(*progress, QStringLiteral("擦除固件..."), 60);
    if (!adapter.eraseFirmware(deviceIndex, kFirmwareApplicationAddress,
                               kFirmwareApplicationAddress + imageLength))
        return fail(*progress, "固件擦除失败！");

    progress->setLabelText(QStringLiteral("正在更新固件，请稍后..."));
    QCoreApplication::processEvents();
    const std::uint32_t fullBlocks = dataLength / kFirmwareBlockSize;
    for (std::uint32_t i = 0; i < fullBlocks; ++i) {
        const std::uint32_t offset = i * kFirmwareBlockSize;
        if (!adapter.writeFirmware(deviceIndex, kFirmwareApplicationAddress + offset, image.get() + offset,
                                   kFirmwareBlockSize, 1))
            return fail(*progress, "写固件数据失败！");
        progress->setValue(static_cast<int>(60 + (qint64(i + 1) * 204800) / dataLength));
        QCoreApplication::processEvents();
    }
    const std::uint32_t tail = dataLength % kFirmwareBlockSize;
    if (tail != 0) {
        const std::uint32_t offset = fullBlocks * kFirmwareBlockSize;
        if (!adapter.writeFirmware(deviceIndex, kFirmwareApplicationAddress + offset, image.get() + offset,
                                   tail, 1))
            return fail(*progress, "写固件数据失败！");
        progress->setValue(100);
        QCoreApplication::processEvents();
    }

    if (!adapter.writeFirmware(deviceIndex, kFirmwareApplicationAddress + dataLength,
                               image.get() + dataLength, kFirmwareMd5Size, 0))
        return fail(*progress, "写固件MD5值失败！");

    if (!adapter.checkFirmwareMd5(deviceIndex, kFirmwareApplicationAddress, dataLength)) {
        // The warning comes while the dialog still shows how far the upgrade got.
        warn("MD5值校验失败！");
        adapter.closeDevice(deviceIndex);
        progress->close();
        return false;
    }

    adapter.jumpToAddress(deviceIndex, kFirmwareApplicationAddress);
    adapter.closeDevice(deviceIndex);
    progress->close();
    ui.information(parent, QStringLiteral("消息"), QStringLiteral("固件更新成功！"));
    return true;
}

const char* FirmwareService::enterUpgradeMode(int deviceIndex, DEVICE_INFO& info, char* functions)
{
    for (int jumps = 0; !(info.ModeFlags & 1u); ++jumps) {
        // An adapter that never reports its upgrade code would keep the command jumping forever.
        if (jumps == kMaxUpgradeJumps)
            return "获取固件信息失败！";
        adapter.jumpToAddress(deviceIndex, kUpgradeCodeAddress);
        adapter.closeDevice(deviceIndex);
        if (!retry(clock, kAdapterWaitTries, kReappearSleepMs,
                   [&] { return adapter.scanDevices(nullptr) > 0; }))
            return "无设备连接！";
        if (!retry(clock, kAdapterWaitTries, kReopenSleepMs, [&] { return adapter.openDevice(deviceIndex); }))
            return "打开设备失败！";
        // A failed read leaves the record as it was; the mode bit then asks for another jump.
        functions[0] = 0;
        adapter.getDeviceInfo(deviceIndex, &info, functions);
    }
    return nullptr;
}

bool FirmwareService::fail(ProgressDialog& progress, const char* text)
{
    progress.close();
    warn(text);
    return false;
}

void FirmwareService::warn(const char* text)
{
    ui.warning(parent, QString::fromUtf8(kWarningTitle), QString::fromUtf8(text));
}
