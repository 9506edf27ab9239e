// libFuzzer target: the chip list loader on any file, and what the program makes of the records it
// loads (names, sizes, manufacturers, sorting) and saving and loading them again.

#include "core/chip/chiplist.h"

#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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
    QString error;
    const int whole = int(size / sizeof(CHIP_INFO));
    if (!readChipListFile(in, chips, &error)) {
        // Only a file without one whole record may be refused.
        check(whole == 0, "a file of whole records was refused");
        return 0;
    }
    check(chips.size() == whole, "record count is not the whole records of the file");
    for (int i = 0; i < whole; ++i)
        check(sameRecord(chips.at(i), data + std::size_t(i) * sizeof(CHIP_INFO)),
              "record differs from the file");

    // What the window and the dialogs show of each record; a name shown can be stored back as it is.
    for (const CHIP_INFO& chip : qAsConst(chips)) {
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

    const QStringList makers = distinctManufacturers(chips);
    check(makers.size() <= chips.size(), "more manufacturers than records");
    check(QSet<QString>(makers.begin(), makers.end()).size() == makers.size(), "manufacturer listed twice");
    for (const CHIP_INFO& chip : qAsConst(chips))
        check(makers.contains(chipManufacturer(chip)), "manufacturer missing");

    QList<CHIP_INFO> sorted = chips;
    sortChipList(sorted);
    check(sorted.size() == chips.size(), "sorting lost records");
    for (int i = 1; i < sorted.size(); ++i)
        check(chipManufacturer(sorted.at(i - 1)).toLower() <= chipManufacturer(sorted.at(i)).toLower(),
              "not sorted by manufacturer");

    // Saved and loaded again: the same records. Only files of whole records, as a save writes them:
    // the synced save costs more than all the rest.
    if (sorted.isEmpty() || size % sizeof(CHIP_INFO) != 0)
        return 0;
    check(writeChipListFile(out, sorted, &error), "cannot save the list");
    QList<CHIP_INFO> again;
    check(readChipListFile(out, again, &error), "cannot load the saved list");
    check(again.size() == sorted.size(), "saved list has another length");
    for (int i = 0; i < again.size(); ++i)
        check(sameRecord(again.at(i), &sorted.at(i)), "saved record differs");
    return 0;
}
