#pragma once

#include "backends/usb/usbadapter.h"

#include <cstdint>
#include <vector>

namespace korvane {

// The CH341A in its SPI stream mode. Every 32-byte packet on bulk OUT 0x02 is one command: 0xA8
// clocks up to 31 bytes (one answer byte per byte sent comes back on bulk IN 0x82, as its own
// packet), 0xAB drives the pins (D0-D2 the active-low chip selects CS0-CS2, D3 SCK, D5 MOSI,
// D7 MISO), 0xAA 0x60|n sets the stream speed. The chip shifts LSB first, so every SPI byte is
// sent and received bit-reversed. Its SPI clock is fixed at about 2 MHz.
//
// A transfer goes as one queue: the packet that pulls chip select low, then every data packet,
// then the packet that lets it go, with up to kInFlight answers requested ahead, so the device
// always has the next packet waiting. A batch of frames goes as one queue too, a pin packet that
// pulses chip select between one frame's data packets and the next's.
class Ch341aDevice : public UsbAdapterDevice
{
public:
    static constexpr std::uint8_t kOutEndpoint = 0x02;
    static constexpr std::uint8_t kInEndpoint = 0x82;
    static constexpr int kPacketSize = 32;
    static constexpr int kDataPerPacket = kPacketSize - 1;
    static constexpr std::uint8_t kSpiStream = 0xA8;
    static constexpr std::uint8_t kI2cStream = 0xAA;
    static constexpr std::uint8_t kUioStream = 0xAB;
    static constexpr std::uint8_t kI2cSetSpeed = 0x60;
    static constexpr std::uint8_t kI2cEnd = 0x00;
    static constexpr std::uint8_t kUioOut = 0x80;
    static constexpr std::uint8_t kUioDirection = 0x40;
    static constexpr std::uint8_t kUioEnd = 0x20;
    static constexpr std::uint8_t kUioDelayUs = 0xC0;
    // D0-D2 chip selects (high: released), D3 SCK low, D4 and D5 high.
    static constexpr std::uint8_t kPinsIdle = 0x37;
    static constexpr std::uint8_t kPinsOutput = 0x3F; // D0-D5 driven, D6 and D7 inputs
    static constexpr int kChipSelects = 3;
    static constexpr std::uint32_t kClockHz = 2000000;
    static constexpr int kInFlight = 32;
    static constexpr int kOutChunkPackets = 16;
    static constexpr unsigned kTimeoutMs = 1000;
    // A status read queued in a batch is two packets (the chip-select pulse and the read), and a
    // full-speed bus moves about 19 bulk packets a millisecond.
    static constexpr std::int64_t kStatusReadNs = 2 * 1000000 / 19;

    Ch341aDevice(UsbBus& bus, const UsbDeviceDescription& description, const UsbAdapterKind& kind);
    ~Ch341aDevice() override;

    int configure(int selector, std::uint32_t clockHz, std::uint32_t* actualHz) override;
    int transferFrames(int selector, const SpiFrame* frames, int count) override;
    SpiTransferLimits transferLimits(int selector) const override;

    static std::uint8_t reverseBits(std::uint8_t byte);

protected:
    int setUp(UsbDeviceHandle& usb) override;
    void tearDown(UsbDeviceHandle& usb) override;
    std::string spiSummary() const override;

private:
    std::vector<std::uint8_t> out;    // the queued packets of one transfer
    std::vector<std::uint8_t> answer; // the answers, still bit-reversed
};

} // namespace korvane
