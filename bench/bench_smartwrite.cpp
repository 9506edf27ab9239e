// Smart write against erase chip + write + verify, and against a plain read, on a simulated 16 MiB
// chip (W25Q128) with data-sheet busy times: page program 0.7 ms, 4 KiB erase 45 ms, 32 KiB erase
// 120 ms, 64 KiB erase 150 ms, chip erase 40 s.
//
// Time is a model: a virtual clock that moves by the busy times the chip waits out (every sleep of
// a status poll) plus a fixed cost for each clock reading, which stands for the status poll's own
// transfer. Transfers themselves cost nothing on it. The real CPU time the program and the
// simulation spend is measured beside it, and the two are added for the totals the goals are
// checked on:
//   - a 16 MiB image that differs from the chip in 1 % of its 4 KiB sectors: at most 5 % of
//     erase chip + write + verify;
//   - an identical image: at most 1.2 x a read of the chip.
//
// With --wire-mhz N the model also charges the SPI wire: every byte a call moves costs 8 clocks at N
// MHz (a command and address of 5 bytes per flash call on top), which is what a real adapter at
// that clock cannot go below.
//
// Usage: bench_smartwrite [rounds] [--poll-us N] [--wire-mhz N]
//        (defaults: 3 rounds, 20 us per clock reading, no wire time)
#include "backends/simulated/simulatedadapter.h"
#include "core/base/clock.h"
#include "core/base/largebuffer.h"
#include "core/operations/flashoperations.h"
#include "core/operations/sfdpoperations.h"
#include "core/operations/smartwrite.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <vector>

using namespace korvane;

namespace {

constexpr std::uint32_t kChipSize = 16u << 20;
constexpr std::uint32_t kSector = 4096;
constexpr int kSelector = 0x00;

// The model's clock: sleeping moves it at once, and every reading moves it by a small step.
class ModelClock : public Clock
{
public:
    void sleep(int ms) override
    {
        if (ms > 0)
            now += std::int64_t(ms) * 1'000'000;
    }
    std::int64_t nowNanoseconds() const override
    {
        now += readingNs;
        return now;
    }
    std::int64_t readingNs = 20'000;
    mutable std::int64_t now = 0;
};

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct Cost
{
    double modelSeconds = 0;
    double cpuSeconds = 0;
    double total() const { return modelSeconds + cpuSeconds; }
};

class NoProgress : public OperationProgress
{
};

// The adapter with the wire's time on the model clock.
class WireTimed : public AdapterLibrary
{
public:
    WireTimed(AdapterLibrary& inner, ModelClock& clock, double mhz) : inner(inner), clock(clock), mhz(mhz) {}

    int scanDevices(int* d) override { return inner.scanDevices(d); }
    bool openDevice(int h) override { return inner.openDevice(h); }
    void closeDevice(int h) override { inner.closeDevice(h); }
    bool getDeviceInfo(int h, DEVICE_INFO* i, char* f) override { return inner.getDeviceInfo(h, i, f); }
    bool eraseFirmware(int h, std::uint32_t a, std::uint32_t b) override
    {
        return inner.eraseFirmware(h, a, b);
    }
    bool writeFirmware(int h, std::uint32_t a, const std::uint8_t* d, std::uint32_t n, int f) override
    {
        return inner.writeFirmware(h, a, d, n, f);
    }
    void jumpToAddress(int h, std::uint32_t a) override { inner.jumpToAddress(h, a); }
    bool checkFirmwareMd5(int h, std::uint32_t a, std::uint32_t n) override
    {
        return inner.checkFirmwareMd5(h, a, n);
    }
    bool checkFirmwareFile(const char* p) override { return inner.checkFirmwareFile(p); }
    int spiWriteBytes(int h, int s, const std::uint8_t* d, int n) override
    {
        wire(std::uint64_t(std::max(n, 0)));
        return inner.spiWriteBytes(h, s, d, n);
    }
    int spiWriteReadBytes(int h, int s, const std::uint8_t* o, int on, std::uint8_t* i, int in,
                          int f) override
    {
        wire(std::uint64_t(std::max(on, 0)) + std::uint64_t(std::max(in, 0)));
        return inner.spiWriteReadBytes(h, s, o, on, i, in, f);
    }
    int flashInit(int h, int s, std::uint32_t hz, const SPIFlashConfig* c) override
    {
        return inner.flashInit(h, s, hz, c);
    }
    int flashReadId(int h, int s, std::uint8_t* b) override { return inner.flashReadId(h, s, b); }
    int flashEraseSectors(int h, int s, std::uint32_t f, std::uint32_t n) override
    {
        return inner.flashEraseSectors(h, s, f, n);
    }
    int flashWrite(int h, int s, std::uint32_t a, const std::uint8_t* d, std::uint32_t n) override
    {
        wire(n + 5);
        return inner.flashWrite(h, s, a, d, n);
    }
    int flashRead(int h, int s, std::uint32_t a, std::uint8_t* b, std::uint32_t n) override
    {
        wire(n + 5);
        return inner.flashRead(h, s, a, b, n);
    }

private:
    void wire(std::uint64_t bytes)
    {
        if (mhz > 0)
            clock.now += static_cast<std::int64_t>(double(bytes) * 8.0 * 1000.0 / mhz);
    }
    AdapterLibrary& inner;
    ModelClock& clock;
    double mhz;
};

std::vector<std::uint8_t> randomImage(std::uint32_t size, quint32 seed)
{
    std::vector<std::uint8_t> out(size);
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32*>(out.data()), size / 4);
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    int rounds = 3;
    double wireMhz = 0;
    ModelClock clock;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--poll-us") == 0 && i + 1 < argc)
            clock.readingNs = std::int64_t(std::atoi(argv[++i])) * 1000;
        else if (std::strcmp(argv[i], "--wire-mhz") == 0 && i + 1 < argc)
            wireMhz = std::atof(argv[++i]);
        else
            rounds = std::max(1, std::atoi(argv[i]));
    }

    SimulatedAdapter simulation(clock);
    WireTimed adapter(simulation, clock, wireMhz);
    simulation.setAdapterCount(1);
    SimulatedChip* chip = simulation.attachChip(0, kSelector, createSimulatedChip("W25Q128", clock));
    SimulatedChip::Timing timing;
    timing.pageProgramNs = 700'000;
    timing.sectorEraseNs = 45'000'000;
    timing.blockErase32kNs = 120'000'000;
    timing.blockErase64kNs = 150'000'000;
    timing.chipEraseNs = 40'000'000'000;
    chip->setTiming(timing);

    FlashTarget target;
    target.clockHz = 50'000'000;
    target.chip.Config = standardSpiNorConfig(0xEF4018, kChipSize, kSector);
    std::uint8_t id[kIdBufferSize];
    SfdpInfo sfdp;
    bool hasSfdp = false;
    if (!detectChip(adapter, 0, kSelector, id, &sfdp, &hasSfdp).ok() || !hasSfdp ||
        !openFlash(adapter, target, 3, id).ok()) {
        std::fprintf(stderr, "setup failed\n");
        return 1;
    }
    const std::vector<EraseSize> eraseSizes = smartWriteEraseSizes(target.chip, &sfdp);

    // The chip's old contents, and the new image: 1 % of the 4096 sectors changed all through.
    const std::vector<std::uint8_t> old = randomImage(kChipSize, 1);
    std::vector<std::uint8_t> changed = old;
    std::vector<std::uint32_t> sectors(kChipSize / kSector);
    for (std::uint32_t i = 0; i < sectors.size(); ++i)
        sectors[i] = i;
    QRandomGenerator pick(2);
    std::shuffle(sectors.begin(), sectors.end(), pick);
    const std::uint32_t changedSectors = std::uint32_t(sectors.size()) / 100;
    const std::vector<std::uint8_t> fresh = randomImage(kChipSize, 3);
    for (std::uint32_t i = 0; i < changedSectors; ++i)
        std::memcpy(changed.data() + sectors[i] * kSector, fresh.data() + sectors[i] * kSector, kSector);
    NoProgress progress;

    auto measure = [&](const std::function<bool()>& work, Cost* cost) {
        const std::int64_t modelStart = clock.now;
        const double cpuStart = cpuSeconds();
        const bool ok = work();
        cost->modelSeconds = double(clock.now - modelStart) / 1e9;
        cost->cpuSeconds = cpuSeconds() - cpuStart;
        return ok;
    };
    auto load = [&](const std::vector<std::uint8_t>& image) { chip->contents() = image; };

    std::vector<Cost> full(rounds), eraseOnly(rounds), writeOnly(rounds), verifyOnly(rounds), smart(rounds),
        identical(rounds), read(rounds);
    SmartWriteReport smartReport;
    SmartWriteReport identicalReport;
    for (int r = 0; r < rounds; ++r) {
        load(old);
        bool ok = measure([&] { return eraseChip(adapter, target, clock, progress).ok(); }, &eraseOnly[r]);
        ok = ok &&
             measure([&] { return writeFlash(adapter, target, 0, changed.data(), kChipSize, progress).ok(); },
                     &writeOnly[r]);
        ok =
            ok &&
            measure([&] { return verifyFlash(adapter, target, 0, changed.data(), kChipSize, progress).ok(); },
                    &verifyOnly[r]);
        full[r] = Cost{eraseOnly[r].modelSeconds + writeOnly[r].modelSeconds + verifyOnly[r].modelSeconds,
                       eraseOnly[r].cpuSeconds + writeOnly[r].cpuSeconds + verifyOnly[r].cpuSeconds};

        load(old);
        ok = ok && measure(
                       [&] {
                           return smartWrite(adapter, target, clock, eraseSizes, 0, changed.data(), kChipSize,
                                             progress, &smartReport)
                               .ok();
                       },
                       &smart[r]);
        ok = ok && chip->contents() == changed;
        ok = ok && measure(
                       [&] {
                           return smartWrite(adapter, target, clock, eraseSizes, 0, changed.data(), kChipSize,
                                             progress, &identicalReport)
                               .ok();
                       },
                       &identical[r]);
        // As a read does: into a buffer of its own, fresh each time, as smart write's is.
        LargeBuffer fresh;
        ok = ok && measure(
                       [&] {
                           return fresh.allocate(kChipSize) &&
                                  readFlash(adapter, target, 0, fresh.data(), kChipSize, progress).ok();
                       },
                       &read[r]);
        ok = ok && std::memcmp(fresh.data(), changed.data(), kChipSize) == 0;
        if (!ok) {
            std::fprintf(stderr, "an operation failed in round %d\n", r + 1);
            return 1;
        }
    }
    auto median = [](std::vector<Cost> costs) {
        std::sort(costs.begin(), costs.end(),
                  [](const Cost& a, const Cost& b) { return a.total() < b.total(); });
        return costs[costs.size() / 2];
    };
    const Cost f = median(full), e = median(eraseOnly), w = median(writeOnly), v = median(verifyOnly),
               s = median(smart), i = median(identical), rd = median(read);
    std::printf(
        "16 MiB W25Q128, %u of %zu sectors changed; model: %lld us per clock reading, wire %s; median of "
        "%d\n",
        changedSectors, sectors.size(), static_cast<long long>(clock.readingNs / 1000),
        wireMhz > 0 ? qPrintable(QStringLiteral("at %1 MHz").arg(wireMhz)) : "not counted", rounds);
    std::printf("%-44s %12s %10s %12s\n", "", "model s", "CPU s", "total s");
    auto row = [](const char* name, const Cost& c) {
        std::printf("%-44s %12.3f %10.3f %12.3f\n", name, c.modelSeconds, c.cpuSeconds, c.total());
    };
    row("erase chip", e);
    row("write 16 MiB", w);
    row("verify 16 MiB", v);
    row("erase chip + write + verify", f);
    row("smart write, 1 % of sectors changed", s);
    row("smart write, identical image", i);
    row("read 16 MiB", rd);
    std::printf(
        "smart write, 1 %%: %u blocks erased (%llu bytes), %u pages programmed, %llu bytes unchanged\n",
        smartReport.blocksErased, static_cast<unsigned long long>(smartReport.bytesErased),
        smartReport.pagesProgrammed, static_cast<unsigned long long>(smartReport.bytesUnchanged));
    const double changedShare = s.total() / f.total();
    const double identicalShare = i.total() / rd.total();
    std::printf("smart write 1 %% / (erase chip + write + verify): %.4f (goal <= 0.05) %s\n", changedShare,
                changedShare <= 0.05 ? "met" : "MISSED");
    std::printf("smart write identical / read: %.3f (goal <= 1.2) %s\n", identicalShare,
                identicalShare <= 1.2 ? "met" : "MISSED");
    return changedShare <= 0.05 && identicalShare <= 1.2 ? 0 : 2;
}
