// The simulated adapter as a maker's adapter library: the sixteen operations exported as C
// functions, built against the header makers get. One adapter with a GD25Q16 on SPI1-CS0 and a
// W25Q64 on SPI1-CS1, on a clock of its own that only moves when slept on. The korvaneSim... hooks
// are for the tests: they reach the chips, the clock and the link behind the library.
//
// Built twice: SIMPLUGIN_PARTIAL leaves out flashEraseSectors and flashRead.
#define KORVANE_DECLARE_ADAPTER_FUNCTIONS
#define KORVANE_NO_PLAIN_NAMES
#include "include/korvane/adapterplugin.h"

#include "backends/simulated/simulatedadapter.h"
#include "tests/support/virtualclock.h"

#include <memory>

using namespace korvane;

namespace {

VirtualClock& pluginClock()
{
    static VirtualClock clock;
    return clock;
}

std::unique_ptr<SimulatedAdapter>& instance()
{
    static std::unique_ptr<SimulatedAdapter> adapter;
    return adapter;
}

void reset()
{
    auto adapter = std::make_unique<SimulatedAdapter>(pluginClock());
    adapter->setAdapterCount(1);
    adapter->attachChip(0, 0x00, createSimulatedChip("GD25Q16", pluginClock()));
    adapter->attachChip(0, 0x10, createSimulatedChip("W25Q64", pluginClock()));
    instance() = std::move(adapter);
}

SimulatedAdapter& sim()
{
    if (!instance())
        reset();
    return *instance();
}

} // namespace

extern "C" {

int32_t KORVANE_CALL scanDevices(int32_t* devices)
{
    return sim().scanDevices(devices);
}

int32_t KORVANE_CALL openDevice(int32_t handle)
{
    return sim().openDevice(handle) ? 1 : 0;
}

void KORVANE_CALL closeDevice(int32_t handle)
{
    sim().closeDevice(handle);
}

int32_t KORVANE_CALL getDeviceInfo(int32_t handle, KorvaneDeviceInfo* info, char* functions)
{
    return sim().getDeviceInfo(handle, reinterpret_cast<DEVICE_INFO*>(info), functions) ? 1 : 0;
}

int32_t KORVANE_CALL eraseFirmware(int32_t handle, uint32_t startAddress, uint32_t endAddress)
{
    return sim().eraseFirmware(handle, startAddress, endAddress) ? 1 : 0;
}

int32_t KORVANE_CALL writeFirmware(int32_t handle, uint32_t address, const uint8_t* data, uint32_t count,
                                   int32_t flag)
{
    return sim().writeFirmware(handle, address, data, count, flag) ? 1 : 0;
}

void KORVANE_CALL jumpToAddress(int32_t handle, uint32_t address)
{
    sim().jumpToAddress(handle, address);
}

int32_t KORVANE_CALL checkFirmwareMd5(int32_t handle, uint32_t startAddress, uint32_t length)
{
    return sim().checkFirmwareMd5(handle, startAddress, length) ? 1 : 0;
}

int32_t KORVANE_CALL checkFirmwareFile(const char* path)
{
    return sim().checkFirmwareFile(path) ? 1 : 0;
}

int32_t KORVANE_CALL spiWriteBytes(int32_t handle, int32_t selector, const uint8_t* data, int32_t count)
{
    return sim().spiWriteBytes(handle, selector, data, count);
}

int32_t KORVANE_CALL spiWriteReadBytes(int32_t handle, int32_t selector, const uint8_t* sendData,
                                       int32_t sendCount, uint8_t* receiveData, int32_t receiveCount,
                                       int32_t flag)
{
    return sim().spiWriteReadBytes(handle, selector, sendData, sendCount, receiveData, receiveCount, flag);
}

int32_t KORVANE_CALL flashInit(int32_t handle, int32_t selector, uint32_t clockHz,
                               const KorvaneSpiFlashConfig* config)
{
    return sim().flashInit(handle, selector, clockHz, reinterpret_cast<const SPIFlashConfig*>(config));
}

int32_t KORVANE_CALL flashReadId(int32_t handle, int32_t selector, uint8_t* buffer)
{
    return sim().flashReadId(handle, selector, buffer);
}

int32_t KORVANE_CALL flashWrite(int32_t handle, int32_t selector, uint32_t address, const uint8_t* data,
                                uint32_t count)
{
    return sim().flashWrite(handle, selector, address, data, count);
}

#ifndef SIMPLUGIN_PARTIAL
int32_t KORVANE_CALL flashEraseSectors(int32_t handle, int32_t selector, uint32_t firstSector, uint32_t count)
{
    return sim().flashEraseSectors(handle, selector, firstSector, count);
}

int32_t KORVANE_CALL flashRead(int32_t handle, int32_t selector, uint32_t address, uint8_t* buffer,
                               uint32_t count)
{
    return sim().flashRead(handle, selector, address, buffer, count);
}
#endif

// --- for the tests

KORVANE_EXPORT void korvaneSimReset()
{
    reset();
}

// The memory array of the chip on a selector, a std::vector<std::uint8_t>.
KORVANE_EXPORT void* korvaneSimChipMemory(int32_t selector)
{
    SimulatedChip* chip = sim().chip(0, selector);
    return chip ? &chip->contents() : nullptr;
}

KORVANE_EXPORT void korvaneSimBreakAfter(int32_t transfers)
{
    sim().breakLinkAfter(0, transfers);
}

KORVANE_EXPORT void korvaneSimSleep(int32_t milliseconds)
{
    pluginClock().sleep(milliseconds);
}

KORVANE_EXPORT int64_t korvaneSimNow()
{
    return pluginClock().nowNanoseconds();
}

} // extern "C"
