#include "gui/firmwareservice.h"

#include "core/adapter/adapterlibrary.h"

#include "gui/operationframe.h"
#include "gui/userinteraction.h"

#include <QCoreApplication>

#include <memory>

namespace korvane {

namespace {

// A text of this file in the window's language.
QString translated(const char* text)
{
    return QCoreApplication::translate("FirmwareService", text);
}

const char* const kWarningTitle = QT_TRANSLATE_NOOP("FirmwareService", "警告");

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
        ui.warning(parent, translated(kWarningTitle),
                   QCoreApplication::translate("FirmwareService", "MD5值校验失败！"));
        warned = true;
    }

    bool warned = false;

private:
    static QString stepLabel(UpgradeStep step)
    {
        switch (step) {
        case UpgradeStep::FindingDevice:
            return QCoreApplication::translate("FirmwareService", "查找设备...");
        case UpgradeStep::OpeningDevice:
            return QCoreApplication::translate("FirmwareService", "打开设备...");
        case UpgradeStep::ReadingInfo:
            return QCoreApplication::translate("FirmwareService", "获取设备信息...");
        case UpgradeStep::EnteringUpgradeMode:
            return QCoreApplication::translate("FirmwareService", "进入升级模式...");
        case UpgradeStep::CheckingFile:
            return QCoreApplication::translate("FirmwareService", "检测固件文件...");
        case UpgradeStep::Erasing:
            return QCoreApplication::translate("FirmwareService", "擦除固件...");
        case UpgradeStep::Writing:
            break;
        }
        return QCoreApplication::translate("FirmwareService", "正在更新固件，请稍后...");
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
        return QT_TRANSLATE_NOOP("FirmwareService", "打开固件文件失败！");
    case OperationStatus::NoAdapter:
        return QT_TRANSLATE_NOOP("FirmwareService", "无设备连接！");
    case OperationStatus::OpenFailed:
        return QT_TRANSLATE_NOOP("FirmwareService", "打开设备失败！");
    case OperationStatus::NoFirmwareUpgrade:
        return QT_TRANSLATE_NOOP("FirmwareService", "该设备不支持固件升级！");
    case OperationStatus::OutOfMemory:
        return QT_TRANSLATE_NOOP("FirmwareService", "分配内存失败！");
    case OperationStatus::FirmwareFileRejected:
        return QT_TRANSLATE_NOOP("FirmwareService", "固件文件校验失败！");
    case OperationStatus::FirmwareEraseFailed:
        return QT_TRANSLATE_NOOP("FirmwareService", "固件擦除失败！");
    case OperationStatus::FirmwareWriteFailed:
        return QT_TRANSLATE_NOOP("FirmwareService", "写固件数据失败！");
    case OperationStatus::FirmwareMd5WriteFailed:
        return QT_TRANSLATE_NOOP("FirmwareService", "写固件MD5值失败！");
    case OperationStatus::FirmwareMd5Mismatch:
        return QT_TRANSLATE_NOOP("FirmwareService", "MD5值校验失败！");
    default:
        break;
    }
    return QT_TRANSLATE_NOOP("FirmwareService", "获取固件信息失败！");
}

} // namespace

QString firmwareInfoText(const DEVICE_INFO& info, const char* functions, int functionsSize)
{
    QString text;
    text += QCoreApplication::translate("FirmwareService", "固件名称: ") +
            firmwareFieldText(info.FirmwareName, sizeof info.FirmwareName) + '\n';
    text += QCoreApplication::translate("FirmwareService", "编译日期: ") +
            firmwareFieldText(info.BuildDate, sizeof info.BuildDate) + '\n';
    text += QCoreApplication::translate("FirmwareService", "固件版本: ") +
            firmwareVersionText(info.FirmwareVersion) + '\n';
    text += QCoreApplication::translate("FirmwareService", "硬件版本: ") +
            firmwareVersionText(info.HardwareVersion) + '\n';
    text += QCoreApplication::translate("FirmwareService", "设备序号: ");
    for (std::uint32_t word : info.SerialNumber)
        text += QString::asprintf("%08X", word);
    text += '\n';
    text += QCoreApplication::translate("FirmwareService", "固件功能: ") +
            firmwareFieldText(functions, functionsSize);
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
        ui.about(parent, QCoreApplication::translate("FirmwareService", "固件信息"),
                 firmwareInfoText(info.info, info.functions));
        return true;
    case OperationStatus::NoAdapter:
        warn(QT_TRANSLATE_NOOP("FirmwareService", "该设备未连接！"));
        return false;
    case OperationStatus::OpenFailed:
        if (const QString refused = adapterRefusedText(read, adapter.identity(deviceIndex).backend);
            !refused.isEmpty()) {
            ui.warning(parent, translated(kWarningTitle), refused);
            return false;
        }
        warn(QT_TRANSLATE_NOOP("FirmwareService", "打开设备失败！"));
        return false;
    default:
        warn(QT_TRANSLATE_NOOP("FirmwareService", "获取固件信息失败！"));
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

    ProgressGuard progress(
        ui.showProgress(parent, QCoreApplication::translate("FirmwareService", "固件更新"),
                        QCoreApplication::translate("FirmwareService", "正在检测设备，请稍后...\n"), 0, 100));
    QCoreApplication::processEvents();
    DialogProgress steps(*progress, ui, parent);
    const OperationResult upgraded = korvane::upgradeFirmware(adapter, clock, deviceIndex, path, steps);
    progress->close();
    if (upgraded.ok()) {
        ui.information(parent, QCoreApplication::translate("FirmwareService", "消息"),
                       QCoreApplication::translate("FirmwareService", "固件更新成功！"));
        return true;
    }
    const QString refused = adapterRefusedText(upgraded, adapter.identity(deviceIndex).backend);
    if (!refused.isEmpty())
        ui.warning(parent, translated(kWarningTitle), refused);
    else if (!steps.warned)
        warn(upgradeFailureText(upgraded.status));
    return false;
}

void FirmwareService::warn(const char* text)
{
    ui.warning(parent, translated(kWarningTitle), translated(text));
}

} // namespace korvane
