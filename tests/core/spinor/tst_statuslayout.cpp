#include "core/spinor/statuslayout.h"

#include <QtTest>

using namespace korvane;

namespace {

constexpr qulonglong kKiB = 1024;
constexpr qulonglong kMiB = 1024 * 1024;

QByteArray id(const char* hex)
{
    return QByteArray::fromHex(hex);
}

} // namespace

// What the block-protect bits protect, row by row as the parts' data sheets tabulate them.
class TestStatusLayout : public QObject
{
    Q_OBJECT

private slots:
    void layoutsByJedecId_data()
    {
        QTest::addColumn<QByteArray>("jedecId");
        QTest::addColumn<int>("scheme");
        QTest::addColumn<QString>("names"); // register names, then SR1's bits 2..7
        const int bp3 = int(ProtectionScheme::Bp3TbSecCmp), bp4 = int(ProtectionScheme::Bp4TbCmp),
                  mx = int(ProtectionScheme::Bp4ConfigTb), unknown = int(ProtectionScheme::Unknown);
        QTest::newRow("W25Q64") << id("ef4017") << bp3 << "SR1 SR2 SR3: BP0 BP1 BP2 TB SEC SRP";
        QTest::newRow("W25Q128 (1.8 V)") << id("ef6018") << bp3 << "SR1 SR2 SR3: BP0 BP1 BP2 TB SEC SRP";
        QTest::newRow("W25Q256") << id("ef4019") << bp4 << "SR1 SR2 SR3: BP0 BP1 BP2 BP3 TB SRP";
        QTest::newRow("W25Q512 is not known") << id("ef4020") << unknown << "SR1: BP0 BP1 BP2 S5 S6 SRP";
        QTest::newRow("GD25Q16") << id("c84015") << bp3 << "SR1 SR2: BP0 BP1 BP2 BP3 BP4 SRP0";
        QTest::newRow("MX25L6433F") << id("c22017") << mx << "SR1 CR: BP0 BP1 BP2 BP3 QE SRWD";
        QTest::newRow("another maker") << id("123456") << unknown << "SR1: BP0 BP1 BP2 S5 S6 SRP";
        QTest::newRow("no chip") << id("ffffff") << unknown << "SR1: BP0 BP1 BP2 S5 S6 SRP";
    }
    void layoutsByJedecId()
    {
        QFETCH(QByteArray, jedecId);
        QFETCH(int, scheme);
        QFETCH(QString, names);
        const StatusLayout layout =
            statusLayoutFor(reinterpret_cast<const std::uint8_t*>(jedecId.constData()));
        QCOMPARE(int(layout.scheme), scheme);
        QStringList registers;
        for (int i = 0; i < layout.registerCount; ++i)
            registers << QString::fromLatin1(layout.registers[i].name);
        QStringList bits;
        for (int bit = 2; bit < 8; ++bit)
            bits << QString::fromLatin1(layout.registers[0].bits[bit]);
        QCOMPARE(registers.join(' ') + ": " + bits.join(' '), names);
        // One-time bits are never written: lock bits, and the configuration register's TB.
        for (int i = 0; i < layout.registerCount; ++i) {
            for (int bit = 0; bit < 8; ++bit) {
                const char* name = layout.registers[i].bits[bit];
                if (name && (QByteArray(name).startsWith("LB") || (QByteArray(name) == "TB" && i > 0)))
                    QVERIFY((layout.registers[i].writableMask & (1 << bit)) == 0);
            }
        }
        // BUSY and WEL are the chip's own.
        QCOMPARE(layout.registers[0].writableMask & 0x03, 0);
    }

    void protectedRange_data()
    {
        QTest::addColumn<QByteArray>("jedecId");
        QTest::addColumn<qulonglong>("size");
        QTest::addColumn<QByteArray>("values"); // SR1 [SR2 [SR3]] or SR1 [CR]
        QTest::addColumn<bool>("any");
        QTest::addColumn<bool>("exact");
        QTest::addColumn<qulonglong>("start");
        QTest::addColumn<qulonglong>("end");

        const QByteArray w64 = id("ef4017"), w16 = id("ef4015"), w128 = id("ef4018"), w256 = id("ef4019"),
                         gd64 = id("c84017"), mx64 = id("c22017"), other = id("123456");
        const qulonglong s8 = 8 * kMiB;
        QTest::newRow("W25Q64 nothing set") << w64 << s8 << id("0000") << false << true << 0ull << 0ull;
        QTest::newRow("W25Q64 BP0: upper 1/64")
            << w64 << s8 << id("0400") << true << true << s8 - 128 * kKiB << s8;
        QTest::newRow("W25Q64 BP2 BP1: upper half")
            << w64 << s8 << id("1800") << true << true << s8 / 2 << s8;
        QTest::newRow("W25Q64 BP2..BP0: all") << w64 << s8 << id("1c00") << true << true << 0ull << s8;
        QTest::newRow("W25Q64 TB BP0: lower 1/64")
            << w64 << s8 << id("2400") << true << true << 0ull << 128 * kKiB;
        QTest::newRow("W25Q64 SEC BP0: top 4 KiB")
            << w64 << s8 << id("4400") << true << true << s8 - 4 * kKiB << s8;
        QTest::newRow("W25Q64 SEC TB BP0: bottom 4 KiB")
            << w64 << s8 << id("6400") << true << true << 0ull << 4 * kKiB;
        QTest::newRow("W25Q64 SEC BP1 BP0: top 16 KiB")
            << w64 << s8 << id("4c00") << true << true << s8 - 16 * kKiB << s8;
        QTest::newRow("W25Q64 SEC BP2: top 32 KiB")
            << w64 << s8 << id("5000") << true << true << s8 - 32 * kKiB << s8;
        QTest::newRow("W25Q64 SEC BP2 BP1: still 32 KiB")
            << w64 << s8 << id("5800") << true << true << s8 - 32 * kKiB << s8;
        QTest::newRow("W25Q64 CMP BP0: lower 63/64")
            << w64 << s8 << id("0440") << true << true << 0ull << s8 - 128 * kKiB;
        QTest::newRow("W25Q64 CMP alone: all") << w64 << s8 << id("0040") << true << true << 0ull << s8;
        QTest::newRow("W25Q64 CMP BP2..BP0: none")
            << w64 << s8 << id("1c40") << false << true << 0ull << 0ull;
        QTest::newRow("W25Q64 CMP TB SEC BP0: all but the bottom 4 KiB")
            << w64 << s8 << id("6440") << true << true << 4 * kKiB << s8;
        QTest::newRow("W25Q64 QE and SRP protect nothing")
            << w64 << s8 << id("8002") << false << true << 0ull << 0ull;
        QTest::newRow("W25Q64 SR2 not read")
            << w64 << s8 << id("04") << true << true << s8 - 128 * kKiB << s8;
        QTest::newRow("W25Q64 WPS: block locks, all may be")
            << w64 << s8 << id("000004") << true << false << 0ull << s8;
        QTest::newRow("W25Q64 SR3 all ones: a part without it")
            << w64 << s8 << id("0400ff") << true << true << s8 - 128 * kKiB << s8;
        QTest::newRow("W25Q16 BP0: 64 KiB, 1/32")
            << w16 << 2 * kMiB << id("0400") << true << true << 2 * kMiB - 64 * kKiB << 2 * kMiB;
        QTest::newRow("W25Q16 BP2 BP0: upper half")
            << w16 << 2 * kMiB << id("1400") << true << true << 1 * kMiB << 2 * kMiB;
        QTest::newRow("W25Q16 BP2 BP1: all")
            << w16 << 2 * kMiB << id("1800") << true << true << 0ull << 2 * kMiB;
        QTest::newRow("W25Q128 BP0: 256 KiB")
            << w128 << 16 * kMiB << id("0400") << true << true << 16 * kMiB - 256 * kKiB << 16 * kMiB;
        QTest::newRow("W25Q256 BP0: 64 KiB")
            << w256 << 32 * kMiB << id("0400") << true << true << 32 * kMiB - 64 * kKiB << 32 * kMiB;
        QTest::newRow("W25Q256 BP3 BP0: upper half")
            << w256 << 32 * kMiB << id("2400") << true << true << 16 * kMiB << 32 * kMiB;
        QTest::newRow("W25Q256 BP3 BP1: all")
            << w256 << 32 * kMiB << id("2800") << true << true << 0ull << 32 * kMiB;
        QTest::newRow("W25Q256 TB BP0: bottom 64 KiB")
            << w256 << 32 * kMiB << id("4400") << true << true << 0ull << 64 * kKiB;
        QTest::newRow("GD25Q64 BP0: 128 KiB")
            << gd64 << s8 << id("0400") << true << true << s8 - 128 * kKiB << s8;
        QTest::newRow("GD25Q64 BP3 BP0: bottom 128 KiB")
            << gd64 << s8 << id("2400") << true << true << 0ull << 128 * kKiB;
        QTest::newRow("GD25Q64 BP4 BP0: top 4 KiB")
            << gd64 << s8 << id("4400") << true << true << s8 - 4 * kKiB << s8;
        QTest::newRow("MX25L6433F BP0: top block")
            << mx64 << s8 << id("0400") << true << true << s8 - 64 * kKiB << s8;
        QTest::newRow("MX25L6433F BP0, TB: bottom block")
            << mx64 << s8 << id("0408") << true << true << 0ull << 64 * kKiB;
        QTest::newRow("MX25L6433F BP2..BP0: upper half")
            << mx64 << s8 << id("1c00") << true << true << s8 / 2 << s8;
        QTest::newRow("MX25L6433F BP3: all") << mx64 << s8 << id("2000") << true << true << 0ull << s8;
        QTest::newRow("MX25L6433F QE protects nothing")
            << mx64 << s8 << id("4000") << false << true << 0ull << 0ull;
        QTest::newRow("MX25L6433F configuration unread")
            << mx64 << s8 << id("04") << true << false << 0ull << s8;
        QTest::newRow("MX25L6433F configuration all ones")
            << mx64 << s8 << id("04ff") << true << false << 0ull << s8;
        QTest::newRow("unknown chip, nothing set")
            << other << 1 * kMiB << id("00") << false << true << 0ull << 0ull;
        QTest::newRow("unknown chip, bit 6")
            << other << 1 * kMiB << id("40") << true << false << 0ull << 1 * kMiB;
        QTest::newRow("unknown chip, SRP only")
            << other << 1 * kMiB << id("80") << false << true << 0ull << 0ull;
        QTest::newRow("unknown chip, busy and WEL")
            << other << 1 * kMiB << id("03") << false << true << 0ull << 0ull;
    }
    void protectedRange()
    {
        QFETCH(QByteArray, jedecId);
        QFETCH(qulonglong, size);
        QFETCH(QByteArray, values);
        QFETCH(bool, any);
        QFETCH(bool, exact);
        QFETCH(qulonglong, start);
        QFETCH(qulonglong, end);
        const StatusLayout layout =
            statusLayoutFor(reinterpret_cast<const std::uint8_t*>(jedecId.constData()));
        const Protection p = protectionOf(layout, reinterpret_cast<const std::uint8_t*>(values.constData()),
                                          values.size(), size);
        QCOMPARE(p.any, any);
        QCOMPARE(p.exact, exact);
        QCOMPARE(qulonglong(p.start), start);
        QCOMPARE(qulonglong(p.end), end);
        // Clearing the protect bits leaves nothing protected (block locks aside) and keeps BUSY, WEL,
        // SRP, SRL and QE as they were.
        std::uint8_t cleared[kMaxStatusRegisters] = {};
        std::copy(values.begin(), values.end(), cleared);
        clearProtectionBits(layout, cleared, values.size());
        if (!p.individualLocks) {
            const Protection after = protectionOf(layout, cleared, values.size(), size);
            QVERIFY(!after.any);
        }
        QCOMPARE(cleared[0] & 0x83, std::uint8_t(values[0]) & 0x83);
        if (values.size() > 1)
            QCOMPARE(cleared[1] & 0x03, std::uint8_t(values[1]) & 0x03);
    }

    void overlaps_data()
    {
        QTest::addColumn<qulonglong>("from");
        QTest::addColumn<qulonglong>("to");
        QTest::addColumn<bool>("overlaps");
        // Protected: [0x7E0000, 0x800000).
        QTest::newRow("just below") << 0x7D0000ull << 0x7E0000ull << false;
        QTest::newRow("last byte below and first inside") << 0x7DFFFFull << 0x7E0001ull << true;
        QTest::newRow("inside") << 0x7F0000ull << 0x7F0001ull << true;
        QTest::newRow("the whole chip") << 0ull << 0x800000ull << true;
        QTest::newRow("empty range inside") << 0x7F0000ull << 0x7F0000ull << false;
    }
    void overlaps()
    {
        QFETCH(qulonglong, from);
        QFETCH(qulonglong, to);
        QFETCH(bool, overlaps);
        const std::uint8_t values[] = {0x04, 0x00};
        const Protection p = protectionOf(
            statusLayoutFor(reinterpret_cast<const std::uint8_t*>("\xEF\x40\x17")), values, 2, 8 * kMiB);
        QCOMPARE(p.overlaps(from, to), overlaps);
    }
};

QTEST_APPLESS_MAIN(TestStatusLayout)
#include "tst_statuslayout.moc"
