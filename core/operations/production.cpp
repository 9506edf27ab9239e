#include "core/operations/production.h"

#include "core/base/clock.h"
#include "core/base/fileaccess.h"
#include "core/base/imagedigest.h"
#include "core/chip/chiplist.h"
#include "core/operations/smartwrite.h"
#include "core/operations/statusoperations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

namespace {

// Translated in the context "Production".
class ProductionText
{
    Q_DECLARE_TR_FUNCTIONS(Production)
};

QString idText(const std::uint8_t* id, int length)
{
    QString text;
    for (int i = 0; i < length; ++i)
        text += QStringLiteral("%1").arg(id[i], 2, 16, QLatin1Char('0')).toUpper();
    return text;
}

QString hexAddress(std::uint64_t address)
{
    return QStringLiteral("0x%1").arg(address, 6, 16, QLatin1Char('0'));
}

QString csvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// A rename is on disk only once its folder is.
void syncFolder(const QString& path)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool writeAll(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, std::size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        left -= written;
    }
    return true;
}

// The answers a production run gives the session: from its settings, never by asking. A refusal
// leaves why in reason, as the unit's failure.
class ProductionQuestions : public SessionQuestions
{
public:
    ProductionQuestions(const StationSettings& settings, const CHIP_INFO& chip, StationObserver& observer)
        : settings(settings), chip(chip), observer(observer)
    {
    }

    bool acceptOtherId(const std::uint8_t* id, int length) override
    {
        return goOn(ProductionText::tr("the chip's ID %1 differs from %2's ID %3")
                        .arg(idText(id, length), chipModelName(chip),
                             idText(chip.Config.FlashID, std::clamp<int>(chip.Config.IDLength, 0, 16))));
    }
    bool acceptOtherSize(std::uint64_t recordSize, std::uint64_t sfdpSize) override
    {
        return goOn(ProductionText::tr("the chip's SFDP table says %1, %2's record %3")
                        .arg(byteSizeText(sfdpSize), chipModelName(chip), byteSizeText(recordSize)));
    }
    ProtectionAnswer protectedRange(const StatusLayout& layout, const Protection& protection) override
    {
        const QString text = protectionText(layout, protection);
        if (!settings.unprotect) {
            reason = ProductionText::tr("%1; unprotecting was not asked for").arg(text);
            return ProtectionAnswer::Stop;
        }
        observer.noted(ProductionText::tr("clearing the protection (%1)").arg(text));
        cleared = text;
        return ProtectionAnswer::Clear;
    }
    bool acceptBlockLocks(const StatusLayout& layout, const Protection& protection) override
    {
        return goOn(protectionText(layout, protection));
    }
    void protectionUnknown() override
    {
        observer.noted(ProductionText::tr(
            "the adapter cannot read the status register; block protection was not checked"));
    }

    QString reason;
    QString cleared; // the protection being cleared, when it was
private:
    bool goOn(const QString& text)
    {
        if (!settings.acceptOther) {
            reason = text;
            return false;
        }
        observer.noted(text);
        return true;
    }

    const StationSettings& settings;
    const CHIP_INFO& chip;
    StationObserver& observer;
};

} // namespace

// ---- serials

std::optional<SerialFormat> serialFormatFromName(const QString& name)
{
    const QString key = name.trimmed().toLower();
    if (key == QLatin1String("dec"))
        return SerialFormat::Decimal;
    if (key == QLatin1String("hex"))
        return SerialFormat::Hex;
    if (key == QLatin1String("le"))
        return SerialFormat::LittleEndian;
    if (key == QLatin1String("be"))
        return SerialFormat::BigEndian;
    return std::nullopt;
}

int maxSerialSize(SerialFormat format)
{
    switch (format) {
    case SerialFormat::Decimal:
        return 20;
    case SerialFormat::Hex:
        return 16;
    case SerialFormat::LittleEndian:
    case SerialFormat::BigEndian:
        break;
    }
    return 8;
}

int defaultSerialSize(SerialFormat format)
{
    return format == SerialFormat::Decimal || format == SerialFormat::Hex ? 8 : 4;
}

bool serialBytes(std::uint64_t value, const SerialPatch& patch, QByteArray* bytes)
{
    const int size = patch.size;
    if (size < 1 || size > maxSerialSize(patch.format))
        return false;
    if (patch.format == SerialFormat::Decimal || patch.format == SerialFormat::Hex) {
        const QByteArray digits =
            QByteArray::number(qulonglong(value), patch.format == SerialFormat::Hex ? 16 : 10).toUpper();
        if (digits.size() > size)
            return false;
        *bytes = QByteArray(size - digits.size(), '0') + digits;
        return true;
    }
    if (size < 8 && (value >> (8 * size)) != 0)
        return false;
    bytes->resize(size);
    for (int i = 0; i < size; ++i) {
        const char byte = static_cast<char>(value >> (8 * i));
        (*bytes)[patch.format == SerialFormat::LittleEndian ? i : size - 1 - i] = byte;
    }
    return true;
}

std::uint64_t SerialState::take(const QString& station)
{
    std::uint64_t serial = next;
    if (!returned.empty()) {
        serial = returned.front();
        returned.erase(returned.begin());
    } else {
        ++next;
    }
    inFlight.emplace_back(serial, station);
    return serial;
}

void SerialState::settle(std::uint64_t serial, bool used)
{
    inFlight.erase(std::remove_if(inFlight.begin(), inFlight.end(),
                                  [serial](const auto& entry) { return entry.first == serial; }),
                   inFlight.end());
    if (used)
        return;
    returned.insert(std::upper_bound(returned.begin(), returned.end(), serial), serial);
    // Given back from the top: the counter steps back, so that one station's file reads "next N".
    while (!returned.empty() && returned.back() + 1 == next) {
        returned.pop_back();
        --next;
    }
}

QByteArray SerialState::text() const
{
    QByteArray text = "# korvane-spi produce: the next serial, serials taken by units not finished, serials "
                      "given back\n";
    text += "next " + QByteArray::number(qulonglong(next)) + '\n';
    for (const auto& entry : inFlight)
        text +=
            "in-flight " + QByteArray::number(qulonglong(entry.first)) + ' ' + entry.second.toUtf8() + '\n';
    for (std::uint64_t serial : returned)
        text += "returned " + QByteArray::number(qulonglong(serial)) + '\n';
    return text;
}

bool SerialState::parse(const QByteArray& text, SerialState* state, int* line)
{
    *state = SerialState();
    bool hasNext = false;
    const QList<QByteArray> lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray item = lines[i].trimmed();
        if (item.isEmpty() || item.startsWith('#'))
            continue;
        *line = i + 1;
        const int space = item.indexOf(' ');
        const QByteArray key = item.left(space);
        const QByteArray rest = space < 0 ? QByteArray() : item.mid(space + 1).trimmed();
        const int end = rest.indexOf(' ');
        bool ok = false;
        const std::uint64_t value = (end < 0 ? rest : rest.left(end)).toULongLong(&ok);
        if (!ok || rest.startsWith('+'))
            return false;
        if (key == "next" && end < 0 && !hasNext) {
            state->next = value;
            hasNext = true;
        } else if (key == "in-flight" && end > 0) {
            state->inFlight.emplace_back(value, QString::fromUtf8(rest.mid(end + 1)));
        } else if (key == "returned" && end < 0) {
            state->returned.insert(std::upper_bound(state->returned.begin(), state->returned.end(), value),
                                   value);
        } else {
            return false;
        }
    }
    *line = 0;
    return hasNext;
}

// ---- the log

QString unitLogHeader()
{
    return QStringLiteral("time,adapter,chip_id,image_sha256,serial,result,reason,seconds");
}

QString unitLogLine(const UnitRecord& record, LogFormat format)
{
    const QString time = record.time.toUTC().toString(Qt::ISODate);
    const QString serial = record.serial ? QString::number(qulonglong(*record.serial)) : QString();
    const QString result = record.passed ? QStringLiteral("PASS") : QStringLiteral("FAIL");
    const QString seconds = QString::number(record.seconds, 'f', 2);
    if (format == LogFormat::JsonLines) {
        QJsonObject object;
        object.insert(QStringLiteral("time"), time);
        object.insert(QStringLiteral("adapter"), record.adapter);
        object.insert(QStringLiteral("chip_id"), record.chipId);
        object.insert(QStringLiteral("image_sha256"), record.imageSha256);
        object.insert(QStringLiteral("serial"), serial);
        object.insert(QStringLiteral("result"), result);
        object.insert(QStringLiteral("reason"), record.reason);
        object.insert(QStringLiteral("seconds"), seconds.toDouble());
        return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
    }
    return QStringList{time,   csvField(record.adapter), record.chipId, record.imageSha256, serial,
                       result, csvField(record.reason),  seconds}
        .join(QLatin1Char(','));
}

bool unitRecordFromJson(const QByteArray& line, UnitRecord* record)
{
    QJsonParseError parsed;
    const QJsonDocument document = QJsonDocument::fromJson(line, &parsed);
    if (parsed.error != QJsonParseError::NoError || !document.isObject())
        return false;
    const QJsonObject object = document.object();
    const QString result = object.value(QStringLiteral("result")).toString();
    if (result != QLatin1String("PASS") && result != QLatin1String("FAIL"))
        return false;
    *record = UnitRecord();
    record->time = QDateTime::fromString(object.value(QStringLiteral("time")).toString(), Qt::ISODate);
    record->adapter = object.value(QStringLiteral("adapter")).toString();
    record->chipId = object.value(QStringLiteral("chip_id")).toString();
    record->imageSha256 = object.value(QStringLiteral("image_sha256")).toString();
    bool ok = false;
    const qulonglong serial = object.value(QStringLiteral("serial")).toString().toULongLong(&ok);
    if (ok)
        record->serial = serial;
    record->passed = result == QLatin1String("PASS");
    record->reason = object.value(QStringLiteral("reason")).toString();
    record->seconds = object.value(QStringLiteral("seconds")).toDouble();
    return true;
}

QString productionErrorText(const ProductionError& error)
{
    const QString serial = error.serial ? QString::number(qulonglong(*error.serial)) : QString();
    switch (error.kind) {
    case ProductionError::None:
        return QString();
    case ProductionError::InUse:
        return ProductionText::tr("%1 is in use by another run (it holds %1.lock)").arg(error.path);
    case ProductionError::CannotLock:
        return ProductionText::tr("cannot lock %1.lock: %2").arg(error.path, error.detail);
    case ProductionError::NoCounter:
        return ProductionText::tr(
                   "the serial file %1 does not exist; --serial-start N starts a new counter there")
            .arg(error.path);
    case ProductionError::Unreadable:
        return ProductionText::tr("cannot read the serial file %1: %2").arg(error.path, error.detail);
    case ProductionError::Malformed:
        return error.line == 0 ? ProductionText::tr("the serial file %1 has no \"next\" line").arg(error.path)
                               : ProductionText::tr("line %2 of the serial file %1 is not understood")
                                     .arg(error.path)
                                     .arg(error.line);
    case ProductionError::InFlight: {
        QStringList items;
        for (const auto& entry : error.inFlight)
            items << ProductionText::tr("%1 on %2").arg(qulonglong(entry.first)).arg(entry.second);
        return ProductionText::tr(
                   "%1: a run ended without finishing its unit with serial %2 (a crash or a power "
                   "cut): that board may or may not carry it. --resume-serial skip never hands it "
                   "out, --resume-serial reuse hands it out again")
            .arg(error.path, items.join(QStringLiteral(", ")));
    }
    case ProductionError::CannotWrite:
        return error.serial
                   ? ProductionText::tr("cannot write the serial file %1: %2; serial %3 stays in flight")
                         .arg(error.path, error.detail, serial)
                   : ProductionText::tr("cannot write the serial file %1: %2").arg(error.path, error.detail);
    case ProductionError::LogFailed:
        return error.serial ? ProductionText::tr("cannot write the log %1: %2; serial %3 stays in flight")
                                  .arg(error.path, error.detail, serial)
                            : ProductionText::tr("cannot write the log %1: %2").arg(error.path, error.detail);
    case ProductionError::SerialTooLarge:
        return ProductionText::tr("serial %1 does not fit the %2 bytes given to it")
            .arg(serial, error.detail);
    case ProductionError::RunGone:
        return ProductionText::tr("the run this station belongs to is gone");
    case ProductionError::Relayed:
        return error.detail;
    }
    return QString();
}

// ---- the run

ProductionRun::ProductionRun() = default;

ProductionRun::~ProductionRun()
{
    if (lockFd >= 0)
        ::close(lockFd);
}

ProductionError ProductionRun::open(const ProductionRunSettings& settings,
                                    std::vector<std::pair<std::uint64_t, QString>>* resumed)
{
    config = settings;
    ProductionError error;
    // The log first: a log that cannot be written refuses the run before any unit.
    if (!config.logFile.isEmpty()) {
        error = appendLog(UnitRecord());
        if (!error.ok())
            return error;
    }
    if (config.serialFile.isEmpty())
        return error;
    error.path = config.serialFile;
    // The serial file itself is replaced by every write: the lock lives beside it.
    const QByteArray lockPath = QFile::encodeName(config.serialFile + QStringLiteral(".lock"));
    lockFd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lockFd < 0 || ::flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
        const int why = errno;
        error.kind = lockFd >= 0 && why == EWOULDBLOCK ? ProductionError::InUse : ProductionError::CannotLock;
        error.detail = qt_error_string(why);
        return error;
    }
    QFile file;
    QString reason;
    bool missing = false;
    if (!openRegularFile(file, config.serialFile, &reason, &missing)) {
        if (!missing) {
            error.kind = ProductionError::Unreadable;
            error.detail = reason;
            return error;
        }
        if (!config.serialStart) {
            error.kind = ProductionError::NoCounter;
            return error;
        }
        state = SerialState();
        state.next = *config.serialStart;
        return writeState(std::nullopt);
    }
    const QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        error.kind = ProductionError::Unreadable;
        error.detail = file.errorString();
        return error;
    }
    if (!SerialState::parse(text, &state, &error.line)) {
        error.kind = ProductionError::Malformed;
        return error;
    }
    if (state.inFlight.empty())
        return error;
    if (config.resume == SerialResume::Refuse) {
        error.kind = ProductionError::InFlight;
        error.inFlight = state.inFlight;
        return error;
    }
    // Settled as the user said, each with a line in the log, which is on disk first.
    const auto left = state.inFlight;
    for (const auto& entry : left) {
        UnitRecord record;
        record.time = QDateTime::currentDateTimeUtc();
        record.adapter = entry.second;
        record.serial = entry.first;
        record.reason = config.resume == SerialResume::Skip
                            ? ProductionText::tr("left in flight by an interrupted run; skipped")
                            : ProductionText::tr("left in flight by an interrupted run; to be used again");
        if (!config.logFile.isEmpty()) {
            error = appendLog(record);
            if (!error.ok())
                return error;
        }
        state.settle(entry.first, config.resume == SerialResume::Skip);
    }
    if (resumed)
        *resumed = left;
    return writeState(std::nullopt);
}

ProductionError ProductionRun::writeState(std::optional<std::uint64_t> serial)
{
    ProductionError error;
    QString reason;
    const QByteArray text = state.text();
    if (!writeFileAtomically(config.serialFile, text.constData(), text.size(), &reason)) {
        error.kind = ProductionError::CannotWrite;
        error.path = config.serialFile;
        error.detail = reason;
        error.serial = serial;
        return error;
    }
    syncFolder(config.serialFile);
    return error;
}

ProductionError ProductionRun::appendLog(const UnitRecord& record)
{
    ProductionError error;
    error.path = config.logFile;
    error.serial = record.serial;
    const QByteArray path = QFile::encodeName(config.logFile);
    // Not blocking on a FIFO, and only ever a regular file.
    const int fd = ::open(path.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
    struct stat status;
    int why = 0;
    if (fd < 0)
        why = errno;
    else if (::fstat(fd, &status) != 0)
        why = errno;
    if (why != 0 || !S_ISREG(status.st_mode)) {
        error.kind = ProductionError::LogFailed;
        error.detail =
            why != 0 ? qt_error_string(why) : QCoreApplication::translate("FileAccess", "Not a regular file");
        if (fd >= 0)
            ::close(fd);
        return error;
    }
    QByteArray bytes;
    const bool fresh = status.st_size == 0;
    if (fresh && config.logFormat == LogFormat::Csv)
        bytes += unitLogHeader().toUtf8() + '\n';
    // A line a full disk cut short is ended, so that this one starts on a line of its own.
    char last = '\n';
    if (!fresh && ::pread(fd, &last, 1, status.st_size - 1) == 1 && last != '\n')
        bytes += '\n';
    if (record.time.isValid())
        bytes += unitLogLine(record, config.logFormat).toUtf8() + '\n';
    // On disk before the serial counts as used: a power cut after this loses nothing the log says.
    if (!writeAll(fd, bytes) || ::fsync(fd) != 0) {
        error.kind = ProductionError::LogFailed;
        error.detail = qt_error_string(errno);
        ::close(fd);
        return error;
    }
    ::close(fd);
    if (fresh)
        syncFolder(config.logFile);
    return ProductionError();
}

ProductionLedger::Ticket ProductionRun::take(const QString& station)
{
    Ticket ticket;
    if (config.count > 0 && passes + outstanding >= config.count) {
        ticket.kind = Ticket::Stop;
        return ticket;
    }
    if (!config.serialFile.isEmpty()) {
        const std::uint64_t candidate = *nextSerial();
        QByteArray bytes;
        if (config.patch && !serialBytes(candidate, *config.patch, &bytes)) {
            ticket.kind = Ticket::Failed;
            ticket.error.kind = ProductionError::SerialTooLarge;
            ticket.error.serial = candidate;
            ticket.error.detail = QString::number(config.patch->size);
            return ticket;
        }
        const SerialState before = state;
        const std::uint64_t serial = state.take(station);
        ticket.error = writeState(serial);
        if (!ticket.error.ok()) {
            // Nothing was programmed: the file still says what it said.
            ticket.error.serial.reset();
            state = before;
            ticket.kind = Ticket::Failed;
            return ticket;
        }
        ticket.serial = serial;
    }
    ticket.unit = ++units;
    ++outstanding;
    return ticket;
}

ProductionError ProductionRun::finish(UnitRecord& record)
{
    if (!record.time.isValid())
        record.time = QDateTime::currentDateTimeUtc();
    if (record.imageSha256.isEmpty())
        record.imageSha256 = config.imageSha256;
    outstanding = std::max(outstanding - 1, 0);
    ++(record.passed ? passes : failures);
    if (!config.logFile.isEmpty()) {
        const ProductionError logged = appendLog(record);
        if (!logged.ok())
            return logged;
    }
    if (!record.serial)
        return ProductionError();
    const SerialState before = state;
    state.settle(*record.serial, record.passed);
    const ProductionError written = writeState(record.serial);
    if (!written.ok())
        state = before;
    return written;
}

bool ProductionRun::finished() const
{
    return config.count > 0 && passes >= config.count;
}

void ProductionRun::abandon()
{
    outstanding = std::max(outstanding - 1, 0);
}

std::optional<std::uint64_t> ProductionRun::nextSerial() const
{
    if (config.serialFile.isEmpty())
        return std::nullopt;
    return state.returned.empty() ? state.next : state.returned.front();
}

// ---- images

bool patchImage(std::vector<ImageSegment>& image, std::uint32_t address, const QByteArray& bytes)
{
    const std::uint64_t end = std::uint64_t(address) + std::uint64_t(bytes.size());
    for (ImageSegment& segment : image) {
        const std::uint64_t segmentEnd = segment.start + std::uint64_t(segment.bytes.size());
        if (address >= segment.start && end <= segmentEnd) {
            segment.bytes.replace(int(address - segment.start), bytes.size(), bytes);
            return true;
        }
        if (address < segmentEnd && end > segment.start)
            return false;
    }
    ImageSegment own;
    own.start = address;
    own.bytes = bytes;
    const auto after = std::find_if(image.begin(), image.end(), [address](const ImageSegment& segment) {
        return segment.start > address;
    });
    image.insert(after, own);
    return true;
}

bool patchFits(const std::vector<ImageSegment>& image, const SerialPatch& patch)
{
    if (std::uint64_t(patch.address) + std::uint64_t(patch.size) > (std::uint64_t(1) << 32))
        return false;
    std::vector<ImageSegment> copy = image;
    return patchImage(copy, patch.address, QByteArray(patch.size, '\0'));
}

QString imageSha256(const std::vector<ImageSegment>& image)
{
    ImageDigest digest;
    for (const ImageSegment& segment : image)
        digest.add(segment.bytes);
    return digest.sha256();
}

// ---- the station

ProductionStation::ProductionStation(AdapterLibrary& adapter, Clock& clock, ProductionLedger& ledger,
                                     const StationSettings& settings, ChipChooser chooser)
    : adapter(adapter), clock(clock), ledger(ledger), settings(settings), chooser(std::move(chooser))
{
}

ProductionStation::Event ProductionStation::stop(const QString& why)
{
    state = Phase::Stopped;
    stopReason = why;
    return Event::Stopped;
}

ProductionStation::Event ProductionStation::poll(StationObserver& observer)
{
    if (state == Phase::Stopped)
        return Event::Stopped;
    if (stopRequested || ledger.finished())
        return stop(QString());
    std::uint8_t id[kIdBufferSize];
    const OperationResult read = readChipId(adapter, settings.deviceIndex, settings.selector, id);
    // An empty socket reads all FF (or 00); an adapter that checks its chip select says it got no ID.
    const bool noChip =
        read.status == OperationStatus::NoChipAnswered || read.status == OperationStatus::ReadIdFailed;
    if (!read.ok() && !noChip)
        return stop(operationResultText(read));
    if (state == Phase::WaitingForRemoval) {
        // Two polls without an answer: a wobbling clip on its way out is not taken for gone.
        quietPolls = noChip ? quietPolls + 1 : 0;
        if (quietPolls < 2)
            return Event::None;
        state = Phase::WaitingForChip;
        lastId.clear();
        return Event::ChipGone;
    }
    if (noChip) {
        lastId.clear();
        return Event::None;
    }
    // The same ID twice in a row: the chip sits in its socket, not half way in.
    const QString text = idText(id, 3);
    if (text != lastId) {
        lastId = text;
        return Event::None;
    }
    runUnit(id, observer);
    return Event::UnitDone;
}

void ProductionStation::runUnit(const std::uint8_t* id, StationObserver& observer)
{
    const std::int64_t startNs = clock.nowNanoseconds();
    const ProductionLedger::Ticket ticket = ledger.take(settings.name);
    if (ticket.kind == ProductionLedger::Ticket::Stop) {
        stop(QString());
        return;
    }
    if (ticket.kind == ProductionLedger::Ticket::Failed) {
        ledgerFault = ticket.error;
        stop(productionErrorText(ticket.error));
        return;
    }
    record = UnitRecord();
    record.unit = ticket.unit;
    record.adapter = settings.name;
    record.chipId = idText(id, 3);
    record.imageSha256 = settings.imageSha256;
    record.serial = ticket.serial;
    observer.unitStarted(ticket.unit, ticket.serial, record.chipId);
    record.reason = program(id, ticket.serial, observer);
    record.passed = record.reason.isEmpty();
    record.seconds = clock.secondsSince(startNs);
    ledgerFault = ledger.finish(record);
    if (!ledgerFault.ok()) {
        stop(productionErrorText(ledgerFault));
        return;
    }
    state = ledger.finished() ? Phase::Stopped : Phase::WaitingForRemoval;
    quietPolls = 0;
}

QString ProductionStation::program(const std::uint8_t* id, std::optional<std::uint64_t> serial,
                                   StationObserver& observer)
{
    observer.stepStarted(UnitStep::Opening, 0);
    if (!settings.chip) {
        CHIP_INFO chosen;
        QString why;
        if (!chooser || !chooser(id, &chosen, &why))
            return why.isEmpty() ? ProductionText::tr("no chip record for the ID %1").arg(idText(id, 3))
                                 : why;
        // The first unit's record holds for the rest: a chip of another ID fails the ID check.
        settings.chip = chosen;
    }
    const CHIP_INFO& chip = *settings.chip;
    std::vector<ImageSegment> image = settings.image;
    if (settings.patch && serial) {
        QByteArray bytes;
        if (!serialBytes(*serial, *settings.patch, &bytes) ||
            !patchImage(image, settings.patch->address, bytes))
            return ProductionText::tr("serial %1 cannot be put at %2")
                .arg(qulonglong(*serial))
                .arg(hexAddress(settings.patch->address));
    }
    std::vector<WriteSegment> segments;
    std::int64_t held = 0;
    const std::uint64_t size = std::uint64_t(std::max(chipSize(chip), 0));
    for (const ImageSegment& segment : image) {
        if (segment.start + std::uint64_t(segment.bytes.size()) > size)
            return ProductionText::tr("the image does not fit the %1 chip").arg(byteSizeText(size));
        segments.push_back(WriteSegment{std::uint32_t(segment.start),
                                        reinterpret_cast<const std::uint8_t*>(segment.bytes.constData()),
                                        std::uint32_t(segment.bytes.size())});
        held += segment.bytes.size();
    }

    FlashTarget target;
    target.deviceIndex = settings.deviceIndex;
    target.selector = settings.selector;
    target.clockHz = settings.clockHz;
    target.chip = chip;
    ProductionQuestions questions(settings, chip, observer);
    OperationSession session(adapter, clock, questions, target);
    // Opened for the page programs (4-byte mode where they need it); the chip erase takes no address.
    OperationResult result = session.open(FlashOperation::Write);
    if (result.status == OperationStatus::Declined)
        return questions.reason;
    if (!result.ok())
        return operationResultText(result);
    // What may change: the whole chip, or the erase blocks smart write may erase.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;
    if (settings.eraseFirst) {
        ranges.emplace_back(0, std::max<std::uint64_t>(session.chipBytes(), 1));
    } else {
        for (const WriteSegment& segment : segments) {
            std::uint64_t from = 0;
            std::uint64_t to = 0;
            if (!smartWriteExtent(session.eraseSizes(), session.chipBytes(), segment.start, segment.length,
                                  &from, &to))
                return operationResultText(operationFailure(OperationStatus::NoEraseSize));
            ranges.emplace_back(from, to);
        }
    }
    for (const auto& range : ranges) {
        result = session.prepareChange(range.first, range.second);
        if (result.status == OperationStatus::Declined)
            return questions.reason;
        if (!result.ok())
            return questions.cleared.isEmpty() ? operationResultText(result)
                                               : ProductionText::tr("cannot clear the protection (%1): %2")
                                                     .arg(questions.cleared, operationResultText(result));
    }
    if (settings.eraseFirst) {
        observer.stepStarted(UnitStep::Erasing, 0);
        result = session.eraseChip(observer);
        if (!result.ok())
            return ProductionText::tr("erase: %1").arg(operationResultText(result));
        observer.stepStarted(UnitStep::Programming, held);
        result = session.write(segments, observer, false);
    } else {
        observer.stepStarted(UnitStep::Programming, kSmartWriteProgressTotal);
        SmartWriteReport report;
        result = session.smartWrite(segments, observer, &report);
    }
    if (!result.ok())
        return ProductionText::tr("program: %1").arg(operationResultText(result));
    // The whole image read back, not only what changed.
    observer.stepStarted(UnitStep::Verifying, held);
    result = session.verify(segments, observer);
    if (!result.ok())
        return ProductionText::tr("verify: %1").arg(operationResultText(result));
    return QString();
}

} // namespace korvane
