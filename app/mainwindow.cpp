#include "app/mainwindow.h"
#include "core/base/version.h"
#include "ui_mainwindow.h"

#include "app/windowlanguage.h"
#include "core/adapter/adapterlibrary.h"
#include "core/base/clock.h"
#include "core/base/fileaccess.h"
#include "core/base/imagedigest.h"
#include "core/chip/chiplist.h"
#include "core/chip/chiplistlocation.h"
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
#include "gui/productiondialog.h"
#include "gui/readwriteverify.h"
#include "gui/smartwrite.h"
#include "gui/statusregisterdialog.h"
#include "gui/userinteraction.h"
#include "qhexedit/qhexedit.h"
#include "qhexedit/qhexeditdata.h"
#include "qhexedit/qhexeditdatareader.h"
#include "qhexedit/qhexeditdatawriter.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QLoggingCategory>
#include <QSettings>
#include <QStatusBar>

#include <algorithm>

namespace korvane {

// Which chip list the window read: QT_LOGGING_RULES="korvane.chiplist.info=true" shows it.
Q_LOGGING_CATEGORY(chipListLog, "korvane.chiplist", QtWarningMsg)

namespace {

// A text of this file in the window's language.
QString translated(const char* text)
{
    return QCoreApplication::translate("MainWindow", text);
}

const char kAboutTitle[] = QT_TRANSLATE_NOOP("MainWindow", "帮助");
const char kAboutText[] = QT_TRANSLATE_NOOP(
    "MainWindow", "官方网站<span style=\"font-size:12px;\"></span>："
                  "<a href=\"http://www.korvane.example\">http://www.korvane.example</a><br>"
                  "技术支持：0571-5550-1234<br>"
                  "版本信息：v%1");

// Every file is offered first, as always; the others name the record formats and raw images.
const char kFileFilter[] = QT_TRANSLATE_NOOP("MainWindow", "All File (*.*);;"
                                                           "Intel HEX 文件 (*.hex *.ihex *.ihx);;"
                                                           "S-record 文件 (*.srec *.s19 *.s28 *.s37 *.mot);;"
                                                           "二进制文件 (*.bin)");

// Data bytes per record in a saved record file: what most tools write.
constexpr int kRecordBytes = 16;

QString hexText(std::uint64_t value)
{
    return QStringLiteral("0x") + QStringLiteral("%1").arg(value, 6, 16, QLatin1Char('0')).toUpper();
}

// Why a record file was refused, for the warning box.
QString recordFaultText(const ImageError& error)
{
    switch (error.kind) {
    case ImageError::None:
        break;
    case ImageError::Malformed:
        return QCoreApplication::translate("MainWindow", "第 %1 行不是有效的记录。").arg(error.line);
    case ImageError::BadChecksum:
        return QCoreApplication::translate("MainWindow", "第 %1 行校验和错误。").arg(error.line);
    case ImageError::UnknownRecord:
        return QCoreApplication::translate("MainWindow", "第 %1 行的记录类型 %2 无法识别。")
            .arg(error.line)
            .arg(error.detail);
    case ImageError::AddressOverflow:
        return QCoreApplication::translate("MainWindow", "第 %1 行的数据超出 4 GB 地址范围。")
            .arg(error.line);
    case ImageError::CountMismatch:
        return QCoreApplication::translate("MainWindow", "第 %1 行的记录数 %2 与前面的数据记录数不符。")
            .arg(error.line)
            .arg(error.detail);
    case ImageError::Overlap:
        return QCoreApplication::translate("MainWindow", "第 %1 行与第 %2 行在地址 %3 的数据不同。")
            .arg(error.line)
            .arg(error.otherLine)
            .arg(hexText(error.address));
    case ImageError::ContentAfterEnd:
        return QCoreApplication::translate("MainWindow", "第 %1 行在结束记录之后。").arg(error.line);
    case ImageError::MissingEnd:
        return QCoreApplication::translate("MainWindow", "文件没有结束记录，可能不完整。");
    case ImageError::NoData:
        return QCoreApplication::translate("MainWindow", "文件中没有数据。");
    case ImageError::TooLarge:
        return QCoreApplication::translate("MainWindow", "数据从 %1 到 %2，范围太大。")
            .arg(hexText(error.address), hexText(error.endAddress - 1));
    case ImageError::ReadFailed:
        return error.detail;
    }
    return QString();
}

} // namespace

MainWindow::MainWindow(AdapterLibrary& adapter, UserInteraction& interaction, Clock& clock, QWidget* parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), adapter(adapter), interaction(interaction), clock(clock)
{
    ui->setupUi(this);
    // Each row of the settings panel is a layout of its own: labels of one width keep the boxes in
    // a column whatever the language (the Chinese ones are all of a width already).
    const QList<QLabel*> rowLabels{ui->label,   ui->label_2, ui->label_6, ui->label_3,
                                   ui->label_4, ui->label_5, ui->label_7};
    int labelWidth = 0;
    for (QLabel* label : rowLabels)
        labelWidth = std::max(labelWidth, label->sizeHint().width());
    for (QLabel* label : rowLabels)
        label->setMinimumWidth(labelWidth);

    // The buffer view: no model until the first load or read.
    hexEdit = new QHexEdit;
    gridLayout = new QGridLayout(ui->dataWidget);
    gridLayout->addWidget(hexEdit);
    hexEdit->setBaseAddress(ui->startAddrSpinBox->value());
    hexEdit->show();
    // A wider window widens the buffer first, so the text column comes into view.
    ui->gridLayout_3->setColumnStretch(0, 1);

    loadChipList();
    for (int i = 0; i < 10; ++i)
        ui->devIndexComboBox->addItem(QString::asprintf("%d", i));

    adapterLabel = new QLabel;
    adapterLabel->setObjectName(QStringLiteral("adapterLabel"));
    ui->statusBar->addPermanentWidget(adapterLabel, 1);
    hashLabel = new QLabel;
    hashLabel->setObjectName(QStringLiteral("hashLabel"));
    ui->statusBar->addPermanentWidget(hashLabel);
    for (QComboBox* box : {ui->devIndexComboBox, ui->spiIndexComboBox, ui->speedComboBox})
        connect(box, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this] { showAdapter(); });
    showAdapter();

    addLanguageMenu();

    // Runs after the start-address rule, which the form connected first.
    connect(ui->startAddrSpinBox, QOverload<int>::of(&QSpinBox::valueChanged), this, [this] {
        if (!settingStartAddress)
            startAddressGiven = true;
    });

    // Open wide enough for the whole hex view, character column included, in the font the view
    // actually got, beside the settings panel as wide as the chip names make it: both differ from
    // system to system. Measured once the boxes are filled and the layouts know their widgets.
    ensurePolished();
    const auto children = findChildren<QWidget*>();
    for (QWidget* child : children)
        child->ensurePolished();
    centralWidget()->layout()->activate();
    resize(std::max(width(), sizeHint().width()), height());
}

void MainWindow::showAdapter()
{
    const int index = ui->devIndexComboBox->currentIndex();
    const AdapterIdentity id = adapter.identity(index);
    QString text;
    if (id.backend.empty() && id.name.empty()) {
        text = tr("设备 %1：未找到").arg(index);
    } else {
        QStringList where{QString::fromStdString(id.backend)};
        if (!id.location.empty())
            where << QString::fromStdString(id.location);
        if (!id.serial.empty())
            where << tr("序列号 %1").arg(QString::fromStdString(id.serial));
        text = tr("设备 %1：%2（%3）").arg(index).arg(QString::fromStdString(id.name), where.join(tr("，")));
        const std::uint32_t hz =
            adapter.effectiveClockHz(index, spiSelectorForRow(ui->spiIndexComboBox->currentIndex()));
        if (hz != 0)
            text += tr("  SPI 时钟 %1 MHz").arg(QString::number(hz / 1e6, 'g', 6));
    }
    adapterLabel->setText(text);
    ui->devIndexComboBox->setToolTip(text);
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::loadChipList()
{
    const QString path = locateChipList().readPath;
    QList<InvalidChipRecord> invalid;
    if (!korvane::loadChipList(this, interaction, chipList, path, nullptr, &invalid))
        return;
    qCInfo(chipListLog, "chip list %s: %d records, %d left out", qPrintable(QDir::toNativeSeparators(path)),
           chipList.size(), invalid.size());
    QCryptographicHash digest(QCryptographicHash::Sha256);
    for (const InvalidChipRecord& record : qAsConst(invalid))
        digest.addData(reinterpret_cast<const char*>(&record.chip), sizeof record.chip);
    const QByteArray invalidRecords = invalid.isEmpty() ? QByteArray() : digest.result();
    if (invalidRecords != warnedInvalidRecords)
        warnInvalidChipRecords(this, interaction, path, invalid);
    warnedInvalidRecords = invalidRecords;
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
    const QString fileName =
        interaction.getOpenFileName(this, tr("打开文件"), fileDirectory, translated(kFileFilter));
    if (fileName.isEmpty())
        return;
    rememberDirectory(fileName);
    // Only a regular file: a FIFO would block the window until something writes to it.
    QFile file;
    if (!openRegularFile(file, fileName, nullptr)) {
        qDebug("Open file error");
        return;
    }
    // A record file says so in its first line; anything else is a raw image, loaded as always.
    const QByteArray head = file.peek(qint64(kImageSniffSize));
    const ImageFormat format =
        detectImageFormat(fileName, head.constData(), std::size_t(head.size()), head.size() == file.size());
    if (format != ImageFormat::Binary) {
        loadRecordFile(file, fileName, format);
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
    setBuffer(bytes);
}

void MainWindow::setBuffer(const QByteArray& bytes)
{
    QHexEditData* previous = hexEdit->data();
    QHexEditData* model = QHexEditData::fromMemory(bytes);
    model->setParent(this);
    hexEdit->setData(model);
    // Only now does nothing refer to the old model any more (its reader and writer go with it).
    delete previous;
}

void MainWindow::loadRecordFile(QFile& file, const QString& fileName, ImageFormat format)
{
    const QString title = tr("打开文件");
    const QString text = tr("不能载入文件 %1:\n%2");
    RecordImage records;
    ImageError error;
    // Data past the chip is not held, but the file is still followed to its end, so that the
    // warning says how far it reaches.
    const std::int64_t size = chipSize(currentChip);
    const std::int64_t userStart = startAddressGiven ? ui->startAddrSpinBox->value() : 0;
    records.setRoom(std::uint64_t(std::max<std::int64_t>(size - userStart, 0)), startAddressGiven,
                    RecordImage::PastRoom::Measure);
    if (!readRecordFile(file, format, &records, &error)) {
        interaction.warning(this, title, text.arg(fileName, recordFaultText(error)));
        return;
    }
    if (records.isEmpty()) {
        interaction.warning(this, title, text.arg(fileName, tr("文件中没有数据。")));
        return;
    }
    // Checked on the addresses alone, before anything is built or changed.
    const std::uint64_t start =
        startAddressGiven ? std::uint64_t(ui->startAddrSpinBox->value()) : records.lowest();
    if (size <= 0 || start + records.span() > std::uint64_t(size)) {
        QString where = tr("数据从 %1 到 %2").arg(hexText(records.lowest()), hexText(records.end() - 1));
        if (start != records.lowest())
            where += tr("，放在地址 %1 起").arg(hexText(start));
        interaction.warning(
            this, title,
            text.arg(fileName, where + tr("，超出芯片容量（%1）。").arg(formatChipSize(std::int32_t(size)))));
        return;
    }
    QByteArray bytes;
    if (!records.assemble(&bytes, &error)) {
        interaction.warning(this, title, text.arg(fileName, recordFaultText(error)));
        return;
    }

    setBuffer(bytes);
    // The file's own address becomes the start address; the view shows the file's addresses even
    // where the value was already there and so changes nothing.
    if (!startAddressGiven) {
        settingStartAddress = true;
        ui->startAddrSpinBox->setValue(int(start));
        settingStartAddress = false;
    }
    hexEdit->setBaseAddress(qint64(start));
}

void MainWindow::on_actionSaveAs_triggered()
{
    QHexEditData* model = hexEdit->data();
    if (!model) {
        interaction.warning(this, tr("警告"), tr("没有数据！"));
        return;
    }
    const QString fileName =
        interaction.getSaveFileName(this, tr("另存为"), fileDirectory, translated(kFileFilter));
    if (fileName.isEmpty())
        return;
    rememberDirectory(fileName);
    QHexEditDataReader reader(model);
    bool complete = false;
    const QByteArray bytes = reader.read(0, model->length(), &complete);
    if (!complete) {
        // Nothing is written: a shorter file would pass for the whole buffer.
        interaction.warning(this, tr("保存文件"), tr("不能保存文件 %1:\n读取缓冲区数据出错！").arg(fileName));
        return;
    }

    // Written beside the target and renamed over it only when complete, so a full disk or a
    // failing device never leaves a half-written file; the warning says why it failed. A record
    // file's name asks for one; its records start at the start address, as a write would.
    QString error;
    const ImageFormat format = imageFormatForFileName(fileName).value_or(ImageFormat::Binary);
    bool saved = false;
    if (format == ImageFormat::Binary) {
        saved = writeFileAtomically(fileName, bytes.constData(), bytes.size(), &error);
    } else {
        const std::uint64_t start = std::uint64_t(ui->startAddrSpinBox->value());
        saved = writeFileAtomically(
            fileName,
            [&](QIODevice& file, QString* why) {
                return writeRecordFile(file, format, start,
                                       reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                       std::size_t(bytes.size()), kRecordBytes, why);
            },
            &error);
    }
    if (!saved) {
        interaction.warning(this, tr("保存文件"), tr("不能打开文件 %1:\n%2.").arg(fileName, error));
    }
}

void MainWindow::rememberDirectory(const QString& fileName)
{
    fileDirectory = QFileInfo(fileName).absolutePath();
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
        // A buffer that ends exactly at the chip's end has nothing to lose.
        if (cut < length && !QHexEditDataWriter(model).remove(cut, length - cut))
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
        // QSpinBox::setMaximum lowers the minimum along with it. A value lowered here is not the
        // user's doing.
        const bool wasSetting = settingStartAddress;
        settingStartAddress = true;
        ui->startAddrSpinBox->setMaximum(std::max<std::int32_t>(size, 1) - 1);
        settingStartAddress = wasSetting;
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
        showAdapter();
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
    QString text = tr("芯片ID：%1").arg(idText);
    if (matches > 1)
        text += tr("，有%1个型号的ID与之相同，已选第一个，请确认型号").arg(matches);
    text += hasSfdp ? tr("；SFDP：%1").arg(sfdpSummary(info)) : tr("；无SFDP参数表");
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
        this, QMessageBox::Question, tr("芯片识别"),
        tr("芯片库中没有ID为%1的型号。\n芯片带有SFDP参数表：%2。\n\n是否按SFDP参数新增芯片？")
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
    return context;
}

void MainWindow::on_eraseChipPushButton_clicked()
{
    const OperationContext context = operationContext();
    // The check is an operation of its own, after the erase's report.
    if (eraseWholeChip(context) && ui->actionBlankCheckAfterErase->isChecked())
        checkChipBlank(context);
    showAdapter();
}

void MainWindow::showHashes(FlashOperation operation, const QByteArray& bytes)
{
    const ImageDigest digest = ImageDigest::of(bytes);
    hashLabel->setText(tr("%1 SHA-256 %2… CRC-32 %3")
                           .arg(operationText(operationTexts(operation).progressTitle), digest.sha256().left(16),
                                digest.crc32()));
    hashLabel->setToolTip(QStringLiteral("SHA-256 %1\nCRC-32 %2").arg(digest.sha256(), digest.crc32()));
}

void MainWindow::on_writeDataPushButton_clicked()
{
    OperationContext context = operationContext();
    context.hexEdit = hexEdit;
    context.succeededWith = [this](const QByteArray& bytes) { showHashes(FlashOperation::Write, bytes); };
    context.verifyAfterWrite = ui->actionVerifyAfterWrite->isChecked();
    writeBuffer(context);
    showAdapter();
}

void MainWindow::on_readDataPushButton_clicked()
{
    OperationContext context = operationContext();
    context.hexEdit = hexEdit;
    context.readTwice = ui->actionReadTwice->isChecked();
    context.succeededWith = [this](const QByteArray& bytes) { showHashes(FlashOperation::Read, bytes); };
    readIntoBuffer(context);
    showAdapter();
}

void MainWindow::on_verifyPushButton_clicked()
{
    OperationContext context = operationContext();
    context.hexEdit = hexEdit;
    context.succeededWith = [this](const QByteArray& bytes) { showHashes(FlashOperation::Verify, bytes); };
    verifyBuffer(context);
    showAdapter();
}

void MainWindow::on_eraseSectorPushButton_clicked()
{
    chooseAndEraseSectors(operationContext());
    showAdapter();
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
    smartWriteBuffer(context);
    showAdapter();
}

void MainWindow::on_actionBlankCheck_triggered()
{
    checkChipBlank(operationContext());
    showAdapter();
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

void MainWindow::on_actionProduction_triggered()
{
    const OperationContext context = operationContext();
    ProductionDialog dialog({adapter, clock, interaction, context.deviceIndex, context.selector, context.clockHz,
                             currentChip, context.startAddress},
                            this);
    interaction.execDialog(&dialog);
    showAdapter();
}

// ---- Help and adapter firmware ----

void MainWindow::on_actionHelp_triggered()
{
    interaction.about(this, translated(kAboutTitle), translated(kAboutText).arg(QLatin1String(kProgramVersion)));
}

void MainWindow::on_actionFirmwareInfo_triggered()
{
    FirmwareService(adapter, interaction, clock, this).showFirmwareInfo(ui->devIndexComboBox->currentIndex());
}

void MainWindow::on_actionUpgrade_triggered()
{
    FirmwareService(adapter, interaction, clock, this).upgradeFirmware(ui->devIndexComboBox->currentIndex());
}

// ---- Language ----

void MainWindow::addLanguageMenu()
{
    // The same title in both languages, so that a user lost in the other one finds it; each
    // language is named in its own.
    QMenu* menu = ui->menu_4->addMenu(QStringLiteral("语言/Language"));
    menu->setObjectName(QStringLiteral("languageMenu"));
    menu->menuAction()->setObjectName(QStringLiteral("actionLanguage"));
    auto* group = new QActionGroup(this);
    const auto add = [&](const QString& text, const char* name, WindowLanguage language) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QLatin1String(name));
        action->setCheckable(true);
        action->setData(int(language));
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, language] { chooseLanguage(language); });
    };
    add(tr("跟随系统"), "actionLanguageSystem", WindowLanguage::System);
    add(QStringLiteral("中文"), "actionLanguageChinese", WindowLanguage::Chinese);
    add(QStringLiteral("English"), "actionLanguageEnglish", WindowLanguage::English);
    showLanguage(WindowLanguage::System);
}

void MainWindow::showLanguage(WindowLanguage language)
{
    for (QAction* action : findChild<QMenu*>(QStringLiteral("languageMenu"))->actions())
        action->setChecked(action->data().toInt() == int(language));
}

void MainWindow::chooseLanguage(WindowLanguage language)
{
    // A window without settings has nowhere to keep the choice for the next start.
    if (!settings)
        return;
    rememberLanguage(*settings, language);
    const bool english = speaksEnglish(language, QLocale::system());
    if (english == englishInUse())
        return;
    // Said in the language chosen: the window speaks it from the next start on.
    if (english)
        interaction.information(this, QStringLiteral("Language"),
                                QStringLiteral("The window will be in English from the next start."));
    else
        interaction.information(this, QStringLiteral("语言"), QStringLiteral("下次启动时界面将改为中文。"));
}

// ---- Remembered choices ----

void MainWindow::rememberChoices(QSettings* store)
{
    settings = store;
    if (!settings)
        return;
    settings->beginGroup(QStringLiteral("window"));
    const QByteArray geometry = settings->value(QStringLiteral("geometry")).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    // Only an entry the box still offers is taken; the manufacturer refills the models first.
    const auto restore = [this](QComboBox* box, const char* key) {
        const QVariant value = settings->value(QLatin1String(key));
        const int row = value.isValid() ? box->findText(value.toString()) : -1;
        if (row >= 0)
            box->setCurrentIndex(row);
    };
    restore(ui->devIndexComboBox, "device");
    restore(ui->spiIndexComboBox, "port");
    restore(ui->speedComboBox, "speed");
    restore(ui->manufacturerComboBox, "manufacturer");
    restore(ui->modelNameComboBox, "model");
    fileDirectory = settings->value(QStringLiteral("directory")).toString();
    settings->endGroup();
    showLanguage(rememberedLanguage(*settings));
}

void MainWindow::saveChoices()
{
    settings->beginGroup(QStringLiteral("window"));
    settings->setValue(QStringLiteral("geometry"), saveGeometry());
    settings->setValue(QStringLiteral("device"), ui->devIndexComboBox->currentText());
    settings->setValue(QStringLiteral("port"), ui->spiIndexComboBox->currentText());
    settings->setValue(QStringLiteral("speed"), ui->speedComboBox->currentText());
    // An empty list selects nothing: what was remembered stays for when the list is back.
    if (!ui->manufacturerComboBox->currentText().isEmpty()) {
        settings->setValue(QStringLiteral("manufacturer"), ui->manufacturerComboBox->currentText());
        settings->setValue(QStringLiteral("model"), ui->modelNameComboBox->currentText());
    }
    if (!fileDirectory.isEmpty())
        settings->setValue(QStringLiteral("directory"), fileDirectory);
    settings->endGroup();
    settings->sync();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (settings)
        saveChoices();
    QMainWindow::closeEvent(event);
}

} // namespace korvane
