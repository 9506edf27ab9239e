#include "tests/backends/emulators/spidevemulator.h"

#include "backends/simulated/simulatedchip.h"

#include <linux/spi/spidev.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/ioctl.h>

using namespace korvane;

void SpidevEmulator::addNode(const std::string& path, SimulatedChip* chip)
{
    nodes[path].chip = chip;
}

void SpidevEmulator::removeNode(const std::string& path)
{
    nodes.erase(path);
}

void SpidevEmulator::denyAccess(const std::string& path, bool denied)
{
    nodes[path].denied = denied;
}

void SpidevEmulator::setBufferSize(int kernel, int reported)
{
    kernelBufferSize = kernel;
    reportedBufferSize = reported;
}

void SpidevEmulator::breakAfter(int messages)
{
    messagesLeft = messages;
}

std::uint32_t SpidevEmulator::speedHz(const std::string& path) const
{
    const auto found = nodes.find(path);
    return found == nodes.end() ? 0 : found->second.speedHz;
}

bool SpidevEmulator::exists(const std::string& path)
{
    return !gone() && nodes.count(path) > 0;
}

int SpidevEmulator::open(const std::string& path)
{
    const auto found = nodes.find(path);
    if (gone() || found == nodes.end())
        return -ENOENT;
    if (found->second.denied)
        return -EACCES;
    descriptors[nextDescriptor] = path;
    return nextDescriptor++;
}

void SpidevEmulator::close(int fd)
{
    if (descriptors.erase(fd) == 0)
        problems.push_back("close of descriptor " + std::to_string(fd) + ", which is not open");
}

int SpidevEmulator::ioctl(int fd, unsigned long request, void* argument)
{
    const auto descriptor = descriptors.find(fd);
    if (descriptor == descriptors.end()) {
        problems.push_back("ioctl on descriptor " + std::to_string(fd) + ", which is not open");
        return -EBADF;
    }
    const auto found = nodes.find(descriptor->second);
    if (gone() || found == nodes.end())
        return -ESHUTDOWN; // unbound under an open descriptor
    Node& node = found->second;
    if (argument == nullptr)
        return -EFAULT;
    switch (request) {
    case SPI_IOC_WR_MODE: {
        const std::uint8_t mode = *static_cast<std::uint8_t*>(argument);
        if (mode & ~(SPI_CPHA | SPI_CPOL | SPI_CS_HIGH | SPI_LSB_FIRST | SPI_3WIRE | SPI_LOOP | SPI_NO_CS |
                     SPI_READY))
            return -EINVAL;
        node.mode = mode;
        node.modeSet = true;
        return 0;
    }
    case SPI_IOC_RD_MODE:
        *static_cast<std::uint8_t*>(argument) = node.mode;
        return 0;
    case SPI_IOC_WR_BITS_PER_WORD: {
        const std::uint8_t bits = *static_cast<std::uint8_t*>(argument);
        if (bits != 0 && (bits < 4 || bits > 32))
            return -EINVAL;
        node.bits = bits == 0 ? 8 : bits;
        node.bitsSet = true;
        return 0;
    }
    case SPI_IOC_WR_MAX_SPEED_HZ: {
        const std::uint32_t hz = *static_cast<std::uint32_t*>(argument);
        if (hz == 0)
            return -EINVAL;
        node.speedHz = hz;
        return 0;
    }
    case SPI_IOC_RD_MAX_SPEED_HZ:
        *static_cast<std::uint32_t*>(argument) = node.speedHz;
        return 0;
    default:
        break;
    }
    if (_IOC_TYPE(request) == SPI_IOC_MAGIC && _IOC_NR(request) == 0 && _IOC_DIR(request) == _IOC_WRITE)
        return message(node, request, argument);
    problems.push_back("unknown ioctl request " + std::to_string(request));
    return -ENOTTY;
}

int SpidevEmulator::message(Node& node, unsigned long request, void* argument)
{
    const std::size_t size = _IOC_SIZE(request);
    if (size % sizeof(spi_ioc_transfer) != 0)
        return -EINVAL;
    const std::size_t count = size / sizeof(spi_ioc_transfer);
    if (count == 0) {
        problems.push_back("a message of no transfers");
        return 0;
    }
    if (!node.modeSet || node.mode != SPI_MODE_0 || !node.bitsSet || node.bits != 8)
        problems.push_back("a message before SPI mode 0 and 8-bit words were set");
    const auto* transfers = static_cast<const spi_ioc_transfer*>(argument);

    // The driver's own checks, in its order: each direction's transfers, rounded up to the DMA
    // alignment, must fit its buffer.
    std::uint64_t total = 0;
    std::uint64_t sendTotal = 0;
    std::uint64_t receiveTotal = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t length = transfers[i].len;
        const std::uint64_t aligned = (length + alignment - 1) / alignment * alignment;
        total += length;
        if (total > INT_MAX)
            return -EMSGSIZE;
        if (transfers[i].rx_buf != 0 && (receiveTotal += aligned) > std::uint64_t(kernelBufferSize)) {
            ++refused;
            return -EMSGSIZE;
        }
        if (transfers[i].tx_buf != 0 && (sendTotal += aligned) > std::uint64_t(kernelBufferSize)) {
            ++refused;
            return -EMSGSIZE;
        }
    }
    if (messagesLeft == 0)
        return -ESHUTDOWN;
    if (messagesLeft > 0)
        --messagesLeft;
    if (onTime)
        onTime(messageNs);

    // Chip select frames the message from its first transfer to its end; a transfer with cs_change
    // that is not the last lets it go after it (the frame ends there) and takes it again before the
    // next, after the kernel's pause. Each frame: the bytes sent, then the bytes clocked in.
    std::vector<std::uint8_t> sent;
    std::vector<std::pair<std::uint8_t*, std::uint32_t>> receives;
    std::uint32_t receiveCount = 0;
    std::uint64_t frameBits = 0;
    std::vector<std::uint32_t> lengths;
    auto endFrame = [&] {
        if (onTime && node.speedHz > 0)
            onTime(std::int64_t(frameBits * 1000000000 / node.speedHz));
        std::vector<std::uint8_t> received(receiveCount, 0xFF);
        if (node.chip != nullptr)
            node.chip->transfer(sent.data(), static_cast<int>(sent.size()), received.data(),
                                static_cast<int>(received.size()));
        std::size_t at = 0;
        for (const auto& receive : receives) {
            std::memcpy(receive.first, received.data() + at, receive.second);
            at += receive.second;
        }
        if (frameLog != nullptr)
            frameLog->push_back(sent);
        sent.clear();
        receives.clear();
        receiveCount = 0;
        frameBits = 0;
    };
    for (std::size_t i = 0; i < count; ++i) {
        const spi_ioc_transfer& transfer = transfers[i];
        lengths.push_back(transfer.len);
        if (transfer.len == 0)
            problems.push_back("a transfer of no bytes");
        if (transfer.tx_buf != 0 && transfer.rx_buf != 0)
            problems.push_back("a transfer that sends and receives at once");
        if (transfer.tx_buf != 0 && receiveCount > 0)
            problems.push_back("bytes sent after bytes received in one chip-select frame");
        if (transfer.cs_change != 0 && i + 1 == count)
            problems.push_back("cs_change on a message's last transfer: chip select would stay asserted");
        if (transfer.bits_per_word != 0 && transfer.bits_per_word != 8)
            problems.push_back("a transfer of " + std::to_string(transfer.bits_per_word) + "-bit words");
        if (transfer.speed_hz > node.speedHz)
            problems.push_back("a transfer faster than the speed set");
        if (transfer.tx_buf != 0) {
            const auto* bytes =
                reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(transfer.tx_buf));
            sent.insert(sent.end(), bytes, bytes + transfer.len);
        } else if (transfer.rx_buf != 0) {
            receives.emplace_back(
                reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(transfer.rx_buf)), transfer.len);
            receiveCount += transfer.len;
        }
        frameBits += std::uint64_t(transfer.len) * 8;
        if (transfer.cs_change != 0 && i + 1 < count) {
            endFrame();
            if (onTime)
                onTime(csChangeNs);
        }
    }
    endFrame();
    ++carried;
    log.push_back(lengths);
    return static_cast<int>(total);
}
