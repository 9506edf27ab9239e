#include "gui/addchipdialog.h"

#include "core/chip/chiplist.h"
#include "gui/chiplistfile.h"
#include "gui/userinteraction.h"
#include "ui_addchipdialog.h"

#include <algorithm>
#include <array>

namespace korvane {

namespace {

// The boxes of FlashID bytes 0 to 15.
std::array<QSpinBox*, 16> idBoxes(const Ui::AddChipDialog& ui)
{
    return {ui.flashIDSpinBox_0,  ui.flashIDSpinBox_1,  ui.flashIDSpinBox_2,  ui.flashIDSpinBox_3,
            ui.flashIDSpinBox_4,  ui.flashIDSpinBox_5,  ui.flashIDSpinBox_6,  ui.flashIDSpinBox_7,
            ui.flashIDSpinBox_8,  ui.flashIDSpinBox_9,  ui.flashIDSpinBox_10, ui.flashIDSpinBox_11,
            ui.flashIDSpinBox_12, ui.flashIDSpinBox_13, ui.flashIDSpinBox_14, ui.flashIDSpinBox_15};
}

} // namespace

AddChipDialog::AddChipDialog(const SPIFlashConfig& config, UserInteraction& interaction, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::AddChipDialog>()), chipConfig(config), interaction(interaction)
{
    ui->setupUi(this);
    // The form's minimum widths line the columns up; with a wider font they must not cut the
    // texts. The empty label in front of the second ID row follows the "Flash ID" label.
    for (QLabel* label : findChildren<QLabel*>())
        label->setMinimumWidth(std::max(label->minimumWidth(), label->minimumSizeHint().width()));
    ui->label_2->setMinimumWidth(std::max(ui->label_2->minimumWidth(), ui->label->minimumWidth()));

    // Out-of-range values are shown clamped by the spin boxes themselves.
    const auto ids = idBoxes(*ui);
    for (size_t i = 0; i < ids.size(); ++i)
        ids[i]->setValue(chipConfig.FlashID[i]);
    ui->idLenSpinBox->setValue(chipConfig.IDLength);
    ui->pageSizeSpinBox->setValue(chipConfig.PageSize);
    ui->numPagesSpinBox->setValue(chipConfig.NumPages);
    ui->sectorSizeSpinBox->setValue(chipConfig.SectorSize);

    ui->writeEnableSpinBox->setValue(chipConfig.WriteEnable);
    ui->writeDisableSpinBox->setValue(chipConfig.WriteDisable);
    ui->writePageSpinBox->setValue(chipConfig.WritePage);
    ui->writePageAddrNumSpinBox->setValue(chipConfig.WritePageAddrBytes);
    ui->eraseSectorSpinBox->setValue(chipConfig.EraseSector);
    ui->eraseSectorAddrNumSpinBox->setValue(chipConfig.EraseSectorAddrBytes);
    ui->eraseChipSpinBox->setValue(chipConfig.EraseChip);
    ui->readIDSpinBox->setValue(chipConfig.ReadID);
    ui->readDataSpinBox->setValue(chipConfig.ReadData);
    ui->readDataAddrNumSpinBox->setValue(chipConfig.ReadDataAddrBytes);
    ui->readFastSpinBox->setValue(chipConfig.ReadFast);
    ui->readFastAddrNumSpinBox->setValue(chipConfig.ReadFastAddrBytes);
    ui->readStatusSpinBox->setValue(chipConfig.ReadStatus);
    ui->writeStatusSpinBox->setValue(chipConfig.WriteStatus);
}

AddChipDialog::~AddChipDialog() = default;

void AddChipDialog::on_positivePushButton_clicked()
{
    const auto byte = [](const QSpinBox* box) { return static_cast<std::uint8_t>(box->value()); };

    // Boxes 16 and 17 have no field; Reserved has no box and keeps what came in.
    SPIFlashConfig edited = chipConfig;
    const auto ids = idBoxes(*ui);
    for (size_t i = 0; i < ids.size(); ++i)
        edited.FlashID[i] = byte(ids[i]);
    edited.IDLength = ui->idLenSpinBox->value() > 0 ? byte(ui->idLenSpinBox) : 1;
    edited.PageSize = ui->pageSizeSpinBox->value();
    edited.NumPages = ui->numPagesSpinBox->value();
    edited.SectorSize = ui->sectorSizeSpinBox->value();

    edited.WriteEnable = byte(ui->writeEnableSpinBox);
    edited.WriteDisable = byte(ui->writeDisableSpinBox);
    edited.WritePage = byte(ui->writePageSpinBox);
    edited.WritePageAddrBytes = byte(ui->writePageAddrNumSpinBox);
    edited.EraseSector = byte(ui->eraseSectorSpinBox);
    edited.EraseSectorAddrBytes = byte(ui->eraseSectorAddrNumSpinBox);
    edited.EraseChip = byte(ui->eraseChipSpinBox);
    edited.ReadID = byte(ui->readIDSpinBox);
    edited.ReadData = byte(ui->readDataSpinBox);
    edited.ReadDataAddrBytes = byte(ui->readDataAddrNumSpinBox);
    edited.ReadFast = byte(ui->readFastSpinBox);
    edited.ReadFastAddrBytes = byte(ui->readFastAddrNumSpinBox);
    edited.ReadStatus = byte(ui->readStatusSpinBox);
    edited.WriteStatus = byte(ui->writeStatusSpinBox);

    const ChipRecordFault fault = chipRecordFault(edited);
    if (fault != ChipRecordFault::None) {
        interaction.warning(this, tr("警告"),
                            tr("芯片参数无效：%1。").arg(chipRecordFaultMessage(edited, fault)));
        return;
    }
    chipConfig = edited;
    accept();
}

void AddChipDialog::on_cancelPushButton_clicked()
{
    reject();
}

} // namespace korvane
