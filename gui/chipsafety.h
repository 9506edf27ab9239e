#pragma once

#include "core/chip/sfdp.h"

#include <QString>

#include <cstdint>

class OperationFrame;
struct CHIP_INFO;
struct OperationContext;

// The SFDP table the window read from a chip at detection, and where: it is compared with the
// record chosen for that port before every write and erase.
struct ChipSfdp
{
    int deviceIndex = -1;
    int selector = -1;
    std::uint8_t id[3] = {};
    SfdpInfo info;

    // The table, if it was read from this port's chip and the record names the same chip.
    const SfdpInfo* forTarget(int device, int spiSelector, const CHIP_INFO& chip) const;
};

// The checks before a change to [start, end) of the chip, after the opening steps and before the
// progress dialog:
// - where SFDP (sfdp, or else what the context remembers) gives another size than the record's,
//   whether to go on;
// - the status registers that hold the protect bits are read; where protection covers part of the
//   range, whether to clear it first (yes), go on as it is (no) or stop. Clearing that fails, or
//   SRP with /WP low, is told.
// False when the operation is to stop; the user has been told why or chose so.
bool confirmChange(OperationFrame& frame, std::uint64_t start, std::uint64_t end,
                   const SfdpInfo* sfdp = nullptr);

// "8 MByte", "128 KByte", "100 Byte": a size in the words the window shows chip sizes in, exact.
QString chipSizeText(std::uint64_t bytes);
// One line about an SFDP table, as the window shows it.
QString sfdpSummary(const SfdpInfo& info);
