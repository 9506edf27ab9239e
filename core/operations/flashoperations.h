#pragma once

#include "core/chip/chipinfo.h"
#include "core/operations/operationresult.h"

#include <cstdint>

namespace korvane {

class AdapterLibrary;
class Clock;

// Which chip on which adapter: what every flash operation starts from.
struct FlashTarget
{
    int deviceIndex = 0;
    int selector = 0;          // one of kSpiSelectors: SPI port and chip select
    std::uint32_t clockHz = 0; // asked of flashInit
    CHIP_INFO chip{};          // its configuration goes to flashInit
};

// The SPI selector codes of the port rows SPI1-CS0 ... SPI2-CS4.
int spiSelectorForRow(int row);
// 50 MHz halved once per speed row (50, 25, 12.5, 6.25, 3.125 MHz).
std::uint32_t spiClockForRow(int row);

enum class FlashOperation
{
    Read,
    Write,
    Verify,
    EraseChip,
    EraseSectors
};

// The record's address-byte count that decides whether an operation first switches the chip to
// 4-byte addressing (more than 3); 0 for an operation that never does.
std::uint8_t addressBytesFor(FlashOperation operation, const SPIFlashConfig& config);

// Told how far an operation has come; a front end shows it and keeps itself responsive.
class OperationProgress
{
public:
    virtual ~OperationProgress() = default;
    // After each unit of work (a block of bytes, a sector): the units done so far.
    virtual void advanced(std::int64_t done) { (void)done; }
    // Between status polls while the chip works on its own.
    virtual void waiting() {}
};

// The progress of a part of the work that starts after offset units done before it.
class OffsetProgress : public OperationProgress
{
public:
    OffsetProgress(OperationProgress& inner, std::int64_t offset) : inner(inner), offset(offset) {}
    void advanced(std::int64_t done) override { inner.advanced(offset + done); }
    void waiting() override { inner.waiting(); }

private:
    OperationProgress& inner;
    std::int64_t offset;
};

constexpr int kIdBufferSize = 16;

// The opening steps of every flash operation: finds and opens the adapter, configures it with the
// target's record and clock, enters 4-byte addressing when addressBytes is above 3, and reads the
// chip's ID into id. An ID that differs from the record's is not a failure here (see idMatches),
// unless it says that no chip answered at all (noChipAnswered, and the status register reads the
// same, where the adapter has raw transfers: a busy chip answers that): NoChipAnswered, for there
// is nothing to go on with.
OperationResult openFlash(AdapterLibrary& adapter, const FlashTarget& target, std::uint8_t addressBytes,
                          std::uint8_t (&id)[kIdBufferSize]);
// Whether the ID read matches the record's (its IDLength bytes, at most 16).
bool idMatches(const CHIP_INFO& chip, const std::uint8_t (&id)[kIdBufferSize]);
// Whether an ID of length bytes (at least one) says that nothing answered: every byte 0xFF (the
// data line floats high: no chip, no supply, the wrong chip select or wiring) or every byte 0x00
// (it is held low). Neither is a maker's ID.
bool noChipAnswered(const std::uint8_t* id, int length);

// The operations proper, on an adapter the opening steps have prepared. They work in blocks of
// kMaxFlashTransfer bytes (sectors for the sector erase) and report each to progress.
OperationResult readFlash(AdapterLibrary& adapter, const FlashTarget& target, std::uint32_t start,
                          std::uint8_t* out, std::uint32_t length, OperationProgress& progress);
OperationResult writeFlash(AdapterLibrary& adapter, const FlashTarget& target, std::uint32_t start,
                           const std::uint8_t* data, std::uint32_t length, OperationProgress& progress);
// VerifyMismatch with the number of differing bytes and the first one's address.
OperationResult verifyFlash(AdapterLibrary& adapter, const FlashTarget& target, std::uint32_t start,
                            const std::uint8_t* expected, std::uint32_t length, OperationProgress& progress);
OperationResult eraseSectors(AdapterLibrary& adapter, const FlashTarget& target, std::uint32_t firstSector,
                             std::uint32_t count, OperationProgress& progress);

// Erase chip through raw transfers, polling the status register with 10 ms between reads: first
// until the chip is ready, then write enable and the chip erase instruction, then until the erase
// is over, within a bound that grows with the chip's size (SpiNorEngine::eraseChip).
OperationResult eraseChip(AdapterLibrary& adapter, const FlashTarget& target, Clock& clock,
                          OperationProgress& progress);

// How many of count bytes differ between a and b; where any does, *first receives the offset of
// the first.
std::uint64_t countDifferentBytes(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t count,
                                  std::uint32_t* first);

// The chip's sector count: its size over SectorSize, rounded up; 1 when either is not positive.
int chipSectorCount(const CHIP_INFO& chip);

// Chip detection reads the ID with a fixed configuration of its own, slowly.
constexpr std::uint32_t kDetectClockHz = 390625;
SPIFlashConfig detectionConfig();
// The opening steps with the detection configuration: the chip's ID in id; NoChipAnswered (with
// the ID in id all the same) when it says nothing answered.
OperationResult readChipId(AdapterLibrary& adapter, int deviceIndex, int selector,
                           std::uint8_t (&id)[kIdBufferSize]);

} // namespace korvane
