// korvane-spi produce: production runs, one station per adapter. One station runs in this process;
// several run as child processes of this one (korvane-spi produce --station, one adapter each),
// since adapter libraries and the registry are not made for threads. The children program the
// chips; only this process reads and writes the serial file and the log, and hands out the serials,
// so that two stations never get one serial.
#include "cli/commandline.h"

#include "backends/backendtable.h"
#include "cli/progressline.h"
#include "cli/terminaltext.h"
#include "core/adapter/adapterregistry.h"
#include "core/base/clock.h"
#include "core/base/imagedigest.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <climits>
#include <csignal>

#include <sys/prctl.h>
#include <unistd.h>

namespace korvane {

namespace {

volatile std::sig_atomic_t stopSignal = 0;

extern "C" void onStopSignal(int)
{
    stopSignal = 1;
}

// While a run lasts, SIGINT and SIGTERM end it at the next safe point (never in the middle of a
// program or an erase) instead of at once.
class StopSignals
{
public:
    StopSignals()
    {
        stopSignal = 0;
        struct sigaction action = {};
        action.sa_handler = onStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGINT, &action, &oldInt);
        sigaction(SIGTERM, &action, &oldTerm);
    }
    ~StopSignals()
    {
        sigaction(SIGINT, &oldInt, nullptr);
        sigaction(SIGTERM, &oldTerm, nullptr);
    }

private:
    struct sigaction oldInt = {};
    struct sigaction oldTerm = {};
};

std::optional<std::uint64_t> parseNumber64(const QString& text)
{
    const QString trimmed = text.trimmed();
    bool ok = false;
    const qulonglong value = trimmed.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
                                 ? trimmed.mid(2).toULongLong(&ok, 16)
                                 : trimmed.toULongLong(&ok, 10);
    if (!ok || trimmed.startsWith(QLatin1Char('+')))
        return std::nullopt;
    return value;
}

QString formatName(ImageFormat format)
{
    switch (format) {
    case ImageFormat::IntelHex:
        return QStringLiteral("ihex");
    case ImageFormat::SRecord:
        return QStringLiteral("srec");
    case ImageFormat::Binary:
        break;
    }
    return QStringLiteral("bin");
}

const char* const kSerialFormatNames[] = {"dec", "hex", "le", "be"};

} // namespace

// ---- options

int CommandLine::parseProductionOptions(const QCommandLineParser& parser)
{
    const auto value = [&parser](const char* name) { return parser.value(QLatin1String(name)); };
    const auto isSet = [&parser](const char* name) { return parser.isSet(QLatin1String(name)); };
    if (isSet("count")) {
        const auto count = parseNumber(value("count"));
        if (!count || *count < 1 || *count > INT_MAX)
            return usage(tr("--count takes a number of units, 1 or more, not \"%1\"").arg(value("count")));
        options.count = int(*count);
    }
    options.eraseFirst = isSet("erase");
    if (isSet("serial-at")) {
        options.serialAt = parseNumber(value("serial-at"));
        if (!options.serialAt)
            return usage(
                tr("--serial-at takes an address such as 0x1000, not \"%1\"").arg(value("serial-at")));
    }
    if (isSet("serial-format")) {
        const auto format = serialFormatFromName(value("serial-format"));
        if (!format)
            return usage(
                tr("--serial-format takes dec, hex, le or be, not \"%1\"").arg(value("serial-format")));
        options.serialFormat = *format;
    }
    if (isSet("serial-size")) {
        const auto size = parseNumber(value("serial-size"));
        if (!size || *size > 64)
            return usage(tr("--serial-size takes a number of bytes, not \"%1\"").arg(value("serial-size")));
        options.serialSize = int(*size);
    }
    if (isSet("serial-start")) {
        options.serialStart = parseNumber64(value("serial-start"));
        if (!options.serialStart)
            return usage(tr("--serial-start takes a number, not \"%1\"").arg(value("serial-start")));
    }
    options.serialFile = value("serial-file");
    options.logFile = value("log");
    options.logFormatGiven = isSet("log-format");
    if (options.logFormatGiven) {
        const QString format = value("log-format").trimmed().toLower();
        if (format != QLatin1String("csv") && format != QLatin1String("jsonl"))
            return usage(tr("--log-format takes csv or jsonl, not \"%1\"").arg(value("log-format")));
        options.logFormat = format == QLatin1String("csv") ? LogFormat::Csv : LogFormat::JsonLines;
    }
    options.resumeGiven = isSet("resume-serial");
    if (options.resumeGiven) {
        const QString how = value("resume-serial").trimmed().toLower();
        if (how != QLatin1String("reuse") && how != QLatin1String("skip"))
            return usage(tr("--resume-serial takes reuse or skip, not \"%1\"").arg(value("resume-serial")));
        options.resume = how == QLatin1String("reuse") ? SerialResume::Reuse : SerialResume::Skip;
    }
    options.station = isSet("station");
    options.serialOptionGiven =
        isSet("serial-format") || isSet("serial-size") || isSet("serial-start") || isSet("serial-file");
    return ExitOk;
}

int CommandLine::checkProductionOptions(const QString& command, const OnlyFor& onlyFor)
{
    const QStringList produce{QStringLiteral("produce")};
    const std::pair<bool, const char*> given[] = {
        {options.count > 0, "count"},
        {options.eraseFirst, "erase"},
        {options.serialAt.has_value(), "serial-at"},
        {options.serialOptionGiven, "serial-format, --serial-size, --serial-start, --serial-file"},
        {!options.logFile.isEmpty() || options.logFormatGiven, "log"},
        {options.resumeGiven, "resume-serial"},
    };
    for (const auto& option : given) {
        if (const int status = onlyFor(option.first, option.second, produce))
            return status;
    }
    if (options.adapterForms.size() > 1 && command != QLatin1String("produce"))
        return usage(tr("--adapter is given %1 times; only produce runs on several adapters")
                         .arg(options.adapterForms.size()));
    if (command != QLatin1String("produce"))
        return ExitOk;
    if (options.serialOptionGiven && !options.serialAt)
        return usage(
            tr("--serial-format, --serial-size, --serial-start and --serial-file go with --serial-at"));
    if (options.serialAt && options.serialFile.isEmpty() && !options.station)
        return usage(tr("--serial-at needs --serial-file FILE, where the serial counter is kept"));
    if (options.resumeGiven && options.serialFile.isEmpty())
        return usage(tr("--resume-serial is for the serials of --serial-file"));
    if (options.logFormatGiven && options.logFile.isEmpty())
        return usage(tr("--log-format needs --log FILE"));
    if (options.serialAt) {
        const int size = options.serialSize.value_or(defaultSerialSize(options.serialFormat));
        if (size < 1 || size > maxSerialSize(options.serialFormat))
            return usage(tr("--serial-size takes 1 to %1 with --serial-format %2")
                             .arg(maxSerialSize(options.serialFormat))
                             .arg(QLatin1String(kSerialFormatNames[int(options.serialFormat)])));
    }
    if (options.adapterForms.size() > 1 && options.deviceGiven)
        return usage(tr("--device picks one adapter of one --adapter; with several, each adapter found is a "
                        "station"));
    return ExitOk;
}

std::optional<SerialPatch> CommandLine::serialPatch() const
{
    if (!options.serialAt)
        return std::nullopt;
    return SerialPatch{*options.serialAt, options.serialFormat,
                       options.serialSize.value_or(defaultSerialSize(options.serialFormat))};
}

// ---- what a unit does, on the terminal

class CommandLine::UnitView : public StationObserver
{
public:
    // lead: what every note starts with (the adapter, where a run has one station).
    UnitView(CommandLine& cli, const QString& lead)
        : cli(cli), lead(lead), line(cli.clock, !cli.options.quiet, cli.err)
    {
    }

    void unitStarted(int unit, std::optional<std::uint64_t> serial, const QString& chipId) override
    {
        cli.note(lead + (serial ? CommandLine::tr("unit %1, chip %2, serial %3")
                                      .arg(unit)
                                      .arg(chipId)
                                      .arg(qulonglong(*serial))
                                : CommandLine::tr("unit %1, chip %2").arg(unit).arg(chipId)));
    }
    void stepStarted(UnitStep step, std::int64_t total) override
    {
        line.end();
        switch (step) {
        case UnitStep::Opening:
            break;
        case UnitStep::Erasing:
            line.begin(CommandLine::tr("erasing the chip"), 0);
            break;
        case UnitStep::Programming:
            if (cli.options.eraseFirst)
                line.begin(CommandLine::tr("writing"), total);
            else
                line.begin(CommandLine::tr("flashing"), total, false);
            break;
        case UnitStep::Verifying:
            line.begin(CommandLine::tr("verifying"), total);
            break;
        }
    }
    void advanced(std::int64_t done) override { line.advanced(done); }
    void waiting() override { line.waiting(); }
    void noted(const QString& text) override { cli.note(lead + text); }
    void end() { line.end(); }

private:
    CommandLine& cli;
    const QString lead;
    ProgressLine line;
};

void CommandLine::reportUnit(const UnitRecord& record, const QString& prefix)
{
    const QString serial = record.serial ? tr(", serial %1").arg(qulonglong(*record.serial)) : QString();
    const QString seconds = QString::number(record.seconds, 'f', 2);
    if (!options.quiet) {
        // The bell where someone hears it: the terminal the result goes to.
        QString banner = record.passed ? QStringLiteral("==================== PASS ====================")
                                       : QStringLiteral("!!!!!!!!!!!!!!!!!!!! FAIL !!!!!!!!!!!!!!!!!!!!");
        if (!record.passed && ProgressLine::terminalAttached(out))
            banner.prepend(QLatin1Char('\a'));
        say(prefix + banner);
    }
    say(prefix +
        (record.passed
             ? tr("PASS unit %1%2, chip %3, %4 s").arg(record.unit).arg(serial, record.chipId, seconds)
             : tr("FAIL unit %1%2, chip %3, %4 s: %5")
                   .arg(record.unit)
                   .arg(serial, record.chipId, seconds, record.reason)));
}

int CommandLine::produceSummary(const ProductionRun& run, bool failedOtherwise)
{
    QString text = tr("%1 units passed, %2 failed.").arg(run.passed()).arg(run.failed());
    if (const auto next = run.nextSerial())
        text += QLatin1Char(' ') + tr("Next serial: %1.").arg(qulonglong(*next));
    say(text);
    return run.failed() > 0 || failedOtherwise ? ExitFailed : ExitOk;
}

// ---- the run

int CommandLine::produce(const QString& path)
{
    // The image and its hashes, checked before any adapter is touched; the chip bounds it later.
    InputImage image;
    QString error;
    if (!readImageFile(path, options.format, options.address, kImageAddressSpace, &image, &error))
        return fail(error);
    ImageDigest digest;
    for (const ImageSegment& segment : image.segments)
        digest.add(segment.bytes);
    if (const int status = checkDigest(digest, path))
        return status;
    const std::optional<SerialPatch> patch = serialPatch();
    if (patch && !patchFits(image.segments, *patch))
        return fail(tr("the serial's %1 bytes at %2 would run across the edge of the data %3 holds")
                        .arg(patch->size)
                        .arg(QStringLiteral("0x%1").arg(patch->address, 6, 16, QLatin1Char('0')), path));
    if (options.station)
        return produceAsStation(image, digest.sha256());
    if (const int status = loadChips())
        return status;
    if (!options.chip.isEmpty()) {
        CHIP_INFO chip;
        if (const int status = chipByName(&chip))
            return status;
        if (image.end() > std::uint64_t(std::max(chipSize(chip), 0)))
            return fail(tr("%1 does not fit the %2-byte %3: its data ends at 0x%4")
                            .arg(path)
                            .arg(chipSize(chip))
                            .arg(chipModelName(chip))
                            .arg(image.end(), 6, 16, QLatin1Char('0')));
    }
    std::vector<Station> stations;
    if (const int status = findStations(&stations))
        return status;
    if (stations.size() == 1)
        return produceHere(stations.front(), image, digest.sha256());
    return produceInStations(stations, path, digest.sha256());
}

int CommandLine::findStations(std::vector<Station>* stations)
{
    const QStringList forms = options.adapterForms.isEmpty() ? QStringList{QString()} : options.adapterForms;
    // One adapter named: no scan here, the station opens it.
    if (forms.size() == 1 && options.deviceGiven) {
        stations->push_back(Station{forms.front(), options.device, QString()});
        return ExitOk;
    }
    for (const QString& form : forms) {
        QString error;
        const std::unique_ptr<AdapterRegistry> registry =
            createAdapterRegistry(clock, form, false, &error, access);
        if (!registry)
            return usage(error);
        for (const AdapterEntry& entry : registry->adapters()) {
            const AdapterIdentity& id = entry.identity;
            stations->push_back(
                Station{form, entry.index, QString::fromStdString(id.backend + " " + id.location).trimmed()});
        }
    }
    if (stations->empty())
        return fail(
            options.adapterForms.isEmpty()
                ? tr("no adapter found (to try the program without one: --adapter sim)")
                : tr("no adapter found for --adapter %1").arg(forms.join(QStringLiteral(", --adapter "))));
    return ExitOk;
}

ProductionRunSettings CommandLine::runSettings(const QString& imageSha) const
{
    ProductionRunSettings settings;
    settings.serialFile = options.serialAt ? options.serialFile : QString();
    settings.serialStart = options.serialStart;
    settings.patch = serialPatch();
    settings.resume = options.resume;
    settings.logFile = options.logFile;
    settings.logFormat = options.logFormat;
    settings.count = options.count;
    settings.imageSha256 = imageSha;
    return settings;
}

StationSettings CommandLine::stationSettings(const Station& station, const InputImage& image,
                                             const QString& imageSha)
{
    StationSettings settings;
    settings.deviceIndex = station.device;
    settings.selector = spiSelectorForRow(options.portRow);
    settings.clockHz = spiClockForRow(options.speedRow);
    settings.name = station.name;
    settings.image = image.segments;
    settings.imageSha256 = imageSha;
    settings.patch = serialPatch();
    settings.eraseFirst = options.eraseFirst;
    settings.unprotect = options.unprotect;
    settings.acceptOther = options.yes;
    CHIP_INFO chip;
    if (!options.chip.isEmpty() && chipByName(&chip) == ExitOk)
        settings.chip = chip;
    return settings;
}

int CommandLine::openRun(ProductionRun& run, const QString& imageSha)
{
    const bool counterExists = options.serialAt && QFileInfo::exists(options.serialFile);
    std::vector<std::pair<std::uint64_t, QString>> resumed;
    const ProductionError error = run.open(runSettings(imageSha), &resumed);
    if (!error.ok())
        return fail(productionErrorText(error));
    for (const auto& entry : resumed)
        warn(options.resume == SerialResume::Skip
                 ? tr("serial %1, left in flight on %2 by an interrupted run, is skipped")
                       .arg(qulonglong(entry.first))
                       .arg(entry.second)
                 : tr("serial %1, left in flight on %2 by an interrupted run, is handed out again")
                       .arg(qulonglong(entry.first))
                       .arg(entry.second));
    if (const auto next = run.nextSerial()) {
        if (counterExists && options.serialStart && *options.serialStart != *next)
            note(tr("%1 goes on from %2; --serial-start is for a new file")
                     .arg(options.serialFile)
                     .arg(qulonglong(*next)));
        note(tr("Next serial: %1 (%2)").arg(qulonglong(*next)).arg(options.serialFile));
    }
    return ExitOk;
}

int CommandLine::runStation(ProductionStation& station, const QString& name,
                            const std::function<void(const UnitRecord&)>& report)
{
    // A station of several has its adapter put before its lines by the run.
    const QString lead = options.station ? QString() : name + QStringLiteral(": ");
    UnitView view(*this, lead);
    note(lead + tr("waiting for a chip (Ctrl+C stops)"));
    for (;;) {
        if (stopSignal)
            station.requestStop();
        const ProductionStation::Event event = station.poll(view);
        view.end();
        if (event == ProductionStation::Event::UnitDone) {
            if (report)
                report(station.lastUnit());
            if (station.phase() == ProductionStation::Phase::WaitingForRemoval)
                note(lead + tr("remove the chip"));
        } else if (event == ProductionStation::Event::ChipGone) {
            note(lead + tr("waiting for a chip (Ctrl+C stops)"));
        }
        if (station.phase() == ProductionStation::Phase::Stopped)
            break;
        clock.sleep(kProductionPollMs);
    }
    if (!station.stopError().isEmpty())
        return fail(lead + station.stopError());
    return ExitOk;
}

int CommandLine::produceHere(const Station& where, const InputImage& image, const QString& imageSha)
{
    options.adapterForm = where.form;
    options.device = where.device;
    if (const int status = openAdapters())
        return status;
    Station station = where;
    const AdapterIdentity id = adapters->identity(where.device);
    station.name = QString::fromStdString(id.backend + " " + id.location).trimmed();
    ProductionRun run;
    if (const int status = openRun(run, imageSha))
        return status;
    ProductionStation work(*adapters, clock, run, stationSettings(station, image, imageSha),
                           [this](const std::uint8_t* chipId, CHIP_INFO* chip, QString* why) {
                               return recordForId(chipId, chip, why);
                           });
    const StopSignals trapped;
    const int status =
        runStation(work, station.name, [this](const UnitRecord& record) { reportUnit(record, QString()); });
    return produceSummary(run, status != ExitOk);
}

// ---- a station in a child process, and the run that starts them

// The station's side of the pipe to its run: requests on standard output, answers on standard input.
class CommandLine::PipeLedger : public ProductionLedger
{
public:
    PipeLedger(std::FILE* requests, std::FILE* answers) : requests(requests), answers(answers) {}

    Ticket take(const QString&) override
    {
        Ticket ticket;
        QByteArray answer;
        if (!ask("take", &answer)) {
            ticket.kind = Ticket::Failed;
            ticket.error.kind = ProductionError::RunGone;
        } else if (answer.startsWith("go ")) {
            const QList<QByteArray> words = answer.split(' ');
            ticket.unit = words.value(1).toInt();
            bool ok = false;
            const qulonglong serial = words.value(2).toULongLong(&ok);
            if (ok)
                ticket.serial = serial;
        } else if (answer == "stop") {
            ticket.kind = Ticket::Stop;
        } else {
            ticket.kind = Ticket::Failed;
            ticket.error.kind = ProductionError::Relayed;
            ticket.error.detail = QString::fromUtf8(answer.mid(6));
        }
        return ticket;
    }
    ProductionError finish(UnitRecord& record) override
    {
        ProductionError error;
        QByteArray answer;
        if (!ask("done " + unitLogLine(record, LogFormat::JsonLines).toUtf8(), &answer)) {
            error.kind = ProductionError::RunGone;
        } else if (answer != "ok") {
            error.kind = ProductionError::Relayed;
            error.detail = QString::fromUtf8(answer.mid(6));
        }
        return error;
    }
    bool finished() const override { return false; }

private:
    bool ask(const QByteArray& request, QByteArray* answer)
    {
        const QByteArray line = request + '\n';
        if (std::fwrite(line.constData(), 1, std::size_t(line.size()), requests) !=
                std::size_t(line.size()) ||
            std::fflush(requests) != 0)
            return false;
        char buffer[8192];
        if (std::fgets(buffer, sizeof buffer, answers) == nullptr)
            return false;
        *answer = QByteArray(buffer).trimmed();
        return true;
    }

    std::FILE* requests;
    std::FILE* answers;
};

int CommandLine::produceAsStation(const InputImage& image, const QString& imageSha)
{
    // A run that dies leaves its stations no one to report to: they stop at their next safe point.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    options.adapterForm = options.adapterForms.value(0);
    if (const int status = loadChips())
        return status;
    if (const int status = openAdapters())
        return status;
    const AdapterIdentity id = adapters->identity(options.device);
    const Station station{options.adapterForm, options.device,
                          QString::fromStdString(id.backend + " " + id.location).trimmed()};
    PipeLedger ledger(out, stdin);
    ProductionStation work(*adapters, clock, ledger, stationSettings(station, image, imageSha),
                           [this](const std::uint8_t* chipId, CHIP_INFO* chip, QString* why) {
                               return recordForId(chipId, chip, why);
                           });
    const StopSignals trapped;
    return runStation(work, station.name, nullptr);
}

int CommandLine::produceInStations(const std::vector<Station>& stations, const QString& path,
                                   const QString& imageSha)
{
    ProductionRun run;
    if (const int status = openRun(run, imageSha))
        return status;
    struct Child
    {
        Station station;
        QByteArray prefix;
        std::unique_ptr<QProcess> process;
        QByteArray output;
        QByteArray errors;
        int unit = 0;
        bool inUnit = false;
        bool running = true;
    };
    std::vector<std::unique_ptr<Child>> children;
    QEventLoop loop;
    int running = 0;
    bool stopping = false;
    bool failedOtherwise = false;
    const auto stopAll = [&] {
        if (stopping)
            return;
        stopping = true;
        for (const auto& child : children) {
            if (child->running)
                child->process->terminate();
        }
    };
    const auto answer = [](Child& child, const QByteArray& line) { child.process->write(line + '\n'); };
    const auto handle = [&](Child& child, const QByteArray& line) {
        const QString prefix = QString::fromUtf8(child.prefix);
        if (line == "take") {
            ProductionLedger::Ticket ticket;
            ticket.kind = ProductionLedger::Ticket::Stop;
            if (!stopping)
                ticket = run.take(child.station.name);
            if (ticket.kind == ProductionLedger::Ticket::Go) {
                child.unit = ticket.unit;
                child.inUnit = true;
                answer(child, "go " + QByteArray::number(ticket.unit) +
                                  (ticket.serial ? " " + QByteArray::number(qulonglong(*ticket.serial))
                                                 : QByteArray()));
            } else if (ticket.kind == ProductionLedger::Ticket::Stop) {
                answer(child, "stop");
            } else {
                failedOtherwise = true;
                answer(child, "error " + productionErrorText(ticket.error).toUtf8());
                stopAll();
            }
            return;
        }
        UnitRecord record;
        if (!line.startsWith("done ") || !unitRecordFromJson(line.mid(5), &record)) {
            fail(prefix + tr("a station said what no station says: %1").arg(QString::fromUtf8(line)));
            failedOtherwise = true;
            answer(child, "error");
            stopAll();
            return;
        }
        record.unit = child.unit;
        child.inUnit = false;
        const ProductionError error = run.finish(record);
        reportUnit(record, prefix);
        if (!error.ok()) {
            failedOtherwise = true;
            fail(prefix + productionErrorText(error));
            answer(child, "error " + productionErrorText(error).toUtf8());
            stopAll();
            return;
        }
        answer(child, "ok");
        if (run.finished())
            stopAll();
    };
    // Whole lines only; what a station says on standard error goes on with its adapter before it.
    const auto lines = [](QByteArray& buffer, const std::function<void(const QByteArray&)>& each) {
        for (int end = buffer.indexOf('\n'); end >= 0; end = buffer.indexOf('\n')) {
            const QByteArray line = buffer.left(end);
            buffer.remove(0, end + 1);
            each(line);
        }
    };
    const auto drain = [&](Child& child) {
        child.output += child.process->readAllStandardOutput();
        lines(child.output, [&](const QByteArray& line) { handle(child, line.trimmed()); });
        child.errors += child.process->readAllStandardError();
        lines(child.errors, [&](const QByteArray& line) {
            const QByteArray bytes = child.prefix + line + '\n';
            std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), err);
            std::fflush(err);
        });
    };
    const StopSignals trapped;
    for (const Station& station : stations) {
        auto child = std::make_unique<Child>();
        child->station = station;
        child->prefix = terminalBytes(QStringLiteral("[%1] ").arg(station.name));
        child->process = std::make_unique<QProcess>();
        QStringList arguments{QStringLiteral("produce"), path, QStringLiteral("--station"),
                              QStringLiteral("--adapter"), station.form, QStringLiteral("--device"),
                              QString::number(station.device), QStringLiteral("--port"),
                              portName(options.portRow), QStringLiteral("--speed"),
                              speedName(options.speedRow), QStringLiteral("--db"), options.database,
                              // The station reads the image again: it must be the one checked here.
                              QStringLiteral("--sha256"), imageSha};
        if (!options.chip.isEmpty())
            arguments << QStringLiteral("--chip") << options.chip;
        if (options.address)
            arguments << QStringLiteral("--address") << QString::number(*options.address);
        if (options.format)
            arguments << QStringLiteral("--format") << formatName(*options.format);
        if (const auto patch = serialPatch())
            arguments << QStringLiteral("--serial-at") << QString::number(patch->address)
                      << QStringLiteral("--serial-format")
                      << QLatin1String(kSerialFormatNames[int(patch->format)])
                      << QStringLiteral("--serial-size") << QString::number(patch->size);
        for (const auto& flag :
             {std::make_pair(options.yes, "--yes"), std::make_pair(options.unprotect, "--unprotect"),
              std::make_pair(options.eraseFirst, "--erase"), std::make_pair(options.quiet, "--quiet")}) {
            if (flag.first)
                arguments << QLatin1String(flag.second);
        }
        Child& it = *child;
        QObject::connect(it.process.get(), &QProcess::readyReadStandardOutput, [&drain, &it] { drain(it); });
        QObject::connect(it.process.get(), &QProcess::readyReadStandardError, [&drain, &it] { drain(it); });
        QObject::connect(
            it.process.get(), QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished),
            [&](int code, QProcess::ExitStatus how) {
                drain(it);
                it.running = false;
                if (it.inUnit) {
                    run.abandon();
                    fail(QString::fromUtf8(it.prefix) +
                         tr("the station ended in the middle of unit %1; its serial stays in flight")
                             .arg(it.unit));
                }
                if (code != 0 || how != QProcess::NormalExit || it.inUnit)
                    failedOtherwise = true;
                if (--running == 0)
                    loop.quit();
            });
        QObject::connect(it.process.get(), &QProcess::errorOccurred, [&](QProcess::ProcessError problem) {
            if (problem != QProcess::FailedToStart)
                return;
            fail(QString::fromUtf8(it.prefix) +
                 tr("cannot start a station: %1").arg(it.process->errorString()));
            failedOtherwise = true;
            it.running = false;
            if (--running == 0)
                loop.quit();
        });
        it.process->setProgram(QCoreApplication::applicationFilePath());
        it.process->setArguments(arguments);
        children.push_back(std::move(child));
    }
    note(tr("%1 stations: %2").arg(stations.size()).arg([&] {
        QStringList names;
        for (const Station& station : stations)
            names << station.name;
        return names.join(QStringLiteral(", "));
    }()));
    running = int(children.size());
    for (const auto& child : children)
        child->process->start();
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (stopSignal)
            stopAll();
    });
    watch.start(100);
    if (running > 0)
        loop.exec();
    return produceSummary(run, failedOtherwise);
}

} // namespace korvane
