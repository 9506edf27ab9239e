#include "backends/usb/libusbbus.h"

#include "core/adapter/adapterresult.h"

#include <libusb.h>

#include <algorithm>
#include <climits>

namespace korvane {

namespace {

// Which devices are worth opening for their strings: only those a backend drives.
bool knownVendor(std::uint16_t vendorId)
{
    return vendorId == 0x1a86 || vendorId == 0x0403;
}

std::string stringDescriptor(libusb_device_handle* handle, std::uint8_t index)
{
    if (index == 0)
        return std::string();
    unsigned char text[256];
    const int length = libusb_get_string_descriptor_ascii(handle, index, text, sizeof text);
    return length > 0 ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length))
                      : std::string();
}

struct PendingTransfer
{
    libusb_transfer* transfer = nullptr;
    int done = 0;
};

void LIBUSB_CALL transferEnded(libusb_transfer* transfer)
{
    static_cast<PendingTransfer*>(transfer->user_data)->done = 1;
}

int resultOfStatus(libusb_transfer_status status)
{
    switch (status) {
    case LIBUSB_TRANSFER_COMPLETED:
        return AdapterOk;
    case LIBUSB_TRANSFER_TIMED_OUT:
        return AdapterErrorTimedOut;
    case LIBUSB_TRANSFER_NO_DEVICE:
        return AdapterErrorNoDevice;
    default:
        return AdapterErrorTransport;
    }
}

class LibusbHandle : public UsbDeviceHandle
{
public:
    LibusbHandle(libusb_context* context, libusb_device_handle* handle) : context(context), handle(handle) {}

    ~LibusbHandle() override
    {
        cancelAll();
        for (int number : claimed) {
            libusb_release_interface(handle, number);
            libusb_attach_kernel_driver(handle, number);
        }
        libusb_close(handle);
    }

    int claimInterface(int number) override
    {
        const int detached = libusb_detach_kernel_driver(handle, number);
        if (detached != 0 && detached != LIBUSB_ERROR_NOT_FOUND && detached != LIBUSB_ERROR_NOT_SUPPORTED)
            return adapterResultOfLibusb(detached);
        if (const int code = libusb_claim_interface(handle, number))
            return adapterResultOfLibusb(code);
        claimed.push_back(number);
        return AdapterOk;
    }

    int controlTransfer(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                        std::uint16_t index, std::uint8_t* data, std::uint16_t length,
                        unsigned timeoutMs) override
    {
        const int moved =
            libusb_control_transfer(handle, requestType, request, value, index, data, length, timeoutMs);
        return moved < 0 ? adapterResultOfLibusb(moved) : moved;
    }

    int bulkTransfer(std::uint8_t endpoint, std::uint8_t* data, int length, int* transferred,
                     unsigned timeoutMs) override
    {
        int moved = 0;
        const int code = libusb_bulk_transfer(handle, endpoint, data, length, &moved, timeoutMs);
        if (transferred)
            *transferred = moved;
        return code == 0 ? AdapterOk : adapterResultOfLibusb(code);
    }

    int submitBulk(std::uint8_t endpoint, std::uint8_t* data, int length, unsigned timeoutMs) override
    {
        libusb_transfer* transfer = libusb_alloc_transfer(0);
        if (transfer == nullptr)
            return AdapterErrorTransport;
        const int ticket = nextTicket == INT_MAX ? 0 : nextTicket;
        nextTicket = ticket + 1;
        PendingTransfer& pending = queued[ticket];
        pending.transfer = transfer;
        libusb_fill_bulk_transfer(transfer, handle, endpoint, data, length, transferEnded, &pending,
                                  timeoutMs);
        if (const int code = libusb_submit_transfer(transfer)) {
            libusb_free_transfer(transfer);
            queued.erase(ticket);
            return adapterResultOfLibusb(code);
        }
        return ticket;
    }

    int waitBulk(int ticket, int* transferred) override
    {
        const auto it = queued.find(ticket);
        if (it == queued.end())
            return AdapterErrorArgument;
        PendingTransfer& pending = it->second;
        while (!pending.done) {
            const int code = libusb_handle_events_completed(context, &pending.done);
            if (code != 0 && code != LIBUSB_ERROR_INTERRUPTED) {
                // The event loop itself failed: the transfer is cancelled so that it never writes later.
                libusb_cancel_transfer(pending.transfer);
                while (!pending.done)
                    libusb_handle_events_completed(context, &pending.done);
            }
        }
        if (transferred)
            *transferred = pending.transfer->actual_length;
        const int result = resultOfStatus(pending.transfer->status);
        libusb_free_transfer(pending.transfer);
        queued.erase(it);
        return result;
    }

    void cancelAll() override
    {
        for (auto& entry : queued) {
            if (!entry.second.done)
                libusb_cancel_transfer(entry.second.transfer);
        }
        for (auto& entry : queued) {
            while (!entry.second.done)
                libusb_handle_events_completed(context, &entry.second.done);
            libusb_free_transfer(entry.second.transfer);
        }
        queued.clear();
    }

private:
    libusb_context* context;
    libusb_device_handle* handle;
    std::vector<int> claimed;
    std::map<int, PendingTransfer> queued; // stable addresses: callbacks hold pointers into it
    int nextTicket = 0;
};

UsbDeviceDescription describe(libusb_device* device, const libusb_device_descriptor& descriptor)
{
    UsbDeviceDescription d;
    d.vendorId = descriptor.idVendor;
    d.productId = descriptor.idProduct;
    d.bcdDevice = descriptor.bcdDevice;
    d.bus = libusb_get_bus_number(device);
    d.address = libusb_get_device_address(device);
    std::uint8_t ports[8];
    const int depth = libusb_get_port_numbers(device, ports, sizeof ports);
    for (int i = 0; i < depth; ++i)
        d.portPath.push_back(ports[i]);
    return d;
}

} // namespace

int adapterResultOfLibusb(int libusbError)
{
    switch (libusbError) {
    case LIBUSB_SUCCESS:
        return AdapterOk;
    case LIBUSB_ERROR_ACCESS:
        return AdapterErrorAccess;
    case LIBUSB_ERROR_NO_DEVICE:
    case LIBUSB_ERROR_NOT_FOUND:
        return AdapterErrorNoDevice;
    case LIBUSB_ERROR_TIMEOUT:
        return AdapterErrorTimedOut;
    case LIBUSB_ERROR_NOT_SUPPORTED:
        return AdapterErrorUnsupported;
    case LIBUSB_ERROR_INVALID_PARAM:
        return AdapterErrorArgument;
    default:
        return AdapterErrorTransport;
    }
}

LibusbBus::LibusbBus()
{
    if (libusb_init(&context) != 0)
        context = nullptr;
}

LibusbBus::~LibusbBus()
{
    if (context)
        libusb_exit(context);
}

std::vector<UsbDeviceDescription> LibusbBus::devices()
{
    std::vector<UsbDeviceDescription> found;
    if (context == nullptr)
        return found;
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context, &list);
    if (count < 0)
        return found;
    std::map<std::pair<int, int>, std::pair<std::string, std::string>> seen;
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device_descriptor descriptor;
        if (libusb_get_device_descriptor(list[i], &descriptor) != 0 || !knownVendor(descriptor.idVendor))
            continue;
        UsbDeviceDescription d = describe(list[i], descriptor);
        const auto key = std::make_pair(d.bus, d.address);
        auto cached = strings.find(key);
        if (cached == strings.end()) {
            // Without permission the strings stay empty; opening then says why.
            std::pair<std::string, std::string> texts;
            libusb_device_handle* handle = nullptr;
            if (libusb_open(list[i], &handle) == 0) {
                texts.first = stringDescriptor(handle, descriptor.iSerialNumber);
                texts.second = stringDescriptor(handle, descriptor.iProduct);
                libusb_close(handle);
            }
            cached = strings.emplace(key, texts).first;
        }
        d.serial = cached->second.first;
        d.product = cached->second.second;
        seen.insert(*cached);
        found.push_back(std::move(d));
    }
    libusb_free_device_list(list, 1);
    strings = std::move(seen);
    return found;
}

std::unique_ptr<UsbDeviceHandle> LibusbBus::open(const UsbDeviceDescription& wanted, int* result)
{
    *result = AdapterErrorNoDevice;
    if (context == nullptr)
        return nullptr;
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context, &list);
    if (count < 0) {
        *result = adapterResultOfLibusb(static_cast<int>(count));
        return nullptr;
    }
    std::unique_ptr<UsbDeviceHandle> opened;
    for (ssize_t i = 0; i < count && !opened; ++i) {
        libusb_device_descriptor descriptor;
        if (libusb_get_device_descriptor(list[i], &descriptor) != 0)
            continue;
        const UsbDeviceDescription d = describe(list[i], descriptor);
        if (!sameUsbPort(d, wanted) || d.vendorId != wanted.vendorId || d.productId != wanted.productId)
            continue;
        libusb_device_handle* handle = nullptr;
        const int code = libusb_open(list[i], &handle);
        *result = adapterResultOfLibusb(code);
        if (code == 0)
            opened = std::make_unique<LibusbHandle>(context, handle);
        break;
    }
    libusb_free_device_list(list, 1);
    return opened;
}

} // namespace korvane
