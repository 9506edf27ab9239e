#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "core/adapter/adapterlibrary.h"
#include "core/base/clock.h"
#include "core/base/fileaccess.h"
#include "core/chip/chiplist.h"
#include "core/operations/sfdpoperations.h"
#include "core/spinor/statuslayout.h"
#include "gui/blankcheck.h"
#include "gui/chipdetectdialog.h"
#include "gui/chiplistdialog.h"
#include "gui/chiplistfile.h"
#include "gui/erasechip.h"
#include "gui/erasesectors.h"
#include "gui/firmwareservice.h"
#include "gui/operationframe.h"
#include "gui/readwriteverify.h"
#include "gui/smartwrite.h"
#include "gui/statusregisterdialog.h"
#include "gui/userinteraction.h"
#include "qhexedit/qhexedit.h"
#include "qhexedit/qhexeditdata.h"
#include "qhexedit/qhexeditdatareader.h"
#include "qhexedit/qhexeditdatawriter.h"

#include <QDebug>
#include <QFile>
#include <QGridLayout>
#include <QStatusBar>

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

    // The buffer view: no model until the first load or read.
    hexEdit = new QHexEdit;
    gridLayout = new QGridLayout(ui->dataWidget);
    gridLayout->addWidget(hexEdit);
    hexEdit->setBaseAddress(ui->startAddrSpinBox->value());
    hexEdit->show();
    // A wider window widens the buffer first, so the text column comes into view.
    ui->gridLayout_3->setColumnStretch(0, 1);
    // Open wide enough for the whole hex view, character column included, in the font the view
    // actually got: its width in pixels differs from system to system.
    resize(std::max(width(), sizeHint().width()), height());

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

std::int64_t MainWindow::roomFromStartAddress() const
{
    // 64-bit, so that a corrupt negative chip size cannot overflow.
    return std::int64_t{chipSize(currentChip)} - ui->startAddrSpinBox->value();
}

void MainWindow::on_actionOpenFile_triggered()
{
    const QString fileName = interaction.getOpenFileName(this, QString::fromUtf8("打开文件"), QString(),
                                                         QStringLiteral("All File (*.*)"));
    if (fileName.isEmpty())
        return;
    // Only a regular file: a FIFO would block the window until something writes to it.
    QFile file;
    if (!openRegularFile(file, fileName, nullptr)) {
        qDebug("Open file error");
        return;
    }
    const std::int64_t limit = roomFromStartAddress();
    const qint64 fileSize = file.size();
    const qint64 count = fileSize < limit ? fileSize : (limit > 0 ? limit : 1);
    const QByteArray bytes = file.read(count);
    // A failed read must not replace the buffer with a truncated image.
    if (file.error() != QFileDevice::NoError || bytes.size() < std::min(count, fileSize)) {
        qDebug("Read file error");
        return;
    }

    QHexEditData* previous = hexEdit->data();
    QHexEditData* model = QHexEditData::fromMemory(bytes);
    model->setParent(this);
    hexEdit->setData(model);
    // Only now does nothing refer to the old model any more (its reader and writer go with it).
    delete previous;
}

void MainWindow::on_actionSaveAs_triggered()
{
    QHexEditData* model = hexEdit->data();
    if (!model) {
        interaction.warning(this, QString::fromUtf8("警告"), QString::fromUtf8("没有数据！"));
        return;
    }
    const QString fileName = interaction.getSaveFileName(this, QString::fromUtf8("另存为"), QString(),
                                                         QStringLiteral("All File (*.*)"));
    if (fileName.isEmpty())
        return;
    QHexEditDataReader reader(model);
    bool complete = false;
    const QByteArray bytes = reader.read(0, model->length(), &complete);
    if (!complete) {
        // Nothing is written: a shorter file would pass for the whole buffer.
        interaction.warning(this, QString::fromUtf8("保存文件"),
                            QString::fromUtf8("不能保存文件 %1:\n读取缓冲区数据出错！").arg(fileName));
        return;
    }

    // Written beside the target and renamed over it only when complete, so a full disk or a
    // failing device never leaves a half-written file; the warning says why it failed.
    QString error;
    if (!writeFileAtomically(fileName, bytes.constData(), bytes.size(), &error)) {
        interaction.warning(this, QString::fromUtf8("保存文件"),
                            QString::fromUtf8("不能打开文件 %1:\n%2.").arg(fileName, error));
    }
}

void MainWindow::on_startAddrSpinBox_valueChanged(int startAddress)
{
    QHexEditData* model = hexEdit->data();
    if (!model)
        return;
    hexEdit->setBaseAddress(startAddress);
    // A buffer placed at the start address never reaches past the end of the chip.
    const std::int64_t limit = roomFromStartAddress();
    const qint64 length = model->length();
    if (limit <= length && length > 0) {
        const qint64 cut = limit > 0 ? limit : 1;
        if (!QHexEditDataWriter(model).remove(cut, length - cut))
            qWarning("Buffer not cut to the chip");
    }
    hexEdit->hide();
    hexEdit->show();
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
    const int deviceIndex = ui->devIndexComboBox->currentIndex();
    const int selector = spiSelectorForRow(ui->spiIndexComboBox->currentIndex());
    bool detected = false;
    std::uint8_t id[3] = {};
    int matches = 0;
    {
        ChipDetectDialog dialog(adapter, interaction, this);
        dialog.setDeviceIndex(deviceIndex);
        dialog.setSpiSelector(selector);
        interaction.execDialog(&dialog);
        detected = dialog.detected();
        std::copy(dialog.detectedId(), dialog.detectedId() + 3, id);
        matches = dialog.matchCount();
        const CHIP_INFO found = dialog.result();
        if (chipIdKey(found.Config.FlashID) != 0) {
            // Each change runs the slots above, which make the model the current chip.
            ui->manufacturerComboBox->setCurrentText(chipManufacturer(found));
            ui->modelNameComboBox->setCurrentText(chipModelName(found));
        }
    }
    if (detected)
        afterDetection(deviceIndex, selector, id, matches);
}

void MainWindow::afterDetection(int deviceIndex, int selector, const std::uint8_t* id, int matches)
{
    const QString idText = QString::asprintf("%02X%02X%02X", id[0], id[1], id[2]);
    // The detection left the adapter open and configured for the chip: its SFDP table follows.
    SfdpInfo info;
    const bool hasSfdp = readSfdp(adapter, deviceIndex, selector, &info).ok();
    detectedSfdp = ChipSfdp{};
    if (hasSfdp) {
        detectedSfdp.deviceIndex = deviceIndex;
        detectedSfdp.selector = selector;
        std::copy(id, id + 3, detectedSfdp.id);
        detectedSfdp.info = info;
    }
    QString text = QString::fromUtf8("芯片ID：%1").arg(idText);
    if (matches > 1)
        text += QString::fromUtf8("，有%1个型号的ID与之相同，已选第一个，请确认型号").arg(matches);
    text += hasSfdp ? QString::fromUtf8("；SFDP：%1").arg(sfdpSummary(info))
                    : QString::fromUtf8("；无SFDP参数表");
    statusBar()->showMessage(text);

    if (matches > 0 || !hasSfdp)
        return;
    CHIP_INFO record{};
    QString manufacturer = QStringLiteral("Unknown");
    for (const CHIP_INFO& chip : qAsConst(chipList)) {
        if (chip.Config.FlashID[0] == id[0]) {
            manufacturer = chipManufacturer(chip);
            break;
        }
    }
    if (!chipInfoFromSfdp(info, id, 3, manufacturer, QStringLiteral("SFDP-") + idText, &record))
        return;
    const auto answer = interaction.question(
        this, QMessageBox::Question, QString::fromUtf8("芯片识别"),
        QString::fromUtf8("芯片库中没有ID为%1的型号。\n芯片带有SFDP参数表：%2。\n\n是否按SFDP参数新增芯片？")
            .arg(idText, sfdpSummary(info)),
        QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    {
        ChipListDialog dialog(interaction, this);
        dialog.offerRecord(record);
        interaction.execDialog(&dialog);
    }
    loadChipList();
    // Selected, if it was added.
    for (const CHIP_INFO& chip : qAsConst(chipList)) {
        if (chipModelName(chip) == chipModelName(record)) {
            ui->manufacturerComboBox->setCurrentText(chipManufacturer(chip));
            ui->modelNameComboBox->setCurrentText(chipModelName(chip));
            break;
        }
    }
}

// ---- Flash operations ----

OperationContext MainWindow::operationContext()
{
    OperationContext context{adapter,
                             interaction,
                             clock,
                             this,
                             ui->devIndexComboBox->currentIndex(),
                             spiSelectorForRow(ui->spiIndexComboBox->currentIndex()),
                             spiClockForRow(ui->speedComboBox->currentIndex()),
                             ui->startAddrSpinBox->value(),
                             currentChip};
    context.sfdp = &detectedSfdp;
    return context;
}

void MainWindow::on_eraseChipPushButton_clicked()
{
    const OperationContext context = operationContext();
    // The check is an operation of its own, after the erase's report.
    if (eraseChip(context) && ui->actionBlankCheckAfterErase->isChecked())
        blankCheck(context);
}

void MainWindow::on_writeDataPushButton_clicked()
{
    OperationContext context = operationContext();
    context.hexEdit = hexEdit;
    writeFlash(context);
}

void MainWindow::on_readDataPushButton_clicked()
{
    OperationContext context = operationContext();
    context.hexEdit = hexEdit;
    context.readTwice = ui->actionReadTwice->isChecked();
    readFlash(context);
}

void MainWindow::on_verifyPushButton_clicked()
{
    OperationContext context = operationContext();
    context.hexEdit = hexEdit;
    verifyFlash(context);
}

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

void MainWindow::on_actionSmartWrite_triggered()
{
    OperationContext context = operationContext();
    context.hexEdit = hexEdit;
    smartWrite(context);
}

void MainWindow::on_actionBlankCheck_triggered()
{
    blankCheck(operationContext());
}

void MainWindow::on_actionStatusRegisters_triggered()
{
    const OperationContext context = operationContext();
    FlashTarget target;
    target.deviceIndex = context.deviceIndex;
    target.selector = context.selector;
    target.clockHz = context.clockHz;
    target.chip = currentChip;
    StatusRegisterDialog dialog(adapter, interaction, clock, target,
                                detectedSfdp.forTarget(target.deviceIndex, target.selector, currentChip),
                                this);
    interaction.execDialog(&dialog);
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
