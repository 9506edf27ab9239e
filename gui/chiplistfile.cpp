#include "gui/chiplistfile.h"

#include "gui/userinteraction.h"

#include <QCoreApplication>

namespace korvane {

const char kChipListWarningTitle[] = "Korvane SPI Flash Program";

namespace {

void showFileWarning(QWidget* parent, UserInteraction& ui, const QString& path, const QString& error)
{
    ui.warning(parent, QString::fromUtf8(kChipListWarningTitle),
               QCoreApplication::translate("ChipListFile", "不能打开文件 %1:\n%2.").arg(path, error));
}

} // namespace

bool loadChipList(QWidget* parent, UserInteraction& ui, QList<CHIP_INFO>& chips, const QString& path,
                  bool* missing, QList<InvalidChipRecord>* invalid)
{
    QList<CHIP_INFO> loaded;
    QList<InvalidChipRecord> left;
    QString error;
    if (!readChipListFile(path, loaded, &error, missing, &left)) {
        showFileWarning(parent, ui, path, error);
        return false;
    }
    chips.swap(loaded);
    if (invalid)
        invalid->swap(left);
    return true;
}

bool saveChipList(QWidget* parent, UserInteraction& ui, QList<CHIP_INFO>& chips, const QString& path,
                  const QList<CHIP_INFO>& kept)
{
    QList<CHIP_INFO> sorted = chips;
    sortChipList(sorted);
    QString error;
    if (!writeChipListFile(path, sorted + kept, &error)) {
        showFileWarning(parent, ui, path, error);
        return false;
    }
    chips.swap(sorted);
    return true;
}

QString chipRecordFaultMessage(const SPIFlashConfig& config, ChipRecordFault fault)
{
    switch (fault) {
    case ChipRecordFault::None:
        break;
    case ChipRecordFault::PageSizeNotPositive:
        return QCoreApplication::translate("ChipListFile", "PageSize 为 %1，应大于0").arg(config.PageSize);
    case ChipRecordFault::PageSizeNotPowerOfTwo:
        return QCoreApplication::translate("ChipListFile", "PageSize 为 %1，不是2的幂").arg(config.PageSize);
    case ChipRecordFault::SectorSizeNotPositive:
        return QCoreApplication::translate("ChipListFile", "SectorSize 为 %1，应大于0")
            .arg(config.SectorSize);
    case ChipRecordFault::SectorSizeNotPowerOfTwo:
        return QCoreApplication::translate("ChipListFile", "SectorSize 为 %1，不是2的幂")
            .arg(config.SectorSize);
    case ChipRecordFault::SectorSmallerThanPage:
        return QCoreApplication::translate("ChipListFile", "SectorSize %1 小于 PageSize %2")
            .arg(config.SectorSize)
            .arg(config.PageSize);
    case ChipRecordFault::NumPagesNotPositive:
        return QCoreApplication::translate("ChipListFile", "NumPages 为 %1，应大于0").arg(config.NumPages);
    case ChipRecordFault::SizeTooLarge:
        return QCoreApplication::translate("ChipListFile", "PageSize %1 × NumPages %2 超过4 GiB")
            .arg(config.PageSize)
            .arg(config.NumPages);
    case ChipRecordFault::ReadDataAddrBytes:
        return QCoreApplication::translate("ChipListFile", "%1 为 %2，应为3或4")
            .arg(QStringLiteral("ReadDataAddrBytes"))
            .arg(config.ReadDataAddrBytes);
    case ChipRecordFault::WritePageAddrBytes:
        return QCoreApplication::translate("ChipListFile", "%1 为 %2，应为3或4")
            .arg(QStringLiteral("WritePageAddrBytes"))
            .arg(config.WritePageAddrBytes);
    case ChipRecordFault::EraseSectorAddrBytes:
        return QCoreApplication::translate("ChipListFile", "%1 为 %2，应为3或4")
            .arg(QStringLiteral("EraseSectorAddrBytes"))
            .arg(config.EraseSectorAddrBytes);
    case ChipRecordFault::IDLengthTooLarge:
        return QCoreApplication::translate("ChipListFile", "IDLength 为 %1，不能大于16").arg(config.IDLength);
    }
    return QString();
}

void warnInvalidChipRecords(QWidget* parent, UserInteraction& ui, const QString& path,
                            const QList<InvalidChipRecord>& invalid)
{
    if (invalid.isEmpty())
        return;
    const InvalidChipRecord& first = invalid.first();
    ui.warning(
        parent, QString::fromUtf8(kChipListWarningTitle),
        QCoreApplication::translate("ChipListFile", "芯片库 %1 中有%2条记录无效，已略过。\n第%3条：%4。")
            .arg(path, QString::number(invalid.size()), QString::number(first.number),
                 chipRecordFaultMessage(first.chip.Config, first.fault)));
}

} // namespace korvane
