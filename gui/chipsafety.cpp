#include "gui/chipsafety.h"

#include "core/adapter/adapterresult.h"
#include "core/chip/chiplist.h"
#include "core/operations/statusoperations.h"
#include "gui/userinteraction.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>

namespace korvane {

namespace {

// A text of this file in the window's language.
QString translated(const char* text)
{
    return QCoreApplication::translate("ChipSafety", text);
}

const char kWarningTitle[] = QT_TRANSLATE_NOOP("ChipSafety", "警告");
const char kIdMismatchText[] = QT_TRANSLATE_NOOP("OperationFrame", "ID不匹配，是否继续？\n");
const char kSizeQuestion[] = QT_TRANSLATE_NOOP(
    "ChipSafety", "所选型号的容量（%1）与芯片SFDP参数表中的容量（%2）不一致，型号可能选错了。\n"
                  "是否继续？");
const char kStatusReadFailed[] = QT_TRANSLATE_NOOP("ChipSafety", "读取状态寄存器失败！");
const char kProtectedRange[] =
    QT_TRANSLATE_NOOP("ChipSafety", "芯片的写保护位已置位：%1\n受保护的地址范围：0x%2 - 0x%3（%4）\n"
                                    "本次操作的范围有一部分受保护，受保护的部分不会被改变。\n\n");
const char kProtectedUnknown[] =
    QT_TRANSLATE_NOOP("ChipSafety", "芯片的写保护位已置位：%1\n不清楚这些位在此芯片上保护哪些地址，"
                                    "整片芯片都可能受保护。\n\n");
const char kClearQuestion[] = QT_TRANSLATE_NOOP(
    "ChipSafety", "是否先清除写保护再继续？\n（Yes：清除后继续；No：不清除，直接继续；Cancel：取消）");
const char kBlockLocks[] = QT_TRANSLATE_NOOP(
    "ChipSafety", "芯片启用了单独的块锁定（WPS=1），整片芯片都可能受保护，本程序无法解除。\n是否继续？");
const char kSrpLocked[] =
    QT_TRANSLATE_NOOP("ChipSafety", "无法清除写保护：状态寄存器被锁定（SRP=1 且 /WP 引脚为低电平）。\n"
                                    "请将 /WP 接高电平后重试。");
const char kSrlLocked[] =
    QT_TRANSLATE_NOOP("ChipSafety", "无法清除写保护：状态寄存器已锁定（SRL=1），需给芯片断电后重试。");
const char kClearDidNotTake[] =
    QT_TRANSLATE_NOOP("ChipSafety", "清除写保护失败：状态寄存器SR%1写入0x%2后读回为0x%3！");
const char kClearFailed[] = QT_TRANSLATE_NOOP("ChipSafety", "清除写保护失败！");

QString hex6(std::uint64_t value)
{
    return QStringLiteral("%1").arg(value, 6, 16, QLatin1Char('0')).toUpper();
}

QString hex2(std::uint64_t value)
{
    return QStringLiteral("%1").arg(value & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace

const SfdpInfo* ChipSfdp::forTarget(int device, int spiSelector, const CHIP_INFO& chip) const
{
    if (device != deviceIndex || spiSelector != selector || !std::equal(id, id + 3, chip.Config.FlashID))
        return nullptr;
    return &info;
}

QString chipSizeText(std::uint64_t bytes)
{
    // Exact, unlike a chip size rounded down: a protected range of 8064 KByte is no "7 MByte".
    if (bytes >= (1u << 20) && bytes % (1u << 20) == 0)
        return QStringLiteral("%1 MByte").arg(bytes >> 20);
    if (bytes >= 1024 && bytes % 1024 == 0)
        return QStringLiteral("%1 KByte").arg(bytes >> 10);
    return QStringLiteral("%1 Byte").arg(bytes);
}

QString sfdpSummary(const SfdpInfo& info)
{
    QStringList erases;
    for (int i = 0; i < info.eraseTypeCount; ++i)
        erases << (info.eraseTypes[i].size >= 1024 ? QStringLiteral("%1K").arg(info.eraseTypes[i].size / 1024)
                                                   : QString::number(info.eraseTypes[i].size));
    const char* addresses =
        info.addressing == SfdpAddressing::ThreeByte ? QT_TRANSLATE_NOOP("ChipSafety", "3字节地址")
        : info.addressing == SfdpAddressing::ThreeOrFourByte ? QT_TRANSLATE_NOOP("ChipSafety", "3或4字节地址")
        : info.addressing == SfdpAddressing::FourByte ? QT_TRANSLATE_NOOP("ChipSafety", "4字节地址")
                                                      : QT_TRANSLATE_NOOP("ChipSafety", "地址宽度未说明");
    return QCoreApplication::translate("ChipSafety", "%1，页%2字节，擦除块%3，%4")
        .arg(chipSizeText(info.sizeBytes))
        .arg(info.pageSize)
        .arg(erases.isEmpty() ? QStringLiteral("-") : erases.join(QLatin1Char('/')))
        .arg(translated(addresses));
}

bool WindowQuestions::acceptOtherId(const std::uint8_t*, int)
{
    // Deliberately without a parent window.
    return ui.question(nullptr, QMessageBox::Warning, translated(kWarningTitle),
                       QCoreApplication::translate("OperationFrame", kIdMismatchText),
                       QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool WindowQuestions::acceptOtherSize(std::uint64_t recordSize, std::uint64_t sfdpSize)
{
    return ui.question(window, QMessageBox::Warning, translated(kWarningTitle),
                       translated(kSizeQuestion).arg(chipSizeText(recordSize), chipSizeText(sfdpSize)),
                       QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

SessionQuestions::ProtectionAnswer WindowQuestions::protectedRange(const StatusLayout& layout,
                                                                   const Protection& protection)
{
    const QString bits = protectionBitNames(layout, protection);
    QString text = protection.exact ? translated(kProtectedRange)
                                          .arg(bits, hex6(protection.start), hex6(protection.end - 1),
                                               chipSizeText(protection.end - protection.start))
                                    : translated(kProtectedUnknown).arg(bits);
    text += translated(kClearQuestion);
    switch (ui.question(window, QMessageBox::Warning, translated(kWarningTitle), text,
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel)) {
    case QMessageBox::Yes:
        return ProtectionAnswer::Clear;
    case QMessageBox::No:
        return ProtectionAnswer::GoOn;
    default:
        return ProtectionAnswer::Stop;
    }
}

bool WindowQuestions::acceptBlockLocks(const StatusLayout&, const Protection&)
{
    return ui.question(window, QMessageBox::Warning, translated(kWarningTitle), translated(kBlockLocks),
                       QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

QString protectionFailureText(const OperationResult& result)
{
    switch (result.status) {
    case OperationStatus::StatusReadFailed:
        return translated(kStatusReadFailed);
    case OperationStatus::StatusWriteProtected:
        return translated(kSrpLocked);
    case OperationStatus::StatusLocked:
        return translated(kSrlLocked);
    case OperationStatus::StatusWriteFailed:
        return translated(kClearDidNotTake)
            .arg(result.address + 1)
            .arg(hex2(result.count >> 8), hex2(result.count));
    default:
        break;
    }
    return translated(kClearFailed);
}

} // namespace korvane
