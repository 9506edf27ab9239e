#pragma once

// The model of the USB bus and the programmer that times the USB backends over their emulators in
// bench_usb (reads) and bench_usbwrite (writes); docs/performance.md states it. Time is the
// virtual clock the host runs on; the host itself costs nothing.
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
//  - The chip sees the wire's time: a byte is clocked at its place in its transfer's SPI time, a
//    pin command (a chip-select edge) when its transfer's SPI time begins.
#include "core/base/clock.h"
#include "tests/backends/usb/emulatedusb.h"
#include "tests/support/virtualclock.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <map>

namespace korvane {
}
using namespace korvane;

struct UsbBusModel
{
    const char* name;
    std::int64_t frameNs;
    int packetsPerFrame;
    int maxPacket;
    int dataPerInPacket; // SPI data bytes one IN packet carries
};

inline const UsbBusModel kFullSpeed{"full speed", 1000000, 19, 32, 31};
inline const UsbBusModel kHighSpeedCh347{"high speed", 125000, 13, 512, 507};
inline const UsbBusModel kHighSpeedFtdi{"high speed", 125000, 13, 512, 510};

class UsbTimingModel
{
public:
    UsbTimingModel(EmulatedUsbBus& bus, EmulatedUsbDevice& device, VirtualClock& clock, const UsbBusModel& model,
                   std::uint32_t spiHz)
        : usbBus(bus), device(device), clock(clock), model(model), spiHz(spiHz)
    {
        packetNs = model.frameNs / model.packetsPerFrame;
        bus.onSubmit = [this](EmulatedUsbDevice*, std::uint8_t, long long order) {
            submittedAt[order] = this->clock.now;
        };
        bus.onDeliver = [this](long long order, int length) { deliver(order, length); };
        bus.onTransfer = [this](const EmulatedUsbBus::TransferEvent& event) { ended(event); };
        bus.onWaitDone = [this](long long order) {
            const auto it = completion.find(order);
            if (it == completion.end())
                return;
            const std::int64_t visible = frameEnd(it->second);
            this->clock.now = std::max(this->clock.now, visible);
            completion.erase(it);
        };
        wireBase = clock.now;
        clockedBase = device.wire.bytesClocked();
        sentMark = device.answerBytesSent;
    }
    // The bus outlives the model: what it still does (the programmer let go at the end) is not timed.
    ~UsbTimingModel()
    {
        usbBus.onSubmit = nullptr;
        usbBus.onDeliver = nullptr;
        usbBus.onTransfer = nullptr;
        usbBus.onWaitDone = nullptr;
    }
    UsbTimingModel(const UsbTimingModel&) = delete;
    UsbTimingModel& operator=(const UsbTimingModel&) = delete;

    // Where the SPI wire is now: the time the byte being clocked goes out.
    std::int64_t wireNow() const
    {
        return wireBase + (device.wire.bytesClocked() - clockedBase) * 8 * 1000000000LL / spiHz;
    }
    std::uint32_t clockHz() const { return spiHz; }
    const UsbBusModel& bus() const { return model; }

private:
    std::int64_t nextFrame(std::int64_t t) const
    {
        return (t + model.frameNs - 1) / model.frameNs * model.frameNs;
    }
    std::int64_t frameEnd(std::int64_t t) const { return (t / model.frameNs + 1) * model.frameNs; }

    // An OUT transfer reaches the programmer: when it is in, and when its SPI bytes start.
    void deliver(long long order, int length)
    {
        const std::int64_t submitted = submittedAt[order];
        const int packets = std::max(1, (length + model.maxPacket - 1) / model.maxPacket);
        // Taken once the programmer started on the transfer before.
        const std::int64_t start = std::max({nextFrame(submitted), outFree, acceptFrom});
        outFree = start + packets * packetNs;
        deliveredOrder = order;
        spiStart = std::max(outFree, spiFree);
        wireBase = spiStart;
        clockedBase = device.wire.bytesClocked();
        queuedMark = device.answerBytesQueued;
    }

    void ended(const EmulatedUsbBus::TransferEvent& event)
    {
        const std::int64_t submitted = submittedAt[event.submittedAt];
        submittedAt.erase(event.submittedAt);
        std::int64_t done;
        if (!(event.endpoint & 0x80)) {
            if (deliveredOrder != event.submittedAt)
                deliver(event.submittedAt, event.length); // refused before it reached the device
            const long long clocked = device.wire.bytesClocked() - clockedBase;
            const long long queued = device.answerBytesQueued - queuedMark;
            done = outFree;
            spiFree = spiStart + clocked * 8 * 1000000000LL / spiHz;
            acceptFrom = spiStart;
            if (queued > 0)
                ready.push_back(Segment{queued, spiStart, spiFree});
            wireBase = spiFree;
            clockedBase = device.wire.bytesClocked();
            deliveredOrder = -1;
        } else {
            const int packets = std::max(1, (event.moved + model.maxPacket - 1) / model.maxPacket);
            const long long sent = device.answerBytesSent - sentMark;
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
        sentMark = device.answerBytesSent;
        completion[event.submittedAt] = done;
    }

    struct Segment
    {
        long long bytes;
        std::int64_t start;
        std::int64_t end;
        long long taken = 0;
    };

    EmulatedUsbBus& usbBus;
    EmulatedUsbDevice& device;
    VirtualClock& clock;
    const UsbBusModel& model;
    std::uint32_t spiHz;
    std::int64_t packetNs;
    std::int64_t outFree = 0, inFree = 0, spiFree = 0, acceptFrom = 0, spiStart = 0;
    std::int64_t wireBase = 0;
    long long clockedBase = 0, queuedMark = 0, sentMark = 0;
    long long deliveredOrder = -1;
    std::map<long long, std::int64_t> submittedAt;
    std::map<long long, std::int64_t> completion;
    std::deque<Segment> ready;
};

// The chips of a timed benchmark run on the wire's time once a model is set, on the host's before.
class WireClock : public Clock
{
public:
    explicit WireClock(const VirtualClock& host) : host(host) {}
    void sleep(int) override {}
    std::int64_t nowNanoseconds() const override { return model ? model->wireNow() : host.now; }
    const UsbTimingModel* model = nullptr;

private:
    const VirtualClock& host;
};
