#pragma once

#include "backends/usb/usbadapter.h"
#include "core/spinor/deviceadapterlibrary.h"

#include <memory>
#include <string>
#include <vector>

namespace korvane {

class Clock;

// The adapter library of USB programmers of one or several kinds: every device of those kinds on
// the bus, ordered by bus and port path, or only the n-th of them. Devices keep their handle
// while they stay on their port.
class UsbAdapterLibrary : public DeviceAdapterLibrary
{
public:
    // only: -1 for every device found, otherwise the index of the one device to offer.
    UsbAdapterLibrary(Clock& clock, std::shared_ptr<UsbBus> bus, std::vector<UsbAdapterKind> kinds,
                      int only = -1);
    ~UsbAdapterLibrary() override;

    int scanDevices(int* devices) override;

protected:
    AdapterDevice* device(int handle) const override;

private:
    std::shared_ptr<UsbBus> bus;
    std::vector<UsbAdapterKind> kinds;
    int only;
    std::vector<std::unique_ptr<UsbAdapterDevice>> found; // by handle
};

// The device object for a kind (defined with the backends).
std::unique_ptr<UsbAdapterDevice> createUsbAdapterDevice(UsbBus& bus, const UsbDeviceDescription& description,
                                                         const UsbAdapterKind& kind);

// Every kind the USB backends drive, in the order of the --adapter forms.
const std::vector<UsbAdapterKind>& usbAdapterKinds();
// The kinds of one backend ("ch341a", "ch347", "ft232h", "ft2232h").
std::vector<UsbAdapterKind> usbAdapterKinds(const std::string& backend);

} // namespace korvane
