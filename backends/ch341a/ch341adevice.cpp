#include "backends/ch341a/ch341adevice.h"

#include "core/adapter/adapterresult.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>

namespace korvane {

namespace {

const std::array<std::uint8_t, 256> kReversed = [] {
    std::array<std::uint8_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        std::uint8_t r = 0;
        for (int bit = 0; bit < 8; ++bit)
            if (i & (1 << bit))
                r |= static_cast<std::uint8_t>(0x80 >> bit);
        table[static_cast<std::size_t>(i)] = r;
    }
    return table;
}();

int chipSelectOf(int selector)
{
    const int port = selector & 0x0F;
    const int cs = (selector >> 4) & 0x0F;
    return (selector & ~0xFF) == 0 && port == 0 && cs < Ch341aDevice::kChipSelects ? cs : -1;
}

int sendAll(UsbDeviceHandle& usb, const std::uint8_t* bytes, int length)
{
    std::vector<std::uint8_t> copy(bytes, bytes + length);
    int moved = 0;
    const int code =
        usb.bulkTransfer(Ch341aDevice::kOutEndpoint, copy.data(), length, &moved, Ch341aDevice::kTimeoutMs);
    if (code != AdapterOk)
        return code;
    return moved == length ? AdapterOk : AdapterErrorTransport;
}

} // namespace

Ch341aDevice::Ch341aDevice(UsbBus& bus, const UsbDeviceDescription& description, const UsbAdapterKind& kind)
    : UsbAdapterDevice(bus, description, kind)
{
}

Ch341aDevice::~Ch341aDevice()
{
    close();
}

std::uint8_t Ch341aDevice::reverseBits(std::uint8_t byte)
{
    return kReversed[byte];
}

int Ch341aDevice::setUp(UsbDeviceHandle& usb)
{
    if (const int code = usb.claimInterface(0))
        return code;
    const std::uint8_t speed[] = {kI2cStream, kI2cSetSpeed | 1, kI2cEnd};
    if (const int code = sendAll(usb, speed, sizeof speed))
        return code;
    // Every chip select released before the pins are driven at all.
    const std::uint8_t pins[] = {kUioStream, kUioOut | kPinsIdle, kUioDirection | kPinsOutput, kUioEnd};
    return sendAll(usb, pins, sizeof pins);
}

void Ch341aDevice::tearDown(UsbDeviceHandle& usb)
{
    // Pins back to inputs, so that the chip can be taken off the socket safely.
    const std::uint8_t pins[] = {kUioStream, kUioOut | kPinsIdle, kUioDirection, kUioEnd};
    sendAll(usb, pins, sizeof pins);
}

std::string Ch341aDevice::spiSummary() const
{
    return "SPI1-CS0..CS2 on D0..D2, 2 MHz fixed";
}

int Ch341aDevice::configure(int selector, std::uint32_t, std::uint32_t* actualHz)
{
    if (chipSelectOf(selector) < 0)
        return AdapterErrorUnsupported;
    if (actualHz)
        *actualHz = kClockHz;
    return AdapterOk;
}

SpiTransferLimits Ch341aDevice::transferLimits(int) const
{
    SpiTransferLimits limits;
    limits.statusReadNs = kStatusReadNs;
    return limits;
}

int Ch341aDevice::transferFrames(int selector, const SpiFrame* frames, int count)
{
    UsbDeviceHandle* usbHandle = usb();
    if (usbHandle == nullptr)
        return AdapterErrorTransport;
    const int cs = chipSelectOf(selector);
    if (cs < 0)
        return AdapterErrorUnsupported;
    if (!validFrames(frames, count))
        return AdapterErrorArgument;
    int totalPackets = 0;
    int frameCount = 0;
    for (int f = 0; f < count; ++f) {
        const SpiFrame& frame = frames[f];
        const int total = frame.sendCount + frame.receiveCount;
        totalPackets += (total + kDataPerPacket - 1) / kDataPerPacket;
        frameCount += total > 0 ? 1 : 0;
    }
    if (frameCount == 0)
        return AdapterOk;

    // One queue: chip select low, the first frame's data packets; for each further frame a packet
    // that pulses chip select (high, then low again) and its data packets; at last chip select high.
    // A pin packet is padded to a whole packet so that the data packets follow in the same
    // transfer; only a frame's last data packet may be short, so each frame ends its transfer (and a
    // long one is split into transfers of kOutChunkPackets). A frame in a transfer of its own also
    // reaches the device only once the one before it has started, so that status reads queued
    // behind a program are spread over the time the chip works instead of read all at once.
    const std::uint8_t low = static_cast<std::uint8_t>(kUioOut | (kPinsIdle & ~(1 << cs)));
    out.assign(static_cast<std::size_t>(kPacketSize) * static_cast<std::size_t>(totalPackets + frameCount), 0);
    std::vector<std::pair<std::size_t, int>> transfers; // offset, length
    std::vector<int> answerSizes;                          // bytes of each data packet, in order
    std::uint8_t* at = out.data();
    bool first = true;
    for (int f = 0; f < count; ++f) {
        const SpiFrame& frame = frames[f];
        const int total = frame.sendCount + frame.receiveCount;
        if (total == 0)
            continue;
        std::uint8_t* start = at;
        at[0] = kUioStream;
        if (first) {
            at[1] = low;
            at[2] = kUioEnd;
        } else {
            at[1] = kUioOut | kPinsIdle;
            at[2] = low;
            at[3] = kUioEnd;
        }
        first = false;
        at += kPacketSize;
        for (int done = 0; done < total; done += kDataPerPacket) {
            const int bytes = std::min(kDataPerPacket, total - done);
            *at++ = kSpiStream;
            for (int i = done; i < done + bytes; ++i)
                *at++ = i < frame.sendCount ? kReversed[frame.send[i]] : 0xFF;
            answerSizes.push_back(bytes);
        }
        const std::size_t offset = static_cast<std::size_t>(start - out.data());
        const int length = static_cast<int>(at - start);
        for (int chunk = 0; chunk < length; chunk += kOutChunkPackets * kPacketSize)
            transfers.emplace_back(offset + static_cast<std::size_t>(chunk),
                                   std::min(kOutChunkPackets * kPacketSize, length - chunk));
    }
    std::uint8_t release[] = {kUioStream, kUioOut | kPinsIdle, kUioEnd};
    const int packets = static_cast<int>(answerSizes.size());
    answer.assign(static_cast<std::size_t>(packets) * kDataPerPacket, 0);

    std::vector<int> outTickets;
    int result = AdapterOk;
    for (const auto& [offset, length] : transfers) {
        const int ticket = usbHandle->submitBulk(kOutEndpoint, out.data() + offset, length, kTimeoutMs);
        if (ticket < 0) {
            result = ticket;
            break;
        }
        outTickets.push_back(ticket);
    }
    if (result == AdapterOk) {
        const int ticket = usbHandle->submitBulk(kOutEndpoint, release, sizeof release, kTimeoutMs);
        if (ticket < 0)
            result = ticket;
        else
            outTickets.push_back(ticket);
    }

    // The answers: one packet per data packet, each its own transfer, kInFlight of them ahead.
    std::vector<std::array<std::uint8_t, kPacketSize>> slots(
        static_cast<std::size_t>(std::min(packets, kInFlight)));
    std::deque<std::pair<int, int>> inFlight; // ticket, packet
    int nextPacket = 0;
    int donePackets = 0;
    while (result == AdapterOk && donePackets < packets) {
        while (nextPacket < packets && static_cast<int>(inFlight.size()) < kInFlight) {
            std::uint8_t* slot = slots[static_cast<std::size_t>(nextPacket % kInFlight)].data();
            const int ticket = usbHandle->submitBulk(kInEndpoint, slot, kPacketSize, kTimeoutMs);
            if (ticket < 0) {
                result = ticket;
                break;
            }
            inFlight.emplace_back(ticket, nextPacket++);
        }
        if (result != AdapterOk)
            break;
        const auto [ticket, packet] = inFlight.front();
        inFlight.pop_front();
        int moved = 0;
        result = usbHandle->waitBulk(ticket, &moved);
        if (result != AdapterOk)
            break;
        const int expected = answerSizes[static_cast<std::size_t>(packet)];
        if (moved != expected) {
            result = AdapterErrorProtocol;
            break;
        }
        std::memcpy(answer.data() + static_cast<std::size_t>(packet) * kDataPerPacket,
                    slots[static_cast<std::size_t>(packet % kInFlight)].data(), static_cast<std::size_t>(expected));
        ++donePackets;
    }
    for (std::size_t i = 0; i < outTickets.size() && result == AdapterOk; ++i) {
        int moved = 0;
        result = usbHandle->waitBulk(outTickets[i], &moved);
    }
    if (result != AdapterOk) {
        // What is still queued is not sent: the device is closed, so the next open starts afresh.
        usbHandle->cancelAll();
        return failed(result);
    }
    // The callers' buffers only change once the whole batch went through.
    std::size_t packet = 0;
    for (int f = 0; f < count; ++f) {
        const SpiFrame& frame = frames[f];
        const int total = frame.sendCount + frame.receiveCount;
        for (int i = frame.sendCount; i < total; ++i) {
            const std::size_t p = packet + static_cast<std::size_t>(i / kDataPerPacket);
            frame.receive[i - frame.sendCount] =
                kReversed[answer[p * kDataPerPacket + static_cast<std::size_t>(i % kDataPerPacket)]];
        }
        packet += static_cast<std::size_t>((total + kDataPerPacket - 1) / kDataPerPacket);
    }
    return AdapterOk;
}

} // namespace korvane
