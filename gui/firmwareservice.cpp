#include "gui/firmwareservice.h"

#include "core/adapter/adapterlibrary.h"

#include "gui/operationframe.h"
#include "gui/userinteraction.h"

#include <QCoreApplication>

#include <memory>

namespace {

const char* const kWarningTitle = "警告";

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

// The upgrade's steps on the progress dialog, and the warning of a failed MD5 check while the
// dialog still shows how far the upgrade got.
class DialogProgress : public UpgradeProgress
{
public:
    DialogProgress(ProgressDialog& dialog, UserInteraction& ui, QWidget* parent)
        : dialog(dialog), ui(ui), parent(parent)
    {
    }

    void stepStarted(UpgradeStep step, int value) override
    {
        dialog.setLabelText(stepLabel(step));
        if (value >= 0)
            dialog.setValue(value);
        QCoreApplication::processEvents();
    }

    void blockWritten(int value) override
    {
        dialog.setValue(value);
        QCoreApplication::processEvents();
    }

    void md5CheckFailed() override
    {
        ui.warning(parent, QString::fromUtf8(kWarningTitle), QStringLiteral("MD5值校验失败！"));
        warned = true;
    }

    bool warned = false;

private:
    static QString stepLabel(UpgradeStep step)
    {
        switch (step) {
        case UpgradeStep::FindingDevice:
            return QStringLiteral("查找设备...");
        case UpgradeStep::OpeningDevice:
            return QStringLiteral("打开设备...");
        case UpgradeStep::ReadingInfo:
            return QStringLiteral("获取设备信息...");
        case UpgradeStep::EnteringUpgradeMode:
            return QStringLiteral("进入升级模式...");
        case UpgradeStep::CheckingFile:
            return QStringLiteral("检测固件文件...");
        case UpgradeStep::Erasing:
            return QStringLiteral("擦除固件...");
        case UpgradeStep::Writing:
            break;
        }
        return QStringLiteral("正在更新固件，请稍后...");
    }

    ProgressDialog& dialog;
    UserInteraction& ui;
    QWidget* parent;
};

// The warning for a failed upgrade, as the window has always worded it.
const char* upgradeFailureText(OperationStatus status)
{
    switch (status) {
    case OperationStatus::FirmwareFileUnreadable:
        return "打开固件文件失败！";
    case OperationStatus::NoAdapter:
        return "无设备连接！";
    case OperationStatus::OpenFailed:
        return "打开设备失败！";
    case OperationStatus::NoFirmwareUpgrade:
        return "该设备不支持固件升级！";
    case OperationStatus::OutOfMemory:
        return "分配内存失败！";
    case OperationStatus::FirmwareFileRejected:
        return "固件文件校验失败！";
    case OperationStatus::FirmwareEraseFailed:
        return "固件擦除失败！";
    case OperationStatus::FirmwareWriteFailed:
        return "写固件数据失败！";
    case OperationStatus::FirmwareMd5WriteFailed:
        return "写固件MD5值失败！";
    case OperationStatus::FirmwareMd5Mismatch:
        return "MD5值校验失败！";
    default:
        break;
    }
    return "获取固件信息失败！";
}

} // namespace

QString firmwareInfoText(const DEVICE_INFO& info, const char* functions, int functionsSize)
{
    QString text;
    text +=
        QStringLiteral("固件名称: ") + firmwareFieldText(info.FirmwareName, sizeof info.FirmwareName) + '\n';
    text += QStringLiteral("编译日期: ") + firmwareFieldText(info.BuildDate, sizeof info.BuildDate) + '\n';
    text += QStringLiteral("固件版本: ") + firmwareVersionText(info.FirmwareVersion) + '\n';
    text += QStringLiteral("硬件版本: ") + firmwareVersionText(info.HardwareVersion) + '\n';
    text += QStringLiteral("设备序号: ");
    for (std::uint32_t word : info.SerialNumber)
        text += QString::asprintf("%08X", word);
    text += '\n';
    text += QStringLiteral("固件功能: ") + firmwareFieldText(functions, functionsSize);
    return text;
}

FirmwareService::FirmwareService(AdapterLibrary& adapter, UserInteraction& ui, Clock& clock, QWidget* parent)
    : adapter(adapter), ui(ui), clock(clock), parent(parent)
{
}

bool FirmwareService::showFirmwareInfo(int deviceIndex)
{
    FirmwareInfo info;
    const OperationResult read = readFirmwareInfo(adapter, deviceIndex, &info);
    switch (read.status) {
    case OperationStatus::Ok:
        ui.about(parent, QStringLiteral("固件信息"), firmwareInfoText(info.info, info.functions));
        return true;
    case OperationStatus::NoAdapter:
        warn("该设备未连接！");
        return false;
    case OperationStatus::OpenFailed:
        if (isAccessDenied(read)) {
            ui.warning(parent, QString::fromUtf8(kWarningTitle),
                       adapterAccessDeniedText(adapter.identity(deviceIndex).backend));
            return false;
        }
        warn("打开设备失败！");
        return false;
    default:
        warn("获取固件信息失败！");
        return false;
    }
}

bool FirmwareService::upgradeFirmware(int deviceIndex)
{
    const QString path =
        ui.getOpenFileName(parent, QCoreApplication::translate("MainWindow", "打开固件文件"), QString(),
                           QStringLiteral("Binary Files (*.bin);;All Files (*.*)"));
    if (path.isEmpty())
        return false;

    ProgressGuard progress(ui.showProgress(parent, QStringLiteral("固件更新"),
                                           QStringLiteral("正在检测设备，请稍后...\n"), 0, 100));
    QCoreApplication::processEvents();
    DialogProgress steps(*progress, ui, parent);
    const OperationResult upgraded = ::upgradeFirmware(adapter, clock, deviceIndex, path, steps);
    progress->close();
    if (upgraded.ok()) {
        ui.information(parent, QStringLiteral("消息"), QStringLiteral("固件更新成功！"));
        return true;
    }
    if (isAccessDenied(upgraded))
        ui.warning(parent, QString::fromUtf8(kWarningTitle),
                   adapterAccessDeniedText(adapter.identity(deviceIndex).backend));
    else if (!steps.warned)
        warn(upgradeFailureText(upgraded.status));
    return false;
}

void FirmwareService::warn(const char* text)
{
    ui.warning(parent, QString::fromUtf8(kWarningTitle), QString::fromUtf8(text));
}
