#pragma once

#include "core/chip/chipinfo.h"
#include "core/operations/flashoperations.h"
#include "core/operations/operationsession.h"
#include "gui/chipsafety.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QWidget;

namespace korvane {

class AdapterLibrary;
class Clock;
struct ChipSfdp;
class ProgressDialog;
class QHexEdit;
class UserInteraction;

// Everything a flash operation needs, taken from the main window when the operation starts and
// not remembered afterwards.
struct OperationContext
{
    AdapterLibrary& adapter;
    UserInteraction& ui;
    Clock& clock;
    QWidget* window; // parent of the progress dialog and of every report
    int deviceIndex;
    int selector;
    std::uint32_t clockHz;
    int startAddress;      // read, write and verify only
    const CHIP_INFO& chip; // the main window's current chip; its config goes to flashInit

    // The buffer view: read, write and verify only.
    QHexEdit* hexEdit = nullptr;
    // Read (读出数据) reads twice and compares.
    bool readTwice = false;
    // Write (写入数据) reads the range back and compares.
    bool verifyAfterWrite = false;
    // After a read, write or verify that succeeded, before its report: the bytes read, or the
    // buffer written or compared.
    std::function<void(const QByteArray&)> succeededWith = nullptr;
};

// The per-operation texts and parameters, one row per operation. The texts are the Chinese source
// texts; operationText gives one in the window's language.
struct OperationTexts
{
    const char* progressTitle;
    const char* progressLabel;
    const char* successText;
    const char* failureText; // the operation's own error inside its work
    bool timed;              // elapsed time appended to the success text
};
const OperationTexts& operationTexts(FlashOperation operation);
QString operationText(const char* text);
// The operations beyond the five: they open the chip as write and read do.
const OperationTexts& smartWriteTexts();
const OperationTexts& blankCheckTexts();

// The warning when the system refused to open an adapter of the given backend: for USB
// programmers it names the udev rules file, for serial ports and spidev the group to join.
QString adapterAccessDeniedText(const std::string& backend = std::string());
// Whether a result failed because opening the adapter was not permitted.
bool isAccessDenied(const OperationResult& result);
// The warning when the system would not let the adapter be opened: no permission (as
// adapterAccessDeniedText says) or another program holds it; empty for any other result.
QString adapterRefusedText(const OperationResult& result, const std::string& backend);
// The warning for NoChipAnswered: the ID read, and what to check.
QString noChipAnsweredText(const OperationResult& result);

// "\n耗时: %1 秒！" with the seconds in the general format, 6 significant digits.
QString elapsedTimeSuffix(double seconds);

// "\n" and why the core says an operation failed, in the window's language; empty when it can
// say no more than the operation's own failure text.
QString failureReason(const OperationResult& result);

// The frame shared by every flash operation: the core's operation session (opening steps, ID,
// SFDP size and protection checks, asked through message boxes), the modal progress dialog, timing
// on the clock and the closing report. Lives for one operation.
class OperationFrame
{
public:
    OperationFrame(const OperationContext& context, FlashOperation operation);
    // An operation with texts of its own, opened as operation is.
    OperationFrame(const OperationContext& context, FlashOperation operation, const OperationTexts& texts);
    ~OperationFrame();
    OperationFrame(const OperationFrame&) = delete;
    OperationFrame& operator=(const OperationFrame&) = delete;

    const OperationContext& context() const { return ctx; }
    const OperationTexts& texts() const { return table; }

    // The target the window's selections describe.
    FlashTarget target() const;

    // Finds, opens and configures the adapter, enters 4-byte mode when the operation's field asks
    // for it, reads the ID and compares it, then compares the chip's SFDP size with the record's.
    // On false the user has been told why (or declined).
    bool open();
    // Before a change to [start, end), after open and before the progress dialog: the protection
    // check, asked about and cleared where the user wants. On false the user has been told why (or
    // chose to stop).
    bool prepareChange(std::uint64_t start, std::uint64_t end);
    // The session open() ran: what it read of the chip, and the operations.
    OperationSession& session() { return work; }

    // Shows the modal progress dialog with the bar range 0..maximum (0: busy indicator) and, for
    // timed operations, starts the clock.
    void startProgress(int maximum);
    // After a unit of work: lets pending events run once, then moves the bar.
    void step(int value);
    // Lets pending events run once without moving the bar (busy indicator).
    void processEvents();
    // Freezes the end time now; otherwise it is taken when the dialog has been closed.
    void stopTimer();
    double elapsedSeconds() const;

    void closeProgress();
    // Closes the dialog and reports the success text, with the elapsed time for timed operations.
    void succeed();
    // Closes the dialog and warns with the given text, or the operation's own failure text,
    // followed by the reason the result gives.
    void fail();
    void fail(const OperationResult& result);
    void fail(const QString& text);
    // A warning box with the main window as parent.
    void warn(const QString& text);

    // Turns the operation's progress into the progress dialog: the bar follows the work and
    // pending events run once per block, sector or status poll.
    OperationProgress& progressSink() { return sink; }

private:
    class Sink : public OperationProgress
    {
    public:
        explicit Sink(OperationFrame& frame) : frame(frame) {}
        void advanced(std::int64_t done) override { frame.step(static_cast<int>(done)); }
        void waiting() override { frame.processEvents(); }

    private:
        OperationFrame& frame;
    };

    const OperationContext& ctx;
    const FlashOperation operation;
    const OperationTexts& table;
    WindowQuestions questions;
    OperationSession work;
    Sink sink{*this};
    std::unique_ptr<ProgressDialog> progress;
    std::int64_t startNs = 0;
    std::int64_t endNs = 0;
    bool timerRunning = false;
};

} // namespace korvane
