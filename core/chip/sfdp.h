#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

namespace korvane {

// The chip's Serial Flash Discoverable Parameters (JESD216): a header at address 0 of the SFDP
// space, parameter headers behind it, and the JEDEC basic flash parameter table one of them points
// to. Parsing only; reading them from a chip is an operation.

constexpr std::size_t kSfdpHeaderSize = 8;
constexpr std::size_t kSfdpParameterHeaderSize = 8;
constexpr std::uint16_t kSfdpBasicTableId = 0xFF00;
constexpr int kSfdpMinimumBasicDwords = 9; // the first revision's table

// One parameter header: which table, its revision, where it is and how long.
struct SfdpParameterHeader
{
    std::uint16_t id = 0; // MSB from byte 7, LSB from byte 0
    int majorVersion = 0;
    int minorVersion = 0;
    int dwords = 0;
    std::uint32_t pointer = 0;
};

struct SfdpEraseType
{
    std::uint32_t size = 0; // bytes
    std::uint8_t opcode = 0;
};

enum class SfdpAddressing
{
    ThreeByte,
    ThreeOrFourByte,
    FourByte,
    Reserved,
};

// What the basic flash parameter table says.
struct SfdpInfo
{
    int majorVersion = 0;
    int minorVersion = 0;
    int dwords = 0;
    std::uint64_t sizeBytes = 0;
    std::uint32_t pageSize = 256; // the first revision does not give it: 256 then
    bool pageSizeGiven = false;
    SfdpEraseType eraseTypes[4];
    int eraseTypeCount = 0; // the types present, smallest first
    SfdpAddressing addressing = SfdpAddressing::ThreeByte;
    int quadEnableRequirement = -1;        // 0..7, -1 when the table is too short to say
    std::uint8_t statusRegister1Write = 0; // the volatile/non-volatile field, 0 when not given
    bool volatileStatusBits = false;       // the first revision's flag for volatile protect bits
    bool legacyVolatileWriteEnable50 = false;

    // Whether writing status register 1 wants 50 instead of 06.
    bool wantsVolatileWriteEnable() const;
    // Whether the table says status register 2 is read with 35.
    bool hasStatusRegister2() const;
    // Whether it says status register 3 is read with 15.
    bool hasStatusRegister3() const;
};

// Checks the 8-byte header's signature; the number of parameter headers that follow in
// *parameterHeaders (the header stores it less one).
bool parseSfdpHeader(const std::uint8_t* data, std::size_t size, int* parameterHeaders,
                     int* majorVersion = nullptr, int* minorVersion = nullptr);
SfdpParameterHeader parseSfdpParameterHeader(const std::uint8_t* data);
// The basic flash parameter table's header among count parameter headers of 8 bytes each: the
// newest of major version 1. False when there is none.
bool findSfdpBasicTable(const std::uint8_t* headers, int count, SfdpParameterHeader* found);
// Parses the table (dwords x 4 bytes, little-endian). False with *why when it is unusable.
bool parseSfdpBasicTable(const std::uint8_t* table, int dwords, const SfdpParameterHeader& header,
                         SfdpInfo* info, QString* why = nullptr);

} // namespace korvane
