#pragma once

#include <QTemporaryDir>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace korvane {
}
using namespace korvane;

namespace korvane {
class SimulatedChip;
}
// What an emulated serprog firmware has and says about itself.
struct SerprogFirmware
{
    std::string name = "emulated";
    std::uint16_t interfaceVersion = 1;
    // The commands its map lists (0x00..0x05, 0x08, 0x10..0x16 by default).
    std::set<std::uint8_t> commands = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x08,
                                       0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16};
    std::uint16_t serialBuffer = 4096;
    std::uint32_t writeMax = 0; // 0: 2^24, as the protocol says
    std::uint32_t readMax = 4096;
    std::uint8_t busTypes = 0x08; // SPI
    int chipSelects = 2;          // S_SPI_CS takes 0..chipSelects-1
    // The clocks it can run, fastest first; S_SPI_FREQ picks the fastest not above the request.
    std::vector<std::uint32_t> clocks = {32000000, 16000000, 8000000, 4000000,
                                         2000000,  1000000,  500000,  250000};
};

// A serprog firmware on the far side of a pseudo-terminal, driving simulated chips: the backend
// opens devicePath() as it would /dev/ttyACM0 and goes through the kernel's tty layer. The
// firmware runs on a thread of its own. It answers as the protocol says, and is strict: whatever a
// correct host never sends (a command outside the map or before the map was read, an O_SPIOP past
// the length limits or with the pins off, more bytes ahead than the serial buffer holds, a zero
// clock) is noted in violations(), which a test must find empty.
class SerprogEmulator
{
public:
    enum class Failure
    {
        Gone,   // the device disappears: the tty hangs up and its node is removed
        Silent, // reads on but never answers again
        Nak,    // answers every O_SPIOP with NAK
    };

    explicit SerprogEmulator(const SerprogFirmware& firmware = SerprogFirmware());
    ~SerprogEmulator();

    // A path (a symbolic link to the pseudo-terminal) that stays the same across mend().
    std::string devicePath() const;
    // The chip behind a chip select (not owned; null: nothing answers, MISO reads 0xFF).
    void attachChip(int chipSelect, SimulatedChip* chip);

    // After the given number of further O_SPIOPs (0: from the next one on).
    void failAfter(int operations, Failure how);
    // Back as new: a device (a fresh pseudo-terminal behind the same path after Gone) that answers.
    void mend();

    // Models the link in real time (benchmarks): bytes take 10 bits each way at baud, an SPI
    // operation (slen + rlen) x 8 clocks, and bytes the host sends after the line towards the
    // firmware fell idle reach it latencyUs later (the round trip of a USB serial link); bytes sent
    // behind others follow them.
    void setLinkModel(int baud, int latencyUs);
    // With the link model on: called on the firmware's thread before each O_SPIOP reaches the chip,
    // with the steady-clock time the model says it ends (chip select rises); a benchmark runs the
    // chips on that time.
    std::function<void(std::int64_t ns)> onOperation;

    // Bytes for the firmware to find in front of the next command, as if the host had left a
    // command unfinished.
    void injectInput(const std::vector<std::uint8_t>& bytes);
    // Bytes sent unasked, ahead of the next answer.
    void injectOutput(const std::vector<std::uint8_t>& bytes);

    // When set, each O_SPIOP appends the bytes it sends (a chip-select frame's bytes out).
    void setFrameLog(std::vector<std::vector<std::uint8_t>>* log);

    std::vector<std::string> violations() const;
    // Every command byte the firmware acted on, in order.
    std::vector<std::uint8_t> commandLog() const;
    int spiOperations() const;
    int currentChipSelect() const;
    std::uint32_t clockHz() const;
    bool pinsEnabled() const;
    // The most request bytes that were waiting at once, beyond the one being taken in.
    std::size_t mostBytesAhead() const;

private:
    void start();
    void stop();
    void run();
    bool openPty();
    void closePty();
    // Handles every complete command at the front of input; false when the device went away.
    bool handleInput();
    // The length of the command at the front of input, or 0 while it is incomplete.
    std::size_t commandLength() const;
    // When the link model starts the command being handled.
    std::int64_t operationStart() const;
    // Queues the answer to the command being handled, due when the link model says.
    bool answer(const std::vector<std::uint8_t>& bytes, std::size_t spiBytes = 0);
    void violation(const std::string& text);

    const SerprogFirmware firmware;
    QTemporaryDir directory;
    std::string linkPath;
    int master = -1;
    int slaveKeeper = -1; // keeps the tty open, so the master never sees a hang-up between hosts
    std::thread worker;
    std::atomic<bool> stopping{false};

    mutable std::mutex mutex; // guards everything below
    std::map<int, SimulatedChip*> chips;
    struct Answer
    {
        std::int64_t dueNs = 0;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<std::uint8_t> input;
    std::deque<std::pair<std::size_t, std::int64_t>> arrivals; // end of each chunk in input, its arrival
    std::deque<Answer> output;
    std::vector<std::string> problems;
    std::vector<std::uint8_t> log;
    std::vector<std::vector<std::uint8_t>>* frames = nullptr;
    int operationsLeft = -1;
    Failure failure = Failure::Gone;
    bool failing = false;
    bool mapRead = false;
    bool busSet = false;
    bool pins = false;
    int chipSelect = 0;
    std::uint32_t clock = 0;
    int operations = 0;
    std::size_t mostAhead = 0;

    // Link model (0 baud: off), in nanoseconds of the steady clock.
    int modelBaud = 0;
    std::int64_t modelLatencyNs = 0;
    std::int64_t inboundFreeNs = 0;    // the line towards the firmware is busy until then
    std::int64_t outboundFreeNs = 0;   // the line towards the host
    std::int64_t firmwareFreeNs = 0;   // done with the commands before
    std::int64_t commandArrivedNs = 0; // the command being handled
};
