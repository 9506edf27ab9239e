#pragma once

#include "tests/backends/usb/emulatedusb.h"

#include <deque>
#include <vector>

namespace korvane {
}
using namespace korvane;

// A CH347T or CH347F in its vendor SPI mode: one framed command per bulk OUT transfer on 0x06
// (command, 16-bit little-endian length, data), answers on 0x86. Strict: a length field that does
// not match the packet, more than 507 data bytes, a command it does not know, SPI before 0xC0
// configured it, a mode other than 0, active-high chip selects, both chip selects low, bytes
// clocked with neither, and an answer asked for into too small a buffer.
class Ch347Emulator : public EmulatedUsbDevice
{
public:
    // productId 0x55db (CH347T, interface 2) or 0x55de (CH347F, interface 4).
    explicit Ch347Emulator(std::uint16_t productId = 0x55db, int bus = 1, std::vector<int> ports = {2},
                           std::string serial = std::string());

    int interfaceNumber() const override { return description.productId == 0x55de ? 4 : 2; }
    int maxPacketSize() const override { return 512; }
    int bulkOut(std::uint8_t endpoint, const std::uint8_t* data, int length) override;
    int bulkIn(std::uint8_t endpoint, std::uint8_t* data, int length) override;
    void powerUp() override;
    void discardOutput() override { answers.clear(); }

    // The SPI clock the configuration sets, 0 before any.
    std::uint32_t clockHz() const;
    int commands = 0;
    // Fault: 0xCA answers with this clock divisor instead of the one set (-1: the one set).
    int reportedDivisor = -1;

private:
    void answer(std::uint8_t command, const std::uint8_t* data, int length);
    void chipSelect(const std::uint8_t* payload);

    std::vector<std::uint8_t> config; // the last 0xC0 payload
    std::deque<std::vector<std::uint8_t>> answers;
};
