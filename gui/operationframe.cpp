#include "gui/operationframe.h"
#include "core/adapter/adapterlibrary.h"

#include "core/adapter/adapterresult.h"
#include "core/base/clock.h"
#include "gui/userinteraction.h"

#include <QCoreApplication>

#include <algorithm>

namespace korvane {

namespace {

// A text of this file in the window's language.
QString translated(const char* text)
{
    return QCoreApplication::translate("OperationFrame", text);
}

const char kWarningTitle[] = QT_TRANSLATE_NOOP("OperationFrame", "警告");
const char kInformationTitle[] = QT_TRANSLATE_NOOP("OperationFrame", "消息");
const char kOpenFailedText[] = QT_TRANSLATE_NOOP("OperationFrame", "打开设备失败，设备选择是否正确？");
const char kInitFailedText[] = QT_TRANSLATE_NOOP("OperationFrame", "配置设备失败！");
const char kEn4bFailedText[] = QT_TRANSLATE_NOOP("OperationFrame", "发送EN4B指令失败！");
const char kReadIdFailedText[] = QT_TRANSLATE_NOOP("OperationFrame", "获取芯片ID失败！");
const char kAccessDeniedText[] = QT_TRANSLATE_NOOP(
    "OperationFrame",
    "没有权限打开设备！\n请安装 udev 规则文件 60-korvane-spiflash.rules（见说明文档的 Hardware 一节），"
    "然后重新插拔设备。");
const char kSerialAccessDeniedText[] = QT_TRANSLATE_NOOP(
    "OperationFrame",
    "没有权限打开串口！\n请把用户加入 dialout 组（见说明文档的 Hardware 一节），然后重新登录。");
const char kSpidevAccessDeniedText[] = QT_TRANSLATE_NOOP(
    "OperationFrame",
    "没有权限打开 spidev 设备！\n请把用户加入 spi 组（见说明文档的 Hardware 一节），然后重新登录。");
const char kSerialInUseText[] = QT_TRANSLATE_NOOP(
    "OperationFrame", "串口被其他程序占用！\n请关闭正在使用该串口的程序（如串口终端），然后重试。");
const char kInUseText[] =
    QT_TRANSLATE_NOOP("OperationFrame", "设备被其他程序占用！\n请关闭正在使用该设备的程序，然后重试。");
const char kNoChipText[] =
    QT_TRANSLATE_NOOP("OperationFrame", "没有芯片应答（ID为%1）！\n请检查接线、通道（片选）和芯片供电。");

// Indexed by FlashOperation.
const OperationTexts kOperationTexts[] = {
    {QT_TRANSLATE_NOOP("OperationFrame", "读数据"),
     QT_TRANSLATE_NOOP("OperationFrame", "正在读数据\n速度很快的，请稍等...\n"),
     QT_TRANSLATE_NOOP("OperationFrame", "读数据成功！"), QT_TRANSLATE_NOOP("OperationFrame", "读数据出错！"),
     true},
    {QT_TRANSLATE_NOOP("OperationFrame", "写数据"),
     QT_TRANSLATE_NOOP("OperationFrame", "正在写数据\n速度很快的，请稍等...\n"),
     QT_TRANSLATE_NOOP("OperationFrame", "写数据成功！"), QT_TRANSLATE_NOOP("OperationFrame", "写数据出错！"),
     true},
    {QT_TRANSLATE_NOOP("OperationFrame", "校验数据"),
     QT_TRANSLATE_NOOP("OperationFrame", "正在校验数据\n速度很快的，请稍等...\n"),
     QT_TRANSLATE_NOOP("OperationFrame", "数据校验成功！"),
     QT_TRANSLATE_NOOP("OperationFrame", "校验数据出错！"), true},
    {QT_TRANSLATE_NOOP("OperationFrame", "整片擦除"),
     QT_TRANSLATE_NOOP("OperationFrame", "正在擦除数据\n该过程可能比较耗时，请耐心等待...\n"),
     QT_TRANSLATE_NOOP("OperationFrame", "擦除数据成功！"),
     QT_TRANSLATE_NOOP("OperationFrame", "擦除数据出错！"), true},
    {QT_TRANSLATE_NOOP("OperationFrame", "擦除数据"),
     QT_TRANSLATE_NOOP("OperationFrame", "正在擦除数据\n速度可能较慢，请稍等...\n"),
     QT_TRANSLATE_NOOP("OperationFrame", "擦除扇区成功！"),
     QT_TRANSLATE_NOOP("OperationFrame", "扇区擦除出错！"), false},
};

const OperationTexts kSmartWriteTexts = {
    QT_TRANSLATE_NOOP("OperationFrame", "智能写入"),
    QT_TRANSLATE_NOOP("OperationFrame", "正在智能写入\n只擦写有变化的部分，请稍等...\n"),
    QT_TRANSLATE_NOOP("OperationFrame", "智能写入成功！"),
    QT_TRANSLATE_NOOP("OperationFrame", "智能写入出错！"), true};
const OperationTexts kBlankCheckTexts = {
    QT_TRANSLATE_NOOP("OperationFrame", "查空"),
    QT_TRANSLATE_NOOP("OperationFrame", "正在检查芯片是否为空\n请稍等...\n"),
    QT_TRANSLATE_NOOP("OperationFrame", "芯片为空！"), QT_TRANSLATE_NOOP("OperationFrame", "查空出错！"),
    true};

} // namespace

QString operationText(const char* text)
{
    return translated(text);
}

const OperationTexts& operationTexts(FlashOperation operation)
{
    return kOperationTexts[static_cast<int>(operation)];
}

QString adapterAccessDeniedText(const std::string& backend)
{
    // Serial ports and spidev nodes are opened through group membership, not the udev rules.
    if (backend == "serprog")
        return translated(kSerialAccessDeniedText);
    if (backend == "spidev")
        return translated(kSpidevAccessDeniedText);
    return translated(kAccessDeniedText);
}

bool isAccessDenied(const OperationResult& result)
{
    return result.status == OperationStatus::OpenFailed && result.adapterCode == AdapterErrorAccess;
}

QString adapterRefusedText(const OperationResult& result, const std::string& backend)
{
    if (isAccessDenied(result))
        return adapterAccessDeniedText(backend);
    if (result.status == OperationStatus::OpenFailed && result.adapterCode == AdapterErrorInUse)
        return translated(backend == "serprog" ? kSerialInUseText : kInUseText);
    return QString();
}

QString noChipAnsweredText(const OperationResult& result)
{
    // The ID as the command line shows it; the core's text carries it.
    const int length = static_cast<int>(std::min<std::uint64_t>(result.address, kIdBufferSize));
    return translated(kNoChipText)
        .arg(QString(2 * length, result.count == 0 ? QLatin1Char('0') : QLatin1Char('F')));
}

const OperationTexts& smartWriteTexts()
{
    return kSmartWriteTexts;
}

const OperationTexts& blankCheckTexts()
{
    return kBlankCheckTexts;
}

QString elapsedTimeSuffix(double seconds)
{
    return QCoreApplication::translate("OperationFrame", "\n耗时: %1 秒！")
        .arg(QString::number(seconds, 'g', 6));
}

OperationFrame::OperationFrame(const OperationContext& context, FlashOperation operation)
    : OperationFrame(context, operation, operationTexts(operation))
{
}

OperationFrame::OperationFrame(const OperationContext& context, FlashOperation operation,
                               const OperationTexts& texts)
    : ctx(context), operation(operation), table(texts), questions(context.ui, context.window),
      work(context.adapter, context.clock, questions, target())
{
}

FlashTarget OperationFrame::target() const
{
    FlashTarget target;
    target.deviceIndex = ctx.deviceIndex;
    target.selector = ctx.selector;
    target.clockHz = ctx.clockHz;
    target.chip = ctx.chip;
    return target;
}

OperationFrame::~OperationFrame()
{
    closeProgress();
}

bool OperationFrame::open()
{
    const OperationResult opened = work.open(operation);
    switch (opened.status) {
    case OperationStatus::Ok:
        return true;
    case OperationStatus::Declined: // the answer said it
        return false;
    case OperationStatus::ConfigureFailed:
        warn(translated(kInitFailedText));
        return false;
    case OperationStatus::Enter4ByteFailed:
        warn(translated(kEn4bFailedText));
        return false;
    case OperationStatus::ReadIdFailed:
        warn(translated(kReadIdFailedText));
        return false;
    case OperationStatus::NoChipAnswered:
        // Not a mismatch to go on past: there is no chip to work on.
        warn(noChipAnsweredText(opened));
        return false;
    case OperationStatus::OpenFailed: {
        const QString refused = adapterRefusedText(opened, ctx.adapter.identity(ctx.deviceIndex).backend);
        warn(refused.isEmpty() ? translated(kOpenFailedText) : refused);
        return false;
    }
    default: // no adapter at that index, or it would not open
        warn(translated(kOpenFailedText));
        return false;
    }
}

bool OperationFrame::prepareChange(std::uint64_t start, std::uint64_t end)
{
    const OperationResult prepared = work.prepareChange(start, end);
    if (prepared.ok())
        return true;
    if (prepared.status != OperationStatus::Declined)
        warn(protectionFailureText(prepared));
    return false;
}

void OperationFrame::startProgress(int maximum)
{
    progress = ctx.ui.showProgress(ctx.window, translated(table.progressTitle),
                                   translated(table.progressLabel), 0, maximum);
    if (table.timed) {
        startNs = ctx.clock.nowNanoseconds();
        timerRunning = true;
    }
}

void OperationFrame::step(int value)
{
    processEvents();
    if (progress)
        progress->setValue(value);
}

void OperationFrame::processEvents()
{
    QCoreApplication::processEvents();
}

void OperationFrame::stopTimer()
{
    if (timerRunning) {
        endNs = ctx.clock.nowNanoseconds();
        timerRunning = false;
    }
}

double OperationFrame::elapsedSeconds() const
{
    const std::int64_t end = timerRunning ? ctx.clock.nowNanoseconds() : endNs;
    return static_cast<double>(end - startNs) / 1e9;
}

void OperationFrame::closeProgress()
{
    if (progress) {
        progress->close();
        progress.reset();
    }
}

void OperationFrame::succeed()
{
    closeProgress();
    stopTimer();
    QString text = translated(table.successText);
    if (table.timed)
        text += elapsedTimeSuffix(elapsedSeconds());
    ctx.ui.information(ctx.window, translated(kInformationTitle), text);
}

QString failureReason(const OperationResult& result)
{
    if (result.ok() || result.status == OperationStatus::Declined)
        return QString();
    return QStringLiteral("\n") + operationResultText(result);
}

void OperationFrame::fail()
{
    fail(translated(table.failureText));
}

void OperationFrame::fail(const OperationResult& result)
{
    fail(translated(table.failureText) + failureReason(result));
}

void OperationFrame::fail(const QString& text)
{
    closeProgress();
    timerRunning = false;
    warn(text);
}

void OperationFrame::warn(const QString& text)
{
    ctx.ui.warning(ctx.window, translated(kWarningTitle), text);
}

} // namespace korvane
