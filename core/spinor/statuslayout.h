#pragma once

#include <cstdint>

namespace korvane {

// How a chip's status registers are laid out, and what its block-protect bits protect. Known for
// the common families by their JEDEC ID; for any other chip only status register 1 is read, and
// its bits 2 to 6 are taken to protect what they may: the whole chip.
enum class ProtectionScheme
{
    Unknown,
    Bp3TbSecCmp, // SR1: BP0-BP2, TB, SEC; SR2: CMP. Blocks of max(64 KiB, size / 64)
    Bp4TbCmp,    // SR1: BP0-BP3, TB; SR2: CMP. Blocks of 64 KiB
    Bp4ConfigTb, // SR1: BP0-BP3; TB in the configuration register. Blocks of 64 KiB
};

constexpr int kMaxStatusRegisters = 3;

struct StatusRegisterInfo
{
    const char* name = "";
    std::uint8_t readOpcode = 0;
    std::uint8_t writeOpcode = 0;  // its own write instruction; 0 when it has none
    bool withWriteStatus1 = false; // written as the second data byte of 01, after SR1
    std::uint8_t writableMask = 0; // bits a write may change; one-time bits never are
    const char* bits[8] = {};      // names from bit 0; null where the bit is reserved
};

struct StatusLayout
{
    const char* family = nullptr; // the parts it describes; null when the chip is not known
    ProtectionScheme scheme = ProtectionScheme::Unknown;
    int registerCount = 1;
    int protectionRegisters = 1; // the first registers, which hold every protect bit
    StatusRegisterInfo registers[kMaxStatusRegisters];
    bool volatileWriteEnable = false; // 50 enables a volatile status write
    bool volatileOnly = false;        // status register 1 is volatile: written after 50, not 06

    bool known() const { return scheme != ProtectionScheme::Unknown; }
};

// The layout of the chip with these three leading ID bytes.
StatusLayout statusLayoutFor(const std::uint8_t* jedecId);
// The layout of a chip whose status register 1 is all that is known of it.
StatusLayout unknownStatusLayout();

// What the status registers say about write protection.
struct Protection
{
    bool any = false;  // something is, or may be, protected
    bool exact = true; // [start, end) is what the bits protect; otherwise all may be
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    std::uint8_t bitsSet[kMaxStatusRegisters] = {}; // protect bits that are set, per register
    bool registerProtect = false;                   // SRP set: the registers are locked while /WP is low
    bool registerLocked = false;                    // SRL set: the registers are locked until power-down
    bool quadEnabled = false;                       // QE set: /WP is a data line and locks nothing
    bool individualLocks = false; // WPS set: per-block locks apply instead of the protect bits

    // Whether any of [from, to) is, or may be, protected.
    bool overlaps(std::uint64_t from, std::uint64_t to) const
    {
        return any && from < to && (!exact || (from < end && start < to));
    }
};

// values: as read, in the layout's order; count of them (registers not read count as zero).
Protection protectionOf(const StatusLayout& layout, const std::uint8_t* values, int count,
                        std::uint64_t chipSize);
// The protect bits of register index that decide what is protected.
std::uint8_t protectionBits(const StatusLayout& layout, int index);
// Clears what must be cleared for nothing to be protected (block-protect bits and CMP), leaving
// every other bit as it was.
void clearProtectionBits(const StatusLayout& layout, std::uint8_t* values, int count);

} // namespace korvane
