#include "backends/ch347/ch347device.h"

#include "core/adapter/adapterresult.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>

namespace korvane {

namespace {

int chipSelectOf(int selector)
{
    const int port = selector & 0x0F;
    const int cs = (selector >> 4) & 0x0F;
    return (selector & ~0xFF) == 0 && port == 0 && cs < Ch347Device::kChipSelects ? cs : -1;
}

std::vector<std::uint8_t> framed(std::uint8_t command, int length)
{
    std::vector<std::uint8_t> packet(static_cast<std::size_t>(3 + length), 0);
    packet[0] = command;
    packet[1] = static_cast<std::uint8_t>(length & 0xFF);
    packet[2] = static_cast<std::uint8_t>(length >> 8);
    return packet;
}

// Chip select cs low (take) or high, the other line left as it is.
std::vector<std::uint8_t> chipSelectPacket(int cs, bool take)
{
    std::vector<std::uint8_t> packet = framed(Ch347Device::kChipSelect, Ch347Device::kChipSelectLength);
    packet[static_cast<std::size_t>(3 + 5 * cs)] =
        static_cast<std::uint8_t>(Ch347Device::kCsChange | (take ? 0 : Ch347Device::kCsRelease));
    return packet;
}

} // namespace

Ch347Device::Ch347Device(UsbBus& bus, const UsbDeviceDescription& description, const UsbAdapterKind& kind)
    : UsbAdapterDevice(bus, description, kind)
{
}

Ch347Device::~Ch347Device()
{
    close();
}

const std::vector<std::uint32_t>& Ch347Device::clocks()
{
    static const std::vector<std::uint32_t> table = [] {
        std::vector<std::uint32_t> hz;
        for (int n = 0; n < 8; ++n)
            hz.push_back(kBaseClockHz >> n);
        return hz;
    }();
    return table;
}

int Ch347Device::command(UsbDeviceHandle& usb, std::vector<std::uint8_t> packet,
                         std::vector<std::uint8_t>* reply)
{
    int moved = 0;
    int code =
        usb.bulkTransfer(kOutEndpoint, packet.data(), static_cast<int>(packet.size()), &moved, kTimeoutMs);
    if (code == AdapterOk && moved != static_cast<int>(packet.size()))
        code = AdapterErrorTransport;
    if (code == AdapterOk && reply) {
        reply->assign(kPacketSize, 0);
        code = usb.bulkTransfer(kInEndpoint, reply->data(), kPacketSize, &moved, kTimeoutMs);
        if (code == AdapterOk) {
            reply->resize(static_cast<std::size_t>(moved));
            const std::size_t length = moved >= 3 ? std::size_t((*reply)[1] | ((*reply)[2] << 8)) : 0;
            if (moved < 3 || (*reply)[0] != packet[0] || length + 3 > reply->size())
                code = AdapterErrorProtocol;
        }
    }
    return code;
}

int Ch347Device::setUp(UsbDeviceHandle& usb)
{
    if (const int code = usb.claimInterface(kind().variant))
        return code;
    // Both chip selects released whatever an earlier program left.
    std::vector<std::uint8_t> release = chipSelectPacket(0, false);
    release[3 + 5] = kCsChange | kCsRelease;
    return command(usb, release, nullptr);
}

std::string Ch347Device::spiSummary() const
{
    return "SPI1-CS0/CS1 on CS1/CS2, 60 MHz / 2^n";
}

int Ch347Device::configure(int selector, std::uint32_t clockHz, std::uint32_t* actualHz)
{
    UsbDeviceHandle* usbHandle = usb();
    if (usbHandle == nullptr)
        return AdapterErrorTransport;
    if (chipSelectOf(selector) < 0)
        return AdapterErrorUnsupported;
    const int n = clockIndexFor(clocks(), clockHz);
    // Mode 0, MSB first, both chip selects active low.
    std::vector<std::uint8_t> config = framed(kSetConfig, kConfigLength);
    config[3 + kConfigMode] = 4;
    config[3 + kConfigMaster] = 1;
    config[3 + kConfigFrame] = 2;
    config[3 + kConfigClock] = static_cast<std::uint8_t>(n << 3);
    config[3 + kConfigWordSize] = 7;
    std::vector<std::uint8_t> reply;
    if (const int code = command(*usbHandle, config, &reply))
        return failed(code);
    // Read back: a clock the device did not take would pass unnoticed otherwise.
    std::vector<std::uint8_t> query = framed(kGetConfig, 1);
    if (const int code = command(*usbHandle, query, &reply))
        return failed(code);
    // Only a whole configuration can be compared; a shorter answer proves nothing either way.
    if (reply.size() >= std::size_t(3 + kConfigLength) &&
        (((reply[3 + kConfigClock] >> 3) & 7) != n || (reply[3 + kConfigBitOrder] & 0x80) != 0))
        return failed(AdapterErrorProtocol);
    if (actualHz)
        *actualHz = clocks()[static_cast<std::size_t>(n)];
    return AdapterOk;
}

SpiTransferLimits Ch347Device::transferLimits(int) const
{
    SpiTransferLimits limits;
    limits.statusReadNs = kStatusReadNs;
    return limits;
}

int Ch347Device::transferFrames(int selector, const SpiFrame* frames, int count)
{
    UsbDeviceHandle* usbHandle = usb();
    if (usbHandle == nullptr)
        return AdapterErrorTransport;
    const int cs = chipSelectOf(selector);
    if (cs < 0)
        return AdapterErrorUnsupported;
    if (!validFrames(frames, count))
        return AdapterErrorArgument;

    // Every command a packet of its own, laid out in one buffer: (offset, length) per packet. Chip
    // select is taken before the first frame, released and taken again between frames, released
    // after the last.
    const std::vector<std::uint8_t> take = chipSelectPacket(cs, true);
    const std::vector<std::uint8_t> release = chipSelectPacket(cs, false);
    out.clear();
    std::vector<std::pair<std::size_t, int>> packets;
    auto append = [&](const std::uint8_t* bytes, std::size_t length) {
        packets.emplace_back(out.size(), static_cast<int>(length));
        out.insert(out.end(), bytes, bytes + length);
    };
    // What comes back, in order: an acknowledgement per data packet sent, then a frame's data; or,
    // for a frame short enough to go as one exchange (0xC2), its bytes clocked in, in one packet.
    struct Expected
    {
        int acks;
        int frame;
        bool exchange;
    };
    std::vector<Expected> expected;
    int receiveTotal = 0;
    int ackTotal = 0;
    for (int f = 0; f < count; ++f) {
        const SpiFrame& frame = frames[f];
        if (frame.sendCount + frame.receiveCount == 0)
            continue;
        if (!expected.empty())
            append(release.data(), release.size());
        append(take.data(), take.size());
        const int total = frame.sendCount + frame.receiveCount;
        if (frame.receiveCount > 0 && total <= kMaxData) {
            const std::uint8_t header[] = {kOutIn, static_cast<std::uint8_t>(total & 0xFF),
                                           static_cast<std::uint8_t>(total >> 8)};
            packets.emplace_back(out.size(), 3 + total);
            out.insert(out.end(), header, header + 3);
            out.insert(out.end(), frame.send, frame.send + frame.sendCount);
            out.insert(out.end(), static_cast<std::size_t>(frame.receiveCount), 0xFF);
            expected.push_back(Expected{0, f, true});
            receiveTotal += frame.receiveCount;
            continue;
        }
        const int writePackets = (frame.sendCount + kMaxData - 1) / kMaxData;
        for (int p = 0; p < writePackets; ++p) {
            const int first = p * kMaxData;
            const int n = std::min(kMaxData, frame.sendCount - first);
            const std::uint8_t header[] = {kOut, static_cast<std::uint8_t>(n & 0xFF),
                                           static_cast<std::uint8_t>(n >> 8)};
            packets.emplace_back(out.size(), 3 + n);
            out.insert(out.end(), header, header + 3);
            out.insert(out.end(), frame.send + first, frame.send + first + n);
        }
        if (frame.receiveCount > 0) {
            const std::uint32_t n = static_cast<std::uint32_t>(frame.receiveCount);
            const std::uint8_t request[] = {kIn,
                                            4,
                                            0,
                                            static_cast<std::uint8_t>(n),
                                            static_cast<std::uint8_t>(n >> 8),
                                            static_cast<std::uint8_t>(n >> 16),
                                            static_cast<std::uint8_t>(n >> 24)};
            append(request, sizeof request);
        }
        expected.push_back(Expected{writePackets, f, false});
        receiveTotal += frame.receiveCount;
        ackTotal += writePackets;
    }
    if (expected.empty())
        return AdapterOk;
    append(release.data(), release.size());

    int result = AdapterOk;
    std::vector<int> outTickets;
    for (const auto& [offset, length] : packets) {
        const int ticket = usbHandle->submitBulk(kOutEndpoint, out.data() + offset, length, kTimeoutMs);
        if (ticket < 0) {
            result = ticket;
            break;
        }
        outTickets.push_back(ticket);
    }

    // Answers in order. No more are requested than can still come (each acknowledgement, and at
    // least one data packet per kMaxData bytes still due in each frame), so none is left to swallow
    // the next transfer's answers.
    staged.assign(static_cast<std::size_t>(receiveTotal), 0);
    std::vector<std::array<std::uint8_t, kPacketSize>> slots(kInFlight);
    std::deque<std::pair<int, int>> inFlight; // ticket, slot
    std::size_t current = 0;                  // the frame whose answers come now
    int acksLeft = expected[0].acks;          // of the current frame
    int frameLeft = frames[expected[0].frame].receiveCount;
    int stagedAt = 0;                         // where the current frame's data goes
    int dueAcks = ackTotal;                   // acknowledgements not yet received
    int dueData = receiveTotal;               // bytes not yet received
    auto dataPackets = [&](const Expected& e, int left) {
        return e.exchange ? (left > 0 ? 1 : 0) : (left + kMaxData - 1) / kMaxData;
    };
    auto packetsStillDue = [&] {
        int due = dueAcks + dataPackets(expected[current], frameLeft);
        for (std::size_t i = current + 1; i < expected.size(); ++i)
            due += dataPackets(expected[i], frames[expected[i].frame].receiveCount);
        return due;
    };
    int nextSlot = 0;
    while (result == AdapterOk && (dueAcks > 0 || dueData > 0)) {
        const int due = packetsStillDue();
        while (static_cast<int>(inFlight.size()) < std::min(kInFlight, due)) {
            const int slot = nextSlot;
            nextSlot = (nextSlot + 1) % kInFlight;
            const int ticket = usbHandle->submitBulk(
                kInEndpoint, slots[static_cast<std::size_t>(slot)].data(), kPacketSize, kTimeoutMs);
            if (ticket < 0) {
                result = ticket;
                break;
            }
            inFlight.emplace_back(ticket, slot);
        }
        if (result != AdapterOk || inFlight.empty())
            break;
        const auto [ticket, slot] = inFlight.front();
        inFlight.pop_front();
        int moved = 0;
        result = usbHandle->waitBulk(ticket, &moved);
        if (result != AdapterOk)
            break;
        const std::uint8_t* packet = slots[static_cast<std::size_t>(slot)].data();
        const int length = moved >= 3 ? packet[1] | (packet[2] << 8) : -1;
        if (acksLeft > 0) {
            if (moved < 3 || packet[0] != kOut || length + 3 != moved) {
                result = AdapterErrorProtocol;
                break;
            }
            --acksLeft;
            --dueAcks;
        } else if (expected[current].exchange) {
            const SpiFrame& frame = frames[expected[current].frame];
            if (moved < 3 || packet[0] != kOutIn || length != frame.sendCount + frame.receiveCount ||
                length + 3 != moved) {
                result = AdapterErrorProtocol;
                break;
            }
            std::memcpy(staged.data() + stagedAt, packet + 3 + frame.sendCount,
                        static_cast<std::size_t>(frame.receiveCount));
            stagedAt += frame.receiveCount;
            dueData -= frameLeft;
            frameLeft = 0;
        } else {
            if (moved < 3 || packet[0] != kIn || length <= 0 || length > kMaxData || length + 3 != moved ||
                length > frameLeft) {
                result = AdapterErrorProtocol;
                break;
            }
            std::memcpy(staged.data() + stagedAt, packet + 3, static_cast<std::size_t>(length));
            stagedAt += length;
            frameLeft -= length;
            dueData -= length;
        }
        // On to the next frame once this one's answers are all in.
        while (acksLeft == 0 && frameLeft == 0 && current + 1 < expected.size()) {
            ++current;
            acksLeft = expected[current].acks;
            frameLeft = frames[expected[current].frame].receiveCount;
        }
    }
    for (std::size_t i = 0; i < outTickets.size() && result == AdapterOk; ++i) {
        int moved = 0;
        result = usbHandle->waitBulk(outTickets[i], &moved);
    }
    if (result == AdapterOk && (dueAcks != 0 || dueData != 0))
        result = AdapterErrorProtocol;
    if (result != AdapterOk) {
        usbHandle->cancelAll();
        return failed(result);
    }
    // The callers' buffers only change once the whole batch went through.
    int from = 0;
    for (const Expected& e : expected) {
        const SpiFrame& frame = frames[e.frame];
        if (frame.receiveCount > 0)
            std::memcpy(frame.receive, staged.data() + from, static_cast<std::size_t>(frame.receiveCount));
        from += frame.receiveCount;
    }
    return AdapterOk;
}

} // namespace korvane
