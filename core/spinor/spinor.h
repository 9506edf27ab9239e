#pragma once

#include "core/chip/chipinfo.h"

#include <cstdint>

namespace korvane {

// The SPI NOR instructions and status bits the program uses, in one place.
namespace SpiNor {

constexpr std::uint8_t WriteEnable = 0x06;
constexpr std::uint8_t WriteDisable = 0x04;
constexpr std::uint8_t VolatileStatusWriteEnable = 0x50;
constexpr std::uint8_t ReadStatus1 = 0x05;
constexpr std::uint8_t ReadStatus2 = 0x35;
constexpr std::uint8_t ReadStatus3 = 0x15;
constexpr std::uint8_t WriteStatus1 = 0x01;
constexpr std::uint8_t WriteStatus2 = 0x31;
constexpr std::uint8_t WriteStatus3 = 0x11;
constexpr std::uint8_t Read = 0x03;
constexpr std::uint8_t FastRead = 0x0B;
constexpr std::uint8_t PageProgram = 0x02;
constexpr std::uint8_t SectorErase4K = 0x20;
constexpr std::uint8_t BlockErase32K = 0x52;
constexpr std::uint8_t BlockErase64K = 0xD8;
constexpr std::uint8_t ChipErase = 0xC7;
constexpr std::uint8_t ChipEraseAlt = 0x60;
constexpr std::uint8_t ReadJedecId = 0x9F;
constexpr std::uint8_t ReadSfdp = 0x5A;
constexpr std::uint8_t Enter4ByteMode = 0xB7;
constexpr std::uint8_t Exit4ByteMode = 0xE9;

// Status register 1.
constexpr std::uint8_t StatusBusy = 0x01;
constexpr std::uint8_t StatusWriteEnabled = 0x02;
constexpr std::uint8_t StatusBp0 = 0x04;
constexpr std::uint8_t StatusBp1 = 0x08;
constexpr std::uint8_t StatusBp2 = 0x10;
constexpr std::uint8_t StatusBp3 = 0x20;        // four block-protect bits
constexpr std::uint8_t StatusTb = 0x20;         // three block-protect bits: top or bottom
constexpr std::uint8_t StatusSec = 0x40;        // three block-protect bits: 4 KiB sectors, not blocks
constexpr std::uint8_t StatusTbAfterBp3 = 0x40; // four block-protect bits: top or bottom
constexpr std::uint8_t StatusQeInSr1 = 0x40;    // parts whose quad enable is in status register 1
constexpr std::uint8_t StatusSrp = 0x80;        // status register protect (with /WP)
// Status register 2 (read with 35).
constexpr std::uint8_t Status2Srl = 0x01; // status register lock
constexpr std::uint8_t Status2Qe = 0x02;  // quad enable
constexpr std::uint8_t Status2Cmp = 0x40; // complement protect
// Status register 3 (read with 15) of parts with three status registers.
constexpr std::uint8_t Status3Wps = 0x04; // individual block locks instead of the protect bits
// Configuration register (read with 15) of parts that keep top/bottom there.
constexpr std::uint8_t ConfigTb = 0x08;

// SFDP reads take a 3-byte address and one dummy byte.
constexpr int SfdpAddressBytes = 3;
constexpr int SfdpDummyBytes = 1;

// Whether [start, start + count) lies inside what addressBytes address bytes can reach: beyond it
// a chip wraps around to its first bytes.
constexpr bool withinAddressReach(std::uint64_t start, std::uint64_t count, int addressBytes)
{
    return addressBytes >= 1 && addressBytes <= 4 && start + count <= std::uint64_t(1) << (8 * addressBytes);
}

// An instruction and its address (most significant byte first) into out, which holds
// 1 + addressBytes bytes; the length.
inline int putInstruction(std::uint8_t* out, std::uint8_t opcode, int addressBytes, std::uint32_t address)
{
    out[0] = opcode;
    for (int i = 0; i < addressBytes; ++i)
        out[1 + i] = static_cast<std::uint8_t>(address >> (8 * (addressBytes - 1 - i)));
    return 1 + addressBytes;
}

} // namespace SpiNor

// The instruction set that SPI NOR chips share (WREN 06, WRDI 04, page program 02, READ 03,
// FAST READ 0B, RDSR 05, WRSR 01, RDID 9F), one address width for every addressed instruction,
// a three-byte JEDEC ID (0xEF4017 for EF 40 17) and 256-byte pages.
inline SPIFlashConfig standardSpiNorConfig(std::uint32_t jedecId, std::int32_t size, std::int32_t sectorSize,
                                           std::uint8_t addressBytes = 3,
                                           std::uint8_t sectorErase = SpiNor::SectorErase4K,
                                           std::uint8_t chipErase = SpiNor::ChipErase)
{
    SPIFlashConfig c{};
    c.WriteEnable = SpiNor::WriteEnable;
    c.WriteDisable = SpiNor::WriteDisable;
    c.WritePage = SpiNor::PageProgram;
    c.WritePageAddrBytes = addressBytes;
    c.EraseSector = sectorErase;
    c.EraseSectorAddrBytes = addressBytes;
    c.EraseChip = chipErase;
    c.ReadID = SpiNor::ReadJedecId;
    c.ReadData = SpiNor::Read;
    c.ReadDataAddrBytes = addressBytes;
    c.ReadFast = SpiNor::FastRead;
    c.ReadFastAddrBytes = addressBytes;
    c.ReadStatus = SpiNor::ReadStatus1;
    c.WriteStatus = SpiNor::WriteStatus1;
    c.FlashID[0] = static_cast<std::uint8_t>(jedecId >> 16);
    c.FlashID[1] = static_cast<std::uint8_t>(jedecId >> 8);
    c.FlashID[2] = static_cast<std::uint8_t>(jedecId);
    c.IDLength = 3;
    c.PageSize = 256;
    c.NumPages = size / 256;
    c.SectorSize = sectorSize;
    return c;
}

} // namespace korvane
