#include "gui/erasechip.h"

#include "core/operations/flashoperations.h"
#include "gui/operationframe.h"

#include <QCoreApplication>

#include <algorithm>

namespace korvane {

namespace {

// A text of this file in the window's language.
QString translated(const char* text)
{
    return QCoreApplication::translate("EraseChip", text);
}

const char kTimeoutText[] = QT_TRANSLATE_NOOP("EraseChip", "擦除数据超时！");

} // namespace

bool eraseWholeChip(const OperationContext& context)
{
    OperationFrame frame(context, FlashOperation::EraseChip);
    if (!frame.open())
        return false;
    if (!frame.prepareChange(0, std::max<std::uint64_t>(frame.session().chipBytes(), 1)))
        return false;
    frame.startProgress(0);
    const OperationResult erased = frame.session().eraseChip(frame.progressSink());
    if (erased.status == OperationStatus::Timeout) {
        frame.fail(translated(kTimeoutText));
        return false;
    }
    // A failed status read, write enable or erase instruction is a failed erase.
    if (!erased.ok()) {
        frame.fail(erased);
        return false;
    }
    frame.succeed();
    return true;
}

} // namespace korvane
