#include "backends/ch341a/ch341adevice.h"

#include "core/adapter/adapterresult.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>

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

int Ch341aDevice::transfer(int selector, const std::uint8_t* send, int sendCount, std::uint8_t* receive,
                           int receiveCount)
{
    UsbDeviceHandle* usbHandle = usb();
    if (usbHandle == nullptr)
        return AdapterErrorTransport;
    const int cs = chipSelectOf(selector);
    if (cs < 0)
        return AdapterErrorUnsupported;
    if (sendCount < 0 || receiveCount < 0)
        return AdapterErrorArgument;
    const int total = sendCount + receiveCount;
    if (total == 0)
        return AdapterOk;
    const int packets = (total + kDataPerPacket - 1) / kDataPerPacket;

    // Chip select low, padded to a whole packet so that the data packets follow in the same queue.
    out.assign(static_cast<std::size_t>(kPacketSize) * (packets + 1), 0);
    std::uint8_t* at = out.data();
    at[0] = kUioStream;
    at[1] = static_cast<std::uint8_t>(kUioOut | (kPinsIdle & ~(1 << cs)));
    at[2] = kUioEnd;
    at += kPacketSize;
    for (int p = 0; p < packets; ++p) {
        const int first = p * kDataPerPacket;
        const int count = std::min(kDataPerPacket, total - first);
        *at++ = kSpiStream;
        for (int i = first; i < first + count; ++i)
            *at++ = i < sendCount ? kReversed[send[i]] : 0xFF;
    }
    const int outLength = static_cast<int>(at - out.data());
    // Only the last packet may be short: chip select goes high in a transfer of its own.
    std::uint8_t release[] = {kUioStream, kUioOut | kPinsIdle, kUioEnd};
    answer.assign(static_cast<std::size_t>(total), 0);

    std::vector<int> outTickets;
    int result = AdapterOk;
    for (int offset = 0; offset < outLength && result == AdapterOk;
         offset += kOutChunkPackets * kPacketSize) {
        const int length = std::min(kOutChunkPackets * kPacketSize, outLength - offset);
        const int ticket = usbHandle->submitBulk(kOutEndpoint, out.data() + offset, length, kTimeoutMs);
        if (ticket < 0)
            result = ticket;
        else
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
        const int first = packet * kDataPerPacket;
        const int expected = std::min(kDataPerPacket, total - first);
        if (moved != expected) {
            result = AdapterErrorProtocol;
            break;
        }
        std::memcpy(answer.data() + first, slots[static_cast<std::size_t>(packet % kInFlight)].data(),
                    static_cast<std::size_t>(expected));
        ++donePackets;
    }
    for (std::size_t i = 0; i < outTickets.size() && result == AdapterOk; ++i) {
        int moved = 0;
        result = usbHandle->waitBulk(outTickets[i], &moved);
    }
    if (result != AdapterOk) {
        usbHandle->cancelAll();
        return failed(result);
    }
    // The caller's buffer only changes once the whole transfer went through.
    for (int i = 0; i < receiveCount; ++i)
        receive[i] = kReversed[answer[static_cast<std::size_t>(sendCount + i)]];
    return AdapterOk;
}
