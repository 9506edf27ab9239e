#include "core/operations/operationsession.h"

#include "core/adapter/adapterlibrary.h"
#include "core/adapter/adapterresult.h"
#include "core/operations/readchecks.h"
#include "core/operations/sfdpoperations.h"
#include "core/operations/statusoperations.h"
#include "core/spinor/librarytransport.h"
#include "core/spinor/spinorengine.h"

#include <algorithm>

namespace korvane {

namespace {

OperationResult declined()
{
    return operationFailure(OperationStatus::Declined);
}

OperationResult callFailed(int code, std::uint64_t address)
{
    return operationFailure(code == AdapterErrorTimeout ? OperationStatus::Timeout
                                                        : OperationStatus::TransferFailed,
                            code, address);
}

} // namespace

std::uint64_t segmentBytes(const std::vector<WriteSegment>& segments)
{
    std::uint64_t total = 0;
    for (const WriteSegment& segment : segments)
        total += segment.length;
    return total;
}

OperationSession::OperationSession(AdapterLibrary& adapter, Clock& clock, SessionQuestions& questions,
                                   const FlashTarget& target)
    : library(adapter), time(clock), questions(questions), flash(target)
{
}

std::uint64_t OperationSession::chipBytes() const
{
    return std::uint64_t(std::max<std::int64_t>(std::int64_t{flash.chip.Config.PageSize} *
                                                     flash.chip.Config.NumPages,
                                                 0));
}

std::vector<EraseSize> OperationSession::eraseSizes() const
{
    return smartWriteEraseSizes(flash.chip, sfdp());
}

OperationResult OperationSession::open(FlashOperation operation)
{
    hasSfdp = false;
    const OperationResult opened =
        openFlash(library, flash, addressBytesFor(operation, flash.chip.Config), chipId);
    if (!opened.ok())
        return opened;
    if (!idMatches(flash.chip, chipId)) {
        const int length = std::clamp<int>(flash.chip.Config.IDLength, 3, kIdBufferSize);
        if (!questions.acceptOtherId(chipId, length))
            return declined();
    }
    // The record's size against the chip's own word for it: a record of 4 MiB on a 2 MiB chip
    // would read the lower half twice and call it the chip. An adapter without raw transfers, or a
    // chip without SFDP, cannot say.
    hasSfdp = readSfdp(library, flash.deviceIndex, flash.selector, &sfdpInfo).ok();
    if (hasSfdp && sfdpInfo.sizeBytes != chipBytes() && !questions.acceptOtherSize(chipBytes(), sfdpInfo.sizeBytes))
        return declined();
    return OperationResult{};
}

OperationResult OperationSession::prepareChange(std::uint64_t start, std::uint64_t end)
{
    if (start >= end)
        return OperationResult{};
    const StatusLayout layout = statusLayoutForChip(flash.chip, sfdp());
    StatusRegisters registers;
    const OperationResult read = readProtection(library, flash, layout, &registers);
    // An adapter without raw transfers cannot tell; it goes on as it always did.
    if (read.adapterCode == AdapterErrorUnsupported) {
        questions.protectionUnknown();
        return OperationResult{};
    }
    if (!read.ok())
        return read;
    const Protection protection = registers.protection(chipBytes());
    if (!protection.overlaps(start, end))
        return OperationResult{};
    if (protection.individualLocks)
        return questions.acceptBlockLocks(layout, protection) ? OperationResult{} : declined();
    switch (questions.protectedRange(layout, protection)) {
    case SessionQuestions::ProtectionAnswer::GoOn:
        return OperationResult{};
    case SessionQuestions::ProtectionAnswer::Stop:
        return declined();
    case SessionQuestions::ProtectionAnswer::Clear:
        break;
    }
    StatusRegisters after;
    return clearProtection(library, flash, time, registers, &after);
}

OperationResult OperationSession::read(std::uint32_t start, std::uint8_t* out, std::uint32_t length,
                                       OperationProgress& progress, bool twice)
{
    return twice ? readFlashTwice(library, flash, start, out, length, progress)
                 : readFlash(library, flash, start, out, length, progress);
}

OperationResult OperationSession::write(const std::vector<WriteSegment>& segments, OperationProgress& progress,
                                        bool readBack)
{
    std::int64_t done = 0;
    for (const WriteSegment& segment : segments) {
        OffsetProgress part(progress, done);
        const OperationResult written =
            writeFlash(library, flash, segment.start, segment.data, segment.length, part);
        if (!written.ok())
            return written;
        done += segment.length;
    }
    if (!readBack)
        return OperationResult{};
    // What the chip took, not what was sent: a program the chip ignored shows only here.
    OffsetProgress checking(progress, done);
    return verify(segments, checking);
}

OperationResult OperationSession::verify(const std::vector<WriteSegment>& segments, OperationProgress& progress)
{
    std::int64_t done = 0;
    OperationResult summary;
    for (const WriteSegment& segment : segments) {
        OffsetProgress part(progress, done);
        const OperationResult checked =
            verifyFlash(library, flash, segment.start, segment.data, segment.length, part);
        if (checked.status == OperationStatus::VerifyMismatch) {
            if (summary.ok())
                summary = checked;
            else
                summary.count += checked.count;
        } else if (!checked.ok()) {
            return checked;
        }
        done += segment.length;
    }
    return summary;
}

OperationResult OperationSession::eraseChip(OperationProgress& progress)
{
    LibraryTransport transport(library, flash.deviceIndex, flash.selector);
    SpiNorEngine engine(time);
    // The bound grows with the size: the larger of the record's and the chip's own word.
    const std::uint64_t size = std::max<std::uint64_t>(chipBytes(), hasSfdp ? sfdpInfo.sizeBytes : 0);
    const int code = engine.eraseChip(transport, flash.chip.Config, size, [&progress] { progress.waiting(); });
    if (code == AdapterErrorTimeout)
        return operationFailure(OperationStatus::Timeout);
    return code == AdapterOk ? OperationResult{} : operationFailure(OperationStatus::TransferFailed, code);
}

OperationResult OperationSession::eraseSectors(std::uint32_t first, std::uint32_t count,
                                               OperationProgress& progress)
{
    return korvane::eraseSectors(library, flash, first, count, progress);
}

OperationResult OperationSession::eraseRange(std::uint64_t start, std::uint64_t end, OperationProgress& progress,
                                             std::uint64_t* erasedBytes)
{
    if (erasedBytes != nullptr)
        *erasedBytes = 0;
    const std::vector<EraseSize> sizes = eraseSizes();
    if (sizes.empty())
        return operationFailure(OperationStatus::NoEraseSize);
    if (start >= end || end > chipBytes())
        return operationFailure(OperationStatus::BeyondChip);
    const std::uint64_t unit = sizes.front().size;
    if (start % unit != 0 || end % unit != 0) {
        OperationResult refused = operationFailure(OperationStatus::NotAligned, 0, start);
        refused.count = end - start;
        return refused;
    }
    LibraryTransport transport(library, flash.deviceIndex, flash.selector);
    SpiNorEngine engine(time);
    const SpiNorWaitHook hook = [&progress] { progress.waiting(); };
    for (std::uint64_t at = start; at < end;) {
        // The largest block that starts here and ends within the range.
        EraseSize chosen = sizes.front();
        for (auto size = sizes.rbegin(); size != sizes.rend(); ++size) {
            if (at % size->size == 0 && at + size->size <= end) {
                chosen = *size;
                break;
            }
        }
        if (const int code = engine.eraseBlock(transport, flash.chip.Config, chosen.opcode, chosen.size,
                                               static_cast<std::uint32_t>(at), hook))
            return callFailed(code, at);
        at += chosen.size;
        if (erasedBytes != nullptr)
            *erasedBytes = at - start;
        progress.advanced(std::int64_t(at - start));
    }
    return OperationResult{};
}

OperationResult OperationSession::smartWrite(const std::vector<WriteSegment>& segments,
                                             OperationProgress& progress, SmartWriteReport* report)
{
    return korvane::smartWrite(library, flash, time, eraseSizes(), segments, progress, report);
}

OperationResult OperationSession::blankCheck(std::uint32_t start, std::uint32_t length, OperationProgress& progress)
{
    return korvane::blankCheck(library, flash, start, length, progress);
}

} // namespace korvane
