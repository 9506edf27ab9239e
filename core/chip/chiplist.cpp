#include "core/chip/chiplist.h"

#include "core/base/fileaccess.h"

#include <QCoreApplication>
#include <QFile>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <tuple>

namespace korvane {

const char kChipListFileName[] = "./ChipListData.dat";

namespace {

QString nameFromField(const char (&field)[kChipNameFieldSize])
{
    const void* nul = std::memchr(field, 0, kChipNameFieldSize);
    const int length =
        nul ? static_cast<int>(static_cast<const char*>(nul) - field) : static_cast<int>(kChipNameFieldSize);
    return QString::fromUtf8(field, length);
}

} // namespace

QString chipManufacturer(const CHIP_INFO& chip)
{
    return nameFromField(chip.Manufacturer);
}

QString chipModelName(const CHIP_INFO& chip)
{
    return nameFromField(chip.ModelName);
}

int chipNameUtf8Length(const QString& text)
{
    return text.toUtf8().size();
}

bool setChipName(char (&field)[kChipNameFieldSize], const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    if (utf8.size() > static_cast<int>(kChipNameFieldSize) - 1)
        return false;
    std::memset(field, 0, kChipNameFieldSize);
    std::memcpy(field, utf8.constData(), static_cast<size_t>(utf8.size()));
    return true;
}

QString formatChipSize(std::int32_t n)
{
    if (n > 0xFFFFF)
        return QString::asprintf("%d MByte", n >> 20);
    if (n < 1024)
        return QString::asprintf("%d Byte", n);
    return QString::asprintf("%d KByte", n >> 10);
}

QStringList distinctManufacturers(const QList<CHIP_INFO>& chips)
{
    // The set answers "seen before?" in constant time; a list search made large databases quadratic.
    QStringList names;
    QSet<QString> seen;
    for (const CHIP_INFO& chip : chips) {
        QString name = chipManufacturer(chip);
        if (seen.contains(name))
            continue;
        seen.insert(name);
        names << std::move(name);
    }
    return names;
}

std::uint32_t chipIdKey(const std::uint8_t* id)
{
    return (std::uint32_t(id[0]) << 16) | (std::uint32_t(id[1]) << 8) | id[2];
}

QList<CHIP_INFO> chipsWithId(const QList<CHIP_INFO>& chips, const std::uint8_t* id)
{
    QList<CHIP_INFO> found;
    const std::uint32_t key = chipIdKey(id);
    for (const CHIP_INFO& chip : chips) {
        if (chipIdKey(chip.Config.FlashID) == key)
            found << chip;
    }
    return found;
}

bool sameChipGeometry(const CHIP_INFO& a, const CHIP_INFO& b)
{
    const SPIFlashConfig& x = a.Config;
    const SPIFlashConfig& y = b.Config;
    // Instruction bytes and address widths; the Reserved byte is no instruction.
    const auto instructions = [](const SPIFlashConfig& c) {
        return std::make_tuple(c.WriteEnable, c.WriteDisable, c.WritePage, c.WritePageAddrBytes,
                               c.EraseSector, c.EraseSectorAddrBytes, c.EraseChip, c.ReadID, c.ReadData,
                               c.ReadDataAddrBytes, c.ReadFast, c.ReadFastAddrBytes, c.ReadStatus,
                               c.WriteStatus);
    };
    return instructions(x) == instructions(y) && x.PageSize == y.PageSize && x.NumPages == y.NumPages &&
           x.SectorSize == y.SectorSize;
}

bool modelNameMatches(const QString& recordName, const QString& wanted)
{
    const auto same = [&wanted](const QString& pattern) {
        if (pattern.size() != wanted.size())
            return false;
        for (int i = 0; i < pattern.size(); ++i) {
            if (pattern.at(i) != QLatin1Char('.') &&
                pattern.at(i).toCaseFolded() != wanted.at(i).toCaseFolded())
                return false;
        }
        return true;
    };
    if (wanted.isEmpty())
        return false;
    if (recordName.compare(wanted, Qt::CaseInsensitive) == 0)
        return true;
    const QStringList alternatives = recordName.split(QLatin1Char('/'));
    return std::any_of(alternatives.begin(), alternatives.end(), same);
}

void sortChipList(QList<CHIP_INFO>& chips)
{
    if (chips.size() < 2)
        return;
    std::vector<std::pair<QString, int>> keys;
    keys.reserve(static_cast<size_t>(chips.size()));
    for (int i = 0; i < chips.size(); ++i)
        keys.emplace_back(chipManufacturer(chips.at(i)).toLower(), i);
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QList<CHIP_INFO> sorted;
    sorted.reserve(chips.size());
    for (const auto& key : keys)
        sorted << chips.at(key.second);
    chips.swap(sorted);
}

namespace {

bool isPowerOfTwo(std::int32_t n)
{
    return n > 0 && (n & (n - 1)) == 0;
}

bool isAddressWidth(std::uint8_t bytes)
{
    return bytes == 3 || bytes == 4;
}

} // namespace

ChipRecordFault chipRecordFault(const SPIFlashConfig& config)
{
    if (config.PageSize <= 0)
        return ChipRecordFault::PageSizeNotPositive;
    if (!isPowerOfTwo(config.PageSize))
        return ChipRecordFault::PageSizeNotPowerOfTwo;
    if (config.SectorSize <= 0)
        return ChipRecordFault::SectorSizeNotPositive;
    if (!isPowerOfTwo(config.SectorSize))
        return ChipRecordFault::SectorSizeNotPowerOfTwo;
    if (config.SectorSize < config.PageSize)
        return ChipRecordFault::SectorSmallerThanPage;
    if (config.NumPages <= 0)
        return ChipRecordFault::NumPagesNotPositive;
    if (std::int64_t{config.PageSize} * config.NumPages > kMaxChipRecordSize)
        return ChipRecordFault::SizeTooLarge;
    if (!isAddressWidth(config.ReadDataAddrBytes))
        return ChipRecordFault::ReadDataAddrBytes;
    if (!isAddressWidth(config.WritePageAddrBytes))
        return ChipRecordFault::WritePageAddrBytes;
    if (!isAddressWidth(config.EraseSectorAddrBytes))
        return ChipRecordFault::EraseSectorAddrBytes;
    if (config.IDLength > sizeof config.FlashID)
        return ChipRecordFault::IDLengthTooLarge;
    return ChipRecordFault::None;
}

QString chipRecordFaultText(const SPIFlashConfig& config, ChipRecordFault fault)
{
    switch (fault) {
    case ChipRecordFault::None:
        break;
    case ChipRecordFault::PageSizeNotPositive:
        return QCoreApplication::translate("ChipList", "PageSize %1 is not above 0").arg(config.PageSize);
    case ChipRecordFault::PageSizeNotPowerOfTwo:
        return QCoreApplication::translate("ChipList", "PageSize %1 is not a power of two")
            .arg(config.PageSize);
    case ChipRecordFault::SectorSizeNotPositive:
        return QCoreApplication::translate("ChipList", "SectorSize %1 is not above 0").arg(config.SectorSize);
    case ChipRecordFault::SectorSizeNotPowerOfTwo:
        return QCoreApplication::translate("ChipList", "SectorSize %1 is not a power of two")
            .arg(config.SectorSize);
    case ChipRecordFault::SectorSmallerThanPage:
        return QCoreApplication::translate("ChipList", "SectorSize %1 is smaller than PageSize %2")
            .arg(config.SectorSize)
            .arg(config.PageSize);
    case ChipRecordFault::NumPagesNotPositive:
        return QCoreApplication::translate("ChipList", "NumPages %1 is not above 0").arg(config.NumPages);
    case ChipRecordFault::SizeTooLarge:
        return QCoreApplication::translate("ChipList", "PageSize %1 x NumPages %2 is more than 4 GiB")
            .arg(config.PageSize)
            .arg(config.NumPages);
    case ChipRecordFault::ReadDataAddrBytes:
        return QCoreApplication::translate("ChipList", "ReadDataAddrBytes %1 is neither 3 nor 4")
            .arg(config.ReadDataAddrBytes);
    case ChipRecordFault::WritePageAddrBytes:
        return QCoreApplication::translate("ChipList", "WritePageAddrBytes %1 is neither 3 nor 4")
            .arg(config.WritePageAddrBytes);
    case ChipRecordFault::EraseSectorAddrBytes:
        return QCoreApplication::translate("ChipList", "EraseSectorAddrBytes %1 is neither 3 nor 4")
            .arg(config.EraseSectorAddrBytes);
    case ChipRecordFault::IDLengthTooLarge:
        return QCoreApplication::translate("ChipList", "IDLength %1 is more than 16").arg(config.IDLength);
    }
    return QString();
}

QList<CHIP_INFO> chipsInFileOrder(const QList<CHIP_INFO>& valid, const QList<InvalidChipRecord>& invalid)
{
    QList<CHIP_INFO> all;
    all.reserve(valid.size() + invalid.size());
    int nextValid = 0;
    for (const InvalidChipRecord& record : invalid) {
        while (all.size() + 1 < record.number && nextValid < valid.size())
            all << valid.at(nextValid++);
        all << record.chip;
    }
    while (nextValid < valid.size())
        all << valid.at(nextValid++);
    return all;
}

bool readChipList(QIODevice& device, qint64 size, QList<CHIP_INFO>& chips, QString* errorString,
                  QList<InvalidChipRecord>* invalid)
{
    auto refuse = [errorString](const QString& reason) {
        if (errorString)
            *errorString = reason;
        return false;
    };
    if (size < 0 || size > kMaxChipListFileSize)
        return refuse(qt_error_string(EFBIG));
    // A fragment at the end means the file is no chip list, or a damaged one: no record in it can
    // be trusted to start where it seems to.
    if (size % qint64(sizeof(CHIP_INFO)) != 0)
        return refuse(
            QCoreApplication::translate("ChipList", "%1 bytes, not a whole number of %2-byte records")
                .arg(size)
                .arg(sizeof(CHIP_INFO)));
    const QByteArray bytes = device.read(size);
    // A read that brings less than the file holds must not pass for a shorter list: the dialog
    // would write that list back over the file.
    if (bytes.size() != size) {
        const auto* file = qobject_cast<const QFileDevice*>(&device);
        return refuse(
            file && file->error() != QFileDevice::NoError
                ? file->errorString()
                : QCoreApplication::translate("FileAccess", "Read ended before the end of the file"));
    }
    const int count = bytes.size() / static_cast<int>(sizeof(CHIP_INFO));
    chips.clear();
    chips.reserve(count);
    if (invalid)
        invalid->clear();
    for (int i = 0; i < count; ++i) {
        CHIP_INFO chip;
        std::memcpy(&chip, bytes.constData() + static_cast<size_t>(i) * sizeof(CHIP_INFO), sizeof(CHIP_INFO));
        const ChipRecordFault fault = chipRecordFault(chip.Config);
        if (fault == ChipRecordFault::None)
            chips << chip;
        else if (invalid)
            *invalid << InvalidChipRecord{i + 1, fault, chip};
    }
    return true;
}

bool readChipListFile(const QString& path, QList<CHIP_INFO>& chips, QString* errorString, bool* missing,
                      QList<InvalidChipRecord>* invalid)
{
    QFile file;
    if (!openRegularFile(file, path, errorString, missing))
        return false;
    return readChipList(file, file.size(), chips, errorString, invalid);
}

bool writeChipListFile(const QString& path, const QList<CHIP_INFO>& chips, QString* errorString)
{
    QByteArray image;
    image.reserve(chips.size() * static_cast<int>(sizeof(CHIP_INFO)));
    for (const CHIP_INFO& chip : chips)
        image.append(reinterpret_cast<const char*>(&chip), sizeof(CHIP_INFO));
    return writeFileAtomically(path, image.constData(), image.size(), errorString);
}

} // namespace korvane
