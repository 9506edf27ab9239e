#pragma once

#include "core/spinor/spinor.h"
#include "core/spinor/statuslayout.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvane {

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
// While busy the chip answers the status reads only: every other command is ignored and reads 0xFF.
//
// Status registers as the chip's family has them (statusLayoutFor its ID): 35 and 15 read status
// registers 2 and 3 (or the configuration register), 01 writes SR1 and, with a second byte, SR2
// where the family takes it so, 31 and 11 write SR2 and SR3; 50 makes the next status write
// volatile (no WEL needed, lost at powerCycle). Only the bits the layout calls writable change.
// The block-protect bits really protect: a program, sector or block erase that touches a protected
// part, or a chip erase while anything is protected, is dropped (WEL clears, nothing changes). A
// chip of unknown family protects with SR1 as the three-bit parts do. SRP (bit 7 of SR1) with /WP
// held low, unless QE makes /WP a data line, and SRL lock the status registers.
// 5A reads the SFDP table (3 address bytes, one dummy byte), one that matches the chip's size,
// page size, 4/32/64 KiB erases and addressing, unless the chip is made without one.
class SimulatedChip
{
public:
    // Busy time per kind of operation, measured on the clock. 52 and D8 take sectorEraseNs unless
    // given times of their own.
    struct Timing
    {
        std::int64_t pageProgramNs = 50'000;
        std::int64_t sectorEraseNs = 1'000'000;
        std::int64_t chipEraseNs = 300'000'000;
        std::int64_t writeStatusNs = 50'000;
        std::int64_t blockErase32kNs = -1; // -1: sectorEraseNs
        std::int64_t blockErase64kNs = -1; // -1: sectorEraseNs
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

    // --- status registers and protection
    const StatusLayout& statusLayout() const { return layout; }
    // Status register index (0 SR1, 1 SR2 or CR, 2 SR3) as it reads now; SR1 without BUSY and WEL.
    std::uint8_t statusRegister(int index) const;
    // Sets a register, volatile and non-volatile alike, past every lock (as a programmer would
    // find a chip); bits 0 and 1 of SR1 are the chip's own and stay.
    void setStatusRegister(int index, std::uint8_t value);
    // The non-volatile values, what the chip powers up with.
    std::uint8_t nonVolatileStatus(int index) const;
    // Power off and on: volatile status values, WEL and 4-byte mode are gone.
    void powerCycle();
    // /WP held low (true) or high.
    void setWriteProtectPin(bool low) { wpLow = low; }
    bool writeProtectPinLow() const { return wpLow; }
    // Whether a status write would be taken now.
    bool statusWritable() const;
    // What the protect bits protect now.
    Protection protection() const;

    // --- a chip that does not answer (no supply, a broken wire): it takes nothing it is sent, and
    // every byte clocked in reads as the level the data line rests at (0xFF pulled up, 0x00 low).
    void setSilent(bool silent, std::uint8_t restingLevel = 0xFF)
    {
        mute = silent;
        restingByte = restingLevel;
    }
    bool silent() const { return mute; }

    // --- SFDP
    void setHasSfdp(bool has) { sfdpPresent = has; }
    bool hasSfdp() const { return sfdpPresent; }
    // The table as 5A reads it from address 0 (empty when the chip has none).
    std::vector<std::uint8_t> sfdpTable() const;

    // How many programs and erases the chip has carried out (test statistics).
    int programCount() const { return programs; }
    int eraseCount() const { return erases; }
    // Programs and erases dropped because they touched a protected part.
    int refusedCount() const { return refused; }

    // What the chip's own transactions changed since the last takeChanges: a range of the array
    // (empty: none) and whether a non-volatile status value was written, so that the adapter can
    // keep a copy in step. Changes through contents() and setStatusRegister are not counted.
    struct Changes
    {
        std::uint32_t begin = 0;
        std::uint32_t end = 0;
        bool status = false;
        bool any() const { return end > begin || status; }
    };
    bool hasChanges() const { return changes.any(); }
    Changes takeChanges();

private:
    void startBusy(std::int64_t ns);
    void changed(std::uint32_t begin, std::uint32_t end);
    std::uint32_t wrap(std::uint64_t address) const;
    void readOut(std::uint32_t address, std::uint8_t* out, std::size_t count) const;
    void program(std::uint32_t address, const std::uint8_t* send, int sendCount, int header,
                 std::uint64_t dataCount);
    void eraseRange(std::uint32_t address, std::uint32_t blockSize);
    bool isProtected(std::uint64_t start, std::uint64_t end) const;
    void writeStatus(int index, std::uint8_t value, bool volatileOnly);
    int registerReadBy(std::uint8_t opcode) const;
    int registerWrittenBy(std::uint8_t opcode) const;

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
    StatusLayout layout;
    std::uint8_t statusValues[kMaxStatusRegisters] = {}; // as they read now (SR1: bits 2..7)
    std::uint8_t lasting[kMaxStatusRegisters] = {};      // the non-volatile values
    bool volatileArmed = false; // 50 came right before: the next status write is volatile
    bool wpLow = false;
    bool sfdpPresent = true;
    bool mute = false;
    std::uint8_t restingByte = 0xFF;
    mutable std::int64_t busyUntilNs = 0; // 0: not busy by time
    Timing busyTiming;
    int programs = 0;
    int erases = 0;
    int refused = 0;
    Changes changes;
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
// A chip of the named model (case-insensitive), erased; null for an unknown name. Options may
// follow the name: "+wp" holds /WP low, "+nosfdp" makes a chip without an SFDP table
// ("W25Q64+wp+nosfdp"), "+nopower" a chip that does not answer (every byte reads 0xFF), "+misolow"
// one whose data line is held low (every byte reads 0x00).
std::unique_ptr<SimulatedChip> createSimulatedChip(const std::string& modelName, Clock& clock);

} // namespace korvane
