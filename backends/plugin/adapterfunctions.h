#pragma once

// Free of Qt: also compiled for Windows, where the functions are resolved by ordinal.
#define KORVANE_NO_PLAIN_NAMES
#include "include/korvane/adapterplugin.h"

#include <cstddef>

namespace korvane {

// The sixteen operations of an adapter library loaded as a plug-in, as function pointers.
struct AdapterFunctions
{
    KorvaneScanDevicesFn scanDevices = nullptr;
    KorvaneOpenDeviceFn openDevice = nullptr;
    KorvaneCloseDeviceFn closeDevice = nullptr;
    KorvaneGetDeviceInfoFn getDeviceInfo = nullptr;
    KorvaneEraseFirmwareFn eraseFirmware = nullptr;
    KorvaneWriteFirmwareFn writeFirmware = nullptr;
    KorvaneJumpToAddressFn jumpToAddress = nullptr;
    KorvaneCheckFirmwareMd5Fn checkFirmwareMd5 = nullptr;
    KorvaneCheckFirmwareFileFn checkFirmwareFile = nullptr;
    KorvaneSpiWriteBytesFn spiWriteBytes = nullptr;
    KorvaneSpiWriteReadBytesFn spiWriteReadBytes = nullptr;
    KorvaneFlashInitFn flashInit = nullptr;
    KorvaneFlashReadIdFn flashReadId = nullptr;
    KorvaneFlashEraseSectorsFn flashEraseSectors = nullptr;
    KorvaneFlashWriteFn flashWrite = nullptr;
    KorvaneFlashReadFn flashRead = nullptr;
};

// Where each operation's pointer goes, under its export name and ordinal. A loader resolves every
// entry and refuses the library if any is missing, so that nothing is ever called through null.
struct AdapterFunctionSlot
{
    const char* name;
    int ordinal;
    void (*store)(AdapterFunctions& functions, void (*function)());
};

template <typename Pointer, Pointer AdapterFunctions::*Member>
void storeFunction(AdapterFunctions& functions, void (*function)())
{
    functions.*Member = reinterpret_cast<Pointer>(function);
}

#define KORVANE_SLOT(name, ordinal)                                                                          \
    AdapterFunctionSlot                                                                                      \
    {                                                                                                        \
#name, ordinal, &storeFunction < decltype(AdapterFunctions::name), &AdapterFunctions::name>          \
    }

inline const AdapterFunctionSlot kAdapterFunctionSlots[] = {
    KORVANE_SLOT(scanDevices, KORVANE_ORDINAL_SCAN_DEVICES),
    KORVANE_SLOT(openDevice, KORVANE_ORDINAL_OPEN_DEVICE),
    KORVANE_SLOT(closeDevice, KORVANE_ORDINAL_CLOSE_DEVICE),
    KORVANE_SLOT(getDeviceInfo, KORVANE_ORDINAL_GET_DEVICE_INFO),
    KORVANE_SLOT(eraseFirmware, KORVANE_ORDINAL_ERASE_FIRMWARE),
    KORVANE_SLOT(writeFirmware, KORVANE_ORDINAL_WRITE_FIRMWARE),
    KORVANE_SLOT(jumpToAddress, KORVANE_ORDINAL_JUMP_TO_ADDRESS),
    KORVANE_SLOT(checkFirmwareMd5, KORVANE_ORDINAL_CHECK_FIRMWARE_MD5),
    KORVANE_SLOT(checkFirmwareFile, KORVANE_ORDINAL_CHECK_FIRMWARE_FILE),
    KORVANE_SLOT(spiWriteBytes, KORVANE_ORDINAL_SPI_WRITE_BYTES),
    KORVANE_SLOT(spiWriteReadBytes, KORVANE_ORDINAL_SPI_WRITE_READ_BYTES),
    KORVANE_SLOT(flashInit, KORVANE_ORDINAL_FLASH_INIT),
    KORVANE_SLOT(flashReadId, KORVANE_ORDINAL_FLASH_READ_ID),
    KORVANE_SLOT(flashEraseSectors, KORVANE_ORDINAL_FLASH_ERASE_SECTORS),
    KORVANE_SLOT(flashWrite, KORVANE_ORDINAL_FLASH_WRITE),
    KORVANE_SLOT(flashRead, KORVANE_ORDINAL_FLASH_READ),
};

#undef KORVANE_SLOT

constexpr std::size_t kAdapterFunctionCount = sizeof kAdapterFunctionSlots / sizeof kAdapterFunctionSlots[0];
static_assert(kAdapterFunctionCount == 16, "the sixteen operations");

} // namespace korvane
