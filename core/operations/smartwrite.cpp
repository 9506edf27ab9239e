#include "core/operations/smartwrite.h"

#include "core/adapter/adapterlibrary.h"
#include "core/adapter/adapterresult.h"
#include "core/base/clock.h"
#include "core/chip/sfdp.h"
#include "core/spinor/librarytransport.h"
#include "core/spinor/spinor.h"
#include "core/spinor/spinorengine.h"

#include <algorithm>
#include <cstring>

namespace korvane {

namespace {

constexpr std::uint32_t kBlock = kMaxFlashTransfer;

bool powerOfTwo(std::uint64_t value)
{
    return value != 0 && (value & (value - 1)) == 0;
}

// Passes waiting on, so the front end stays responsive; the window's own progress counts.
class Relay : public OperationProgress
{
public:
    explicit Relay(OperationProgress& inner) : inner(inner) {}
    void waiting() override { inner.waiting(); }

private:
    OperationProgress& inner;
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
    return smartWrite(adapter, target, clock, eraseSizes, {WriteSegment{start, data, length}}, progress,
                      report);
}

OperationResult smartWrite(AdapterLibrary& adapter, const FlashTarget& target, Clock& clock,
                           const std::vector<EraseSize>& eraseSizes, const std::vector<WriteSegment>& segments,
                           OperationProgress& progress, SmartWriteReport* report)
{
    const std::int64_t startNs = clock.nowNanoseconds();
    SmartWriteReport done;
    *report = done;
    const SPIFlashConfig& config = target.chip.Config;
    const int dev = target.deviceIndex;
    const int sel = target.selector;
    std::uint64_t dataBytes = 0;
    for (const WriteSegment& segment : segments) {
        if (segment.length == 0 || segment.data == nullptr)
            return operationFailure(OperationStatus::NoData);
        dataBytes += segment.length;
    }
    if (segments.empty())
        return operationFailure(OperationStatus::NoData);
    if (eraseSizes.empty())
        return operationFailure(OperationStatus::NoEraseSize);
    const std::int64_t chipBytes = std::int64_t{config.PageSize} * config.NumPages;
    if (config.PageSize <= 0 || chipBytes <= 0)
        return operationFailure(OperationStatus::ConfigureFailed, AdapterErrorConfig);
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const std::uint64_t end = std::uint64_t(segments[i].start) + segments[i].length;
        if (end > std::uint64_t(chipBytes) || (i + 1 < segments.size() && end > segments[i + 1].start))
            return operationFailure(OperationStatus::BeyondChip);
    }
    const std::uint64_t unit = eraseSizes.front().size;
    const std::uint64_t window = std::max<std::uint64_t>(eraseSizes.back().size, unit);
    const std::uint64_t from = segments.front().start / unit * unit;
    const std::uint64_t to =
        std::min<std::uint64_t>(std::uint64_t(chipBytes), (std::uint64_t(segments.back().start) +
                                                           segments.back().length + unit - 1) / unit * unit);
    const int width = config.EraseSectorAddrBytes;
    if (width < 1 || width > 4 || !SpiNor::withinAddressReach(from, to - from, width))
        return operationFailure(OperationStatus::TransferFailed, AdapterErrorRange, from);
    // Every instruction must fit the adapter's largest transfer before the first erase: a limit
    // found half way would leave a block erased and nothing programmed.
    LibraryTransport transport(adapter, dev, sel);
    const SpiTransferLimits limits = transport.limits();
    if (1 + width > limits.maxSend || 2 + config.WritePageAddrBytes > limits.maxSend ||
        1 + config.ReadDataAddrBytes > limits.maxSend || limits.maxReceive < 1)
        return operationFailure(OperationStatus::TransferFailed, AdapterErrorFrameLimit, from);
    SpiNorEngine engine(clock);
    const SpiNorWaitHook hook = [&progress] { progress.waiting(); };
    Relay relay(progress);
    const std::uint64_t pageSize = std::uint64_t(config.PageSize);

    // The windows that hold data, ascending.
    std::vector<std::uint64_t> windows;
    for (const WriteSegment& segment : segments) {
        for (std::uint64_t w = segment.start / window; w <= (std::uint64_t(segment.start) + segment.length - 1) / window;
             ++w) {
            if (windows.empty() || windows.back() < w)
                windows.push_back(w);
        }
    }

    std::vector<std::uint8_t> held(window);
    std::vector<std::uint8_t> wanted(window);
    std::uint64_t differentBytes = 0;
    std::size_t firstSegment = 0;
    auto finish = [&](const OperationResult& result) {
        done.bytesUnchanged = dataBytes - differentBytes;
        done.elapsedNs = clock.nowNanoseconds() - startNs;
        *report = done;
        return result;
    };
    auto damage = [&](std::uint64_t lo, std::uint64_t hi) {
        done.damagedFrom = lo;
        done.damagedTo = hi;
    };

    for (std::size_t n = 0; n < windows.size(); ++n) {
        const std::uint64_t base = windows[n] * window;
        const std::uint64_t limit = std::min(base + window, std::uint64_t(chipBytes));
        while (std::uint64_t(segments[firstSegment].start) + segments[firstSegment].length <= base)
            ++firstSegment;
        // The units of the window that hold data.
        const std::uint64_t lo = std::max<std::uint64_t>(base, segments[firstSegment].start) / unit * unit;
        std::uint64_t last = lo;
        for (std::size_t i = firstSegment; i < segments.size() && segments[i].start < limit; ++i)
            last = std::min(limit, std::uint64_t(segments[i].start) + segments[i].length);
        const std::uint64_t hi = std::min(limit, (last + unit - 1) / unit * unit);
        const std::uint64_t span = hi - lo;

        const OperationResult read = readFlash(adapter, target, static_cast<std::uint32_t>(lo), held.data(),
                                               static_cast<std::uint32_t>(span), relay);
        if (!read.ok())
            return finish(read);
        done.bytesRead += span;
        std::memcpy(wanted.data(), held.data(), span);
        for (std::size_t i = firstSegment; i < segments.size() && segments[i].start < hi; ++i) {
            const std::uint64_t a = std::max<std::uint64_t>(lo, segments[i].start);
            const std::uint64_t b = std::min<std::uint64_t>(hi, std::uint64_t(segments[i].start) + segments[i].length);
            if (a < b)
                std::memcpy(wanted.data() + (a - lo), segments[i].data + (a - segments[i].start), b - a);
        }

        const std::uint64_t units = (span + unit - 1) / unit;
        std::vector<char> differs(units);
        std::vector<char> needErase(units);
        bool any = false;
        for (std::uint64_t u = 0; u < units; ++u) {
            const std::uint8_t* was = held.data() + u * unit;
            const std::uint8_t* will = wanted.data() + u * unit;
            const std::uint64_t bytes = std::min(unit, span - u * unit);
            if (std::memcmp(was, will, bytes) == 0)
                continue;
            any = true;
            differs[u] = 1;
            needErase[u] = needsErase(was, will, bytes);
            std::uint32_t first = 0;
            differentBytes += countDifferentBytes(was, will, static_cast<std::uint32_t>(bytes), &first);
        }
        if (!any) {
            progress.advanced(std::int64_t(kSmartWriteProgressTotal) * std::int64_t(n + 1) /
                              std::int64_t(windows.size()));
            continue;
        }

        // Programs [a, b) of the window, page by page: in each page the part that pageSpan gives
        // (empty: nothing), consecutive parts together up to the adapter's largest write.
        auto program = [&](std::uint64_t a, std::uint64_t b, auto pageSpan) -> OperationResult {
            std::uint64_t runLo = 0;
            std::uint64_t runHi = 0;
            std::uint32_t runPages = 0;
            auto flush = [&]() -> OperationResult {
                if (runLo == runHi)
                    return OperationResult{};
                if (const int code = adapter.flashWrite(dev, sel, static_cast<std::uint32_t>(runLo),
                                                        wanted.data() + (runLo - lo),
                                                        static_cast<std::uint32_t>(runHi - runLo))) {
                    if (done.damaged() == false)
                        damage(runLo, runHi);
                    return callFailed(code, runLo);
                }
                done.pagesProgrammed += runPages;
                progress.waiting();
                runLo = runHi = 0;
                runPages = 0;
                return OperationResult{};
            };
            for (std::uint64_t page = a / pageSize * pageSize; page < b; page += pageSize) {
                const std::uint64_t pa = std::max(page, a);
                const std::uint64_t pb = std::min(page + pageSize, b);
                std::uint64_t sa = 0;
                std::uint64_t sb = 0;
                pageSpan(pa, pb, &sa, &sb);
                if (sa >= sb)
                    continue;
                if (runLo != runHi && (runHi != sa || sb - runLo > kBlock)) {
                    const OperationResult flushed = flush();
                    if (!flushed.ok())
                        return flushed;
                }
                if (runLo == runHi)
                    runLo = sa;
                runHi = sb;
                ++runPages;
            }
            return flush();
        };
        // In an erased block: from the first byte to the last that is not 0xFF.
        auto notBlank = [&](std::uint64_t pa, std::uint64_t pb, std::uint64_t* sa, std::uint64_t* sb) {
            const std::uint8_t* p = wanted.data() + (pa - lo);
            std::uint64_t i = 0;
            std::uint64_t j = pb - pa;
            while (i < j && p[i] == 0xFF)
                ++i;
            while (j > i && p[j - 1] == 0xFF)
                --j;
            *sa = pa + i;
            *sb = pa + j;
        };
        // Elsewhere: from the first byte to the last that differs from what the chip holds.
        auto different = [&](std::uint64_t pa, std::uint64_t pb, std::uint64_t* sa, std::uint64_t* sb) {
            const std::uint8_t* p = wanted.data() + (pa - lo);
            const std::uint8_t* q = held.data() + (pa - lo);
            std::uint64_t i = 0;
            std::uint64_t j = pb - pa;
            while (i < j && p[i] == q[i])
                ++i;
            while (j > i && p[j - 1] == q[j - 1])
                --j;
            *sa = pa + i;
            *sb = pa + j;
        };

        std::vector<char> erased(units);
        for (std::uint64_t u = 0; u < units;) {
            if (!needErase[u]) {
                ++u;
                continue;
            }
            const std::uint64_t address = lo + u * unit;
            EraseSize chosen = eraseSizes.front();
            for (auto size = eraseSizes.rbegin(); size != eraseSizes.rend(); ++size) {
                const std::uint64_t count = size->size / unit;
                if (address % size->size != 0 || u + count > units)
                    continue;
                if (std::all_of(needErase.begin() + u, needErase.begin() + u + count,
                                [](char e) { return e != 0; })) {
                    chosen = *size;
                    break;
                }
            }
            const std::uint64_t count = chosen.size / unit;
            damage(address, address + chosen.size);
            if (const int code = engine.eraseBlock(transport, config, chosen.opcode, chosen.size,
                                                   static_cast<std::uint32_t>(address), hook))
                return finish(callFailed(code, address));
            ++done.blocksErased;
            done.bytesErased += chosen.size;
            // The block is programmed before anything else is erased.
            const OperationResult programmed = program(address, std::min(hi, address + chosen.size), notBlank);
            if (!programmed.ok())
                return finish(programmed);
            damage(0, 0);
            std::fill(erased.begin() + u, erased.begin() + u + count, 1);
            u += count;
        }
        for (std::uint64_t u = 0; u < units; ++u) {
            if (!differs[u] || erased[u])
                continue;
            const OperationResult programmed = program(lo + u * unit, std::min(hi, lo + (u + 1) * unit), different);
            if (!programmed.ok())
                return finish(programmed);
        }

        // The window's part read back before going on.
        const OperationResult check = readFlash(adapter, target, static_cast<std::uint32_t>(lo), held.data(),
                                                static_cast<std::uint32_t>(span), relay);
        if (!check.ok())
            return finish(check);
        done.bytesRead += span;
        std::uint32_t first = 0;
        const std::uint64_t mismatches =
            countDifferentBytes(held.data(), wanted.data(), static_cast<std::uint32_t>(span), &first);
        if (mismatches != 0)
            return finish(OperationResult{OperationStatus::VerifyMismatch, 0, lo + first, mismatches});
        progress.advanced(std::int64_t(kSmartWriteProgressTotal) * std::int64_t(n + 1) /
                          std::int64_t(windows.size()));
    }
    progress.advanced(kSmartWriteProgressTotal);
    return finish(OperationResult{});
}

} // namespace korvane
