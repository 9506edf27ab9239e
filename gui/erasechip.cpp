#include "gui/erasechip.h"

#include "core/operations/flashoperations.h"
#include "gui/operationframe.h"

namespace {

const char kTimeoutText[] = "擦除数据超时！";

} // namespace

bool eraseChip(const OperationContext& context)
{
    OperationFrame frame(context, FlashOperation::EraseChip);
    if (!frame.open())
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
