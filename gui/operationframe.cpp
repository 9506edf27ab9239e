#include "gui/operationframe.h"
#include "core/adapter/adapterlibrary.h"

#include "core/adapter/adapterresult.h"
#include "core/base/clock.h"
#include "gui/userinteraction.h"

#include <QCoreApplication>

#include <algorithm>

namespace {

const char kWarningTitle[] = "警告";
const char kInformationTitle[] = "消息";
const char kOpenFailedText[] = "打开设备失败，设备选择是否正确？";
const char kInitFailedText[] = "配置设备失败！";
const char kEn4bFailedText[] = "发送EN4B指令失败！";
const char kReadIdFailedText[] = "获取芯片ID失败！";
const char kIdMismatchText[] = "ID不匹配，是否继续？\n";
const char kAccessDeniedText[] =
    "没有权限打开设备！\n请安装 udev 规则文件 60-korvane-spiflash.rules（见说明文档的 Hardware 一节），"
    "然后重新插拔设备。";
const char kSerialAccessDeniedText[] =
    "没有权限打开串口！\n请把用户加入 dialout 组（见说明文档的 Hardware 一节），然后重新登录。";
const char kSpidevAccessDeniedText[] =
    "没有权限打开 spidev 设备！\n请把用户加入 spi 组（见说明文档的 Hardware 一节），然后重新登录。";

// Indexed by FlashOperation.
const OperationTexts kOperationTexts[] = {
    {"读数据", "正在读数据\n速度很快的，请稍等...\n", "读数据成功！", "读数据出错！", true},
    {"写数据", "正在写数据\n速度很快的，请稍等...\n", "写数据成功！", "写数据出错！", true},
    {"校验数据", "正在校验数据\n速度很快的，请稍等...\n", "数据校验成功！", "校验数据出错！", true},
    {"整片擦除", "正在擦除数据\n该过程可能比较耗时，请耐心等待...\n", "擦除数据成功！", "擦除数据出错！",
     true},
    {"擦除数据", "正在擦除数据\n速度可能较慢，请稍等...\n", "擦除扇区成功！", "扇区擦除出错！", false},
};

const OperationTexts kSmartWriteTexts = {"智能写入", "正在智能写入\n只擦写有变化的部分，请稍等...\n",
                                         "智能写入成功！", "智能写入出错！", true};
const OperationTexts kBlankCheckTexts = {"查空", "正在检查芯片是否为空\n请稍等...\n", "芯片为空！",
                                         "查空出错！", true};

} // namespace

const OperationTexts& operationTexts(FlashOperation operation)
{
    return kOperationTexts[static_cast<int>(operation)];
}

QString adapterAccessDeniedText(const std::string& backend)
{
    // Serial ports and spidev nodes are opened through group membership, not the udev rules.
    if (backend == "serprog")
        return QString::fromUtf8(kSerialAccessDeniedText);
    if (backend == "spidev")
        return QString::fromUtf8(kSpidevAccessDeniedText);
    return QString::fromUtf8(kAccessDeniedText);
}

bool isAccessDenied(const OperationResult& result)
{
    return result.status == OperationStatus::OpenFailed && result.adapterCode == AdapterErrorAccess;
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
    return QString::fromUtf8("\n耗时: %1 秒！").arg(QString::number(seconds, 'g', 6));
}

OperationFrame::OperationFrame(const OperationContext& context, FlashOperation operation)
    : OperationFrame(context, operation, operationTexts(operation))
{
}

OperationFrame::OperationFrame(const OperationContext& context, FlashOperation operation,
                               const OperationTexts& texts)
    : ctx(context), operation(operation), table(texts)
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
    std::uint8_t id[kIdBufferSize];
    const OperationResult opened =
        openFlash(ctx.adapter, target(), addressBytesFor(operation, ctx.chip.Config), id);
    switch (opened.status) {
    case OperationStatus::Ok:
        break;
    case OperationStatus::ConfigureFailed:
        warn(QString::fromUtf8(kInitFailedText));
        return false;
    case OperationStatus::Enter4ByteFailed:
        warn(QString::fromUtf8(kEn4bFailedText));
        return false;
    case OperationStatus::ReadIdFailed:
        warn(QString::fromUtf8(kReadIdFailedText));
        return false;
    case OperationStatus::OpenFailed:
        if (isAccessDenied(opened)) {
            warn(adapterAccessDeniedText(ctx.adapter.identity(ctx.deviceIndex).backend));
            return false;
        }
        warn(QString::fromUtf8(kOpenFailedText));
        return false;
    default: // no adapter at that index, or it would not open
        warn(QString::fromUtf8(kOpenFailedText));
        return false;
    }
    if (!idMatches(ctx.chip, id)) {
        // Deliberately without a parent window.
        const auto answer =
            ctx.ui.question(nullptr, QMessageBox::Warning, QString::fromUtf8(kWarningTitle),
                            QString::fromUtf8(kIdMismatchText), QMessageBox::Yes | QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return false;
    }
    return true;
}

void OperationFrame::startProgress(int maximum)
{
    progress = ctx.ui.showProgress(ctx.window, QString::fromUtf8(table.progressTitle),
                                   QString::fromUtf8(table.progressLabel), 0, maximum);
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
    QString text = QString::fromUtf8(table.successText);
    if (table.timed)
        text += elapsedTimeSuffix(elapsedSeconds());
    ctx.ui.information(ctx.window, QString::fromUtf8(kInformationTitle), text);
}

void OperationFrame::fail()
{
    fail(QString::fromUtf8(table.failureText));
}

void OperationFrame::fail(const QString& text)
{
    closeProgress();
    timerRunning = false;
    warn(text);
}

void OperationFrame::warn(const QString& text)
{
    ctx.ui.warning(ctx.window, QString::fromUtf8(kWarningTitle), text);
}
