#include "core/operations/smartwrite.h"

#include "core/adapter/adapterlibrary.h"
#include "core/adapter/adapterresult.h"
#include "core/base/clock.h"
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

// Progress of a piece that starts further on.
class Shifted : public OperationProgress
{
public:
    Shifted(OperationProgress& inner, std::int64_t offset) : inner(inner), offset(offset) {}
    void advanced(std::int64_t done) override { inner.advanced(offset + done); }
    void waiting() override { inner.waiting(); }

private:
    OperationProgress& inner;
    std::int64_t offset;
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

    // One pass over the extent, a chunk at a time: each unit of the smallest erase size is compared
    // with the data while it is at hand. Matching units, the rule, cost one memcmp, and nothing of
    // the chip is kept but the first and last unit, whose bytes outside the range go back after
    // an erase.
    const std::uint64_t unit = eraseSizes.front().size;
    const std::uint64_t units = (extent + unit - 1) / unit;
    const std::uint64_t chunk = unit <= kBlock ? kBlock / unit * unit : unit;
    const std::uint64_t pageSize = std::uint64_t(config.PageSize);
    const std::uint64_t rangeLo = start - from; // the data's place in the extent
    const std::uint64_t rangeHi = rangeLo + length;
    std::vector<std::uint8_t> buffer(chunk);
    std::vector<std::uint8_t> head(unit, 0xFF);
    std::vector<std::uint8_t> tail(unit, 0xFF);
    // The part of [lo, hi) inside the range, as [*a, *b).
    auto inRange = [&](std::uint64_t lo, std::uint64_t hi, std::uint64_t* a, std::uint64_t* b) {
        *a = std::max(lo, rangeLo);
        *b = std::min(hi, rangeHi);
        return *a < *b;
    };
    // The bytes the chip is to hold at [lo, hi) of the extent, into out: the data inside the range,
    // outside it what the first or last unit held.
    auto wanted = [&](std::uint64_t lo, std::uint64_t hi, std::uint8_t* out) {
        for (std::uint64_t x = lo; x < hi;) {
            std::uint64_t end = hi;
            if (x < rangeLo) {
                end = std::min(hi, rangeLo);
                std::memcpy(out + (x - lo), head.data() + x, end - x);
            } else if (x < rangeHi) {
                end = std::min(hi, rangeHi);
                std::memcpy(out + (x - lo), data + (x - rangeLo), end - x);
            } else {
                std::memcpy(out + (x - lo), tail.data() + (x - (units - 1) * unit), end - x);
            }
            x = end;
        }
    };

    std::vector<char> needErase(units);
    std::vector<std::uint64_t> changedPages; // of units that differ, where the data differs
    std::uint64_t differentBytes = 0;
    for (std::uint64_t at = 0; at < extent; at += chunk) {
        const std::uint64_t count = std::min(chunk, extent - at);
        Phase reading(progress, 0, kReadEnd, std::int64_t(extent));
        Shifted shifted(reading, std::int64_t(at));
        const OperationResult read = readFlash(adapter, target, static_cast<std::uint32_t>(from + at),
                                               buffer.data(), static_cast<std::uint32_t>(count), shifted);
        if (!read.ok())
            return read;
        for (std::uint64_t lo = at; lo < at + count; lo += unit) {
            const std::uint64_t hi = std::min(lo + unit, extent);
            const std::uint64_t u = lo / unit;
            const std::uint8_t* held = buffer.data() + (lo - at);
            if (u == 0)
                std::memcpy(head.data(), held, hi - lo);
            if (u == units - 1)
                std::memcpy(tail.data(), held, hi - lo);
            std::uint64_t a = 0;
            std::uint64_t b = 0;
            if (!inRange(lo, hi, &a, &b))
                continue;
            const std::uint8_t* was = buffer.data() + (a - at);
            const std::uint8_t* will = data + (a - rangeLo);
            if (std::memcmp(was, will, b - a) == 0)
                continue;
            needErase[u] = needsErase(was, will, b - a);
            std::uint32_t first = 0;
            differentBytes += countDifferentBytes(was, will, static_cast<std::uint32_t>(b - a), &first);
            for (std::uint64_t page = (from + lo) / pageSize * pageSize; page < from + hi; page += pageSize) {
                std::uint64_t pa = 0;
                std::uint64_t pb = 0;
                if (inRange(std::max(page, from + lo) - from, std::min(page + pageSize, from + hi) - from,
                            &pa, &pb) &&
                    std::memcmp(buffer.data() + (pa - at), data + (pa - rangeLo), pb - pa) != 0 &&
                    (changedPages.empty() || changedPages.back() != page))
                    changedPages.push_back(page);
            }
        }
    }
    done.bytesRead = extent;
    done.bytesUnchanged = length - differentBytes;

    struct Block
    {
        std::uint64_t address;
        EraseSize size;
    };
    std::vector<Block> blocks;
    std::vector<char> erased(units);
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
        const std::uint64_t span = chosen.size / unit;
        std::fill(erased.begin() + u, erased.begin() + std::min(units, u + span), 1);
        blocks.push_back(Block{address, chosen});
        u += span;
    }

    // The pages to program: in an erased unit those whose bytes are not all 0xFF, elsewhere those
    // whose data differs from what the chip holds.
    std::vector<std::uint8_t> page(pageSize);
    std::vector<std::uint64_t> pages; // addresses, ascending
    std::size_t next = 0;
    for (std::uint64_t u = 0; u < units; ++u) {
        const std::uint64_t lo = u * unit;
        const std::uint64_t hi = std::min(lo + unit, extent);
        if (!erased[u]) {
            for (; next < changedPages.size() && changedPages[next] < from + hi; ++next) {
                if (pages.empty() || pages.back() != changedPages[next])
                    pages.push_back(changedPages[next]);
            }
            continue;
        }
        // An erased unit's pages are decided by what it is to hold, not by what it held.
        while (next < changedPages.size() && changedPages[next] < from + hi)
            ++next;
        for (std::uint64_t at = (from + lo) / pageSize * pageSize; at < from + hi; at += pageSize) {
            const std::uint64_t a = std::max(at, from + lo) - from;
            const std::uint64_t b = std::min(at + pageSize, from + hi) - from;
            wanted(a, b, page.data());
            if (std::any_of(page.begin(), page.begin() + (b - a), [](std::uint8_t v) { return v != 0xFF; }) &&
                (pages.empty() || pages.back() != at))
                pages.push_back(at);
        }
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
        const OperationResult erasedNow = waitReady(block.address);
        if (!erasedNow.ok())
            return erasedNow;
        ++done.blocksErased;
        done.bytesErased += block.size.size;
        changing.advanced(++steps);
    }
    // Consecutive pages go to the adapter together, up to its largest transfer.
    std::vector<std::uint8_t> run(kBlock);
    for (std::size_t i = 0; i < pages.size();) {
        std::size_t j = i + 1;
        while (j < pages.size() && pages[j] == pages[j - 1] + pageSize &&
               std::min(pages[j] + pageSize, to) - std::max(pages[i], from) <= kBlock)
            ++j;
        const std::uint64_t lo = std::max(pages[i], from);
        const std::uint64_t hi = std::min(pages[j - 1] + pageSize, to);
        wanted(lo - from, hi - from, run.data());
        if (const int code = adapter.flashWrite(dev, sel, static_cast<std::uint32_t>(lo), run.data(),
                                                static_cast<std::uint32_t>(hi - lo)))
            return callFailed(code, lo);
        done.pagesProgrammed += static_cast<std::uint32_t>(j - i);
        steps += static_cast<std::int64_t>(j - i);
        changing.advanced(steps);
        i = j;
    }

    // Read back the whole extent when anything was changed; otherwise the first read was the
    // comparison.
    if (!blocks.empty() || !pages.empty()) {
        Phase checking(progress, kChangeEnd, kSmartWriteProgressTotal, std::int64_t(extent));
        std::vector<std::uint8_t> expected(kBlock);
        std::vector<std::uint8_t> got(kBlock);
        std::uint64_t differences = 0;
        std::uint64_t firstDifference = 0;
        for (std::uint64_t at = 0; at < extent;) {
            const std::uint32_t count =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(kBlock, extent - at));
            if (const int code =
                    adapter.flashRead(dev, sel, static_cast<std::uint32_t>(from + at), got.data(), count))
                return callFailed(code, from + at);
            wanted(at, at + count, expected.data());
            std::uint32_t first = 0;
            const std::uint64_t found = countDifferentBytes(got.data(), expected.data(), count, &first);
            if (found != 0 && differences == 0)
                firstDifference = from + at + first;
            differences += found;
            at += count;
            checking.advanced(std::int64_t(at));
        }
        done.bytesRead += extent;
        if (differences != 0) {
            done.elapsedNs = clock.nowNanoseconds() - startNs;
            *report = done;
            return OperationResult{OperationStatus::VerifyMismatch, 0, firstDifference, differences};
        }
    }
    progress.advanced(kSmartWriteProgressTotal);
    done.elapsedNs = clock.nowNanoseconds() - startNs;
    *report = done;
    return OperationResult{};
}
