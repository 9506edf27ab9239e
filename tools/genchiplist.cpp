// Build-time generator of the bundled chip database: reads the chip table (tab-separated, '#'
// starts a comment line) and writes ChipListData.dat with the same record code the chip list
// dialog saves with, so the file is in the order a save would leave it.
//
// Columns: manufacturer model id0 id1 id2 size_bytes page_size sector_size sector_erase_opcode
// chip_erase_opcode address_bytes (ID bytes and opcodes in hexadecimal).

#include "core/chip/chiplist.h"
#include "core/spinor/spinor.h"

#include <QFile>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <cstring>

using namespace korvane;

namespace {

bool parseNumber(const QString& text, int base, long long minimum, long long maximum, long long& value)
{
    bool ok = false;
    value = text.toLongLong(&ok, base);
    return ok && value >= minimum && value <= maximum;
}

// Fills chip from one table row; on failure returns false with a reason.
bool chipFromRow(const QStringList& fields, CHIP_INFO& chip, QString& reason)
{
    if (fields.size() != 11) {
        reason = QStringLiteral("expected 11 columns, found %1").arg(fields.size());
        return false;
    }
    std::memset(&chip, 0, sizeof chip);
    if (!setChipName(chip.Manufacturer, fields.at(0)) || !setChipName(chip.ModelName, fields.at(1))) {
        reason = QStringLiteral("name longer than 63 bytes of UTF-8");
        return false;
    }
    long long id[3], size, page, sector, sectorErase, chipErase, addressBytes;
    for (int i = 0; i < 3; ++i) {
        if (!parseNumber(fields.at(2 + i), 16, 0, 255, id[i])) {
            reason = QStringLiteral("bad ID byte '%1'").arg(fields.at(2 + i));
            return false;
        }
    }
    if (!parseNumber(fields.at(5), 10, 1, 0x7fffffff, size) ||
        !parseNumber(fields.at(6), 10, 1, 1024, page) || size % page != 0 ||
        !parseNumber(fields.at(7), 10, 1, 0x7fffffff, sector) ||
        !parseNumber(fields.at(8), 16, 0, 255, sectorErase) ||
        !parseNumber(fields.at(9), 16, 0, 255, chipErase) ||
        !parseNumber(fields.at(10), 10, 3, 4, addressBytes)) {
        reason = QStringLiteral("bad size, page, sector, opcode or address width");
        return false;
    }

    const auto jedecId = static_cast<std::uint32_t>((id[0] << 16) | (id[1] << 8) | id[2]);
    SPIFlashConfig& c = chip.Config;
    c = standardSpiNorConfig(jedecId, static_cast<std::int32_t>(size), static_cast<std::int32_t>(sector),
                             static_cast<std::uint8_t>(addressBytes), static_cast<std::uint8_t>(sectorErase),
                             static_cast<std::uint8_t>(chipErase));
    c.PageSize = static_cast<std::int32_t>(page);
    c.NumPages = static_cast<std::int32_t>(size / page);
    // The programs leave out a record they find impossible: the build stops instead of bundling one.
    const ChipRecordFault fault = chipRecordFault(c);
    if (fault != ChipRecordFault::None) {
        reason = chipRecordFaultText(c, fault);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s CHIP_TABLE.tsv OUTPUT.dat\n", argv[0]);
        return 2;
    }
    const QString tablePath = QString::fromLocal8Bit(argv[1]);
    const QString outputPath = QString::fromLocal8Bit(argv[2]);

    QFile table(tablePath);
    if (!table.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], qPrintable(table.errorString()));
        return 1;
    }
    QList<CHIP_INFO> chips;
    int lineNumber = 0;
    while (!table.atEnd()) {
        ++lineNumber;
        const QString line = QString::fromUtf8(table.readLine()).remove(QLatin1Char('\n'));
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        CHIP_INFO chip;
        QString reason;
        if (!chipFromRow(line.split(QLatin1Char('\t')), chip, reason)) {
            std::fprintf(stderr, "%s:%d: %s\n", argv[1], lineNumber, qPrintable(reason));
            return 1;
        }
        chips << chip;
    }

    sortChipList(chips);
    QString error;
    if (!writeChipListFile(outputPath, chips, &error)) {
        std::fprintf(stderr, "%s: %s\n", argv[2], qPrintable(error));
        return 1;
    }
    return 0;
}
