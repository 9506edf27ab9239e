#include "tests/backends/ch347/ch347emulator.h"

#include "core/adapter/adapterresult.h"

#include <algorithm>

using namespace korvane;

namespace {

constexpr int kMaxData = 507;
constexpr int kConfigLength = 26;
constexpr int kClockByte = 12;
constexpr int kBitOrderByte = 14;
constexpr int kCsPolarityByte = 21;

UsbDeviceDescription describe(std::uint16_t productId, int bus, std::vector<int> ports, std::string serial)
{
    UsbDeviceDescription d;
    d.vendorId = 0x1a86;
    d.productId = productId;
    d.bus = bus;
    d.portPath = std::move(ports);
    d.address = 20 + bus;
    d.bcdDevice = 0x0241;
    d.serial = std::move(serial);
    d.product = "USB To UART+SPI+I2C";
    return d;
}

std::uint8_t reversed(std::uint8_t b)
{
    b = static_cast<std::uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = static_cast<std::uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
    return static_cast<std::uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

} // namespace

Ch347Emulator::Ch347Emulator(std::uint16_t productId, int bus, std::vector<int> ports, std::string serial)
    : EmulatedUsbDevice(describe(productId, bus, std::move(ports), std::move(serial)))
{
}

void Ch347Emulator::powerUp()
{
    wire.release();
    config.clear();
    answers.clear();
}

std::uint32_t Ch347Emulator::clockHz() const
{
    return config.empty() ? 0 : 60000000u >> ((config[kClockByte] >> 3) & 7);
}

void Ch347Emulator::answer(std::uint8_t command, const std::uint8_t* data, int length)
{
    std::vector<std::uint8_t> packet{command, static_cast<std::uint8_t>(length & 0xFF),
                                     static_cast<std::uint8_t>(length >> 8)};
    packet.insert(packet.end(), data, data + length);
    answerBytesQueued += static_cast<long long>(packet.size());
    answers.push_back(std::move(packet));
}

void Ch347Emulator::chipSelect(const std::uint8_t* payload)
{
    // Releases first, so that moving from one line to the other in one command is fine.
    for (int line = 0; line < 2; ++line) {
        const std::uint8_t control = payload[5 * line];
        if ((control & 0x80) && (control & 0x40) && wire.selected() == line)
            wire.release();
    }
    for (int line = 0; line < 2; ++line) {
        const std::uint8_t control = payload[5 * line];
        if ((control & 0x80) && !(control & 0x40) && wire.selected() != line)
            beginFrame(line);
    }
}

int Ch347Emulator::bulkOut(std::uint8_t endpoint, const std::uint8_t* data, int length)
{
    ++commands;
    if (endpoint != 0x06) {
        violation("bulk OUT to endpoint " + std::to_string(endpoint) + ", the CH347 takes 0x06");
        return AdapterErrorTransport;
    }
    if (length < 3) {
        violation("command packet of " + std::to_string(length) + " bytes, shorter than its header");
        return AdapterErrorTransport;
    }
    const int payload = data[1] | (data[2] << 8);
    if (payload + 3 != length) {
        violation("command " + std::to_string(data[0]) + " says " + std::to_string(payload) +
                  " bytes, carries " + std::to_string(length - 3));
        return AdapterErrorTransport;
    }
    const std::uint8_t* p = data + 3;
    const std::size_t before = violations().size();
    const bool needsClock = data[0] == 0xC2 || data[0] == 0xC3 || data[0] == 0xC4;
    if (needsClock && config.empty())
        violation("SPI data before the interface was configured");
    bool lsbFirst = !config.empty() && (config[kBitOrderByte] & 0x80);
    switch (data[0]) {
    case 0xC0: {
        if (payload != kConfigLength) {
            violation("configuration of " + std::to_string(payload) + " bytes");
            return AdapterErrorTransport;
        }
        config.assign(p, p + payload);
        if (config[6] & 0x02 || config[8] & 0x01)
            violation("SPI mode other than 0");
        if (config[kCsPolarityByte] & 0xC0)
            violation("chip selects made active high");
        const std::uint8_t ok = 0;
        answer(0xC0, &ok, 1);
        break;
    }
    case 0xCA: {
        if (payload != 1) {
            violation("configuration query of " + std::to_string(payload) + " bytes");
            return AdapterErrorTransport;
        }
        std::vector<std::uint8_t> reply =
            config.empty() ? std::vector<std::uint8_t>(kConfigLength, 0) : config;
        if (reportedDivisor >= 0)
            reply[kClockByte] = static_cast<std::uint8_t>(reportedDivisor << 3);
        answer(0xCA, reply.data(), kConfigLength);
        break;
    }
    case 0xC1:
        if (payload != 10) {
            violation("chip select command of " + std::to_string(payload) + " bytes");
            return AdapterErrorTransport;
        }
        chipSelect(p);
        if (!plugged())
            return AdapterErrorNoDevice;
        break;
    case 0xC4: {
        if (payload == 0 || payload > kMaxData) {
            violation("write packet of " + std::to_string(payload) + " data bytes");
            return AdapterErrorTransport;
        }
        std::vector<std::uint8_t> mosi(p, p + payload);
        if (lsbFirst)
            std::transform(mosi.begin(), mosi.end(), mosi.begin(), reversed);
        wire.clock(mosi.data(), nullptr, payload);
        const std::uint8_t ok = 0;
        answer(0xC4, &ok, 1);
        break;
    }
    case 0xC3: {
        if (payload != 4) {
            violation("read request of " + std::to_string(payload) + " bytes, not a 32-bit count");
            return AdapterErrorTransport;
        }
        const std::uint32_t count = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 |
                                    std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
        if (count == 0 || count > (64u << 20)) {
            violation("read request of " + std::to_string(count) + " bytes");
            return AdapterErrorTransport;
        }
        std::vector<std::uint8_t> miso(count);
        wire.clock(nullptr, miso.data(), static_cast<int>(count));
        if (lsbFirst)
            std::transform(miso.begin(), miso.end(), miso.begin(), reversed);
        for (std::uint32_t at = 0; at < count; at += kMaxData)
            answer(0xC3, miso.data() + at, static_cast<int>(std::min<std::uint32_t>(kMaxData, count - at)));
        break;
    }
    case 0xC2: {
        if (payload == 0 || payload > kMaxData) {
            violation("exchange packet of " + std::to_string(payload) + " data bytes");
            return AdapterErrorTransport;
        }
        std::vector<std::uint8_t> mosi(p, p + payload);
        std::vector<std::uint8_t> miso(mosi.size());
        wire.clock(mosi.data(), miso.data(), payload);
        answer(0xC2, miso.data(), payload);
        break;
    }
    default:
        violation("unknown command " + std::to_string(data[0]));
        return AdapterErrorTransport;
    }
    return violations().size() == before ? AdapterOk : AdapterErrorTransport;
}

int Ch347Emulator::bulkIn(std::uint8_t endpoint, std::uint8_t* data, int length)
{
    if (endpoint != 0x86) {
        violation("bulk IN from endpoint " + std::to_string(endpoint) + ", the CH347 answers on 0x86");
        return AdapterErrorTransport;
    }
    if (answers.empty())
        return kNothingYet;
    const std::vector<std::uint8_t> packet = std::move(answers.front());
    answers.pop_front();
    if (static_cast<int>(packet.size()) > length) {
        violation("answer of " + std::to_string(packet.size()) + " bytes asked for into " +
                  std::to_string(length));
        return AdapterErrorTransport;
    }
    std::copy(packet.begin(), packet.end(), data);
    answerBytesSent += static_cast<long long>(packet.size());
    return static_cast<int>(packet.size());
}
