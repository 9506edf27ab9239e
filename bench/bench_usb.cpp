// Reading 16 MiB through each USB backend over its emulator, timed by a model of the bus and the
// programmer (bench/usbtimingmodel.h), not by hardware: prints the modelled time, the model's bound
// and their ratio, and the real time the emulation took. See docs/performance.md for the model.
//
//   bench_usb [MiB]
#include "backends/backendtable.h"
#include "backends/simulated/simulatedchip.h"
#include "bench/usbtimingmodel.h"
#include "core/adapter/adapterregistry.h"
#include "core/operations/flashoperations.h"
#include "tests/backends/ch341a/ch341aemulator.h"
#include "tests/backends/ch347/ch347emulator.h"
#include "tests/backends/ftdi/ftdiemulator.h"
#include "tests/backends/usb/emulatedusb.h"
#include "tests/support/testchips.h"
#include "tests/support/virtualclock.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>

using namespace korvane;

namespace {

struct Case
{
    const char* label;
    const char* form;
    std::uint32_t clockHz;
    const UsbBusModel* model;
    double goal; // at most this many times the bound
};

int runCase(const Case& c, std::uint32_t bytes)
{
    VirtualClock clock;
    EmulatedUsbBus bus;
    std::unique_ptr<EmulatedUsbDevice> emulator;
    const std::string form = c.form;
    if (form == "ch341a")
        emulator = std::make_unique<Ch341aEmulator>();
    else if (form == "ch347")
        emulator = std::make_unique<Ch347Emulator>();
    else
        emulator = std::make_unique<FtdiEmulator>(0x6014);
    EmulatedUsbDevice* device = bus.add(std::move(emulator));
    auto chip = createSimulatedChip("W25Q128", clock);
    for (std::size_t i = 0; i < chip->contents().size(); ++i)
        chip->contents()[i] = static_cast<std::uint8_t>(i * 7 + (i >> 12));
    device->wire.attach(0, chip.get());
    DeviceAccess access;
    access.usb = &bus;
    QString error;
    auto registry = createAdapterRegistry(clock, QString::fromLatin1(c.form), false, &error, access);
    FlashTarget target;
    target.clockHz = c.clockHz;
    target.chip = makeTestChip("Winbond", "W25Q128", {0xEF, 0x40, 0x18}, 16 << 20);
    std::uint8_t id[kIdBufferSize];
    if (!registry || !openFlash(*registry, target, 3, id).ok()) {
        std::printf("%s: cannot open\n", c.label);
        return 1;
    }
    const std::uint32_t spiHz = registry->effectiveClockHz(0, 0);
    UsbTimingModel model(bus, *device, clock, *c.model, spiHz);
    std::vector<std::uint8_t> buffer(bytes);
    OperationProgress progress;
    QElapsedTimer wall;
    wall.start();
    const std::int64_t start = clock.now;
    const OperationResult read = readFlash(*registry, target, 0, buffer.data(), bytes, progress);
    const double modelled = double(clock.now - start) / 1e9;
    const double wallSeconds = double(wall.nsecsElapsed()) / 1e9;
    const bool same = std::equal(buffer.begin(), buffer.end(), chip->contents().begin());
    if (!read.ok() || !same || !bus.violations().empty()) {
        std::printf("%s: read failed (%s)\n%s", c.label, qPrintable(operationResultText(read)),
                    bus.violations().c_str());
        return 1;
    }
    // The bound: the data alone on the SPI wire, or its IN packets on the bus, whichever is longer.
    const double spi = double(bytes) * 8 / spiHz;
    const double busTime = std::ceil(double(bytes) / c.model->dataPerInPacket) *
                           (double(c.model->frameNs) / c.model->packetsPerFrame) / 1e9;
    const double bound = std::max(spi, busTime);
    std::printf("%-22s SPI %6.3f MHz  modelled %8.3f s  bound %8.3f s  ratio %.3f (goal <= %.2f)  "
                "emulation %.2f s wall\n",
                c.label, spiHz / 1e6, modelled, bound, modelled / bound, c.goal, wallSeconds);
    return modelled / bound <= c.goal ? 0 : 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const std::uint32_t mib = argc > 1 ? std::uint32_t(std::atoi(argv[1])) : 16;
    const Case cases[] = {
        {"CH341A (full speed)", "ch341a", 50000000, &kFullSpeed, 1.15},
        {"CH347 at 60 MHz", "ch347", 60000000, &kHighSpeedCh347, 1.3},
        {"FT232H at 30 MHz", "ft232h", 30000000, &kHighSpeedFtdi, 1.3},
    };
    std::printf("Reading %u MiB, modelled (not measured on hardware):\n", mib);
    int status = 0;
    for (const Case& c : cases)
        status |= runCase(c, std::min<std::uint32_t>(mib, 16) << 20);
    return status;
}
