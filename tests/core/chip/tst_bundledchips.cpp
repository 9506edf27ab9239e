#include "core/chip/chiplist.h"

#include <QFile>
#include <QHash>
#include <QtTest>

#include <cstring>

using namespace korvane;

// The ChipListData.dat that the build generates, checked against the chip table it comes from.
class TestBundledChips : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyTableRowIsInTheFile();
    void recordsAreInSavedOrder();

private:
    struct Row
    {
        QStringList fields;
        int line = 0;
    };
    QList<Row> rows;
    QList<CHIP_INFO> chips;
};

void TestBundledChips::initTestCase()
{
    QFile table(QStringLiteral(SPIFLASH_CHIP_TABLE));
    QVERIFY2(table.open(QIODevice::ReadOnly | QIODevice::Text), qPrintable(table.fileName()));
    int line = 0;
    while (!table.atEnd()) {
        ++line;
        const QString text = QString::fromUtf8(table.readLine()).trimmed();
        if (text.isEmpty() || text.startsWith('#'))
            continue;
        rows << Row{text.split('\t'), line};
        QCOMPARE(rows.last().fields.size(), 11);
    }
    QCOMPARE(rows.size(), 362);

    QFile data(QStringLiteral(SPIFLASH_CHIP_DATA));
    QVERIFY2(data.exists(), qPrintable(data.fileName()));
    QCOMPARE(data.size(), qint64(172) * rows.size());
    QString error;
    QList<InvalidChipRecord> invalid;
    QVERIFY(readChipListFile(data.fileName(), chips, &error, nullptr, &invalid));
    // Every bundled record is one the chip list takes.
    for (const InvalidChipRecord& record : qAsConst(invalid))
        qWarning("record %d: %s", record.number, qPrintable(chipRecordFaultText(record.chip.Config, record.fault)));
    QCOMPARE(invalid.size(), 0);
}

void TestBundledChips::everyTableRowIsInTheFile()
{
    QHash<QString, int> byName; // manufacturer + model -> index in chips
    for (int i = 0; i < chips.size(); ++i) {
        const QString key = chipManufacturer(chips.at(i)) + '\t' + chipModelName(chips.at(i));
        QVERIFY2(!byName.contains(key), qPrintable(key));
        byName.insert(key, i);
    }
    for (const Row& row : qAsConst(rows)) {
        const QStringList& f = row.fields;
        const QString where = QStringLiteral("table line %1: %2 %3").arg(row.line).arg(f[0], f[1]);
        const int index = byName.value(f[0] + '\t' + f[1], -1);
        QVERIFY2(index >= 0, qPrintable(where));
        const SPIFlashConfig& c = chips.at(index).Config;
        const auto hex = [](const QString& s) { return static_cast<std::uint8_t>(s.toUInt(nullptr, 16)); };
        const std::uint8_t width = static_cast<std::uint8_t>(f[10].toUInt());

        const std::uint8_t expected[15] = {0x06, 0x04, 0x02,  width, hex(f[8]), width, 0,   hex(f[9]),
                                           0x9F, 0x03, width, 0x0B,  width,     0x05,  0x01};
        QVERIFY2(std::memcmp(&c, expected, sizeof expected) == 0, qPrintable(where));
        QVERIFY2(c.FlashID[0] == hex(f[2]) && c.FlashID[1] == hex(f[3]) && c.FlashID[2] == hex(f[4]),
                 qPrintable(where));
        for (int i = 3; i < 16; ++i)
            QVERIFY2(c.FlashID[i] == 0, qPrintable(where));
        QCOMPARE(c.IDLength, std::uint8_t(3));
        QCOMPARE(c.PageSize, 256);
        QCOMPARE(c.PageSize, f[6].toInt());
        QVERIFY2(chipSize(chips.at(index)) == f[5].toInt(), qPrintable(where));
        QVERIFY2(c.SectorSize == f[7].toInt(), qPrintable(where));
    }
}

void TestBundledChips::recordsAreInSavedOrder()
{
    // The generator stores the table the way a save of the chip list would leave it.
    QList<CHIP_INFO> sorted = chips;
    sortChipList(sorted);
    for (int i = 0; i < chips.size(); ++i)
        QCOMPARE(chipManufacturer(chips.at(i)).toLower(), chipManufacturer(sorted.at(i)).toLower());
    for (int i = 1; i < chips.size(); ++i)
        QVERIFY(chipManufacturer(chips.at(i - 1)).toLower() <= chipManufacturer(chips.at(i)).toLower());
    // Names keep their NUL inside the field and the bytes behind it are zero.
    for (const CHIP_INFO& chip : qAsConst(chips)) {
        const QByteArray maker = chipManufacturer(chip).toUtf8();
        QCOMPARE(QByteArray(chip.Manufacturer, 64), maker + QByteArray(64 - maker.size(), '\0'));
        const QByteArray model = chipModelName(chip).toUtf8();
        QCOMPARE(QByteArray(chip.ModelName, 64), model + QByteArray(64 - model.size(), '\0'));
    }
}

QTEST_GUILESS_MAIN(TestBundledChips)
#include "tst_bundledchips.moc"
