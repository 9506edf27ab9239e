#pragma once

#include <cstddef>
#include <cstdint>

namespace korvane {

// The chip record, byte for byte as it is stored in ChipListData.dat and handed to the adapter
// library. Integers are little-endian: the in-memory image is the file image.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "CHIP_INFO is stored as its in-memory image and needs a little-endian host"
#endif

// SPI instruction set, ID and geometry of a chip: the first 44 bytes of CHIP_INFO.
struct SPIFlashConfig
{
    std::uint8_t WriteEnable;
    std::uint8_t WriteDisable;
    std::uint8_t WritePage;
    std::uint8_t WritePageAddrBytes;
    std::uint8_t EraseSector;
    std::uint8_t EraseSectorAddrBytes;
    std::uint8_t Reserved;
    std::uint8_t EraseChip;
    std::uint8_t ReadID;
    std::uint8_t ReadData;
    std::uint8_t ReadDataAddrBytes;
    std::uint8_t ReadFast;
    std::uint8_t ReadFastAddrBytes;
    std::uint8_t ReadStatus;
    std::uint8_t WriteStatus;
    std::uint8_t FlashID[16]; // in the order the chip sends them; IDLength of them count
    std::uint8_t IDLength;
    std::int32_t PageSize;
    std::int32_t NumPages;
    std::int32_t SectorSize;
};

struct CHIP_INFO
{
    SPIFlashConfig Config;
    char Manufacturer[64]; // UTF-8, NUL-terminated inside the field
    char ModelName[64];    // UTF-8, NUL-terminated inside the field
};

constexpr std::size_t kChipNameFieldSize = 64;

static_assert(sizeof(SPIFlashConfig) == 44, "SPIFlashConfig must be 44 bytes");
static_assert(offsetof(SPIFlashConfig, WriteEnable) == 0, "layout");
static_assert(offsetof(SPIFlashConfig, WriteDisable) == 1, "layout");
static_assert(offsetof(SPIFlashConfig, WritePage) == 2, "layout");
static_assert(offsetof(SPIFlashConfig, WritePageAddrBytes) == 3, "layout");
static_assert(offsetof(SPIFlashConfig, EraseSector) == 4, "layout");
static_assert(offsetof(SPIFlashConfig, EraseSectorAddrBytes) == 5, "layout");
static_assert(offsetof(SPIFlashConfig, Reserved) == 6, "layout");
static_assert(offsetof(SPIFlashConfig, EraseChip) == 7, "layout");
static_assert(offsetof(SPIFlashConfig, ReadID) == 8, "layout");
static_assert(offsetof(SPIFlashConfig, ReadData) == 9, "layout");
static_assert(offsetof(SPIFlashConfig, ReadDataAddrBytes) == 10, "layout");
static_assert(offsetof(SPIFlashConfig, ReadFast) == 11, "layout");
static_assert(offsetof(SPIFlashConfig, ReadFastAddrBytes) == 12, "layout");
static_assert(offsetof(SPIFlashConfig, ReadStatus) == 13, "layout");
static_assert(offsetof(SPIFlashConfig, WriteStatus) == 14, "layout");
static_assert(offsetof(SPIFlashConfig, FlashID) == 15, "layout");
static_assert(offsetof(SPIFlashConfig, IDLength) == 31, "layout");
static_assert(offsetof(SPIFlashConfig, PageSize) == 32, "layout");
static_assert(offsetof(SPIFlashConfig, NumPages) == 36, "layout");
static_assert(offsetof(SPIFlashConfig, SectorSize) == 40, "layout");
static_assert(sizeof(CHIP_INFO) == 172, "CHIP_INFO must be 172 bytes");
static_assert(offsetof(CHIP_INFO, Config) == 0, "layout");
static_assert(offsetof(CHIP_INFO, Manufacturer) == 44, "layout");
static_assert(offsetof(CHIP_INFO, ModelName) == 108, "layout");

// PageSize x NumPages as a signed 32-bit value. Records are taken as stored, so the product is
// formed in 64 bits and wrapped to 32 instead of overflowing.
inline std::int32_t chipSize(const SPIFlashConfig& config)
{
    const std::int64_t product = static_cast<std::int64_t>(config.PageSize) * config.NumPages;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(product));
}

inline std::int32_t chipSize(const CHIP_INFO& chip)
{
    return chipSize(chip.Config);
}

} // namespace korvane
