#include "tests/backends/emulators/serprogemulator.h"

#include "backends/serprog/serprogprotocol.h"
#include "backends/simulated/simulatedchip.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace korvane;

namespace {

std::int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::uint32_t littleEndian(const std::uint8_t* in, int bytes)
{
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | in[i];
    return value;
}

void putLittleEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::string hex(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

// Parameter bytes after each command byte; -1 for O_SPIOP (its length is in its header).
int parameterBytes(std::uint8_t command)
{
    switch (command) {
    case Serprog::SetBusType:
    case Serprog::SetPinState:
    case Serprog::SetChipSelect:
        return 1;
    case Serprog::SetSpiClock:
        return 4;
    case Serprog::SpiOperation:
        return -1;
    default:
        return 0;
    }
}

} // namespace

SerprogEmulator::SerprogEmulator(const SerprogFirmware& firmware) : firmware(firmware)
{
    linkPath = directory.filePath(QStringLiteral("ttyACM0")).toStdString();
    if (openPty())
        start();
}

SerprogEmulator::~SerprogEmulator()
{
    stop();
    closePty();
}

std::string SerprogEmulator::devicePath() const
{
    return linkPath;
}

bool SerprogEmulator::openPty()
{
    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        violation("cannot create a pseudo-terminal");
        return false;
    }
    const char* slaveName = ::ptsname(master);
    slaveKeeper = slaveName ? ::open(slaveName, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
    if (slaveKeeper < 0) {
        violation("cannot open the pseudo-terminal's tty");
        return false;
    }
    // Raw from the start: no echo of answers back into the firmware, no newline translation.
    termios settings;
    ::tcgetattr(slaveKeeper, &settings);
    ::cfmakeraw(&settings);
    ::tcsetattr(slaveKeeper, TCSANOW, &settings);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::unlink(linkPath.c_str());
    if (::symlink(slaveName, linkPath.c_str()) != 0) {
        violation("cannot link the pseudo-terminal");
        return false;
    }
    return true;
}

void SerprogEmulator::closePty()
{
    if (master >= 0)
        ::close(master);
    if (slaveKeeper >= 0)
        ::close(slaveKeeper);
    master = slaveKeeper = -1;
    ::unlink(linkPath.c_str());
}

void SerprogEmulator::start()
{
    stopping = false;
    worker = std::thread([this] { run(); });
}

void SerprogEmulator::stop()
{
    stopping = true;
    if (worker.joinable())
        worker.join();
}

void SerprogEmulator::attachChip(int chipSelect, SimulatedChip* chip)
{
    std::lock_guard<std::mutex> lock(mutex);
    chips[chipSelect] = chip;
}

void SerprogEmulator::failAfter(int operations, Failure how)
{
    std::lock_guard<std::mutex> lock(mutex);
    operationsLeft = operations;
    failure = how;
}

void SerprogEmulator::mend()
{
    stop();
    bool gone = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        gone = master < 0;
        failing = false;
        operationsLeft = -1;
        input.clear();
        arrivals.clear();
        output.clear();
        mapRead = busSet = false;
        pins = !firmware.commands.count(Serprog::SetPinState);
    }
    if (gone) {
        closePty();
        openPty();
    }
    start();
}

void SerprogEmulator::setLinkModel(int baud, int latencyUs)
{
    std::lock_guard<std::mutex> lock(mutex);
    modelBaud = baud;
    modelLatencyNs = std::int64_t(latencyUs) * 1000;
}

void SerprogEmulator::injectInput(const std::vector<std::uint8_t>& bytes)
{
    std::lock_guard<std::mutex> lock(mutex);
    // Left over from a host that had set the firmware up.
    mapRead = busSet = pins = true;
    input.insert(input.begin(), bytes.begin(), bytes.end());
    for (auto& arrival : arrivals)
        arrival.first += bytes.size();
}

void SerprogEmulator::injectOutput(const std::vector<std::uint8_t>& bytes)
{
    std::lock_guard<std::mutex> lock(mutex);
    output.push_back(Answer{0, bytes});
}

void SerprogEmulator::setFrameLog(std::vector<std::vector<std::uint8_t>>* log)
{
    std::lock_guard<std::mutex> lock(mutex);
    frames = log;
}

std::vector<std::string> SerprogEmulator::violations() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return problems;
}

std::vector<std::uint8_t> SerprogEmulator::commandLog() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return log;
}

int SerprogEmulator::spiOperations() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return operations;
}

int SerprogEmulator::currentChipSelect() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return chipSelect;
}

std::uint32_t SerprogEmulator::clockHz() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return clock;
}

bool SerprogEmulator::pinsEnabled() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return pins;
}

std::size_t SerprogEmulator::mostBytesAhead() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return mostAhead;
}

void SerprogEmulator::violation(const std::string& text)
{
    problems.push_back(text);
}

void SerprogEmulator::run()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        pins = pins || !firmware.commands.count(Serprog::SetPinState);
    }
    std::vector<std::uint8_t> chunk(65536);
    while (!stopping) {
        std::unique_lock<std::mutex> lock(mutex);
        if (master < 0) {
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        const std::int64_t now = nowNs();
        if (!output.empty() && output.front().dueNs <= now) {
            // Written without the lock held: the host may be slow to read.
            const std::vector<std::uint8_t> out = std::move(output.front().bytes);
            output.pop_front();
            const int fd = master;
            lock.unlock();
            std::size_t done = 0;
            while (done < out.size() && !stopping) {
                pollfd entry{fd, POLLOUT, 0};
                if (::poll(&entry, 1, 20) <= 0)
                    continue;
                const ssize_t put = ::write(fd, out.data() + done, out.size() - done);
                if (put > 0)
                    done += static_cast<std::size_t>(put);
                else if (put < 0 && errno != EAGAIN && errno != EINTR)
                    break;
            }
            continue;
        }
        if (failing && failure == Failure::Silent) {
            input.clear();
            arrivals.clear();
        }
        if (commandLength() > 0) {
            handleInput();
            continue;
        }
        // Reading goes on while answers wait for their time, as bytes arrive at a busy firmware; the
        // wait ends when the next answer is due, to the microsecond.
        std::int64_t waitNs = 20000000;
        if (!output.empty())
            waitNs = std::min<std::int64_t>(waitNs, std::max<std::int64_t>(output.front().dueNs - now, 0));
        const int fd = master;
        lock.unlock();
        pollfd entry{fd, POLLIN, 0};
        const timespec timeout{time_t(waitNs / 1000000000), long(waitNs % 1000000000)};
        if (::ppoll(&entry, 1, &timeout, nullptr) <= 0 || (entry.revents & POLLIN) == 0)
            continue;
        const ssize_t got = ::read(fd, chunk.data(), chunk.size());
        if (got <= 0)
            continue;
        lock.lock();
        std::int64_t arrived = nowNs();
        if (modelBaud > 0) {
            // Bytes that find the line idle start a new burst from the host, which reaches the
            // firmware a round trip's latency later; bytes behind others follow them on the line.
            const std::int64_t start =
                arrived >= inboundFreeNs ? arrived + modelLatencyNs : inboundFreeNs;
            inboundFreeNs = start + std::int64_t(got) * 10 * 1000000000 / modelBaud;
            arrived = inboundFreeNs;
        }
        input.insert(input.end(), chunk.begin(), chunk.begin() + got);
        arrivals.emplace_back(input.size(), arrived);
        // What the host sent beyond the command the firmware is taking in must fit its buffer.
        const std::size_t first = commandLength();
        const std::size_t ahead = input.size() - (first > 0 ? std::min(first, input.size()) : input.size());
        mostAhead = std::max(mostAhead, ahead);
        if (ahead > 0 && input.size() > firmware.serialBuffer)
            violation("the host sent " + std::to_string(input.size()) + " bytes at once, more than the " +
                      std::to_string(firmware.serialBuffer) + "-byte serial buffer");
    }
}

std::size_t SerprogEmulator::commandLength() const
{
    if (input.empty())
        return 0;
    const int parameters = parameterBytes(input[0]);
    if (parameters >= 0)
        return input.size() >= std::size_t(1 + parameters) ? std::size_t(1 + parameters) : 0;
    if (input.size() < Serprog::SpiOperationHeader)
        return 0;
    const std::size_t length = Serprog::SpiOperationHeader + littleEndian(&input[1], 3);
    return input.size() >= length ? length : 0;
}

std::int64_t SerprogEmulator::operationStart() const
{
    // The firmware takes one command at a time, once it is all in.
    return std::max(commandArrivedNs, firmwareFreeNs);
}

bool SerprogEmulator::answer(const std::vector<std::uint8_t>& bytes, std::size_t spiBytes)
{
    std::int64_t due = 0;
    if (modelBaud > 0) {
        // The firmware streams its answer as it goes.
        const std::int64_t start = operationStart();
        const std::int64_t spiDone =
            clock > 0 ? start + std::int64_t(spiBytes) * 8 * 1000000000 / clock : start;
        const std::int64_t lineDone =
            std::max(start, outboundFreeNs) + std::int64_t(bytes.size()) * 10 * 1000000000 / modelBaud;
        due = std::max(spiDone, lineDone);
        firmwareFreeNs = outboundFreeNs = due;
    }
    output.push_back(Answer{due, bytes});
    return true;
}

bool SerprogEmulator::handleInput()
{
    const std::size_t length = commandLength();
    const std::vector<std::uint8_t> command(input.begin(), input.begin() + length);
    input.erase(input.begin(), input.begin() + length);
    // When its last byte came: the bytes of a chunk came one after the other at the line's rate up
    // to the chunk's last.
    commandArrivedNs = 0;
    const std::int64_t byteNs = modelBaud > 0 ? std::int64_t(10) * 1000000000 / modelBaud : 0;
    for (const auto& arrival : arrivals) {
        if (arrival.first >= length) {
            commandArrivedNs = arrival.second - std::int64_t(arrival.first - length) * byteNs;
            break;
        }
    }
    while (!arrivals.empty() && arrivals.front().first <= length)
        arrivals.pop_front();
    for (auto& arrival : arrivals)
        arrival.first -= length;
    const std::uint8_t code = command[0];
    log.push_back(code);

    const bool listed = firmware.commands.count(code) > 0;
    const bool unrestricted = code == Serprog::Nop || code == Serprog::QueryInterface ||
                              code == Serprog::QueryCommandMap || code == Serprog::SyncNop;
    if (code == Serprog::SyncNop)
        return answer({Serprog::Nak, Serprog::Ack});
    if (!unrestricted && !listed) {
        violation("command " + hex(code) + " is not in the firmware's command map");
        return answer({Serprog::Nak});
    }
    if (!unrestricted && !mapRead)
        violation("command " + hex(code) + " before the command map was read");
    if (firmware.interfaceVersion != Serprog::InterfaceVersion && code != Serprog::Nop &&
        code != Serprog::QueryInterface)
        violation("command " + hex(code) + " to a firmware of interface version " +
                  std::to_string(firmware.interfaceVersion));

    std::vector<std::uint8_t> out{Serprog::Ack};
    switch (code) {
    case Serprog::Nop:
        break;
    case Serprog::QueryInterface:
        putLittleEndian(out, firmware.interfaceVersion, 2);
        break;
    case Serprog::QueryCommandMap: {
        std::uint8_t map[Serprog::CommandMapSize] = {};
        for (std::uint8_t listedCode : firmware.commands)
            map[listedCode / 8] |= std::uint8_t(1u << (listedCode % 8));
        out.insert(out.end(), map, map + Serprog::CommandMapSize);
        mapRead = true;
        break;
    }
    case Serprog::QueryName: {
        std::uint8_t text[Serprog::NameSize] = {};
        std::copy_n(firmware.name.begin(), std::min<std::size_t>(firmware.name.size(), Serprog::NameSize),
                    text);
        out.insert(out.end(), text, text + Serprog::NameSize);
        break;
    }
    case Serprog::QuerySerialBuffer:
        putLittleEndian(out, firmware.serialBuffer, 2);
        break;
    case Serprog::QueryBusTypes:
        out.push_back(firmware.busTypes);
        break;
    case Serprog::QueryWriteMax:
        putLittleEndian(out, firmware.writeMax, 3);
        break;
    case Serprog::QueryReadMax:
        putLittleEndian(out, firmware.readMax, 3);
        break;
    case Serprog::SetBusType:
        if ((command[1] & firmware.busTypes) == 0)
            return answer({Serprog::Nak});
        busSet = (command[1] & Serprog::BusSpi) != 0;
        break;
    case Serprog::SetPinState:
        pins = command[1] != 0;
        break;
    case Serprog::SetChipSelect:
        if (command[1] >= firmware.chipSelects)
            return answer({Serprog::Nak});
        chipSelect = command[1];
        break;
    case Serprog::SetSpiClock: {
        const std::uint32_t asked = littleEndian(&command[1], 4);
        if (asked == 0) {
            violation("S_SPI_FREQ with 0 Hz");
            return answer({Serprog::Nak});
        }
        clock = firmware.clocks.back();
        for (std::uint32_t available : firmware.clocks) {
            if (available <= asked) {
                clock = available;
                break;
            }
        }
        putLittleEndian(out, clock, 4);
        break;
    }
    case Serprog::SpiOperation: {
        const std::uint32_t sendCount = littleEndian(&command[1], 3);
        const std::uint32_t receiveCount = littleEndian(&command[4], 3);
        const std::uint32_t writeMax = firmware.writeMax == 0 ? Serprog::MaxLength : firmware.writeMax;
        const std::uint32_t readMax = firmware.readMax == 0 ? Serprog::MaxLength : firmware.readMax;
        if (sendCount > writeMax || receiveCount > readMax)
            violation("O_SPIOP of " + std::to_string(sendCount) + " + " + std::to_string(receiveCount) +
                      " bytes, past the firmware's " + std::to_string(writeMax) + " + " +
                      std::to_string(readMax));
        if (!pins)
            violation("O_SPIOP with the pin drivers off");
        if (firmware.commands.count(Serprog::SetBusType) && !busSet)
            violation("O_SPIOP before SPI was selected");
        if (operationsLeft == 0)
            failing = true;
        else if (operationsLeft > 0)
            --operationsLeft;
        if (failing) {
            switch (failure) {
            case Failure::Gone:
                ::close(master);
                master = -1;
                ::unlink(linkPath.c_str());
                return false;
            case Failure::Silent:
                input.clear();
                arrivals.clear();
                return true;
            case Failure::Nak:
                return answer({Serprog::Nak});
            }
        }
        ++operations;
        if (modelBaud > 0 && onOperation) {
            const std::int64_t spiNs =
                clock > 0 ? std::int64_t(sendCount + receiveCount) * 8 * 1000000000 / clock : 0;
            onOperation(operationStart() + spiNs);
        }
        if (frames != nullptr)
            frames->emplace_back(command.begin() + Serprog::SpiOperationHeader, command.end());
        out.resize(1 + receiveCount, 0xFF);
        const auto found = chips.find(chipSelect);
        if (found != chips.end() && found->second != nullptr)
            found->second->transfer(command.data() + Serprog::SpiOperationHeader, int(sendCount),
                                    out.data() + 1, int(receiveCount));
        return answer(out, sendCount + receiveCount);
    }
    default:
        return answer({Serprog::Nak});
    }
    return answer(out);
}
