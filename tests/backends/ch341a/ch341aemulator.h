#pragma once

#include "tests/backends/usb/emulatedusb.h"

#include <deque>
#include <vector>

namespace korvane {
}
using namespace korvane;

// A CH341A as its host sees it: 32-byte command packets on bulk OUT 0x02, one answer packet per
// SPI packet on bulk IN 0x82. A pin stream (0xAB) carries sub-commands up to its end (0x20), each
// carried out in turn, so one packet can pulse a chip select; one packet is one command, so SPI
// bytes never share a packet with a pin stream. Strict about what a real one would get wrong: an
// empty or unknown packet, a pin stream without its end, padding that is not zero, SPI before the
// stream speed was set or the pins were made outputs, two chip selects low at once, bytes clocked
// with none, an answer asked for into too small a buffer, and (through the wire) bytes whose bits
// were not reversed.
class Ch341aEmulator : public EmulatedUsbDevice
{
public:
    explicit Ch341aEmulator(int bus = 1, std::vector<int> ports = {1}, std::string serial = std::string());

    int maxPacketSize() const override { return 32; }
    int bulkOut(std::uint8_t endpoint, const std::uint8_t* data, int length) override;
    int bulkIn(std::uint8_t endpoint, std::uint8_t* data, int length) override;
    void powerUp() override;
    void discardOutput() override { answers.clear(); }

    std::uint8_t pins() const { return pinValues; }
    std::uint8_t directions() const { return pinDirections; }
    long long spiPackets = 0;
    long long pinPackets = 0;

private:
    int packet(const std::uint8_t* data, int length);
    int pinStream(const std::uint8_t* data, int length);
    void applyChipSelects();

    std::uint8_t pinValues = 0;
    std::uint8_t pinDirections = 0;
    bool speedSet = false;
    std::deque<std::vector<std::uint8_t>> answers;
};
