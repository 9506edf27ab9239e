#pragma once

#include "core/chip/chipinfo.h"
#include "core/spinor/spitransport.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace korvane {

class Clock;

// Called between status polls while the chip works on its own, so that a front end stays
// responsive during a long erase.
using SpiNorWaitHook = std::function<void()>;

// Every instruction the program sends to an SPI NOR chip, written once over a transport for any
// adapter: the ID, reading, page programming, sector, block and chip erase, the status registers,
// 4-byte mode and SFDP. Each command that makes the chip busy is followed by a wait for the busy
// bit with that command's own bound (the limit table below); a chip that stays busy makes the
// command fail with AdapterErrorTimeout. Nothing is sent that would wrap around the chip and land
// on its first bytes.
//
// Reads and page programs are split to fit the transport's largest frame; an instruction whose
// opcode and address alone do not fit is refused (AdapterErrorFrameLimit) before anything is
// sent. Write enable, a status read that checks the chip took it, the program or erase
// instruction and the status reads behind it go to the transport as one batch of frames, so an
// adapter that can queue them pays one round trip. Behind a page program the batch carries as
// many status reads as span the chip's program time at the transport's pace
// (SpiTransferLimits::statusReadNs), so that the answer normally holds the status that shows the
// page done and the next page follows without a further round trip; the count then follows what
// the pages show (more when all found the chip busy, fewer when it was done early). The pieces of a long read go
// as one batch too.
//
// Results are AdapterResult codes; a failed transfer passes the transport's own code on, and
// failedAddress() tells where the failing command was aimed.
class SpiNorEngine
{
public:
    // How long each command may keep the chip busy, on the clock.
    struct PollLimits
    {
        std::int64_t programTimeoutNs = 100'000'000;         // one page program
        std::int64_t eraseTimeoutNs = 10'000'000'000;        // one sector erase
        std::int64_t blockEraseTimeoutNs = 20'000'000'000;   // one 32 or 64 KiB block erase
        std::int64_t statusWriteTimeoutNs = 1'000'000'000;   // one status register write
        std::int64_t readyTimeoutNs = 10'000'000'000;        // chip still busy when a command starts
        std::int64_t spinWindowNs = 1'000'000;               // poll without sleeping this long first
        // The page program time the status reads queued behind a program span: typical of common
        // parts (0.7 ms for the W25Q128FV; most take 0.4 to 0.8 ms). A slower chip costs a
        // further poll per page, never a lost page.
        std::int64_t pageProgramNs = 700'000;
        // Read the status between write enable and the instruction, and fail with
        // AdapterErrorWriteEnable unless it shows the write enable latch set on a ready chip.
        bool checkWriteEnable = true;
    };
    enum class Wait
    {
        Ready,
        PageProgram,
        SectorErase,
        BlockErase,
        StatusWrite,
    };

    // Erase chip paces its polls by the chip's own slowness: a status read, then 10 ms, again and
    // again; at most kChipEraseReadyPolls further reads for the chip to be ready before the erase,
    // and chipEraseFinishPolls(size) for the erase itself.
    static constexpr int kChipErasePollIntervalMs = 10;
    static constexpr int kChipEraseReadyPolls = 30000;
    // Chips take up to 25 s a MiB by their data sheets (a 32 MiB part up to 400 s); the bound gives
    // 30 s a MiB, and never less than 60 s.
    static constexpr std::int64_t kChipEraseMinimumPolls = 6000;
    static constexpr std::int64_t kChipEraseMsPerMiB = 30000;
    static std::int64_t chipEraseFinishPolls(std::uint64_t chipSize);

    // At most this many status reads are queued behind a page program; a transport that reads them
    // faster than this many span the program time gets one, and the engine polls.
    static constexpr int kMaxQueuedStatusReads = 128;
    // How many status reads to queue behind a page program taking programNs on a transport with
    // these limits.
    static int queuedStatusReads(const SpiTransferLimits& limits, std::int64_t programNs);

    explicit SpiNorEngine(Clock& clock);

    void setPollLimits(const PollLimits& limits) { pollLimits = limits; }
    const PollLimits& limits() const { return pollLimits; }
    std::int64_t timeoutOf(Wait wait) const;

    // Where the last command that failed was aimed: the page, sector or block address.
    std::uint64_t failedAddress() const { return failedAt; }

    // buffer: 16 bytes; receives min(IDLength, 16) bytes of the chip's ID.
    static int readId(SpiTransport& transport, const SPIFlashConfig& config, std::uint8_t* buffer);
    // Reads count bytes (any count) with the record's read instruction, after the chip is ready.
    int read(SpiTransport& transport, const SPIFlashConfig& config, std::uint32_t address,
             std::uint8_t* buffer, std::uint32_t count);
    // Programs count bytes (at most kMaxFlashTransfer) page by page.
    int write(SpiTransport& transport, const SPIFlashConfig& config, std::uint32_t address,
              const std::uint8_t* data, std::uint32_t count);
    // Erases count sectors of the record's SectorSize with its sector-erase instruction.
    int eraseSectors(SpiTransport& transport, const SPIFlashConfig& config, std::uint32_t firstSector,
                     std::uint32_t count, const SpiNorWaitHook& hook = {});
    // Erases one block of size bytes (a power of two, address aligned to it) with opcode, taking
    // the record's sector-erase address width.
    int eraseBlock(SpiTransport& transport, const SPIFlashConfig& config, std::uint8_t opcode,
                   std::uint32_t size, std::uint32_t address, const SpiNorWaitHook& hook = {});
    // The chip-erase instruction, paced as said above. chipSize: 0 when unknown.
    int eraseChip(SpiTransport& transport, const SPIFlashConfig& config, std::uint64_t chipSize,
                  const SpiNorWaitHook& hook = {});

    // One status register, by its read instruction.
    static int readStatus(SpiTransport& transport, std::uint8_t opcode, std::uint8_t* value);
    // enable (06, or 50 for a volatile write), then bytes (the write instruction and its values),
    // then a wait for the chip to finish, polling with readStatus.
    int writeStatus(SpiTransport& transport, std::uint8_t enable, const std::uint8_t* bytes, int count,
                    std::uint8_t readStatusOpcode, const SpiNorWaitHook& hook = {});
    static int enter4ByteMode(SpiTransport& transport);
    static int exit4ByteMode(SpiTransport& transport);
    // count bytes of the SFDP tables from address (5A, 3-byte address, one dummy byte).
    static int readSfdp(SpiTransport& transport, std::uint32_t address, std::uint8_t* buffer, int count);

    // Waits until the chip is not busy, at most the wait's bound on the clock. firstStatus: a
    // status already read for this wait, so that it is not read again.
    int waitReady(SpiTransport& transport, std::uint8_t readStatusOpcode, Wait wait,
                  const SpiNorWaitHook& hook = {}, const std::uint8_t* firstStatus = nullptr);

private:
    // The instruction, its address and payload into the scratch buffer; its length.
    int command(std::uint8_t opcode, int addressBytes, std::uint32_t address, const std::uint8_t* payload,
                std::uint32_t payloadCount);
    // Write enable, the status read that checks it, the instruction in the scratch buffer (length
    // bytes) and statusReads status reads, as one batch; then the wait, unless one of those reads
    // already found the chip ready. *readyAt: which of them did first (from 1), 0 when none.
    int enabledCommand(SpiTransport& transport, const SPIFlashConfig& config, std::uint8_t enable, int length,
                       Wait wait, const SpiNorWaitHook& hook, int statusReads = 1, int* readyAt = nullptr);
    // Before a command: waits until the chip is ready, unless the transport knows it is.
    int startReady(SpiTransport& transport, std::uint8_t readStatusOpcode, const SpiNorWaitHook& hook);
    // Reads the status every intervalMs on the clock until the chip is ready, at most polls further
    // reads.
    int pacedWait(SpiTransport& transport, std::uint8_t readStatusOpcode, std::int64_t polls,
                  const SpiNorWaitHook& hook);
    int fail(int code, std::uint64_t address);

    Clock& clock;
    PollLimits pollLimits;
    std::uint64_t failedAt = 0;
    std::vector<std::uint8_t> scratch; // instruction + address + page data, reused
    std::vector<SpiFrame> frames;      // the batch being built, reused
    // Status reads to queue behind a page program, learnt from the pages written, and the pace and
    // program time they were first worked out from.
    int queuedReads = 1;
    std::int64_t queuedReadsPace = -1;
    std::int64_t queuedReadsProgramNs = -1;
    std::vector<std::uint8_t> answers; // its status answers, or its read instructions
};

} // namespace korvane
