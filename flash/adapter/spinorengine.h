#pragma once

#include "flash/adapter/adapterlibrary.h"

#include <array>
#include <cstdint>
#include <vector>

class Clock;

// The flash-level operations of the adapter library, written once over a single transport
// primitive: one chip-select-framed transaction that sends n bytes and then receives m.
// A backend provides the transport and the device and firmware operations.
//
// flashInit keeps the configuration and clock per handle and selector; the other flash operations
// fail (non-zero) for a handle/selector that has not been configured. Writes are split at the
// configured page boundaries, each page preceded by write enable and followed by a bounded status
// poll; erases likewise. A chip that stays busy makes the operation fail after the bound.
class SpiNorEngine : public AdapterLibrary
{
public:
    // Result codes of the flash operations (0 is success).
    enum Result : int
    {
        Ok = 0,
        ErrorArgument = -1,      // bad handle, selector, pointer or count
        ErrorNotConfigured = -2, // no flashInit for this handle and selector
        ErrorTransport = -3,     // the transaction failed (adapter not open, no chip, ...)
        ErrorTimeout = -4,       // the chip stayed busy past the bound
        ErrorConfig = -5,        // the configuration cannot serve this operation
        ErrorRange = -6,         // the range runs past the chip or past what its addresses reach
        ErrorInjected = -7,      // a test made the call fail
    };

    // How long a status poll waits for the busy bit to clear, on the clock.
    struct PollLimits
    {
        std::int64_t programTimeoutNs = 100'000'000;  // one page program
        std::int64_t eraseTimeoutNs = 10'000'000'000; // one sector erase
        std::int64_t readyTimeoutNs = 10'000'000'000; // chip still busy when an operation starts
        std::int64_t spinWindowNs = 1'000'000;        // poll without sleeping this long first
    };

    explicit SpiNorEngine(Clock& clock);
    ~SpiNorEngine() override;

    int flashInit(int handle, int selector, std::uint32_t clockHz, const SPIFlashConfig* config) override;
    int flashReadId(int handle, int selector, std::uint8_t* buffer) override;
    int flashEraseSectors(int handle, int selector, std::uint32_t firstSector, std::uint32_t count) override;
    int flashWrite(int handle, int selector, std::uint32_t address, const std::uint8_t* data,
                   std::uint32_t count) override;
    int flashRead(int handle, int selector, std::uint32_t address, std::uint8_t* buffer,
                  std::uint32_t count) override;

    void setPollLimits(const PollLimits& limits) { pollLimits = limits; }
    const PollLimits& limits() const { return pollLimits; }

    // Whether flashInit has configured this handle and selector, and with what.
    bool isConfigured(int handle, int selector) const;
    const SPIFlashConfig* configuration(int handle, int selector) const;
    std::uint32_t clockHz(int handle, int selector) const;

protected:
    // One chip-select-framed transaction: send n bytes, then receive m. 0 on success.
    virtual int transfer(int handle, int selector, const std::uint8_t* send, int sendCount,
                         std::uint8_t* receive, int receiveCount) = 0;
    // Whether the backend can configure this handle now (the adapter is open). flashInit fails
    // otherwise.
    virtual bool canConfigure(int handle) const = 0;
    // Forget the configuration of every selector of a handle (the adapter closed or restarted).
    void forgetConfiguration(int handle);

    Clock& clockSource;

private:
    struct Slot
    {
        bool configured = false;
        std::uint32_t clockHz = 0;
        SPIFlashConfig config{};
    };

    const Slot* configuredSlot(int handle, int selector) const;
    int waitReady(int handle, int selector, const Slot& slot, std::int64_t timeoutNs);
    int sendWithAddress(int handle, int selector, std::uint8_t opcode, int addressBytes,
                        std::uint32_t address, const std::uint8_t* payload, std::uint32_t payloadCount);

    std::array<std::array<Slot, kSelectorSlots>, kMaxAdapters>
        slotTable{}; // not "slots": Qt defines that word as a macro
    PollLimits pollLimits;
    std::vector<std::uint8_t> scratch; // command + address + page data, reused
};
