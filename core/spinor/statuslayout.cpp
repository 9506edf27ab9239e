#include "core/spinor/statuslayout.h"

#include "core/spinor/spinor.h"

#include <algorithm>

namespace korvane {

namespace {

constexpr std::uint64_t k4K = 0x1000;
constexpr std::uint64_t k32K = 0x8000;
constexpr std::uint64_t k64K = 0x10000;

StatusRegisterInfo statusRegister1(std::uint8_t writable, std::initializer_list<const char*> names)
{
    StatusRegisterInfo r;
    r.name = "SR1";
    r.readOpcode = SpiNor::ReadStatus1;
    r.writeOpcode = SpiNor::WriteStatus1;
    r.writableMask = writable;
    std::copy(names.begin(), names.end(), r.bits);
    return r;
}

StatusRegisterInfo otherRegister(const char* name, std::uint8_t read, std::uint8_t write, bool withSr1,
                                 std::uint8_t writable, std::initializer_list<const char*> names)
{
    StatusRegisterInfo r;
    r.name = name;
    r.readOpcode = read;
    r.writeOpcode = write;
    r.withWriteStatus1 = withSr1;
    r.writableMask = writable;
    std::copy(names.begin(), names.end(), r.bits);
    return r;
}

// Status register 2 as the three-register families have it: written together with SR1 by a
// two-byte 01, which every generation takes (a one-byte 01 clears it on some of them).
StatusRegisterInfo statusRegister2(std::initializer_list<const char*> names)
{
    return otherRegister("SR2", SpiNor::ReadStatus2, SpiNor::WriteStatus2, true, 0x43, names);
}

StatusLayout winbondLayout(std::uint8_t capacity)
{
    StatusLayout layout;
    layout.volatileWriteEnable = true;
    layout.registerCount = 3;
    // SR3's WPS switches to per-block locks, which protect as much as the protect bits.
    layout.protectionRegisters = 3;
    const auto sr2 = statusRegister2({"SRL", "QE", nullptr, "LB1", "LB2", "LB3", "CMP", "SUS"});
    if (capacity <= 0x18) {
        layout.family = "W25Q";
        layout.scheme = ProtectionScheme::Bp3TbSecCmp;
        layout.registers[0] = statusRegister1(0xFC, {"BUSY", "WEL", "BP0", "BP1", "BP2", "TB", "SEC", "SRP"});
        layout.registers[1] = sr2;
        layout.registers[2] =
            otherRegister("SR3", SpiNor::ReadStatus3, SpiNor::WriteStatus3, false, 0x64,
                          {nullptr, nullptr, "WPS", nullptr, nullptr, "DRV0", "DRV1", nullptr});
    } else {
        layout.family = "W25Q256";
        layout.scheme = ProtectionScheme::Bp4TbCmp;
        layout.registers[0] = statusRegister1(0xFC, {"BUSY", "WEL", "BP0", "BP1", "BP2", "BP3", "TB", "SRP"});
        layout.registers[1] = sr2;
        layout.registers[2] = otherRegister("SR3", SpiNor::ReadStatus3, SpiNor::WriteStatus3, false, 0x66,
                                            {"ADS", "ADP", "WPS", nullptr, nullptr, "DRV0", "DRV1", nullptr});
    }
    return layout;
}

StatusLayout gigaDeviceLayout()
{
    StatusLayout layout;
    layout.family = "GD25Q";
    layout.scheme = ProtectionScheme::Bp3TbSecCmp;
    layout.volatileWriteEnable = true;
    layout.registerCount = 2;
    layout.protectionRegisters = 2;
    layout.registers[0] = statusRegister1(0xFC, {"WIP", "WEL", "BP0", "BP1", "BP2", "BP3", "BP4", "SRP0"});
    layout.registers[1] = statusRegister2({"SRP1", "QE", "SUS2", "LB1", "LB2", "LB3", "CMP", "SUS1"});
    return layout;
}

StatusLayout macronixLayout()
{
    StatusLayout layout;
    layout.family = "MX25L";
    layout.scheme = ProtectionScheme::Bp4ConfigTb;
    layout.registerCount = 2;
    layout.protectionRegisters = 2;
    layout.registers[0] = statusRegister1(0xFC, {"WIP", "WEL", "BP0", "BP1", "BP2", "BP3", "QE", "SRWD"});
    // Shown only: its TB bit is one-time programmable.
    layout.registers[1] = otherRegister("CR", SpiNor::ReadStatus3, 0, false, 0x00,
                                        {"ODS0", "ODS1", "ODS2", "TB", "PBE", "4BYTE", "DC0", "DC1"});
    return layout;
}

// Size of the protected part at the top or bottom, before CMP.
std::uint64_t protectedLength(ProtectionScheme scheme, std::uint8_t sr1, std::uint64_t size)
{
    if (scheme == ProtectionScheme::Bp3TbSecCmp) {
        const int bp = (sr1 >> 2) & 7;
        if (bp == 0)
            return 0;
        if (bp == 7)
            return size;
        if (sr1 & SpiNor::StatusSec)
            return std::min<std::uint64_t>(bp >= 4 ? k32K : k4K << (bp - 1), size);
        const std::uint64_t unit = std::max(k64K, size / 64);
        return std::min(size, unit << (bp - 1));
    }
    const int bp = (sr1 >> 2) & 15;
    return bp == 0 ? 0 : std::min(size, k64K << (bp - 1));
}

} // namespace

StatusLayout unknownStatusLayout()
{
    StatusLayout layout;
    layout.registers[0] = statusRegister1(0xFC, {"BUSY", "WEL", "BP0", "BP1", "BP2", "S5", "S6", "SRP"});
    return layout;
}

StatusLayout statusLayoutFor(const std::uint8_t* id)
{
    const std::uint8_t maker = id[0];
    const std::uint8_t type = id[1];
    const std::uint8_t capacity = id[2];
    if (maker == 0xEF && (type == 0x40 || type == 0x60 || type == 0x70) && capacity >= 0x14 &&
        capacity <= 0x19)
        return winbondLayout(capacity);
    if (maker == 0xC8 && (type == 0x40 || type == 0x60) && capacity >= 0x14 && capacity <= 0x18)
        return gigaDeviceLayout();
    if (maker == 0xC2 && type == 0x20 && capacity >= 0x15 && capacity <= 0x19)
        return macronixLayout();
    return unknownStatusLayout();
}

std::uint8_t protectionBits(const StatusLayout& layout, int index)
{
    switch (layout.scheme) {
    case ProtectionScheme::Bp3TbSecCmp:
    case ProtectionScheme::Bp4TbCmp:
        return index == 0 ? 0x7C : index == 1 ? SpiNor::Status2Cmp : 0;
    case ProtectionScheme::Bp4ConfigTb:
        return index == 0 ? 0x3C : index == 1 ? SpiNor::ConfigTb : 0;
    case ProtectionScheme::Unknown:
        break;
    }
    return index == 0 ? 0x7C : 0;
}

Protection protectionOf(const StatusLayout& layout, const std::uint8_t* values, int count,
                        std::uint64_t chipSize)
{
    std::uint8_t v[kMaxStatusRegisters] = {};
    for (int i = 0; i < std::min(count, kMaxStatusRegisters); ++i)
        v[i] = values[i];
    Protection p;
    for (int i = 0; i < kMaxStatusRegisters; ++i)
        p.bitsSet[i] = v[i] & protectionBits(layout, i);
    p.registerProtect = (v[0] & SpiNor::StatusSrp) != 0;

    switch (layout.scheme) {
    case ProtectionScheme::Unknown:
        // Which of bits 2..6 protect what is not known: any of them may protect the whole chip.
        p.any = p.bitsSet[0] != 0;
        p.exact = !p.any;
        if (p.any)
            p.end = chipSize;
        return p;
    case ProtectionScheme::Bp4ConfigTb: {
        p.quadEnabled = (v[0] & SpiNor::StatusQeInSr1) != 0;
        const std::uint64_t length = protectedLength(layout.scheme, v[0], chipSize);
        p.any = length > 0;
        // The configuration register unread, or read as all ones (a part without one): the side is
        // not known.
        if (p.any && (count < 2 || v[1] == 0xFF)) {
            p.exact = false;
            p.end = chipSize;
            return p;
        }
        const bool bottom = (v[1] & SpiNor::ConfigTb) != 0;
        p.start = bottom ? 0 : chipSize - length;
        p.end = bottom ? length : chipSize;
        if (!p.any)
            p.start = p.end = 0;
        return p;
    }
    case ProtectionScheme::Bp3TbSecCmp:
    case ProtectionScheme::Bp4TbCmp:
        break;
    }

    p.registerLocked = (v[1] & SpiNor::Status2Srl) != 0;
    p.quadEnabled = (v[1] & SpiNor::Status2Qe) != 0;
    const std::uint8_t tbBit =
        layout.scheme == ProtectionScheme::Bp3TbSecCmp ? SpiNor::StatusTb : SpiNor::StatusTbAfterBp3;
    const bool bottom = (v[0] & tbBit) != 0;
    std::uint64_t length = protectedLength(layout.scheme, v[0], chipSize);
    bool fromBottom = bottom;
    if (v[1] & SpiNor::Status2Cmp) {
        // The complement: what is left, on the other side.
        length = chipSize - length;
        fromBottom = !bottom;
    }
    p.any = length > 0;
    if (p.any) {
        p.start = fromBottom ? 0 : chipSize - length;
        p.end = fromBottom ? length : chipSize;
    }
    // All ones is a part without SR3 (older generations of the family) answering nothing.
    if (layout.registerCount >= 3 && count >= 3 && v[2] != 0xFF && (v[2] & SpiNor::Status3Wps) != 0) {
        p.individualLocks = true;
        p.any = true;
        p.exact = false;
        p.start = 0;
        p.end = chipSize;
    }
    return p;
}

void clearProtectionBits(const StatusLayout& layout, std::uint8_t* values, int count)
{
    switch (layout.scheme) {
    case ProtectionScheme::Bp3TbSecCmp:
        values[0] &= static_cast<std::uint8_t>(~0x1C);
        if (count >= 2)
            values[1] &= static_cast<std::uint8_t>(~SpiNor::Status2Cmp);
        return;
    case ProtectionScheme::Bp4TbCmp:
        values[0] &= static_cast<std::uint8_t>(~0x3C);
        if (count >= 2)
            values[1] &= static_cast<std::uint8_t>(~SpiNor::Status2Cmp);
        return;
    case ProtectionScheme::Bp4ConfigTb:
        values[0] &= static_cast<std::uint8_t>(~0x3C);
        return;
    case ProtectionScheme::Unknown:
        break;
    }
    values[0] &= static_cast<std::uint8_t>(~0x7C);
}

} // namespace korvane
