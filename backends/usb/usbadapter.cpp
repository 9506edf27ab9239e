#include "backends/usb/usbadapter.h"

#include "core/adapter/adapterresult.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace korvane {

namespace {

// bcdDevice "JJ.M.N" packed as the information record's versions: major, minor, patch.
std::uint32_t packedRelease(std::uint16_t bcd)
{
    const std::uint32_t major = ((bcd >> 12) & 0xF) * 10 + ((bcd >> 8) & 0xF);
    return (major << 24) | (std::uint32_t((bcd >> 4) & 0xF) << 16) | (bcd & 0xFu);
}

// FNV-1a: the serial string folded into one word of the record (the text is in the functions).
std::uint32_t serialWord(const std::string& serial)
{
    if (serial.empty())
        return 0;
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : serial)
        hash = (hash ^ c) * 16777619u;
    return hash;
}

void copyField(char* field, std::size_t size, const std::string& text)
{
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(text.size(), size - 1));
}

} // namespace

UsbAdapterDevice::UsbAdapterDevice(UsbBus& bus, const UsbDeviceDescription& description,
                                   const UsbAdapterKind& kind)
    : bus(bus), usbDevice(description), adapterKind(kind)
{
}

UsbAdapterDevice::~UsbAdapterDevice()
{
    close();
}

AdapterIdentity UsbAdapterDevice::identity() const
{
    AdapterIdentity id;
    id.backend = adapterKind.backend;
    id.name = adapterKind.name;
    id.location = "usb " + usbLocationText(usbDevice);
    id.serial = usbDevice.serial;
    return id;
}

int UsbAdapterDevice::open()
{
    if (handle)
        return AdapterOk;
    int result = AdapterErrorNoDevice;
    std::unique_ptr<UsbDeviceHandle> opened = bus.open(usbDevice, &result);
    if (!opened)
        return result == AdapterOk ? AdapterErrorNoDevice : result;
    if (const int code = setUp(*opened))
        return code; // the handle closes on the way out
    handle = std::move(opened);
    return AdapterOk;
}

void UsbAdapterDevice::close()
{
    if (!handle)
        return;
    handle->cancelAll();
    tearDown(*handle);
    handle.reset();
}

int UsbAdapterDevice::failed(int code)
{
    // Whatever the device still had to say belongs to the transfer that failed: it is closed, so
    // that the next open sets it up afresh instead of reading stale answers. Nothing more is said
    // to it (it may be gone or stuck).
    if (code != AdapterOk && handle) {
        handle->cancelAll();
        handle.reset();
    }
    return code;
}

bool UsbAdapterDevice::deviceInfo(DEVICE_INFO* info, char* functions)
{
    std::memset(info, 0, sizeof *info);
    copyField(info->FirmwareName, sizeof info->FirmwareName, adapterKind.name);
    copyField(info->BuildDate, sizeof info->BuildDate, "-");
    // These chips keep their firmware in ROM: the device release stands for both versions.
    info->HardwareVersion = packedRelease(usbDevice.bcdDevice);
    info->FirmwareVersion = info->HardwareVersion;
    info->SerialNumber[0] = (std::uint32_t(usbDevice.vendorId) << 16) | usbDevice.productId;
    std::uint32_t port = std::uint32_t(usbDevice.bus & 0xFF) << 24;
    for (std::size_t i = 0; i < usbDevice.portPath.size() && i < 3; ++i)
        port |= std::uint32_t(usbDevice.portPath[i] & 0xFF) << (16 - 8 * i);
    info->SerialNumber[1] = port;
    info->SerialNumber[2] = serialWord(usbDevice.serial);
    info->ModeFlags = 0;

    char text[kDeviceFunctionsTextSize];
    std::snprintf(
        text, sizeof text, "%s, USB %04x:%04x at %s, serial %s, release %x.%02x; SPI %s; no firmware upgrade",
        adapterKind.name, usbDevice.vendorId, usbDevice.productId, usbLocationText(usbDevice).c_str(),
        usbDevice.serial.empty() ? "none" : usbDevice.serial.c_str(), usbDevice.bcdDevice >> 8,
        usbDevice.bcdDevice & 0xFF, spiSummary().c_str());
    copyField(functions, kDeviceFunctionsTextSize, text);
    return true;
}

int clockIndexFor(const std::vector<std::uint32_t>& fastestFirst, std::uint32_t clockHz)
{
    for (std::size_t i = 0; i < fastestFirst.size(); ++i) {
        if (fastestFirst[i] <= clockHz)
            return static_cast<int>(i);
    }
    return static_cast<int>(fastestFirst.size()) - 1;
}

} // namespace korvane
