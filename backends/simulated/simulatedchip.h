#pragma once

#include "core/spinor/spinor.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class Clock;

// A simulated SPI NOR flash chip. It answers one chip-select-framed transaction at a time, byte by
// byte as a real part does: the bytes sent form the command, the bytes received are what the chip
// drives on MISO after them (0xFF where it drives nothing).
//
// Instructions: 9F RDID, 06 WREN, 04 WRDI, 05 RDSR (bit 0 busy, bit 1 WEL), 01 WRSR, 03 READ,
// 0B FAST READ (one dummy byte), 02 page program (wraps inside its page, only clears bits, needs
// WEL), 20/52/D8 erase 4/32/64 KiB, C7/60 chip erase (need WEL), B7/E9 enter/exit 4-byte addressing
// (only on parts that have it, see supports4ByteAddressing). WEL clears after every program, erase
// and status write. As on real parts, WREN, WRDI, the erases and B7/E9 act only when chip select
// rises right after their last byte, and addresses beyond the chip wrap modulo its size.
// While busy the chip answers RDSR only: every other command is ignored and reads 0xFF.
class SimulatedChip
{
public:
    // Busy time per kind of operation, measured on the clock. 20, 52 and D8 all take sectorEraseNs.
    struct Timing
    {
        std::int64_t pageProgramNs = 50'000;
        std::int64_t sectorEraseNs = 1'000'000;
        std::int64_t chipEraseNs = 300'000'000;
        std::int64_t writeStatusNs = 50'000;
    };

    static constexpr std::uint8_t kStatusBusy = SpiNor::StatusBusy;
    static constexpr std::uint8_t kStatusWriteEnabled = SpiNor::StatusWriteEnabled;

    // jedecId: the bytes RDID sends, in order (at most 16). size: bytes, at least one page.
    // supports4ByteAddressing: whether B7/E9 are understood; parts larger than 16 MiB have it.
    SimulatedChip(Clock& clock, std::vector<std::uint8_t> jedecId, std::uint32_t size,
                  std::uint32_t pageSize = 256);
    SimulatedChip(Clock& clock, std::vector<std::uint8_t> jedecId, std::uint32_t size, std::uint32_t pageSize,
                  bool supports4ByteAddressing);

    // One transaction: send sendCount bytes, then clock in receiveCount bytes (MOSI idles at 0xFF).
    void transfer(const std::uint8_t* send, int sendCount, std::uint8_t* receive, int receiveCount);

    // Test access to the memory array (erased bytes are 0xFF). The array is made when first used,
    // so that chips nobody touches cost no memory.
    std::vector<std::uint8_t>& contents() { return array(); }
    const std::vector<std::uint8_t>& contents() const { return array(); }
    std::uint32_t size() const { return memorySize; }
    // Whether the array has been made (by use or by contents()).
    bool hasContents() const { return !memory.empty(); }
    std::uint32_t pageSize() const { return page; }
    const std::vector<std::uint8_t>& jedecId() const { return id; }
    bool supports4ByteAddressing() const { return has4ByteMode; }

    // Status register as RDSR would return it now.
    std::uint8_t status() const;
    bool isBusy() const;
    bool writeEnabled() const { return writeEnableLatch; }
    // 3, or 4 after B7 on a part that has 4-byte addressing.
    int addressBytes() const { return fourByteMode ? 4 : 3; }

    void setTiming(const Timing& newTiming) { busyTiming = newTiming; }
    const Timing& timing() const { return busyTiming; }
    // Busy for ns from now on the clock (0 ends a busy time at once).
    void setBusyFor(std::int64_t ns);
    // Busy until released, whatever the clock says.
    void keepBusy(bool busy) { keptBusy = busy; }

    // How many programs and erases the chip has carried out (test statistics).
    int programCount() const { return programs; }
    int eraseCount() const { return erases; }
    // Programs, erases and status writes so far: the memory or status changed when this did.
    long long changeCount() const { return static_cast<long long>(programs) + erases + statusWrites; }

private:
    void startBusy(std::int64_t ns);
    std::uint32_t wrap(std::uint64_t address) const;
    void readOut(std::uint32_t address, std::uint8_t* out, std::size_t count) const;
    void program(std::uint32_t address, const std::uint8_t* send, int sendCount, int header,
                 std::uint64_t dataCount);
    void eraseRange(std::uint32_t address, std::uint32_t blockSize);

    Clock& clock;
    std::vector<std::uint8_t> id;
    std::vector<std::uint8_t>& array() const;

    std::uint32_t memorySize = 0;
    mutable std::vector<std::uint8_t> memory; // empty until first used
    std::uint32_t page;
    bool has4ByteMode;
    bool fourByteMode = false;
    bool writeEnableLatch = false;
    bool keptBusy = false;
    std::uint8_t statusBits = 0;          // bits 2..7 as set by WRSR
    mutable std::int64_t busyUntilNs = 0; // 0: not busy by time
    Timing busyTiming;
    int programs = 0;
    int erases = 0;
    int statusWrites = 0;
};

// A part the simulation knows by name.
struct SimulatedChipModel
{
    const char* name;
    std::uint8_t jedecId[3];
    std::uint32_t size;
};

// W25Q16, W25Q32, W25Q64, W25Q128, W25Q256, MX25L6433F, MX25L12835F, MX25L25645G, GD25Q16, GD25Q32,
// GD25Q64, GD25Q128.
const std::vector<SimulatedChipModel>& simulatedChipModels();
// A chip of the named model (case-insensitive), erased; null for an unknown name.
std::unique_ptr<SimulatedChip> createSimulatedChip(const std::string& modelName, Clock& clock);
