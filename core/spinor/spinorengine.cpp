#include "core/spinor/spinorengine.h"

#include "core/adapter/adapterlibrary.h"
#include "core/adapter/adapterresult.h"
#include "core/base/clock.h"
#include "core/spinor/spinor.h"
#include "core/spinor/statuspoll.h"

#include <algorithm>
#include <cstring>

namespace {

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

// Whether [start, start + count) lies inside the chip and inside the address reach: beyond either,
// the chip would wrap and overwrite its first bytes.
bool reachable(const SPIFlashConfig& config, std::uint64_t start, std::uint64_t count, int addressBytes)
{
    const std::uint64_t size = configuredSize(config);
    return size > 0 && start + count <= size && SpiNor::withinAddressReach(start, count, addressBytes);
}

} // namespace

SpiNorEngine::SpiNorEngine(Clock& clock) : clock(clock)
{
    scratch.resize(8 + kMaxFlashTransfer);
}

int SpiNorEngine::readId(SpiTransport& transport, const SPIFlashConfig& config, std::uint8_t* buffer)
{
    if (buffer == nullptr)
        return AdapterErrorArgument;
    // The caller's buffer holds 16 bytes whatever the record claims.
    const int length = std::min<int>(config.IDLength, 16);
    return transport.transfer(&config.ReadID, 1, buffer, length);
}

int SpiNorEngine::waitReady(SpiTransport& transport, std::uint8_t readStatusOpcode, std::int64_t timeoutNs)
{
    // Poll without sleeping for a short while (operations of microseconds), then sleep 1 ms between
    // polls. Both the clock and the number of sleeps bound the wait, so a clock that does not move
    // cannot make it endless.
    int failure = AdapterOk;
    std::int64_t start = -1; // taken at the first wait: a chip that is ready costs no clock reading
    const std::int64_t maxSleeps = std::max<std::int64_t>((timeoutNs + 999999) / 1000000, 1);
    std::int64_t sleeps = 0;
    int spins = 0;
    const PollResult result = pollUntilReady(
        [&](std::uint8_t* status) {
            failure = transport.transfer(&readStatusOpcode, 1, status, 1);
            return failure == AdapterOk;
        },
        [&] {
            if (start < 0)
                start = clock.nowNanoseconds();
            const std::int64_t elapsed = clock.nowNanoseconds() - start;
            if (elapsed >= timeoutNs || sleeps >= maxSleeps)
                return false;
            if (spins < kMaxSpins && elapsed < pollLimits.spinWindowNs &&
                (spins < kIdleSpins || elapsed > 0)) {
                ++spins;
            } else {
                clock.sleep(1);
                ++sleeps;
            }
            return true;
        });
    switch (result) {
    case PollResult::Ready:
        return AdapterOk;
    case PollResult::Busy:
        return AdapterErrorTimeout;
    case PollResult::ReadFailed:
        break;
    }
    return failure;
}

int SpiNorEngine::sendWithAddress(SpiTransport& transport, std::uint8_t opcode, int addressBytes,
                                  std::uint32_t address, const std::uint8_t* payload,
                                  std::uint32_t payloadCount)
{
    std::uint8_t* out = scratch.data();
    out[0] = opcode;
    const int header = 1 + putAddress(out + 1, addressBytes, address);
    if (payloadCount > 0)
        std::memcpy(out + header, payload, payloadCount);
    return transport.transfer(out, header + static_cast<int>(payloadCount), nullptr, 0);
}

int SpiNorEngine::read(SpiTransport& transport, const SPIFlashConfig& config, std::uint32_t address,
                       std::uint8_t* buffer, std::uint32_t count)
{
    if (count > kMaxFlashTransfer || (count > 0 && buffer == nullptr))
        return AdapterErrorArgument;
    if (count == 0)
        return AdapterOk;
    if (!validAddressBytes(config.ReadDataAddrBytes))
        return AdapterErrorConfig;
    // Wrapped data would pass for the chip's upper part. Past the chip's end but within reach,
    // whatever the chip answers is passed on.
    if (!SpiNor::withinAddressReach(address, count, config.ReadDataAddrBytes))
        return AdapterErrorRange;
    // A chip still busy with an earlier program or erase would answer nothing but 0xFF.
    if (const int ready = waitReady(transport, config.ReadStatus, pollLimits.readyTimeoutNs))
        return ready;
    std::uint8_t command[5];
    command[0] = config.ReadData;
    const int header = 1 + putAddress(command + 1, config.ReadDataAddrBytes, address);
    return transport.transfer(command, header, buffer, static_cast<int>(count));
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
        return AdapterErrorRange;
    // Write enable would be ignored by a busy chip and the program with it.
    if (const int ready = waitReady(transport, config.ReadStatus, pollLimits.readyTimeoutNs))
        return ready;
    const std::uint32_t pageSize = static_cast<std::uint32_t>(config.PageSize);
    std::uint32_t done = 0;
    while (done < count) {
        const std::uint32_t at = address + done;
        const std::uint32_t chunk = std::min(count - done, pageSize - at % pageSize);
        if (const int sent = transport.transfer(&config.WriteEnable, 1, nullptr, 0))
            return sent;
        if (const int sent = sendWithAddress(transport, config.WritePage, config.WritePageAddrBytes, at,
                                             data + done, chunk))
            return sent;
        if (const int ready = waitReady(transport, config.ReadStatus, pollLimits.programTimeoutNs))
            return ready;
        done += chunk;
    }
    return AdapterOk;
}

int SpiNorEngine::eraseSectors(SpiTransport& transport, const SPIFlashConfig& config,
                               std::uint32_t firstSector, std::uint32_t count)
{
    if (count == 0)
        return AdapterOk;
    if (config.SectorSize <= 0 || !validAddressBytes(config.EraseSectorAddrBytes))
        return AdapterErrorConfig;
    const std::uint64_t sectorSize = static_cast<std::uint64_t>(config.SectorSize);
    if (!reachable(config, firstSector * sectorSize, count * sectorSize, config.EraseSectorAddrBytes))
        return AdapterErrorRange;
    if (const int ready = waitReady(transport, config.ReadStatus, pollLimits.readyTimeoutNs))
        return ready;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t at = static_cast<std::uint32_t>((firstSector + std::uint64_t(i)) * sectorSize);
        if (const int sent = transport.transfer(&config.WriteEnable, 1, nullptr, 0))
            return sent;
        if (const int sent =
                sendWithAddress(transport, config.EraseSector, config.EraseSectorAddrBytes, at, nullptr, 0))
            return sent;
        if (const int ready = waitReady(transport, config.ReadStatus, pollLimits.eraseTimeoutNs))
            return ready;
    }
    return AdapterOk;
}
