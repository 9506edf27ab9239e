#pragma once

#include "core/adapter/adapterlibrary.h"

#include <memory>
#include <vector>

namespace korvane {

// One adapter of the list that "设备" indexes.
struct AdapterEntry
{
    int index = 0; // in the registry's list
    AdapterIdentity identity;
};

// The adapter list the front ends work with: the adapters of every backend added, backend by
// backend in the order they were added, each backend's in its own order (the handles 0..n-1 its
// scanDevices reports). The registry is itself an adapter library: an operation on index i goes
// to the backend holding the i-th adapter, with that backend's handle.
class AdapterRegistry : public AdapterLibrary
{
public:
    AdapterRegistry();
    ~AdapterRegistry() override;

    void add(std::unique_ptr<AdapterLibrary> backend);
    int backendCount() const { return static_cast<int>(backends.size()); }
    AdapterLibrary& backend(int i) const { return *backends[static_cast<std::size_t>(i)]; }

    // Scans every backend and lists what it found.
    std::vector<AdapterEntry> adapters();

    int scanDevices(int* devices) override;
    bool openDevice(int handle) override;
    void closeDevice(int handle) override;
    bool getDeviceInfo(int handle, DEVICE_INFO* info, char* functions) override;
    bool eraseFirmware(int handle, std::uint32_t startAddress, std::uint32_t endAddress) override;
    bool writeFirmware(int handle, std::uint32_t address, const std::uint8_t* data, std::uint32_t count,
                       int flag) override;
    void jumpToAddress(int handle, std::uint32_t address) override;
    bool checkFirmwareMd5(int handle, std::uint32_t startAddress, std::uint32_t length) override;
    // Goes to the backend of the adapter addressed last (the first backend before any).
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
    std::string failureDetail(int handle) override;
    SpiTransferLimits transferLimits(int handle, int selector) override;
    int spiTransferFrames(int handle, int selector, const SpiFrame* frames, int count) override;

private:
    struct Target
    {
        AdapterLibrary* library = nullptr;
        int handle = -1;
    };
    // The backend and its handle for a registry index; before the first scan it scans.
    Target target(int index);

    std::vector<std::unique_ptr<AdapterLibrary>> backends;
    std::vector<int> counts; // adapters per backend at the last scan
    bool scanned = false;
    AdapterLibrary* lastAddressed = nullptr;
};

} // namespace korvane
