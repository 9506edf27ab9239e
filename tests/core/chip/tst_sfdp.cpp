#include "core/chip/sfdp.h"

#include <QtTest>

#include <vector>

using namespace korvane;

Q_DECLARE_METATYPE(std::vector<std::uint32_t>)

namespace {

std::vector<std::uint8_t> bytesOf(const std::vector<std::uint32_t>& dwords)
{
    std::vector<std::uint8_t> out;
    for (std::uint32_t d : dwords)
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<std::uint8_t>(d >> (8 * i)));
    return out;
}

// Tables as data sheets print them: one word per line, first word first.
// An 8 MiB part: 4 KiB erase 20, 3-byte addresses; 4/32/64 KiB erase types; 256-byte pages;
// quad enable in SR2 (4), status register 1 non-volatile with a volatile copy behind 50.
const std::vector<std::uint32_t> k64Mbit = {
    0xFFF920E5, 0x03FFFFFF, 0x6B08EB44, 0x3B42BB08, 0xFFFFFFFE, 0xFF00FFFF, 0xEB40FFFF, 0x520F200C,
    0x0000D810, 0x00A60236, 0x008FEA81, 0xD0000000, 0x6C000000, 0xE1A2F77A, 0x00400000, 0xC4140808,
};
// A 32 MiB part that takes 3- or 4-byte addresses; erase types listed out of order.
const std::vector<std::uint32_t> k256Mbit = {
    0xFFFB20E5, 0x0FFFFFFF, 0x6B08EB44, 0x3B42BB08, 0xFFFFFFFE, 0xFF00FFFF, 0xEB40FFFF, 0xD810520F,
    0x0000200C, 0x00A60236, 0x008FEA81, 0xD0000000, 0x6C000000, 0xE1A2F77A, 0x00200000, 0xC4140801,
};
// The first revision: nine words, no erase types in words 8 and 9, volatile protect bits written
// after 50 (bits 3 and 4 of the first word: 1 and 0).
const std::vector<std::uint32_t> kFirstRevision = {
    0xFFF120E9, 0x00FFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFE,
    0xFFFFFFFF, 0xFFFFFFFF, 0x00000000, 0x00000000,
};

SfdpParameterHeader basicHeader(int minor, int dwords)
{
    SfdpParameterHeader h;
    h.id = kSfdpBasicTableId;
    h.majorVersion = 1;
    h.minorVersion = minor;
    h.dwords = dwords;
    return h;
}

} // namespace

class TestSfdp : public QObject
{
    Q_OBJECT

private slots:
    void header_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("parameterHeaders");
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::newRow("revision 1.6, two headers")
            << QByteArray::fromHex("53464450060101ff") << true << 2 << 1 << 6;
        QTest::newRow("one header") << QByteArray::fromHex("53464450000100ff") << true << 1 << 1 << 0;
        QTest::newRow("256 headers") << QByteArray::fromHex("534644500501ffff") << true << 256 << 1 << 5;
        QTest::newRow("no chip: all ones") << QByteArray::fromHex("ffffffffffffffff") << false << 0 << 0 << 0;
        QTest::newRow("signature backwards")
            << QByteArray::fromHex("50444653060101ff") << false << 0 << 0 << 0;
        QTest::newRow("seven bytes") << QByteArray::fromHex("53464450060101") << false << 0 << 0 << 0;
    }
    void header()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, valid);
        QFETCH(int, parameterHeaders);
        QFETCH(int, major);
        QFETCH(int, minor);
        int count = 0, maj = 0, min = 0;
        QCOMPARE(parseSfdpHeader(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                 static_cast<std::size_t>(bytes.size()), &count, &maj, &min),
                 valid);
        if (valid) {
            QCOMPARE(count, parameterHeaders);
            QCOMPARE(maj, major);
            QCOMPARE(min, minor);
        }
    }

    void basicTableIsTheNewestOfMajorVersionOne_data()
    {
        QTest::addColumn<QByteArray>("headers");
        QTest::addColumn<bool>("found");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("dwords");
        QTest::addColumn<int>("pointer");
        // id LSB, minor, major, length, pointer (3 bytes), id MSB
        QTest::newRow("one basic table")
            << QByteArray::fromHex("00060110800000ff") << true << 6 << 16 << 0x80;
        QTest::newRow("1.0 and 1.6: the newer")
            << QByteArray::fromHex("00000109300000ff00060110800000ff") << true << 6 << 16 << 0x80;
        QTest::newRow("1.6 then 1.0: still the newer")
            << QByteArray::fromHex("00060110800000ff00000109300000ff") << true << 6 << 16 << 0x80;
        QTest::newRow("a vendor table first")
            << QByteArray::fromHex("81000102900000c200050110300000ff") << true << 5 << 16 << 0x30;
        QTest::newRow("major version 2 is not read")
            << QByteArray::fromHex("00000210800000ff") << false << 0 << 0 << 0;
        QTest::newRow("shorter than nine words")
            << QByteArray::fromHex("00000108300000ff") << false << 0 << 0 << 0;
        QTest::newRow("no basic table") << QByteArray::fromHex("81000102900000c2") << false << 0 << 0 << 0;
    }
    void basicTableIsTheNewestOfMajorVersionOne()
    {
        QFETCH(QByteArray, headers);
        QFETCH(bool, found);
        QFETCH(int, minor);
        QFETCH(int, dwords);
        QFETCH(int, pointer);
        SfdpParameterHeader header;
        QCOMPARE(findSfdpBasicTable(reinterpret_cast<const std::uint8_t*>(headers.constData()),
                                    headers.size() / 8, &header),
                 found);
        if (found) {
            QCOMPARE(header.minorVersion, minor);
            QCOMPARE(header.dwords, dwords);
            QCOMPARE(int(header.pointer), pointer);
        }
    }

    void basicTable_data()
    {
        QTest::addColumn<std::vector<std::uint32_t>>("table");
        QTest::addColumn<qulonglong>("size");
        QTest::addColumn<QString>("erases"); // size/opcode, smallest first
        QTest::addColumn<int>("addressing");
        QTest::addColumn<int>("pageSize");
        QTest::addColumn<int>("qer");
        QTest::addColumn<bool>("volatile50");
        QTest::addColumn<bool>("sr2");

        QTest::newRow("64 Mbit") << k64Mbit << 8ull * 1024 * 1024 << "4096/20 32768/52 65536/d8"
                                 << int(SfdpAddressing::ThreeByte) << 256 << 4 << false << true;
        QTest::newRow("256 Mbit, 3 or 4 bytes")
            << k256Mbit << 32ull * 1024 * 1024 << "4096/20 32768/52 65536/d8"
            << int(SfdpAddressing::ThreeOrFourByte) << 256 << 2 << false << false;
        std::vector<std::uint32_t> fourGbit = k256Mbit;
        fourGbit[0] = (fourGbit[0] & ~(3u << 17)) | (2u << 17); // 4-byte addresses only
        fourGbit[1] = 0x80000020;                               // 2^32 bits
        fourGbit[10] = (fourGbit[10] & ~0xF0u) | (9u << 4);     // 512-byte pages
        QTest::newRow("4 Gbit in the power-of-two form")
            << fourGbit << 512ull * 1024 * 1024 << "4096/20 32768/52 65536/d8"
            << int(SfdpAddressing::FourByte) << 512 << 2 << false << false;
        std::vector<std::uint32_t> huge = k256Mbit;
        huge[1] = 0x80000025; // 2^37 bits, 16 GiB: parsed, though no record can hold it
        QTest::newRow("16 GiB") << huge << 16ull * 1024 * 1024 * 1024 << "4096/20 32768/52 65536/d8"
                                << int(SfdpAddressing::ThreeOrFourByte) << 256 << 2 << false << false;
        QTest::newRow("first revision") << kFirstRevision << 2ull * 1024 * 1024 << "4096/20"
                                        << int(SfdpAddressing::ThreeByte) << 256 << -1 << true << false;
        std::vector<std::uint32_t> volatileOnly = k64Mbit;
        volatileOnly[15] = (volatileOnly[15] & ~0x7Fu) | 0x04; // volatile, written after 50
        volatileOnly[14] = (volatileOnly[14] & ~(7u << 20)) | (6u << 20);
        QTest::newRow("volatile status register 1, three registers")
            << volatileOnly << 8ull * 1024 * 1024 << "4096/20 32768/52 65536/d8"
            << int(SfdpAddressing::ThreeByte) << 256 << 6 << true << true;
        std::vector<std::uint32_t> oneType = k64Mbit;
        oneType[7] = 0x0000D810; // only 64 KiB, listed as type 1
        oneType[8] = 0;
        QTest::newRow("one erase type") << oneType << 8ull * 1024 * 1024 << "65536/d8"
                                        << int(SfdpAddressing::ThreeByte) << 256 << 4 << false << true;
    }
    void basicTable()
    {
        QFETCH(std::vector<std::uint32_t>, table);
        QFETCH(qulonglong, size);
        QFETCH(QString, erases);
        QFETCH(int, addressing);
        QFETCH(int, pageSize);
        QFETCH(int, qer);
        QFETCH(bool, volatile50);
        QFETCH(bool, sr2);
        const std::vector<std::uint8_t> bytes = bytesOf(table);
        SfdpInfo info;
        QString why;
        QVERIFY2(parseSfdpBasicTable(bytes.data(), int(table.size()), basicHeader(6, int(table.size())),
                                     &info, &why),
                 qPrintable(why));
        QCOMPARE(qulonglong(info.sizeBytes), size);
        QStringList types;
        for (int i = 0; i < info.eraseTypeCount; ++i)
            types << QStringLiteral("%1/%2")
                         .arg(info.eraseTypes[i].size)
                         .arg(info.eraseTypes[i].opcode, 2, 16, QLatin1Char('0'));
        QCOMPARE(types.join(' '), erases);
        QCOMPARE(int(info.addressing), addressing);
        QCOMPARE(int(info.pageSize), pageSize);
        QCOMPARE(info.pageSizeGiven, table.size() >= 11);
        QCOMPARE(info.quadEnableRequirement, qer);
        QCOMPARE(info.wantsVolatileWriteEnable(), volatile50);
        QCOMPARE(info.hasStatusRegister2(), sr2);
    }

    void unusableTables_data()
    {
        QTest::addColumn<std::vector<std::uint32_t>>("table");
        QTest::addColumn<QString>("why");
        std::vector<std::uint32_t> t = k64Mbit;
        t.resize(8);
        QTest::newRow("eight words") << t << "too short";
        t = k64Mbit;
        t[1] = 0x80000046; // 2^70 bits
        QTest::newRow("density past 64 bits") << t << "cannot be right";
        t[1] = 0x80000002;
        QTest::newRow("density under a byte") << t << "cannot be right";
        t[1] = 0x00000000; // one bit
        QTest::newRow("one bit") << t << "no whole number of bytes";
        t = k64Mbit;
        t[8] = 0x0000D828; // 2^40-byte erase
        QTest::newRow("erase type past 32 bits") << t << "erase type 3";
    }
    void unusableTables()
    {
        QFETCH(std::vector<std::uint32_t>, table);
        QFETCH(QString, why);
        const std::vector<std::uint8_t> bytes = bytesOf(table);
        SfdpInfo info;
        info.sizeBytes = 12345;
        QString reason;
        QVERIFY(!parseSfdpBasicTable(bytes.data(), int(table.size()), basicHeader(6, 16), &info, &reason));
        QVERIFY2(reason.contains(why), qPrintable(reason));
        QCOMPARE(info.sizeBytes, 12345u); // left as it was
    }

    void statusRegister1WriteField_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<bool>("wants50");
        QTest::newRow("non-volatile, 06") << 0x01 << false;
        QTest::newRow("volatile, 06") << 0x02 << false;
        QTest::newRow("volatile, 50") << 0x04 << true;
        QTest::newRow("both kinds, 06 for the lasting one") << 0x08 << false;
        QTest::newRow("mixed bits, 06") << 0x10 << false;
    }
    void statusRegister1WriteField()
    {
        QFETCH(int, field);
        QFETCH(bool, wants50);
        SfdpInfo info;
        info.statusRegister1Write = static_cast<std::uint8_t>(field);
        QCOMPARE(info.wantsVolatileWriteEnable(), wants50);
    }
};

QTEST_APPLESS_MAIN(TestSfdp)
#include "tst_sfdp.moc"
