#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "chipdb/chipdetectdialog.h"
#include "chipdb/chiplist.h"
#include "chipdb/chiplistdialog.h"
#include "common/clock.h"
#include "common/userinteraction.h"
#include "firmware/firmwareservice.h"
#include "flash/adapter/adapterlibrary.h"
#include "flash/erasechip.h"
#include "flash/erasesectors.h"
#include "flash/operationframe.h"

#include <algorithm>

namespace {

const char kAboutTitle[] = "帮助";
const char kAboutText[] = "官方网站<span style=\"font-size:12px;\"></span>："
                          "<a href=\"http://www.korvane.example\">http://www.korvane.example</a><br>"
                          "技术支持：0571-5550-1234<br>"
                          "版本信息：v1.0.3";

} // namespace

MainWindow::MainWindow(AdapterLibrary& adapter, UserInteraction& interaction, Clock& clock, QWidget* parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), adapter(adapter), interaction(interaction), clock(clock)
{
    ui->setupUi(this);

    // The buffer view goes into dataWidget here.

    loadChipList();
    for (int i = 0; i < 10; ++i)
        ui->devIndexComboBox->addItem(QString::asprintf("%d", i));
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::loadChipList()
{
    if (!::loadChipList(this, interaction, chipList))
        return;
    manufacturerList = distinctManufacturers(chipList);
    // Clearing and refilling fire currentTextChanged, which refills the model box and selects
    // the first manufacturer's first model.
    ui->manufacturerComboBox->clear();
    ui->manufacturerComboBox->addItems(manufacturerList);
}

// ---- Buffer files ----

void MainWindow::on_actionOpenFile_triggered() {}

void MainWindow::on_actionSaveAs_triggered() {}

void MainWindow::on_startAddrSpinBox_valueChanged(int startAddress)
{
    Q_UNUSED(startAddress);
}

// ---- Chip selection ----

void MainWindow::on_actionAddChip_triggered()
{
    // The dialog edits the file only; the window learns of the changes by reading it again.
    ChipListDialog dialog(interaction, this);
    interaction.execDialog(&dialog);
    loadChipList();
}

void MainWindow::on_manufacturerComboBox_currentTextChanged(const QString& manufacturer)
{
    QStringList models;
    for (const CHIP_INFO& chip : qAsConst(chipList)) {
        if (chipManufacturer(chip) == manufacturer)
            models << chipModelName(chip);
    }
    ui->modelNameComboBox->clear();
    ui->modelNameComboBox->addItems(models);
}

void MainWindow::on_modelNameComboBox_currentTextChanged(const QString& modelName)
{
    // Every record with this model name is applied in turn, so the last in file order wins.
    for (const CHIP_INFO& chip : qAsConst(chipList)) {
        if (chipModelName(chip) != modelName)
            continue;
        const std::int32_t size = chipSize(chip);
        ui->memSizeLabel->setText(formatChipSize(size));
        currentChip = chip;
        // A record of size 0 (or a corrupt negative one) must not pull the minimum below 0:
        // QSpinBox::setMaximum lowers the minimum along with it.
        ui->startAddrSpinBox->setMaximum(std::max<std::int32_t>(size, 1) - 1);
        on_startAddrSpinBox_valueChanged(0);
    }
}

void MainWindow::on_actionChipDetect_triggered()
{
    ChipDetectDialog dialog(adapter, interaction, this);
    dialog.setDeviceIndex(ui->devIndexComboBox->currentIndex());
    dialog.setSpiSelector(spiSelectorForRow(ui->spiIndexComboBox->currentIndex()));
    interaction.execDialog(&dialog);
    const CHIP_INFO& found = dialog.result();
    if (chipIdKey(found.Config.FlashID) == 0)
        return;
    // Each change runs the slots above, which make the model the current chip.
    ui->manufacturerComboBox->setCurrentText(chipManufacturer(found));
    ui->modelNameComboBox->setCurrentText(chipModelName(found));
}

// ---- Flash operations ----

OperationContext MainWindow::operationContext()
{
    return OperationContext{adapter,
                            interaction,
                            clock,
                            this,
                            ui->devIndexComboBox->currentIndex(),
                            spiSelectorForRow(ui->spiIndexComboBox->currentIndex()),
                            spiClockForRow(ui->speedComboBox->currentIndex()),
                            ui->startAddrSpinBox->value(),
                            currentChip};
}

void MainWindow::on_eraseChipPushButton_clicked()
{
    eraseChip(operationContext());
}

void MainWindow::on_writeDataPushButton_clicked() {}

void MainWindow::on_readDataPushButton_clicked() {}

void MainWindow::on_verifyPushButton_clicked() {}

void MainWindow::on_eraseSectorPushButton_clicked()
{
    chooseAndEraseSectors(operationContext());
}

// The menu and tool-bar entries run the same operations as the push buttons.
void MainWindow::on_actionEraseChip_triggered()
{
    on_eraseChipPushButton_clicked();
}

void MainWindow::on_actionEraseSector_triggered()
{
    on_eraseSectorPushButton_clicked();
}

void MainWindow::on_actionWrite_triggered()
{
    on_writeDataPushButton_clicked();
}

void MainWindow::on_actionRead_triggered()
{
    on_readDataPushButton_clicked();
}

void MainWindow::on_actionVerify_triggered()
{
    on_verifyPushButton_clicked();
}

// ---- Help and adapter firmware ----

void MainWindow::on_actionHelp_triggered()
{
    interaction.about(this, QString::fromUtf8(kAboutTitle), QString::fromUtf8(kAboutText));
}

void MainWindow::on_actionFirmwareInfo_triggered()
{
    FirmwareService(adapter, interaction, clock, this).showFirmwareInfo(ui->devIndexComboBox->currentIndex());
}

void MainWindow::on_actionUpgrade_triggered()
{
    FirmwareService(adapter, interaction, clock, this).upgradeFirmware(ui->devIndexComboBox->currentIndex());
}
