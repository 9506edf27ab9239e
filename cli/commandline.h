#pragma once

#include "backends/deviceaccess.h"
#include "cli/imagefile.h"
#include "core/chip/chipinfo.h"
#include "core/chip/chiplist.h"
#include "core/chip/sfdp.h"
#include "core/operations/flashoperations.h"
#include "core/operations/operationsession.h"
#include "core/operations/production.h"

#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QCommandLineParser;

namespace korvane {

class AdapterRegistry;
class Clock;
class ImageDigest;
class ProgressLine;

// Exit statuses: success, an operation that failed (a verify mismatch included), a command line
// that cannot be understood.
enum ExitStatus
{
    ExitOk = 0,
    ExitFailed = 1,
    ExitUsage = 2,
};

// korvane-spi: the program's operations from the command line, over the same core and adapters as
// the window. Results and listings go to standard output; errors, warnings, notes and the progress
// line to standard error, one line each.
class CommandLine
{
    Q_DECLARE_TR_FUNCTIONS(CommandLine)

public:
    // Messages go to out and err; the backends reach the hardware through access.
    explicit CommandLine(Clock& clock, const DeviceAccess& access = {}, std::FILE* out = stdout,
                         std::FILE* err = stderr);
    ~CommandLine();

    // Parses the arguments (argv as the application has them) and runs the command.
    int run(const QStringList& arguments);
    // Closes the output at the end: a write that failed only there (a full disk, a closed pipe)
    // turns a success into ExitFailed, with a message.
    int closeOutput(int status);

private:
    struct Options
    {
        QString adapterForm;
        QStringList adapterForms; // every --adapter given (produce runs one station per adapter)
        int device = 0;
        bool deviceGiven = false;
        int portRow = 0;
        int speedRow = 0;
        QString chip;
        QString database;
        bool databaseGiven = false; // --db; otherwise found where the window finds it
        std::optional<std::uint32_t> address;
        std::optional<std::uint32_t> length;
        bool yes = false;
        bool quiet = false;
        std::optional<ImageFormat> format; // --format; otherwise the file decides
        int recordSize = 16;
        bool recordSizeGiven = false;
        bool unprotect = false;
        bool twice = false;
        bool add = false;
        bool volatileWrite = false;
        bool noVerify = false;
        QStringList sets; // REG=VALUE
        QString sha256;   // expected, normalized; empty: none
        QString crc32;
        // produce
        int count = 0;
        bool eraseFirst = false;
        std::optional<std::uint32_t> serialAt;
        SerialFormat serialFormat = SerialFormat::Decimal;
        std::optional<int> serialSize;
        std::optional<std::uint64_t> serialStart;
        QString serialFile;
        QString logFile;
        LogFormat logFormat = LogFormat::Csv;
        bool logFormatGiven = false;
        SerialResume resume = SerialResume::Refuse;
        bool resumeGiven = false;
        bool station = false; // a station of a run in the parent process, talking through a pipe
        bool serialOptionGiven = false; // any --serial-* but --serial-at
    };
    class Questions;
    class UnitView;
    class PipeLedger;
    struct Station
    {
        QString form;
        int device = 0;
        QString name; // backend and location
    };

    int runCommand(const QString& command, const QStringList& arguments);
    // The options of produce, read and checked (cli/produce.cpp).
    int parseProductionOptions(const QCommandLineParser& parser);
    using OnlyFor = std::function<int(bool given, const char* option, QStringList commands)>;
    int checkProductionOptions(const QString& command, const OnlyFor& onlyFor);

    int listAdapters();
    int listChips(const QString& pattern);
    int detect();
    int addSfdpRecord(const std::uint8_t* id, int matches, const SfdpInfo* sfdp);
    int read(const QString& path);
    int write(const QString& path);
    int verify(const QString& path);
    int erase();
    int eraseSectors(const QString& first, const QString& count);
    int info();
    int upgrade(const QString& path);
    int status();
    int flash(const QString& path);
    int blankCheck();
    int produce(const QString& path);

    // --- produce (cli/produce.cpp)
    // Every adapter a station runs on: each one the --adapter forms find, or the one --device names.
    int findStations(std::vector<Station>* stations);
    ProductionRunSettings runSettings(const QString& imageSha) const;
    StationSettings stationSettings(const Station& station, const InputImage& image, const QString& imageSha);
    // The record for a chip's ID, as detection chooses it; false with why.
    bool recordForId(const std::uint8_t* id, CHIP_INFO* chip, QString* why);
    // Polls the station until it stops; the unit lines are said by report (null: not here).
    int runStation(ProductionStation& station, const QString& name,
                   const std::function<void(const UnitRecord&)>& report);
    int produceHere(const Station& station, const InputImage& image, const QString& imageSha);
    int produceInStations(const std::vector<Station>& stations, const QString& path, const QString& imageSha);
    int produceAsStation(const InputImage& image, const QString& imageSha);
    // Opens the run's serial file and log, saying what an interrupted run left and how it was settled.
    int openRun(ProductionRun& run, const QString& imageSha);
    void reportUnit(const UnitRecord& record, const QString& prefix);
    int produceSummary(const ProductionRun& run, bool failedOtherwise);

    std::optional<SerialPatch> serialPatch() const;
    // The names --port and --speed take for a row.
    static QString portName(int row);
    static QString speedName(int row);

    // The hashes: "SHA-256 ..." and "CRC-32 ..." lines on stream, and the check of the ones expected
    // (what names the bytes in the message).
    void sayDigest(const ImageDigest& digest, std::FILE* stream) const;
    int checkDigest(const ImageDigest& digest, const QString& what) const;
    // Before a command touches the chip: the file's bytes against --sha256 and --crc32.
    int checkFileDigest(const QString& path);
    // --length: the image's first bytes only, from its lowest address.
    int keepLength(const QString& path, InputImage* image);

    // Steps shared by the commands; each returns an exit status other than ExitOk after saying why.
    // The chip list: a warning for each invalid record (the first ten), refused when none is valid.
    int loadChips();
    // What every command on a chip starts with: the chip list, the adapters, the chip.
    int startOnChip(CHIP_INFO* chip);
    int openAdapters();
    int chooseChip(CHIP_INFO* chip);
    int chipByName(CHIP_INFO* chip);
    int chipById(CHIP_INFO* chip);
    // The operation session on the chosen chip, opened for operation: the opening steps, the ID
    // and the SFDP size checked (--yes goes on past them).
    int openSession(FlashOperation operation, const CHIP_INFO& chip);
    // Before a change of the ranges [start, end): refuses when block protection covers part of
    // one, unless --unprotect, which clears the protection first.
    using Ranges = std::vector<std::pair<std::uint64_t, std::uint64_t>>;
    int prepareChange(const Ranges& ranges);
    // The range --address and --length give inside the chip (the length defaults to the chip's
    // end); refused with nothingText when it is empty.
    int chipRange(const CHIP_INFO& chip, const QString& nothingText, std::uint32_t* start,
                  std::int64_t* length);
    // The file a command puts on the chip or compares it with, in any image format; --length keeps
    // its first bytes only.
    int readInputFile(const QString& path, const CHIP_INFO& chip, InputImage* image);
    // An erase of --address and --length with the chip's erase blocks.
    int eraseRange(const CHIP_INFO& chip);

    FlashTarget targetFor(const CHIP_INFO& chip) const;
    int fail(const QString& message) const;
    // Says why an operation failed, after prefix, and what to do about a missing permission;
    // ExitFailed.
    int failed(const OperationResult& result, const QString& prefix = QString()) const;
    // "cannot open the adapter: ..." for an adapter result code, naming the device node --adapter
    // names where that says more.
    QString openFailureText(int adapterCode) const;
    // "clocks for -s 50/25/...: 30/15/... MHz", or why that cannot be known.
    QString speedRowClocks(int index);
    int usage(const QString& message) const;
    void say(const QString& message) const;
    // A note on standard error (the chip found, the clock used), dropped by --quiet.
    void note(const QString& message) const;
    // "warning: ..." on standard error, even with --quiet.
    void warn(const QString& message) const;

    Clock& clock;
    const DeviceAccess access;
    std::FILE* const out;
    std::FILE* const err;
    mutable int outputError = 0; // errno of the first failed write to out
    Options options;
    QList<CHIP_INFO> chips;                 // the valid records of the chip list, in file order
    QList<InvalidChipRecord> invalidChips; // the others, kept for a write of the list
    std::unique_ptr<AdapterRegistry> adapters;
    std::unique_ptr<Questions> questions;
    std::unique_ptr<OperationSession> session;
};

// Parses a decimal or 0x-prefixed hexadecimal count or address of at most 32 bits.
std::optional<std::uint32_t> parseNumber(const QString& text);

} // namespace korvane
