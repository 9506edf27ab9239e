#include "backends/ftdi/ftdidevice.h"

#include "core/adapter/adapterresult.h"

#include <algorithm>
#include <cstring>
#include <deque>

namespace korvane {

namespace {

constexpr std::uint8_t kVendorOut = 0x40; // vendor request to the device, host to device
constexpr int kMaxDivisor = 0xFFFF;

int chipSelectOf(int selector)
{
    const int port = selector & 0x0F;
    const int cs = (selector >> 4) & 0x0F;
    return (selector & ~0xFF) == 0 && port == 0 && cs < FtdiDevice::kChipSelects ? cs : -1;
}

void appendClocking(std::vector<std::uint8_t>& out, std::uint8_t command, const std::uint8_t* data, int count)
{
    for (int first = 0; first < count; first += FtdiDevice::kMaxChunk) {
        const int chunk = std::min(FtdiDevice::kMaxChunk, count - first);
        out.push_back(command);
        out.push_back(static_cast<std::uint8_t>((chunk - 1) & 0xFF));
        out.push_back(static_cast<std::uint8_t>((chunk - 1) >> 8));
        if (data)
            out.insert(out.end(), data + first, data + first + chunk);
    }
}

} // namespace

FtdiDevice::FtdiDevice(UsbBus& bus, const UsbDeviceDescription& description, const UsbAdapterKind& kind)
    : UsbAdapterDevice(bus, description, kind)
{
}

FtdiDevice::~FtdiDevice()
{
    close();
}

int FtdiDevice::divisorFor(std::uint32_t clockHz)
{
    if (clockHz == 0)
        return kMaxDivisor;
    // 30 MHz / (1 + d) <= clockHz
    const std::uint64_t half = kBaseClockHz / 2;
    const std::uint64_t d = (half + clockHz - 1) / clockHz;
    return static_cast<int>(std::clamp<std::uint64_t>(d, 1, kMaxDivisor + 1) - 1);
}

std::uint32_t FtdiDevice::clockOf(int divisor)
{
    return kBaseClockHz / ((1u + static_cast<std::uint32_t>(divisor)) * 2u);
}

int FtdiDevice::control(UsbDeviceHandle& usb, std::uint8_t request, std::uint16_t value)
{
    const int moved = usb.controlTransfer(kVendorOut, request, value, kChannelA, nullptr, 0, kTimeoutMs);
    return moved < 0 ? moved : AdapterOk;
}

int FtdiDevice::send(UsbDeviceHandle& usb, std::vector<std::uint8_t> bytes)
{
    int moved = 0;
    const int code =
        usb.bulkTransfer(kOutEndpoint, bytes.data(), static_cast<int>(bytes.size()), &moved, kTimeoutMs);
    if (code != AdapterOk)
        return code;
    return moved == static_cast<int>(bytes.size()) ? AdapterOk : AdapterErrorTransport;
}

int FtdiDevice::setUp(UsbDeviceHandle& usb)
{
    if (const int code = usb.claimInterface(0))
        return code;
    for (const auto& [request, value] : {std::pair<std::uint8_t, std::uint16_t>{kRequestReset, kResetSio},
                                         {kRequestSetLatency, kLatencyMs},
                                         {kRequestSetBitmode, kBitmodeReset},
                                         {kRequestSetBitmode, std::uint16_t(kBitmodeMpsse | kPinDirections)},
                                         {kRequestReset, kPurgeRx},
                                         {kRequestReset, kPurgeTx}}) {
        if (const int code = control(usb, request, value))
            return code;
    }
    const int divisor = kMaxDivisor;
    return send(usb, {kPrescalerOff, kAdaptiveOff, kThreePhaseOff, kLoopbackOff, kSetDivisor,
                      static_cast<std::uint8_t>(divisor & 0xFF), static_cast<std::uint8_t>(divisor >> 8),
                      kSetLowByte, kPinsIdle, kPinDirections});
}

void FtdiDevice::tearDown(UsbDeviceHandle& usb)
{
    // Pins back to inputs and the chip out of MPSSE mode.
    send(usb, {kSetLowByte, kPinsIdle, 0x00});
    control(usb, kRequestSetBitmode, kBitmodeReset);
}

std::string FtdiDevice::spiSummary() const
{
    return "SPI1-CS0 on ADBUS3, CS1..CS4 on GPIOL0..3, up to 30 MHz";
}

int FtdiDevice::configure(int selector, std::uint32_t clockHz, std::uint32_t* actualHz)
{
    UsbDeviceHandle* usbHandle = usb();
    if (usbHandle == nullptr)
        return AdapterErrorTransport;
    if (chipSelectOf(selector) < 0)
        return AdapterErrorUnsupported;
    const int divisor = divisorFor(clockHz);
    if (const int code = send(*usbHandle, {kSetDivisor, static_cast<std::uint8_t>(divisor & 0xFF),
                                           static_cast<std::uint8_t>(divisor >> 8)}))
        return failed(code);
    clockHz = clockOf(divisor);
    if (actualHz)
        *actualHz = clockHz;
    return AdapterOk;
}

SpiTransferLimits FtdiDevice::transferLimits(int) const
{
    // Status reads in one command stream follow each other at the SPI clock: two bytes each, the
    // chip-select commands not counted.
    SpiTransferLimits limits;
    limits.statusReadNs = clockHz > 0 ? 16 * std::int64_t(1000000000) / clockHz : 0;
    return limits;
}

int FtdiDevice::transferFrames(int selector, const SpiFrame* frames, int count)
{
    UsbDeviceHandle* usbHandle = usb();
    if (usbHandle == nullptr)
        return AdapterErrorTransport;
    const int cs = chipSelectOf(selector);
    if (cs < 0)
        return AdapterErrorUnsupported;
    if (!validFrames(frames, count))
        return AdapterErrorArgument;
    int receiveCount = 0;
    bool any = false;
    for (int f = 0; f < count; ++f) {
        const SpiFrame& frame = frames[f];
        receiveCount += frame.receiveCount;
        any = any || frame.sendCount + frame.receiveCount > 0;
    }
    if (!any)
        return AdapterOk;

    // One command stream for the whole batch: for each frame chip select low, bytes out, bytes in,
    // chip select high; then send now.
    out.clear();
    for (int f = 0; f < count; ++f) {
        const SpiFrame& frame = frames[f];
        if (frame.sendCount + frame.receiveCount == 0)
            continue;
        out.insert(out.end(), {kSetLowByte, static_cast<std::uint8_t>(kPinsIdle & ~(1 << chipSelectPin(cs))),
                               kPinDirections});
        appendClocking(out, kBytesOutFalling, frame.send, frame.sendCount);
        appendClocking(out, kBytesInRising, nullptr, frame.receiveCount);
        out.insert(out.end(), {kSetLowByte, kPinsIdle, kPinDirections});
    }
    out.push_back(kSendImmediate);

    int result = AdapterOk;
    const int outTicket =
        usbHandle->submitBulk(kOutEndpoint, out.data(), static_cast<int>(out.size()), kTimeoutMs);
    if (outTicket < 0)
        result = outTicket;

    // Answers are asked for a few transfers ahead, never for more than can still come.
    constexpr int kSlotBytes = kInPackets * kPacketSize;
    struct Pending
    {
        int ticket;
        int slot;
        int capacity; // data bytes it can hold
    };
    staged.assign(static_cast<std::size_t>(receiveCount), 0);
    slots.resize(static_cast<std::size_t>(kSlotBytes) * kInFlight);
    std::deque<Pending> inFlight;
    int received = 0;
    int requested = 0; // what the transfers in flight can hold together
    int nextSlot = 0;
    int emptyReads = 0;
    while (result == AdapterOk && received < receiveCount) {
        while (static_cast<int>(inFlight.size()) < kInFlight && received + requested < receiveCount) {
            const int wanted = receiveCount - received - requested;
            const int packets = std::min(kInPackets, (wanted + kDataPerPacket - 1) / kDataPerPacket);
            std::uint8_t* slot = slots.data() + static_cast<std::size_t>(nextSlot) * kSlotBytes;
            const int ticket = usbHandle->submitBulk(kInEndpoint, slot, packets * kPacketSize, kTimeoutMs);
            if (ticket < 0) {
                result = ticket;
                break;
            }
            inFlight.push_back(Pending{ticket, nextSlot, packets * kDataPerPacket});
            requested += packets * kDataPerPacket;
            nextSlot = (nextSlot + 1) % kInFlight;
        }
        if (result != AdapterOk || inFlight.empty())
            break;
        const Pending done = inFlight.front();
        inFlight.pop_front();
        requested -= done.capacity;
        int moved = 0;
        result = usbHandle->waitBulk(done.ticket, &moved);
        if (result != AdapterOk)
            break;
        const std::uint8_t* slot = slots.data() + static_cast<std::size_t>(done.slot) * kSlotBytes;
        // Each packet: two status bytes, then its data.
        int data = 0;
        for (int at = 0; at < moved && result == AdapterOk; at += kPacketSize) {
            const int length = std::min(kPacketSize, moved - at);
            const int bytes = length - kStatusBytes;
            if (bytes < 0 || bytes > receiveCount - received) {
                result = AdapterErrorProtocol;
                break;
            }
            std::memcpy(staged.data() + received, slot + at + kStatusBytes, static_cast<std::size_t>(bytes));
            received += bytes;
            data += bytes;
        }
        emptyReads = data == 0 ? emptyReads + 1 : 0;
        if (emptyReads > kMaxEmptyReads)
            result = AdapterErrorTimedOut;
    }
    if (result == AdapterOk && outTicket >= 0) {
        int moved = 0;
        result = usbHandle->waitBulk(outTicket, &moved);
    }
    // Requests that found the answer already complete: nothing more comes for them.
    if (result != AdapterOk || !inFlight.empty())
        usbHandle->cancelAll();
    if (result != AdapterOk)
        return failed(result);
    // The callers' buffers only change once the whole batch went through.
    int from = 0;
    for (int f = 0; f < count; ++f) {
        if (frames[f].receiveCount > 0)
            std::memcpy(frames[f].receive, staged.data() + from, static_cast<std::size_t>(frames[f].receiveCount));
        from += frames[f].receiveCount;
    }
    return AdapterOk;
}

} // namespace korvane
