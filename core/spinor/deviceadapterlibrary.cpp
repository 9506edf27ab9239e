#include "core/spinor/deviceadapterlibrary.h"

#include "core/adapter/adapterresult.h"
#include "core/spinor/spinor.h"

namespace korvane {

// The flash operations' transport: the adapter's transfers on one selector, keeping count of
// whether the last frame on it was a status read that found the chip ready.
class DeviceAdapterLibrary::Transport : public SpiTransport
{
public:
    Transport(AdapterDevice& device, int selector, Slot& slot) : device(device), selector(selector), slot(slot)
    {
    }
    int transfer(const std::uint8_t* send, int sendCount, std::uint8_t* receive, int receiveCount) override
    {
        const int result = device.transfer(selector, send, sendCount, receive, receiveCount);
        note(result, SpiFrame{send, sendCount, receive, receiveCount});
        return result;
    }
    int transferFrames(const SpiFrame* frames, int count) override
    {
        const int result = device.transferFrames(selector, frames, count);
        note(result, count > 0 ? frames[count - 1] : SpiFrame{});
        return result;
    }
    SpiTransferLimits limits() const override { return device.transferLimits(selector); }
    bool chipKnownReady() const override { return slot.chipReady; }

private:
    void note(int result, const SpiFrame& last)
    {
        slot.chipReady = result == AdapterOk && last.sendCount == 1 && last.send[0] == slot.config.ReadStatus &&
                         last.receiveCount > 0 && (last.receive[last.receiveCount - 1] & SpiNor::StatusBusy) == 0;
    }

    AdapterDevice& device;
    int selector;
    Slot& slot;
};

DeviceAdapterLibrary::DeviceAdapterLibrary(Clock& clock) : spiNor(clock) {}

DeviceAdapterLibrary::~DeviceAdapterLibrary() = default;

AdapterDevice* DeviceAdapterLibrary::openDeviceAt(int handle) const
{
    AdapterDevice* dev = device(handle);
    return dev && dev->isOpen() ? dev : nullptr;
}

const DeviceAdapterLibrary::Slot* DeviceAdapterLibrary::configuredSlot(int handle, int selector) const
{
    const auto it = slotTable.find({handle, selector});
    return it == slotTable.end() ? nullptr : &it->second;
}

DeviceAdapterLibrary::Slot* DeviceAdapterLibrary::slotOf(int handle, int selector)
{
    const auto it = slotTable.find({handle, selector});
    return it == slotTable.end() ? nullptr : &it->second;
}

void DeviceAdapterLibrary::forgetChipState(int handle, int selector)
{
    if (Slot* slot = slotOf(handle, selector))
        slot->chipReady = false;
}

bool DeviceAdapterLibrary::isConfigured(int handle, int selector) const
{
    return configuredSlot(handle, selector) != nullptr;
}

const SPIFlashConfig* DeviceAdapterLibrary::configuration(int handle, int selector) const
{
    const Slot* slot = configuredSlot(handle, selector);
    return slot ? &slot->config : nullptr;
}

std::uint32_t DeviceAdapterLibrary::clockHz(int handle, int selector) const
{
    const Slot* slot = configuredSlot(handle, selector);
    return slot ? slot->clockHz : 0;
}

void DeviceAdapterLibrary::forgetConfiguration(int handle)
{
    for (auto it = slotTable.begin(); it != slotTable.end();)
        it = it->first.first == handle ? slotTable.erase(it) : std::next(it);
}

bool DeviceAdapterLibrary::openDevice(int handle)
{
    AdapterDevice* dev = device(handle);
    if (dev == nullptr) {
        openErrors[handle] = AdapterErrorNoDevice;
        return false;
    }
    // An adapter that closed or restarted since it was configured starts afresh.
    if (!dev->isOpen())
        forgetConfiguration(handle);
    const int opened = dev->open();
    openErrors[handle] = opened;
    return opened == AdapterOk;
}

void DeviceAdapterLibrary::closeDevice(int handle)
{
    AdapterDevice* dev = device(handle);
    if (dev == nullptr || !dev->isOpen())
        return;
    dev->close();
    forgetConfiguration(handle);
}

bool DeviceAdapterLibrary::getDeviceInfo(int handle, DEVICE_INFO* info, char* functions)
{
    AdapterDevice* dev = openDeviceAt(handle);
    return dev && info != nullptr && functions != nullptr && dev->deviceInfo(info, functions);
}

bool DeviceAdapterLibrary::eraseFirmware(int handle, std::uint32_t startAddress, std::uint32_t endAddress)
{
    AdapterDevice* dev = openDeviceAt(handle);
    AdapterFirmware* service = dev ? dev->firmware() : nullptr;
    return service && service->eraseFirmware(startAddress, endAddress);
}

bool DeviceAdapterLibrary::writeFirmware(int handle, std::uint32_t address, const std::uint8_t* data,
                                         std::uint32_t count, int flag)
{
    AdapterDevice* dev = openDeviceAt(handle);
    AdapterFirmware* service = dev ? dev->firmware() : nullptr;
    return service && service->writeFirmware(address, data, count, flag);
}

void DeviceAdapterLibrary::jumpToAddress(int handle, std::uint32_t address)
{
    AdapterDevice* dev = openDeviceAt(handle);
    if (AdapterFirmware* service = dev ? dev->firmware() : nullptr)
        service->jumpToAddress(address);
}

bool DeviceAdapterLibrary::checkFirmwareMd5(int handle, std::uint32_t startAddress, std::uint32_t length)
{
    AdapterDevice* dev = openDeviceAt(handle);
    AdapterFirmware* service = dev ? dev->firmware() : nullptr;
    return service && service->checkFirmwareMd5(startAddress, length);
}

bool DeviceAdapterLibrary::checkFirmwareFile(const char*)
{
    return false;
}

int DeviceAdapterLibrary::spiWriteBytes(int handle, int selector, const std::uint8_t* data, int count)
{
    if (count < 0 || (count > 0 && data == nullptr) || selectorSlot(selector) < 0)
        return AdapterErrorArgument;
    AdapterDevice* dev = openDeviceAt(handle);
    forgetChipState(handle, selector);
    return dev ? dev->transfer(selector, data, count, nullptr, 0) : AdapterErrorTransport;
}

int DeviceAdapterLibrary::spiWriteReadBytes(int handle, int selector, const std::uint8_t* sendData,
                                            int sendCount, std::uint8_t* receiveData, int receiveCount, int)
{
    if (sendCount < 0 || receiveCount < 0 || (sendCount > 0 && sendData == nullptr) ||
        (receiveCount > 0 && receiveData == nullptr) || selectorSlot(selector) < 0)
        return AdapterErrorArgument;
    AdapterDevice* dev = openDeviceAt(handle);
    forgetChipState(handle, selector);
    return dev ? dev->transfer(selector, sendData, sendCount, receiveData, receiveCount)
               : AdapterErrorTransport;
}

int DeviceAdapterLibrary::spiTransferFrames(int handle, int selector, const SpiFrame* frames, int count)
{
    if (!validFrames(frames, count) || selectorSlot(selector) < 0)
        return AdapterErrorArgument;
    AdapterDevice* dev = openDeviceAt(handle);
    forgetChipState(handle, selector);
    return dev ? dev->transferFrames(selector, frames, count) : AdapterErrorTransport;
}

SpiTransferLimits DeviceAdapterLibrary::transferLimits(int handle, int selector)
{
    AdapterDevice* dev = device(handle);
    return dev && selectorSlot(selector) >= 0 ? dev->transferLimits(selector) : SpiTransferLimits{};
}

int DeviceAdapterLibrary::flashInit(int handle, int selector, std::uint32_t clockHz,
                                    const SPIFlashConfig* config)
{
    if (selectorSlot(selector) < 0 || config == nullptr || clockHz == 0)
        return AdapterErrorArgument;
    AdapterDevice* dev = openDeviceAt(handle);
    if (dev == nullptr)
        return AdapterErrorTransport;
    std::uint32_t actual = clockHz;
    if (const int configured = dev->configure(selector, clockHz, &actual))
        return configured;
    Slot& slot = slotTable[{handle, selector}];
    slot.chipReady = false;
    slot.clockHz = clockHz;
    slot.actualClockHz = actual;
    slot.config = *config;
    return AdapterOk;
}

int DeviceAdapterLibrary::flashReadId(int handle, int selector, std::uint8_t* buffer)
{
    Slot* slot = slotOf(handle, selector);
    AdapterDevice* dev = openDeviceAt(handle);
    if (slot == nullptr || dev == nullptr)
        return AdapterErrorNotConfigured;
    Transport transport(*dev, selector, *slot);
    return spiNor.readId(transport, slot->config, buffer);
}

int DeviceAdapterLibrary::flashEraseSectors(int handle, int selector, std::uint32_t firstSector,
                                            std::uint32_t count)
{
    Slot* slot = slotOf(handle, selector);
    AdapterDevice* dev = openDeviceAt(handle);
    if (slot == nullptr || dev == nullptr)
        return AdapterErrorNotConfigured;
    Transport transport(*dev, selector, *slot);
    return spiNor.eraseSectors(transport, slot->config, firstSector, count);
}

int DeviceAdapterLibrary::flashWrite(int handle, int selector, std::uint32_t address,
                                     const std::uint8_t* data, std::uint32_t count)
{
    Slot* slot = slotOf(handle, selector);
    AdapterDevice* dev = openDeviceAt(handle);
    if (slot == nullptr || dev == nullptr)
        return AdapterErrorNotConfigured;
    Transport transport(*dev, selector, *slot);
    return spiNor.write(transport, slot->config, address, data, count);
}

int DeviceAdapterLibrary::flashRead(int handle, int selector, std::uint32_t address, std::uint8_t* buffer,
                                    std::uint32_t count)
{
    Slot* slot = slotOf(handle, selector);
    AdapterDevice* dev = openDeviceAt(handle);
    if (slot == nullptr || dev == nullptr)
        return AdapterErrorNotConfigured;
    if (count > kMaxFlashTransfer)
        return AdapterErrorArgument;
    Transport transport(*dev, selector, *slot);
    return spiNor.read(transport, slot->config, address, buffer, count);
}

AdapterIdentity DeviceAdapterLibrary::identity(int handle)
{
    AdapterDevice* dev = device(handle);
    return dev ? dev->identity() : AdapterIdentity{};
}

bool DeviceAdapterLibrary::hasFirmwareUpgrade(int handle)
{
    AdapterDevice* dev = device(handle);
    return dev && dev->firmware() != nullptr;
}

std::uint32_t DeviceAdapterLibrary::effectiveClockHz(int handle, int selector)
{
    const Slot* slot = configuredSlot(handle, selector);
    return slot ? slot->actualClockHz : 0;
}

int DeviceAdapterLibrary::openError(int handle)
{
    const auto it = openErrors.find(handle);
    return it == openErrors.end() ? 0 : it->second;
}

} // namespace korvane
