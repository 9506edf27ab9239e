#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvane {

// One USB device as the bus lists it.
struct UsbDeviceDescription
{
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    int bus = 0;
    std::vector<int> portPath; // port numbers from the root hub down
    int address = 0;           // given anew each time the device enumerates
    std::uint16_t bcdDevice = 0;
    std::string serial;  // empty when the device has none or may not be asked
    std::string product; // the product string, where it has one
};

// "1-3.2": bus 1, port 3 of the root hub, port 2 of the hub behind it (the kernel's own naming).
std::string usbLocationText(const UsbDeviceDescription& device);
// Bus, then port path: the order adapters are listed in, stable as long as the cables stay put.
bool usbPortLess(const UsbDeviceDescription& a, const UsbDeviceDescription& b);
bool sameUsbPort(const UsbDeviceDescription& a, const UsbDeviceDescription& b);

// An opened device. Results are AdapterResult codes (AdapterErrorNoDevice once it is unplugged,
// AdapterErrorTimedOut when it did not answer in time). Destroying it cancels what is still
// queued, releases the interfaces and closes the device.
class UsbDeviceHandle
{
public:
    virtual ~UsbDeviceHandle() = default;

    // Detaches a kernel driver bound to the interface, then claims it.
    virtual int claimInterface(int number) = 0;
    // Direction from bit 7 of requestType. Returns the bytes moved, or an AdapterResult code below 0.
    virtual int controlTransfer(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                std::uint16_t index, std::uint8_t* data, std::uint16_t length,
                                unsigned timeoutMs) = 0;
    // Synchronous bulk transfer; *transferred receives the bytes moved.
    virtual int bulkTransfer(std::uint8_t endpoint, std::uint8_t* data, int length, int* transferred,
                             unsigned timeoutMs) = 0;

    // Asynchronous bulk transfers, so that the next one waits while the device works on the last:
    // submitBulk queues one (data stays the caller's and must live until it ended) and returns a
    // ticket (0 or more) or an AdapterResult code; waitBulk waits for the ticket's transfer to end
    // and returns its result. Transfers on one endpoint end in the order they were queued.
    virtual int submitBulk(std::uint8_t endpoint, std::uint8_t* data, int length, unsigned timeoutMs) = 0;
    virtual int waitBulk(int ticket, int* transferred) = 0;
    // Cancels every queued transfer and waits until they have all ended.
    virtual void cancelAll() = 0;
};

// The system's USB as the backends see it: what is attached, and opening it.
class UsbBus
{
public:
    virtual ~UsbBus() = default;
    // The devices attached now; empty when the bus cannot be listed at all.
    virtual std::vector<UsbDeviceDescription> devices() = 0;
    // Opens the device at the description's bus and port path. *result receives an AdapterResult
    // code: AdapterErrorAccess without permission, AdapterErrorNoDevice when it is gone.
    virtual std::unique_ptr<UsbDeviceHandle> open(const UsbDeviceDescription& device, int* result) = 0;
};

} // namespace korvane
