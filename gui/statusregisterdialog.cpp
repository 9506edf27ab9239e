#include "gui/statusregisterdialog.h"

#include "core/adapter/adapterlibrary.h"
#include "core/chip/chiplist.h"
#include "gui/chipsafety.h"
#include "gui/operationframe.h"
#include "gui/userinteraction.h"
#include "ui_statusregisterdialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>

namespace korvane {

namespace {

// A text of this file in the window's language.
QString translated(const char* text)
{
    return QCoreApplication::translate("StatusRegisterDialog", text);
}

const char kWarningTitle[] = QT_TRANSLATE_NOOP("StatusRegisterDialog", "警告");
const char kInformationTitle[] = QT_TRANSLATE_NOOP("StatusRegisterDialog", "消息");
const char kOpenFailedText[] = QT_TRANSLATE_NOOP("StatusRegisterDialog", "打开设备失败，设备选择是否正确？");
const char kInitFailedText[] = QT_TRANSLATE_NOOP("StatusRegisterDialog", "配置设备失败！");
const char kReadIdFailedText[] = QT_TRANSLATE_NOOP("StatusRegisterDialog", "获取芯片ID失败！");
const char kReadFailedText[] = QT_TRANSLATE_NOOP("StatusRegisterDialog", "读取状态寄存器失败！");
const char kWrittenText[] = QT_TRANSLATE_NOOP("StatusRegisterDialog", "写入状态寄存器成功！");
const char kSrpLockedText[] =
    QT_TRANSLATE_NOOP("StatusRegisterDialog", "写入失败：状态寄存器被锁定（SRP=1 且 /WP 引脚为低电平）。");
const char kSrlLockedText[] =
    QT_TRANSLATE_NOOP("StatusRegisterDialog", "写入失败：状态寄存器已锁定（SRL=1），需给芯片断电后重试。");
const char kDidNotTakeText[] =
    QT_TRANSLATE_NOOP("StatusRegisterDialog", "写入失败：状态寄存器%1写入0x%2后读回为0x%3！");
const char kWriteFailedText[] = QT_TRANSLATE_NOOP("StatusRegisterDialog", "写入状态寄存器失败！");

QString hex(std::uint64_t value, int digits)
{
    return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}

} // namespace

StatusRegisterDialog::StatusRegisterDialog(AdapterLibrary& adapter, UserInteraction& interaction,
                                           Clock& clock, const FlashTarget& target, const SfdpInfo* sfdp,
                                           QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::StatusRegisterDialog>()), adapter(adapter),
      interaction(interaction), clock(clock), target(target), layout(statusLayoutForChip(target.chip, sfdp))
{
    ui->setupUi(this);
    const QString family =
        layout.family ? QString::fromLatin1(layout.family) : tr("未知（写保护位的含义不明）");
    ui->familyLabel->setText(tr("型号：%1    芯片系列：%2").arg(chipModelName(target.chip), family));
    QGroupBox* const groups[] = {ui->sr1GroupBox, ui->sr2GroupBox, ui->sr3GroupBox};
    for (int i = 0; i < kMaxStatusRegisters; ++i) {
        groups[i]->setVisible(i < layout.registerCount);
        if (i >= layout.registerCount)
            continue;
        const StatusRegisterInfo& info = layout.registers[i];
        groups[i]->setTitle(
            QStringLiteral("%1 (%2h)").arg(QLatin1String(info.name), hex(info.readOpcode, 2)));
        for (int bit = 0; bit < 8; ++bit) {
            QCheckBox* box = bitBox(i, bit);
            box->setText(info.bits[bit] ? QString::fromLatin1(info.bits[bit]) : QString::fromUtf8("—"));
            box->setEnabled(false);
        }
    }
    ui->volatileCheckBox->setEnabled(layout.volatileWriteEnable && !layout.volatileOnly);
    ui->volatileCheckBox->setChecked(layout.volatileOnly);
    ui->writePushButton->setEnabled(false);
    ui->protectionLabel->setText(tr("写保护：未读取"));
    adjustSize();
}

StatusRegisterDialog::~StatusRegisterDialog() = default;

QCheckBox* StatusRegisterDialog::bitBox(int index, int bit) const
{
    return findChild<QCheckBox*>(QStringLiteral("sr%1Bit%2CheckBox").arg(index + 1).arg(bit));
}

bool StatusRegisterDialog::openChip()
{
    std::uint8_t id[kIdBufferSize];
    // The status instructions take no address: no 4-byte mode.
    const OperationResult opened = openFlash(adapter, target, 0, id);
    const char* text = nullptr;
    switch (opened.status) {
    case OperationStatus::Ok:
        return true;
    case OperationStatus::ConfigureFailed:
        text = kInitFailedText;
        break;
    case OperationStatus::ReadIdFailed:
        text = kReadIdFailedText;
        break;
    case OperationStatus::NoChipAnswered:
        interaction.warning(this, translated(kWarningTitle), noChipAnsweredText(opened));
        return false;
    case OperationStatus::OpenFailed:
        if (const QString refused = adapterRefusedText(opened, adapter.identity(target.deviceIndex).backend);
            !refused.isEmpty()) {
            interaction.warning(this, translated(kWarningTitle), refused);
            return false;
        }
        text = kOpenFailedText;
        break;
    default:
        text = kOpenFailedText;
        break;
    }
    interaction.warning(this, translated(kWarningTitle), translated(text));
    return false;
}

void StatusRegisterDialog::showRegisters()
{
    QLabel* const values[] = {ui->sr1ValueLabel, ui->sr2ValueLabel, ui->sr3ValueLabel};
    for (int i = 0; i < layout.registerCount; ++i) {
        const bool read = i < current.count;
        values[i]->setText(read ? QStringLiteral("0x") + hex(current.values[i], 2) : QStringLiteral("--"));
        for (int bit = 0; bit < 8; ++bit) {
            QCheckBox* box = bitBox(i, bit);
            box->setChecked(read && (current.values[i] >> bit) & 1);
            box->setEnabled(read && (layout.registers[i].writableMask >> bit) & 1);
        }
    }
    ui->writePushButton->setEnabled(current.count > 0);
    const Protection protection = current.protection(std::uint64_t(std::max(chipSize(target.chip), 0)));
    QString text;
    if (!protection.any)
        text = tr("写保护：无");
    else if (protection.individualLocks)
        text = tr("写保护：启用了单独的块锁定（WPS=1），整片芯片都可能受保护");
    else if (!protection.exact)
        text = tr("写保护：%1 已置位，此芯片上保护哪些地址不明，整片芯片都可能受保护")
                   .arg(protectionBitNames(layout, protection));
    else
        text = tr("写保护：0x%1 - 0x%2（%3）")
                   .arg(hex(protection.start, 6), hex(protection.end - 1, 6),
                        chipSizeText(protection.end - protection.start));
    if (protection.registerLocked)
        text += tr("\nSRL=1：状态寄存器在断电前不能写入");
    else if (protection.registerProtect && !protection.quadEnabled)
        text += tr("\nSRP=1：/WP 为低电平时状态寄存器不能写入");
    ui->protectionLabel->setText(text);
}

void StatusRegisterDialog::on_readPushButton_clicked()
{
    if (!openChip())
        return;
    StatusRegisters read;
    if (!readStatusRegisters(adapter, target, layout, layout.registerCount, &read).ok()) {
        interaction.warning(this, translated(kWarningTitle), translated(kReadFailedText));
        return;
    }
    current = read;
    showRegisters();
}

void StatusRegisterDialog::on_writePushButton_clicked()
{
    if (current.count == 0 || !openChip())
        return;
    std::uint8_t wanted[kMaxStatusRegisters] = {};
    for (int i = 0; i < current.count; ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            if (bitBox(i, bit)->isChecked())
                wanted[i] |= static_cast<std::uint8_t>(1 << bit);
        }
    }
    StatusRegisters after;
    const StatusWriteKind kind =
        layout.volatileOnly || (ui->volatileCheckBox->isEnabled() && ui->volatileCheckBox->isChecked())
            ? StatusWriteKind::Volatile
            : StatusWriteKind::NonVolatile;
    const OperationResult written =
        writeStatusRegisters(adapter, target, clock, current, wanted, kind, &after);
    if (after.count > 0)
        current = after;
    showRegisters();
    QString text;
    switch (written.status) {
    case OperationStatus::Ok:
        interaction.information(this, translated(kInformationTitle), translated(kWrittenText));
        return;
    case OperationStatus::StatusWriteProtected:
        text = translated(kSrpLockedText);
        break;
    case OperationStatus::StatusLocked:
        text = translated(kSrlLockedText);
        break;
    case OperationStatus::StatusWriteFailed:
        text = translated(kDidNotTakeText)
                   .arg(QLatin1String(layout.registers[std::min<std::uint64_t>(written.address, 2)].name))
                   .arg(hex(written.count >> 8, 2), hex(written.count & 0xFF, 2));
        break;
    case OperationStatus::StatusReadFailed:
        text = translated(kReadFailedText);
        break;
    default:
        text = translated(kWriteFailedText);
        break;
    }
    interaction.warning(this, translated(kWarningTitle), text);
}

void StatusRegisterDialog::on_closePushButton_clicked()
{
    reject();
}

} // namespace korvane
