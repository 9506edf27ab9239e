#include "tests/backends/ftdi/ftdiemulator.h"

#include "core/adapter/adapterresult.h"

#include <algorithm>

using namespace korvane;

namespace {

constexpr std::uint8_t kSck = 1 << 0;
constexpr std::uint8_t kDo = 1 << 1;
constexpr std::uint8_t kDi = 1 << 2;
constexpr std::uint8_t kStatus[2] = {0x32, 0x60};

UsbDeviceDescription describe(std::uint16_t productId, int bus, std::vector<int> ports, std::string serial)
{
    UsbDeviceDescription d;
    d.vendorId = 0x0403;
    d.productId = productId;
    d.bus = bus;
    d.portPath = std::move(ports);
    d.address = 30 + bus;
    d.bcdDevice = productId == 0x6014 ? 0x0900 : 0x0700;
    d.serial = std::move(serial);
    d.product = productId == 0x6014 ? "Single RS232-HS" : "Dual RS232-HS";
    return d;
}

} // namespace

FtdiEmulator::FtdiEmulator(std::uint16_t productId, int bus, std::vector<int> ports, std::string serial)
    : EmulatedUsbDevice(describe(productId, bus, std::move(ports), std::move(serial)))
{
}

void FtdiEmulator::powerUp()
{
    wire.release();
    mpsseMode = false;
    prescaler = true;
    adaptive = false;
    threePhase = false;
    loopback = false;
    divisor = 0;
    pinValues = pinDirections = 0;
    inbox.clear();
    output.clear();
}

std::uint32_t FtdiEmulator::clockHz() const
{
    const std::uint32_t base = prescaler ? 12000000u : 60000000u;
    return base / ((1u + static_cast<std::uint32_t>(divisor)) * 2u);
}

int FtdiEmulator::control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                          std::uint16_t index, std::uint8_t*, std::uint16_t length)
{
    if (requestType != 0x40 || length != 0 || index != 1) {
        violation("control request " + std::to_string(request) + " of type " + std::to_string(requestType) +
                  " to index " + std::to_string(index));
        return AdapterErrorTransport;
    }
    switch (request) {
    case 0x00: // reset, purge
        if (value == 0) {
            inbox.clear();
            output.clear();
        } else if (value == 1) {
            output.clear();
        } else if (value == 2) {
            inbox.clear();
        } else {
            violation("reset request with value " + std::to_string(value));
            return AdapterErrorTransport;
        }
        return 0;
    case 0x09: // latency timer
        if (value < 1 || value > 255) {
            violation("latency timer of " + std::to_string(value) + " ms");
            return AdapterErrorTransport;
        }
        return 0;
    case 0x0B: // bit mode
        mpsseMode = (value >> 8) == 0x02;
        if ((value >> 8) != 0x00 && (value >> 8) != 0x02) {
            violation("bit mode " + std::to_string(value >> 8) + " not emulated");
            return AdapterErrorTransport;
        }
        return 0;
    default:
        break;
    }
    return EmulatedUsbDevice::control(requestType, request, value, index, nullptr, length);
}

void FtdiEmulator::applyPins(std::uint8_t value, std::uint8_t direction)
{
    if (direction & kDi)
        violation("MISO (ADBUS2) driven by the programmer");
    pinValues = value;
    pinDirections = direction;
    int low = -1;
    int lows = 0;
    for (int cs = 0; cs < 5; ++cs) {
        const std::uint8_t bit = static_cast<std::uint8_t>(1 << (3 + cs));
        if ((direction & bit) && !(value & bit)) {
            low = cs;
            ++lows;
        }
    }
    if (lows > 1)
        violation("several chip selects low at once");
    if (low >= 0 && (direction & (kSck | kDo)) != (kSck | kDo))
        violation("chip select low with SCK or MOSI not driven");
    if (low >= 0 && (value & kSck))
        violation("SCK idles high: mode 0 needs it low");
    if (low < 0)
        wire.release();
    else if (wire.selected() != low)
        beginFrame(low);
}

bool FtdiEmulator::runCommands()
{
    std::size_t at = 0;
    auto need = [&](std::size_t bytes) { return inbox.size() - at >= bytes; };
    while (at < inbox.size()) {
        if (!plugged())
            break;
        const std::uint8_t op = inbox[at];
        std::size_t used = 0;
        switch (op) {
        case 0x8A:
        case 0x8B:
            prescaler = op == 0x8B;
            used = 1;
            break;
        case 0x97:
        case 0x96:
            adaptive = op == 0x96;
            used = 1;
            break;
        case 0x8D:
        case 0x8C:
            threePhase = op == 0x8C;
            used = 1;
            break;
        case 0x85:
        case 0x84:
            loopback = op == 0x84;
            used = 1;
            break;
        case 0x87:
            used = 1;
            break;
        case 0x86:
            if (!need(3))
                break;
            divisor = inbox[at + 1] | (inbox[at + 2] << 8);
            used = 3;
            break;
        case 0x80:
            if (!need(3))
                break;
            applyPins(inbox[at + 1], inbox[at + 2]);
            used = 3;
            break;
        case 0x11:
        case 0x20:
        case 0x31: {
            if (!need(3))
                break;
            const std::size_t count = std::size_t(inbox[at + 1] | (inbox[at + 2] << 8)) + 1;
            const bool sends = op != 0x20;
            if (sends && !need(3 + count))
                break;
            if (prescaler || adaptive || threePhase || loopback)
                violation("clocking with the prescaler, adaptive or three-phase clocking or loopback on");
            std::vector<std::uint8_t> miso(count);
            wire.clock(sends ? inbox.data() + at + 3 : nullptr, miso.data(), static_cast<int>(count));
            if (op != 0x11) {
                output.insert(output.end(), miso.begin(), miso.end());
                answerBytesQueued += static_cast<long long>(count);
            }
            used = 3 + (sends ? count : 0);
            break;
        }
        default:
            violation("MPSSE command " + std::to_string(op) + " not emulated");
            output.push_back(0xFA);
            output.push_back(op);
            inbox.clear();
            return false;
        }
        if (used == 0)
            break; // the rest comes with the next transfer
        at += used;
    }
    inbox.erase(inbox.begin(), inbox.begin() + static_cast<std::ptrdiff_t>(std::min(at, inbox.size())));
    return true;
}

int FtdiEmulator::bulkOut(std::uint8_t endpoint, const std::uint8_t* data, int length)
{
    if (endpoint != 0x02) {
        violation("bulk OUT to endpoint " + std::to_string(endpoint) + ", channel A takes 0x02");
        return AdapterErrorTransport;
    }
    if (!mpsseMode) {
        violation("bulk data before the chip was put in MPSSE mode");
        return AdapterErrorTransport;
    }
    const std::size_t before = violations().size();
    inbox.insert(inbox.end(), data, data + length);
    runCommands();
    if (!plugged())
        return AdapterErrorNoDevice;
    return violations().size() == before ? AdapterOk : AdapterErrorTransport;
}

int FtdiEmulator::bulkIn(std::uint8_t endpoint, std::uint8_t* data, int length)
{
    if (endpoint != 0x81) {
        violation("bulk IN from endpoint " + std::to_string(endpoint) + ", channel A answers on 0x81");
        return AdapterErrorTransport;
    }
    if (output.empty() || stalled)
        return kNothingYet;
    if (length % 512 != 0 && length < 2 + static_cast<int>(output.size()))
        violation("IN transfer of " + std::to_string(length) + " bytes: not whole packets");
    int moved = 0;
    while (moved + 2 <= length) {
        const int room = std::min(length - moved, 512) - 2;
        const int bytes = std::min<int>(room, static_cast<int>(output.size()));
        std::copy(kStatus, kStatus + 2, data + moved);
        std::copy(output.begin(), output.begin() + bytes, data + moved + 2);
        output.erase(output.begin(), output.begin() + bytes);
        answerBytesSent += bytes;
        moved += 2 + bytes;
        // A short packet ends the transfer; so does running dry after a full one.
        if (bytes < 510 || output.empty())
            break;
    }
    return moved;
}

int FtdiEmulator::idleIn(std::uint8_t endpoint, std::uint8_t* data, int length)
{
    // The latency timer sends the status bytes alone when there is nothing else.
    if (endpoint != 0x81 || length < 2)
        return EmulatedUsbDevice::idleIn(endpoint, data, length);
    ++emptyAnswers;
    std::copy(kStatus, kStatus + 2, data);
    return 2;
}
