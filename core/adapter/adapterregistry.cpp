#include "core/adapter/adapterregistry.h"

#include "core/adapter/adapterresult.h"

#include <algorithm>

namespace korvane {

AdapterRegistry::AdapterRegistry() = default;
AdapterRegistry::~AdapterRegistry() = default;

void AdapterRegistry::add(std::unique_ptr<AdapterLibrary> backend)
{
    if (backend) {
        backends.push_back(std::move(backend));
        scanned = false;
    }
}

std::vector<AdapterEntry> AdapterRegistry::adapters()
{
    std::vector<AdapterEntry> list;
    const int count = scanDevices(nullptr);
    for (int i = 0; i < count; ++i)
        list.push_back(AdapterEntry{i, identity(i)});
    return list;
}

int AdapterRegistry::scanDevices(int* devices)
{
    counts.assign(backends.size(), 0);
    int total = 0;
    for (std::size_t b = 0; b < backends.size(); ++b) {
        counts[b] = std::max(backends[b]->scanDevices(nullptr), 0);
        total += counts[b];
    }
    scanned = true;
    if (devices != nullptr) {
        for (int i = 0; i < total; ++i)
            devices[i] = i;
    }
    return total;
}

AdapterRegistry::Target AdapterRegistry::target(int index)
{
    if (!scanned)
        scanDevices(nullptr);
    if (index < 0)
        return Target{};
    for (std::size_t b = 0; b < backends.size(); ++b) {
        if (index < counts[b]) {
            lastAddressed = backends[b].get();
            return Target{backends[b].get(), index};
        }
        index -= counts[b];
    }
    return Target{};
}

bool AdapterRegistry::openDevice(int handle)
{
    const Target t = target(handle);
    return t.library && t.library->openDevice(t.handle);
}

void AdapterRegistry::closeDevice(int handle)
{
    const Target t = target(handle);
    if (t.library)
        t.library->closeDevice(t.handle);
}

bool AdapterRegistry::getDeviceInfo(int handle, DEVICE_INFO* info, char* functions)
{
    const Target t = target(handle);
    return t.library && t.library->getDeviceInfo(t.handle, info, functions);
}

bool AdapterRegistry::eraseFirmware(int handle, std::uint32_t startAddress, std::uint32_t endAddress)
{
    const Target t = target(handle);
    return t.library && t.library->eraseFirmware(t.handle, startAddress, endAddress);
}

bool AdapterRegistry::writeFirmware(int handle, std::uint32_t address, const std::uint8_t* data,
                                    std::uint32_t count, int flag)
{
    const Target t = target(handle);
    return t.library && t.library->writeFirmware(t.handle, address, data, count, flag);
}

void AdapterRegistry::jumpToAddress(int handle, std::uint32_t address)
{
    const Target t = target(handle);
    if (t.library)
        t.library->jumpToAddress(t.handle, address);
}

bool AdapterRegistry::checkFirmwareMd5(int handle, std::uint32_t startAddress, std::uint32_t length)
{
    const Target t = target(handle);
    return t.library && t.library->checkFirmwareMd5(t.handle, startAddress, length);
}

bool AdapterRegistry::checkFirmwareFile(const char* path)
{
    AdapterLibrary* library =
        lastAddressed ? lastAddressed : (backends.empty() ? nullptr : backends[0].get());
    return library && library->checkFirmwareFile(path);
}

int AdapterRegistry::spiWriteBytes(int handle, int selector, const std::uint8_t* data, int count)
{
    const Target t = target(handle);
    return t.library ? t.library->spiWriteBytes(t.handle, selector, data, count) : AdapterErrorNoDevice;
}

int AdapterRegistry::spiWriteReadBytes(int handle, int selector, const std::uint8_t* sendData, int sendCount,
                                       std::uint8_t* receiveData, int receiveCount, int flag)
{
    const Target t = target(handle);
    return t.library ? t.library->spiWriteReadBytes(t.handle, selector, sendData, sendCount, receiveData,
                                                    receiveCount, flag)
                     : AdapterErrorNoDevice;
}

int AdapterRegistry::flashInit(int handle, int selector, std::uint32_t clockHz, const SPIFlashConfig* config)
{
    const Target t = target(handle);
    return t.library ? t.library->flashInit(t.handle, selector, clockHz, config) : AdapterErrorNoDevice;
}

int AdapterRegistry::flashReadId(int handle, int selector, std::uint8_t* buffer)
{
    const Target t = target(handle);
    return t.library ? t.library->flashReadId(t.handle, selector, buffer) : AdapterErrorNoDevice;
}

int AdapterRegistry::flashEraseSectors(int handle, int selector, std::uint32_t firstSector,
                                       std::uint32_t count)
{
    const Target t = target(handle);
    return t.library ? t.library->flashEraseSectors(t.handle, selector, firstSector, count)
                     : AdapterErrorNoDevice;
}

int AdapterRegistry::flashWrite(int handle, int selector, std::uint32_t address, const std::uint8_t* data,
                                std::uint32_t count)
{
    const Target t = target(handle);
    return t.library ? t.library->flashWrite(t.handle, selector, address, data, count) : AdapterErrorNoDevice;
}

int AdapterRegistry::flashRead(int handle, int selector, std::uint32_t address, std::uint8_t* buffer,
                               std::uint32_t count)
{
    const Target t = target(handle);
    return t.library ? t.library->flashRead(t.handle, selector, address, buffer, count)
                     : AdapterErrorNoDevice;
}

AdapterIdentity AdapterRegistry::identity(int handle)
{
    const Target t = target(handle);
    return t.library ? t.library->identity(t.handle) : AdapterIdentity{};
}

bool AdapterRegistry::hasFirmwareUpgrade(int handle)
{
    const Target t = target(handle);
    return t.library && t.library->hasFirmwareUpgrade(t.handle);
}

std::uint32_t AdapterRegistry::effectiveClockHz(int handle, int selector)
{
    const Target t = target(handle);
    return t.library ? t.library->effectiveClockHz(t.handle, selector) : 0;
}

int AdapterRegistry::openError(int handle)
{
    const Target t = target(handle);
    return t.library ? t.library->openError(t.handle) : AdapterErrorNoDevice;
}

std::string AdapterRegistry::failureDetail(int handle)
{
    const Target t = target(handle);
    return t.library ? t.library->failureDetail(t.handle) : std::string();
}

SpiTransferLimits AdapterRegistry::transferLimits(int handle, int selector)
{
    const Target t = target(handle);
    return t.library ? t.library->transferLimits(t.handle, selector) : SpiTransferLimits{};
}

int AdapterRegistry::spiTransferFrames(int handle, int selector, const SpiFrame* frames, int count)
{
    const Target t = target(handle);
    return t.library ? t.library->spiTransferFrames(t.handle, selector, frames, count) : AdapterErrorNoDevice;
}

} // namespace korvane
