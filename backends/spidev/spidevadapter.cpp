#include "backends/spidev/spidevadapter.h"

#include "backends/spidev/spidevaccess.h"
#include "core/adapter/adapterresult.h"

#include <linux/spi/spidev.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

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
        if (!opened)
            return AdapterErrorTransport;
        if (sendCount < 0 || receiveCount < 0)
            return AdapterErrorArgument;
        Node* node = nodeFor(selector >> 4);
        if (node == nullptr || node->fd < 0 || node->clockHz == 0 || (selector & 0x0F) != 0)
            return AdapterErrorNotConfigured;
        if (alignedSize(sendCount) > bufferSize || alignedSize(receiveCount) > bufferSize)
            return AdapterErrorFrameLimit;
        return message(*node, send, sendCount, receive, receiveCount);
    }

    // The driver takes at most its buffer's size out and as much in, each counted in whole blocks
    // of its alignment.
    SpiTransferLimits transferLimits(int) const override
    {
        SpiTransferLimits limits;
        limits.maxSend = bufferSize / kSpidevTransferAlignment * kSpidevTransferAlignment;
        limits.maxReceive = limits.maxSend;
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

    // One SPI_IOC_MESSAGE: the bytes out, then the bytes in, chip select held across both.
    int message(Node node, const std::uint8_t* send, int sendCount, std::uint8_t* receive, int receiveCount)
    {
        spi_ioc_transfer transfers[2];
        std::memset(transfers, 0, sizeof transfers);
        int used = 0;
        if (sendCount > 0) {
            transfers[used].tx_buf = reinterpret_cast<std::uintptr_t>(send);
            transfers[used].len = static_cast<std::uint32_t>(sendCount);
            ++used;
        }
        if (receiveCount > 0) {
            transfers[used].rx_buf = reinterpret_cast<std::uintptr_t>(receive);
            transfers[used].len = static_cast<std::uint32_t>(receiveCount);
            ++used;
        }
        if (used == 0)
            return AdapterOk;
        for (int i = 0; i < used; ++i) {
            transfers[i].speed_hz = node.clockHz;
            transfers[i].bits_per_word = 8;
        }
        const int result =
            access.ioctl(node.fd, used == 1 ? SPI_IOC_MESSAGE(1) : SPI_IOC_MESSAGE(2), transfers);
        if (result < 0) {
            const int code = resultOf(result);
            // Unbound or unplugged: the next open looks for the node afresh.
            if (code == AdapterErrorNoDevice)
                close();
            return code;
        }
        return result == sendCount + receiveCount ? AdapterOk : AdapterErrorTransport;
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
