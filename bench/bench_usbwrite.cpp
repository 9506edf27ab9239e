// Writing 16 MiB through each USB backend over its emulator, timed by the model of the bus and the
// programmer in bench/usbtimingmodel.h, not by hardware, on a W25Q128 that takes its data-sheet
// typical 0.7 ms per page program; spidev over the emulated kernel driver with a cost per message;
// and the peer's CH341A driver (flashrom's ch341a_spi) as a model of the USB transfers it makes for
// each page, over the same emulator and the same model. Prints the modelled time, the model's bound
// and their ratio, the time without the write-enable check, and the real time the emulation took;
// exits with 2 when the CH341A misses its goals. See docs/performance.md.
//
//   bench_usbwrite [MiB]
#include "backends/backendtable.h"
#include "backends/ch341a/ch341adevice.h"
#include "backends/simulated/simulatedchip.h"
#include "bench/usbtimingmodel.h"
#include "core/adapter/adapterregistry.h"
#include "core/adapter/adapterresult.h"
#include "core/operations/flashoperations.h"
#include "backends/spidev/spidevadapter.h"
#include "core/spinor/deviceadapterlibrary.h"
#include "tests/backends/ch341a/ch341aemulator.h"
#include "tests/backends/ch347/ch347emulator.h"
#include "tests/backends/emulators/spidevemulator.h"
#include "tests/backends/ftdi/ftdiemulator.h"
#include "tests/support/testchips.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>

using namespace korvane;

namespace {

constexpr std::int64_t kPageProgramNs = 700000; // W25Q128FV: typical 0.7 ms, at most 3 ms
constexpr int kPageSize = 256;

// What the model's bound counts on the wire for a page: write enable, the page program with its
// 3-byte address and 256 bytes, one status read.
constexpr int kPageWireBytes = 1 + (1 + 3 + kPageSize) + 2;

std::vector<std::uint8_t> randomImage(std::uint32_t bytes)
{
    std::vector<std::uint8_t> data(bytes);
    std::mt19937 random(2024);
    for (auto& b : data)
        b = static_cast<std::uint8_t>(random());
    return data;
}

// A W25Q128 on the wire's clock with the data-sheet program time.
std::unique_ptr<SimulatedChip> timedChip(Clock& clock)
{
    auto chip = createSimulatedChip("W25Q128", clock);
    SimulatedChip::Timing timing;
    timing.pageProgramNs = kPageProgramNs;
    chip->setTiming(timing);
    return chip;
}

std::unique_ptr<EmulatedUsbDevice> emulatorFor(const std::string& form)
{
    if (form == "ch341a")
        return std::make_unique<Ch341aEmulator>();
    if (form == "ch347")
        return std::make_unique<Ch347Emulator>();
    return std::make_unique<FtdiEmulator>(form == "ft2232h" ? 0x6010 : 0x6014);
}

struct Run
{
    bool ok = false;
    double modelled = 0; // seconds
    double wall = 0;
    std::uint32_t spiHz = 0;
};

// Opens the W25Q128 through the registry as the front ends do, sets the write-enable check, and
// writes data, timed on host. startModel runs once the adapter's clock is known (the bus model
// needs it); violations says what the emulator saw wrong.
Run timedWrite(const char* name, AdapterRegistry* registry, VirtualClock& host, SimulatedChip& chip,
               std::uint32_t clockHz, const std::vector<std::uint8_t>& data, bool checkWriteEnable,
               const std::function<void(std::uint32_t)>& startModel,
               const std::function<std::string()>& violations)
{
    Run run;
    FlashTarget target;
    target.clockHz = clockHz;
    target.chip = makeTestChip("Winbond", "W25Q128", {0xEF, 0x40, 0x18}, 16 << 20);
    std::uint8_t id[kIdBufferSize];
    if (!registry || !openFlash(*registry, target, 3, id).ok()) {
        std::printf("%s: cannot open\n", name);
        return run;
    }
    auto* library = dynamic_cast<DeviceAdapterLibrary*>(&registry->backend(0));
    SpiNorEngine::PollLimits limits = library->limits();
    limits.checkWriteEnable = checkWriteEnable;
    library->engine().setPollLimits(limits);
    run.spiHz = registry->effectiveClockHz(0, 0);
    startModel(run.spiHz);
    OperationProgress progress;
    QElapsedTimer wall;
    wall.start();
    const std::int64_t start = host.now;
    const OperationResult written =
        writeFlash(*registry, target, 0, data.data(), std::uint32_t(data.size()), progress);
    run.modelled = double(host.now - start) / 1e9;
    run.wall = double(wall.nsecsElapsed()) / 1e9;
    const std::string wrong = violations();
    run.ok = written.ok() && std::equal(data.begin(), data.end(), chip.contents().begin()) && wrong.empty();
    if (!run.ok)
        std::printf("%s: write failed (%s)\n%s", name, qPrintable(operationResultText(written)), wrong.c_str());
    return run;
}

// Ours: writeFlash through the registry, as the front ends write.
Run writeOurs(const char* form, std::uint32_t clockHz, const UsbBusModel& busModel,
              const std::vector<std::uint8_t>& data, bool checkWriteEnable)
{
    VirtualClock host;
    WireClock wireClock(host);
    EmulatedUsbBus bus;
    EmulatedUsbDevice* device = bus.add(emulatorFor(form));
    auto chip = timedChip(wireClock);
    chip->contents(); // erased
    device->wire.attach(0, chip.get());
    DeviceAccess access;
    access.usb = &bus;
    QString error;
    auto registry = createAdapterRegistry(host, QString::fromLatin1(form), false, &error, access);
    std::unique_ptr<UsbTimingModel> model;
    const Run run = timedWrite(
        form, registry.get(), host, *chip, clockHz, data, checkWriteEnable,
        [&](std::uint32_t spiHz) {
            model = std::make_unique<UsbTimingModel>(bus, *device, host, busModel, spiHz);
            wireClock.model = model.get();
        },
        [&] { return bus.violations(); });
    wireClock.model = nullptr;
    return run;
}

// The peer's CH341A driver as it drives the programmer, one command at a time (facts from its
// source: ch341a_spi.c, spi25.c, spi.c). Every command is one usb_transfer: a single OUT transfer of
// a first packet that deasserts chip select, waits and asserts it again, then the SPI packets (the
// last one short), and IN transfers of up to 31 bytes, 32 of them in flight, for every byte
// clocked; it waits for all of them. Chip select stays asserted after a command until the next
// one's first packet. A page is write enable and the page program as two commands, then the status
// read again and again until the chip is ready, with a 10 us delay between reads that the driver
// folds into the next command's first packet (4/3 of a pin write per microsecond).
class PeerCh341a
{
public:
    explicit PeerCh341a(UsbDeviceHandle& usb) : usb(usb) {}

    bool setUp()
    {
        if (usb.claimInterface(0) != AdapterOk)
            return false;
        const std::uint8_t stream[] = {0xAA, 0x61, 0x00};
        const std::uint8_t pins[] = {0xAB, 0x80 | 0x37, 0x40 | 0x3F, 0x20};
        return command(stream, sizeof stream) && command(pins, sizeof pins);
    }

    bool writePage(std::uint32_t address, const std::uint8_t* data)
    {
        const std::uint8_t wren = 0x06;
        std::uint8_t program[4 + kPageSize] = {0x02, std::uint8_t(address >> 16), std::uint8_t(address >> 8),
                                               std::uint8_t(address)};
        std::memcpy(program + 4, data, kPageSize);
        if (!send(&wren, 1, nullptr, 0) || !send(program, sizeof program, nullptr, 0))
            return false;
        for (int polls = 0; polls < 100000; ++polls) {
            const std::uint8_t rdsr = 0x05;
            std::uint8_t status = 0xFF;
            if (!send(&rdsr, 1, &status, 1))
                return false;
            if (!(status & 0x01))
                return true;
            storedDelayUs += 10; // at most 20 us are kept for the next command's first packet
        }
        return false;
    }

    void shutDown()
    {
        const std::uint8_t pins[] = {0xAB, 0x80 | 0x37, 0x40, 0x20};
        command(pins, sizeof pins);
    }

private:
    // A raw OUT transfer with nothing to read back.
    bool command(const std::uint8_t* bytes, int length)
    {
        std::vector<std::uint8_t> copy(bytes, bytes + length);
        int moved = 0;
        return usb.bulkTransfer(0x02, copy.data(), length, &moved, 1000) == AdapterOk && moved == length;
    }

    // One command: the chip-select packet, the SPI packets, the answers of every byte clocked.
    bool send(const std::uint8_t* write, int writeCount, std::uint8_t* read, int readCount)
    {
        const int total = writeCount + readCount;
        const int packets = (total + 30) / 31;
        std::vector<std::uint8_t> out(static_cast<std::size_t>(packets + 1) * 32, 0);
        int delays = 2;
        if (storedDelayUs > 0) {
            delays = storedDelayUs * 4 / 3;
            storedDelayUs = 0;
        }
        std::uint8_t* at = out.data();
        *at++ = 0xAB;
        *at++ = 0x80 | 0x37; // deasserted
        for (int i = 0; i < delays; ++i)
            *at++ = 0x80 | 0x37; // a pin write as a delay
        *at++ = 0x80 | 0x36; // asserted
        *at++ = 0x20;
        for (int p = 0; p < packets; ++p) {
            at = out.data() + 32 * (p + 1);
            *at++ = 0xA8;
            for (int i = p * 31; i < std::min(total, (p + 1) * 31); ++i)
                *at++ = i < writeCount ? Ch341aDevice::reverseBits(write[i]) : 0xFF;
        }
        const int outLength = 32 + packets + total;
        const int outTicket = usb.submitBulk(0x02, out.data(), outLength, 1000);
        if (outTicket < 0)
            return false;
        std::vector<std::uint8_t> answer(static_cast<std::size_t>(total));
        std::deque<int> inFlight;
        int requested = 0;
        int received = 0;
        while (received < total) {
            while (requested < total && inFlight.size() < 32) {
                const int length = std::min(31, total - requested);
                const int ticket = usb.submitBulk(0x82, answer.data() + requested, length, 1000);
                if (ticket < 0)
                    return false;
                inFlight.push_back(ticket);
                requested += length;
            }
            int moved = 0;
            if (usb.waitBulk(inFlight.front(), &moved) != AdapterOk)
                return false;
            inFlight.pop_front();
            received += moved;
        }
        int moved = 0;
        if (usb.waitBulk(outTicket, &moved) != AdapterOk)
            return false;
        for (int i = 0; i < readCount; ++i)
            read[i] = Ch341aDevice::reverseBits(answer[static_cast<std::size_t>(writeCount + i)]);
        return true;
    }

    UsbDeviceHandle& usb;
    int storedDelayUs = 0;
};

Run writePeer(const std::vector<std::uint8_t>& data)
{
    Run run;
    VirtualClock host;
    WireClock wireClock(host);
    EmulatedUsbBus bus;
    EmulatedUsbDevice* device = bus.add(std::make_unique<Ch341aEmulator>());
    auto chip = timedChip(wireClock);
    chip->contents();
    device->wire.attach(0, chip.get());
    int opened = AdapterErrorTransport;
    auto usb = bus.open(device->description, &opened);
    PeerCh341a peer(*usb);
    if (!usb || !peer.setUp()) {
        std::printf("peer: cannot open\n");
        return run;
    }
    run.spiHz = Ch341aDevice::kClockHz;
    UsbTimingModel model(bus, *device, host, kFullSpeed, run.spiHz);
    wireClock.model = &model;
    QElapsedTimer wall;
    wall.start();
    const std::int64_t start = host.now;
    bool written = true;
    for (std::uint32_t at = 0; at < data.size() && written; at += kPageSize)
        written = peer.writePage(at, data.data() + at);
    run.modelled = double(host.now - start) / 1e9;
    run.wall = double(wall.nsecsElapsed()) / 1e9;
    peer.shutDown();
    run.ok = written && std::equal(data.begin(), data.end(), chip->contents().begin()) && bus.violations().empty();
    if (!run.ok)
        std::printf("peer: write failed\n%s", bus.violations().c_str());
    wireClock.model = nullptr;
    return run;
}

// spidev as the backend drives the kernel's driver, on the emulated driver with the driver's own
// costs in time: kSpidevMessageNs a message (the system call and the controller's setup; an
// assumption, figures of tens of microseconds are common on a Raspberry Pi), each frame's bytes at
// the clock, the kernel's 10 us pause after cs_change.
constexpr std::int64_t kSpidevMessageNs = 20000;

Run writeSpidev(const std::vector<std::uint8_t>& data, std::uint32_t clockHz, bool checkWriteEnable)
{
    VirtualClock host;
    auto chip = timedChip(host);
    chip->contents();
    SpidevEmulator kernel;
    kernel.addNode("/dev/spidev0.0", chip.get());
    kernel.messageNs = kSpidevMessageNs;
    kernel.csChangeNs = kSpidevChipSelectGapNs;
    kernel.onTime = [&host](std::int64_t ns) { host.advanceNanoseconds(ns); };
    DeviceAccess access;
    access.spidev = &kernel;
    QString error;
    auto registry = createAdapterRegistry(host, QStringLiteral("spidev:/dev/spidev0.0"), false, &error, access);
    return timedWrite(
        "spidev", registry.get(), host, *chip, clockHz, data, checkWriteEnable, [](std::uint32_t) {},
        [&] {
            return kernel.violations().empty() && kernel.refusedMessages() == 0 ? std::string()
                                                                                : std::string("driver faults\n");
        });
}

// The model's bound: per page, the page's bytes on the SPI wire, one frame for the round trip that
// brings the status back, and the program time.
double boundSeconds(std::uint32_t bytes, std::uint32_t spiHz, std::int64_t roundTripNs)
{
    const double pages = double(bytes) / kPageSize;
    const double wire = double(kPageWireBytes) * 8 / spiHz;
    return pages * (wire + double(roundTripNs) / 1e9 + double(kPageProgramNs) / 1e9);
}

struct Case
{
    const char* label;
    const char* form;
    std::uint32_t clockHz;
    const UsbBusModel* model;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const std::uint32_t mib = argc > 1 ? std::uint32_t(std::max(1, std::atoi(argv[1]))) : 16;
    const std::uint32_t bytes = std::min<std::uint32_t>(mib, 16) << 20;
    const auto data = randomImage(bytes);
    std::printf("Writing %u MiB to an erased W25Q128 (page program %.1f ms), modelled, not measured on "
                "hardware:\n",
                bytes >> 20, kPageProgramNs / 1e6);
    std::printf("%-20s %9s %11s %10s %7s %17s %9s\n", "programmer", "SPI MHz", "modelled s", "bound s",
                "ratio", "no WEL check, s", "wall s");
    const Case cases[] = {
        {"CH341A (full speed)", "ch341a", 50000000, &kFullSpeed},
        {"CH347 at 60 MHz", "ch347", 60000000, &kHighSpeedCh347},
        {"FT232H at 30 MHz", "ft232h", 30000000, &kHighSpeedFtdi},
        {"FT2232H at 30 MHz", "ft2232h", 30000000, &kHighSpeedFtdi},
    };
    int status = 0;
    double ch341a = 0;
    for (const Case& c : cases) {
        const Run checked = writeOurs(c.form, c.clockHz, *c.model, data, true);
        const Run unchecked = writeOurs(c.form, c.clockHz, *c.model, data, false);
        if (!checked.ok || !unchecked.ok)
            return 1;
        const double bound = boundSeconds(bytes, checked.spiHz, c.model->frameNs);
        std::printf("%-20s %9.3f %11.3f %10.3f %7.3f %17.3f %9.2f\n", c.label, checked.spiHz / 1e6,
                    checked.modelled, bound, checked.modelled / bound, unchecked.modelled, checked.wall);
        if (std::string(c.form) == "ch341a") {
            ch341a = checked.modelled;
            if (checked.modelled / bound > 1.3)
                status = 2;
        }
    }
    const Run spidev = writeSpidev(data, 25000000, true);
    const Run spidevUnchecked = writeSpidev(data, 25000000, false);
    if (!spidev.ok || !spidevUnchecked.ok)
        return 1;
    const double spidevBound = boundSeconds(bytes, spidev.spiHz, kSpidevMessageNs);
    std::printf("%-20s %9.3f %11.3f %10.3f %7.3f %17.3f %9.2f\n", "spidev (20 us a msg)", spidev.spiHz / 1e6,
                spidev.modelled, spidevBound, spidev.modelled / spidevBound, spidevUnchecked.modelled,
                spidev.wall);
    const Run peer = writePeer(data);
    if (!peer.ok)
        return 1;
    const double bound = boundSeconds(bytes, peer.spiHz, kFullSpeed.frameNs);
    std::printf("%-20s %9.3f %11.3f %10.3f %7.3f %17s %9.2f\n", "CH341A, peer's driver", peer.spiHz / 1e6,
                peer.modelled, bound, peer.modelled / bound, "-", peer.wall);
    std::printf("CH341A: ours / peer's = %.5f (goal <= 0.6)\n", ch341a / peer.modelled);
    if (ch341a / peer.modelled > 0.6)
        status = 2;
    return status;
}
