#pragma once

#include "backends/usb/usbbus.h"
#include "core/adapter/adapterdevice.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvane {

// One kind of USB programmer: its IDs, the backend that drives it and its name.
struct UsbAdapterKind
{
    std::uint16_t vendorId;
    std::uint16_t productId;
    const char* backend; // the --adapter form: "ch341a", "ch347", ...
    const char* name;    // "CH341A", "CH347T", ...
    int variant;         // backend's own: the interface, the FTDI channel, ...
};

// An adapter on USB: opening, closing and describing it are the same for every kind; the
// protocol lives in the subclass (setUp after the device was opened, configure, transfer).
// A transfer that fails closes the device, so that the next open starts afresh (after the device
// was plugged in again, or with the answers of the failed transfer forgotten).
class UsbAdapterDevice : public AdapterDevice
{
public:
    UsbAdapterDevice(UsbBus& bus, const UsbDeviceDescription& description, const UsbAdapterKind& kind);
    ~UsbAdapterDevice() override;

    AdapterIdentity identity() const override;
    int open() override;
    void close() override;
    bool isOpen() const override { return handle != nullptr; }
    bool deviceInfo(DEVICE_INFO* info, char* functions) override;
    // Every USB programmer queues frames: one transfer is a batch of one.
    int transfer(int selector, const std::uint8_t* send, int sendCount, std::uint8_t* receive,
                 int receiveCount) final
    {
        const SpiFrame frame{send, sendCount, receive, receiveCount};
        return transferFrames(selector, &frame, 1);
    }

    const UsbDeviceDescription& description() const { return usbDevice; }
    const UsbAdapterKind& kind() const { return adapterKind; }

protected:
    // After the device was opened: claim the interface, put the chip in its mode. AdapterResult.
    virtual int setUp(UsbDeviceHandle& usb) = 0;
    // Before it is closed: leave the pins as they were found. Failures do not matter any more.
    virtual void tearDown(UsbDeviceHandle&) {}
    // What the functions text says about the adapter's SPI side ("CS0-CS2, 2 MHz").
    virtual std::string spiSummary() const = 0;

    UsbDeviceHandle* usb() const { return handle.get(); }
    // Passes a failed transfer's code on, closing the device on the way.
    int failed(int code);

private:
    UsbBus& bus;
    UsbDeviceDescription usbDevice;
    const UsbAdapterKind adapterKind;
    std::unique_ptr<UsbDeviceHandle> handle;
};

// The nearest clock of a table (fastest first) not above the one asked for, or the slowest when
// all are above; its index.
int clockIndexFor(const std::vector<std::uint32_t>& fastestFirst, std::uint32_t clockHz);

} // namespace korvane
