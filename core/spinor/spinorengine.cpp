#include "core/spinor/spinorengine.h"

#include "core/adapter/adapterlibrary.h"
#include "core/adapter/adapterresult.h"
#include "core/base/clock.h"
#include "core/spinor/spinor.h"
#include "core/spinor/statuspoll.h"

#include <algorithm>
#include <cstring>

namespace korvane {

namespace {

// Polls without sleeping while the clock stands still (a clock that only moves when slept on).
constexpr int kIdleSpins = 16;
constexpr int kMaxSpins = 100000;
constexpr std::uint64_t kMiB = 1u << 20;

// A wait's end as a result: the chip ready, still busy at the bound, or the status read's failure.
int pollOutcome(PollResult result, int readFailure)
{
    switch (result) {
    case PollResult::Ready:
        return AdapterOk;
    case PollResult::Busy:
        return AdapterErrorTimeout;
    case PollResult::ReadFailed:
        break;
    }
    return readFailure;
}

bool validAddressBytes(std::uint8_t count)
{
    return count >= 1 && count <= 4;
}

// Bytes the configuration says the chip holds; 0 when the record does not say.
std::uint64_t configuredSize(const SPIFlashConfig& config)
{
    if (config.PageSize <= 0 || config.NumPages <= 0)
        return 0;
    return static_cast<std::uint64_t>(config.PageSize) * static_cast<std::uint64_t>(config.NumPages);
}

// Whether [start, start + count) lies inside the chip and inside the address reach: beyond either,
// the chip would wrap and overwrite its first bytes.
bool reachable(const SPIFlashConfig& config, std::uint64_t start, std::uint64_t count, int addressBytes)
{
    const std::uint64_t size = configuredSize(config);
    return size > 0 && start + count <= size && SpiNor::withinAddressReach(start, count, addressBytes);
}

} // namespace

std::int64_t SpiNorEngine::chipEraseFinishPolls(std::uint64_t chipSize)
{
    const std::uint64_t mebibytes = (chipSize + kMiB - 1) / kMiB;
    return std::max<std::int64_t>(kChipEraseMinimumPolls, std::int64_t(mebibytes) * kChipEraseMsPerMiB /
                                                              kChipErasePollIntervalMs);
}

int SpiNorEngine::queuedStatusReads(const SpiTransferLimits& limits, std::int64_t programNs)
{
    if (limits.statusReadNs <= 0 || programNs <= 0)
        return 1;
    // The first read reaches the chip as the program starts; the last one after its time.
    const std::int64_t reads = (programNs + limits.statusReadNs - 1) / limits.statusReadNs + 1;
    return reads > kMaxQueuedStatusReads ? 1 : static_cast<int>(reads);
}

SpiNorEngine::SpiNorEngine(Clock& clock) : clock(clock)
{
    scratch.resize(8 + kMaxFlashTransfer);
}

std::int64_t SpiNorEngine::timeoutOf(Wait wait) const
{
    switch (wait) {
    case Wait::Ready:
        break;
    case Wait::PageProgram:
        return pollLimits.programTimeoutNs;
    case Wait::SectorErase:
        return pollLimits.eraseTimeoutNs;
    case Wait::BlockErase:
        return pollLimits.blockEraseTimeoutNs;
    case Wait::StatusWrite:
        return pollLimits.statusWriteTimeoutNs;
    }
    return pollLimits.readyTimeoutNs;
}

int SpiNorEngine::fail(int code, std::uint64_t address)
{
    failedAt = address;
    return code;
}

int SpiNorEngine::command(std::uint8_t opcode, int addressBytes, std::uint32_t address,
                          const std::uint8_t* payload, std::uint32_t payloadCount)
{
    std::uint8_t* out = scratch.data();
    const int header = SpiNor::putInstruction(out, opcode, addressBytes, address);
    if (payloadCount > 0)
        std::memcpy(out + header, payload, payloadCount);
    return header + static_cast<int>(payloadCount);
}

int SpiNorEngine::waitReady(SpiTransport& transport, std::uint8_t readStatusOpcode, Wait wait,
                            const SpiNorWaitHook& hook, const std::uint8_t* firstStatus)
{
    // Poll without sleeping for a short while (operations of microseconds), then sleep 1 ms between
    // polls. Both the clock and the number of sleeps bound the wait, so a clock that does not move
    // cannot make it endless.
    const std::int64_t timeoutNs = timeoutOf(wait);
    int failure = AdapterOk;
    std::int64_t start = -1; // taken at the first wait: a chip that is ready costs no clock reading
    const std::int64_t maxSleeps = std::max<std::int64_t>((timeoutNs + 999999) / 1000000, 1);
    std::int64_t sleeps = 0;
    int spins = 0;
    bool given = firstStatus != nullptr;
    const PollResult result = pollUntilReady(
        [&](std::uint8_t* status) {
            if (given) {
                given = false;
                *status = *firstStatus;
                return true;
            }
            failure = transport.transfer(&readStatusOpcode, 1, status, 1);
            return failure == AdapterOk;
        },
        [&] {
            if (start < 0)
                start = clock.nowNanoseconds();
            const std::int64_t elapsed = clock.nowNanoseconds() - start;
            if (elapsed >= timeoutNs || sleeps >= maxSleeps)
                return false;
            if (hook)
                hook();
            if (spins < kMaxSpins && elapsed < pollLimits.spinWindowNs &&
                (spins < kIdleSpins || elapsed > 0)) {
                ++spins;
            } else {
                clock.sleep(1);
                ++sleeps;
            }
            return true;
        });
    return pollOutcome(result, failure);
}

int SpiNorEngine::startReady(SpiTransport& transport, std::uint8_t readStatusOpcode, const SpiNorWaitHook& hook)
{
    if (transport.chipKnownReady())
        return AdapterOk;
    return waitReady(transport, readStatusOpcode, Wait::Ready, hook);
}

int SpiNorEngine::pacedWait(SpiTransport& transport, std::uint8_t readStatusOpcode, std::int64_t polls,
                            const SpiNorWaitHook& hook)
{
    int failure = AdapterOk;
    // Every status read is followed by the interval, whether the chip is ready or not.
    const PollResult result = pollUntilReady(
        [&](std::uint8_t* status) {
            failure = transport.transfer(&readStatusOpcode, 1, status, 1);
            clock.sleep(kChipErasePollIntervalMs);
            return failure == AdapterOk;
        },
        [&] {
            if (hook)
                hook();
            return polls-- > 0;
        });
    return pollOutcome(result, failure);
}

int SpiNorEngine::enabledCommand(SpiTransport& transport, const SPIFlashConfig& config, std::uint8_t enable,
                                 int length, Wait wait, const SpiNorWaitHook& hook, int statusReads,
                                 int* readyAt)
{
    // Why a page program never reaches a chip still busy with the one before (a busy chip ignores
    // write enable and the program, and the page is lost without a word): write() sends a batch
    // only once a status read that came back showed the chip ready, and that read was the last frame
    // on the chip select before the batch; a chip does not turn busy by itself. The status reads in
    // a batch follow its instruction on the wire, so the first of them that shows the chip ready
    // was read after the instruction was done (the reads after it change nothing). When none shows
    // it, waitReady polls on before anything else is sent. No status read rides in front of an
    // instruction in the same batch: its answer comes back too late to hold the instruction back.
    //
    // The read between write enable and the instruction catches a write enable the chip did not
    // take (no chip answering, a dead data line), after which the instruction would be ignored in
    // silence; and a chip busy with something of its own, which is waited out and reported.
    // 50 (volatile status write enable) sets no latch, so it is not checked.
    const bool checkEnable = pollLimits.checkWriteEnable && enable != SpiNor::VolatileStatusWriteEnable;
    statusReads = std::max(statusReads, 1);
    answers.assign(static_cast<std::size_t>(statusReads) + 1, 0xFF);
    frames.clear();
    frames.push_back({&enable, 1, nullptr, 0});
    if (checkEnable)
        frames.push_back({&config.ReadStatus, 1, &answers[0], 1});
    frames.push_back({scratch.data(), length, nullptr, 0});
    for (int i = 1; i <= statusReads; ++i)
        frames.push_back({&config.ReadStatus, 1, &answers[static_cast<std::size_t>(i)], 1});
    if (const int sent = transport.transferFrames(frames.data(), static_cast<int>(frames.size())))
        return sent;
    if (checkEnable && (answers[0] & SpiNor::StatusBusy) != 0) {
        if (const int waited = waitReady(transport, config.ReadStatus, wait, hook, &answers[0]))
            return waited;
        return AdapterErrorWriteEnable;
    }
    if (checkEnable && (answers[0] & SpiNor::StatusWriteEnabled) == 0)
        return AdapterErrorWriteEnable;
    for (int i = 1; i <= statusReads; ++i) {
        if ((answers[static_cast<std::size_t>(i)] & SpiNor::StatusBusy) == 0) {
            if (readyAt)
                *readyAt = i;
            return AdapterOk;
        }
    }
    if (readyAt)
        *readyAt = 0;
    const std::uint8_t last = answers[static_cast<std::size_t>(statusReads)];
    return waitReady(transport, config.ReadStatus, wait, hook, &last);
}

int SpiNorEngine::readId(SpiTransport& transport, const SPIFlashConfig& config, std::uint8_t* buffer)
{
    if (buffer == nullptr)
        return AdapterErrorArgument;
    // The caller's buffer holds 16 bytes whatever the record claims.
    const int length = std::min<int>(config.IDLength, 16);
    return transport.transfer(&config.ReadID, 1, buffer, length);
}

int SpiNorEngine::read(SpiTransport& transport, const SPIFlashConfig& config, std::uint32_t address,
                       std::uint8_t* buffer, std::uint32_t count)
{
    if (count > 0 && buffer == nullptr)
        return AdapterErrorArgument;
    if (count == 0)
        return AdapterOk;
    if (!validAddressBytes(config.ReadDataAddrBytes))
        return AdapterErrorConfig;
    // Wrapped data would pass for the chip's upper part. Past the chip's end but within reach,
    // whatever the chip answers is passed on.
    if (!SpiNor::withinAddressReach(address, count, config.ReadDataAddrBytes))
        return fail(AdapterErrorRange, address);
    const SpiTransferLimits limits = transport.limits();
    const int header = 1 + config.ReadDataAddrBytes;
    if (header > limits.maxSend || limits.maxReceive < 1)
        return fail(AdapterErrorFrameLimit, address);
    // A chip still busy with an earlier program or erase would answer nothing but 0xFF.
    if (const int ready = startReady(transport, config.ReadStatus, {}))
        return fail(ready, address);
    // An SPI NOR chip streams its array from any address: a read too long for one frame goes as
    // several, each with the instruction again, in one batch.
    const std::uint32_t pieceSize = std::uint32_t(limits.maxReceive);
    const std::size_t pieces = (std::size_t(count) + pieceSize - 1) / pieceSize;
    answers.resize(pieces * 5);
    frames.clear();
    for (std::size_t i = 0; i < pieces; ++i) {
        const std::uint32_t done = static_cast<std::uint32_t>(i * pieceSize);
        const std::uint32_t piece = std::min(count - done, pieceSize);
        std::uint8_t* instruction = &answers[i * 5];
        SpiNor::putInstruction(instruction, config.ReadData, config.ReadDataAddrBytes, address + done);
        frames.push_back({instruction, header, buffer + done, static_cast<int>(piece)});
    }
    if (const int got = transport.transferFrames(frames.data(), static_cast<int>(frames.size())))
        return fail(got, address);
    return AdapterOk;
}

int SpiNorEngine::write(SpiTransport& transport, const SPIFlashConfig& config, std::uint32_t address,
                        const std::uint8_t* data, std::uint32_t count)
{
    if (count > kMaxFlashTransfer || (count > 0 && data == nullptr))
        return AdapterErrorArgument;
    if (count == 0)
        return AdapterOk;
    if (config.PageSize <= 0 || !validAddressBytes(config.WritePageAddrBytes))
        return AdapterErrorConfig;
    if (!reachable(config, address, count, config.WritePageAddrBytes))
        return fail(AdapterErrorRange, address);
    // A program instruction too long for the adapter goes as several, each a part of the page.
    const int header = 1 + config.WritePageAddrBytes;
    const SpiTransferLimits limits = transport.limits();
    const int room = limits.maxSend - header;
    if (room < 1)
        return fail(AdapterErrorFrameLimit, address);
    // Write enable would be ignored by a busy chip and the program with it.
    if (const int ready = startReady(transport, config.ReadStatus, {}))
        return fail(ready, address);
    // How many status reads go behind each program: from the transport's pace, then as the pages
    // show. A page whose reads all found the chip busy cost a poll: a quarter more next time. A page
    // done well before its last read: one fewer, down to one spare.
    if (limits.statusReadNs != queuedReadsPace || pollLimits.pageProgramNs != queuedReadsProgramNs) {
        queuedReadsPace = limits.statusReadNs;
        queuedReadsProgramNs = pollLimits.pageProgramNs;
        queuedReads = queuedStatusReads(limits, pollLimits.pageProgramNs);
    }
    const bool learn = queuedReads > 1;
    const std::uint32_t pageSize = static_cast<std::uint32_t>(config.PageSize);
    for (std::uint32_t done = 0; done < count;) {
        const std::uint32_t at = address + done;
        const std::uint32_t chunk =
            std::min({count - done, pageSize - at % pageSize, static_cast<std::uint32_t>(room)});
        const int length = command(config.WritePage, config.WritePageAddrBytes, at, data + done, chunk);
        int readyAt = 0;
        if (const int programmed = enabledCommand(transport, config, config.WriteEnable, length,
                                                  Wait::PageProgram, {}, queuedReads, &readyAt))
            return fail(programmed, at);
        if (learn && readyAt == 0)
            queuedReads = std::min(kMaxQueuedStatusReads, queuedReads + std::max(1, queuedReads / 4));
        else if (learn && readyAt + 1 < queuedReads)
            --queuedReads;
        done += chunk;
    }
    return AdapterOk;
}

int SpiNorEngine::eraseSectors(SpiTransport& transport, const SPIFlashConfig& config,
                               std::uint32_t firstSector, std::uint32_t count, const SpiNorWaitHook& hook)
{
    if (count == 0)
        return AdapterOk;
    if (config.SectorSize <= 0 || !validAddressBytes(config.EraseSectorAddrBytes))
        return AdapterErrorConfig;
    const std::uint64_t sectorSize = static_cast<std::uint64_t>(config.SectorSize);
    if (!reachable(config, firstSector * sectorSize, count * sectorSize, config.EraseSectorAddrBytes))
        return fail(AdapterErrorRange, firstSector * sectorSize);
    if (1 + config.EraseSectorAddrBytes > transport.limits().maxSend)
        return fail(AdapterErrorFrameLimit, firstSector * sectorSize);
    if (const int ready = startReady(transport, config.ReadStatus, hook))
        return fail(ready, firstSector * sectorSize);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t at = static_cast<std::uint32_t>((firstSector + std::uint64_t(i)) * sectorSize);
        const int length = command(config.EraseSector, config.EraseSectorAddrBytes, at, nullptr, 0);
        if (const int erased =
                enabledCommand(transport, config, config.WriteEnable, length, Wait::SectorErase, hook))
            return fail(erased, at);
    }
    return AdapterOk;
}

int SpiNorEngine::eraseBlock(SpiTransport& transport, const SPIFlashConfig& config, std::uint8_t opcode,
                             std::uint32_t size, std::uint32_t address, const SpiNorWaitHook& hook)
{
    if (size == 0 || (size & (size - 1)) != 0 || address % size != 0)
        return AdapterErrorArgument;
    if (!validAddressBytes(config.EraseSectorAddrBytes))
        return AdapterErrorConfig;
    if (!reachable(config, address, size, config.EraseSectorAddrBytes))
        return fail(AdapterErrorRange, address);
    if (1 + config.EraseSectorAddrBytes > transport.limits().maxSend)
        return fail(AdapterErrorFrameLimit, address);
    if (const int ready = startReady(transport, config.ReadStatus, hook))
        return fail(ready, address);
    const int length = command(opcode, config.EraseSectorAddrBytes, address, nullptr, 0);
    // A 4 KiB erase is a sector erase, whatever its instruction; anything larger a block erase.
    const Wait wait = size <= 4096 ? Wait::SectorErase : Wait::BlockErase;
    if (const int erased = enabledCommand(transport, config, config.WriteEnable, length, wait, hook))
        return fail(erased, address);
    return AdapterOk;
}

int SpiNorEngine::eraseChip(SpiTransport& transport, const SPIFlashConfig& config, std::uint64_t chipSize,
                            const SpiNorWaitHook& hook)
{
    if (const int ready = pacedWait(transport, config.ReadStatus, kChipEraseReadyPolls, hook))
        return fail(ready, 0);
    // A chip that never got write enable or the erase instruction must not be reported as erased.
    if (const int sent = transport.transfer(&config.WriteEnable, 1, nullptr, 0))
        return fail(sent, 0);
    if (const int sent = transport.transfer(&config.EraseChip, 1, nullptr, 0))
        return fail(sent, 0);
    if (const int erased = pacedWait(transport, config.ReadStatus, chipEraseFinishPolls(chipSize), hook))
        return fail(erased, 0);
    return AdapterOk;
}

int SpiNorEngine::readStatus(SpiTransport& transport, std::uint8_t opcode, std::uint8_t* value)
{
    return transport.transfer(&opcode, 1, value, 1);
}

int SpiNorEngine::writeStatus(SpiTransport& transport, std::uint8_t enable, const std::uint8_t* bytes,
                              int count, std::uint8_t readStatusOpcode, const SpiNorWaitHook& hook)
{
    if (count < 1 || count > 8 || bytes == nullptr)
        return AdapterErrorArgument;
    if (count > transport.limits().maxSend)
        return fail(AdapterErrorFrameLimit, 0);
    std::memcpy(scratch.data(), bytes, static_cast<std::size_t>(count));
    SPIFlashConfig config{};
    config.ReadStatus = readStatusOpcode;
    if (const int written = enabledCommand(transport, config, enable, count, Wait::StatusWrite, hook))
        return fail(written, 0);
    return AdapterOk;
}

int SpiNorEngine::enter4ByteMode(SpiTransport& transport)
{
    const std::uint8_t instruction = SpiNor::Enter4ByteMode;
    return transport.transfer(&instruction, 1, nullptr, 0);
}

int SpiNorEngine::exit4ByteMode(SpiTransport& transport)
{
    const std::uint8_t instruction = SpiNor::Exit4ByteMode;
    return transport.transfer(&instruction, 1, nullptr, 0);
}

int SpiNorEngine::readSfdp(SpiTransport& transport, std::uint32_t address, std::uint8_t* buffer, int count)
{
    constexpr int header = 1 + SpiNor::SfdpAddressBytes + SpiNor::SfdpDummyBytes;
    const SpiTransferLimits limits = transport.limits();
    if (header > limits.maxSend || limits.maxReceive < 1)
        return AdapterErrorFrameLimit;
    for (int done = 0; done < count;) {
        const int piece = std::min(count - done, limits.maxReceive);
        const std::uint32_t from = address + static_cast<std::uint32_t>(done);
        std::uint8_t instruction[header] = {};
        SpiNor::putInstruction(instruction, SpiNor::ReadSfdp, SpiNor::SfdpAddressBytes, from);
        if (const int got = transport.transfer(instruction, header, buffer + done, piece))
            return got;
        done += piece;
    }
    return AdapterOk;
}

} // namespace korvane
