#include "gui/operationframe.h"

#include "core/base/clock.h"
#include "gui/userinteraction.h"
#include "core/adapter/adapterlibrary.h"

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

constexpr std::uint8_t kEnter4ByteAddressMode = 0xB7;
constexpr int kIdBufferSize = 16;

// Indexed by FlashOperation.
const OperationTexts kOperationTexts[] = {
    {"读数据", "正在读数据\n速度很快的，请稍等...\n", "读数据成功！", "读数据出错！", true,
     &SPIFlashConfig::ReadDataAddrBytes},
    {"写数据", "正在写数据\n速度很快的，请稍等...\n", "写数据成功！", "写数据出错！", true,
     &SPIFlashConfig::WritePageAddrBytes},
    {"校验数据", "正在校验数据\n速度很快的，请稍等...\n", "数据校验成功！", "校验数据出错！", true,
     &SPIFlashConfig::ReadDataAddrBytes},
    {"整片擦除", "正在擦除数据\n该过程可能比较耗时，请耐心等待...\n", "擦除数据成功！", "擦除数据出错！",
     true, nullptr},
    {"擦除数据", "正在擦除数据\n速度可能较慢，请稍等...\n", "擦除扇区成功！", "扇区擦除出错！", false,
     &SPIFlashConfig::EraseSectorAddrBytes},
};

} // namespace

int spiSelectorForRow(int row)
{
    return kSpiSelectors[std::clamp(row, 0, kSelectorSlots - 1)];
}

std::uint32_t spiClockForRow(int row)
{
    return 50000000u >> std::clamp(row, 0, 4);
}

const OperationTexts& operationTexts(FlashOperation operation)
{
    return kOperationTexts[static_cast<int>(operation)];
}

QString elapsedTimeSuffix(double seconds)
{
    return QString::fromUtf8("\n耗时: %1 秒！").arg(QString::number(seconds, 'g', 6));
}

OperationFrame::OperationFrame(const OperationContext& context, FlashOperation operation)
    : ctx(context), table(operationTexts(operation))
{
}

OperationFrame::~OperationFrame()
{
    closeProgress();
}

bool OperationFrame::open()
{
    AdapterLibrary& adapter = ctx.adapter;
    const int dev = ctx.deviceIndex;
    const int sel = ctx.selector;

    if (!(dev < adapter.scanDevices(nullptr))) {
        warn(QString::fromUtf8(kOpenFailedText));
        return false;
    }
    if (!adapter.openDevice(dev)) {
        warn(QString::fromUtf8(kOpenFailedText));
        return false;
    }
    if (adapter.flashInit(dev, sel, ctx.clockHz, &ctx.chip.Config) != 0) {
        warn(QString::fromUtf8(kInitFailedText));
        return false;
    }
    if (table.addressBytesField && ctx.chip.Config.*table.addressBytesField > 3) {
        const std::uint8_t en4b = kEnter4ByteAddressMode;
        if (adapter.spiWriteBytes(dev, sel, &en4b, 1) != 0) {
            warn(QString::fromUtf8(kEn4bFailedText));
            return false;
        }
    }
    std::uint8_t id[kIdBufferSize] = {};
    if (adapter.flashReadId(dev, sel, id) != 0) {
        warn(QString::fromUtf8(kReadIdFailedText));
        return false;
    }
    // Records are taken as stored: never compare past the 16 bytes the ID buffer holds.
    const int idLength = std::min<int>(ctx.chip.Config.IDLength, kIdBufferSize);
    if (!std::equal(id, id + idLength, ctx.chip.Config.FlashID)) {
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
