#pragma once

#include "core/adapter/adapterlibrary.h"
#include "core/adapter/deviceinfo.h"
#include "core/adapter/spiframe.h"

#include <cstdint>

namespace korvane {

// The firmware service of an adapter that has one: its application area can be erased, written
// and checked, and the adapter restarted into its upgrade code or its application.
class AdapterFirmware
{
public:
    virtual ~AdapterFirmware() = default;
    virtual bool eraseFirmware(std::uint32_t startAddress, std::uint32_t endAddress) = 0;
    // flag: 1 firmware data, 0 the MD5 value written behind it.
    virtual bool writeFirmware(std::uint32_t address, const std::uint8_t* data, std::uint32_t count,
                               int flag) = 0;
    virtual void jumpToAddress(std::uint32_t address) = 0;
    virtual bool checkFirmwareMd5(std::uint32_t startAddress, std::uint32_t length) = 0;
};

// One adapter as a backend drives it: a transport (one chip-select-framed transfer at a time)
// plus what the adapter can say about itself. The SPI NOR engine does the rest.
class AdapterDevice
{
public:
    virtual ~AdapterDevice() = default;

    virtual AdapterIdentity identity() const = 0;

    // AdapterResult codes. Opening an open adapter succeeds.
    virtual int open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Prepares transfers on a selector (low nibble the SPI port, high nibble the chip select) at
    // the fastest clock the adapter has that is not above clockHz (its slowest if all are);
    // *actualHz receives that clock. AdapterErrorUnsupported for a selector the adapter lacks.
    virtual int configure(int selector, std::uint32_t clockHz, std::uint32_t* actualHz) = 0;

    // One transfer framed by the selector's chip select: sends sendCount bytes, then clocks in
    // receiveCount bytes. An AdapterResult code.
    virtual int transfer(int selector, const std::uint8_t* send, int sendCount, std::uint8_t* receive,
                         int receiveCount) = 0;
    // Several transfers in a row, stopping at the first that fails. Adapters that can queue frames
    // send them together; by default one transfer each.
    virtual int transferFrames(int selector, const SpiFrame* frames, int count)
    {
        for (int i = 0; i < count; ++i) {
            if (const int result = transfer(selector, frames[i].send, frames[i].sendCount, frames[i].receive,
                                            frames[i].receiveCount))
                return result;
        }
        return 0;
    }
    // The largest frame the adapter takes; a transfer beyond it fails with AdapterErrorFrameLimit.
    virtual SpiTransferLimits transferLimits(int selector) const
    {
        (void)selector;
        return SpiTransferLimits{};
    }

    // The information record and the NUL-terminated functions text (kDeviceFunctionsTextSize
    // bytes) that getDeviceInfo reports. False when the adapter cannot be asked.
    virtual bool deviceInfo(DEVICE_INFO* info, char* functions) = 0;

    // The firmware service, or null for an adapter that has none.
    virtual AdapterFirmware* firmware() { return nullptr; }
};

} // namespace korvane
