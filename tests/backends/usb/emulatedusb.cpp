#include "tests/backends/usb/emulatedusb.h"

#include "core/adapter/adapterresult.h"

#include <algorithm>
#include <map>

using namespace korvane;

EmulatedUsbDevice::EmulatedUsbDevice(UsbDeviceDescription description)
    : description(std::move(description)), wire([this](const std::string& text) { violation(text); })
{
}

EmulatedUsbDevice::~EmulatedUsbDevice() = default;

int EmulatedUsbDevice::idleIn(std::uint8_t endpoint, std::uint8_t*, int length)
{
    violation("IN transfer of " + std::to_string(length) + " bytes on endpoint " + std::to_string(endpoint) +
              " that nothing will answer");
    return AdapterErrorTimedOut;
}

int EmulatedUsbDevice::control(std::uint8_t, std::uint8_t request, std::uint16_t, std::uint16_t,
                               std::uint8_t*, std::uint16_t)
{
    violation("control request " + std::to_string(request) + " this device does not take");
    return AdapterErrorTransport;
}

void EmulatedUsbDevice::violation(const std::string& text)
{
    recorded.push_back(text);
}

std::string EmulatedUsbDevice::violationText() const
{
    std::string text;
    for (const std::string& line : recorded)
        text += line + "\n";
    return text;
}

bool EmulatedUsbDevice::beginFrame(int cs)
{
    const long long before = wire.frames();
    if (unplugAtFrame >= 0 && before >= unplugAtFrame) {
        unplug();
        return false;
    }
    if (silentAtFrame >= 0 && before >= silentAtFrame)
        isSilent = true;
    wire.select(cs);
    return true;
}

void EmulatedUsbDevice::unplugAfterFrames(int frames)
{
    if (frames < 0) {
        unplugAtFrame = -1;
        if (!isPlugged)
            plugIn();
        return;
    }
    unplugAtFrame = wire.frames() + frames;
}

void EmulatedUsbDevice::unplug()
{
    isPlugged = false;
    unplugAtFrame = -1;
    claimed = false;
    // The chip loses chip select with the programmer's power.
    wire.release();
}

void EmulatedUsbDevice::plugIn()
{
    isPlugged = true;
    ++description.address;
    powerUp();
}

void EmulatedUsbDevice::goSilentAfterFrames(int frames)
{
    if (frames < 0) {
        silentAtFrame = -1;
        isSilent = false;
        return;
    }
    silentAtFrame = wire.frames() + frames;
}

namespace {

class EmulatedHandle : public UsbDeviceHandle
{
public:
    EmulatedHandle(EmulatedUsbBus& bus, EmulatedUsbDevice& device)
        : bus(bus), device(device), address(device.description.address)
    {
        ++bus.openHandles;
    }
    ~EmulatedHandle() override
    {
        --bus.openHandles;
        if (alive())
            device.claimed = false;
    }

    int claimInterface(int number) override
    {
        if (!alive())
            return AdapterErrorNoDevice;
        if (device.interfaceBusy)
            return AdapterErrorTransport;
        if (number != device.interfaceNumber()) {
            device.violation("claimed interface " + std::to_string(number) + ", the programmer's is " +
                             std::to_string(device.interfaceNumber()));
            return AdapterErrorNoDevice;
        }
        device.claimed = true;
        return AdapterOk;
    }

    int controlTransfer(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                        std::uint16_t index, std::uint8_t* data, std::uint16_t length, unsigned) override
    {
        if (!alive())
            return AdapterErrorNoDevice;
        return device.control(requestType, request, value, index, data, length);
    }

    int bulkTransfer(std::uint8_t endpoint, std::uint8_t* data, int length, int* transferred,
                     unsigned timeoutMs) override
    {
        const int ticket = submitBulk(endpoint, data, length, timeoutMs);
        if (ticket < 0)
            return ticket;
        return waitBulk(ticket, transferred);
    }

    int submitBulk(std::uint8_t endpoint, std::uint8_t* data, int length, unsigned) override
    {
        if (!alive())
            return AdapterErrorNoDevice;
        if (length < 0 || (length > 0 && data == nullptr))
            return AdapterErrorArgument;
        const int ticket = nextTicket++;
        if (bus.onSubmit)
            bus.onSubmit(&device, endpoint, bus.submitted);
        pending.push_back(Item{ticket, endpoint, data, length, bus.submitted++});
        const auto in =
            std::count_if(pending.begin(), pending.end(), [](const Item& i) { return i.endpoint & 0x80; });
        bus.maxQueued = std::max<long long>(bus.maxQueued, in);
        return ticket;
    }

    int waitBulk(int ticket, int* transferred) override
    {
        if (bus.onWait)
            bus.onWait(&device);
        while (true) {
            const auto it = finished.find(ticket);
            if (it != finished.end()) {
                if (transferred)
                    *transferred = it->second.moved;
                const int result = it->second.result;
                if (bus.onWaitDone)
                    bus.onWaitDone(it->second.order);
                finished.erase(it);
                return result;
            }
            if (pending.empty())
                return AdapterErrorArgument;
            Item item = pending.front();
            if (!(item.endpoint & 0x80)) {
                pending.pop_front();
                run(item);
                continue;
            }
            if (!alive()) {
                pending.pop_front();
                finish(item, AdapterErrorNoDevice, 0);
                continue;
            }
            if (device.silent()) {
                pending.pop_front();
                finish(item, AdapterErrorTimedOut, 0);
                continue;
            }
            const int moved = device.bulkIn(item.endpoint, item.data, item.length);
            if (moved != EmulatedUsbDevice::kNothingYet) {
                pending.pop_front();
                finish(item, moved < 0 ? moved : AdapterOk, std::max(moved, 0));
                continue;
            }
            // Nothing to say yet: the OUT transfers queued behind this request go first.
            const auto out = std::find_if(pending.begin(), pending.end(),
                                          [](const Item& queued) { return !(queued.endpoint & 0x80); });
            if (out != pending.end()) {
                Item next = *out;
                pending.erase(out);
                run(next);
                continue;
            }
            pending.pop_front();
            const int idle = device.idleIn(item.endpoint, item.data, item.length);
            finish(item, idle < 0 ? idle : AdapterOk, std::max(idle, 0));
        }
    }

    void cancelAll() override
    {
        pending.clear();
        finished.clear();
    }

private:
    struct Item
    {
        int ticket;
        std::uint8_t endpoint;
        std::uint8_t* data;
        int length;
        long long order;
    };

    bool alive() const { return device.plugged() && device.description.address == address; }

    void run(const Item& item)
    {
        if (!alive()) {
            finish(item, AdapterErrorNoDevice, 0);
            return;
        }
        if (!device.claimed)
            device.violation("bulk OUT before the interface was claimed");
        if (bus.onDeliver)
            bus.onDeliver(item.order, item.length);
        const int result = device.bulkOut(item.endpoint, item.data, item.length);
        finish(item, alive() ? result : AdapterErrorNoDevice, result == AdapterOk ? item.length : 0);
    }

    void finish(const Item& item, int result, int moved)
    {
        if (item.endpoint & 0x80)
            ++bus.inTransfers;
        else
            ++bus.outTransfers;
        if (bus.onTransfer)
            bus.onTransfer(EmulatedUsbBus::TransferEvent{&device, item.endpoint, item.length, moved, result,
                                                         item.order});
        finished[item.ticket] = Ended{result, moved, item.order};
    }

    EmulatedUsbBus& bus;
    EmulatedUsbDevice& device;
    const int address;
    std::deque<Item> pending;
    struct Ended
    {
        int result;
        int moved;
        long long order;
    };
    std::map<int, Ended> finished; // by ticket
    int nextTicket = 0;
};

} // namespace

EmulatedUsbBus::EmulatedUsbBus() = default;
EmulatedUsbBus::~EmulatedUsbBus() = default;

EmulatedUsbDevice* EmulatedUsbBus::add(std::unique_ptr<EmulatedUsbDevice> device)
{
    devices_.push_back(std::move(device));
    return devices_.back().get();
}

std::vector<UsbDeviceDescription> EmulatedUsbBus::devices()
{
    std::vector<UsbDeviceDescription> list;
    for (const auto& device : devices_) {
        if (device->plugged())
            list.push_back(device->description);
    }
    return list;
}

std::unique_ptr<UsbDeviceHandle> EmulatedUsbBus::open(const UsbDeviceDescription& wanted, int* result)
{
    for (const auto& device : devices_) {
        if (!device->plugged() || !sameUsbPort(device->description, wanted))
            continue;
        if (device->denyAccess) {
            *result = AdapterErrorAccess;
            return nullptr;
        }
        ++device->opens;
        device->discardOutput();
        *result = AdapterOk;
        return std::make_unique<EmulatedHandle>(*this, *device);
    }
    *result = AdapterErrorNoDevice;
    return nullptr;
}

std::string EmulatedUsbBus::violations() const
{
    std::string text;
    for (const auto& device : devices_)
        text += device->violationText();
    return text;
}
