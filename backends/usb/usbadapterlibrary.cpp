#include "backends/usb/usbadapterlibrary.h"

#include "backends/ch341a/ch341adevice.h"
#include "backends/ch347/ch347device.h"
#include "backends/ftdi/ftdidevice.h"

#include <algorithm>

namespace korvane {

UsbAdapterLibrary::UsbAdapterLibrary(Clock& clock, std::shared_ptr<UsbBus> bus,
                                     std::vector<UsbAdapterKind> kinds, int only)
    : DeviceAdapterLibrary(clock), bus(std::move(bus)), kinds(std::move(kinds)), only(only)
{
}

UsbAdapterLibrary::~UsbAdapterLibrary()
{
    // The devices close before the bus they were opened on goes.
    found.clear();
}

int UsbAdapterLibrary::scanDevices(int* devices)
{
    struct Candidate
    {
        UsbDeviceDescription description;
        const UsbAdapterKind* kind;
    };
    std::vector<Candidate> candidates;
    for (const UsbDeviceDescription& description : bus->devices()) {
        for (const UsbAdapterKind& kind : kinds) {
            if (description.vendorId == kind.vendorId && description.productId == kind.productId)
                candidates.push_back(Candidate{description, &kind});
        }
    }
    std::stable_sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        return usbPortLess(a.description, b.description);
    });
    if (only >= 0) {
        if (only < static_cast<int>(candidates.size()))
            candidates = {candidates[static_cast<std::size_t>(only)]};
        else
            candidates.clear();
    }

    std::vector<std::unique_ptr<UsbAdapterDevice>> next;
    for (const Candidate& candidate : candidates) {
        // The same device on the same port, not re-enumerated since: keep it, open or not.
        auto same = std::find_if(found.begin(), found.end(), [&](const std::unique_ptr<UsbAdapterDevice>& d) {
            return d && sameUsbPort(d->description(), candidate.description) &&
                   d->description().address == candidate.description.address &&
                   d->description().productId == candidate.description.productId;
        });
        if (same != found.end())
            next.push_back(std::move(*same));
        else
            next.push_back(createUsbAdapterDevice(*bus, candidate.description, *candidate.kind));
    }
    // A handle that now stands for another device keeps nothing of the old one's configuration.
    for (std::size_t i = 0; i < std::max(found.size(), next.size()); ++i) {
        const AdapterDevice* before = i < found.size() ? found[i].get() : nullptr;
        const AdapterDevice* after = i < next.size() ? next[i].get() : nullptr;
        if (before != after || before == nullptr)
            forgetConfiguration(static_cast<int>(i));
    }
    found = std::move(next); // devices gone from the bus close here
    const int count = static_cast<int>(std::min<std::size_t>(found.size(), kMaxAdapters));
    if (devices != nullptr) {
        for (int i = 0; i < count; ++i)
            devices[i] = i;
    }
    return count;
}

AdapterDevice* UsbAdapterLibrary::device(int handle) const
{
    if (handle < 0 || handle >= static_cast<int>(found.size()) || handle >= kMaxAdapters)
        return nullptr;
    return found[static_cast<std::size_t>(handle)].get();
}

const std::vector<UsbAdapterKind>& usbAdapterKinds()
{
    static const std::vector<UsbAdapterKind> kinds = {
        {0x1a86, 0x5512, "ch341a", "CH341A", 0},
        {0x1a86, 0x55db, "ch347", "CH347T", Ch347Device::kInterfaceT},
        {0x1a86, 0x55de, "ch347", "CH347F", Ch347Device::kInterfaceF},
        {0x0403, 0x6014, "ft232h", "FT232H", 0},
        {0x0403, 0x6010, "ft2232h", "FT2232H", 0},
    };
    return kinds;
}

std::vector<UsbAdapterKind> usbAdapterKinds(const std::string& backend)
{
    std::vector<UsbAdapterKind> kinds;
    for (const UsbAdapterKind& kind : usbAdapterKinds()) {
        if (backend == kind.backend)
            kinds.push_back(kind);
    }
    return kinds;
}

std::unique_ptr<UsbAdapterDevice> createUsbAdapterDevice(UsbBus& bus, const UsbDeviceDescription& description,
                                                         const UsbAdapterKind& kind)
{
    const std::string backend = kind.backend;
    if (backend == "ch341a")
        return std::make_unique<Ch341aDevice>(bus, description, kind);
    if (backend == "ch347")
        return std::make_unique<Ch347Device>(bus, description, kind);
    return std::make_unique<FtdiDevice>(bus, description, kind);
}

} // namespace korvane
