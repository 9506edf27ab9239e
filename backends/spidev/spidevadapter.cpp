#include "backends/spidev/spidevadapter.h"

#include "backends/spidev/spidevaccess.h"
#include "core/adapter/adapterresult.h"

#include <linux/spi/spidev.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

namespace korvane {

namespace {

int resultOf(int negativeErrno)
{
    switch (-negativeErrno) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ESHUTDOWN: // the controller or the device went away
        return AdapterErrorNoDevice;
    case EACCES:
    case EPERM:
    case EBUSY:
        return AdapterErrorAccess;
    case EMSGSIZE:
    case EINVAL:
        return AdapterErrorUnsupported;
    case ENOTTY: // a device of another driver takes no SPI requests
        return AdapterErrorWrongDevice;
    default:
        return AdapterErrorTransport;
    }
}

// The most transfers one SPI_IOC_MESSAGE can carry: its size field has 14 bits.
constexpr std::size_t kMaxMessageTransfers = ((1u << _IOC_SIZEBITS) - 1) / sizeof(spi_ioc_transfer);

int alignedSize(int count)
{
    return (count + kSpidevTransferAlignment - 1) / kSpidevTransferAlignment * kSpidevTransferAlignment;
}

} // namespace

bool parseSpidevLocation(const std::string& argument, SpidevLocation* location, std::string* error)
{
    SpidevLocation parsed;
    parsed.path = argument;
    const std::size_t colon = argument.rfind(':');
    if (colon != std::string::npos) {
        const std::string tail = argument.substr(colon + 1);
        if (tail.empty() || tail.find_first_not_of("0123456789") != std::string::npos || tail.size() > 9 ||
            std::stoul(tail) == 0) {
            *error = "spidev: the clock after the device must be a number of Hz, as in "
                     "spidev:/dev/spidev0.0:8000000, not \"" +
                     tail + "\"";
            return false;
        }
        parsed.path = argument.substr(0, colon);
        parsed.maxClockHz = static_cast<std::uint32_t>(std::stoul(tail));
    }
    if (parsed.path.empty()) {
        *error = "spidev needs the device node, as in spidev:/dev/spidev0.0";
        return false;
    }
    *location = parsed;
    return true;
}

class SpidevAdapter::Device : public AdapterDevice
{
public:
    Device(SpidevAccess& access, const SpidevLocation& location) : access(access), location(location)
    {
        // /dev/spidevB.C: the chip select is the number after the last dot.
        const std::size_t dot = location.path.rfind('.');
        const std::size_t name = location.path.rfind('/');
        if (dot != std::string::npos && dot + 1 < location.path.size() &&
            location.path.find_first_not_of("0123456789", dot + 1) == std::string::npos &&
            location.path.compare(name == std::string::npos ? 0 : name + 1, 6, "spidev") == 0) {
            busPrefix = location.path.substr(0, dot + 1);
            givenChipSelect = std::stoi(location.path.substr(dot + 1));
        }
    }

    ~Device() override { close(); }

    AdapterIdentity identity() const override
    {
        return AdapterIdentity{"spidev", "Linux spidev", location.path, std::string()};
    }

    bool present() { return access.exists(location.path); }

    int open() override
    {
        if (opened)
            return AdapterOk;
        // The named node says whether the bus is there and ours to use.
        const int fd = access.open(location.path);
        if (fd < 0)
            return resultOf(fd);
        // A node of another driver opens as well; it is told by its answer to an SPI request.
        std::uint8_t mode = 0;
        if (const int asked = access.ioctl(fd, SPI_IOC_RD_MODE, &mode); asked < 0) {
            access.close(fd);
            return resultOf(asked);
        }
        nodes[givenChipSelect].fd = fd;
        const int size = access.bufferSize();
        bufferSize = size > 0 ? size : kDefaultSpidevBufferSize;
        opened = true;
        return AdapterOk;
    }

    void close() override
    {
        for (auto& entry : nodes) {
            if (entry.second.fd >= 0)
                access.close(entry.second.fd);
        }
        nodes.clear();
        opened = false;
    }

    bool isOpen() const override { return opened; }

    int configure(int selector, std::uint32_t clockHz, std::uint32_t* actualHz) override
    {
        if (!opened)
            return AdapterErrorTransport;
        if (selectorSlot(selector) < 0 || (selector & 0x0F) != 0)
            return AdapterErrorUnsupported;
        const int chipSelect = selector >> 4;
        Node* node = nodeFor(chipSelect);
        if (node == nullptr)
            return AdapterErrorUnsupported;
        if (node->fd < 0) {
            const int fd = access.open(nodePath(chipSelect));
            if (fd < 0)
                return fd == -ENOENT ? AdapterErrorUnsupported : resultOf(fd);
            node->fd = fd;
        }
        std::uint8_t mode = SPI_MODE_0;
        std::uint8_t bits = 8;
        std::uint32_t hz = location.maxClockHz != 0 ? std::min(clockHz, location.maxClockHz) : clockHz;
        if (const int set = access.ioctl(node->fd, SPI_IOC_WR_MODE, &mode); set < 0)
            return resultOf(set);
        if (const int set = access.ioctl(node->fd, SPI_IOC_WR_BITS_PER_WORD, &bits); set < 0)
            return resultOf(set);
        if (const int set = access.ioctl(node->fd, SPI_IOC_WR_MAX_SPEED_HZ, &hz); set < 0)
            return resultOf(set);
        std::uint32_t set = 0;
        if (const int read = access.ioctl(node->fd, SPI_IOC_RD_MAX_SPEED_HZ, &set); read < 0)
            return resultOf(read);
        node->clockHz = set;
        if (actualHz != nullptr)
            *actualHz = set;
        return AdapterOk;
    }

    int transfer(int selector, const std::uint8_t* send, int sendCount, std::uint8_t* receive,
                 int receiveCount) override
    {
        const SpiFrame frame{send, sendCount, receive, receiveCount};
        return transferFrames(selector, &frame, 1);
    }

    // The frames as few messages as the driver's buffer allows: a frame's bytes out and bytes in
    // are transfers of one message, and cs_change on a frame's last transfer lets chip select go
    // between it and the next frame of the same message (never on a message's last transfer, where
    // it would keep chip select asserted after the message). A message that fails stops the batch.
    int transferFrames(int selector, const SpiFrame* frames, int count) override
    {
        if (!opened)
            return AdapterErrorTransport;
        if (!validFrames(frames, count))
            return AdapterErrorArgument;
        Node* node = nodeFor(selector >> 4);
        if (node == nullptr || node->fd < 0 || node->clockHz == 0 || (selector & 0x0F) != 0)
            return AdapterErrorNotConfigured;
        for (int f = 0; f < count; ++f) {
            const SpiFrame& frame = frames[f];
            if (alignedSize(frame.sendCount) > bufferSize || alignedSize(frame.receiveCount) > bufferSize)
                return AdapterErrorFrameLimit;
        }
        std::vector<spi_ioc_transfer> message;
        int sendTotal = 0;
        int receiveTotal = 0;
        for (int f = 0; f < count; ++f) {
            const SpiFrame& frame = frames[f];
            if (frame.sendCount + frame.receiveCount == 0)
                continue;
            const int send = frame.sendCount > 0 ? alignedSize(frame.sendCount) : 0;
            const int receive = frame.receiveCount > 0 ? alignedSize(frame.receiveCount) : 0;
            if (!message.empty() && (sendTotal + send > bufferSize || receiveTotal + receive > bufferSize ||
                                     message.size() + 2 > kMaxMessageTransfers)) {
                if (const int sent = carry(*node, message))
                    return sent;
                message.clear();
                sendTotal = receiveTotal = 0;
            }
            spi_ioc_transfer transfer;
            std::memset(&transfer, 0, sizeof transfer);
            transfer.speed_hz = node->clockHz;
            transfer.bits_per_word = 8;
            if (frame.sendCount > 0) {
                transfer.tx_buf = reinterpret_cast<std::uintptr_t>(frame.send);
                transfer.len = static_cast<std::uint32_t>(frame.sendCount);
                message.push_back(transfer);
                transfer.tx_buf = 0;
            }
            if (frame.receiveCount > 0) {
                transfer.rx_buf = reinterpret_cast<std::uintptr_t>(frame.receive);
                transfer.len = static_cast<std::uint32_t>(frame.receiveCount);
                message.push_back(transfer);
            }
            message.back().cs_change = 1;
            sendTotal += send;
            receiveTotal += receive;
        }
        return message.empty() ? AdapterOk : carry(*node, message);
    }

    // The driver takes at most its buffer's size out and as much in, each counted in whole blocks
    // of its alignment.
    SpiTransferLimits transferLimits(int selector) const override
    {
        SpiTransferLimits limits;
        limits.maxSend = bufferSize / kSpidevTransferAlignment * kSpidevTransferAlignment;
        limits.maxReceive = limits.maxSend;
        // Frames of one message are kSpidevChipSelectGapNs apart (the kernel's pause after
        // cs_change) on top of their bytes: a status read is two bytes.
        const auto node = nodes.find(busPrefix.empty() ? givenChipSelect : selector >> 4);
        if (node != nodes.end() && node->second.clockHz > 0)
            limits.statusReadNs = kSpidevChipSelectGapNs + 16 * std::int64_t(1000000000) / node->second.clockHz;
        return limits;
    }

    std::string bufferDetail() const
    {
        if (!opened || bufferSize >= kSpidevTransferAlignment)
            return {};
        return "the spidev driver takes " + std::to_string(bufferSize) +
               " bytes a message (/sys/module/spidev/parameters/bufsiz), fewer than the " +
               std::to_string(kSpidevTransferAlignment) +
               " one instruction needs; set spidev.bufsiz=4096 on the kernel command line";
    }

    bool deviceInfo(DEVICE_INFO* info, char* functions) override
    {
        if (!opened)
            return false;
        *info = DEVICE_INFO{};
        std::snprintf(info->FirmwareName, sizeof info->FirmwareName, "Linux spidev");
        std::snprintf(functions, kDeviceFunctionsTextSize,
                      "SPI mode 0, 8-bit words, through %s; chip selects %s; %d bytes per message",
                      location.path.c_str(), busPrefix.empty() ? "0" : "by node number", bufferSize);
        return true;
    }

private:
    struct Node
    {
        int fd = -1;
        std::uint32_t clockHz = 0; // 0 until configured
    };

    std::string nodePath(int chipSelect) const
    {
        return busPrefix.empty() ? location.path : busPrefix + std::to_string(chipSelect);
    }

    Node* nodeFor(int chipSelect)
    {
        if (busPrefix.empty() && chipSelect != 0)
            return nullptr;
        return &nodes[busPrefix.empty() ? givenChipSelect : chipSelect];
    }

    // One SPI_IOC_MESSAGE of these transfers; the last one's cs_change is cleared, so chip select
    // goes high at the message's end.
    int carry(Node node, std::vector<spi_ioc_transfer>& message)
    {
        message.back().cs_change = 0;
        std::uint64_t bytes = 0;
        for (const spi_ioc_transfer& transfer : message)
            bytes += transfer.len;
        const unsigned long request =
            _IOC(_IOC_WRITE, SPI_IOC_MAGIC, 0, message.size() * sizeof(spi_ioc_transfer));
        const int result = access.ioctl(node.fd, request, message.data());
        if (result < 0) {
            const int code = resultOf(result);
            // Unbound or unplugged: the next open looks for the node afresh.
            if (code == AdapterErrorNoDevice)
                close();
            return code;
        }
        return std::uint64_t(result) == bytes ? AdapterOk : AdapterErrorTransport;
    }

    SpidevAccess& access;
    const SpidevLocation location;
    std::string busPrefix; // "/dev/spidev0." when the node is named by bus and chip select
    int givenChipSelect = 0;
    bool opened = false;
    int bufferSize = kDefaultSpidevBufferSize;
    std::map<int, Node> nodes; // by chip select
};

SpidevAdapter::SpidevAdapter(Clock& clock, SpidevAccess& access, const SpidevLocation& location)
    : DeviceAdapterLibrary(clock), dev(std::make_unique<Device>(access, location))
{
}

SpidevAdapter::~SpidevAdapter() = default;

int SpidevAdapter::scanDevices(int* devices)
{
    if (!dev->isOpen() && !dev->present())
        return 0;
    if (devices != nullptr)
        devices[0] = 0;
    return 1;
}

std::string SpidevAdapter::failureDetail(int handle)
{
    return handle == 0 ? dev->bufferDetail() : std::string();
}

AdapterDevice* SpidevAdapter::device(int handle) const
{
    return handle == 0 ? dev.get() : nullptr;
}

} // namespace korvane
