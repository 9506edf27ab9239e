/* Korvane SPI Flash Program: the adapter library interface, for makers of adapters.
 *
 * A library built against this header can be loaded by the program in place of a built-in
 * backend (korvane-spi --adapter lib:PATH, KorvaneSpiFlash --adapter lib:PATH). It exports the
 * sixteen operations below as C functions under these names; on 32-bit Windows it may instead
 * export them by ordinal (KORVANE_ORDINAL_...) with the standard-call convention. The library
 * does the flash work itself: the program hands it the chip record and asks for IDs, reads,
 * page-aligned or unaligned writes and sector erases.
 *
 * Plain C (C99 or later, or C++): fixed-width types, no allocation across the boundary, every
 * buffer owned by the caller.
 *
 * Handles: adapter index 0..9 as scanDevices numbers them. Selector: low nibble the SPI port
 * (0 SPI1, 1 SPI2), high nibble the chip select (0..4).
 *
 * Results: the device and firmware operations return nonzero on success and 0 on failure. The SPI
 * and flash operations return KORVANE_OK (0) on success and anything else on failure, preferably
 * one of the KORVANE_ERROR_ codes so that the program can say what went wrong. Operations open the
 * adapter and leave it open; opening an open adapter succeeds.
 */
#ifndef KORVANE_ADAPTERPLUGIN_H
#define KORVANE_ADAPTERPLUGIN_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define KORVANE_CALL __stdcall
#else
#define KORVANE_CALL
#endif

#if defined(_WIN32)
#define KORVANE_EXPORT __declspec(dllexport)
#elif defined(__GNUC__)
#define KORVANE_EXPORT __attribute__((visibility("default")))
#else
#define KORVANE_EXPORT
#endif

#if defined(__cplusplus)
#define KORVANE_STATIC_ASSERT(condition, message) static_assert(condition, message)
#else
#define KORVANE_STATIC_ASSERT(condition, message) _Static_assert(condition, message)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Results of the SPI and flash operations. */
#define KORVANE_OK 0
#define KORVANE_ERROR_ARGUMENT (-1)       /* bad handle, selector, pointer or count */
#define KORVANE_ERROR_NOT_CONFIGURED (-2) /* no flashInit for this handle and selector */
#define KORVANE_ERROR_TRANSPORT (-3)      /* the transfer failed */
#define KORVANE_ERROR_CHIP_BUSY (-4)      /* the chip stayed busy past the bound */
#define KORVANE_ERROR_CONFIG (-5)         /* the chip record cannot serve this operation */
#define KORVANE_ERROR_RANGE (-6)          /* the range runs past the chip or its address reach */
#define KORVANE_ERROR_NO_DEVICE (-8)      /* the adapter is gone (unplugged) */
#define KORVANE_ERROR_ACCESS (-9)         /* no permission to open the adapter */
#define KORVANE_ERROR_UNSUPPORTED (-10)   /* the adapter lacks what was asked */
#define KORVANE_ERROR_PROTOCOL (-11)      /* the adapter answered something that makes no sense */
#define KORVANE_ERROR_TIMED_OUT (-12)     /* the adapter did not answer in time */

/* Most bytes flashRead and flashWrite are asked for at once. */
#define KORVANE_MAX_FLASH_TRANSFER 20480
/* Size of the functions text getDeviceInfo fills, NUL included. */
#define KORVANE_FUNCTIONS_TEXT_SIZE 256

#pragma pack(push, 1)

/* What an adapter reports about itself: 88 bytes, little-endian. */
typedef struct KorvaneDeviceInfo
{
    char FirmwareName[32];    /* UTF-8, NUL-terminated inside the field */
    char BuildDate[32];       /* UTF-8, NUL-terminated inside the field */
    uint32_t HardwareVersion; /* major bits 31..24, minor 23..16, patch 15..0 */
    uint32_t FirmwareVersion; /* packed as HardwareVersion */
    uint32_t SerialNumber[3];
    uint32_t ModeFlags; /* bit 0: the adapter runs its upgrade code */
} KorvaneDeviceInfo;

/* A chip's SPI instruction set, ID and geometry: 44 bytes, little-endian. */
typedef struct KorvaneSpiFlashConfig
{
    uint8_t WriteEnable;
    uint8_t WriteDisable;
    uint8_t WritePage;
    uint8_t WritePageAddrBytes;
    uint8_t EraseSector;
    uint8_t EraseSectorAddrBytes;
    uint8_t Reserved;
    uint8_t EraseChip;
    uint8_t ReadID;
    uint8_t ReadData;
    uint8_t ReadDataAddrBytes;
    uint8_t ReadFast;
    uint8_t ReadFastAddrBytes;
    uint8_t ReadStatus;
    uint8_t WriteStatus;
    uint8_t FlashID[16]; /* in the order the chip sends them; IDLength of them count */
    uint8_t IDLength;
    int32_t PageSize;
    int32_t NumPages;
    int32_t SectorSize;
} KorvaneSpiFlashConfig;

#pragma pack(pop)

KORVANE_STATIC_ASSERT(sizeof(KorvaneDeviceInfo) == 88, "KorvaneDeviceInfo must be 88 bytes");
KORVANE_STATIC_ASSERT(offsetof(KorvaneDeviceInfo, HardwareVersion) == 64, "KorvaneDeviceInfo layout");
KORVANE_STATIC_ASSERT(offsetof(KorvaneDeviceInfo, SerialNumber) == 72, "KorvaneDeviceInfo layout");
KORVANE_STATIC_ASSERT(offsetof(KorvaneDeviceInfo, ModeFlags) == 84, "KorvaneDeviceInfo layout");
KORVANE_STATIC_ASSERT(sizeof(KorvaneSpiFlashConfig) == 44, "KorvaneSpiFlashConfig must be 44 bytes");
KORVANE_STATIC_ASSERT(offsetof(KorvaneSpiFlashConfig, FlashID) == 15, "KorvaneSpiFlashConfig layout");
KORVANE_STATIC_ASSERT(offsetof(KorvaneSpiFlashConfig, IDLength) == 31, "KorvaneSpiFlashConfig layout");
KORVANE_STATIC_ASSERT(offsetof(KorvaneSpiFlashConfig, PageSize) == 32, "KorvaneSpiFlashConfig layout");
KORVANE_STATIC_ASSERT(offsetof(KorvaneSpiFlashConfig, SectorSize) == 40, "KorvaneSpiFlashConfig layout");

#ifndef KORVANE_NO_PLAIN_NAMES
/* The names the program's own sources use for the two records. */
typedef KorvaneDeviceInfo DEVICE_INFO;
typedef KorvaneSpiFlashConfig SPIFlashConfig;
#endif

/* The ordinals a Windows library exports the operations under. */
#define KORVANE_ORDINAL_SCAN_DEVICES 100
#define KORVANE_ORDINAL_OPEN_DEVICE 101
#define KORVANE_ORDINAL_CLOSE_DEVICE 102
#define KORVANE_ORDINAL_GET_DEVICE_INFO 103
#define KORVANE_ORDINAL_ERASE_FIRMWARE 200
#define KORVANE_ORDINAL_WRITE_FIRMWARE 201
#define KORVANE_ORDINAL_JUMP_TO_ADDRESS 203
#define KORVANE_ORDINAL_CHECK_FIRMWARE_MD5 204
#define KORVANE_ORDINAL_CHECK_FIRMWARE_FILE 205
#define KORVANE_ORDINAL_SPI_WRITE_BYTES 301
#define KORVANE_ORDINAL_SPI_WRITE_READ_BYTES 304
#define KORVANE_ORDINAL_FLASH_INIT 307
#define KORVANE_ORDINAL_FLASH_READ_ID 308
#define KORVANE_ORDINAL_FLASH_ERASE_SECTORS 309
#define KORVANE_ORDINAL_FLASH_WRITE 310
#define KORVANE_ORDINAL_FLASH_READ 311

/* The sixteen operations, as function pointer types (for a library's own checks and for loaders). */

/* Number of connected adapters. devices may be null; otherwise it receives their indices. */
typedef int32_t(KORVANE_CALL* KorvaneScanDevicesFn)(int32_t* devices);
typedef int32_t(KORVANE_CALL* KorvaneOpenDeviceFn)(int32_t handle);
typedef void(KORVANE_CALL* KorvaneCloseDeviceFn)(int32_t handle);
/* Fills info and the NUL-terminated functions text (KORVANE_FUNCTIONS_TEXT_SIZE bytes). */
typedef int32_t(KORVANE_CALL* KorvaneGetDeviceInfoFn)(int32_t handle, KorvaneDeviceInfo* info,
                                                      char* functions);

/* Firmware service, in the adapter's own memory. */
typedef int32_t(KORVANE_CALL* KorvaneEraseFirmwareFn)(int32_t handle, uint32_t startAddress,
                                                      uint32_t endAddress);
/* flag: 1 firmware data, 0 the MD5 value written behind it. */
typedef int32_t(KORVANE_CALL* KorvaneWriteFirmwareFn)(int32_t handle, uint32_t address, const uint8_t* data,
                                                      uint32_t count, int32_t flag);
typedef void(KORVANE_CALL* KorvaneJumpToAddressFn)(int32_t handle, uint32_t address);
typedef int32_t(KORVANE_CALL* KorvaneCheckFirmwareMd5Fn)(int32_t handle, uint32_t startAddress,
                                                         uint32_t length);
/* path: NUL-terminated, in the system's 8-bit encoding. */
typedef int32_t(KORVANE_CALL* KorvaneCheckFirmwareFileFn)(const char* path);

/* Raw SPI: one chip-select-framed transfer (send sendCount bytes, then clock in receiveCount). */
typedef int32_t(KORVANE_CALL* KorvaneSpiWriteBytesFn)(int32_t handle, int32_t selector, const uint8_t* data,
                                                      int32_t count);
typedef int32_t(KORVANE_CALL* KorvaneSpiWriteReadBytesFn)(int32_t handle, int32_t selector,
                                                          const uint8_t* sendData, int32_t sendCount,
                                                          uint8_t* receiveData, int32_t receiveCount,
                                                          int32_t flag);

/* SPI NOR flash access, configured per handle and selector by flashInit. */
typedef int32_t(KORVANE_CALL* KorvaneFlashInitFn)(int32_t handle, int32_t selector, uint32_t clockHz,
                                                  const KorvaneSpiFlashConfig* config);
/* buffer: 16 bytes; receives IDLength bytes of the chip's ID. */
typedef int32_t(KORVANE_CALL* KorvaneFlashReadIdFn)(int32_t handle, int32_t selector, uint8_t* buffer);
typedef int32_t(KORVANE_CALL* KorvaneFlashEraseSectorsFn)(int32_t handle, int32_t selector,
                                                          uint32_t firstSector, uint32_t count);
/* count: at most KORVANE_MAX_FLASH_TRANSFER bytes, at any address. */
typedef int32_t(KORVANE_CALL* KorvaneFlashWriteFn)(int32_t handle, int32_t selector, uint32_t address,
                                                   const uint8_t* data, uint32_t count);
typedef int32_t(KORVANE_CALL* KorvaneFlashReadFn)(int32_t handle, int32_t selector, uint32_t address,
                                                  uint8_t* buffer, uint32_t count);

#ifdef KORVANE_DECLARE_ADAPTER_FUNCTIONS
/* For the library's own sources: the exports with their names and types checked. */
KORVANE_EXPORT int32_t KORVANE_CALL scanDevices(int32_t* devices);
KORVANE_EXPORT int32_t KORVANE_CALL openDevice(int32_t handle);
KORVANE_EXPORT void KORVANE_CALL closeDevice(int32_t handle);
KORVANE_EXPORT int32_t KORVANE_CALL getDeviceInfo(int32_t handle, KorvaneDeviceInfo* info, char* functions);
KORVANE_EXPORT int32_t KORVANE_CALL eraseFirmware(int32_t handle, uint32_t startAddress, uint32_t endAddress);
KORVANE_EXPORT int32_t KORVANE_CALL writeFirmware(int32_t handle, uint32_t address, const uint8_t* data,
                                                  uint32_t count, int32_t flag);
KORVANE_EXPORT void KORVANE_CALL jumpToAddress(int32_t handle, uint32_t address);
KORVANE_EXPORT int32_t KORVANE_CALL checkFirmwareMd5(int32_t handle, uint32_t startAddress, uint32_t length);
KORVANE_EXPORT int32_t KORVANE_CALL checkFirmwareFile(const char* path);
KORVANE_EXPORT int32_t KORVANE_CALL spiWriteBytes(int32_t handle, int32_t selector, const uint8_t* data,
                                                  int32_t count);
KORVANE_EXPORT int32_t KORVANE_CALL spiWriteReadBytes(int32_t handle, int32_t selector,
                                                      const uint8_t* sendData, int32_t sendCount,
                                                      uint8_t* receiveData, int32_t receiveCount,
                                                      int32_t flag);
KORVANE_EXPORT int32_t KORVANE_CALL flashInit(int32_t handle, int32_t selector, uint32_t clockHz,
                                              const KorvaneSpiFlashConfig* config);
KORVANE_EXPORT int32_t KORVANE_CALL flashReadId(int32_t handle, int32_t selector, uint8_t* buffer);
KORVANE_EXPORT int32_t KORVANE_CALL flashEraseSectors(int32_t handle, int32_t selector, uint32_t firstSector,
                                                      uint32_t count);
KORVANE_EXPORT int32_t KORVANE_CALL flashWrite(int32_t handle, int32_t selector, uint32_t address,
                                               const uint8_t* data, uint32_t count);
KORVANE_EXPORT int32_t KORVANE_CALL flashRead(int32_t handle, int32_t selector, uint32_t address,
                                              uint8_t* buffer, uint32_t count);
#endif

#ifdef __cplusplus
}
#endif

#endif /* KORVANE_ADAPTERPLUGIN_H */
