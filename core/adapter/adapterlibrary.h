#pragma once

#include "core/adapter/deviceinfo.h"
#include "core/adapter/spiframe.h"
#include "core/chip/chipinfo.h"

#include <cstdint>
#include <string>

namespace korvane {

// The USB-to-SPI adapter library: sixteen operations for adapter discovery, SPI flash access
// and firmware service. Plain C++ so that any backend (simulation, Linux spidev, a vendor DLL
// binding) can implement it.
//
// Result conventions: device and firmware operations return true on success; SPI and flash
// operations return 0 on success and anything else on failure (an AdapterResult code where the
// backend can say more).
//
// handle: adapter index 0..9. selector: low nibble the SPI port (0 SPI1, 1 SPI2), high nibble the
// chip select (0..4). Operations open the adapter and leave it open; opening an open adapter
// succeeds.
// What a user needs to tell one adapter from another.
struct AdapterIdentity
{
    std::string backend;  // "sim", "ch341a", ...
    std::string name;     // the adapter's product name
    std::string location; // USB bus and port path, device node or serial port
    std::string serial;   // serial number, where the adapter has one
};

class AdapterLibrary
{
public:
    virtual ~AdapterLibrary() = default;

    // Number of connected adapters. devices may be null; otherwise it receives their indices.
    virtual int scanDevices(int* devices) = 0;
    virtual bool openDevice(int handle) = 0;
    virtual void closeDevice(int handle) = 0;
    // Fills info and the NUL-terminated functions text (kDeviceFunctionsTextSize bytes).
    virtual bool getDeviceInfo(int handle, DEVICE_INFO* info, char* functions) = 0;

    // Firmware service, in the adapter's own memory.
    virtual bool eraseFirmware(int handle, std::uint32_t startAddress, std::uint32_t endAddress) = 0;
    // flag: 1 firmware data, 0 the MD5 value written behind it.
    virtual bool writeFirmware(int handle, std::uint32_t address, const std::uint8_t* data,
                               std::uint32_t count, int flag) = 0;
    virtual void jumpToAddress(int handle, std::uint32_t address) = 0;
    virtual bool checkFirmwareMd5(int handle, std::uint32_t startAddress, std::uint32_t length) = 0;
    // path: NUL-terminated, local 8-bit encoding.
    virtual bool checkFirmwareFile(const char* path) = 0;

    // Raw SPI: one chip-select-framed transfer.
    virtual int spiWriteBytes(int handle, int selector, const std::uint8_t* data, int count) = 0;
    virtual int spiWriteReadBytes(int handle, int selector, const std::uint8_t* sendData, int sendCount,
                                  std::uint8_t* receiveData, int receiveCount, int flag) = 0;

    // SPI NOR flash access, configured per handle and selector by flashInit.
    virtual int flashInit(int handle, int selector, std::uint32_t clockHz, const SPIFlashConfig* config) = 0;
    // buffer: 16 bytes; receives IDLength bytes of the chip's ID.
    virtual int flashReadId(int handle, int selector, std::uint8_t* buffer) = 0;
    virtual int flashEraseSectors(int handle, int selector, std::uint32_t firstSector,
                                  std::uint32_t count) = 0;
    // count: at most kMaxFlashTransfer bytes, at any address.
    virtual int flashWrite(int handle, int selector, std::uint32_t address, const std::uint8_t* data,
                           std::uint32_t count) = 0;
    virtual int flashRead(int handle, int selector, std::uint32_t address, std::uint8_t* buffer,
                          std::uint32_t count) = 0;

    // --- Beyond the sixteen operations: what a backend can tell about itself. A backend that
    // cannot say keeps the defaults.

    // What identifies the adapter behind a handle, as of the last scan.
    virtual AdapterIdentity identity(int handle);
    // Whether the adapter's firmware can be replaced (eraseFirmware ... checkFirmwareMd5).
    virtual bool hasFirmwareUpgrade(int handle);
    // The SPI clock the adapter really runs since flashInit for this handle and selector, which
    // may be below the one asked for; 0 when unknown.
    virtual std::uint32_t effectiveClockHz(int handle, int selector);
    // Why the last openDevice of this handle failed, as an AdapterResult code (no permission, no
    // such device, ...); 0 when it did not fail or the backend cannot say.
    virtual int openError(int handle);
    // What the backend can add to its last failure on this adapter that the result code cannot
    // say, such as a file's path and the system's reason; empty when it has nothing to add.
    virtual std::string failureDetail(int handle);
    // The largest raw transfer (spiWriteBytes, spiWriteReadBytes) the adapter takes on a selector.
    virtual SpiTransferLimits transferLimits(int handle, int selector);
    // Several raw transfers in a row, each framed by chip select, stopping at the first that fails;
    // its result. Adapters that can queue them send them in one go; the default sends them one by
    // one (spiWriteBytes where nothing is received, spiWriteReadBytes otherwise).
    virtual int spiTransferFrames(int handle, int selector, const SpiFrame* frames, int count);
};

constexpr std::uint32_t kMaxFlashTransfer = 20480;

// The operations by the ordinal the vendor's library exports them under; also the names of the
// calls in a simulated adapter's call log.
enum class AdapterOp : int
{
    ScanDevices = 100,
    OpenDevice = 101,
    CloseDevice = 102,
    GetDeviceInfo = 103,
    EraseFirmware = 200,
    WriteFirmware = 201,
    JumpToAddress = 203,
    CheckFirmwareMd5 = 204,
    CheckFirmwareFile = 205,
    SpiWriteBytes = 301,
    SpiWriteReadBytes = 304,
    FlashInit = 307,
    FlashReadId = 308,
    FlashEraseSectors = 309,
    FlashWrite = 310,
    FlashRead = 311,
};

constexpr AdapterOp kAllAdapterOps[] = {
    AdapterOp::ScanDevices,   AdapterOp::OpenDevice,        AdapterOp::CloseDevice,
    AdapterOp::GetDeviceInfo, AdapterOp::EraseFirmware,     AdapterOp::WriteFirmware,
    AdapterOp::JumpToAddress, AdapterOp::CheckFirmwareMd5,  AdapterOp::CheckFirmwareFile,
    AdapterOp::SpiWriteBytes, AdapterOp::SpiWriteReadBytes, AdapterOp::FlashInit,
    AdapterOp::FlashReadId,   AdapterOp::FlashEraseSectors, AdapterOp::FlashWrite,
    AdapterOp::FlashRead,
};

// The operation's name as in this interface ("flashRead"), or "?" for a value that is none.
const char* adapterOpName(AdapterOp op);

// The ten SPI selector codes, in the order of the port box: SPI1-CS0..CS4, SPI2-CS0..CS4.
constexpr int kSpiSelectors[] = {0x00, 0x10, 0x20, 0x30, 0x40, 0x01, 0x11, 0x21, 0x31, 0x41};
constexpr int kMaxAdapters = 10;
constexpr int kSelectorSlots = 10;

// Slot 0..9 of a selector code (port x 5 + chip select), or -1 for a code that names none.
constexpr int selectorSlot(int selector)
{
    return (selector & ~0xFF) != 0 || (selector & 0x0F) > 1 || (selector >> 4) > 4
               ? -1
               : (selector & 0x0F) * 5 + (selector >> 4);
}

} // namespace korvane
