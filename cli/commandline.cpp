#include "cli/commandline.h"

#include "backends/backendtable.h"
#include "cli/progressline.h"
#include "cli/terminaltext.h"
#include "core/adapter/adapterregistry.h"
#include "core/adapter/adapterresult.h"
#include "core/base/clock.h"
#include "core/base/imagedigest.h"
#include "core/base/largebuffer.h"
#include "core/chip/chiplist.h"
#include "core/chip/chiplistlocation.h"
#include "core/operations/firmwareoperations.h"
#include "core/operations/readchecks.h"
#include "core/operations/sfdpoperations.h"
#include "core/operations/smartwrite.h"
#include "core/operations/statusoperations.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>

namespace korvane {

namespace {

const char kPortNames[][9] = {"SPI1-CS0", "SPI1-CS1", "SPI1-CS2", "SPI1-CS3", "SPI1-CS4",
                              "SPI2-CS0", "SPI2-CS1", "SPI2-CS2", "SPI2-CS3", "SPI2-CS4"};
const char kSpeedNames[][6] = {"50", "25", "12.5", "6.25", "3.125"};
const char kUdevRulesFile[] = "60-korvane-spiflash.rules";

// QCommandLineParser's own texts in the help and in its errors, so that the translation has them.
[[maybe_unused]] const char* const kParserTexts[] = {
    QT_TRANSLATE_NOOP("QCommandLineParser", "Usage: %1"),
    QT_TRANSLATE_NOOP("QCommandLineParser", "[options]"),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Options:"),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Arguments:"),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Unknown option '%1'."),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Unknown options: %1."),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Missing value after '%1'."),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Unexpected value after '%1'."),
};

void print(std::FILE* out, const QString& text)
{
    const QByteArray bytes = terminalBytes(text);
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), out);
    std::fputc('\n', out);
}

QString hexAddress(std::uint64_t address)
{
    return QStringLiteral("0x%1").arg(address, 6, 16, QLatin1Char('0'));
}

QString idText(const std::uint8_t* id, int length)
{
    QString text;
    for (int i = 0; i < length; ++i)
        text += QStringLiteral("%1").arg(id[i], 2, 16, QLatin1Char('0')).toUpper();
    return text;
}

QString recordIdText(const CHIP_INFO& chip)
{
    return idText(chip.Config.FlashID, std::min<int>(chip.Config.IDLength, 16));
}

QString chipName(const CHIP_INFO& chip)
{
    return chipManufacturer(chip) + QLatin1Char(' ') + chipModelName(chip);
}

QString geometryText(const CHIP_INFO& chip)
{
    return CommandLine::tr("%1, page %2, sector %3, %4-byte addresses")
        .arg(formatChipSize(chipSize(chip)))
        .arg(chip.Config.PageSize)
        .arg(chip.Config.SectorSize)
        .arg(chip.Config.ReadDataAddrBytes);
}

QString sfdpText(const SfdpInfo& info)
{
    QStringList erases;
    for (int i = 0; i < info.eraseTypeCount; ++i)
        erases << QStringLiteral("%1 (%2)")
                      .arg(byteSizeText(info.eraseTypes[i].size))
                      .arg(info.eraseTypes[i].opcode, 2, 16, QLatin1Char('0'));
    QString addresses;
    switch (info.addressing) {
    case SfdpAddressing::ThreeByte:
        addresses = CommandLine::tr("3-byte addresses");
        break;
    case SfdpAddressing::ThreeOrFourByte:
        addresses = CommandLine::tr("3- or 4-byte addresses");
        break;
    case SfdpAddressing::FourByte:
        addresses = CommandLine::tr("4-byte addresses");
        break;
    case SfdpAddressing::Reserved:
        addresses = CommandLine::tr("addressing not given");
        break;
    }
    return CommandLine::tr("%1, %2-byte pages, erases %3, %4 (basic table %5.%6)")
        .arg(byteSizeText(info.sizeBytes))
        .arg(info.pageSize)
        .arg(erases.isEmpty() ? QStringLiteral("-") : erases.join(QStringLiteral(", ")))
        .arg(addresses)
        .arg(info.majorVersion)
        .arg(info.minorVersion);
}

// "SR1 = 0x1c: BUSY 0, WEL 0, BP0 1, ..." with the reserved bits left out.
QString registerText(const StatusRegisterInfo& info, std::uint8_t value)
{
    QStringList bits;
    for (int bit = 0; bit < 8; ++bit) {
        if (info.bits[bit] != nullptr)
            bits << QStringLiteral("%1 %2").arg(QLatin1String(info.bits[bit])).arg((value >> bit) & 1);
    }
    return QStringLiteral("%1 = 0x%2: %3")
        .arg(QLatin1String(info.name))
        .arg(value, 2, 16, QLatin1Char('0'))
        .arg(bits.join(QStringLiteral(", ")));
}

QString secondsText(double seconds)
{
    return QString::number(seconds, 'f', 2);
}

const std::uint8_t* segmentData(const ImageSegment& segment)
{
    return reinterpret_cast<const std::uint8_t*>(segment.bytes.constData());
}

std::vector<WriteSegment> segmentsOf(const InputImage& image)
{
    std::vector<WriteSegment> segments;
    for (const ImageSegment& segment : image.segments)
        segments.push_back(WriteSegment{std::uint32_t(segment.start), segmentData(segment),
                                        std::uint32_t(segment.bytes.size())});
    return segments;
}

// The bytes an image holds, in address order.
ImageDigest digestOf(const InputImage& image)
{
    ImageDigest digest;
    for (const ImageSegment& segment : image.segments)
        digest.add(segment.bytes);
    return digest;
}

QString helpDescription()
{
    return CommandLine::tr(
               "Reads, writes, verifies and erases SPI NOR flash chips through a USB-to-SPI adapter.\n"
               "\n"
               "Commands:\n"
               "  adapters                   list the adapters found\n"
               "  chips [PATTERN]            list chip records, filtered by a case-insensitive substring\n"
               "  detect                     read the chip's ID and SFDP table and list every matching "
               "record\n"
               "  read FILE                  read the chip into FILE, - for standard output (from\n"
               "                             --address, --length bytes)\n"
               "  write FILE                 write FILE at --address (without erasing first)\n"
               "  flash FILE                 write FILE at --address, erasing and programming only what "
               "differs\n"
               "  verify FILE                compare the chip with FILE at --address\n"
               "  blank-check                check that the chip (or --address, --length) is erased\n"
               "  erase                      erase the whole chip\n"
               "  erase-sectors FIRST COUNT  erase COUNT sectors from sector FIRST\n"
               "  status                     show the status registers bit by bit and what they protect\n"
               "  info                       show the adapter's firmware information\n"
               "  upgrade FILE               upgrade the adapter's firmware\n"
               "  produce IMAGE              program one chip after another with IMAGE (see Production)\n"
               "\n"
               "Without --chip the chip is identified by its ID. write, flash, erase and erase-sectors "
               "refuse\n"
               "to touch a write-protected part of the chip unless --unprotect is given. Exit status: 0\n"
               "success, 1 the operation failed (a verify mismatch included), 2 the command line is wrong.\n"
               "\n"
               "Files are raw binary, Intel HEX (.hex .ihex .ihx) or S-record (.srec .s19 .s28 .s37 .mot),\n"
               "by --format, else by extension, else by content. A record file goes to its own addresses\n"
               "unless --address places its lowest address elsewhere; write, flash and verify take only\n"
               "the bytes it holds, and between its records the chip keeps what it holds. read refuses\n"
               "a device, FIFO, socket or directory as FILE.\n"
               "\n"
               "Production: produce waits for a chip, programs it (smart write, or --erase), reads it\n"
               "back, logs it (--log), says PASS or FAIL, waits until it is removed, and so on until\n"
               "Ctrl+C or --count units passed; each adapter found (or --adapter given) is a station.\n"
               "--serial-at puts a serial number into each unit, counted in --serial-file; a serial a\n"
               "crash left in flight stops the next run until --resume-serial says reuse or skip.\n"
               "\n"
               "Adapters (--adapter):\n") +
           adapterFormsHelp();
}

} // namespace

std::optional<std::uint32_t> parseNumber(const QString& text)
{
    bool ok = false;
    const QString trimmed = text.trimmed();
    qulonglong value = 0;
    if (trimmed.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        value = trimmed.mid(2).toULongLong(&ok, 16);
    else
        value = trimmed.toULongLong(&ok, 10);
    if (!ok || trimmed.startsWith(QLatin1Char('+')) || value > 0xFFFFFFFFull)
        return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

QString CommandLine::portName(int row)
{
    return QLatin1String(kPortNames[std::clamp(row, 0, kSelectorSlots - 1)]);
}

QString CommandLine::speedName(int row)
{
    return QLatin1String(kSpeedNames[std::clamp(row, 0, 4)]);
}

CommandLine::CommandLine(Clock& clock, const DeviceAccess& access, std::FILE* out, std::FILE* err)
    : clock(clock), access(access), out(out), err(err)
{
}

CommandLine::~CommandLine() = default;

int CommandLine::fail(const QString& message) const
{
    print(err, QStringLiteral("korvane-spi: ") + message);
    // What the backend knows beyond the result code, such as the simulated chip's file and why it failed.
    const std::string detail = adapters ? adapters->failureDetail(options.device) : std::string();
    if (!detail.empty())
        print(err, QStringLiteral("korvane-spi: ") + QString::fromStdString(detail));
    return ExitFailed;
}

int CommandLine::usage(const QString& message) const
{
    print(err, QStringLiteral("korvane-spi: ") + message);
    print(err, tr("Try 'korvane-spi --help' for more information."));
    return ExitUsage;
}

QString CommandLine::openFailureText(int adapterCode) const
{
    // A device node named by --adapter is named in the reason too.
    const QString problem = deviceNodeProblem(options.adapterForm, adapterCode);
    if (!problem.isEmpty())
        return tr("cannot open the adapter: %1").arg(problem);
    return operationResultText(operationFailure(OperationStatus::OpenFailed, adapterCode));
}

int CommandLine::failed(const OperationResult& result, const QString& prefix) const
{
    fail(prefix + (result.status == OperationStatus::OpenFailed ? openFailureText(result.adapterCode)
                                                                : operationResultText(result)));
    // Without permission the fix is always the same, and never obvious from the error alone.
    if (result.status == OperationStatus::OpenFailed && result.adapterCode == AdapterErrorAccess)
        print(err, tr("korvane-spi: hint: install data/udev/%1 into /etc/udev/rules.d/, run 'udevadm control "
                      "--reload' and plug the programmer in again (see README, Hardware)")
                       .arg(QLatin1String(kUdevRulesFile)));
    return ExitFailed;
}

int CommandLine::closeOutput(int status)
{
    // A failed flush leaves only the error flag behind, which fclose does not report.
    if (std::fclose(out) != 0 && outputError == 0)
        outputError = errno;
    if (outputError != 0 && status == ExitOk)
        return fail(tr("cannot write to standard output: %1").arg(qt_error_string(outputError)));
    return status;
}

void CommandLine::say(const QString& message) const
{
    print(out, message);
    if (std::fflush(out) != 0 && outputError == 0)
        outputError = errno;
}

void CommandLine::note(const QString& message) const
{
    if (!options.quiet)
        print(err, message);
}

void CommandLine::warn(const QString& message) const
{
    // Never dropped by --quiet: a warning is what the user must see even when it went on.
    print(err, tr("warning: ") + message);
}

int CommandLine::run(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(helpDescription());
    parser.addPositionalArgument(QStringLiteral("command"), tr("what to do (see Commands above)"),
                                 QStringLiteral("<command> [arguments]"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  tr("Show this help."));
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                                     tr("Show the version."));
    const QCommandLineOption adapter(QStringList{QStringLiteral("A"), QStringLiteral("adapter")},
                                     tr("Which backend (see Adapters above); default: every adapter found, "
                                        "never the simulated one."),
                                     QStringLiteral("adapter"));
    const QCommandLineOption device(QStringList{QStringLiteral("d"), QStringLiteral("device")},
                                    tr("Index in the adapter list (default 0)."), QStringLiteral("n"));
    const QCommandLineOption port(QStringList{QStringLiteral("p"), QStringLiteral("port")},
                                  tr("SPI1-CS0 ... SPI2-CS4 (default SPI1-CS0)."), QStringLiteral("name"));
    const QCommandLineOption speed(QStringList{QStringLiteral("s"), QStringLiteral("speed")},
                                   tr("Clock in MHz: 50, 25, 12.5, 6.25 or 3.125 (default 50)."),
                                   QStringLiteral("mhz"));
    const QCommandLineOption chip(
        QStringList{QStringLiteral("c"), QStringLiteral("chip")},
        tr("A model from the chip list: an exact name or a unique substring, in any "
           "case. Without it the chip is identified by its ID."),
        QStringLiteral("model"));
    const QCommandLineOption database(QStringLiteral("db"),
                                      tr("The chip list file (default: the one the window uses)."),
                                      QStringLiteral("file"));
    const QCommandLineOption address(QStringList{QStringLiteral("a"), QStringLiteral("address")},
                                     tr("Start address, decimal or 0x-prefixed hexadecimal (default 0)."),
                                     QStringLiteral("addr"));
    const QCommandLineOption length(QStringList{QStringLiteral("l"), QStringLiteral("length")},
                                    tr("Bytes to read (default: to the end of the chip)."),
                                    QStringLiteral("n"));
    const QCommandLineOption format(
        QStringLiteral("format"),
        tr("File format: bin, ihex or srec (default: by extension, else by content)."),
        QStringLiteral("format"));
    const QCommandLineOption recordSize(
        QStringLiteral("record-size"),
        tr("Data bytes per record in a written Intel HEX or S-record file: 16 "
           "(default) or 32."),
        QStringLiteral("n"));
    const QCommandLineOption yes(QStringList{QStringLiteral("y"), QStringLiteral("yes")},
                                 tr("Go on when the chip's ID differs from the chosen record's."));
    const QCommandLineOption quiet(QStringList{QStringLiteral("q"), QStringLiteral("quiet")},
                                   tr("No progress line and no notes; warnings and errors still appear."));
    const QCommandLineOption unprotect(
        QStringLiteral("unprotect"),
        tr("write, flash, erase, erase-sectors: clear block protection that covers the range first."));
    const QCommandLineOption twice(
        QStringLiteral("twice"),
        tr("read: read twice and compare, to catch a bad contact or too fast a clock."));
    const QCommandLineOption add(QStringLiteral("add"),
                                 tr("detect: add a record built from the chip's SFDP table to the chip list "
                                    "when no record has its ID."));
    const QCommandLineOption set(
        QStringLiteral("set"),
        tr("status: write a status register (SR1, SR2, SR3), as REG=VALUE; repeatable."),
        QStringLiteral("reg=value"));
    const QCommandLineOption noVerify(
        QStringLiteral("no-verify"),
        tr("write: do not read the data back to check it."));
    const QCommandLineOption volatileWrite(
        QStringLiteral("volatile"), tr("status --set: write volatile values (50 first), lost at power-off."));
    const QCommandLineOption sha256(
        QStringLiteral("sha256"),
        tr("read, write, verify, produce: the SHA-256 the data (read) or the file must have."),
        QStringLiteral("hex"));
    const QCommandLineOption crc32(QStringLiteral("crc32"),
                                   tr("read, write, verify, produce: the CRC-32 it must have."),
                                   QStringLiteral("hex"));
    const QCommandLineOption count(QStringLiteral("count"), tr("produce: stop after N units passed."),
                                   QStringLiteral("n"));
    const QCommandLineOption eraseFirst(QStringLiteral("erase"),
                                        tr("produce: erase the chip, then write (default: smart write)."));
    const QCommandLineOption serialAt(QStringLiteral("serial-at"),
                                      tr("produce: put each unit's serial number at this address."),
                                      QStringLiteral("addr"));
    const QCommandLineOption serialFormat(
        QStringLiteral("serial-format"),
        tr("produce: dec or hex (ASCII digits), le or be (binary bytes); default dec."), QStringLiteral("f"));
    const QCommandLineOption serialSize(QStringLiteral("serial-size"),
                                        tr("produce: bytes the serial takes (default 8 digits, 4 bytes)."),
                                        QStringLiteral("n"));
    const QCommandLineOption serialStart(QStringLiteral("serial-start"),
                                         tr("produce: the first serial of a new --serial-file."),
                                         QStringLiteral("n"));
    const QCommandLineOption serialFile(QStringLiteral("serial-file"),
                                        tr("produce: the file that keeps the serial counter."),
                                        QStringLiteral("file"));
    const QCommandLineOption log(QStringLiteral("log"), tr("produce: append a line per unit to this file."),
                                 QStringLiteral("file"));
    const QCommandLineOption logFormat(QStringLiteral("log-format"),
                                       tr("produce: csv (default) or jsonl."), QStringLiteral("f"));
    const QCommandLineOption resumeSerial(
        QStringLiteral("resume-serial"),
        tr("produce: what to do with a serial a crash left in flight: reuse or skip."), QStringLiteral("how"));
    QCommandLineOption station(QStringLiteral("station"));
    station.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions({help,      version,      adapter,    device,      port,       speed,     chip,
                       database,  address,      length,     format,      recordSize, yes,       quiet,
                       unprotect, twice,        add,        set,         volatileWrite, noVerify, sha256,
                       crc32,     count,        eraseFirst, serialAt,    serialFormat, serialSize, serialStart,
                       serialFile, log,         logFormat,  resumeSerial, station});

    if (!parser.parse(arguments))
        return usage(parser.errorText());
    if (parser.isSet(help)) {
        say(parser.helpText().trimmed());
        return ExitOk;
    }
    if (parser.isSet(version)) {
        say(QStringLiteral("korvane-spi ") + QCoreApplication::applicationVersion());
        return ExitOk;
    }

    options.adapterForms = parser.values(adapter);
    options.adapterForm = options.adapterForms.value(0);
    options.chip = parser.value(chip);
    options.databaseGiven = parser.isSet(database);
    options.database = options.databaseGiven ? parser.value(database) : locateChipList().readPath;
    options.yes = parser.isSet(yes);
    options.quiet = parser.isSet(quiet);
    options.unprotect = parser.isSet(unprotect);
    options.twice = parser.isSet(twice);
    options.add = parser.isSet(add);
    options.volatileWrite = parser.isSet(volatileWrite);
    options.noVerify = parser.isSet(noVerify);
    options.sets = parser.values(set);
    if (parser.isSet(device)) {
        const auto value = parseNumber(parser.value(device));
        if (!value || *value > 0x7FFFFFFF)
            return usage(tr("--device takes an adapter index, not \"%1\"").arg(parser.value(device)));
        options.device = static_cast<int>(*value);
        options.deviceGiven = true;
    }
    if (parser.isSet(port)) {
        options.portRow = -1;
        for (int row = 0; row < kSelectorSlots; ++row) {
            if (parser.value(port).compare(QLatin1String(kPortNames[row]), Qt::CaseInsensitive) == 0)
                options.portRow = row;
        }
        if (options.portRow < 0)
            return usage(tr("--port takes SPI1-CS0 ... SPI2-CS4, not \"%1\"").arg(parser.value(port)));
    }
    if (parser.isSet(speed)) {
        options.speedRow = -1;
        for (int row = 0; row < 5; ++row) {
            if (parser.value(speed).trimmed() == QLatin1String(kSpeedNames[row]))
                options.speedRow = row;
        }
        if (options.speedRow < 0)
            return usage(
                tr("--speed takes 50, 25, 12.5, 6.25 or 3.125, not \"%1\"").arg(parser.value(speed)));
    }
    if (parser.isSet(address)) {
        options.address = parseNumber(parser.value(address));
        if (!options.address)
            return usage(
                tr("--address takes a number such as 4096 or 0x1000, not \"%1\"").arg(parser.value(address)));
    }
    if (parser.isSet(length)) {
        options.length = parseNumber(parser.value(length));
        if (!options.length)
            return usage(
                tr("--length takes a number such as 4096 or 0x1000, not \"%1\"").arg(parser.value(length)));
    }

    if (parser.isSet(format)) {
        options.format = imageFormatFromName(parser.value(format));
        if (!options.format)
            return usage(tr("--format takes bin, ihex or srec, not \"%1\"").arg(parser.value(format)));
    }
    if (parser.isSet(recordSize)) {
        const QString value = parser.value(recordSize).trimmed();
        if (value != QLatin1String("16") && value != QLatin1String("32"))
            return usage(tr("--record-size takes 16 or 32, not \"%1\"").arg(parser.value(recordSize)));
        options.recordSize = value.toInt();
        options.recordSizeGiven = true;
    }

    if (parser.isSet(sha256)) {
        options.sha256 = normalizedSha256(parser.value(sha256));
        if (options.sha256.isEmpty())
            return usage(tr("--sha256 takes 64 hexadecimal digits, not \"%1\"").arg(parser.value(sha256)));
    }
    if (parser.isSet(crc32)) {
        options.crc32 = normalizedCrc32(parser.value(crc32));
        if (options.crc32.isEmpty())
            return usage(tr("--crc32 takes 8 hexadecimal digits, not \"%1\"").arg(parser.value(crc32)));
    }
    if (const int status = parseProductionOptions(parser))
        return status;

    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usage(tr("no command given"));
    const QString command = positional.takeFirst();
    return runCommand(command, positional);
}

int CommandLine::runCommand(const QString& command, const QStringList& arguments)
{
    struct Command
    {
        const char* name;
        int minimum;
        int maximum;
    };
    static const Command kCommands[] = {
        {"adapters", 0, 0},      {"chips", 0, 1},   {"detect", 0, 0}, {"read", 1, 1},
        {"write", 1, 1},         {"verify", 1, 1},  {"erase", 0, 0},  {"info", 0, 0},
        {"erase-sectors", 2, 2}, {"upgrade", 1, 1}, {"status", 0, 0}, {"flash", 1, 1},
        {"blank-check", 0, 0},   {"produce", 1, 1},
    };
    const Command* found = nullptr;
    for (const Command& entry : kCommands) {
        if (command == QLatin1String(entry.name))
            found = &entry;
    }
    if (found == nullptr)
        return usage(tr("unknown command \"%1\"").arg(command));
    if (arguments.size() < found->minimum)
        return usage(tr("%1: missing argument").arg(command));
    if (arguments.size() > found->maximum)
        return usage(tr("%1: unexpected argument \"%2\"").arg(command, arguments.at(found->maximum)));
    // Options that belong to some commands only.
    const auto onlyFor = [&](bool given, const char* option, QStringList commands) {
        return given && !commands.contains(command) ? usage(tr("--%1 is for %2 only")
                                                                .arg(QLatin1String(option))
                                                                .arg(commands.join(QStringLiteral(", "))))
                                                    : int(ExitOk);
    };
    // Where a command has no use for an address or a length, giving one is a mistake to say, not
    // to pass over: "-a 0x10000 -l 0x1000 erase-sectors" must not erase something else.
    const QStringList ranged{QStringLiteral("read"),  QStringLiteral("write"),       QStringLiteral("verify"),
                             QStringLiteral("flash"), QStringLiteral("blank-check"), QStringLiteral("erase")};
    if (const int status = onlyFor(options.address.has_value(), "address", ranged + QStringList{"produce"}))
        return status;
    if (const int status = onlyFor(options.length.has_value(), "length", ranged))
        return status;
    if (const int status = onlyFor(options.noVerify, "no-verify", {QStringLiteral("write")}))
        return status;
    if (const int status = onlyFor(options.twice, "twice", {QStringLiteral("read")}))
        return status;
    if (const int status = onlyFor(options.add, "add", {QStringLiteral("detect")}))
        return status;
    if (const int status = onlyFor(!options.sets.isEmpty(), "set", {QStringLiteral("status")}))
        return status;
    if (const int status = onlyFor(options.volatileWrite, "volatile", {QStringLiteral("status")}))
        return status;
    if (options.volatileWrite && options.sets.isEmpty())
        return usage(tr("--volatile makes a --set write volatile; without --set there is nothing to write"));
    if (!options.chip.isEmpty() && command == QLatin1String("detect"))
        return usage(tr("detect reads the chip's ID; --chip names a record and is for the other commands"));
    const QStringList chipCommands{QStringLiteral("read"),          QStringLiteral("write"),
                                   QStringLiteral("flash"),         QStringLiteral("verify"),
                                   QStringLiteral("blank-check"),   QStringLiteral("erase"),
                                   QStringLiteral("erase-sectors"), QStringLiteral("status"),
                                   QStringLiteral("produce")};
    if (const int status = onlyFor(!options.chip.isEmpty(), "chip", chipCommands))
        return status;
    if (const int status = onlyFor(options.format.has_value(), "format",
                                   {QStringLiteral("read"), QStringLiteral("write"), QStringLiteral("flash"),
                                    QStringLiteral("verify"), QStringLiteral("produce")}))
        return status;
    if (const int status = onlyFor(options.recordSizeGiven, "record-size", {QStringLiteral("read")}))
        return status;
    if (const int status = onlyFor(options.unprotect, "unprotect",
                                   {QStringLiteral("write"), QStringLiteral("flash"), QStringLiteral("erase"),
                                    QStringLiteral("erase-sectors"), QStringLiteral("produce")}))
        return status;
    const QStringList hashed{QStringLiteral("read"), QStringLiteral("write"), QStringLiteral("verify"),
                             QStringLiteral("produce")};
    if (const int status = onlyFor(!options.sha256.isEmpty(), "sha256", hashed))
        return status;
    if (const int status = onlyFor(!options.crc32.isEmpty(), "crc32", hashed))
        return status;
    if (const int status = checkProductionOptions(command, onlyFor))
        return status;

    if (command == QLatin1String("chips"))
        return listChips(arguments.value(0));
    if (command == QLatin1String("adapters"))
        return listAdapters();
    if (command == QLatin1String("info"))
        return info();
    if (command == QLatin1String("upgrade"))
        return upgrade(arguments.at(0));
    if (command == QLatin1String("detect"))
        return detect();
    if (command == QLatin1String("read"))
        return read(arguments.at(0));
    if (command == QLatin1String("write"))
        return write(arguments.at(0));
    if (command == QLatin1String("verify"))
        return verify(arguments.at(0));
    if (command == QLatin1String("erase"))
        return erase();
    if (command == QLatin1String("status"))
        return status();
    if (command == QLatin1String("flash"))
        return flash(arguments.at(0));
    if (command == QLatin1String("blank-check"))
        return blankCheck();
    if (command == QLatin1String("produce"))
        return produce(arguments.at(0));
    return eraseSectors(arguments.at(0), arguments.at(1));
}

// ---- shared steps

int CommandLine::startOnChip(CHIP_INFO* chip)
{
    if (const int status = loadChips())
        return status;
    if (const int status = openAdapters())
        return status;
    return chooseChip(chip);
}

int CommandLine::loadChips()
{
    QString error;
    if (!options.databaseGiven && !QFileInfo::exists(options.database)) {
        // Nothing anywhere: say every place looked in, not only the first.
        const ChipListPlaces places = ChipListPlaces::standard();
        QStringList looked{places.working};
        if (!places.user.isEmpty())
            looked << places.user;
        looked << places.installed;
        return fail(
            tr("no chip list found; looked for %1; --db names one").arg(looked.join(QStringLiteral(", "))));
    }
    if (!readChipListFile(options.database, chips, &error, nullptr, &invalidChips))
        return fail(tr("cannot read the chip list %1: %2").arg(options.database, error));
    // Said even with --quiet: the records stay left out until the file is mended.
    constexpr int kInvalidShown = 10;
    for (int i = 0; i < std::min<int>(invalidChips.size(), kInvalidShown); ++i) {
        const InvalidChipRecord& record = invalidChips.at(i);
        print(err, tr("warning: %1: record %2 left out: %3")
                       .arg(options.database, QString::number(record.number),
                            chipRecordFaultText(record.chip.Config, record.fault)));
    }
    if (invalidChips.size() > kInvalidShown)
        print(err, tr("warning: %1: and %2 more left out")
                       .arg(options.database, QString::number(invalidChips.size() - kInvalidShown)));
    if (chips.isEmpty())
        return fail(tr("the chip list %1 holds no valid chip record").arg(options.database));
    return ExitOk;
}

int CommandLine::openAdapters()
{
    QString error;
    adapters = createAdapterRegistry(clock, options.adapterForm, false, &error, access);
    if (!adapters)
        return usage(error);
    const int count = adapters->scanDevices(nullptr);
    if (count == 0) {
        if (options.adapterForm.isEmpty())
            return fail(tr("no adapter found (to try the program without one: --adapter sim)"));
        const QString problem = deviceNodeProblem(options.adapterForm, AdapterErrorNoDevice);
        if (!problem.isEmpty())
            return fail(tr("no adapter found for --adapter %1: %2").arg(options.adapterForm, problem));
        return fail(tr("no adapter found for --adapter %1").arg(options.adapterForm));
    }
    if (options.device >= count)
        return fail(tr("there is no adapter %1: %2 found (see 'korvane-spi adapters')")
                        .arg(options.device)
                        .arg(count));
    return ExitOk;
}

FlashTarget CommandLine::targetFor(const CHIP_INFO& chip) const
{
    FlashTarget target;
    target.deviceIndex = options.device;
    target.selector = spiSelectorForRow(options.portRow);
    target.clockHz = spiClockForRow(options.speedRow);
    target.chip = chip;
    return target;
}

int CommandLine::chooseChip(CHIP_INFO* chip)
{
    return options.chip.isEmpty() ? chipById(chip) : chipByName(chip);
}

int CommandLine::chipByName(CHIP_INFO* chip)
{
    QList<CHIP_INFO> candidates;
    for (const CHIP_INFO& record : qAsConst(chips)) {
        if (modelNameMatches(chipModelName(record), options.chip))
            candidates << record;
    }
    if (candidates.isEmpty()) {
        for (const CHIP_INFO& record : qAsConst(chips)) {
            if (chipModelName(record).contains(options.chip, Qt::CaseInsensitive))
                candidates << record;
        }
    }
    if (candidates.isEmpty())
        return usage(tr("no chip named \"%1\" in %2 ('korvane-spi chips %1' lists names like it)")
                         .arg(options.chip, options.database));
    // The same record twice (one model under two manufacturers' names aside) is one chip.
    for (const CHIP_INFO& other : qAsConst(candidates)) {
        if (chipModelName(other).compare(chipModelName(candidates.first()), Qt::CaseInsensitive) != 0 ||
            !sameChipGeometry(other, candidates.first()) ||
            chipIdKey(other.Config.FlashID) != chipIdKey(candidates.first().Config.FlashID)) {
            QStringList names;
            for (const CHIP_INFO& record : qAsConst(candidates))
                names << tr("%1 (%2)").arg(chipName(record), geometryText(record));
            return usage(tr("\"%1\" names more than one chip: %2")
                             .arg(options.chip, names.join(QStringLiteral("; "))));
        }
    }
    *chip = candidates.first();
    return ExitOk;
}

int CommandLine::chipById(CHIP_INFO* chip)
{
    std::uint8_t id[kIdBufferSize];
    const OperationResult read =
        readChipId(*adapters, options.device, spiSelectorForRow(options.portRow), id);
    if (!read.ok())
        return failed(read);
    QString why;
    if (!recordForId(id, chip, &why))
        return fail(why);
    return ExitOk;
}

bool CommandLine::recordForId(const std::uint8_t* id, CHIP_INFO* chip, QString* why)
{
    const QList<CHIP_INFO> matches = chipsWithId(chips, id);
    if (matches.isEmpty()) {
        *why = tr("no record in %1 has the chip's ID %2; name the chip with --chip")
                   .arg(options.database, idText(id, 3));
        return false;
    }
    // Records that share the ID and drive the chip the same way are one chip under several names.
    QList<QList<CHIP_INFO>> groups;
    for (const CHIP_INFO& record : matches) {
        bool placed = false;
        for (auto& group : groups) {
            if (sameChipGeometry(group.first(), record)) {
                group << record;
                placed = true;
                break;
            }
        }
        if (!placed)
            groups << QList<CHIP_INFO>{record};
    }
    if (groups.size() > 1) {
        QStringList kinds;
        for (const auto& group : qAsConst(groups)) {
            QStringList names;
            for (const CHIP_INFO& record : group)
                names << chipName(record);
            kinds << tr("%1 (%2)").arg(names.join(QStringLiteral(", ")), geometryText(group.first()));
        }
        *why = tr("the chip's ID %1 matches records that differ: %2; choose one with --chip")
                   .arg(idText(id, 3), kinds.join(QStringLiteral("; ")));
        return false;
    }
    QStringList names;
    for (const CHIP_INFO& record : qAsConst(groups.first()))
        names << chipName(record);
    note(tr("Chip: %1 (ID %2)").arg(names.join(QStringLiteral(" / ")), idText(id, 3)));
    *chip = groups.first().first();
    return true;
}

// The user's answers are the options: --yes goes on past an ID or size that differs, --unprotect
// clears protection. A refusal says why and what would go on.
class CommandLine::Questions : public SessionQuestions
{
public:
    Questions(CommandLine& cli, const CHIP_INFO& chip) : cli(cli), chip(chip) {}

    bool acceptOtherId(const std::uint8_t* id, int length) override
    {
        return goOnOrFail(tr("the chip's ID %1 differs from %2's ID %3")
                              .arg(idText(id, length), chipModelName(chip), recordIdText(chip)));
    }
    bool acceptOtherSize(std::uint64_t recordSize, std::uint64_t sfdpSize) override
    {
        return goOnOrFail(tr("the chip's SFDP table says %1, %2's record %3")
                              .arg(byteSizeText(sfdpSize), chipModelName(chip), byteSizeText(recordSize)));
    }
    ProtectionAnswer protectedRange(const StatusLayout& layout, const Protection& protection) override
    {
        protectionSaid = protectionText(layout, protection);
        if (!cli.options.unprotect) {
            cli.fail(protectionSaid + tr("; --unprotect clears the protection first"));
            return ProtectionAnswer::Stop;
        }
        return ProtectionAnswer::Clear;
    }
    bool acceptBlockLocks(const StatusLayout& layout, const Protection& protection) override
    {
        // Clearing the protect bits does not unlock blocks locked one by one.
        const QString text = protectionText(layout, protection);
        if (!cli.options.yes) {
            cli.fail(text + tr("; korvane-spi cannot unlock single blocks; --yes goes on anyway"));
            return false;
        }
        cli.warn(text);
        return true;
    }
    void protectionUnknown() override
    {
        cli.warn(tr("the adapter cannot read the status register; block protection was not checked"));
    }

    // What the last protection question was about; empty when none was asked.
    QString protectionSaid;

private:
    bool goOnOrFail(const QString& text)
    {
        if (!cli.options.yes) {
            cli.fail(text + tr("; --yes goes on anyway"));
            return false;
        }
        cli.warn(text);
        return true;
    }

    CommandLine& cli;
    const CHIP_INFO chip;
};

int CommandLine::openSession(FlashOperation operation, const CHIP_INFO& chip)
{
    questions = std::make_unique<Questions>(*this, chip);
    session = std::make_unique<OperationSession>(*adapters, clock, *questions, targetFor(chip));
    const OperationResult opened = session->open(operation);
    // A refusal was said by the answer.
    if (opened.status == OperationStatus::Declined)
        return ExitFailed;
    if (!opened.ok())
        return failed(opened);
    // An adapter that cannot run the clock asked for runs the nearest it has; say which.
    const FlashTarget& target = session->target();
    const std::uint32_t clockHz = adapters->effectiveClockHz(target.deviceIndex, target.selector);
    if (clockHz != 0 && clockHz != target.clockHz)
        note(tr("The adapter runs the SPI clock at %1 MHz (asked: %2 MHz).")
                 .arg(clockHz / 1e6, 0, 'g', 6)
                 .arg(target.clockHz / 1e6, 0, 'g', 6));
    return ExitOk;
}

int CommandLine::prepareChange(const Ranges& ranges)
{
    for (const auto& range : ranges) {
        questions->protectionSaid.clear();
        const OperationResult prepared = session->prepareChange(range.first, range.second);
        if (prepared.status == OperationStatus::Declined)
            return ExitFailed;
        if (!prepared.ok()) {
            if (questions->protectionSaid.isEmpty())
                return fail(operationResultText(prepared));
            return fail(tr("cannot clear the protection (%1): %2")
                            .arg(questions->protectionSaid, operationResultText(prepared)));
        }
        if (!questions->protectionSaid.isEmpty())
            note(tr("Cleared the protection (%1).").arg(questions->protectionSaid));
    }
    return ExitOk;
}

int CommandLine::chipRange(const CHIP_INFO& chip, const QString& nothingText, std::uint32_t* start,
                           std::int64_t* length)
{
    const std::int64_t size = chipSize(chip);
    *start = options.address.value_or(0);
    if (*start >= size)
        return fail(
            tr("the start address %1 is not inside the %2-byte chip").arg(hexAddress(*start)).arg(size));
    *length = options.length ? std::int64_t(*options.length) : size - *start;
    if (*length == 0)
        return fail(nothingText);
    if (*start + *length > size)
        return fail(tr("%1 bytes from %2 run past the end of the %3-byte chip")
                        .arg(*length)
                        .arg(hexAddress(*start))
                        .arg(size));
    return ExitOk;
}

int CommandLine::keepLength(const QString& path, InputImage* image)
{
    if (!options.length)
        return ExitOk;
    const std::uint64_t span = image->end() - image->start();
    if (*options.length == 0 || *options.length > span)
        return fail(tr("--length %1 does not fit the %2 bytes from %3 to %4 that %5 holds")
                        .arg(*options.length)
                        .arg(span)
                        .arg(hexAddress(image->start()), hexAddress(image->end() - 1), path));
    const std::uint64_t end = image->start() + std::uint64_t(*options.length);
    std::vector<ImageSegment> kept;
    for (ImageSegment& segment : image->segments) {
        if (segment.start >= end)
            break;
        segment.bytes.truncate(int(std::min<std::uint64_t>(segment.bytes.size(), end - segment.start)));
        kept.push_back(std::move(segment));
    }
    image->segments = std::move(kept);
    return ExitOk;
}

void CommandLine::sayDigest(const ImageDigest& digest, std::FILE* stream) const
{
    print(stream, QStringLiteral("SHA-256 ") + digest.sha256());
    print(stream, QStringLiteral("CRC-32 ") + digest.crc32());
    if (std::fflush(stream) != 0 && stream == out && outputError == 0)
        outputError = errno;
}

int CommandLine::checkDigest(const ImageDigest& digest, const QString& what) const
{
    if (!options.sha256.isEmpty() && digest.sha256() != options.sha256)
        return fail(tr("%1 has the SHA-256 %2, not the %3 expected").arg(what, digest.sha256(), options.sha256));
    if (!options.crc32.isEmpty() && digest.crc32() != options.crc32)
        return fail(tr("%1 has the CRC-32 %2, not the %3 expected").arg(what, digest.crc32(), options.crc32));
    return ExitOk;
}

int CommandLine::checkFileDigest(const QString& path)
{
    if (options.sha256.isEmpty() && options.crc32.isEmpty())
        return ExitOk;
    // Read for the check alone, before any adapter is opened; the chip's size bounds it later.
    InputImage image;
    QString error;
    if (!readImageFile(path, options.format, options.address, kImageAddressSpace, &image, &error))
        return fail(error);
    if (const int status = keepLength(path, &image))
        return status;
    return checkDigest(digestOf(image), path);
}

int CommandLine::readInputFile(const QString& path, const CHIP_INFO& chip, InputImage* image)
{
    QString error;
    if (!readImageFile(path, options.format, options.address, chipSize(chip), image, &error))
        return fail(error);
    if (const int status = keepLength(path, image))
        return status;
    if (image->format == ImageFormat::Binary)
        return ExitOk;
    if (image->segments.size() == 1)
        note(tr("%1: %2 file, %3 bytes from %4")
                 .arg(path, imageFormatTitle(image->format))
                 .arg(image->heldBytes())
                 .arg(hexAddress(image->start())));
    else
        note(tr("%1: %2 file, %3 bytes in %4 runs from %5 to %6; the chip keeps what it holds between them")
                 .arg(path, imageFormatTitle(image->format))
                 .arg(image->heldBytes())
                 .arg(image->segments.size())
                 .arg(hexAddress(image->start()), hexAddress(image->end() - 1)));
    return ExitOk;
}

// ---- commands

int CommandLine::listAdapters()
{
    if (const int status = openAdapters())
        return status;
    for (const AdapterEntry& entry : adapters->adapters()) {
        const AdapterIdentity& id = entry.identity;
        QString line = QStringLiteral("%1  %2  %3  %4")
                           .arg(entry.index, 2)
                           .arg(QString::fromStdString(id.backend), -8)
                           .arg(QString::fromStdString(id.name), -20)
                           .arg(QString::fromStdString(id.location));
        if (!id.serial.empty())
            line += tr("  serial %1").arg(QString::fromStdString(id.serial));
        say(line + QStringLiteral("  ") + speedRowClocks(entry.index));
    }
    return ExitOk;
}

QString CommandLine::speedRowClocks(int index)
{
    // The clock each --speed value gets on this adapter, as configuring it for SPI1-CS0 says.
    if (!adapters->openDevice(index))
        return tr("clocks unknown (%1)").arg(openFailureText(adapters->openError(index)));
    const SPIFlashConfig config = detectionConfig();
    const int selector = spiSelectorForRow(0);
    QStringList asked;
    QStringList used;
    for (int row = 0; row < 5; ++row) {
        asked << QLatin1String(kSpeedNames[row]);
        std::uint32_t hz = 0;
        if (adapters->flashInit(index, selector, spiClockForRow(row), &config) == 0)
            hz = adapters->effectiveClockHz(index, selector);
        used << (hz == 0 ? QStringLiteral("?") : QString::number(hz / 1e6, 'g', 6));
    }
    adapters->closeDevice(index);
    return tr("clocks for -s %1: %2 MHz").arg(asked.join(QLatin1Char('/')), used.join(QLatin1Char('/')));
}

int CommandLine::listChips(const QString& pattern)
{
    if (const int status = loadChips())
        return status;
    for (const CHIP_INFO& record : qAsConst(chips)) {
        const QString manufacturer = chipManufacturer(record);
        const QString model = chipModelName(record);
        if (!pattern.isEmpty() && !model.contains(pattern, Qt::CaseInsensitive) &&
            !manufacturer.contains(pattern, Qt::CaseInsensitive))
            continue;
        say(QStringLiteral("%1  %2  %3  %4")
                .arg(manufacturer, -12)
                .arg(model, -24)
                .arg(recordIdText(record), -8)
                .arg(formatChipSize(chipSize(record))));
    }
    return ExitOk;
}

int CommandLine::detect()
{
    if (const int status = loadChips())
        return status;
    if (const int status = openAdapters())
        return status;
    std::uint8_t id[kIdBufferSize];
    SfdpInfo sfdp;
    bool hasSfdp = false;
    const OperationResult read =
        detectChip(*adapters, options.device, spiSelectorForRow(options.portRow), id, &sfdp, &hasSfdp);
    if (!read.ok())
        return failed(read);
    say(tr("ID: %1").arg(idText(id, 3)));
    say(hasSfdp ? tr("SFDP: %1").arg(sfdpText(sfdp)) : tr("SFDP: none"));
    const QList<CHIP_INFO> matches = chipsWithId(chips, id);
    if (matches.size() > 1)
        say(tr("%1 records have this ID:").arg(matches.size()));
    for (const CHIP_INFO& record : matches)
        say(QStringLiteral("  ") + tr("%1 (%2)").arg(chipName(record), geometryText(record)));
    if (options.add)
        return addSfdpRecord(id, matches.size(), hasSfdp ? &sfdp : nullptr);
    if (matches.isEmpty())
        return fail(hasSfdp
                        ? tr("no record in %1 has this ID; --add adds one built from the chip's SFDP table")
                              .arg(options.database)
                        : tr("no record in %1 has this ID").arg(options.database));
    return ExitOk;
}

int CommandLine::addSfdpRecord(const std::uint8_t* id, int matches, const SfdpInfo* sfdp)
{
    if (matches > 0)
        return fail(tr("%1 has a record with this ID already; nothing added").arg(options.database));
    if (sfdp == nullptr)
        return fail(tr("the chip has no SFDP table to build a record from; nothing added"));
    // The maker as the chip list knows it by the first ID byte.
    QString manufacturer = QStringLiteral("Unknown");
    for (const CHIP_INFO& record : qAsConst(chips)) {
        if (record.Config.FlashID[0] == id[0]) {
            manufacturer = chipManufacturer(record);
            break;
        }
    }
    CHIP_INFO record;
    if (!chipInfoFromSfdp(*sfdp, id, 3, manufacturer, QStringLiteral("SFDP-") + idText(id, 3), &record))
        return fail(tr("the chip's SFDP table describes no chip a record can hold; nothing added"));
    // The file's invalid records go back where they were: writing only the valid ones would lose
    // what the user may still mend.
    QList<CHIP_INFO> updated = chipsInFileOrder(chips, invalidChips);
    updated << record;
    QString error;
    if (!writeChipListFile(options.database, updated, &error))
        return fail(tr("cannot write %1: %2").arg(options.database, error));
    chips << record;
    say(tr("Added %1 (%2) to %3.").arg(chipName(record), geometryText(record), options.database));
    return ExitOk;
}

int CommandLine::read(const QString& path)
{
    // A device or FIFO would be replaced by a regular file: refused before the chip is read.
    QString refusal;
    if (!checkOutputFile(path, &refusal))
        return fail(refusal);
    CHIP_INFO chip;
    if (const int status = startOnChip(&chip))
        return status;
    std::uint32_t start = 0;
    std::int64_t length = 0;
    if (const int status = chipRange(chip, tr("--length 0: nothing to read"), &start, &length))
        return status;
    if (const int status = openSession(FlashOperation::Read, chip))
        return status;
    LargeBuffer buffer;
    if (!buffer.allocate(static_cast<std::size_t>(length)))
        return fail(tr("not enough memory for %1 bytes").arg(length));
    ProgressLine progress(clock, !options.quiet, err);
    progress.begin(options.twice ? tr("reading twice") : tr("reading"), options.twice ? 2 * length : length);
    const std::int64_t startNs = clock.nowNanoseconds();
    const OperationResult result =
        session->read(start, buffer.data(), static_cast<std::uint32_t>(length), progress, options.twice);
    progress.end();
    if (result.status == OperationStatus::ReadMismatch)
        return fail(tr("read failed: %1 (--speed)").arg(operationResultText(result)));
    if (!result.ok())
        return fail(tr("read failed: %1").arg(operationResultText(result)));
    const double seconds = clock.secondsSince(startNs);

    // Only a complete read replaces the file, and only once it is written whole.
    QString error;
    if (!writeImageFile(path, outputImageFormat(path, options.format), start, buffer.data(), length,
                        options.recordSize, out, &error))
        return fail(error);
    // Standard output holds the image and nothing else.
    const bool piped = isStandardOutput(path);
    print(piped ? err : out,
          (options.twice ? tr("Read %1 bytes from %2 into %3 in %4 s, the same both times.")
                         : tr("Read %1 bytes from %2 into %3 in %4 s."))
              .arg(length)
              .arg(hexAddress(start))
              .arg(piped ? tr("standard output") : path, secondsText(seconds)));
    ImageDigest digest;
    digest.add(reinterpret_cast<const char*>(buffer.data()), length);
    sayDigest(digest, piped ? err : out);
    // The file holds what the chip holds either way; a chip that holds something else fails.
    return checkDigest(digest, tr("the data read"));
}

int CommandLine::write(const QString& path)
{
    CHIP_INFO chip;
    InputImage image;
    if (const int status = checkFileDigest(path))
        return status;
    if (const int status = startOnChip(&chip))
        return status;
    if (const int status = readInputFile(path, chip, &image))
        return status;
    if (const int status = openSession(FlashOperation::Write, chip))
        return status;
    Ranges ranges;
    for (const ImageSegment& segment : image.segments)
        ranges.emplace_back(segment.start, segment.start + std::uint64_t(segment.bytes.size()));
    if (const int status = prepareChange(ranges))
        return status;
    // Only the bytes the file holds: between a record file's runs the chip keeps its contents. What
    // was sent is read back: a page program the chip ignored shows only there.
    const bool readBack = !options.noVerify;
    ProgressLine progress(clock, !options.quiet, err);
    progress.begin(readBack ? tr("writing and reading back") : tr("writing"),
                   readBack ? 2 * image.heldBytes() : image.heldBytes());
    const std::int64_t startNs = clock.nowNanoseconds();
    const OperationResult result = session->write(segmentsOf(image), progress, readBack);
    progress.end();
    if (result.status == OperationStatus::VerifyMismatch)
        return fail(tr("write failed: the chip does not hold what was written: %1 bytes differ, the first at %2")
                        .arg(result.count)
                        .arg(hexAddress(result.address)));
    if (!result.ok())
        return fail(tr("write failed: %1").arg(operationResultText(result)));
    say((readBack ? tr("Wrote %1 bytes at %2 in %3 s, read back and compared.") : tr("Wrote %1 bytes at %2 in %3 s."))
            .arg(image.heldBytes())
            .arg(hexAddress(image.start()), secondsText(clock.secondsSince(startNs))));
    sayDigest(digestOf(image), out);
    return ExitOk;
}

int CommandLine::verify(const QString& path)
{
    CHIP_INFO chip;
    InputImage image;
    if (const int status = checkFileDigest(path))
        return status;
    if (const int status = startOnChip(&chip))
        return status;
    if (const int status = readInputFile(path, chip, &image))
        return status;
    if (const int status = openSession(FlashOperation::Verify, chip))
        return status;
    // Each run is compared whole; the differences add up, the first is the lowest one.
    ProgressLine progress(clock, !options.quiet, err);
    progress.begin(tr("verifying"), image.heldBytes());
    const std::int64_t startNs = clock.nowNanoseconds();
    const OperationResult result = session->verify(segmentsOf(image), progress);
    progress.end();
    if (result.status == OperationStatus::VerifyMismatch)
        return fail(tr("verify failed: %1 bytes differ, the first at %2")
                        .arg(result.count)
                        .arg(hexAddress(result.address)));
    if (!result.ok())
        return fail(tr("verify failed: %1").arg(operationResultText(result)));
    say(tr("Verified %1 bytes at %2 in %3 s: the chip matches %4.")
            .arg(image.heldBytes())
            .arg(hexAddress(image.start()), secondsText(clock.secondsSince(startNs)), path));
    sayDigest(digestOf(image), out);
    return ExitOk;
}

int CommandLine::erase()
{
    CHIP_INFO chip;
    if (const int status = startOnChip(&chip))
        return status;
    if (options.address || options.length)
        return eraseRange(chip);
    if (const int status = openSession(FlashOperation::EraseChip, chip))
        return status;
    if (const int status = prepareChange({{0, std::max<std::uint64_t>(session->chipBytes(), 1)}}))
        return status;
    ProgressLine progress(clock, !options.quiet, err);
    progress.begin(tr("erasing the chip"), 0);
    const std::int64_t startNs = clock.nowNanoseconds();
    const OperationResult result = session->eraseChip(progress);
    progress.end();
    if (!result.ok())
        return fail(tr("erase failed: %1").arg(operationResultText(result)));
    say(tr("Erased the chip in %1 s.").arg(secondsText(clock.secondsSince(startNs))));
    return ExitOk;
}

int CommandLine::eraseRange(const CHIP_INFO& chip)
{
    std::uint32_t start = 0;
    std::int64_t length = 0;
    if (const int status = chipRange(chip, tr("--length 0: nothing to erase"), &start, &length))
        return status;
    if (const int status = openSession(FlashOperation::EraseSectors, chip))
        return status;
    // Nothing outside the range may go: a range that is not whole erase blocks is refused, with the
    // blocks that would cover it.
    const std::vector<EraseSize> sizes = session->eraseSizes();
    if (sizes.empty())
        return fail(operationResultText(operationFailure(OperationStatus::NoEraseSize)));
    const std::uint64_t unit = sizes.front().size;
    const std::uint64_t end = std::uint64_t(start) + std::uint64_t(length);
    if (start % unit != 0 || end % unit != 0)
        return fail(tr("%1-%2 is not whole %3 erase blocks; the blocks that cover it are %4-%5")
                        .arg(hexAddress(start), hexAddress(end - 1), byteSizeText(unit),
                             hexAddress(start / unit * unit),
                             hexAddress(std::min<std::uint64_t>((end + unit - 1) / unit * unit, session->chipBytes()) -
                                        1)));
    if (const int status = prepareChange({{start, end}}))
        return status;
    ProgressLine progress(clock, !options.quiet, err);
    progress.begin(tr("erasing"), length);
    const std::int64_t startNs = clock.nowNanoseconds();
    std::uint64_t erased = 0;
    const OperationResult result = session->eraseRange(start, end, progress, &erased);
    progress.end();
    if (!result.ok())
        return fail(tr("erase failed: %1; %2-%3 is erased")
                        .arg(operationResultText(result), hexAddress(start), hexAddress(start + erased - 1)));
    say(tr("Erased %1 bytes from %2 in %3 s.")
            .arg(length)
            .arg(hexAddress(start), secondsText(clock.secondsSince(startNs))));
    return ExitOk;
}

int CommandLine::eraseSectors(const QString& firstText, const QString& countText)
{
    const auto first = parseNumber(firstText);
    const auto count = parseNumber(countText);
    if (!first || !count)
        return usage(tr("erase-sectors takes two numbers, FIRST and COUNT"));
    CHIP_INFO chip;
    if (const int status = startOnChip(&chip))
        return status;
    const std::int64_t total = chipSectorCount(chip);
    if (std::int64_t(*first) + *count > total)
        return fail(tr("sectors %1 to %2 are not all inside the chip, which has %3 sectors")
                        .arg(*first)
                        .arg(std::int64_t(*first) + *count - 1)
                        .arg(total));
    if (const int status = openSession(FlashOperation::EraseSectors, chip))
        return status;
    const std::uint64_t sectorSize = std::uint64_t(std::max(chip.Config.SectorSize, 0));
    if (const int status = prepareChange({{*first * sectorSize, (std::uint64_t(*first) + *count) * sectorSize}}))
        return status;
    ProgressLine progress(clock, !options.quiet, err);
    progress.begin(tr("erasing sectors"), *count, false);
    const OperationResult result = session->eraseSectors(*first, *count, progress);
    progress.end();
    if (!result.ok())
        return fail(tr("sector erase failed: %1").arg(operationResultText(result)));
    say(tr("Erased %1 sectors of %2 bytes from sector %3.")
            .arg(*count)
            .arg(chip.Config.SectorSize)
            .arg(*first));
    return ExitOk;
}

int CommandLine::info()
{
    if (const int status = openAdapters())
        return status;
    FirmwareInfo firmware;
    const OperationResult result = readFirmwareInfo(*adapters, options.device, &firmware);
    if (!result.ok())
        return failed(result);
    const AdapterIdentity id = adapters->identity(options.device);
    const DEVICE_INFO& record = firmware.info;
    QString serial;
    for (std::uint32_t word : record.SerialNumber)
        serial += QString::asprintf("%08X", word);
    say(tr("Adapter:          %1 (%2, %3)")
            .arg(QString::fromStdString(id.name), QString::fromStdString(id.backend),
                 QString::fromStdString(id.location)));
    say(tr("Firmware name:    %1").arg(firmwareFieldText(record.FirmwareName, sizeof record.FirmwareName)));
    say(tr("Build date:       %1").arg(firmwareFieldText(record.BuildDate, sizeof record.BuildDate)));
    say(tr("Firmware version: %1").arg(firmwareVersionText(record.FirmwareVersion)));
    say(tr("Hardware version: %1").arg(firmwareVersionText(record.HardwareVersion)));
    say(tr("Serial number:    %1").arg(serial));
    say(tr("Functions:        %1").arg(firmwareFieldText(firmware.functions, kDeviceFunctionsTextSize)));
    return ExitOk;
}

int CommandLine::upgrade(const QString& path)
{
    const QFileInfo file(path);
    if (!file.exists())
        return fail(tr("cannot open %1: no such file").arg(path));
    if (!file.isFile())
        return fail(tr("%1 is not a regular file").arg(path));
    if (const int status = openAdapters())
        return status;
    ProgressLine progress(clock, !options.quiet, err);
    const OperationResult result = upgradeFirmware(*adapters, clock, options.device, path, progress);
    progress.end();
    if (!result.ok())
        return failed(result, tr("firmware upgrade failed: "));
    say(tr("The adapter's firmware was upgraded from %1 and restarted.").arg(path));
    return ExitOk;
}

int CommandLine::status()
{
    // REG=VALUE, checked before anything is touched.
    struct Set
    {
        QString name;
        std::uint8_t value;
    };
    QList<Set> sets;
    for (const QString& item : qAsConst(options.sets)) {
        const int equals = item.indexOf(QLatin1Char('='));
        const QString name = item.left(equals).trimmed().toUpper();
        const std::optional<std::uint32_t> value = parseNumber(equals > 0 ? item.mid(equals + 1) : QString());
        const bool known = name == QLatin1String("SR1") || name == QLatin1String("SR2") ||
                           name == QLatin1String("SR3") || name == QLatin1String("CR");
        if (!known || !value || *value > 0xFF)
            return usage(
                tr("--set takes REG=VALUE, REG one of SR1, SR2, SR3, VALUE a byte such as 0x1c, not \"%1\"")
                    .arg(item));
        sets << Set{name, static_cast<std::uint8_t>(*value)};
    }
    CHIP_INFO chip;
    if (const int status = startOnChip(&chip))
        return status;
    // The status instructions take no address: no 4-byte mode, as for a chip erase.
    if (const int status = openSession(FlashOperation::EraseChip, chip))
        return status;
    const FlashTarget& target = session->target();
    const StatusLayout layout = statusLayoutForChip(chip, session->sfdp());
    StatusRegisters current;
    OperationResult result = readStatusRegisters(*adapters, target, layout, layout.registerCount, &current);
    if (!result.ok())
        return fail(operationResultText(result));

    if (!sets.isEmpty()) {
        std::uint8_t wanted[kMaxStatusRegisters] = {};
        std::copy(current.values, current.values + kMaxStatusRegisters, wanted);
        for (const Set& set : qAsConst(sets)) {
            int index = -1;
            for (int i = 0; i < layout.registerCount; ++i) {
                if (set.name == QLatin1String(layout.registers[i].name))
                    index = i;
            }
            if (index < 0)
                return fail(tr("this chip has no status register %1").arg(set.name));
            const std::uint8_t mask = layout.registers[index].writableMask;
            if ((set.value ^ current.values[index]) & ~mask & (index == 0 ? 0xFC : 0xFF))
                warn(tr("%1 bits 0x%2 are not written (the chip's own, one-time or reserved)")
                         .arg(set.name)
                         .arg((set.value ^ current.values[index]) & ~mask & (index == 0 ? 0xFC : 0xFF), 2, 16,
                              QLatin1Char('0')));
            wanted[index] = set.value;
        }
        StatusRegisters after;
        result =
            writeStatusRegisters(*adapters, target, clock, current, wanted,
                                 options.volatileWrite || layout.volatileOnly ? StatusWriteKind::Volatile
                                                                              : StatusWriteKind::NonVolatile,
                                 &after);
        if (!result.ok())
            return fail(tr("status write failed: %1").arg(operationResultText(result)));
        current = after;
    }

    for (int i = 0; i < current.count; ++i)
        say(registerText(layout.registers[i], current.values[i]));
    const Protection protection = current.protection(std::uint64_t(std::max(chipSize(chip), 0)));
    say(tr("Protection: %1").arg(protectionText(layout, protection)));
    if (!layout.known())
        warn(tr("the chip's family is not known: bits 2 to 6 of SR1 are taken to protect all of it"));
    if (protection.registerLocked)
        say(tr("SRL is set: the status registers cannot be written until the chip is powered off."));
    else if (protection.registerProtect && !protection.quadEnabled)
        say(tr("SRP is set: while /WP is held low the status registers cannot be written."));
    return ExitOk;
}

int CommandLine::flash(const QString& path)
{
    CHIP_INFO chip;
    InputImage image;
    if (const int status = startOnChip(&chip))
        return status;
    if (const int status = readInputFile(path, chip, &image))
        return status;
    if (const int status = openSession(FlashOperation::Write, chip))
        return status;
    const std::vector<EraseSize> eraseSizes = session->eraseSizes();
    Ranges extents;
    for (const ImageSegment& segment : image.segments) {
        std::uint64_t from = 0;
        std::uint64_t to = 0;
        if (!smartWriteExtent(eraseSizes, session->chipBytes(), std::uint32_t(segment.start),
                              std::uint32_t(segment.bytes.size()), &from, &to))
            return fail(operationResultText(operationFailure(OperationStatus::NoEraseSize)));
        extents.emplace_back(from, to);
    }
    if (const int status = prepareChange(extents))
        return status;
    // Smart write keeps what lies outside the file's runs: the chip keeps its contents between them.
    ProgressLine progress(clock, !options.quiet, err);
    progress.begin(tr("flashing"), kSmartWriteProgressTotal, false);
    SmartWriteReport report;
    const OperationResult result = session->smartWrite(segmentsOf(image), progress, &report);
    progress.end();
    if (!result.ok()) {
        const QString damaged =
            report.damaged() ? tr("; %1-%2 is now erased or partly written: run flash again to finish")
                                   .arg(hexAddress(report.damagedFrom), hexAddress(report.damagedTo - 1))
                             : QString();
        return fail(tr("flash failed: %1").arg(operationResultText(result)) + damaged);
    }
    say(tr("Flashed %1 bytes at %2: %3 blocks erased (%4), %5 pages programmed, %6 of %1 bytes unchanged, in "
           "%7 s.")
            .arg(image.heldBytes())
            .arg(hexAddress(image.start()))
            .arg(report.blocksErased)
            .arg(byteSizeText(report.bytesErased))
            .arg(report.pagesProgrammed)
            .arg(report.bytesUnchanged)
            .arg(secondsText(static_cast<double>(report.elapsedNs) / 1e9)));
    return ExitOk;
}

int CommandLine::blankCheck()
{
    CHIP_INFO chip;
    if (const int status = startOnChip(&chip))
        return status;
    std::uint32_t start = 0;
    std::int64_t length = 0;
    if (const int status = chipRange(chip, tr("--length 0: nothing to check"), &start, &length))
        return status;
    if (const int status = openSession(FlashOperation::Read, chip))
        return status;
    ProgressLine progress(clock, !options.quiet, err);
    progress.begin(tr("checking"), length);
    const std::int64_t startNs = clock.nowNanoseconds();
    const OperationResult result = session->blankCheck(start, static_cast<std::uint32_t>(length), progress);
    progress.end();
    if (result.status == OperationStatus::NotBlank)
        return fail(tr("not blank: %1").arg(operationResultText(result)));
    if (!result.ok())
        return fail(tr("blank check failed: %1").arg(operationResultText(result)));
    say(tr("Blank: the %1 bytes from %2 are erased (checked in %3 s).")
            .arg(length)
            .arg(hexAddress(start), secondsText(clock.secondsSince(startNs))));
    return ExitOk;
}

} // namespace korvane
