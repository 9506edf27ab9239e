#pragma once

#include "core/chip/chipinfo.h"
#include "core/operations/flashoperations.h"

#include <cstdint>
#include <vector>

namespace korvane {

class AdapterLibrary;
class Clock;
struct SfdpInfo;

// Writing only what differs. The chip is worked through one window of the largest erase size at a
// time: the window's part is read and compared with the data; the erase blocks whose contents must
// change and need an erase (some bit from 0 to 1) are erased with the largest erase size that fits
// them, each programmed right after its erase, then the pages that differ elsewhere in the window;
// a window that was changed is read back at once. So a failure (an unplugged cable, a chip that
// stops answering) leaves at most one erase block erased or half written, and the result says
// which. Bytes of an erased block that no segment holds are written back as they were: nothing
// outside the data changes.

struct EraseSize
{
    std::uint32_t size = 0;
    std::uint8_t opcode = 0;
};

// A run of bytes to put on the chip at start. A record file with gaps is several.
struct WriteSegment
{
    std::uint32_t start = 0;
    const std::uint8_t* data = nullptr;
    std::uint32_t length = 0;
};

// The erase sizes to work with, smallest first: the SFDP table's erase types, or without one the
// record's sector size and instruction. Only powers of two count; empty when there is none.
std::vector<EraseSize> smartWriteEraseSizes(const CHIP_INFO& chip, const SfdpInfo* sfdp);

// The part of the chip that may be erased: the range widened to whole units of the smallest erase
// size, within the chip. False when there is no erase size or the range is empty or runs past the
// chip.
bool smartWriteExtent(const std::vector<EraseSize>& eraseSizes, std::uint64_t chipSize, std::uint32_t start,
                      std::uint32_t length, std::uint64_t* from, std::uint64_t* to);

struct SmartWriteReport
{
    std::uint32_t blocksErased = 0;
    std::uint64_t bytesErased = 0;
    std::uint32_t pagesProgrammed = 0;
    std::uint64_t bytesUnchanged = 0; // bytes of the data the chip held already
    std::uint64_t bytesRead = 0;      // every window once, twice where something was changed
    std::int64_t elapsedNs = 0;       // on the clock, from the first read to the last
    // After a failure: the range that may now be erased or half written ([damagedFrom,
    // damagedTo), empty when the chip was left as it was or as it is to be).
    std::uint64_t damagedFrom = 0;
    std::uint64_t damagedTo = 0;
    bool damaged() const { return damagedFrom < damagedTo; }
};

// Progress runs from 0 to this.
constexpr std::int64_t kSmartWriteProgressTotal = 1000;

// The erase instruction takes the record's sector-erase address width; the adapter must be open,
// configured and in 4-byte mode where that width is 4. Segments in ascending order, not
// overlapping. A read-back that differs is VerifyMismatch (count and first address), as is an
// erase or program the chip ignored. A transfer that the adapter cannot carry (the instructions do
// not fit its largest transfer) is refused before anything is erased.
OperationResult smartWrite(AdapterLibrary& adapter, const FlashTarget& target, Clock& clock,
                           const std::vector<EraseSize>& eraseSizes, const std::vector<WriteSegment>& segments,
                           OperationProgress& progress, SmartWriteReport* report);
// One segment.
OperationResult smartWrite(AdapterLibrary& adapter, const FlashTarget& target, Clock& clock,
                           const std::vector<EraseSize>& eraseSizes, std::uint32_t start,
                           const std::uint8_t* data, std::uint32_t length, OperationProgress& progress,
                           SmartWriteReport* report);

} // namespace korvane
