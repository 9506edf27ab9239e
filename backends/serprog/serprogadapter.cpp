#include "backends/serprog/serprogadapter.h"

#include "backends/serprog/serialport.h"
#include "backends/serprog/serprogprotocol.h"
#include "core/adapter/adapterresult.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

namespace korvane {

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int kDefaultTimeoutMs = 2000;
// The serial buffer a firmware that does not say is assumed to have.
constexpr std::uint32_t kDefaultSerialBuffer = 16;
constexpr int kSyncAttempts = 5;

void putLittleEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint32_t littleEndian(const std::uint8_t* in, int bytes)
{
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | in[i];
    return value;
}

// One command on the wire and where its answer goes.
struct Request
{
    std::vector<std::uint8_t> bytes;
    std::uint8_t* answer = nullptr; // answerLength bytes after the ACK
    int answerLength = 0;
    std::size_t written = 0;
    bool acked = false;
    bool answeredEarly = false; // answered before it was all written
};

// The firmware answered NAK (not an AdapterResult code).
constexpr int kRefused = 1;

} // namespace

bool parseSerprogLocation(const std::string& argument, SerprogLocation* location, std::string* error)
{
    SerprogLocation parsed;
    parsed.path = argument;
    const std::size_t colon = argument.rfind(':');
    if (colon != std::string::npos) {
        const std::string tail = argument.substr(colon + 1);
        if (!tail.empty() && tail.find_first_not_of("0123456789") == std::string::npos) {
            parsed.path = argument.substr(0, colon);
            parsed.baud = tail.size() > 9 ? -1 : std::stoi(tail);
            if (!isSupportedBaudRate(parsed.baud)) {
                *error = "serprog: " + tail +
                         " is not a baud rate the serial port takes (115200, 230400, 460800, 921600, "
                         "1000000, 2000000, 3000000, 4000000, ...)";
                return false;
            }
        }
    }
    if (parsed.path.empty()) {
        *error = "serprog needs the programmer's serial device, as in serprog:/dev/ttyACM0";
        return false;
    }
    *location = parsed;
    return true;
}

class SerprogAdapter::Device : public AdapterDevice
{
public:
    Device(SerialPortAccess& access, const SerprogLocation& location) : access(access), location(location) {}

    AdapterIdentity identity() const override
    {
        return AdapterIdentity{"serprog", name.empty() ? std::string("serprog programmer") : name,
                               location.path, std::string()};
    }

    bool present() { return access.exists(location.path); }

    int open() override
    {
        if (port)
            return AdapterOk;
        if (!access.exists(location.path))
            return AdapterErrorNoDevice;
        int error = AdapterOk;
        port = access.open(location.path, location.baud, &error);
        if (!port)
            return error != AdapterOk ? error : AdapterErrorTransport;
        const int started = start();
        if (started != AdapterOk)
            port.reset();
        return started;
    }

    void close() override
    {
        if (!port)
            return;
        // Lets go of the chip, so that the board it sits on can use it again.
        if (supports(Serprog::SetPinState)) {
            const int saved = timeoutMs;
            timeoutMs = std::min(timeoutMs, 200);
            command(Serprog::SetPinState, {0}, nullptr, 0);
            timeoutMs = saved;
        }
        port.reset();
    }

    bool isOpen() const override { return port != nullptr; }

    int configure(int selector, std::uint32_t clockHz, std::uint32_t* actualHz) override
    {
        if (!port)
            return AdapterErrorTransport;
        if (selectorSlot(selector) < 0 || (selector & 0x0F) != 0)
            return AdapterErrorUnsupported;
        if (const int selected = selectChipSelect(selector >> 4))
            return selected;
        if (!supports(Serprog::SetSpiClock)) {
            // The firmware runs its own clock and does not say which.
            if (actualHz != nullptr)
                *actualHz = 0;
            return AdapterOk;
        }
        std::uint8_t answer[4];
        std::vector<std::uint8_t> hz;
        putLittleEndian(hz, clockHz, 4);
        const int set = command(Serprog::SetSpiClock, hz, answer, 4);
        if (set != AdapterOk)
            return set;
        runningClockHz = littleEndian(answer, 4);
        if (actualHz != nullptr)
            *actualHz = runningClockHz;
        return AdapterOk;
    }

    int transfer(int selector, const std::uint8_t* send, int sendCount, std::uint8_t* receive,
                 int receiveCount) override
    {
        if (!port)
            return AdapterErrorTransport;
        if (sendCount < 0 || receiveCount < 0)
            return AdapterErrorArgument;
        if (const int selected = selectChipSelect(selector >> 4))
            return selected;
        if (sendCount == 0 && receiveCount == 0)
            return AdapterOk;
        if (std::uint32_t(sendCount) > writeMax || std::uint32_t(receiveCount) > readMax)
            return AdapterErrorFrameLimit;
        std::vector<Request> requests;
        requests.push_back(spiOperation(send, sendCount, receive, receiveCount));
        const int result = exchange(requests);
        if (result == AdapterOk)
            return AdapterOk;
        // A refused or broken O_SPIOP may leave the firmware waiting for bytes or sending them.
        dropLink();
        return result == kRefused ? AdapterErrorTransport : result;
    }

    // One O_SPIOP per frame, back to back as far as the firmware's serial buffer allows. A frame
    // beyond the firmware's limits refuses the batch before anything is sent; a refusal in the
    // middle stops the requests not yet sent (those already in the firmware's buffer run).
    int transferFrames(int selector, const SpiFrame* frames, int count) override
    {
        if (!port)
            return AdapterErrorTransport;
        if (!validFrames(frames, count))
            return AdapterErrorArgument;
        std::vector<Request> requests;
        for (int f = 0; f < count; ++f) {
            const SpiFrame& frame = frames[f];
            if (std::uint32_t(frame.sendCount) > writeMax || std::uint32_t(frame.receiveCount) > readMax)
                return AdapterErrorFrameLimit;
            if (frame.sendCount + frame.receiveCount > 0)
                requests.push_back(spiOperation(frame.send, frame.sendCount, frame.receive, frame.receiveCount));
        }
        if (const int selected = selectChipSelect(selector >> 4))
            return selected;
        if (requests.empty())
            return AdapterOk;
        const int result = exchange(requests);
        if (result == AdapterOk)
            return AdapterOk;
        dropLink();
        return result == kRefused ? AdapterErrorTransport : result;
    }

    bool deviceInfo(DEVICE_INFO* info, char* functions) override
    {
        if (!port)
            return false;
        *info = DEVICE_INFO{};
        std::snprintf(info->FirmwareName, sizeof info->FirmwareName, "%s",
                      name.empty() ? "serprog programmer" : name.c_str());
        info->FirmwareVersion = std::uint32_t(interfaceVersion) << 24;
        std::snprintf(functions, kDeviceFunctionsTextSize,
                      "serprog interface %u on %s at %d baud; SPI%s, clock %u Hz; O_SPIOP up to %u bytes "
                      "out, %u in; serial buffer %u bytes",
                      unsigned(interfaceVersion), location.path.c_str(), location.baud,
                      supports(Serprog::SetChipSelect) ? ", chip selects by S_SPI_CS" : ", chip select 0",
                      unsigned(runningClockHz), unsigned(writeMax), unsigned(readMax),
                      unsigned(serialBuffer));
        return true;
    }

    SpiTransferLimits transferLimits(int) const override
    {
        SpiTransferLimits limits;
        limits.maxSend = static_cast<int>(std::min<std::uint32_t>(writeMax, INT_MAX));
        limits.maxReceive = static_cast<int>(std::min<std::uint32_t>(readMax, INT_MAX));
        // A queued status read is an O_SPIOP of 8 bytes on the line towards the firmware (its
        // answer, 2 bytes, comes back on the other): 10 bits a byte at the baud rate. A USB
        // firmware ignores the baud rate; the hint is then only a guess.
        limits.statusReadNs = std::int64_t(Serprog::SpiOperationHeader + 1) * 10 * 1000000000 / location.baud;
        return limits;
    }

    int timeoutMs = kDefaultTimeoutMs;
    bool pipelining = true;

private:
    bool supports(std::uint8_t command) const { return Serprog::hasCommand(commandMap, command); }

    void dropLink()
    {
        // Whatever the firmware is in the middle of, the next open synchronises afresh.
        port.reset();
    }

    Request spiOperation(const std::uint8_t* send, int sendCount, std::uint8_t* receive,
                         int receiveCount) const
    {
        Request request;
        request.bytes.reserve(Serprog::SpiOperationHeader + static_cast<std::size_t>(sendCount));
        request.bytes.push_back(Serprog::SpiOperation);
        putLittleEndian(request.bytes, static_cast<std::uint32_t>(sendCount), 3);
        putLittleEndian(request.bytes, static_cast<std::uint32_t>(receiveCount), 3);
        request.bytes.insert(request.bytes.end(), send, send + sendCount);
        request.answer = receive;
        request.answerLength = receiveCount;
        return request;
    }

    // Sends one command and waits for its answer: AdapterOk on ACK (the answer in answer),
    // AdapterErrorUnsupported on NAK, otherwise the link's failure (and the link is dropped).
    int command(std::uint8_t code, const std::vector<std::uint8_t>& parameters, std::uint8_t* answer,
                int answerLength)
    {
        std::vector<Request> requests(1);
        requests[0].bytes.push_back(code);
        requests[0].bytes.insert(requests[0].bytes.end(), parameters.begin(), parameters.end());
        requests[0].answer = answer;
        requests[0].answerLength = answerLength;
        const int result = exchange(requests);
        if (result == kRefused)
            return AdapterErrorUnsupported;
        if (result != AdapterOk)
            dropLink();
        return result;
    }

    int selectChipSelect(int chipSelect)
    {
        if (chipSelect == currentChipSelect)
            return AdapterOk;
        if (!supports(Serprog::SetChipSelect))
            return chipSelect == 0 ? AdapterOk : AdapterErrorUnsupported;
        const std::uint8_t cs = static_cast<std::uint8_t>(chipSelect);
        const int selected = command(Serprog::SetChipSelect, {cs}, nullptr, 0);
        if (selected == AdapterOk)
            currentChipSelect = chipSelect;
        return selected;
    }

    // The requests in order, back to back as far as the firmware's serial buffer allows, their
    // answers read as they come. kRefused when the firmware answered one with NAK (the requests
    // sent before the refusal are still answered and read, the ones after it are not sent).
    int exchange(std::vector<Request>& requests)
    {
        const std::size_t count = requests.size();
        std::size_t toSend = 0;   // next request to write
        std::size_t toAnswer = 0; // next request whose answer is due
        std::size_t inFlight = 0; // bytes of requests written whose answers are not complete
        int answered = -1;        // bytes of the current answer read; -1 before its ACK
        bool refused = false;
        std::size_t total = 0;
        for (const Request& request : requests)
            total += request.bytes.size() + 1 + static_cast<std::size_t>(request.answerLength);
        // Silence bounds every wait; the whole exchange is bounded by twice what the line carries
        // in that time on top of it.
        const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs) +
                              std::chrono::milliseconds(total * 10 * 1000 * 2 / std::size_t(location.baud));
        while (toAnswer < (refused ? toSend : count) || (!refused && toSend < count)) {
            const bool canSend = !refused && toSend < count &&
                                 (toSend <= toAnswer ||
                                  (pipelining && inFlight + requests[toSend].bytes.size() <= serialBuffer));
            const auto now = SteadyClock::now();
            if (now >= deadline)
                return AdapterErrorTimedOut;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
            const int ready = port->wait(canSend, static_cast<int>(std::min<long long>(left + 1, timeoutMs)));
            if (ready < 0)
                return ready;
            if (ready == 0)
                return AdapterErrorTimedOut;
            if ((ready & SerialPort::Writable) != 0 && canSend) {
                Request& request = requests[toSend];
                const int took = port->write(request.bytes.data() + request.written,
                                             static_cast<int>(request.bytes.size() - request.written));
                if (took < 0)
                    return took;
                request.written += static_cast<std::size_t>(took);
                if (request.written == request.bytes.size()) {
                    if (!request.answeredEarly)
                        inFlight += request.bytes.size();
                    ++toSend;
                }
            }
            if ((ready & SerialPort::Readable) == 0)
                continue;
            if (toAnswer >= count || requests[toAnswer].written == 0) {
                // Nothing was asked that this could answer: the firmware is out of step.
                std::uint8_t stray;
                const int got = port->read(&stray, 1);
                if (got != 0)
                    return got < 0 ? got : AdapterErrorProtocol;
                continue;
            }
            Request& request = requests[toAnswer];
            if (answered < 0) {
                std::uint8_t status = 0;
                const int got = port->read(&status, 1);
                if (got <= 0) {
                    if (got < 0)
                        return got;
                    continue;
                }
                if (status == Serprog::Nak) {
                    refused = true;
                    for (const Request& other : requests) {
                        // Refused before it was all sent: what follows would be taken for commands.
                        if (other.written > 0 && other.written < other.bytes.size())
                            return AdapterErrorProtocol;
                    }
                } else if (status != Serprog::Ack) {
                    return AdapterErrorProtocol;
                } else {
                    request.acked = true;
                }
                answered = 0;
            } else {
                const int got = port->read(request.answer + answered, request.answerLength - answered);
                if (got < 0)
                    return got;
                answered += got;
            }
            if (answered == (request.acked ? request.answerLength : 0)) {
                if (toAnswer < toSend)
                    inFlight -= request.bytes.size();
                else
                    request.answeredEarly = true;
                ++toAnswer;
                answered = -1;
            }
        }
        return refused ? kRefused : AdapterOk;
    }

    // SYNCNOP until the firmware answers NAK ACK, the rest of its answers drained, then once more
    // with nothing but NAK ACK allowed: after that the next byte from it answers the next command.
    // Each attempt sends more of them, to get a firmware out of a command whose parameters it is
    // still waiting for.
    int synchronise()
    {
        const int waitMs = std::min(timeoutMs, 500);
        for (int attempt = 0; attempt < kSyncAttempts; ++attempt) {
            port->discardInput();
            int result = syncOnce(1 << (2 * attempt), waitMs, false);
            if (result == AdapterOk)
                result = drainQuiet(waitMs);
            if (result == AdapterOk)
                result = syncOnce(1, waitMs, true);
            if (result == AdapterOk)
                return AdapterOk;
            if (result != AdapterErrorTimedOut && result != AdapterErrorProtocol)
                return result;
        }
        return AdapterErrorTimedOut;
    }

    int syncOnce(int syncCount, int waitMs, bool strict)
    {
        const std::vector<std::uint8_t> syncs(static_cast<std::size_t>(syncCount), Serprog::SyncNop);
        const auto deadline = SteadyClock::now() + std::chrono::milliseconds(waitMs);
        std::size_t sent = 0;
        int seen = 0;
        std::uint8_t previous = 0;
        for (;;) {
            const auto now = SteadyClock::now();
            if (now >= deadline)
                return AdapterErrorTimedOut;
            const int left = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1);
            const bool sending = sent < syncs.size();
            const int ready = port->wait(sending, left);
            if (ready < 0)
                return ready;
            if (ready == 0)
                return AdapterErrorTimedOut;
            if (sending && (ready & SerialPort::Writable) != 0) {
                const int took = port->write(syncs.data() + sent, static_cast<int>(syncs.size() - sent));
                if (took < 0)
                    return took;
                sent += static_cast<std::size_t>(took);
            }
            if ((ready & SerialPort::Readable) == 0)
                continue;
            std::uint8_t byte = 0;
            const int got = port->read(&byte, 1);
            if (got < 0)
                return got;
            if (got == 0)
                continue;
            ++seen;
            if (strict && (seen == 1 ? byte != Serprog::Nak : byte != Serprog::Ack))
                return AdapterErrorProtocol;
            if (previous == Serprog::Nak && byte == Serprog::Ack && sent == syncs.size())
                return AdapterOk;
            previous = byte;
        }
    }

    // Reads and drops whatever arrives until the line has been quiet for a while.
    int drainQuiet(int waitMs)
    {
        constexpr int kQuietMs = 30;
        const auto deadline = SteadyClock::now() + std::chrono::milliseconds(waitMs);
        std::uint8_t scratch[256];
        while (SteadyClock::now() < deadline) {
            const int ready = port->wait(false, kQuietMs);
            if (ready < 0)
                return ready;
            if (ready == 0)
                return AdapterOk;
            const int got = port->read(scratch, sizeof scratch);
            if (got < 0)
                return got;
        }
        return AdapterErrorProtocol; // it never stops talking
    }

    int start()
    {
        std::memset(commandMap, 0, sizeof commandMap);
        currentChipSelect = -1;
        name.clear();
        if (const int synced = synchronise())
            return synced;
        // Q_IFACE and Q_CMDMAP are there on every firmware; the rest only as its map says.
        commandMap[Serprog::QueryInterface / 8] |= 1 << (Serprog::QueryInterface % 8);
        commandMap[Serprog::QueryCommandMap / 8] |= 1 << (Serprog::QueryCommandMap % 8);
        std::uint8_t answer[Serprog::CommandMapSize];
        if (const int asked = command(Serprog::QueryInterface, {}, answer, 2))
            return asked == AdapterErrorUnsupported ? AdapterErrorProtocol : asked;
        interfaceVersion = static_cast<std::uint16_t>(littleEndian(answer, 2));
        if (interfaceVersion != Serprog::InterfaceVersion)
            return AdapterErrorUnsupported;
        if (const int asked = command(Serprog::QueryCommandMap, {}, commandMap, Serprog::CommandMapSize)) {
            std::memset(commandMap, 0, sizeof commandMap);
            return asked == AdapterErrorUnsupported ? AdapterErrorProtocol : asked;
        }
        if (!supports(Serprog::SpiOperation))
            return AdapterErrorUnsupported;
        if (supports(Serprog::QueryName)) {
            const int asked = command(Serprog::QueryName, {}, answer, Serprog::NameSize);
            if (asked == AdapterOk)
                name.assign(reinterpret_cast<const char*>(answer),
                            strnlen(reinterpret_cast<const char*>(answer), Serprog::NameSize));
            else if (asked != AdapterErrorUnsupported)
                return asked;
        }
        serialBuffer = kDefaultSerialBuffer;
        if (supports(Serprog::QuerySerialBuffer)) {
            if (const int asked = command(Serprog::QuerySerialBuffer, {}, answer, 2); asked == AdapterOk)
                serialBuffer = std::max<std::uint32_t>(littleEndian(answer, 2), kDefaultSerialBuffer);
            else if (asked != AdapterErrorUnsupported)
                return asked;
        }
        writeMax = readMax = Serprog::MaxLength;
        if (const int asked = queryLength(Serprog::QueryWriteMax, &writeMax))
            return asked;
        if (const int asked = queryLength(Serprog::QueryReadMax, &readMax))
            return asked;
        if (supports(Serprog::QueryBusTypes)) {
            const int asked = command(Serprog::QueryBusTypes, {}, answer, 1);
            if (asked != AdapterOk && asked != AdapterErrorUnsupported)
                return asked;
            if (asked == AdapterOk && (answer[0] & Serprog::BusSpi) == 0)
                return AdapterErrorUnsupported;
        }
        if (supports(Serprog::SetBusType)) {
            if (const int set = command(Serprog::SetBusType, {Serprog::BusSpi}, nullptr, 0))
                return set;
        }
        if (supports(Serprog::SetPinState)) {
            if (const int set = command(Serprog::SetPinState, {1}, nullptr, 0))
                return set;
        }
        return port ? AdapterOk : AdapterErrorTransport;
    }

    int queryLength(std::uint8_t code, std::uint32_t* length)
    {
        if (!supports(code))
            return AdapterOk;
        std::uint8_t answer[3];
        const int asked = command(code, {}, answer, 3);
        if (asked == AdapterErrorUnsupported)
            return AdapterOk; // keeps the default
        if (asked != AdapterOk)
            return asked;
        const std::uint32_t value = littleEndian(answer, 3);
        *length = value == 0 ? Serprog::MaxLength : value;
        return AdapterOk;
    }

    SerialPortAccess& access;
    const SerprogLocation location;
    std::unique_ptr<SerialPort> port;
    std::uint8_t commandMap[Serprog::CommandMapSize] = {};
    std::uint16_t interfaceVersion = 0;
    std::string name;
    std::uint32_t serialBuffer = kDefaultSerialBuffer;
    std::uint32_t writeMax = Serprog::MaxLength;
    std::uint32_t readMax = Serprog::MaxLength;
    int currentChipSelect = -1;
    std::uint32_t runningClockHz = 0; // as the firmware answered the last S_SPI_FREQ
};

SerprogAdapter::SerprogAdapter(Clock& clock, SerialPortAccess& access, const SerprogLocation& location)
    : DeviceAdapterLibrary(clock), dev(std::make_unique<Device>(access, location))
{
}

SerprogAdapter::~SerprogAdapter()
{
    dev->close();
}

int SerprogAdapter::scanDevices(int* devices)
{
    if (!dev->isOpen() && !dev->present())
        return 0;
    if (devices != nullptr)
        devices[0] = 0;
    return 1;
}

void SerprogAdapter::setTimeoutMs(int milliseconds)
{
    dev->timeoutMs = std::max(milliseconds, 1);
}

void SerprogAdapter::setPipelining(bool enabled)
{
    dev->pipelining = enabled;
}

AdapterDevice* SerprogAdapter::device(int handle) const
{
    return handle == 0 ? dev.get() : nullptr;
}

} // namespace korvane
