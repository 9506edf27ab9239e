#pragma once

#include "core/spinor/deviceadapterlibrary.h"

#include <cstdint>
#include <memory>
#include <string>

namespace korvane {

class Clock;
class SpidevAccess;

// Where the chip is on the Linux SPI bus: the device node and, optionally, the highest clock the
// wiring takes.
struct SpidevLocation
{
    std::string path;
    std::uint32_t maxClockHz = 0; // 0: as the speed row asks
};

// Parses "/dev/spidevB.C[:HZ]". False with *error for a missing path or a clock that is no number.
bool parseSpidevLocation(const std::string& argument, SpidevLocation* location, std::string* error);

// The kernel's spidev driver as one adapter (handle 0), there when its device node is. The chip
// select of a selector picks the node on the same bus (SPI1-CS1 is /dev/spidevB.1); a node named
// otherwise serves SPI1-CS0 only. Transfers run in SPI mode 0 with 8-bit words at the speed row's
// clock (never above the location's HZ), one SPI_IOC_MESSAGE each: the bytes sent and the bytes
// read are two transfers of one message, so chip select stays asserted between them. A batch of
// frames goes as few messages as the buffer allows, cs_change between its frames. A message
// carries at most the driver's buffer size each way (/sys/module/spidev/parameters/bufsiz, 4096
// when it cannot be read); a flash read beyond it is split, each part with the read command again.
class SpidevAdapter : public DeviceAdapterLibrary
{
public:
    SpidevAdapter(Clock& clock, SpidevAccess& access, const SpidevLocation& location);
    ~SpidevAdapter() override;

    int scanDevices(int* devices) override;
    // A driver buffer too small for any instruction is said, with how to make it larger.
    std::string failureDetail(int handle) override;

protected:
    AdapterDevice* device(int handle) const override;

private:
    class Device;
    std::unique_ptr<Device> dev;
};

// The driver's buffer size assumed when sysfs does not tell.
constexpr int kDefaultSpidevBufferSize = 4096;
// What the driver rounds every transfer up to inside its buffer (DMA alignment) at most.
constexpr int kSpidevTransferAlignment = 128;
// How long the kernel keeps chip select high after a transfer with cs_change when the message
// sets no delay of its own.
constexpr std::int64_t kSpidevChipSelectGapNs = 10000;

} // namespace korvane
