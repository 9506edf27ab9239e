#include "gui/erasechip.h"

#include "core/operations/flashoperations.h"
#include "gui/chipsafety.h"
#include "gui/operationframe.h"

#include <algorithm>

namespace {

const char kTimeoutText[] = "擦除数据超时！";

} // namespace

bool eraseChip(const OperationContext& context)
{
    OperationFrame frame(context, FlashOperation::EraseChip);
    if (!frame.open())
        return false;
    if (!confirmChange(frame, 0, std::uint64_t(std::max(chipSize(context.chip), 1))))
        return false;
    frame.startProgress(0);
    const OperationResult erased =
        eraseChip(context.adapter, frame.target(), context.clock, frame.progressSink());
    if (erased.status == OperationStatus::Timeout) {
        frame.fail(QString::fromUtf8(kTimeoutText));
        return false;
    }
    // A failed status read, write enable or erase instruction is a failed erase.
    if (!erased.ok()) {
        frame.fail();
        return false;
    }
    frame.succeed();
    return true;
}
