#pragma once

#include "core/adapter/adapterlibrary.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace korvane {

// One call of the adapter library as the recorder saw it. Fields an operation has no argument for
// stay 0 / empty.
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

// Goes around any adapter library: logs every call with its arguments and result, and makes chosen
// calls fail without reaching the library (fault injection). What tests use to see what an
// operation asked of the adapter and how it copes with a failure at any point.
class RecordingAdapter : public AdapterLibrary
{
public:
    explicit RecordingAdapter(AdapterLibrary& inner);

    AdapterLibrary& inner() const { return wrapped; }

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

    AdapterIdentity identity(int handle) override { return wrapped.identity(handle); }
    bool hasFirmwareUpgrade(int handle) override { return wrapped.hasFirmwareUpgrade(handle); }
    std::uint32_t effectiveClockHz(int handle, int selector) override
    {
        return wrapped.effectiveClockHz(handle, selector);
    }
    int openError(int handle) override { return wrapped.openError(handle); }
    std::string failureDetail(int handle) override { return wrapped.failureDetail(handle); }
    SpiTransferLimits transferLimits(int handle, int selector) override
    {
        return limited ? limits : wrapped.transferLimits(handle, selector);
    }
    // The adapter claims these limits instead of its own (a smaller programmer).
    void claimTransferLimits(const SpiTransferLimits& claimed)
    {
        limits = claimed;
        limited = true;
    }

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

private:
    struct Faults
    {
        bool always = false;
        int calls = 0;                 // calls of the op seen so far
        std::vector<int> failingCalls; // absolute call numbers that fail
    };

    AdapterCall* begin(AdapterOp op, int handle);
    bool injectedFailure(AdapterOp op);

    AdapterLibrary& wrapped;
    std::array<Faults, 16> faults;
    int failureCode;
    int scanFailureResult = 0;
    bool logging = true;
    bool limited = false;
    SpiTransferLimits limits;
    std::vector<AdapterCall> log;
    AdapterCall scratchCall; // target of begin() while logging is off
};

} // namespace korvane
