#pragma once

#include "core/chip/chipinfo.h"
#include "core/formats/recordimage.h"
#include "core/operations/flashoperations.h"
#include "core/operations/operationsession.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace korvane {

class AdapterLibrary;
class Clock;

// Production runs: one unit after another on a bench, each chip programmed with the same image and,
// where asked, a serial number of its own. The front ends only render what happens here: the
// station's state machine (wait for a chip, program and verify it, wait until it is removed), the
// serial counter and its file, and the log.
//
// A serial is never handed out twice and never skipped without the user's word: it is recorded in
// the serial file as in flight before its unit is programmed, the unit's log line is on disk
// before the serial counts as used, a failed unit gives its serial back, and a serial a crash left
// in flight stops the next run until the user says whether to use it again or skip it. Only the run
// that holds the serial file's lock (FILE.lock, flock) reads or writes the file.

// How often a station asks for the chip's ID while it waits for one to come or go.
constexpr int kProductionPollMs = 200;

// How a serial number is put into the image: decimal or hexadecimal ASCII digits (zero-padded to
// the size, upper-case hex), or the number's bytes, least or most significant first.
enum class SerialFormat
{
    Decimal,
    Hex,
    LittleEndian,
    BigEndian,
};

struct SerialPatch
{
    std::uint32_t address = 0;
    SerialFormat format = SerialFormat::Decimal;
    int size = 8; // bytes
};

// "dec", "hex", "le", "be".
std::optional<SerialFormat> serialFormatFromName(const QString& name);
// The largest size a format can fill: 8 bytes of binary, 20 decimal or 16 hexadecimal digits.
int maxSerialSize(SerialFormat format);
// The size used when none is given: 4 bytes of binary, 8 digits.
int defaultSerialSize(SerialFormat format);
// The bytes value takes in patch's format and size; false when it does not fit.
bool serialBytes(std::uint64_t value, const SerialPatch& patch, QByteArray* bytes);

// What happens to serials an interrupted run left in flight.
enum class SerialResume
{
    Refuse, // the run does not start until the user chooses
    Reuse,  // they are handed out again (the interrupted boards were not kept)
    Skip,   // they are never handed out (a board may carry them)
};

enum class LogFormat
{
    Csv,       // with a header line when the file is new
    JsonLines, // one object per line
};

// One unit's outcome: what its log line holds.
struct UnitRecord
{
    int unit = 0;    // numbered from 1 in the run
    QDateTime time;  // when it ended, UTC
    QString adapter; // backend and location
    QString chipId;  // hexadecimal, as read; empty when the unit never got that far
    QString imageSha256;
    std::optional<std::uint64_t> serial;
    bool passed = false;
    QString reason; // why it failed; empty on a pass
    double seconds = 0;
};

// The log line for a unit (no line end): CSV fields or a JSON object.
QString unitLogLine(const UnitRecord& record, LogFormat format);
// A unit's record from its JSON line; false when the line is no such record.
bool unitRecordFromJson(const QByteArray& line, UnitRecord* record);
QString unitLogHeader(); // the CSV header

// Why a run cannot start or go on. Texts: productionErrorText.
struct ProductionError
{
    enum Kind
    {
        None,
        InUse,          // another run holds the serial file's lock
        CannotLock,     // the lock file cannot be made or locked (detail)
        NoCounter,      // the serial file is missing and no start value was given
        Unreadable,     // the serial file cannot be read (detail)
        Malformed,      // a line of the serial file is not understood (line)
        InFlight,       // an interrupted run left serials in flight (serials, stations)
        CannotWrite,    // the serial file cannot be written (detail); serial: the one concerned
        LogFailed,      // the log cannot be written (detail); serial: the one concerned
        SerialTooLarge, // serial does not fit the patch's format and size
        RunGone,        // a station's run (its parent process) went away
        Relayed,        // detail is the text, as another process of the run said it
    };
    Kind kind = None;
    QString path;
    QString detail;
    int line = 0;
    std::optional<std::uint64_t> serial;
    std::vector<std::pair<std::uint64_t, QString>> inFlight; // serial, station

    bool ok() const { return kind == None; }
};
// One line of English (translated in the context "Production").
QString productionErrorText(const ProductionError& error);

// The serial counter as its file holds it: the next serial never handed out, the serials handed
// out to units not finished yet (with their station), and serials given back by failed units,
// handed out again first. The file is text, one item a line ("next 1006", "in-flight 1004 STATION",
// "returned 1003"), written whole through a temporary file.
struct SerialState
{
    std::uint64_t next = 0;
    std::vector<std::pair<std::uint64_t, QString>> inFlight;
    std::vector<std::uint64_t> returned; // ascending

    // Takes the lowest returned serial, or next.
    std::uint64_t take(const QString& station);
    // A finished unit's serial: used for good, or given back.
    void settle(std::uint64_t serial, bool used);
    QByteArray text() const;
    // false and *line set for a line that is not understood.
    static bool parse(const QByteArray& text, SerialState* state, int* line);
};

// What a station asks of its run: a serial (and a unit number) before it programs a unit, and the
// unit's record afterwards. In one process the run itself; a station in a child process asks its
// parent through a pipe.
class ProductionLedger
{
public:
    struct Ticket
    {
        enum Kind
        {
            Go,
            Stop,   // enough units passed, or the run is ending
            Failed, // error says why
        };
        Kind kind = Go;
        int unit = 0;
        std::optional<std::uint64_t> serial;
        ProductionError error;
    };

    virtual ~ProductionLedger() = default;
    virtual Ticket take(const QString& station) = 0;
    // Logs the unit, then settles its serial. After a failure the serial stays in flight (the run
    // must stop: the next one asks about it).
    virtual ProductionError finish(UnitRecord& record) = 0;
    // Whether as many units as asked for have passed.
    virtual bool finished() const = 0;
};

struct ProductionRunSettings
{
    QString serialFile;                       // empty: no serials
    std::optional<std::uint64_t> serialStart; // for a new serial file
    std::optional<SerialPatch> patch;         // the serials must fit it
    SerialResume resume = SerialResume::Refuse;
    QString logFile; // empty: no log
    LogFormat logFormat = LogFormat::Csv;
    int count = 0; // units to pass; 0: until stopped
    QString imageSha256;
};

// The run in this process: the serial file (locked for the run's life), the log and the counts.
class ProductionRun : public ProductionLedger
{
public:
    ProductionRun();
    ~ProductionRun() override;
    ProductionRun(const ProductionRun&) = delete;
    ProductionRun& operator=(const ProductionRun&) = delete;

    // Locks and reads the serial file (making it when it is missing and a start value is given),
    // settles serials an interrupted run left in flight as settings.resume says (each with a log
    // line) or refuses, and opens the log. *resumed: the serials settled so.
    ProductionError open(const ProductionRunSettings& settings,
                         std::vector<std::pair<std::uint64_t, QString>>* resumed = nullptr);

    Ticket take(const QString& station) override;
    ProductionError finish(UnitRecord& record) override;
    bool finished() const override;
    // A unit whose station went away without finishing it: no longer waited for; its serial stays
    // in flight.
    void abandon();

    int passed() const { return passes; }
    int failed() const { return failures; }
    // The next serial to be handed out (the lowest returned one first); none without serials.
    std::optional<std::uint64_t> nextSerial() const;
    const ProductionRunSettings& settings() const { return config; }

private:
    ProductionError writeState(std::optional<std::uint64_t> serial);
    ProductionError appendLog(const UnitRecord& record);

    ProductionRunSettings config;
    SerialState state;
    int lockFd = -1;
    int units = 0;
    int outstanding = 0;
    int passes = 0;
    int failures = 0;
};

// --- the station

struct StationSettings
{
    int deviceIndex = 0;
    int selector = 0;
    std::uint32_t clockHz = 0;
    QString name;                    // the adapter, as the log names it
    std::vector<ImageSegment> image; // the runs of bytes to program, ascending
    QString imageSha256;
    std::optional<SerialPatch> patch;
    bool eraseFirst = false;       // erase the chip, then write; otherwise smart write
    bool unprotect = false;        // clear block protection over what changes
    bool acceptOther = false;      // go on past another ID or SFDP size (--yes)
    std::optional<CHIP_INFO> chip; // the record; none: the first unit's ID chooses it
};

// The record for a chip's ID; false with why when there is none to use.
using ChipChooser = std::function<bool(const std::uint8_t* id, CHIP_INFO* chip, QString* why)>;

enum class UnitStep
{
    Opening,
    Erasing,
    Programming,
    Verifying,
};

// Told what a unit is doing, and its progress within each step.
class StationObserver : public OperationProgress
{
public:
    virtual void unitStarted(int unit, std::optional<std::uint64_t> serial, const QString& chipId)
    {
        (void)unit, (void)serial, (void)chipId;
    }
    // total: the step's units of progress (0: no measure).
    virtual void stepStarted(UnitStep step, std::int64_t total) { (void)step, (void)total; }
    // Things worth saying that are no failure: protection cleared, an ID gone on past with --yes.
    virtual void noted(const QString& text) { (void)text; }
};

// One adapter's work. The front end calls poll() every kProductionPollMs while it waits (on its
// clock or timer); a poll that finds a chip runs the whole unit before it returns, so stopping
// between polls never stops a program or an erase half way.
class ProductionStation
{
public:
    enum class Phase
    {
        WaitingForChip,
        WaitingForRemoval,
        Stopped,
    };
    enum class Event
    {
        None,
        UnitDone, // lastUnit() holds it
        ChipGone, // waiting for the next chip
        Stopped,  // stopError() says why, when it was no request nor the count
    };

    ProductionStation(AdapterLibrary& adapter, Clock& clock, ProductionLedger& ledger,
                      const StationSettings& settings, ChipChooser chooser = {});

    Event poll(StationObserver& observer);
    // Stops at the next poll.
    void requestStop() { stopRequested = true; }

    Phase phase() const { return state; }
    const UnitRecord& lastUnit() const { return record; }
    const QString& stopError() const { return stopReason; }
    // The error the ledger gave when it failed (serial file or log): the run must end.
    const ProductionError& ledgerError() const { return ledgerFault; }

private:
    void runUnit(const std::uint8_t* id, StationObserver& observer);
    // The unit's work after its ticket: empty on a pass, else why it failed.
    QString program(const std::uint8_t* id, std::optional<std::uint64_t> serial, StationObserver& observer);
    Event stop(const QString& why);

    AdapterLibrary& adapter;
    Clock& clock;
    ProductionLedger& ledger;
    StationSettings settings;
    ChipChooser chooser;
    Phase state = Phase::WaitingForChip;
    bool stopRequested = false;
    QString lastId;     // the ID the last poll read, for the two alike a chip must give
    int quietPolls = 0; // polls in a row that found no chip
    UnitRecord record;
    QString stopReason;
    ProductionError ledgerFault;
};

// The image with a serial's bytes put at patch.address: inside a run of the image, or as a run of
// their own where the image has none. False when they would straddle a run's edge.
bool patchImage(std::vector<ImageSegment>& image, std::uint32_t address, const QByteArray& bytes);
// Whether patch can be put into image (see patchImage).
bool patchFits(const std::vector<ImageSegment>& image, const SerialPatch& patch);
// The SHA-256 of the bytes an image holds, in address order.
QString imageSha256(const std::vector<ImageSegment>& image);

} // namespace korvane
