#include "backends/plugin/pluginadapter.h"

#include "backends/plugin/libraryloader.h"
#include "core/adapter/adapterresult.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <vector>

namespace korvane {

// The library's records are the program's own, byte for byte.
static_assert(sizeof(KorvaneDeviceInfo) == sizeof(DEVICE_INFO), "DEVICE_INFO layout");
static_assert(offsetof(KorvaneDeviceInfo, ModeFlags) == offsetof(DEVICE_INFO, ModeFlags),
              "DEVICE_INFO layout");
static_assert(sizeof(KorvaneSpiFlashConfig) == sizeof(SPIFlashConfig), "SPIFlashConfig layout");
static_assert(offsetof(KorvaneSpiFlashConfig, PageSize) == offsetof(SPIFlashConfig, PageSize),
              "SPIFlashConfig layout");
static_assert(offsetof(KorvaneSpiFlashConfig, SectorSize) == offsetof(SPIFlashConfig, SectorSize),
              "SPIFlashConfig layout");
static_assert(KORVANE_ERROR_TIMED_OUT == AdapterErrorTimedOut &&
                  KORVANE_ERROR_NO_DEVICE == AdapterErrorNoDevice &&
                  KORVANE_ERROR_CHIP_BUSY == AdapterErrorTimeout &&
                  KORVANE_ERROR_ACCESS == AdapterErrorAccess,
              "result codes");
static_assert(KORVANE_MAX_FLASH_TRANSFER == kMaxFlashTransfer, "transfer size");
static_assert(KORVANE_FUNCTIONS_TEXT_SIZE == kDeviceFunctionsTextSize, "functions text size");

std::unique_ptr<PluginAdapter> PluginAdapter::load(LibraryLoader& loader, const QString& path, QString* error)
{
    QString reason;
    std::unique_ptr<LoadedLibrary> library = loader.load(path, &reason);
    if (!library) {
        *error = QCoreApplication::translate("Backends", "cannot load the adapter library %1: %2")
                     .arg(path, reason);
        return nullptr;
    }
    AdapterFunctions functions;
    QStringList missing;
    for (const AdapterFunctionSlot& slot : kAdapterFunctionSlots) {
        if (auto function = library->resolve(slot.name))
            slot.store(functions, function);
        else
            missing << QLatin1String(slot.name);
    }
    if (!missing.isEmpty()) {
        *error = QCoreApplication::translate("Backends",
                                             "the adapter library %1 lacks %2 of the %3 operations: %4")
                     .arg(path)
                     .arg(missing.size())
                     .arg(kAdapterFunctionCount)
                     .arg(missing.join(QStringLiteral(", ")));
        return nullptr;
    }
    return std::make_unique<PluginAdapter>(std::move(library), functions,
                                           QFileInfo(path).absoluteFilePath().toStdString());
}

PluginAdapter::PluginAdapter(std::unique_ptr<LoadedLibrary> library, const AdapterFunctions& functions,
                             const std::string& path)
    : library(std::move(library)), call(functions), libraryPath(path)
{
}

PluginAdapter::~PluginAdapter() = default;

int PluginAdapter::scanDevices(int* devices)
{
    std::int32_t count = call.scanDevices(nullptr);
    if (devices != nullptr && count > 0) {
        // The library writes as many indices as it finds: room for more than it said a moment ago.
        std::vector<std::int32_t> indices(static_cast<std::size_t>(count) * 4 + 16, 0);
        count = std::min<std::int32_t>(call.scanDevices(indices.data()), std::int32_t(indices.size()));
        std::copy(indices.begin(), indices.begin() + std::clamp<std::int32_t>(count, 0, kMaxAdapters),
                  devices);
    }
    // A library that claims more adapters than there are handles is taken at its word up to them.
    found = std::clamp<int>(count, 0, kMaxAdapters);
    return found;
}

bool PluginAdapter::openDevice(int handle)
{
    return call.openDevice(handle) != 0;
}

void PluginAdapter::closeDevice(int handle)
{
    call.closeDevice(handle);
}

bool PluginAdapter::getDeviceInfo(int handle, DEVICE_INFO* info, char* functions)
{
    if (info == nullptr || functions == nullptr)
        return false;
    return call.getDeviceInfo(handle, reinterpret_cast<KorvaneDeviceInfo*>(info), functions) != 0;
}

bool PluginAdapter::eraseFirmware(int handle, std::uint32_t startAddress, std::uint32_t endAddress)
{
    return call.eraseFirmware(handle, startAddress, endAddress) != 0;
}

bool PluginAdapter::writeFirmware(int handle, std::uint32_t address, const std::uint8_t* data,
                                  std::uint32_t count, int flag)
{
    return call.writeFirmware(handle, address, data, count, flag) != 0;
}

void PluginAdapter::jumpToAddress(int handle, std::uint32_t address)
{
    call.jumpToAddress(handle, address);
}

bool PluginAdapter::checkFirmwareMd5(int handle, std::uint32_t startAddress, std::uint32_t length)
{
    return call.checkFirmwareMd5(handle, startAddress, length) != 0;
}

bool PluginAdapter::checkFirmwareFile(const char* path)
{
    return path != nullptr && call.checkFirmwareFile(path) != 0;
}

int PluginAdapter::spiWriteBytes(int handle, int selector, const std::uint8_t* data, int count)
{
    return call.spiWriteBytes(handle, selector, data, count);
}

int PluginAdapter::spiWriteReadBytes(int handle, int selector, const std::uint8_t* sendData, int sendCount,
                                     std::uint8_t* receiveData, int receiveCount, int flag)
{
    return call.spiWriteReadBytes(handle, selector, sendData, sendCount, receiveData, receiveCount, flag);
}

int PluginAdapter::flashInit(int handle, int selector, std::uint32_t clockHz, const SPIFlashConfig* config)
{
    return call.flashInit(handle, selector, clockHz, reinterpret_cast<const KorvaneSpiFlashConfig*>(config));
}

int PluginAdapter::flashReadId(int handle, int selector, std::uint8_t* buffer)
{
    return call.flashReadId(handle, selector, buffer);
}

int PluginAdapter::flashEraseSectors(int handle, int selector, std::uint32_t firstSector, std::uint32_t count)
{
    return call.flashEraseSectors(handle, selector, firstSector, count);
}

int PluginAdapter::flashWrite(int handle, int selector, std::uint32_t address, const std::uint8_t* data,
                              std::uint32_t count)
{
    return call.flashWrite(handle, selector, address, data, count);
}

int PluginAdapter::flashRead(int handle, int selector, std::uint32_t address, std::uint8_t* buffer,
                             std::uint32_t count)
{
    return call.flashRead(handle, selector, address, buffer, count);
}

AdapterIdentity PluginAdapter::identity(int handle)
{
    if (handle < 0 || handle >= found)
        return AdapterIdentity{};
    const std::size_t slash = libraryPath.rfind('/');
    return AdapterIdentity{"lib", slash == std::string::npos ? libraryPath : libraryPath.substr(slash + 1),
                           libraryPath + " #" + std::to_string(handle), std::string()};
}

bool PluginAdapter::hasFirmwareUpgrade(int handle)
{
    return handle >= 0 && handle < found;
}

} // namespace korvane
