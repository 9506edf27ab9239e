#pragma once

#include "backends/plugin/adapterfunctions.h"
#include "core/adapter/adapterlibrary.h"

#include <QString>

#include <memory>
#include <string>

namespace korvane {

class LibraryLoader;
class LoadedLibrary;

// A maker's adapter library loaded as a plug-in: the sixteen operations go straight to its C
// functions, which do the flash work themselves (the SPI NOR engine is not involved). A library
// that cannot be loaded or lacks any of the operations is refused when loaded, so that every
// pointer is there when called.
class PluginAdapter : public AdapterLibrary
{
public:
    // The library at path, or null with *error naming what is missing.
    static std::unique_ptr<PluginAdapter> load(LibraryLoader& loader, const QString& path, QString* error);
    // Over functions already resolved (every one of them set), kept alive by library (may be null).
    PluginAdapter(std::unique_ptr<LoadedLibrary> library, const AdapterFunctions& functions,
                  const std::string& path);
    ~PluginAdapter() override;

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

    AdapterIdentity identity(int handle) override;
    bool hasFirmwareUpgrade(int handle) override;

private:
    std::unique_ptr<LoadedLibrary> library;
    AdapterFunctions call;
    std::string libraryPath;
    int found = 0; // adapters at the last scan
};

} // namespace korvane
