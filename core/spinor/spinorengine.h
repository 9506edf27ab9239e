#pragma once

#include "core/chip/chipinfo.h"
#include "core/spinor/spitransport.h"

#include <cstdint>
#include <vector>

class Clock;

// The flash-level operations, written once over a transport for any adapter: reading the ID,
// reading, page programming and sector erasing as the chip record describes them. Writes are split
// at page boundaries, each page preceded by write enable and followed by a bounded status poll;
// erases likewise. A chip that stays busy makes the operation fail after the bound, and nothing is
// sent that would wrap around the chip and land on its first bytes.
//
// Results are AdapterResult codes; a failed transfer passes the transport's own code on.
class SpiNorEngine
{
public:
    // How long a status poll waits for the busy bit to clear, on the clock.
    struct PollLimits
    {
        std::int64_t programTimeoutNs = 100'000'000;  // one page program
        std::int64_t eraseTimeoutNs = 10'000'000'000; // one sector erase
        std::int64_t readyTimeoutNs = 10'000'000'000; // chip still busy when an operation starts
        std::int64_t spinWindowNs = 1'000'000;        // poll without sleeping this long first
    };

    explicit SpiNorEngine(Clock& clock);

    void setPollLimits(const PollLimits& limits) { pollLimits = limits; }
    const PollLimits& limits() const { return pollLimits; }

    // buffer: 16 bytes; receives min(IDLength, 16) bytes of the chip's ID.
    int readId(SpiTransport& transport, const SPIFlashConfig& config, std::uint8_t* buffer);
    int read(SpiTransport& transport, const SPIFlashConfig& config, std::uint32_t address,
             std::uint8_t* buffer, std::uint32_t count);
    int write(SpiTransport& transport, const SPIFlashConfig& config, std::uint32_t address,
              const std::uint8_t* data, std::uint32_t count);
    int eraseSectors(SpiTransport& transport, const SPIFlashConfig& config, std::uint32_t firstSector,
                     std::uint32_t count);
    // Waits until the chip is not busy, at most timeoutNs on the clock.
    int waitReady(SpiTransport& transport, std::uint8_t readStatusOpcode, std::int64_t timeoutNs);

private:
    int sendWithAddress(SpiTransport& transport, std::uint8_t opcode, int addressBytes, std::uint32_t address,
                        const std::uint8_t* payload, std::uint32_t payloadCount);

    Clock& clock;
    PollLimits pollLimits;
    std::vector<std::uint8_t> scratch; // command + address + page data, reused
};
