#pragma once

#include "backends/usb/usbadapter.h"

#include <cstdint>
#include <vector>

namespace korvane {

// FT232H and FT2232H (channel A) in MPSSE mode, driven directly over bulk OUT 0x02 / IN 0x81.
// ADBUS0 SCK, ADBUS1 DO (MOSI), ADBUS2 DI (MISO), ADBUS3 the first chip select, GPIOL0-3
// (ADBUS4-7) four more, all active low. With the divide-by-5 prescaler off the clock is
// 60 MHz / ((1 + divisor) * 2), 30 MHz at most. Every IN packet starts with two modem status
// bytes that are not data.
//
// A transfer is one queued command stream (chip select low, bytes out, bytes in, chip select high,
// send now), its answer read with several transfers requested ahead; a batch of frames is one
// stream too, each frame framed by its chip-select commands.
class FtdiDevice : public UsbAdapterDevice
{
public:
    static constexpr std::uint8_t kOutEndpoint = 0x02;
    static constexpr std::uint8_t kInEndpoint = 0x81;
    static constexpr int kPacketSize = 512;
    static constexpr int kStatusBytes = 2;
    static constexpr int kDataPerPacket = kPacketSize - kStatusBytes;
    // Control requests (vendor, to the interface) and their values.
    static constexpr std::uint8_t kRequestReset = 0x00;
    static constexpr std::uint8_t kRequestSetLatency = 0x09;
    static constexpr std::uint8_t kRequestSetBitmode = 0x0B;
    static constexpr std::uint16_t kResetSio = 0;
    static constexpr std::uint16_t kPurgeRx = 1;
    static constexpr std::uint16_t kPurgeTx = 2;
    static constexpr std::uint16_t kBitmodeReset = 0x0000;
    static constexpr std::uint16_t kBitmodeMpsse = 0x0200;
    static constexpr std::uint16_t kChannelA = 1; // wIndex of interface A
    static constexpr std::uint16_t kLatencyMs = 2;
    // MPSSE commands.
    static constexpr std::uint8_t kBytesOutFalling = 0x11; // MSB first, out on the falling edge
    static constexpr std::uint8_t kBytesInRising = 0x20;   // MSB first, in on the rising edge
    static constexpr std::uint8_t kSetLowByte = 0x80;      // value, direction of ADBUS0-7
    static constexpr std::uint8_t kLoopbackOff = 0x85;
    static constexpr std::uint8_t kSetDivisor = 0x86;
    static constexpr std::uint8_t kSendImmediate = 0x87;
    static constexpr std::uint8_t kPrescalerOff = 0x8A;
    static constexpr std::uint8_t kThreePhaseOff = 0x8D;
    static constexpr std::uint8_t kAdaptiveOff = 0x97;
    static constexpr std::uint8_t kPinsIdle = 0xF8;      // chip selects high, SCK and DO low
    static constexpr std::uint8_t kPinDirections = 0xFB; // all out but DI
    static constexpr int kChipSelects = 5;
    static constexpr std::uint32_t kBaseClockHz = 60000000;
    static constexpr int kMaxChunk = 65536; // bytes per clocking command
    static constexpr int kInPackets = 8;    // packets per IN transfer
    static constexpr int kInFlight = 4;
    // A device that keeps answering with status bytes only has stopped working.
    static constexpr int kMaxEmptyReads = 2000;
    static constexpr unsigned kTimeoutMs = 1000;

    FtdiDevice(UsbBus& bus, const UsbDeviceDescription& description, const UsbAdapterKind& kind);
    ~FtdiDevice() override;

    int configure(int selector, std::uint32_t clockHz, std::uint32_t* actualHz) override;
    int transferFrames(int selector, const SpiFrame* frames, int count) override;
    SpiTransferLimits transferLimits(int selector) const override;

    // The divisor for the fastest clock not above clockHz (the slowest there is when none), and
    // the clock it gives.
    static int divisorFor(std::uint32_t clockHz);
    static std::uint32_t clockOf(int divisor);
    // The pin of a chip select: ADBUS3, then GPIOL0-3.
    static int chipSelectPin(int cs) { return 3 + cs; }

protected:
    int setUp(UsbDeviceHandle& usb) override;
    void tearDown(UsbDeviceHandle& usb) override;
    std::string spiSummary() const override;

private:
    int control(UsbDeviceHandle& usb, std::uint8_t request, std::uint16_t value);
    int send(UsbDeviceHandle& usb, std::vector<std::uint8_t> bytes);

    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> staged;
    std::vector<std::uint8_t> slots;
    std::uint32_t clockHz = 0; // as the last configure set it
};

} // namespace korvane
