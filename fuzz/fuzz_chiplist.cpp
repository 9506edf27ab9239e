// libFuzzer target: the chip list loader on any file, its geometry checks, and what the program makes
// of the records it loads (names, sizes, manufacturers, sorting) and saving and loading them again.

#include "core/chip/chiplist.h"

#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace korvane;

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "chip list: %s\n", what);
        std::abort();
    }
}

bool sameRecord(const CHIP_INFO& chip, const void* bytes)
{
    return std::memcmp(&chip, bytes, sizeof(CHIP_INFO)) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static QTemporaryDir dir;
    check(dir.isValid(), "no temporary directory");
    const QString in = dir.filePath(QStringLiteral("in.dat"));
    const QString out = dir.filePath(QStringLiteral("out.dat"));
    {
        QFile file(in);
        check(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot write the input file");
        check(file.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size),
              "short input file");
    }

    QList<CHIP_INFO> chips;
    QList<InvalidChipRecord> invalid;
    QString error;
    const int whole = int(size / sizeof(CHIP_INFO));
    if (!readChipListFile(in, chips, &error, nullptr, &invalid)) {
        // Only a file with a fragment of a record may be refused.
        check(size % sizeof(CHIP_INFO) != 0, "a file of whole records was refused");
        check(error.contains(QStringLiteral("not a whole number")), "refused for another reason");
        return 0;
    }
    check(size % sizeof(CHIP_INFO) == 0, "a file with a fragment was read");
    check(chips.size() + invalid.size() == whole, "records lost or made up");

    // Every record is where the file has it, taken or left out by the geometry rules as spelt out
    // here once more.
    const QList<CHIP_INFO> all = chipsInFileOrder(chips, invalid);
    check(all.size() == whole, "file order has another length");
    int validSeen = 0;
    int invalidSeen = 0;
    for (int i = 0; i < whole; ++i) {
        const SPIFlashConfig& c = all.at(i).Config;
        check(sameRecord(all.at(i), data + std::size_t(i) * sizeof(CHIP_INFO)),
              "record differs from the file");
        const auto power = [](std::int32_t n) { return n > 0 && __builtin_popcount(std::uint32_t(n)) == 1; };
        const auto width = [](std::uint8_t n) { return n == 3 || n == 4; };
        const bool valid = power(c.PageSize) && power(c.SectorSize) && c.SectorSize >= c.PageSize &&
                           c.NumPages > 0 && double(c.PageSize) * double(c.NumPages) <= 4294967296.0 &&
                           width(c.ReadDataAddrBytes) && width(c.WritePageAddrBytes) &&
                           width(c.EraseSectorAddrBytes) && c.IDLength <= 16;
        check(valid == (chipRecordFault(c) == ChipRecordFault::None), "geometry rule disagrees");
        if (valid) {
            check(sameRecord(chips.at(validSeen++), &all.at(i)), "valid record out of order");
        } else {
            const InvalidChipRecord& left = invalid.at(invalidSeen++);
            check(left.number == i + 1, "invalid record misnumbered");
            check(!chipRecordFaultText(c, left.fault).isEmpty(), "invalid record without a reason");
        }
    }

    // What the window and the dialogs show of a record; a name shown can be stored back as it is.
    // Every record, so that names and sorting see more than the few valid ones random bytes make.
    for (const CHIP_INFO& chip : all) {
        formatChipSize(chipSize(chip));
        const QString maker = chipManufacturer(chip);
        const QString model = chipModelName(chip);
        CHIP_INFO copy = chip;
        const bool fits = chipNameUtf8Length(model) <= int(kChipNameFieldSize) - 1;
        check(setChipName(copy.ModelName, model) == fits, "name refused or accepted against its length");
        if (fits)
            check(chipModelName(copy) == model, "stored name reads back differently");
        check(!maker.contains(QChar(0)), "name runs past its NUL");
    }

    const QStringList makers = distinctManufacturers(all);
    check(makers.size() <= all.size(), "more manufacturers than records");
    check(QSet<QString>(makers.begin(), makers.end()).size() == makers.size(), "manufacturer listed twice");
    for (const CHIP_INFO& chip : all)
        check(makers.contains(chipManufacturer(chip)), "manufacturer missing");

    QList<CHIP_INFO> sortedAll = all;
    sortChipList(sortedAll);
    check(sortedAll.size() == all.size(), "sorting lost records");
    for (int i = 1; i < sortedAll.size(); ++i)
        check(chipManufacturer(sortedAll.at(i - 1)).toLower() <= chipManufacturer(sortedAll.at(i)).toLower(),
              "not sorted by manufacturer");
    QList<CHIP_INFO> sorted = chips;
    sortChipList(sorted);

    // Saved as the chip list dialog saves it, valid records sorted and the invalid ones behind them,
    // and loaded again: the same records. The synced save costs more than all the rest.
    if (whole == 0)
        return 0;
    QList<CHIP_INFO> kept;
    for (const InvalidChipRecord& left : qAsConst(invalid))
        kept << left.chip;
    check(writeChipListFile(out, sorted + kept, &error), "cannot save the list");
    QList<CHIP_INFO> again;
    QList<InvalidChipRecord> invalidAgain;
    check(readChipListFile(out, again, &error, nullptr, &invalidAgain), "cannot load the saved list");
    check(again.size() == sorted.size() && invalidAgain.size() == invalid.size(),
          "saved list has another length");
    for (int i = 0; i < again.size(); ++i)
        check(sameRecord(again.at(i), &sorted.at(i)), "saved record differs");
    for (int i = 0; i < invalidAgain.size(); ++i)
        check(sameRecord(invalidAgain.at(i).chip, &kept.at(i)), "kept record differs");
    return 0;
}
