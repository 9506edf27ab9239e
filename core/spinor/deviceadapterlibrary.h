#pragma once

#include "core/adapter/adapterdevice.h"
#include "core/adapter/adapterlibrary.h"
#include "core/spinor/spinorengine.h"

#include <cstdint>
#include <map>
#include <utility>

namespace korvane {

class Clock;

// The adapter library of a backend whose adapters are transports (AdapterDevice): the device and
// firmware operations go to the adapter behind the handle, the flash operations through the SPI
// NOR engine over its transport. flashInit keeps the chip record and clock per handle and
// selector; the other flash operations fail for a handle and selector it has not configured.
// Closing an adapter, or opening one that was closed or restarted, forgets its configuration.
//
// A backend says which adapters it has (scanDevices, device) and, if its adapters take firmware
// files, checks them (checkFirmwareFile).
class DeviceAdapterLibrary : public AdapterLibrary
{
public:
    explicit DeviceAdapterLibrary(Clock& clock);
    ~DeviceAdapterLibrary() override;

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

    AdapterIdentity identity(int handle) override;
    bool hasFirmwareUpgrade(int handle) override;
    std::uint32_t effectiveClockHz(int handle, int selector) override;
    int openError(int handle) override;
    SpiTransferLimits transferLimits(int handle, int selector) override;
    int spiTransferFrames(int handle, int selector, const SpiFrame* frames, int count) override;

    SpiNorEngine& engine() { return spiNor; }
    const SpiNorEngine::PollLimits& limits() const { return spiNor.limits(); }

    // Whether flashInit has configured this handle and selector, and with what.
    bool isConfigured(int handle, int selector) const;
    const SPIFlashConfig* configuration(int handle, int selector) const;
    std::uint32_t clockHz(int handle, int selector) const;

protected:
    // The adapter behind a handle, or null when there is none.
    virtual AdapterDevice* device(int handle) const = 0;
    // Forgets the configuration of every selector of a handle (the adapter closed or restarted).
    void forgetConfiguration(int handle);

private:
    struct Slot
    {
        std::uint32_t clockHz = 0;       // as asked for
        std::uint32_t actualClockHz = 0; // as the adapter runs it
        SPIFlashConfig config{};
        // The last frame on this selector was a status read that found the chip ready; any other
        // frame, through the flash operations or raw, clears it.
        bool chipReady = false;
    };
    class Transport;

    AdapterDevice* openDeviceAt(int handle) const;
    const Slot* configuredSlot(int handle, int selector) const;
    Slot* slotOf(int handle, int selector);
    void forgetChipState(int handle, int selector);

    SpiNorEngine spiNor;
    std::map<std::pair<int, int>, Slot> slotTable; // by handle and selector
    std::map<int, int> openErrors;                 // the last failed open's result, by handle
};

} // namespace korvane
