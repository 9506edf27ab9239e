#pragma once

#include "core/chip/chipinfo.h"
#include "core/operations/flashoperations.h"
#include "core/spinor/statuslayout.h"

#include <QString>

#include <cstdint>

namespace korvane {

class AdapterLibrary;
class Clock;
struct SfdpInfo;

// Status registers and block protection, through the adapter's raw SPI transfers so that every
// backend has them. The adapter must be open and configured (openFlash).

// The layout of the record's chip (by its ID). SFDP, where read, tells a chip of no known family
// whether it has status registers 2 and 3 and whether its status writes want 50.
StatusLayout statusLayoutForChip(const CHIP_INFO& chip, const SfdpInfo* sfdp = nullptr);

// The status registers as read, in the layout's order.
struct StatusRegisters
{
    StatusLayout layout;
    std::uint8_t values[kMaxStatusRegisters] = {};
    int count = 0; // how many were read

    Protection protection(std::uint64_t chipSize) const
    {
        return protectionOf(layout, values, count, chipSize);
    }
};

// Reads the first count registers of the layout (05, 35, 15), one transfer each.
OperationResult readStatusRegisters(AdapterLibrary& adapter, const FlashTarget& target,
                                    const StatusLayout& layout, int count, StatusRegisters* out);

enum class StatusWriteKind
{
    NonVolatile, // after write enable (06): kept over power-down
    Volatile,    // after 50: until power-down, without wearing the chip
};

// Writes wanted where its writable bits differ from current: write enable (06, or 50 for a
// volatile write) before each write instruction, a wait for the chip to finish (at most
// SpiNorEngine::PollLimits::statusWriteTimeoutNs), then every
// register read back into *after. A register that did not take its value fails: StatusLocked or
// StatusWriteProtected where SRL, or SRP with /WP, explains it, StatusWriteFailed otherwise.
OperationResult writeStatusRegisters(AdapterLibrary& adapter, const FlashTarget& target, Clock& clock,
                                     const StatusRegisters& current, const std::uint8_t* wanted,
                                     StatusWriteKind kind, StatusRegisters* after);

// The registers that decide the protection of the target's chip, read.
OperationResult readProtection(AdapterLibrary& adapter, const FlashTarget& target, const StatusLayout& layout,
                               StatusRegisters* out);
// Clears the protect bits so that nothing is protected (non-volatile, unless the chip's status
// register is volatile only); *after as read back.
OperationResult clearProtection(AdapterLibrary& adapter, const FlashTarget& target, Clock& clock,
                                const StatusRegisters& before, StatusRegisters* after);

// The names of the protect bits that are set ("BP0, BP2, CMP"); empty when none is.
QString protectionBitNames(const StatusLayout& layout, const Protection& protection);
// One line of English: which bits are set and what they protect.
QString protectionText(const StatusLayout& layout, const Protection& protection);
// "128 KiB", "8 MiB", "100 bytes".
QString byteSizeText(std::uint64_t bytes);

} // namespace korvane
