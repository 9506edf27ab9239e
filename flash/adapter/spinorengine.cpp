#include "flash/adapter/spinorengine.h"

#include "common/clock.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint8_t kStatusBusy = 0x01;
// Polls without sleeping while the clock stands still (a clock that only moves when slept on).
constexpr int kIdleSpins = 16;
constexpr int kMaxSpins = 100000;

bool validAddressBytes(std::uint8_t count)
{
    return count >= 1 && count <= 4;
}

int putAddress(std::uint8_t* out, int count, std::uint32_t address)
{
    for (int i = 0; i < count; ++i)
        out[i] = static_cast<std::uint8_t>(address >> (8 * (count - 1 - i)));
    return count;
}

// Bytes the configuration says the chip holds; 0 when the record does not say.
std::uint64_t configuredSize(const SPIFlashConfig& config)
{
    if (config.PageSize <= 0 || config.NumPages <= 0)
        return 0;
    return static_cast<std::uint64_t>(config.PageSize) * static_cast<std::uint64_t>(config.NumPages);
}

// Whether [start, start + count) lies inside what the address width can reach: beyond it the chip
// wraps around to its first bytes.
bool withinAddressReach(std::uint64_t start, std::uint64_t count, int addressBytes)
{
    return start + count <= std::uint64_t(1) << (8 * addressBytes);
}

// Whether [start, start + count) lies inside the chip and inside the address reach: beyond either,
// the chip would wrap and overwrite its first bytes.
bool reachable(const SPIFlashConfig& config, std::uint64_t start, std::uint64_t count, int addressBytes)
{
    const std::uint64_t size = configuredSize(config);
    return size > 0 && start + count <= size && withinAddressReach(start, count, addressBytes);
}

} // namespace

SpiNorEngine::SpiNorEngine(Clock& clock) : clockSource(clock)
{
    scratch.resize(8 + kMaxFlashTransfer);
}

SpiNorEngine::~SpiNorEngine() = default;

const SpiNorEngine::Slot* SpiNorEngine::configuredSlot(int handle, int selector) const
{
    const int slot = selectorSlot(selector);
    if (handle < 0 || handle >= kMaxAdapters || slot < 0)
        return nullptr;
    const Slot& entry = slotTable[static_cast<std::size_t>(handle)][static_cast<std::size_t>(slot)];
    return entry.configured ? &entry : nullptr;
}

bool SpiNorEngine::isConfigured(int handle, int selector) const
{
    return configuredSlot(handle, selector) != nullptr;
}

const SPIFlashConfig* SpiNorEngine::configuration(int handle, int selector) const
{
    const Slot* slot = configuredSlot(handle, selector);
    return slot ? &slot->config : nullptr;
}

std::uint32_t SpiNorEngine::clockHz(int handle, int selector) const
{
    const Slot* slot = configuredSlot(handle, selector);
    return slot ? slot->clockHz : 0;
}

void SpiNorEngine::forgetConfiguration(int handle)
{
    if (handle < 0 || handle >= kMaxAdapters)
        return;
    for (Slot& slot : slotTable[static_cast<std::size_t>(handle)])
        slot = Slot{};
}

int SpiNorEngine::flashInit(int handle, int selector, std::uint32_t clockHz, const SPIFlashConfig* config)
{
    const int slot = selectorSlot(selector);
    if (handle < 0 || handle >= kMaxAdapters || slot < 0 || config == nullptr || clockHz == 0)
        return ErrorArgument;
    if (!canConfigure(handle))
        return ErrorTransport;
    Slot& entry = slotTable[static_cast<std::size_t>(handle)][static_cast<std::size_t>(slot)];
    entry.configured = true;
    entry.clockHz = clockHz;
    entry.config = *config;
    return Ok;
}

int SpiNorEngine::flashReadId(int handle, int selector, std::uint8_t* buffer)
{
    const Slot* slot = configuredSlot(handle, selector);
    if (slot == nullptr)
        return ErrorNotConfigured;
    if (buffer == nullptr)
        return ErrorArgument;
    // The caller's buffer holds 16 bytes whatever the record claims.
    const int length = std::min<int>(slot->config.IDLength, 16);
    const std::uint8_t opcode = slot->config.ReadID;
    return transfer(handle, selector, &opcode, 1, buffer, length) == 0 ? Ok : ErrorTransport;
}

int SpiNorEngine::waitReady(int handle, int selector, const Slot& slot, std::int64_t timeoutNs)
{
    const std::uint8_t opcode = slot.config.ReadStatus;
    std::uint8_t status = 0xFF;
    if (transfer(handle, selector, &opcode, 1, &status, 1) != 0)
        return ErrorTransport;
    if ((status & kStatusBusy) == 0)
        return Ok;

    // Poll without sleeping for a short while (operations of microseconds), then sleep 1 ms between
    // polls. Both the clock and the number of sleeps bound the wait, so a clock that does not move
    // cannot make it endless.
    const std::int64_t start = clockSource.nowNanoseconds();
    const std::int64_t maxSleeps = std::max<std::int64_t>((timeoutNs + 999999) / 1000000, 1);
    std::int64_t sleeps = 0;
    int spins = 0;
    for (;;) {
        const std::int64_t elapsed = clockSource.nowNanoseconds() - start;
        if (elapsed >= timeoutNs || sleeps >= maxSleeps)
            return ErrorTimeout;
        if (spins < kMaxSpins && elapsed < pollLimits.spinWindowNs && (spins < kIdleSpins || elapsed > 0)) {
            ++spins;
        } else {
            clockSource.sleep(1);
            ++sleeps;
        }
        status = 0xFF;
        if (transfer(handle, selector, &opcode, 1, &status, 1) != 0)
            return ErrorTransport;
        if ((status & kStatusBusy) == 0)
            return Ok;
    }
}

int SpiNorEngine::sendWithAddress(int handle, int selector, std::uint8_t opcode, int addressBytes,
                                  std::uint32_t address, const std::uint8_t* payload,
                                  std::uint32_t payloadCount)
{
    std::uint8_t* out = scratch.data();
    out[0] = opcode;
    const int header = 1 + putAddress(out + 1, addressBytes, address);
    if (payloadCount > 0)
        std::memcpy(out + header, payload, payloadCount);
    return transfer(handle, selector, out, header + static_cast<int>(payloadCount), nullptr, 0);
}

int SpiNorEngine::flashRead(int handle, int selector, std::uint32_t address, std::uint8_t* buffer,
                            std::uint32_t count)
{
    const Slot* slot = configuredSlot(handle, selector);
    if (slot == nullptr)
        return ErrorNotConfigured;
    if (count > kMaxFlashTransfer || (count > 0 && buffer == nullptr))
        return ErrorArgument;
    if (count == 0)
        return Ok;
    const SPIFlashConfig& config = slot->config;
    if (!validAddressBytes(config.ReadDataAddrBytes))
        return ErrorConfig;
    // Wrapped data would pass for the chip's upper part. Past the chip's end but within reach,
    // whatever the chip answers is passed on.
    if (!withinAddressReach(address, count, config.ReadDataAddrBytes))
        return ErrorRange;
    // A chip still busy with an earlier program or erase would answer nothing but 0xFF.
    if (const int ready = waitReady(handle, selector, *slot, pollLimits.readyTimeoutNs))
        return ready;
    std::uint8_t command[5];
    command[0] = config.ReadData;
    const int header = 1 + putAddress(command + 1, config.ReadDataAddrBytes, address);
    return transfer(handle, selector, command, header, buffer, static_cast<int>(count)) == 0 ? Ok
                                                                                             : ErrorTransport;
}

int SpiNorEngine::flashWrite(int handle, int selector, std::uint32_t address, const std::uint8_t* data,
                             std::uint32_t count)
{
    const Slot* slot = configuredSlot(handle, selector);
    if (slot == nullptr)
        return ErrorNotConfigured;
    if (count > kMaxFlashTransfer || (count > 0 && data == nullptr))
        return ErrorArgument;
    if (count == 0)
        return Ok;
    const SPIFlashConfig& config = slot->config;
    if (config.PageSize <= 0 || !validAddressBytes(config.WritePageAddrBytes))
        return ErrorConfig;
    if (!reachable(config, address, count, config.WritePageAddrBytes))
        return ErrorRange;
    // Write enable would be ignored by a busy chip and the program with it.
    if (const int ready = waitReady(handle, selector, *slot, pollLimits.readyTimeoutNs))
        return ready;
    const std::uint32_t pageSize = static_cast<std::uint32_t>(config.PageSize);
    std::uint32_t done = 0;
    while (done < count) {
        const std::uint32_t at = address + done;
        const std::uint32_t chunk = std::min(count - done, pageSize - at % pageSize);
        if (transfer(handle, selector, &config.WriteEnable, 1, nullptr, 0) != 0)
            return ErrorTransport;
        if (sendWithAddress(handle, selector, config.WritePage, config.WritePageAddrBytes, at, data + done,
                            chunk) != 0)
            return ErrorTransport;
        if (const int ready = waitReady(handle, selector, *slot, pollLimits.programTimeoutNs))
            return ready;
        done += chunk;
    }
    return Ok;
}

int SpiNorEngine::flashEraseSectors(int handle, int selector, std::uint32_t firstSector, std::uint32_t count)
{
    const Slot* slot = configuredSlot(handle, selector);
    if (slot == nullptr)
        return ErrorNotConfigured;
    if (count == 0)
        return Ok;
    const SPIFlashConfig& config = slot->config;
    if (config.SectorSize <= 0 || !validAddressBytes(config.EraseSectorAddrBytes))
        return ErrorConfig;
    const std::uint64_t sectorSize = static_cast<std::uint64_t>(config.SectorSize);
    if (!reachable(config, firstSector * sectorSize, count * sectorSize, config.EraseSectorAddrBytes))
        return ErrorRange;
    if (const int ready = waitReady(handle, selector, *slot, pollLimits.readyTimeoutNs))
        return ready;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t at = static_cast<std::uint32_t>((firstSector + std::uint64_t(i)) * sectorSize);
        if (transfer(handle, selector, &config.WriteEnable, 1, nullptr, 0) != 0)
            return ErrorTransport;
        if (sendWithAddress(handle, selector, config.EraseSector, config.EraseSectorAddrBytes, at, nullptr,
                            0) != 0)
            return ErrorTransport;
        if (const int ready = waitReady(handle, selector, *slot, pollLimits.eraseTimeoutNs))
            return ready;
    }
    return Ok;
}
