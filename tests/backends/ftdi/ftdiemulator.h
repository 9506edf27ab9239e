#pragma once

#include "tests/backends/usb/emulatedusb.h"

#include <deque>
#include <vector>

namespace korvane {
}
using namespace korvane;

// An FT232H or an FT2232H (channel A) in MPSSE mode: vendor control requests to set it up, a
// command stream on bulk OUT 0x02 (commands may straddle transfers), answers on bulk IN 0x81 in
// 512-byte packets that each start with two modem status bytes. Strict: bulk data before MPSSE
// mode, a command it does not emulate, clocking with the divide-by-5 prescaler, adaptive or
// three-phase clocking or loopback on, MISO driven, SCK idling high, several chip selects low,
// bytes clocked with none.
class FtdiEmulator : public EmulatedUsbDevice
{
public:
    // productId 0x6014 (FT232H) or 0x6010 (FT2232H).
    explicit FtdiEmulator(std::uint16_t productId = 0x6014, int bus = 1, std::vector<int> ports = {3},
                          std::string serial = "FT5XK3QZ");

    int maxPacketSize() const override { return 512; }
    int bulkOut(std::uint8_t endpoint, const std::uint8_t* data, int length) override;
    int bulkIn(std::uint8_t endpoint, std::uint8_t* data, int length) override;
    int idleIn(std::uint8_t endpoint, std::uint8_t* data, int length) override;
    int control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value, std::uint16_t index,
                std::uint8_t* data, std::uint16_t length) override;
    void powerUp() override;
    void discardOutput() override { output.clear(); }

    // The SCK frequency as set now.
    std::uint32_t clockHz() const;
    bool mpsse() const { return mpsseMode; }
    // Answers with status bytes only, however much there is to send (a stuck device).
    bool stalled = false;
    long long emptyAnswers = 0;

private:
    // Carries out every whole command in the inbox; false on a violation that stops the stream.
    bool runCommands();
    void applyPins(std::uint8_t value, std::uint8_t direction);

    bool mpsseMode = false;
    bool prescaler = true;
    bool adaptive = false;
    bool threePhase = false;
    bool loopback = false;
    int divisor = 0;
    std::uint8_t pinValues = 0;
    std::uint8_t pinDirections = 0;
    std::vector<std::uint8_t> inbox; // bytes of a command still incomplete
    std::deque<std::uint8_t> output; // bytes to send, without status bytes
};
