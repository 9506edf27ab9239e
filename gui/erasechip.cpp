#include "gui/erasechip.h"

#include "core/operations/flashoperations.h"
#include "gui/chipsafety.h"
#include "gui/operationframe.h"

#include <QCoreApplication>

#include <algorithm>

namespace {

// A text of this file in the window's language.
QString translated(const char* text)
{
    return QCoreApplication::translate("EraseChip", text);
}

const char kTimeoutText[] = QT_TRANSLATE_NOOP("EraseChip", "擦除数据超时！");

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
        frame.fail(translated(kTimeoutText));
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
