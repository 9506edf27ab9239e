#pragma once

#include "flash/adapter/simulatedchip.h"
#include "flash/adapter/spinorengine.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class Clock;

// One call of the adapter library as the simulated adapter saw it. Fields an operation has no
// argument for stay 0 / empty.
struct AdapterCall
{
    AdapterOp op = AdapterOp::ScanDevices;
    int device = -1;           // handle
    int selector = -1;         // SPI and flash operations
    std::uint32_t address = 0; // start address, flash address, jump target; first sector (flashEraseSectors)
    std::uint32_t endAddress = 0; // eraseFirmware
    std::uint32_t count = 0;   // byte count, sector count, image length (checkFirmwareMd5), send count (spi*)
    int receiveCount = 0;      // spiWriteReadBytes
    int flag = 0;              // writeFirmware, spiWriteReadBytes
    std::uint32_t clockHz = 0; // flashInit
    SPIFlashConfig config{};   // flashInit (zero when the pointer was null)
    std::vector<std::uint8_t> sent;     // spiWriteBytes, spiWriteReadBytes
    std::vector<std::uint8_t> received; // spiWriteReadBytes, when it succeeded
    std::string path;                   // checkFirmwareFile
    int result = 0;                     // int result; bools as 1/0; void operations 0
    bool injected = false;              // failed by fault injection
};

// The default adapter library of the program: up to ten simulated adapters (handles 0..9), each
// with the ten selector slots (SPI1/SPI2 x CS0..CS4) where simulated chips can be attached, and a
// simulated firmware service. Handles are fixed: an adapter keeps its index while others come and
// go. Tests get fault injection and a log of every call.
//
// Failure rules: every SPI and flash operation needs the adapter connected and open, and a chip in
// the addressed slot (an empty slot fails, raw transfers included). Firmware erase, write and MD5
// check work only while the adapter runs its upgrade code.
class SimulatedAdapter : public SpiNorEngine
{
public:
    static constexpr std::uint32_t kUpgradeCodeAddress = 0x08000000;
    static constexpr std::uint32_t kApplicationAddress = 0x08020000;
    static constexpr std::uint32_t kApplicationAreaSize = 0x60000; // up to 0x08080000
    // How long a restarting adapter is gone from the bus, as a real one re-enumerates.
    static constexpr int kDefaultRestartMs = 1500;

    explicit SimulatedAdapter(Clock& clock);
    ~SimulatedAdapter() override;

    // --- the sixteen operations
    int scanDevices(int* devices) override;
    bool openDevice(int handle) override;
    void closeDevice(int handle) override;
    bool getDeviceInfo(int handle, DEVICE_INFO* info, char* functions) override;
    bool eraseFirmware(int handle, std::uint32_t startAddress, std::uint32_t endAddress) override;
    bool writeFirmware(int handle, std::uint32_t address, const std::uint8_t* data, std::uint32_t count,
                       int flag) override;
    void jumpToAddress(int handle, std::uint32_t address) override;
    bool checkFirmwareMd5(int handle, std::uint32_t startAddress, std::uint32_t length) override;
    bool checkFirmwareFile(const char* path) override;
    int spiWriteBytes(int handle, int selector, const std::uint8_t* data, int count) override;
    int spiWriteReadBytes(int handle, int selector, const std::uint8_t* sendData, int sendCount,
                          std::uint8_t* receiveData, int receiveCount, int flag) override;
    int flashInit(int handle, int selector, std::uint32_t clockHz, const SPIFlashConfig* config) override;
    int flashReadId(int handle, int selector, std::uint8_t* buffer) override;
    int flashEraseSectors(int handle, int selector, std::uint32_t firstSector, std::uint32_t count) override;
    int flashWrite(int handle, int selector, std::uint32_t address, const std::uint8_t* data,
                   std::uint32_t count) override;
    int flashRead(int handle, int selector, std::uint32_t address, std::uint8_t* buffer,
                  std::uint32_t count) override;

    // --- adapters
    // Connects adapters 0..count-1 and disconnects the others (their chips stay attached).
    void setAdapterCount(int count);
    void setConnected(int handle, bool connected);
    bool isConnected(int handle) const;
    bool isOpen(int handle) const;

    // --- chips (selector: one of kSpiSelectors)
    // Returns the attached chip, or null (and drops the chip) for a bad handle or selector.
    SimulatedChip* attachChip(int handle, int selector, std::unique_ptr<SimulatedChip> chip);
    std::unique_ptr<SimulatedChip> detachChip(int handle, int selector);
    SimulatedChip* chip(int handle, int selector) const;

    // --- firmware service
    DEVICE_INFO deviceInfo(int handle) const; // as getDeviceInfo reports it now (mode bit included)
    void setDeviceInfo(int handle, const DEVICE_INFO& info);
    // Raw bytes of the functions text, up to kDeviceFunctionsTextSize (a full-length text has no NUL).
    void setFunctionsText(int handle, const char* text, int length);
    void setFunctionsText(int handle, const std::string& text);
    bool inUpgradeMode(int handle) const;
    void setUpgradeMode(int handle, bool upgradeMode); // as if the adapter had started that way
    // After a jump the adapter is gone for this long on the clock: missing from every scan and
    // refusing to open until then, whether or not anyone scans meanwhile.
    void setRestartTime(int handle, int milliseconds);
    // After the next jumps the adapter never shows up again.
    void setNeverReappear(int handle, bool never);
    // A jump to the upgrade code restarts the adapter but it comes back running the application.
    void setIgnoreUpgradeJump(int handle, bool ignore);
    // Gone from the bus after a jump and not back yet.
    bool isRestarting(int handle) const;
    int restartCount(int handle) const;
    // The application area (kApplicationAreaSize bytes from kApplicationAddress).
    std::vector<std::uint8_t>& applicationArea(int handle);
    // The image the adapter runs since it last started its application from a checked image; empty
    // while it runs the firmware it came with.
    const std::vector<std::uint8_t>& runningApplication(int handle) const;

    // --- chip images kept between runs
    // Chip contents are loaded from and saved to <directory>/adapter<handle>-SPI<port>-CS<cs>.bin.
    // loadImages takes only files of the chip's exact size; the destructor saves when a directory is set.
    void setImageDirectory(const std::string& directory) { imageDir = directory; }
    const std::string& imageDirectory() const { return imageDir; }
    int loadImages();  // number of chips loaded
    bool saveImages(); // false if a file could not be written

    // --- fault injection
    // The nth call of op from now (1 = the next one) fails, once. Calls can be queued.
    void failCall(AdapterOp op, int nth = 1);
    // Every call of op fails until switched off.
    void failAllCalls(AdapterOp op, bool fail = true);
    // What failing int operations return (non-zero) and what a failing scanDevices returns.
    void setFailureCode(int code) { failureCode = code; }
    void setScanFailureResult(int count) { scanFailureResult = count; }
    void clearFaults();

    // --- call log
    const std::vector<AdapterCall>& calls() const { return log; }
    std::vector<AdapterCall> callsOf(AdapterOp op) const;
    int countOf(AdapterOp op) const;
    std::vector<AdapterOp> sequence() const;
    void clearLog() { log.clear(); }
    // Logging on by default; off for benchmarks.
    void setLogging(bool on) { logging = on; }
    bool isLogging() const { return logging; }

protected:
    int transfer(int handle, int selector, const std::uint8_t* send, int sendCount, std::uint8_t* receive,
                 int receiveCount) override;
    bool canConfigure(int handle) const override;

private:
    struct Device;
    struct Faults
    {
        bool always = false;
        int calls = 0;                 // calls of the op seen so far
        std::vector<int> failingCalls; // absolute call numbers that fail
    };

    Device* device(int handle) const;
    Device* usableDevice(int handle) const; // connected, not restarting, open
    bool isBack(const Device& dev) const;   // on the bus: not restarting, or its restart is over
    AdapterCall* begin(AdapterOp op, int handle);
    bool injectedFailure(AdapterOp op);
    void restart(int handle, Device& dev, bool upgradeMode);
    bool firmwareRange(std::uint32_t start, std::uint64_t length) const;

    std::array<std::unique_ptr<Device>, kMaxAdapters> devices;
    std::array<Faults, 16> faults;
    int failureCode = ErrorInjected;
    int scanFailureResult = 0;
    bool logging = true;
    std::vector<AdapterCall> log;
    AdapterCall scratchCall; // target of begin() while logging is off
    std::string imageDir;
};

// The simulated adapter the program starts with: adapter 0 with a W25Q64 (EF 40 17, 8 MiB) on
// SPI1-CS0 and an MX25L25645G (C2 20 19, 32 MiB, 4-byte addressing) on SPI2-CS0, adapter 1 with a
// GD25Q16 (C8 40 15, 2 MiB) on SPI1-CS0, all erased.
std::unique_ptr<SimulatedAdapter> createDefaultSimulatedAdapter(Clock& clock);

// Replaces the chips of the adapter by a list such as "0:00=W25Q64,0:01=MX25L25645G,1:00=GD25Q16"
// (handle:selector in hex=model, separated by commas or semicolons) and connects adapters 0 up to the
// highest handle named. A list with an unknown model or slot changes nothing and returns false.
bool attachSimulatedChips(SimulatedAdapter& adapter, Clock& clock, const std::string& list);

// The default adapter, changed by the environment: SPIFLASH_SIM_CHIPS (a list as above) replaces the
// chips, SPIFLASH_SIM_DIR keeps chip contents in image files there between runs.
std::unique_ptr<SimulatedAdapter> createSimulatedAdapterFromEnvironment(Clock& clock);
