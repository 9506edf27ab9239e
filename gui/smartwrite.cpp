#include "gui/smartwrite.h"

#include "core/operations/smartwrite.h"
#include "gui/operationframe.h"
#include "gui/readwriteverify.h"
#include "gui/userinteraction.h"

#include <QByteArray>
#include <QCoreApplication>

namespace korvane {

namespace {

// A text of this file in the window's language.
QString translated(const char* text)
{
    return QCoreApplication::translate("SmartWrite", text);
}

const char kInformationTitle[] = QT_TRANSLATE_NOOP("SmartWrite", "消息");
const char kNoEraseSizeText[] =
    QT_TRANSLATE_NOOP("SmartWrite", "芯片没有SFDP参数表，型号的扇区大小也不可用，无法智能写入！");
const char kMismatchText[] =
    QT_TRANSLATE_NOOP("SmartWrite", "智能写入后校验失败：有%1字节和写入数据不同，第一个在地址0x%2。\n"
                                    "受写保护的区域不会被改变。");
const char kDamagedText[] =
    QT_TRANSLATE_NOOP("SmartWrite", "\n地址0x%1 - 0x%2已被擦除或只写入了一部分，请再次智能写入。");
const char kReportText[] =
    QT_TRANSLATE_NOOP("SmartWrite", "智能写入成功！\n擦除%1块（%2），写入%3页，%4字节已与数据相同。");

QString hex6(std::uint64_t value)
{
    return QStringLiteral("%1").arg(value, 6, 16, QLatin1Char('0')).toUpper();
}

} // namespace

bool smartWriteBuffer(const OperationContext& context)
{
    OperationFrame frame(context, FlashOperation::Write, smartWriteTexts());
    if (!frame.open())
        return false;
    QByteArray source;
    if (!bufferToWrite(context, frame, &source))
        return false;
    const auto start = static_cast<std::uint32_t>(context.startAddress);
    const auto length = static_cast<std::uint32_t>(source.size());
    std::uint64_t from = 0;
    std::uint64_t to = 0;
    if (!smartWriteExtent(frame.session().eraseSizes(), frame.session().chipBytes(), start, length, &from, &to)) {
        frame.warn(translated(kNoEraseSizeText));
        return false;
    }
    if (!frame.prepareChange(from, to))
        return false;
    frame.startProgress(static_cast<int>(kSmartWriteProgressTotal));

    SmartWriteReport report;
    const WriteSegment whole{start, reinterpret_cast<const std::uint8_t*>(source.constData()), length};
    const OperationResult written = frame.session().smartWrite({whole}, frame.progressSink(), &report);
    const QString damaged = report.damaged() ? translated(kDamagedText).arg(hex6(report.damagedFrom),
                                                                            hex6(report.damagedTo - 1))
                                             : QString();
    if (written.status == OperationStatus::VerifyMismatch) {
        frame.fail(translated(kMismatchText).arg(written.count).arg(hex6(written.address)) + damaged);
        return false;
    }
    if (!written.ok()) {
        frame.fail(operationText(frame.texts().failureText) + failureReason(written) + damaged);
        return false;
    }
    frame.closeProgress();
    frame.stopTimer();
    const QString text = translated(kReportText)
                             .arg(report.blocksErased)
                             .arg(chipSizeText(report.bytesErased))
                             .arg(report.pagesProgrammed)
                             .arg(report.bytesUnchanged) +
                         elapsedTimeSuffix(frame.elapsedSeconds());
    context.ui.information(context.window, translated(kInformationTitle), text);
    return true;
}

} // namespace korvane
