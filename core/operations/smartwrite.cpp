#include "core/operations/smartwrite.h"

#include "core/adapter/adapterlibrary.h"
#include "core/adapter/adapterresult.h"
#include "core/base/clock.h"
#include "core/base/largebuffer.h"
#include "core/chip/sfdp.h"
#include "core/spinor/spinor.h"
#include "core/spinor/statuspoll.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint32_t kBlock = kMaxFlashTransfer;
constexpr std::int64_t kReadEnd = 300;
constexpr std::int64_t kChangeEnd = 700;

bool powerOfTwo(std::uint64_t value)
{
    return value != 0 && (value & (value - 1)) == 0;
}

// One phase of the work as a share of the whole.
class Phase : public OperationProgress
{
public:
    Phase(OperationProgress& inner, std::int64_t from, std::int64_t to, std::int64_t total)
        : inner(inner), from(from), span(to - from), total(std::max<std::int64_t>(total, 1))
    {
    }
    void advanced(std::int64_t done) override { inner.advanced(from + span * std::min(done, total) / total); }
    void waiting() override { inner.waiting(); }

private:
    OperationProgress& inner;
    std::int64_t from;
    std::int64_t span;
    std::int64_t total;
};

OperationResult callFailed(int code, std::uint64_t address)
{
    return operationFailure(code == AdapterErrorTimeout ? OperationStatus::Timeout
                                                        : OperationStatus::TransferFailed,
                            code, address);
}

// Whether some bit of want is 1 where old is 0: only an erase brings it back.
bool needsErase(const std::uint8_t* old, const std::uint8_t* want, std::size_t count)
{
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        std::uint64_t o;
        std::uint64_t w;
        std::memcpy(&o, old + i, 8);
        std::memcpy(&w, want + i, 8);
        if (~o & w)
            return true;
    }
    for (; i < count; ++i) {
        if (~old[i] & want[i])
            return true;
    }
    return false;
}

} // namespace

std::vector<EraseSize> smartWriteEraseSizes(const CHIP_INFO& chip, const SfdpInfo* sfdp)
{
    std::vector<EraseSize> sizes;
    if (sfdp != nullptr) {
        for (int i = 0; i < sfdp->eraseTypeCount; ++i) {
            const SfdpEraseType& type = sfdp->eraseTypes[i];
            if (powerOfTwo(type.size) && type.opcode != 0 && type.opcode != 0xFF)
                sizes.push_back(EraseSize{type.size, type.opcode});
        }
    }
    if (sizes.empty() && chip.Config.SectorSize > 0 && powerOfTwo(std::uint64_t(chip.Config.SectorSize)) &&
        chip.Config.EraseSector != 0)
        sizes.push_back(
            EraseSize{static_cast<std::uint32_t>(chip.Config.SectorSize), chip.Config.EraseSector});
    std::sort(sizes.begin(), sizes.end(),
              [](const EraseSize& a, const EraseSize& b) { return a.size < b.size; });
    // One instruction per size.
    sizes.erase(std::unique(sizes.begin(), sizes.end(),
                            [](const EraseSize& a, const EraseSize& b) { return a.size == b.size; }),
                sizes.end());
    return sizes;
}

bool smartWriteExtent(const std::vector<EraseSize>& eraseSizes, std::uint64_t chipSize, std::uint32_t start,
                      std::uint32_t length, std::uint64_t* from, std::uint64_t* to)
{
    if (eraseSizes.empty() || length == 0 || std::uint64_t(start) + length > chipSize)
        return false;
    const std::uint64_t unit = eraseSizes.front().size;
    *from = std::uint64_t(start) / unit * unit;
    *to = std::min(chipSize, (std::uint64_t(start) + length + unit - 1) / unit * unit);
    return true;
}

OperationResult smartWrite(AdapterLibrary& adapter, const FlashTarget& target, Clock& clock,
                           const std::vector<EraseSize>& eraseSizes, std::uint32_t start,
                           const std::uint8_t* data, std::uint32_t length, OperationProgress& progress,
                           SmartWriteReport* report)
{
    const std::int64_t startNs = clock.nowNanoseconds();
    SmartWriteReport done;
    *report = done;
    const SPIFlashConfig& config = target.chip.Config;
    const int dev = target.deviceIndex;
    const int sel = target.selector;
    if (length == 0 || data == nullptr)
        return operationFailure(OperationStatus::NoData);
    if (eraseSizes.empty())
        return operationFailure(OperationStatus::NoEraseSize);
    const std::int64_t chipBytes = std::int64_t{config.PageSize} * config.NumPages;
    if (config.PageSize <= 0 || chipBytes <= 0)
        return operationFailure(OperationStatus::ConfigureFailed, AdapterErrorConfig);
    std::uint64_t from = 0;
    std::uint64_t to = 0;
    if (!smartWriteExtent(eraseSizes, std::uint64_t(chipBytes), start, length, &from, &to))
        return operationFailure(OperationStatus::BeyondChip);
    const std::uint64_t extent = to - from;
    const int width = config.EraseSectorAddrBytes;
    if (width < 1 || width > 4 || !SpiNor::withinAddressReach(from, extent, width))
        return operationFailure(OperationStatus::TransferFailed, AdapterErrorRange, from);

    // What the chip holds (old) and what it is to hold (want), over the whole extent.
    LargeBuffer old;
    LargeBuffer want;
    if (!old.allocate(extent) || !want.allocate(extent))
        return operationFailure(OperationStatus::OutOfMemory);
    {
        Phase reading(progress, 0, kReadEnd, std::int64_t(extent));
        const OperationResult read = readFlash(adapter, target, static_cast<std::uint32_t>(from), old.data(),
                                               std::uint32_t(extent), reading);
        if (!read.ok())
            return read;
    }
    done.bytesRead = extent;
    std::memcpy(want.data(), old.data(), extent);
    std::memcpy(want.data() + (start - from), data, length);
    std::uint32_t firstDifference = 0;
    done.bytesUnchanged =
        length - countDifferentBytes(old.data() + (start - from), data, length, &firstDifference);

    // Units of the smallest erase size that need an erase, then the largest aligned blocks of them.
    const std::uint64_t unit = eraseSizes.front().size;
    const std::uint64_t units = (extent + unit - 1) / unit;
    std::vector<char> needErase(units);
    for (std::uint64_t u = 0; u < units; ++u) {
        const std::uint64_t at = u * unit;
        needErase[u] = needsErase(old.data() + at, want.data() + at, std::min(unit, extent - at));
    }
    struct Block
    {
        std::uint64_t address;
        EraseSize size;
    };
    std::vector<Block> blocks;
    for (std::uint64_t u = 0; u < units;) {
        if (!needErase[u]) {
            ++u;
            continue;
        }
        const std::uint64_t address = from + u * unit;
        EraseSize chosen = eraseSizes.front();
        for (auto size = eraseSizes.rbegin(); size != eraseSizes.rend(); ++size) {
            const std::uint64_t span = size->size / unit;
            if (address % size->size != 0 || u + span > units)
                continue;
            if (std::all_of(needErase.begin() + u, needErase.begin() + u + span,
                            [](char e) { return e != 0; })) {
                chosen = *size;
                break;
            }
        }
        blocks.push_back(Block{address, chosen});
        u += chosen.size / unit;
    }
    // After the erases those bytes read 0xFF: the pages to program are the ones that differ then.
    for (const Block& block : blocks) {
        const std::uint64_t lo = block.address - from;
        std::memset(old.data() + lo, 0xFF, std::min<std::uint64_t>(block.size.size, extent - lo));
    }
    const std::uint64_t pageSize = std::uint64_t(config.PageSize);
    std::vector<std::uint64_t> pages; // addresses, ascending
    for (std::uint64_t page = from / pageSize * pageSize; page < to; page += pageSize) {
        const std::uint64_t lo = std::max(page, from) - from;
        const std::uint64_t hi = std::min(page + pageSize, to) - from;
        if (std::memcmp(old.data() + lo, want.data() + lo, hi - lo) != 0)
            pages.push_back(page);
    }

    Phase changing(progress, kReadEnd, kChangeEnd, std::int64_t(blocks.size() + pages.size()));
    std::int64_t steps = 0;
    int failure = AdapterOk;
    int polls = 0;
    auto readStatus = [&](std::uint8_t* status) {
        failure = adapter.spiWriteReadBytes(dev, sel, &config.ReadStatus, 1, status, 1, 0);
        return failure == AdapterOk;
    };
    auto wait = [&] {
        changing.waiting();
        clock.sleep(1);
        return ++polls <= kSmartWriteErasePolls;
    };
    auto waitReady = [&](std::uint64_t address) {
        polls = 0;
        switch (pollUntilReady(readStatus, wait)) {
        case PollResult::Ready:
            return OperationResult{};
        case PollResult::Busy:
            return operationFailure(OperationStatus::Timeout, 0, address);
        case PollResult::ReadFailed:
            break;
        }
        return operationFailure(OperationStatus::TransferFailed, failure, address);
    };
    if (!blocks.empty()) {
        const OperationResult ready = waitReady(from);
        if (!ready.ok())
            return ready;
    }
    for (const Block& block : blocks) {
        std::uint8_t command[5] = {block.size.opcode};
        for (int i = 0; i < width; ++i)
            command[1 + i] = static_cast<std::uint8_t>(block.address >> (8 * (width - 1 - i)));
        if (const int code = adapter.spiWriteBytes(dev, sel, &config.WriteEnable, 1))
            return callFailed(code, block.address);
        if (const int code = adapter.spiWriteBytes(dev, sel, command, 1 + width))
            return callFailed(code, block.address);
        const OperationResult erased = waitReady(block.address);
        if (!erased.ok())
            return erased;
        ++done.blocksErased;
        done.bytesErased += block.size.size;
        changing.advanced(++steps);
    }
    // Consecutive pages go to the adapter together, up to its largest transfer.
    for (std::size_t i = 0; i < pages.size();) {
        std::size_t j = i + 1;
        while (j < pages.size() && pages[j] == pages[j - 1] + pageSize &&
               std::min(pages[j] + pageSize, to) - std::max(pages[i], from) <= kBlock)
            ++j;
        const std::uint64_t lo = std::max(pages[i], from);
        const std::uint64_t hi = std::min(pages[j - 1] + pageSize, to);
        if (const int code =
                adapter.flashWrite(dev, sel, static_cast<std::uint32_t>(lo), want.data() + (lo - from),
                                   static_cast<std::uint32_t>(hi - lo)))
            return callFailed(code, lo);
        done.pagesProgrammed += static_cast<std::uint32_t>(j - i);
        steps += static_cast<std::int64_t>(j - i);
        changing.advanced(steps);
        i = j;
    }

    // Read back what may have changed. When nothing was, the first read was the comparison.
    if (!blocks.empty() || !pages.empty()) {
        Phase checking(progress, kChangeEnd, kSmartWriteProgressTotal, std::int64_t(extent));
        const OperationResult verified =
            verifyFlash(adapter, target, static_cast<std::uint32_t>(from), want.data(),
                        static_cast<std::uint32_t>(extent), checking);
        done.bytesRead += extent;
        if (!verified.ok()) {
            done.elapsedNs = clock.nowNanoseconds() - startNs;
            *report = done;
            return verified;
        }
    }
    progress.advanced(kSmartWriteProgressTotal);
    done.elapsedNs = clock.nowNanoseconds() - startNs;
    *report = done;
    return OperationResult{};
}
