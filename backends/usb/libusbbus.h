#pragma once

#include "backends/usb/usbbus.h"

#include <map>
#include <utility>

struct libusb_context;

namespace korvane {

// The system's USB through libusb-1.0, kept thin: listing, opening, and the transfers as they are.
// Without a usable USB subsystem (no /dev/bus/usb in a container) it lists nothing.
class LibusbBus : public UsbBus
{
public:
    LibusbBus();
    ~LibusbBus() override;
    LibusbBus(const LibusbBus&) = delete;
    LibusbBus& operator=(const LibusbBus&) = delete;

    std::vector<UsbDeviceDescription> devices() override;
    std::unique_ptr<UsbDeviceHandle> open(const UsbDeviceDescription& device, int* result) override;

private:
    libusb_context* context = nullptr;
    // Strings read once per enumeration of a device (bus, address): asking opens the device.
    std::map<std::pair<int, int>, std::pair<std::string, std::string>> strings;
};

// A libusb error as an AdapterResult code.
int adapterResultOfLibusb(int libusbError);

} // namespace korvane
