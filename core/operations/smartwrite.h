#pragma once

#include "core/chip/chipinfo.h"
#include "core/operations/flashoperations.h"

#include <cstdint>
#include <vector>

class AdapterLibrary;
class Clock;
struct SfdpInfo;

// Writing only what differs: the chip's range is read first, the erase blocks whose contents must
// change and need an erase (some bit from 0 to 1) are erased with the largest erase size that fits
// them, only the pages that differ are programmed, and what was changed is read back. Bytes of an
// erased block outside the range are written back as they were: nothing outside the range changes.

struct EraseSize
{
    std::uint32_t size = 0;
    std::uint8_t opcode = 0;
};

// The erase sizes to work with, smallest first: the SFDP table's erase types, or without one the
// record's sector size and instruction. Only powers of two count; empty when there is none.
std::vector<EraseSize> smartWriteEraseSizes(const CHIP_INFO& chip, const SfdpInfo* sfdp);

// The part of the chip that is read and may be erased: the range widened to whole units of the
// smallest erase size, within the chip. False when there is no erase size or the range is empty
// or runs past the chip.
bool smartWriteExtent(const std::vector<EraseSize>& eraseSizes, std::uint64_t chipSize, std::uint32_t start,
                      std::uint32_t length, std::uint64_t* from, std::uint64_t* to);

struct SmartWriteReport
{
    std::uint32_t blocksErased = 0;
    std::uint64_t bytesErased = 0;
    std::uint32_t pagesProgrammed = 0;
    std::uint64_t bytesUnchanged = 0; // bytes of the data the chip held already
    std::uint64_t bytesRead = 0;      // the extent once, twice when something was changed
    std::int64_t elapsedNs = 0;       // on the clock, from the first read to the last
};

// Progress runs from 0 to this: reading to 300, erasing and programming to 700, reading back to the end.
constexpr std::int64_t kSmartWriteProgressTotal = 1000;
// A block erase is waited for this long at most (1 ms between polls).
constexpr int kSmartWriteErasePolls = 20000;

// The erase instruction takes the record's sector-erase address width; the adapter must be open,
// configured and in 4-byte mode where that width is 4. A read-back that differs is VerifyMismatch
// (count and first address), as is an erase or program the chip ignored.
OperationResult smartWrite(AdapterLibrary& adapter, const FlashTarget& target, Clock& clock,
                           const std::vector<EraseSize>& eraseSizes, std::uint32_t start,
                           const std::uint8_t* data, std::uint32_t length, OperationProgress& progress,
                           SmartWriteReport* report);
