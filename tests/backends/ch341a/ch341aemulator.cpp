#include "tests/backends/ch341a/ch341aemulator.h"

#include "core/adapter/adapterresult.h"

#include <algorithm>

using namespace korvane;

namespace {

constexpr std::uint8_t kSpiStream = 0xA8;
constexpr std::uint8_t kI2cStream = 0xAA;
constexpr std::uint8_t kUioStream = 0xAB;
constexpr std::uint8_t kSck = 1 << 3;
constexpr std::uint8_t kMosi = 1 << 5;
constexpr std::uint8_t kMiso = 1 << 7;

std::uint8_t reversed(std::uint8_t b)
{
    b = static_cast<std::uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = static_cast<std::uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
    return static_cast<std::uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

UsbDeviceDescription describe(int bus, std::vector<int> ports, std::string serial)
{
    UsbDeviceDescription d;
    d.vendorId = 0x1a86;
    d.productId = 0x5512;
    d.bus = bus;
    d.portPath = std::move(ports);
    d.address = 10 + bus;
    d.bcdDevice = 0x0304;
    d.serial = std::move(serial);
    d.product = "USB UART-LPT";
    return d;
}

} // namespace

Ch341aEmulator::Ch341aEmulator(int bus, std::vector<int> ports, std::string serial)
    : EmulatedUsbDevice(describe(bus, std::move(ports), std::move(serial)))
{
}

void Ch341aEmulator::powerUp()
{
    wire.release();
    pinValues = 0;
    pinDirections = 0;
    speedSet = false;
    answers.clear();
}

int Ch341aEmulator::bulkOut(std::uint8_t endpoint, const std::uint8_t* data, int length)
{
    if (endpoint != 0x02) {
        violation("bulk OUT to endpoint " + std::to_string(endpoint) + ", the CH341A takes 0x02");
        return AdapterErrorTransport;
    }
    if (length == 0) {
        violation("empty bulk OUT transfer");
        return AdapterErrorTransport;
    }
    for (int at = 0; at < length; at += maxPacketSize()) {
        if (!plugged())
            return AdapterErrorNoDevice;
        if (const int code = packet(data + at, std::min(maxPacketSize(), length - at)))
            return code;
    }
    return AdapterOk;
}

int Ch341aEmulator::packet(const std::uint8_t* data, int length)
{
    const std::size_t before = violations().size();
    switch (data[0]) {
    case kSpiStream: {
        ++spiPackets;
        if (length < 2) {
            violation("SPI stream packet without data");
            return AdapterErrorTransport;
        }
        if (!speedSet)
            violation("SPI stream before the stream speed was set");
        if ((pinDirections & (kSck | kMosi)) != (kSck | kMosi) || (pinDirections & kMiso))
            violation("SPI stream with SCK/MOSI not driven or MISO driven");
        std::vector<std::uint8_t> mosi(static_cast<std::size_t>(length - 1));
        std::vector<std::uint8_t> miso(mosi.size());
        for (std::size_t i = 0; i < mosi.size(); ++i)
            mosi[i] = reversed(data[1 + i]);
        wire.clock(mosi.data(), miso.data(), static_cast<int>(mosi.size()));
        for (auto& b : miso)
            b = reversed(b);
        answerBytesQueued += static_cast<long long>(miso.size());
        answers.push_back(std::move(miso));
        return violations().size() == before ? AdapterOk : AdapterErrorTransport;
    }
    case kUioStream: {
        ++pinPackets;
        const int code = pinStream(data, length);
        return code != AdapterOk || violations().size() == before ? code : AdapterErrorTransport;
    }
    case kI2cStream:
        if (length < 3 || (data[1] & 0xFC) != 0x60 || data[2] != 0x00 ||
            std::any_of(data + 3, data + length, [](std::uint8_t b) { return b != 0; })) {
            violation("stream speed packet is not AA 6n 00");
            return AdapterErrorTransport;
        }
        speedSet = true;
        return AdapterOk;
    default:
        violation("unknown command packet " + std::to_string(data[0]));
        return AdapterErrorTransport;
    }
}

int Ch341aEmulator::pinStream(const std::uint8_t* data, int length)
{
    // The sub-commands act one after the other, as the chip carries them out: an output command
    // drives the pins at once, so "high, low" in one packet is a chip-select pulse.
    for (int i = 1; i < length; ++i) {
        const std::uint8_t b = data[i];
        switch (b & 0xC0) {
        case 0x80:
            pinValues = b & 0x3F;
            applyChipSelects();
            break;
        case 0x40:
            pinDirections = b & 0x3F;
            applyChipSelects();
            break;
        case 0xC0:
            break; // a delay in microseconds
        default:
            if (b != 0x20) {
                violation("pin stream command " + std::to_string(b) + " not emulated");
                return AdapterErrorTransport;
            }
            if (std::any_of(data + i + 1, data + length, [](std::uint8_t rest) { return rest != 0; })) {
                violation("pin stream packet padded with something other than zeros");
                return AdapterErrorTransport;
            }
            return plugged() ? AdapterOk : AdapterErrorNoDevice;
        }
        if (!plugged())
            return AdapterErrorNoDevice;
    }
    violation("pin stream without its end (0x20)");
    return AdapterErrorTransport;
}

void Ch341aEmulator::applyChipSelects()
{
    int low = -1;
    int lows = 0;
    for (int cs = 0; cs < 3; ++cs) {
        const std::uint8_t bit = static_cast<std::uint8_t>(1 << cs);
        if ((pinDirections & bit) && !(pinValues & bit)) {
            low = cs;
            ++lows;
        }
    }
    if (lows > 1)
        violation("several chip selects low at once");
    if (low < 0)
        wire.release();
    else if (wire.selected() != low)
        beginFrame(low);
}

int Ch341aEmulator::bulkIn(std::uint8_t endpoint, std::uint8_t* data, int length)
{
    if (endpoint != 0x82) {
        violation("bulk IN from endpoint " + std::to_string(endpoint) + ", the CH341A answers on 0x82");
        return AdapterErrorTransport;
    }
    if (answers.empty())
        return kNothingYet;
    const std::vector<std::uint8_t> answer = std::move(answers.front());
    answers.pop_front();
    if (static_cast<int>(answer.size()) > length) {
        violation("answer of " + std::to_string(answer.size()) + " bytes asked for into " +
                  std::to_string(length));
        return AdapterErrorTransport;
    }
    std::copy(answer.begin(), answer.end(), data);
    answerBytesSent += static_cast<long long>(answer.size());
    return static_cast<int>(answer.size());
}
