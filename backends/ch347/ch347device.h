#pragma once

#include "backends/usb/usbadapter.h"

#include <cstdint>
#include <vector>

namespace korvane {

// The CH347 (T and F) in its vendor SPI mode on bulk OUT 0x06 / IN 0x86. Every packet is a command
// byte, a 16-bit little-endian length and at most kMaxData bytes: 0xC0 sets mode, clock (60 MHz /
// 2^n, n = 0..7), bit order and chip-select polarity, 0xCA reads that back, 0xC1 drives CS1/CS2,
// 0xC4 clocks bytes out (each packet acknowledged), 0xC3 clocks a count of bytes in (answered in
// packets of the same framing), 0xC2 does both at once.
//
// A transfer is queued whole: chip select, the data packets, the read request and the release,
// with the acknowledgements and data packets requested ahead; one that reads and fits a packet
// (a status read, the ID) goes as a single exchange instead. A batch of frames is queued whole the
// same way, chip select released and taken again between frames.
class Ch347Device : public UsbAdapterDevice
{
public:
    static constexpr int kInterfaceT = 2;
    static constexpr int kInterfaceF = 4;
    static constexpr std::uint8_t kOutEndpoint = 0x06;
    static constexpr std::uint8_t kInEndpoint = 0x86;
    static constexpr int kPacketSize = 512;
    static constexpr int kMaxData = 507;
    static constexpr std::uint8_t kSetConfig = 0xC0;
    static constexpr std::uint8_t kChipSelect = 0xC1;
    static constexpr std::uint8_t kOutIn = 0xC2;
    static constexpr std::uint8_t kIn = 0xC3;
    static constexpr std::uint8_t kOut = 0xC4;
    static constexpr std::uint8_t kGetConfig = 0xCA;
    // The configuration's payload and where its fields sit in it.
    static constexpr int kConfigLength = 26;
    static constexpr int kConfigMode = 2;        // 4: SPI master
    static constexpr int kConfigMaster = 3;      // 1
    static constexpr int kConfigPolarity = 6;    // bit 1: clock idles high
    static constexpr int kConfigPhase = 8;       // bit 0: data on the second edge
    static constexpr int kConfigFrame = 11;      // 2
    static constexpr int kConfigClock = 12;      // bits 5..3: n of 60 MHz / 2^n
    static constexpr int kConfigBitOrder = 14;   // bit 7: LSB first
    static constexpr int kConfigWordSize = 16;   // 7: eight bits
    static constexpr int kConfigCsPolarity = 21; // bit 6 CS1, bit 7 CS2 active high
    // Chip-select control payload: one control byte per line (CS1 at 0, CS2 at 5).
    static constexpr int kChipSelectLength = 10;
    static constexpr std::uint8_t kCsChange = 0x80;
    static constexpr std::uint8_t kCsRelease = 0x40;
    static constexpr int kChipSelects = 2;
    static constexpr std::uint32_t kBaseClockHz = 60000000;
    static constexpr int kInFlight = 16;
    static constexpr unsigned kTimeoutMs = 1000;
    // A status read queued in a batch is three command packets (release, take, the exchange), and a
    // high-speed bus moves about 13 bulk packets a 125 us microframe.
    static constexpr std::int64_t kStatusReadNs = 3 * 125000 / 13;

    Ch347Device(UsbBus& bus, const UsbDeviceDescription& description, const UsbAdapterKind& kind);
    ~Ch347Device() override;

    int configure(int selector, std::uint32_t clockHz, std::uint32_t* actualHz) override;
    int transferFrames(int selector, const SpiFrame* frames, int count) override;
    SpiTransferLimits transferLimits(int selector) const override;

    // The clocks the divider gives, fastest first.
    static const std::vector<std::uint32_t>& clocks();

protected:
    int setUp(UsbDeviceHandle& usb) override;
    std::string spiSummary() const override;

private:
    int command(UsbDeviceHandle& usb, std::vector<std::uint8_t> packet, std::vector<std::uint8_t>* reply);

    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> staged;
};

} // namespace korvane
