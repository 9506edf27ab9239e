#include "gui/productiondialog.h"

#include "core/adapter/adapterlibrary.h"
#include "core/base/fileaccess.h"
#include "core/formats/imageformat.h"
#include "gui/userinteraction.h"

#include "ui_productiondialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>

namespace korvane {

namespace {

const char kFileFilter[] =
    QT_TRANSLATE_NOOP("ProductionDialog", "All File (*.*);;"
                                          "Intel HEX 文件 (*.hex *.ihex *.ihx);;"
                                          "S-record 文件 (*.srec *.s19 *.s28 *.s37 *.mot);;"
                                          "二进制文件 (*.bin)");
const char kPassStyle[] = "QLabel { color: white; background: #2e7d32; font-size: 32pt; font-weight: bold; }";
const char kFailStyle[] = "QLabel { color: white; background: #c62828; font-size: 32pt; font-weight: bold; }";
const char kIdleStyle[] = "QLabel { color: palette(mid); font-size: 32pt; font-weight: bold; }";

const SerialFormat kSerialFormats[] = {SerialFormat::Decimal, SerialFormat::Hex, SerialFormat::LittleEndian,
                                       SerialFormat::BigEndian};

std::optional<std::uint64_t> parseNumber(const QString& text, int defaultBase)
{
    QString digits = text.trimmed();
    int base = defaultBase;
    if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        digits = digits.mid(2);
        base = 16;
    }
    bool ok = false;
    const qulonglong value = digits.toULongLong(&ok, base);
    if (!ok || digits.startsWith(QLatin1Char('+')))
        return std::nullopt;
    return value;
}

} // namespace

// The unit's steps on the progress bar; pending events run once per block, so that 停止 is heard.
class ProductionDialog::Observer : public StationObserver
{
public:
    explicit Observer(ProductionDialog& dialog) : dialog(dialog) {}

    void unitStarted(int unit, std::optional<std::uint64_t> serial, const QString&) override
    {
        dialog.ui->stateLabel->setText(ProductionDialog::tr("正在烧录第 %1 片…").arg(unit));
        dialog.ui->serialLabel->setText(serial ? ProductionDialog::tr("序列号：%1").arg(qulonglong(*serial))
                                               : ProductionDialog::tr("序列号：无"));
        dialog.ui->resultLabel->setStyleSheet(QLatin1String(kIdleStyle));
        dialog.ui->resultLabel->setText(QStringLiteral("…"));
    }
    void stepStarted(UnitStep, std::int64_t steps) override
    {
        total = steps;
        dialog.ui->progressBar->setRange(0, total > 0 ? 1000 : 0);
        dialog.ui->progressBar->setValue(0);
        QCoreApplication::processEvents();
    }
    void advanced(std::int64_t done) override
    {
        if (total > 0)
            dialog.ui->progressBar->setValue(int(std::min<std::int64_t>(done * 1000 / total, 1000)));
        QCoreApplication::processEvents();
    }
    void waiting() override { QCoreApplication::processEvents(); }
    void noted(const QString& text) override { dialog.ui->logView->appendPlainText(text); }

private:
    ProductionDialog& dialog;
    std::int64_t total = 0;
};

ProductionDialog::ProductionDialog(const Target& target, QWidget* parent)
    : QDialog(parent), ui(new Ui::ProductionDialog), target(target), timer(new QTimer(this))
{
    ui->setupUi(this);
    timer->setObjectName(QStringLiteral("pollTimer"));
    timer->setSingleShot(true);
    timer->setInterval(kProductionPollMs);
    connect(timer, &QTimer::timeout, this, &ProductionDialog::pollOnce);
    ui->resultLabel->setStyleSheet(QLatin1String(kIdleStyle));
    QFont mono = ui->logView->font();
    mono.setFamily(QStringLiteral("monospace"));
    mono.setStyleHint(QFont::Monospace);
    ui->logView->setFont(mono);
    setRunning(false);
}

ProductionDialog::~ProductionDialog()
{
    delete ui;
}

void ProductionDialog::on_serialFormatComboBox_currentIndexChanged(int index)
{
    const SerialFormat format = kSerialFormats[std::clamp(index, 0, 3)];
    ui->serialSizeSpinBox->setMaximum(maxSerialSize(format));
    ui->serialSizeSpinBox->setValue(defaultSerialSize(format));
}

void ProductionDialog::on_imageBrowseButton_clicked()
{
    const QString name = target.ui.getOpenFileName(
        this, tr("镜像文件"), QString(), QCoreApplication::translate("ProductionDialog", kFileFilter));
    if (!name.isEmpty())
        ui->imageLineEdit->setText(name);
}

void ProductionDialog::on_logBrowseButton_clicked()
{
    const QString name = target.ui.getSaveFileName(this, tr("日志文件"), QString(),
                                                   tr("日志 (*.csv *.jsonl);;All File (*.*)"));
    if (!name.isEmpty())
        ui->logLineEdit->setText(name);
}

void ProductionDialog::on_serialFileBrowseButton_clicked()
{
    const QString name = target.ui.getSaveFileName(this, tr("计数文件"), QString(), tr("All File (*.*)"));
    if (!name.isEmpty())
        ui->serialFileLineEdit->setText(name);
}

void ProductionDialog::warn(const QString& text)
{
    target.ui.warning(this, tr("警告"), text);
}

bool ProductionDialog::readImage(std::vector<ImageSegment>* image)
{
    const QString path = ui->imageLineEdit->text().trimmed();
    if (path.isEmpty()) {
        warn(tr("请选择镜像文件！"));
        return false;
    }
    QFile file;
    QString reason;
    if (!openRegularFile(file, path, &reason)) {
        warn(tr("不能打开镜像文件 %1：\n%2").arg(path, reason));
        return false;
    }
    const QByteArray head = file.peek(qint64(kImageSniffSize));
    const ImageFormat format =
        detectImageFormat(path, head.constData(), std::size_t(head.size()), head.size() == file.size());
    image->clear();
    if (format == ImageFormat::Binary) {
        ImageSegment whole;
        whole.start = std::uint64_t(std::max(target.startAddress, 0));
        whole.bytes = file.readAll();
        if (file.error() != QFileDevice::NoError || whole.bytes.isEmpty()) {
            warn(whole.bytes.isEmpty() && file.error() == QFileDevice::NoError
                     ? tr("镜像文件 %1 是空的！").arg(path)
                     : tr("不能读取镜像文件 %1：\n%2").arg(path, file.errorString()));
            return false;
        }
        image->push_back(whole);
    } else {
        RecordImage records;
        ImageError error;
        if (!readRecordFile(file, format, &records, &error) || !records.takeSegments(image, &error)) {
            warn(tr("镜像文件 %1 有错误：\n%2").arg(path, imageErrorText(error)));
            return false;
        }
    }
    const std::uint64_t size = std::uint64_t(std::max(chipSize(target.chip), 0));
    for (const ImageSegment& segment : *image) {
        if (segment.start + std::uint64_t(segment.bytes.size()) > size) {
            warn(tr("镜像数据超出芯片容量！"));
            return false;
        }
    }
    return true;
}

QString ProductionDialog::errorText(const ProductionError& error) const
{
    const QString serial = error.serial ? QString::number(qulonglong(*error.serial)) : QString();
    const QString stays = error.serial ? tr("\n序列号 %1 仍记为未完成。").arg(serial) : QString();
    switch (error.kind) {
    case ProductionError::InUse:
        return tr("计数文件 %1 正被另一个量产任务使用！").arg(error.path);
    case ProductionError::CannotLock:
        return tr("不能锁定计数文件 %1：\n%2").arg(error.path, error.detail);
    case ProductionError::NoCounter:
        return tr("计数文件 %1 不存在，请填写起始值！").arg(error.path);
    case ProductionError::Unreadable:
        return tr("不能读取计数文件 %1：\n%2").arg(error.path, error.detail);
    case ProductionError::Malformed:
        return tr("计数文件 %1 第 %2 行无法识别！").arg(error.path).arg(error.line);
    case ProductionError::CannotWrite:
        return tr("不能写入计数文件 %1：\n%2").arg(error.path, error.detail) + stays;
    case ProductionError::LogFailed:
        return tr("不能写入日志文件 %1：\n%2").arg(error.path, error.detail) + stays;
    case ProductionError::SerialTooLarge:
        return tr("序列号 %1 超出了设定的长度！").arg(serial);
    default:
        return productionErrorText(error);
    }
}

bool ProductionDialog::start()
{
    std::vector<ImageSegment> image;
    if (!readImage(&image))
        return false;
    ProductionRunSettings settings;
    std::optional<SerialPatch> patch;
    if (ui->serialGroupBox->isChecked()) {
        const auto address = parseNumber(ui->serialAddressLineEdit->text(), 16);
        if (!address || *address > 0xFFFFFFFFu) {
            warn(tr("请填写序列号的地址（十六进制）！"));
            return false;
        }
        patch = SerialPatch{std::uint32_t(*address), kSerialFormats[ui->serialFormatComboBox->currentIndex()],
                            ui->serialSizeSpinBox->value()};
        if (!patchFits(image, *patch)) {
            warn(tr("序列号的位置跨越了镜像数据的边界！"));
            return false;
        }
        settings.serialFile = ui->serialFileLineEdit->text().trimmed();
        if (settings.serialFile.isEmpty()) {
            warn(tr("请选择计数文件！"));
            return false;
        }
        if (!ui->serialStartLineEdit->text().trimmed().isEmpty()) {
            settings.serialStart = parseNumber(ui->serialStartLineEdit->text(), 10);
            if (!settings.serialStart) {
                warn(tr("起始值不是数字！"));
                return false;
            }
        }
        settings.patch = patch;
    }
    settings.logFile = ui->logLineEdit->text().trimmed();
    settings.logFormat = ui->logFormatComboBox->currentIndex() == 1 ? LogFormat::JsonLines : LogFormat::Csv;
    settings.imageSha256 = imageSha256(image);

    std::vector<std::pair<std::uint64_t, QString>> resumed;
    run = std::make_unique<ProductionRun>();
    ProductionError error = run->open(settings, &resumed);
    if (error.kind == ProductionError::InFlight) {
        QStringList serials;
        for (const auto& entry : error.inFlight)
            serials << tr("%1（%2）").arg(qulonglong(entry.first)).arg(entry.second);
        const auto answer = target.ui.question(
            this, QMessageBox::Warning, tr("量产"),
            tr("上次量产没有完成序列号 %1 的芯片（程序中断或断电），那块板子可能已经写入了这个序列号。\n\n"
               "是：跳过这些序列号，不再使用\n否：重新使用这些序列号（那块板子已作废时）\n取消：不开始")
                .arg(serials.join(tr("、"))),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        if (answer != QMessageBox::Yes && answer != QMessageBox::No) {
            run.reset();
            return false;
        }
        settings.resume = answer == QMessageBox::Yes ? SerialResume::Skip : SerialResume::Reuse;
        run = std::make_unique<ProductionRun>();
        error = run->open(settings, &resumed);
    }
    if (!error.ok()) {
        run.reset();
        warn(errorText(error));
        return false;
    }
    for (const auto& entry : resumed)
        ui->logView->appendPlainText(settings.resume == SerialResume::Skip
                                         ? tr("序列号 %1 已跳过").arg(qulonglong(entry.first))
                                         : tr("序列号 %1 将重新使用").arg(qulonglong(entry.first)));

    StationSettings unit;
    unit.deviceIndex = target.deviceIndex;
    unit.selector = target.selector;
    unit.clockHz = target.clockHz;
    const AdapterIdentity id = target.adapter.identity(target.deviceIndex);
    unit.name = QString::fromStdString(id.backend + " " + id.location).trimmed();
    unit.image = std::move(image);
    unit.imageSha256 = settings.imageSha256;
    unit.patch = patch;
    unit.eraseFirst = ui->eraseWriteRadioButton->isChecked();
    unit.unprotect = ui->unprotectCheckBox->isChecked();
    unit.chip = target.chip;
    observer = std::make_unique<Observer>(*this);
    station = std::make_unique<ProductionStation>(target.adapter, target.clock, *run, unit);
    return true;
}

void ProductionDialog::on_startButton_clicked()
{
    if (isRunning() || !start())
        return;
    setRunning(true);
    showCounts();
    timer->start();
}

void ProductionDialog::on_stopButton_clicked()
{
    if (!station)
        return;
    station->requestStop();
    // In the middle of a unit the poll that runs it sees the request when the unit is done.
    if (!polling)
        pollOnce();
}

void ProductionDialog::on_closeButton_clicked()
{
    reject();
}

void ProductionDialog::reject()
{
    if (isRunning()) {
        on_stopButton_clicked();
        return;
    }
    QDialog::reject();
}

void ProductionDialog::closeEvent(QCloseEvent* event)
{
    if (isRunning()) {
        event->ignore();
        on_stopButton_clicked();
        return;
    }
    QDialog::closeEvent(event);
}

void ProductionDialog::pollOnce()
{
    if (!station || polling)
        return;
    polling = true;
    const ProductionStation::Event event = station->poll(*observer);
    polling = false;
    if (event == ProductionStation::Event::UnitDone)
        showUnit(station->lastUnit());
    if (station->phase() == ProductionStation::Phase::Stopped) {
        finish();
        return;
    }
    ui->stateLabel->setText(
        station->phase() == ProductionStation::Phase::WaitingForRemoval ? tr("请取下芯片") : tr("等待芯片…"));
    timer->start();
}

void ProductionDialog::showUnit(const UnitRecord& record)
{
    ui->resultLabel->setStyleSheet(QLatin1String(record.passed ? kPassStyle : kFailStyle));
    ui->resultLabel->setText(record.passed ? QStringLiteral("PASS") : QStringLiteral("FAIL"));
    // What the log file holds, short: the serial and the result first.
    QString line = tr("%1  第 %2 片  %3  %4  %5 秒")
                       .arg(record.time.toLocalTime().toString(QStringLiteral("HH:mm:ss")))
                       .arg(record.unit)
                       .arg(record.serial ? tr("序列号 %1").arg(qulonglong(*record.serial)) : tr("无序列号"))
                       .arg(record.passed ? QStringLiteral("PASS") : QStringLiteral("FAIL"))
                       .arg(QString::number(record.seconds, 'f', 2));
    if (!record.passed)
        line += QStringLiteral("  ") + record.reason;
    ui->logView->appendPlainText(line);
    ui->progressBar->setRange(0, 1000);
    ui->progressBar->setValue(record.passed ? 1000 : 0);
    if (!record.passed)
        QApplication::beep();
    showCounts();
}

void ProductionDialog::showCounts()
{
    ui->countsLabel->setText(
        tr("通过 %1  失败 %2").arg(run ? run->passed() : 0).arg(run ? run->failed() : 0));
    const auto next = run ? run->nextSerial() : std::nullopt;
    ui->serialLabel->setText(next ? tr("下一个序列号：%1").arg(qulonglong(*next)) : tr("序列号：无"));
}

void ProductionDialog::finish()
{
    timer->stop();
    const QString why =
        station->ledgerError().ok() ? station->stopError() : errorText(station->ledgerError());
    showCounts();
    station.reset();
    run.reset(); // lets go of the serial file
    setRunning(false);
    ui->stateLabel->setText(tr("已停止"));
    if (!why.isEmpty())
        warn(tr("量产已停止：\n%1").arg(why));
}

void ProductionDialog::setRunning(bool running)
{
    ui->settingsWidget->setEnabled(!running);
    ui->startButton->setEnabled(!running);
    ui->stopButton->setEnabled(running);
    ui->closeButton->setEnabled(!running);
}

} // namespace korvane
