// Throughput of the simulated adapter through the SPI NOR engine: a 16 MiB chip read and written
// in 20480-byte flashRead/flashWrite calls, busy times at zero. Prints MB/s (10^6 bytes per second).
#include "backends/simulated/simulatedadapter.h"
#include "backends/testing/recordingadapter.h"
#include "core/base/clock.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace korvane;

namespace {

constexpr std::uint32_t kChipSize = 16u << 20;
constexpr int kSelector = 0x00;

SPIFlashConfig config16MiB()
{
    return standardSpiNorConfig(0xEF4018, kChipSize, 4096);
}

double megabytesPerSecond(std::uint64_t bytes, qint64 ns)
{
    return ns > 0 ? static_cast<double>(bytes) * 1e3 / static_cast<double>(ns) : 0.0;
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    SystemClock clock;
    // Through the recorder, as the tests use it, with and without its log.
    SimulatedAdapter simulation(clock);
    RecordingAdapter adapter(simulation);
    simulation.setAdapterCount(1);
    SimulatedChip* chip = simulation.attachChip(0, kSelector, createSimulatedChip("W25Q128", clock));
    chip->setTiming({0, 0, 0, 0});
    const SPIFlashConfig config = config16MiB();
    if (!adapter.openDevice(0) || adapter.flashInit(0, kSelector, 50000000, &config) != 0) {
        std::fprintf(stderr, "setup failed\n");
        return 1;
    }
    std::vector<std::uint8_t> image(kChipSize);
    std::uint32_t seed = 1;
    for (auto& byte : image) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(seed >> 24);
    }
    std::vector<std::uint8_t> back(kChipSize);

    for (bool logging : {true, false}) {
        adapter.setLogging(logging);
        double bestRead = 0;
        double bestWrite = 0;
        for (int round = 0; round < rounds; ++round) {
            std::fill(chip->contents().begin(), chip->contents().end(), 0xFF);
            adapter.clearLog();
            QElapsedTimer timer;
            timer.start();
            for (std::uint32_t at = 0; at < kChipSize; at += kMaxFlashTransfer) {
                const std::uint32_t n = std::min(kMaxFlashTransfer, kChipSize - at);
                if (adapter.flashWrite(0, kSelector, at, image.data() + at, n) != 0) {
                    std::fprintf(stderr, "write failed at %u\n", at);
                    return 1;
                }
            }
            bestWrite = std::max(bestWrite, megabytesPerSecond(kChipSize, timer.nsecsElapsed()));
            adapter.clearLog();
            timer.restart();
            for (std::uint32_t at = 0; at < kChipSize; at += kMaxFlashTransfer) {
                const std::uint32_t n = std::min(kMaxFlashTransfer, kChipSize - at);
                if (adapter.flashRead(0, kSelector, at, back.data() + at, n) != 0) {
                    std::fprintf(stderr, "read failed at %u\n", at);
                    return 1;
                }
            }
            bestRead = std::max(bestRead, megabytesPerSecond(kChipSize, timer.nsecsElapsed()));
            if (back != image) {
                std::fprintf(stderr, "read back differs\n");
                return 1;
            }
        }
        std::printf("16 MiB chip, 20480-byte calls, call log %s, best of %d:\n", logging ? "on" : "off",
                    rounds);
        std::printf("  flashRead : %8.0f MB/s\n", bestRead);
        std::printf("  flashWrite: %8.0f MB/s (256-byte pages: WREN, program, status poll)\n", bestWrite);
    }

    // With the chip's default busy times the engine waits on the status register as on hardware.
    chip->setTiming(SimulatedChip::Timing{});
    std::fill(chip->contents().begin(), chip->contents().end(), 0xFF);
    constexpr std::uint32_t kPart = 2u << 20;
    QElapsedTimer timer;
    timer.start();
    for (std::uint32_t at = 0; at < kPart; at += kMaxFlashTransfer) {
        if (adapter.flashWrite(0, kSelector, at, image.data() + at,
                               std::min(kMaxFlashTransfer, kPart - at)) != 0)
            return 1;
    }
    const qint64 ns = timer.nsecsElapsed();
    std::printf("2 MiB written with the default busy times (%lld ns per page program): %.2f s, %.1f MB/s\n",
                static_cast<long long>(SimulatedChip::Timing{}.pageProgramNs), static_cast<double>(ns) / 1e9,
                megabytesPerSecond(kPart, ns));
    return 0;
}
