#pragma once

#include <cstddef>
#include <cstdint>

namespace korvane {

// What an adapter reports about itself (getDeviceInfo). Exchanged by address with the adapter
// library, so the layout is fixed: 88 bytes, little-endian.
struct DEVICE_INFO
{
    char FirmwareName[32];         // UTF-8, NUL-terminated inside the field (not guaranteed)
    char BuildDate[32];            // UTF-8, NUL-terminated inside the field (not guaranteed)
    std::uint32_t HardwareVersion; // major bits 31..24, minor 23..16, patch 15..0
    std::uint32_t FirmwareVersion; // packed as HardwareVersion
    std::uint32_t SerialNumber[3];
    std::uint32_t ModeFlags; // bit 0: the adapter runs its upgrade code
};

static_assert(sizeof(DEVICE_INFO) == 88, "DEVICE_INFO must be 88 bytes");
static_assert(offsetof(DEVICE_INFO, FirmwareName) == 0, "layout");
static_assert(offsetof(DEVICE_INFO, BuildDate) == 32, "layout");
static_assert(offsetof(DEVICE_INFO, HardwareVersion) == 64, "layout");
static_assert(offsetof(DEVICE_INFO, FirmwareVersion) == 68, "layout");
static_assert(offsetof(DEVICE_INFO, SerialNumber) == 72, "layout");
static_assert(offsetof(DEVICE_INFO, ModeFlags) == 84, "layout");

// Size of the functions text buffer that getDeviceInfo fills.
constexpr int kDeviceFunctionsTextSize = 256;

} // namespace korvane
