#include "backends/usb/usbbus.h"

#include <tuple>

namespace korvane {

std::string usbLocationText(const UsbDeviceDescription& device)
{
    std::string text = std::to_string(device.bus);
    for (std::size_t i = 0; i < device.portPath.size(); ++i)
        text += (i == 0 ? "-" : ".") + std::to_string(device.portPath[i]);
    return text;
}

bool usbPortLess(const UsbDeviceDescription& a, const UsbDeviceDescription& b)
{
    return std::tie(a.bus, a.portPath) < std::tie(b.bus, b.portPath);
}

bool sameUsbPort(const UsbDeviceDescription& a, const UsbDeviceDescription& b)
{
    return a.bus == b.bus && a.portPath == b.portPath;
}

} // namespace korvane
