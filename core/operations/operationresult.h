#pragma once

#include <QString>

#include <cstdint>

namespace korvane {

// How an operation ended. Each failure names its own step, so that, say, a chip that stayed busy
// is never reported as a failed transfer.
enum class OperationStatus
{
    Ok,
    NoAdapter,         // the device index is not below the number of adapters found
    OpenFailed,        // the adapter could not be opened
    ConfigureFailed,   // flashInit refused the chip record, chip select or clock
    Enter4ByteFailed,  // the instruction that enters 4-byte addressing failed
    ReadIdFailed,      // the chip's ID could not be read
    IdMismatch,        // the chip's ID differs from the record's
    NoChipAnswered,    // the ID reads all FF or all 00: nothing drove the data line (address: the
                       // ID's length in bytes, count: the byte it reads as)
    NothingToRead,     // the start address is at or past the chip's end
    NoData,            // nothing to write or to verify against
    BeyondChip,        // the data runs past the chip's end
    TransferFailed,    // a read, write or erase call failed (adapterCode says how)
    Timeout,           // the chip stayed busy past the bound
    VerifyMismatch,    // bytes differ (count of them, first address)
    OutOfMemory,       // a buffer could not be allocated
    NoFirmwareUpgrade, // the adapter's firmware cannot be replaced
    FirmwareFileUnreadable,
    FirmwareInfoFailed, // getDeviceInfo failed, or the adapter never reported its upgrade code
    FirmwareFileRejected,
    FirmwareEraseFailed,
    FirmwareWriteFailed,
    FirmwareMd5WriteFailed,
    FirmwareMd5Mismatch,
    StatusReadFailed,     // a status register could not be read
    StatusWriteFailed,    // a status register did not take its value (address: register index,
                          // count: the value written x 256 + the value read back)
    StatusWriteProtected, // the status registers are locked by SRP with /WP held low
    StatusLocked,         // the status registers are locked until power-down (SRL)
    Protected,            // block protection covers part of the range
    NotBlank,             // bytes are not erased (count of them, first address)
    ReadMismatch,         // two reads of the same range differ (count of bytes, first address)
    NoSfdp,               // the chip answers no SFDP signature
    SfdpUnusable,         // its SFDP tables cannot be used
    NoEraseSize,          // no erase size to work in: neither SFDP nor the record gives one
    Declined,             // the user answered no to a question (the answer said why)
    NotAligned,           // a range that does not start and end on an erase block (address: its
                          // start, count: its length)
};

struct OperationResult
{
    OperationStatus status = OperationStatus::Ok;
    int adapterCode = 0;       // the failing adapter call's result, where one failed
    std::uint64_t address = 0; // where the failing block started, or the first differing byte
    std::uint64_t count = 0;   // differing bytes (VerifyMismatch)

    bool ok() const { return status == OperationStatus::Ok; }
};

// Two values a status write result carries in count: what was written and what was read back.
inline std::uint64_t statusWriteValues(std::uint8_t written, std::uint8_t readBack)
{
    return std::uint64_t(written) << 8 | readBack;
}

inline OperationResult operationFailure(OperationStatus status, int adapterCode = 0,
                                        std::uint64_t address = 0)
{
    return OperationResult{status, adapterCode, address, 0};
}

// NoChipAnswered for an ID of length bytes that says nothing answered (see noChipAnswered).
OperationResult noChipAnsweredResult(const std::uint8_t* id, int length);

// One line of plain English for a result, with the adapter's own reason where there is one
// ("read failed at 0x010000: the chip stayed busy too long").
QString operationResultText(const OperationResult& result);

} // namespace korvane
