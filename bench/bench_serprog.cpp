// Reading through the serprog backend against a model of the link: the emulated firmware on a
// pseudo-terminal paces itself in real time as a serial line of a given baud rate (10 bits a byte
// each way), an SPI clock, and a round-trip latency that a request pays when it arrives with
// nothing queued before it. The figures are those of this model, not of any board.
//
//   bench_serprog [KiB=512] [baud=2000000] [latencyUs=1000] [readMax=4096] [serialBuffer=4096]
//   [spiHz=8000000]
//   bench_serprog write [KiB=1024] [baud] [latencyUs] [readMax] [serialBuffer] [spiHz]
//
// Reads KiB from a W25Q64 twice, with O_SPIOP requests back to back and with one at a time, and
// prints the time each took and what the line alone would take. With "write": writes KiB to an
// erased W25Q128 that takes its data-sheet typical 0.7 ms a page program, on the model's time,
// with and without the write-enable check, and prints the time, the model's bound and the ratio.
#include "backends/backendtable.h"
#include "backends/serprog/serialport.h"
#include "backends/serprog/serprogadapter.h"
#include "backends/simulated/simulatedchip.h"
#include "core/operations/flashoperations.h"
#include "core/spinor/deviceadapterlibrary.h"
#include "core/spinor/spinor.h"
#include "tests/backends/emulators/serprogemulator.h"
#include "tests/backends/emulators/sharedclock.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <random>
#include <vector>

using namespace korvane;

namespace {

int argumentOr(const QStringList& arguments, int index, int fallback)
{
    bool ok = false;
    const int value = arguments.value(index).toInt(&ok);
    return ok && value > 0 ? value : fallback;
}

double readSeconds(std::uint32_t bytes, int baud, int latencyUs, const SerprogFirmware& firmware,
                   bool pipelining)
{
    SharedVirtualClock clock;
    auto chip = createSimulatedChip("W25Q64", clock);
    SerprogEmulator emulator(firmware);
    emulator.attachChip(0, chip.get());
    emulator.setLinkModel(baud, latencyUs);
    QString error;
    // A USB serial firmware ignores the tty's baud rate; the model's can be any.
    const int ttyBaud = isSupportedBaudRate(baud) ? baud : 4000000;
    auto registry = createAdapterRegistry(
        clock,
        QStringLiteral("serprog:%1:%2").arg(QString::fromStdString(emulator.devicePath())).arg(ttyBaud),
        false, &error);
    if (!registry) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        std::exit(1);
    }
    dynamic_cast<SerprogAdapter&>(registry->backend(0)).setPipelining(pipelining);
    FlashTarget target;
    target.clockHz = firmware.clocks.front();
    target.chip.Config = standardSpiNorConfig(0xEF4017, 8 << 20, 4096);
    std::uint8_t id[kIdBufferSize];
    if (!openFlash(*registry, target, 3, id).ok()) {
        std::fprintf(stderr, "cannot open the emulated programmer\n");
        std::exit(1);
    }
    std::vector<std::uint8_t> buffer(bytes);
    OperationProgress progress;
    QElapsedTimer timer;
    timer.start();
    const OperationResult read = readFlash(*registry, target, 0, buffer.data(), bytes, progress);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (!read.ok() || !emulator.violations().empty()) {
        std::fprintf(stderr, "read failed: %s\n", qPrintable(operationResultText(read)));
        std::exit(1);
    }
    return seconds;
}

// The steady clock the emulated firmware models the link on; the chip is set to the time each
// operation ends as the model has it.
class ModelledTime : public Clock
{
public:
    void sleep(int) override {}
    std::int64_t nowNanoseconds() const override { return now.load(); }
    std::atomic<std::int64_t> now{0};
};

constexpr std::int64_t kPageProgramNs = 700000; // W25Q128FV: typical 0.7 ms, at most 3 ms

double writeSeconds(const std::vector<std::uint8_t>& data, int baud, int latencyUs, const SerprogFirmware& firmware,
                    bool checkWriteEnable)
{
    ModelledTime chipTime;
    auto chip = createSimulatedChip("W25Q128", chipTime);
    SimulatedChip::Timing timing;
    timing.pageProgramNs = kPageProgramNs;
    chip->setTiming(timing);
    chip->contents();
    SerprogEmulator emulator(firmware);
    emulator.attachChip(0, chip.get());
    emulator.setLinkModel(baud, latencyUs);
    emulator.onOperation = [&chipTime](std::int64_t ns) { chipTime.now = ns; };
    SystemClock host;
    QString error;
    const int ttyBaud = isSupportedBaudRate(baud) ? baud : 4000000;
    auto registry = createAdapterRegistry(
        host, QStringLiteral("serprog:%1:%2").arg(QString::fromStdString(emulator.devicePath())).arg(ttyBaud),
        false, &error);
    FlashTarget target;
    target.clockHz = firmware.clocks.front();
    target.chip.Config = standardSpiNorConfig(0xEF4018, 16 << 20, 4096);
    std::uint8_t id[kIdBufferSize];
    if (!registry || !openFlash(*registry, target, 3, id).ok()) {
        std::fprintf(stderr, "cannot open the emulated programmer\n");
        std::exit(1);
    }
    auto& library = dynamic_cast<DeviceAdapterLibrary&>(registry->backend(0));
    SpiNorEngine::PollLimits limits = library.limits();
    limits.checkWriteEnable = checkWriteEnable;
    library.engine().setPollLimits(limits);
    OperationProgress progress;
    QElapsedTimer timer;
    timer.start();
    const OperationResult written =
        writeFlash(*registry, target, 0, data.data(), std::uint32_t(data.size()), progress);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (!written.ok() || !emulator.violations().empty() ||
        !std::equal(data.begin(), data.end(), chip->contents().begin())) {
        std::fprintf(stderr, "write failed: %s\n", qPrintable(operationResultText(written)));
        std::exit(1);
    }
    return seconds;
}

int writeBenchmark(const QStringList& arguments)
{
    const std::uint32_t bytes = std::uint32_t(argumentOr(arguments, 2, 1024)) * 1024;
    const int baud = argumentOr(arguments, 3, 2000000);
    const int latencyUs = argumentOr(arguments, 4, 1000);
    SerprogFirmware firmware;
    firmware.readMax = std::uint32_t(argumentOr(arguments, 5, 4096));
    firmware.serialBuffer = std::uint16_t(argumentOr(arguments, 6, 4096));
    firmware.clocks = {std::uint32_t(argumentOr(arguments, 7, 8000000))};
    std::vector<std::uint8_t> data(bytes);
    std::mt19937 random(2024);
    for (auto& b : data)
        b = static_cast<std::uint8_t>(random());
    // The bound, per page: the page's bytes on the slower of the SPI wire and the line towards the
    // firmware (write enable, the page program, one status read, each an O_SPIOP), one round trip,
    // the program time.
    const double pages = bytes / 256.0;
    const double spi = (1 + 260 + 2) * 8.0 / firmware.clocks.front();
    const double line = (8 + 267 + 8) * 10.0 / baud;
    const double bound = pages * (std::max(spi, line) + latencyUs / 1e6 + kPageProgramNs / 1e9);
    std::printf("model: %d baud, %d us round trip, SPI %u Hz, serial buffer %u; writing %u KiB, page program "
                "0.7 ms\n",
                baud, latencyUs, firmware.clocks.front(), unsigned(firmware.serialBuffer), bytes / 1024);
    const double checked = writeSeconds(data, baud, latencyUs, firmware, true);
    const double unchecked = writeSeconds(data, baud, latencyUs, firmware, false);
    std::printf("written in %.3f s, bound %.3f s, ratio %.3f; without the write-enable check %.3f s\n", checked,
                bound, checked / bound, unchecked);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.value(1) == QLatin1String("write"))
        return writeBenchmark(arguments);
    const std::uint32_t bytes = std::uint32_t(argumentOr(arguments, 1, 512)) * 1024;
    const int baud = argumentOr(arguments, 2, 2000000);
    const int latencyUs = argumentOr(arguments, 3, 1000);
    SerprogFirmware firmware;
    firmware.readMax = std::uint32_t(argumentOr(arguments, 4, 4096));
    firmware.serialBuffer = std::uint16_t(argumentOr(arguments, 5, 4096));
    firmware.clocks = {std::uint32_t(argumentOr(arguments, 6, 8000000))};

    // What the line carries for the read alone: the data, one ACK and one request per part.
    const std::uint32_t parts = (bytes + firmware.readMax - 1) / firmware.readMax;
    const double lineSeconds = double(bytes + parts) * 10 / baud;
    std::printf("model: %d baud, %d us round trip, SPI %u Hz, read-n max %u, serial buffer %u; %u KiB\n",
                baud, latencyUs, firmware.clocks.front(), firmware.readMax, unsigned(firmware.serialBuffer),
                bytes / 1024);
    std::printf("line alone:          %8.3f s  %8.1f KiB/s\n", lineSeconds, bytes / 1024.0 / lineSeconds);
    for (const bool pipelining : {true, false}) {
        const double seconds = readSeconds(bytes, baud, latencyUs, firmware, pipelining);
        std::printf("%-20s %8.3f s  %8.1f KiB/s  (%.0f%% of the line's rate)\n",
                    pipelining ? "back to back:" : "one at a time:", seconds, bytes / 1024.0 / seconds,
                    100.0 * lineSeconds / seconds);
    }
    return 0;
}
