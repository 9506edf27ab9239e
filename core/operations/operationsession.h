#pragma once

#include "core/chip/sfdp.h"
#include "core/operations/flashoperations.h"
#include "core/operations/smartwrite.h"
#include "core/spinor/statuslayout.h"

#include <cstdint>
#include <vector>

namespace korvane {

class AdapterLibrary;
class Clock;

// The decisions an operation leaves to its user, asked through the front end: the window shows a
// question, the command line answers from its options (and says why when the answer is no).
class SessionQuestions
{
public:
    enum class ProtectionAnswer
    {
        Clear, // clear the protection, then go on
        GoOn,  // go on as it is: the chip leaves the protected part as it is
        Stop,
    };

    virtual ~SessionQuestions() = default;
    // The chip's ID differs from the record's.
    virtual bool acceptOtherId(const std::uint8_t* id, int length) = 0;
    // The chip's SFDP table gives another size than the record.
    virtual bool acceptOtherSize(std::uint64_t recordSize, std::uint64_t sfdpSize) = 0;
    // Block protection covers part of what is to change.
    virtual ProtectionAnswer protectedRange(const StatusLayout& layout, const Protection& protection) = 0;
    // Blocks locked one by one (WPS) may cover it, which clearing the protect bits does not undo.
    virtual bool acceptBlockLocks(const StatusLayout& layout, const Protection& protection) = 0;
    // The adapter cannot read the status register: protection was not checked.
    virtual void protectionUnknown() {}
};

// One operation on one chip, from opening the adapter to the result: the opening steps, the ID
// check, the SFDP size check, and before a change the protection check (and clearing, where the
// user agrees), then the operation itself. Both front ends run the same session and only render
// its questions and results; a question answered no ends it with OperationStatus::Declined, after
// which the front end says nothing more (the answer said it).
class OperationSession
{
public:
    OperationSession(AdapterLibrary& adapter, Clock& clock, SessionQuestions& questions,
                     const FlashTarget& target);

    // The opening steps for operation (4-byte mode as its address field asks), the ID compared
    // with the record's, then the chip's SFDP table read, where it has one, and its size compared
    // with the record's.
    OperationResult open(FlashOperation operation);

    // Before a change to [start, end): reads the status registers that hold the protect bits and,
    // where protection covers part of the range, asks; clears it when told to. Nothing to change,
    // nothing to check.
    OperationResult prepareChange(std::uint64_t start, std::uint64_t end);

    const FlashTarget& target() const { return flash; }
    AdapterLibrary& adapter() const { return library; }
    Clock& clock() const { return time; }
    const std::uint8_t* id() const { return chipId; }
    // The SFDP table read at open, or null when the chip has none (or it could not be read).
    const SfdpInfo* sfdp() const { return hasSfdp ? &sfdpInfo : nullptr; }
    // The chip's size as the record gives it.
    std::uint64_t chipBytes() const;
    // The erase sizes to work in: SFDP's, else the record's sector.
    std::vector<EraseSize> eraseSizes() const;

    // --- the operations, on a session that opened
    OperationResult read(std::uint32_t start, std::uint8_t* out, std::uint32_t length,
                         OperationProgress& progress, bool twice = false);
    // Programs the segments (no erase first). With readBack, reads them back afterwards and
    // compares: VerifyMismatch when the chip did not take them. Progress counts the bytes written,
    // then (with readBack) read.
    OperationResult write(const std::vector<WriteSegment>& segments, OperationProgress& progress,
                          bool readBack);
    OperationResult verify(const std::vector<WriteSegment>& segments, OperationProgress& progress);
    OperationResult eraseChip(OperationProgress& progress);
    OperationResult eraseSectors(std::uint32_t first, std::uint32_t count, OperationProgress& progress);
    // Erases [start, end), both on the smallest erase size, with the largest erase blocks that fit.
    OperationResult eraseRange(std::uint64_t start, std::uint64_t end, OperationProgress& progress,
                               std::uint64_t* erasedBytes = nullptr);
    OperationResult smartWrite(const std::vector<WriteSegment>& segments, OperationProgress& progress,
                               SmartWriteReport* report);
    OperationResult blankCheck(std::uint32_t start, std::uint32_t length, OperationProgress& progress);

private:
    AdapterLibrary& library;
    Clock& time;
    SessionQuestions& questions;
    FlashTarget flash;
    std::uint8_t chipId[kIdBufferSize] = {};
    SfdpInfo sfdpInfo;
    bool hasSfdp = false;
};

// Bytes in all segments.
std::uint64_t segmentBytes(const std::vector<WriteSegment>& segments);

} // namespace korvane
