// Reading 16 MiB through each USB backend over its emulator, timed by a model of the bus and the
// programmer, not by hardware: prints the modelled time, the model's bound and their ratio, and
// the real time the emulation took. See docs/performance.md for the model.
//
//   bench_usb [MiB]
#include "backends/backendtable.h"
#include "backends/simulated/simulatedchip.h"
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
#include <deque>
#include <map>

namespace {

// The model. Time is the virtual clock the host runs on; the host itself costs nothing.
//  - The bus runs (micro)frames of frameNs. A transfer starts moving at the first frame boundary
//    after it was queued; the host learns that a transfer ended at the end of the frame its last
//    packet moved in.
//  - Each direction moves one packet every frameNs / packetsPerFrame (full speed: 19 packets of
//    a 1 ms frame, the bulk figure for 64-byte packets, taken for the CH341A's 32-byte ones too;
//    high speed: 13 packets of 512 bytes per 125 us microframe).
//  - The programmer clocks the SPI bytes of an OUT transfer at the SPI clock once the transfer
//    is in and the bytes before it are out; it takes the next OUT transfer once it has started
//    on the one before (one transfer of buffering). An answer can move once the SPI bytes that
//    produce it are clocked, spread evenly over them.
struct Model
{
    const char* name;
    std::int64_t frameNs;
    int packetsPerFrame;
    int maxPacket;
    int dataPerInPacket; // SPI data bytes one IN packet carries
};

const Model kFullSpeed{"full speed", 1000000, 19, 32, 31};
const Model kHighSpeedCh347{"high speed", 125000, 13, 512, 507};
const Model kHighSpeedFtdi{"high speed", 125000, 13, 512, 510};

class TimingModel
{
public:
    TimingModel(EmulatedUsbBus& bus, EmulatedUsbDevice& device, VirtualClock& clock, const Model& model,
                std::uint32_t spiHz)
        : device(device), clock(clock), model(model), spiHz(spiHz)
    {
        packetNs = model.frameNs / model.packetsPerFrame;
        bus.onSubmit = [this](EmulatedUsbDevice*, std::uint8_t, long long order) {
            submittedAt[order] = this->clock.now;
        };
        bus.onWait = [this](EmulatedUsbDevice*) { mark(); };
        bus.onTransfer = [this](const EmulatedUsbBus::TransferEvent& event) { ended(event); };
        bus.onWaitDone = [this](long long order) {
            const auto it = completion.find(order);
            if (it == completion.end())
                return;
            const std::int64_t visible = frameEnd(it->second);
            this->clock.now = std::max(this->clock.now, visible);
            completion.erase(it);
        };
    }

private:
    std::int64_t nextFrame(std::int64_t t) const
    {
        return (t + model.frameNs - 1) / model.frameNs * model.frameNs;
    }
    std::int64_t frameEnd(std::int64_t t) const { return (t / model.frameNs + 1) * model.frameNs; }

    void mark()
    {
        clockedMark = device.wire.bytesClocked();
        queuedMark = device.answerBytesQueued;
        sentMark = device.answerBytesSent;
    }

    void ended(const EmulatedUsbBus::TransferEvent& event)
    {
        const std::int64_t submitted = submittedAt[event.submittedAt];
        submittedAt.erase(event.submittedAt);
        const int packets = std::max(1, (event.moved + model.maxPacket - 1) / model.maxPacket);
        const long long clocked = device.wire.bytesClocked() - clockedMark;
        const long long queued = device.answerBytesQueued - queuedMark;
        const long long sent = device.answerBytesSent - sentMark;
        mark();
        std::int64_t done;
        if (!(event.endpoint & 0x80)) {
            // Taken once the programmer started on the transfer before.
            const std::int64_t start = std::max({nextFrame(submitted), outFree, acceptFrom});
            outFree = start + packets * packetNs;
            done = outFree;
            const std::int64_t spiStart = std::max(done, spiFree);
            const std::int64_t spiNs = clocked * 8 * 1000000000LL / spiHz;
            spiFree = spiStart + spiNs;
            acceptFrom = spiStart;
            if (queued > 0)
                ready.push_back(Segment{queued, spiStart, spiFree});
        } else {
            // The last answer byte it carries decides when it can go.
            std::int64_t readyAt = 0;
            long long need = sent;
            while (need > 0 && !ready.empty()) {
                Segment& s = ready.front();
                const long long take = std::min(need, s.bytes - s.taken);
                s.taken += take;
                need -= take;
                readyAt = s.start + (s.end - s.start) * s.taken / s.bytes;
                if (s.taken == s.bytes)
                    ready.pop_front();
            }
            const std::int64_t start = std::max({nextFrame(submitted), inFree, readyAt});
            inFree = start + packets * packetNs;
            done = inFree;
        }
        completion[event.submittedAt] = done;
    }

    struct Segment
    {
        long long bytes;
        std::int64_t start;
        std::int64_t end;
        long long taken = 0;
    };

    EmulatedUsbDevice& device;
    VirtualClock& clock;
    const Model& model;
    std::uint32_t spiHz;
    std::int64_t packetNs;
    std::int64_t outFree = 0, inFree = 0, spiFree = 0, acceptFrom = 0;
    long long clockedMark = 0, queuedMark = 0, sentMark = 0;
    std::map<long long, std::int64_t> submittedAt;
    std::map<long long, std::int64_t> completion;
    std::deque<Segment> ready;
};

struct Case
{
    const char* label;
    const char* form;
    std::uint32_t clockHz;
    const Model* model;
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
    TimingModel model(bus, *device, clock, *c.model, spiHz);
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
