#include "gui/blankcheck.h"

#include "core/operations/readchecks.h"
#include "gui/operationframe.h"

#include <QCoreApplication>

namespace korvane {

namespace {

// A text of this file in the window's language.
QString translated(const char* text)
{
    return QCoreApplication::translate("BlankCheck", text);
}

const char kNotBlankText[] =
    QT_TRANSLATE_NOOP("BlankCheck", "芯片不为空！\n有%1字节不是0xFF，第一个在地址0x%2。");

} // namespace

bool checkChipBlank(const OperationContext& context)
{
    OperationFrame frame(context, FlashOperation::Read, blankCheckTexts());
    if (!frame.open())
        return false;
    const std::int64_t size = chipSize(context.chip);
    // A corrupt record's size is no range to read.
    if (size <= 0) {
        frame.warn(operationText(frame.texts().failureText));
        return false;
    }
    frame.startProgress(static_cast<int>(size));
    const OperationResult checked =
        frame.session().blankCheck(0, static_cast<std::uint32_t>(size), frame.progressSink());
    if (checked.status == OperationStatus::NotBlank) {
        frame.fail(translated(kNotBlankText)
                       .arg(checked.count)
                       .arg(QStringLiteral("%1").arg(checked.address, 6, 16, QLatin1Char('0')).toUpper()));
        return false;
    }
    if (!checked.ok()) {
        frame.fail(checked);
        return false;
    }
    frame.succeed();
    return true;
}

} // namespace korvane
