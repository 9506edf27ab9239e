#pragma once

#include <cstdint>

namespace korvane {

// The adapter's memory as its firmware service sees it: the entry of the upgrade code, and the
// application area that takes a new image followed by the image's MD5 value.
constexpr std::uint32_t kUpgradeCodeAddress = 0x08000000;
constexpr std::uint32_t kFirmwareApplicationAddress = 0x08020000;
constexpr std::uint32_t kFirmwareMd5Size = 16;

} // namespace korvane
