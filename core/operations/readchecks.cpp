#include "core/operations/readchecks.h"

#include "core/adapter/adapterlibrary.h"
#include "core/adapter/adapterresult.h"

#include <algorithm>
#include <cstring>

namespace korvane {

namespace {

constexpr std::uint32_t kBlock = kMaxFlashTransfer;

OperationResult readFailed(int code, std::uint64_t address)
{
    return operationFailure(code == AdapterErrorTimeout ? OperationStatus::Timeout
                                                        : OperationStatus::TransferFailed,
                            code, address);
}

} // namespace

OperationResult readFlashTwice(AdapterLibrary& adapter, const FlashTarget& target, std::uint32_t start,
                               std::uint8_t* out, std::uint32_t length, OperationProgress& progress)
{
    const OperationResult first = readFlash(adapter, target, start, out, length, progress);
    if (!first.ok())
        return first;
    // The second read is compared as it comes: expected is the first.
    OffsetProgress secondPass(progress, length);
    OperationResult second = verifyFlash(adapter, target, start, out, length, secondPass);
    if (second.status == OperationStatus::VerifyMismatch)
        second.status = OperationStatus::ReadMismatch;
    return second;
}

OperationResult blankCheck(AdapterLibrary& adapter, const FlashTarget& target, std::uint32_t start,
                           std::uint32_t length, OperationProgress& progress)
{
    std::uint8_t block[kBlock];
    std::uint8_t blank[kBlock];
    std::memset(blank, 0xFF, sizeof blank);
    std::uint64_t notBlank = 0;
    std::uint64_t firstAddress = 0;
    for (std::uint32_t done = 0; done < length;) {
        const std::uint32_t count = std::min(kBlock, length - done);
        if (const int code =
                adapter.flashRead(target.deviceIndex, target.selector, start + done, block, count))
            return readFailed(code, std::uint64_t(start) + done);
        std::uint32_t first = 0;
        const std::uint64_t found = countDifferentBytes(block, blank, count, &first);
        if (found != 0 && notBlank == 0)
            firstAddress = std::uint64_t(start) + done + first;
        notBlank += found;
        done += count;
        progress.advanced(done);
    }
    if (notBlank != 0)
        return OperationResult{OperationStatus::NotBlank, 0, firstAddress, notBlank};
    return OperationResult{};
}

} // namespace korvane
