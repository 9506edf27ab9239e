#include "core/operations/flashoperations.h"

#include "core/adapter/adapterlibrary.h"
#include "core/adapter/adapterresult.h"
#include "core/base/clock.h"
#include "core/spinor/librarytransport.h"
#include "core/spinor/spinor.h"
#include "core/spinor/spinorengine.h"

#include <algorithm>
#include <cstring>

namespace korvane {

namespace {

constexpr std::uint32_t kBlock = kMaxFlashTransfer;

// A failed flash call: a chip that stayed busy is a time-out, anything else a failed transfer.
OperationResult callFailed(int code, std::uint64_t address)
{
    return operationFailure(code == AdapterErrorTimeout ? OperationStatus::Timeout
                                                        : OperationStatus::TransferFailed,
                            code, address);
}

// Whether nothing answered the ID instruction: the ID says so and the status register reads the
// same. A chip still busy with a program or an erase (one cut off by a pulled cable) ignores the
// ID instruction as well, but it answers its status register.
bool nothingAnswered(AdapterLibrary& adapter, const FlashTarget& target, const std::uint8_t* id, int length)
{
    if (!noChipAnswered(id, length))
        return false;
    std::uint8_t status = id[0];
    if (adapter.spiWriteReadBytes(target.deviceIndex, target.selector, &target.chip.Config.ReadStatus, 1,
                                  &status, 1, 0) != AdapterOk)
        return true; // an adapter without raw transfers: the ID alone tells
    return status == id[0];
}

} // namespace

std::uint64_t countDifferentBytes(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t count,
                                  std::uint32_t* first)
{
    // Matching blocks are the rule: let memcmp settle them.
    if (std::memcmp(a, b, count) == 0)
        return 0;
    constexpr std::uint64_t kLowBits = 0x0101010101010101ull;
    std::uint64_t differences = 0;
    std::uint32_t i = 0;
    *first = count;
    for (; i + 8 <= count; i += 8) {
        std::uint64_t x;
        std::uint64_t y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        std::uint64_t d = x ^ y;
        if (d != 0) {
            if (*first == count) {
                std::uint32_t k = i;
                while (a[k] == b[k])
                    ++k;
                *first = k;
            }
            // Fold every differing byte into its lowest bit, then add the eight bits up.
            d |= d >> 4;
            d |= d >> 2;
            d |= d >> 1;
            differences += ((d & kLowBits) * kLowBits) >> 56;
        }
    }
    for (; i < count; ++i) {
        if (a[i] != b[i]) {
            *first = std::min(*first, i);
            ++differences;
        }
    }
    return differences;
}

int spiSelectorForRow(int row)
{
    return kSpiSelectors[std::clamp(row, 0, kSelectorSlots - 1)];
}

std::uint32_t spiClockForRow(int row)
{
    return 50000000u >> std::clamp(row, 0, 4);
}

std::uint8_t addressBytesFor(FlashOperation operation, const SPIFlashConfig& config)
{
    switch (operation) {
    case FlashOperation::Read:
    case FlashOperation::Verify:
        return config.ReadDataAddrBytes;
    case FlashOperation::Write:
        return config.WritePageAddrBytes;
    case FlashOperation::EraseSectors:
        return config.EraseSectorAddrBytes;
    case FlashOperation::EraseChip:
        break;
    }
    return 0;
}

OperationResult openFlash(AdapterLibrary& adapter, const FlashTarget& target, std::uint8_t addressBytes,
                          std::uint8_t (&id)[kIdBufferSize])
{
    const int dev = target.deviceIndex;
    const int sel = target.selector;
    std::memset(id, 0, sizeof id);
    if (!(dev < adapter.scanDevices(nullptr)))
        return operationFailure(OperationStatus::NoAdapter);
    if (!adapter.openDevice(dev))
        return operationFailure(OperationStatus::OpenFailed, adapter.openError(dev));
    if (const int code = adapter.flashInit(dev, sel, target.clockHz, &target.chip.Config))
        return operationFailure(OperationStatus::ConfigureFailed, code);
    if (addressBytes > 3) {
        LibraryTransport transport(adapter, dev, sel);
        if (const int code = SpiNorEngine::enter4ByteMode(transport))
            return operationFailure(OperationStatus::Enter4ByteFailed, code);
    }
    if (const int code = adapter.flashReadId(dev, sel, id))
        return operationFailure(OperationStatus::ReadIdFailed, code);
    const int idLength = std::min<int>(target.chip.Config.IDLength, kIdBufferSize);
    if (!idMatches(target.chip, id) && nothingAnswered(adapter, target, id, idLength))
        return noChipAnsweredResult(id, idLength);
    return OperationResult{};
}

bool noChipAnswered(const std::uint8_t* id, int length)
{
    if (length <= 0 || (id[0] != 0x00 && id[0] != 0xFF))
        return false;
    return std::all_of(id, id + length, [first = id[0]](std::uint8_t byte) { return byte == first; });
}

bool idMatches(const CHIP_INFO& chip, const std::uint8_t (&id)[kIdBufferSize])
{
    // Records are taken as stored: never compare past the 16 bytes the ID buffer holds.
    const int length = std::min<int>(chip.Config.IDLength, kIdBufferSize);
    return std::equal(id, id + length, chip.Config.FlashID);
}

OperationResult readFlash(AdapterLibrary& adapter, const FlashTarget& target, std::uint32_t start,
                          std::uint8_t* out, std::uint32_t length, OperationProgress& progress)
{
    for (std::uint32_t done = 0; done < length;) {
        const std::uint32_t count = std::min(kBlock, length - done);
        if (const int code =
                adapter.flashRead(target.deviceIndex, target.selector, start + done, out + done, count))
            return callFailed(code, std::uint64_t(start) + done);
        done += count;
        progress.advanced(done);
    }
    return OperationResult{};
}

OperationResult writeFlash(AdapterLibrary& adapter, const FlashTarget& target, std::uint32_t start,
                           const std::uint8_t* data, std::uint32_t length, OperationProgress& progress)
{
    for (std::uint32_t done = 0; done < length;) {
        const std::uint32_t count = std::min(kBlock, length - done);
        if (const int code =
                adapter.flashWrite(target.deviceIndex, target.selector, start + done, data + done, count))
            return callFailed(code, std::uint64_t(start) + done);
        done += count;
        progress.advanced(done);
    }
    return OperationResult{};
}

OperationResult verifyFlash(AdapterLibrary& adapter, const FlashTarget& target, std::uint32_t start,
                            const std::uint8_t* expected, std::uint32_t length, OperationProgress& progress)
{
    std::uint8_t block[kBlock];
    std::uint64_t differences = 0;
    std::uint64_t firstDifference = 0;
    for (std::uint32_t done = 0; done < length;) {
        const std::uint32_t count = std::min(kBlock, length - done);
        if (const int code =
                adapter.flashRead(target.deviceIndex, target.selector, start + done, block, count))
            return callFailed(code, std::uint64_t(start) + done);
        std::uint32_t first = 0;
        const std::uint64_t found = countDifferentBytes(block, expected + done, count, &first);
        if (found != 0 && differences == 0)
            firstDifference = std::uint64_t(start) + done + first;
        differences += found;
        done += count;
        progress.advanced(done);
    }
    if (differences != 0)
        return OperationResult{OperationStatus::VerifyMismatch, 0, firstDifference, differences};
    return OperationResult{};
}

OperationResult eraseSectors(AdapterLibrary& adapter, const FlashTarget& target, std::uint32_t firstSector,
                             std::uint32_t count, OperationProgress& progress)
{
    for (std::uint32_t done = 0; done < count; ++done) {
        const std::uint32_t sector = firstSector + done;
        if (const int code = adapter.flashEraseSectors(target.deviceIndex, target.selector, sector, 1))
            return callFailed(code, std::uint64_t(sector) *
                                        std::uint64_t(std::max(target.chip.Config.SectorSize, 0)));
        progress.advanced(done + 1);
    }
    return OperationResult{};
}

OperationResult eraseChip(AdapterLibrary& adapter, const FlashTarget& target, Clock& clock,
                          OperationProgress& progress)
{
    LibraryTransport transport(adapter, target.deviceIndex, target.selector);
    SpiNorEngine engine(clock);
    const int code = engine.eraseChip(transport, target.chip.Config,
                                      std::uint64_t(std::max<std::int64_t>(chipSize(target.chip), 0)),
                                      [&progress] { progress.waiting(); });
    if (code == AdapterErrorTimeout)
        return operationFailure(OperationStatus::Timeout);
    return code == AdapterOk ? OperationResult{} : operationFailure(OperationStatus::TransferFailed, code);
}

int chipSectorCount(const CHIP_INFO& chip)
{
    const std::int64_t sectorSize = chip.Config.SectorSize;
    const std::int64_t size = chipSize(chip);
    if (sectorSize <= 0 || size <= 0)
        return 1;
    return static_cast<int>((size + sectorSize - 1) / sectorSize);
}

SPIFlashConfig detectionConfig()
{
    SPIFlashConfig config;
    std::memset(&config, 0, sizeof config);
    config.ReadID = SpiNor::ReadJedecId;
    config.IDLength = 3;
    config.ReadStatus = SpiNor::ReadStatus1;
    return config;
}

OperationResult readChipId(AdapterLibrary& adapter, int deviceIndex, int selector,
                           std::uint8_t (&id)[kIdBufferSize])
{
    FlashTarget target;
    target.deviceIndex = deviceIndex;
    target.selector = selector;
    target.clockHz = kDetectClockHz;
    target.chip.Config = detectionConfig();
    const OperationResult opened = openFlash(adapter, target, 0, id);
    // No chip has such an ID, a busy one included: there is nothing to look up. (The detection
    // record's ID is all zeros, which openFlash takes an ID of 000000 for a match with.)
    if (opened.ok() && noChipAnswered(id, target.chip.Config.IDLength))
        return noChipAnsweredResult(id, target.chip.Config.IDLength);
    return opened;
}

} // namespace korvane
