#include "core/formats/imageformat.h"
#include "core/formats/intelhex.h"
#include "core/formats/srecord.h"

#include <QBuffer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace korvane;

Q_DECLARE_METATYPE(ImageFormat)
Q_DECLARE_METATYPE(ImageError::Kind)

namespace {

struct Loaded
{
    bool ok = false;
    std::uint64_t lowest = 0;
    QByteArray bytes;
    ImageError error;
};

// A file as the readers see it: its text handed out a few bytes a read, and after it, when there
// is one, a filler repeated without end. Counts what was taken.
class Stream : public QIODevice
{
public:
    Stream(const QByteArray& text, int chunk, const QByteArray& filler = QByteArray())
        : text(text), filler(filler), chunk(chunk)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool seek(qint64 to) override
    {
        offset = to;
        return QIODevice::seek(to);
    }
    qint64 taken = 0;

protected:
    qint64 readData(char* data, qint64 size) override
    {
        qint64 n = 0;
        for (; n < std::min<qint64>(size, chunk); ++n, ++offset) {
            if (offset >= text.size() && filler.isEmpty())
                break;
            data[n] = offset < text.size() ? text[int(offset)]
                                           : filler[int((offset - text.size()) % filler.size())];
        }
        taken += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray text;
    QByteArray filler;
    int chunk;
    qint64 offset = 0;
};

// Reads and assembles text the way the program does; chunk > 0 reads it through a Stream.
Loaded load(ImageFormat format, const QByteArray& text, int chunk = 0)
{
    Loaded result;
    RecordImage image;
    Stream stream(text, chunk);
    const bool read = chunk > 0 ? readRecordFile(stream, format, &image, &result.error)
                      : format == ImageFormat::IntelHex
                          ? readIntelHex(text.constData(), std::size_t(text.size()), &image, &result.error)
                          : readSRecord(text.constData(), std::size_t(text.size()), &image, &result.error);
    if (!read)
        return result;
    result.lowest = image.lowest();
    result.ok = image.assemble(&result.bytes, &result.error);
    return result;
}

QByteArray lines(const QStringList& records)
{
    return (records.join(QLatin1Char('\n')) + QLatin1Char('\n')).toLatin1();
}

QByteArray randomBytes(int size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char& b : bytes)
        b = char(generator.bounded(256));
    return bytes;
}

QByteArray written(ImageFormat format, std::uint64_t start, const QByteArray& data, int perRecord)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QString error;
    if (!writeRecordFile(buffer, format, start, reinterpret_cast<const std::uint8_t*>(data.constData()),
                         std::size_t(data.size()), perRecord, &error))
        qFatal("write failed: %s", qPrintable(error));
    return buffer.data();
}

} // namespace

class TestFormats : public QObject
{
    Q_OBJECT

private slots:
    void readsGoodFiles_data();
    void readsGoodFiles();
    void refusesBadFiles_data();
    void refusesBadFiles();
    void stopsAtTheFirstFault_data();
    void stopsAtTheFirstFault();
    void writesExactRecords_data();
    void writesExactRecords();
    void roundTrip_data();
    void roundTrip();
    void spanIsCheckedBeforeAnythingIsBuilt();
    void formatDetection_data();
    void formatDetection();
    void formatNamesAndExtensions();
    void readsFromAFile();
    void failedWriteIsReported();
};

void TestFormats::readsGoodFiles_data()
{
    QTest::addColumn<ImageFormat>("format");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qulonglong>("lowest");
    QTest::addColumn<QByteArray>("bytes");

    const auto ihex = ImageFormat::IntelHex;
    const auto srec = ImageFormat::SRecord;
    QTest::newRow("ihex plain") << ihex << lines({":0400000000010203F6", ":00000001FF"}) << 0ull
                                << QByteArray::fromHex("00010203");
    QTest::newRow("ihex lower case, CRLF, blanks, BOM, Ctrl-Z after the end")
        << ihex << QByteArray("\xEF\xBB\xBF  :0400000000010203f6  \r\n\r\n:00000001ff\r\n\x1A\r\n") << 0ull
        << QByteArray::fromHex("00010203");
    QTest::newRow("ihex lone CR line ends") << ihex << QByteArray(":0400000000010203F6\r:00000001FF\r")
                                            << 0ull << QByteArray::fromHex("00010203");
    QTest::newRow("ihex no newline at the end")
        << ihex << QByteArray(":0400000000010203F6\n:00000001FF") << 0ull << QByteArray::fromHex("00010203");
    QTest::newRow("ihex extended linear address")
        << ihex << lines({":020000040001F9", ":0400000000010203F6", ":00000001FF"}) << 0x10000ull
        << QByteArray::fromHex("00010203");
    QTest::newRow("ihex extended segment address")
        << ihex << lines({":020000021000EC", ":0400000000010203F6", ":00000001FF"}) << 0x10000ull
        << QByteArray::fromHex("00010203");
    // Linear addressing runs on across the 64 KiB boundary.
    QTest::newRow("ihex linear record across 64 KiB") << ihex << lines({":04FFFE0001020304F5", ":00000001FF"})
                                                      << 0xFFFEull << QByteArray::fromHex("01020304");
    // Segment addressing wraps to the start of the segment.
    QTest::newRow("ihex segment record wraps")
        << ihex << lines({":020000020000FC", ":04FFFE0001020304F5", ":00000001FF"}) << 0ull
        << QByteArray::fromHex("0304") + QByteArray(0xFFFE - 2, char(0xFF)) + QByteArray::fromHex("0102");
    QTest::newRow("ihex gap filled with FF")
        << ihex << lines({":02000000A1A2BB", ":0400200009090909B8", ":00000001FF"}) << 0ull
        << QByteArray::fromHex("A1A2") + QByteArray(0x1E, char(0xFF)) + QByteArray::fromHex("09090909");
    QTest::newRow("ihex records out of order")
        << ihex << lines({":0400200009090909B8", ":02000000A1A2BB", ":00000001FF"}) << 0ull
        << QByteArray::fromHex("A1A2") + QByteArray(0x1E, char(0xFF)) + QByteArray::fromHex("09090909");
    QTest::newRow("ihex same bytes twice")
        << ihex << lines({":01001000559A", ":0400000000010203F6", ":01001000559A", ":00000001FF"}) << 0ull
        << QByteArray::fromHex("00010203") + QByteArray(12, char(0xFF)) + "\x55";
    QTest::newRow("ihex start address records skipped")
        << ihex << lines({":0400000300000000F9", ":0400000500000000F7", ":02000000A1A2BB", ":00000001FF"})
        << 0ull << QByteArray::fromHex("A1A2");
    QTest::newRow("ihex highest address")
        << ihex << lines({":02000004FFFFFC", ":02FFFE00A1A2BE", ":00000001FF"}) << 0xFFFFFFFEull
        << QByteArray::fromHex("A1A2");

    QTest::newRow("srec S1 with header, count and end")
        << srec << lines({"S0030000FC", "S1051234AABB4F", "S5030001FB", "S9031234B6"}) << 0x1234ull
        << QByteArray::fromHex("AABB");
    QTest::newRow("srec S2 and S8") << srec << lines({"S206010000DEAD6D", "S804010000FA"}) << 0x10000ull
                                    << QByteArray::fromHex("DEAD");
    QTest::newRow("srec S3 and S7") << srec << lines({"S30780000000010275", "S705800000007A"})
                                    << 0x80000000ull << QByteArray::fromHex("0102");
    QTest::newRow("srec S6 count") << srec << lines({"S1051234AABB4F", "S604000001FA", "S9031234B6"})
                                   << 0x1234ull << QByteArray::fromHex("AABB");
    QTest::newRow("srec mixed widths, gap")
        << srec << lines({"S1051234AABB4F", "S206010000DEAD6D", "S804010000FA"}) << 0x1234ull
        << QByteArray::fromHex("AABB") + QByteArray(0x10000 - 0x1236, char(0xFF)) +
               QByteArray::fromHex("DEAD");
}

void TestFormats::readsGoodFiles()
{
    QFETCH(ImageFormat, format);
    QFETCH(QByteArray, text);
    QFETCH(qulonglong, lowest);
    QFETCH(QByteArray, bytes);
    // Whole, and a few bytes a read: a CRLF or a byte order mark split between reads changes nothing.
    for (int chunk : {0, 1, 3}) {
        const Loaded loaded = load(format, text, chunk);
        QVERIFY2(loaded.ok, qPrintable(imageErrorText(loaded.error)));
        QCOMPARE(qulonglong(loaded.lowest), lowest);
        QCOMPARE(loaded.bytes.toHex(), bytes.toHex());
    }
}

void TestFormats::refusesBadFiles_data()
{
    QTest::addColumn<ImageFormat>("format");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<ImageError::Kind>("kind");
    QTest::addColumn<qulonglong>("line");
    QTest::addColumn<QString>("message");

    const auto ihex = ImageFormat::IntelHex;
    const auto srec = ImageFormat::SRecord;
    QTest::newRow("ihex bad checksum on line 2")
        << ihex << lines({":02000000A1A2BB", ":0400000000010203F7", ":00000001FF"}) << ImageError::BadChecksum
        << 2ull << "line 2: bad checksum";
    QTest::newRow("ihex no colon") << ihex << lines({"0400000000010203F6", ":00000001FF"})
                                   << ImageError::Malformed << 1ull
                                   << "line 1: not a valid record (does not start with ':')";
    QTest::newRow("ihex odd digit count")
        << ihex << lines({":0400000000010203F6", ":0400000000010203F", ":00000001FF"})
        << ImageError::Malformed << 2ull << "line 2: not a valid record (wrong length)";
    QTest::newRow("ihex not hexadecimal")
        << ihex << lines({":04000000000102G3F6", ":00000001FF"}) << ImageError::Malformed << 1ull
        << "line 1: not a valid record (not a hexadecimal digit)";
    QTest::newRow("ihex count says more than the line holds")
        << ihex << lines({":0500000000010203F5", ":00000001FF"}) << ImageError::Malformed << 1ull
        << "line 1: not a valid record (the length does not match the byte count)";
    QTest::newRow("ihex end record with data")
        << ihex << lines({":0100000100FE"}) << ImageError::Malformed << 1ull
        << "line 1: not a valid record (wrong byte count for its type)";
    QTest::newRow("ihex unknown type") << ihex << lines({":00000006FA"}) << ImageError::UnknownRecord << 1ull
                                       << "line 1: unknown record type 06";
    QTest::newRow("ihex cut short: no end record")
        << ihex << lines({":0400000000010203F6"}) << ImageError::MissingEnd << 1ull
        << "no end record: the file may be incomplete";
    QTest::newRow("ihex records after the end")
        << ihex << lines({":00000001FF", "", ":0400000000010203F6"}) << ImageError::ContentAfterEnd << 3ull
        << "line 3: more records after the end record";
    QTest::newRow("ihex different bytes for one address")
        << ihex << lines({":0400000000010203F6", ":01001000559A", ":010010006689", ":00000001FF"})
        << ImageError::Overlap << 3ull << "line 3: different data than line 2 for address 0x00000010";
    // The later line in the file is named even when its address sorts first.
    QTest::newRow("ihex overlap out of address order")
        << ihex << lines({":01000200AA53", ":020000040000FA", ":0400000000010203F6", ":00000001FF"})
        << ImageError::Overlap << 3ull << "line 3: different data than line 1 for address 0x00000002";
    QTest::newRow("ihex data past 4 GiB")
        << ihex << lines({":02000004FFFFFC", ":04FFFE0001020304F5", ":00000001FF"})
        << ImageError::AddressOverflow << 2ull << "line 2: data beyond the 4 GiB address space";
    QTest::newRow("ihex no data at all")
        << ihex << lines({":00000001FF"}) << ImageError::NoData << 0ull << "no data records";
    QTest::newRow("ihex binary garbage")
        << ihex
        << QByteArray("\x7F"
                      "ELF\x02\x01\x01\0\0\0",
                      10)
        << ImageError::Malformed << 1ull << "line 1: not a valid record (does not start with ':')";

    QTest::newRow("srec bad checksum") << srec << lines({"S0030000FC", "S1051234AABB4E", "S9031234B6"})
                                       << ImageError::BadChecksum << 2ull << "line 2: bad checksum";
    QTest::newRow("srec wrong count")
        << srec << lines({"S1051234AABB4F", "S5030002FA", "S9031234B6"}) << ImageError::CountMismatch << 2ull
        << "line 2: the record count 2 is not the number of data records before it";
    QTest::newRow("srec reserved S4")
        << srec << lines({"S4030000FC", "S9031234B6"}) << ImageError::UnknownRecord << 1ull
        << "line 1: unknown record type S4";
    QTest::newRow("srec no type digit") << srec << lines({"SX030000FC"}) << ImageError::Malformed << 1ull
                                        << "line 1: not a valid record (no record type after 'S')";
    QTest::newRow("srec too short for its address")
        << srec << lines({"S3030000FC"}) << ImageError::Malformed << 1ull
        << "line 1: not a valid record (too short for its address)";
    QTest::newRow("srec end record with data")
        << srec << lines({"S1051234AABB4F", "S9051234AABB4F"}) << ImageError::Malformed << 2ull
        << "line 2: not a valid record (an end record holds no data)";
    QTest::newRow("srec cut short") << srec << lines({"S0030000FC", "S1051234AABB4F"})
                                    << ImageError::MissingEnd << 2ull
                                    << "no end record: the file may be incomplete";
    QTest::newRow("srec after end") << srec << lines({"S1051234AABB4F", "S9031234B6", "S1051234AABB4F"})
                                    << ImageError::ContentAfterEnd << 3ull
                                    << "line 3: more records after the end record";
    QTest::newRow("srec an Intel HEX line") << srec << lines({":0400000000010203F6"}) << ImageError::Malformed
                                            << 1ull << "line 1: not a valid record (does not start with 'S')";
    QTest::newRow("srec overlap") << srec << lines({"S1051234AABB4F", "S1041235CCE8", "S9031234B6"})
                                  << ImageError::Overlap << 2ull
                                  << "line 2: different data than line 1 for address 0x00001235";
}

void TestFormats::refusesBadFiles()
{
    QFETCH(ImageFormat, format);
    QFETCH(QByteArray, text);
    QFETCH(ImageError::Kind, kind);
    QFETCH(qulonglong, line);
    QFETCH(QString, message);
    for (int chunk : {0, 1}) {
        const Loaded loaded = load(format, text, chunk);
        QVERIFY(!loaded.ok);
        QCOMPARE(loaded.error.kind, kind);
        QCOMPARE(qulonglong(loaded.error.line), line);
        QCOMPARE(imageErrorText(loaded.error), message);
    }
}

void TestFormats::stopsAtTheFirstFault_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("filler"); // repeated for ever after the text
    QTest::addColumn<qulonglong>("room");
    QTest::addColumn<ImageError::Kind>("kind");
    QTest::addColumn<qulonglong>("line");

    const QByteArray good = ":0400000000010203F6\n";
    QTest::newRow("a line without end")
        << QByteArray(":") << QByteArray("0") << 0ull << ImageError::Malformed << 1ull;
    QTest::newRow("a record in blanks longer than any")
        << QByteArray(1100, ' ') + good << good << 0ull << ImageError::Malformed << 1ull;
    QTest::newRow("a bad line among good ones without end")
        << good.repeated(1000) + ":0400000000010203F7\n"
        << good << 0ull << ImageError::BadChecksum << 1001ull;
    QTest::newRow("data past the room")
        << QByteArray(":020000040001F9\n") << good << 0x8000ull << ImageError::TooLarge << 2ull;
    QTest::newRow("placed elsewhere, the span counts")
        << QByteArray(":020000040001F9\n:0200000000FFFF\n:020020000000DE\n") << good << 0x20ull
        << ImageError::TooLarge << 3ull;
}

void TestFormats::stopsAtTheFirstFault()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, filler);
    QFETCH(qulonglong, room);
    QFETCH(ImageError::Kind, kind);
    QFETCH(qulonglong, line);
    Stream stream(text, 4096, filler);
    RecordImage image;
    if (room != 0)
        image.setRoom(room, QTest::currentDataTag() == QByteArray("placed elsewhere, the span counts"));
    ImageError error;
    QVERIFY(!readRecordFile(stream, ImageFormat::IntelHex, &image, &error));
    QCOMPARE(error.kind, kind);
    QCOMPARE(qulonglong(error.line), line);
    // Read no further than a block past the fault.
    QVERIFY2(stream.taken < text.size() + 128 * 1024, qPrintable(QString::number(stream.taken)));
}

void TestFormats::writesExactRecords_data()
{
    QTest::addColumn<ImageFormat>("format");
    QTest::addColumn<qulonglong>("start");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("perRecord");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("ihex in the first 64 KiB: no address record")
        << ImageFormat::IntelHex << 0ull << QByteArray::fromHex("00010203") << 16
        << lines({":0400000000010203F6", ":00000001FF"});
    QTest::newRow("ihex above 64 KiB")
        << ImageFormat::IntelHex << 0x10000ull << QByteArray::fromHex("00010203") << 16
        << lines({":020000040001F9", ":0400000000010203F6", ":00000001FF"});
    // Records are aligned: the first one ends at the next multiple of the record size.
    QTest::newRow("ihex unaligned start")
        << ImageFormat::IntelHex << 0x1Eull << QByteArray::fromHex("A1A2A3A4") << 16
        << lines({":02001E00A1A29D", ":02002000A3A497", ":00000001FF"});
    QTest::newRow("srec 16-bit") << ImageFormat::SRecord << 0x1234ull << QByteArray::fromHex("AABB") << 16
                                 << lines({"S0030000FC", "S1051234AABB4F", "S5030001FB", "S9031234B6"});
    QTest::newRow("srec 24-bit") << ImageFormat::SRecord << 0x10000ull << QByteArray::fromHex("DEAD") << 16
                                 << lines({"S0030000FC", "S206010000DEAD6D", "S5030001FB", "S804010000FA"});
    QTest::newRow("srec 32-bit") << ImageFormat::SRecord << 0x80000000ull << QByteArray::fromHex("0102") << 32
                                 << lines(
                                        {"S0030000FC", "S30780000000010275", "S5030001FB", "S705800000007A"});
}

void TestFormats::writesExactRecords()
{
    QFETCH(ImageFormat, format);
    QFETCH(qulonglong, start);
    QFETCH(QByteArray, data);
    QFETCH(int, perRecord);
    QFETCH(QByteArray, text);
    QCOMPARE(written(format, start, data, perRecord), text);
}

void TestFormats::roundTrip_data()
{
    QTest::addColumn<ImageFormat>("format");
    QTest::addColumn<int>("perRecord");
    QTest::addColumn<qulonglong>("start");
    QTest::addColumn<int>("size");

    struct Range
    {
        const char* name;
        qulonglong start;
        int size;
    };
    const Range ranges[] = {
        {"first 64 KiB exactly", 0, 0x10000},       {"across 64 KiB", 0xFFF0, 0x40},
        {"unaligned, non-zero start", 0x123, 1000}, {"ends at 16 MiB", 0xFFFF00, 0x100},
        {"across 16 MiB", 0xFFFFF0, 0x40},          {"whole 16 MiB chip", 0, 16 << 20},
        {"high in 4 GiB", 0x7FFFFFF3, 77},
    };
    for (ImageFormat format : {ImageFormat::IntelHex, ImageFormat::SRecord}) {
        for (int perRecord : {16, 32}) {
            for (const Range& range : ranges) {
                QTest::addRow("%s %d %s", format == ImageFormat::IntelHex ? "ihex" : "srec", perRecord,
                              range.name)
                    << format << perRecord << range.start << range.size;
            }
        }
    }
}

void TestFormats::roundTrip()
{
    QFETCH(ImageFormat, format);
    QFETCH(int, perRecord);
    QFETCH(qulonglong, start);
    QFETCH(int, size);
    const QByteArray data = randomBytes(size, quint32(start + size));
    const QByteArray text = written(format, start, data, perRecord);
    const Loaded loaded = load(format, text);
    QVERIFY2(loaded.ok, qPrintable(imageErrorText(loaded.error)));
    QCOMPARE(qulonglong(loaded.lowest), start);
    QVERIFY(loaded.bytes == data);

    // Every data record within its size and its 64 KiB page; an address record wherever the
    // upper address bits change (none for the first 64 KiB), the matching S-record width.
    const QList<QByteArray> records = text.split('\n');
    int addressRecords = 0;
    for (const QByteArray& record : records) {
        if (format == ImageFormat::IntelHex && record.mid(7, 2) == "00")
            QVERIFY(record.size() <= 11 + 2 * perRecord);
        if (format == ImageFormat::IntelHex && record.mid(7, 2) == "04")
            ++addressRecords;
    }
    const qulonglong last = start + qulonglong(size) - 1;
    if (format == ImageFormat::IntelHex) {
        const int pages = int((last >> 16) - (start >> 16)) + 1;
        QCOMPARE(addressRecords, (start >> 16) == 0 ? pages - 1 : pages);
    } else {
        const char* type = last < 0x10000 ? "S1" : last < 0x1000000 ? "S2" : "S3";
        QVERIFY(records.value(1).startsWith(type));
    }
}

void TestFormats::spanIsCheckedBeforeAnythingIsBuilt()
{
    // Two bytes 4 GiB apart: the span is known without building the image, and refused.
    RecordImage image;
    ImageError error;
    const QByteArray text = lines({":01000000AA55", ":02000004FFFFFC", ":01FFFF00BB46", ":00000001FF"});
    QVERIFY(readIntelHex(text.constData(), std::size_t(text.size()), &image, &error));
    QCOMPARE(image.lowest(), std::uint64_t(0));
    QCOMPARE(image.end(), std::uint64_t(1) << 32);
    QByteArray out("untouched");
    QVERIFY(!image.assemble(&out, &error));
    QCOMPARE(error.kind, ImageError::TooLarge);
    QCOMPARE(out, QByteArray("untouched"));
    QCOMPARE(imageErrorText(error),
             QStringLiteral(
                 "the data from 0x00000000 to 0xFFFFFFFF spans 4294967296 bytes, more than can be held"));
    // A caller's own limit.
    image.clear();
    const QByteArray small = lines({":0400000000010203F6", ":00000001FF"});
    QVERIFY(readIntelHex(small.constData(), std::size_t(small.size()), &image, &error));
    QVERIFY(!image.assemble(&out, &error, 3));
    QCOMPARE(error.kind, ImageError::TooLarge);
    QVERIFY(image.assemble(&out, &error, 4));
    QCOMPARE(out, QByteArray::fromHex("00010203"));
}

void TestFormats::formatDetection_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<ImageFormat>("expected");

    const QByteArray ihex = lines({":0400000000010203F6", ":00000001FF"});
    const QByteArray srec = lines({"S0030000FC", "S1051234AABB4F"});
    const QByteArray binary = QByteArray::fromHex("FFFFFFFF00112233");
    QTest::newRow("hex by content, any name") << "image.dat" << ihex << true << ImageFormat::IntelHex;
    QTest::newRow("srec by content, no extension") << "image" << srec << true << ImageFormat::SRecord;
    QTest::newRow("binary content, unknown name") << "image.img" << binary << true << ImageFormat::Binary;
    QTest::newRow(".bin stays raw whatever it holds") << "image.BIN" << ihex << true << ImageFormat::Binary;
    QTest::newRow(".hex holding S-records") << "image.hex" << srec << true << ImageFormat::SRecord;
    QTest::newRow(".s19 holding Intel HEX") << "image.s19" << ihex << true << ImageFormat::IntelHex;
    // A damaged record file is read as what its name says, so that the fault is reported.
    QTest::newRow("damaged .hex") << "image.hex" << QByteArray(":0400000000010203F7\n") << true
                                  << ImageFormat::IntelHex;
    QTest::newRow("damaged .mot") << "image.MOT" << QByteArray("S1051234AABB40\n") << true
                                  << ImageFormat::SRecord;
    QTest::newRow("first record cut off by the sample")
        << "image.dat" << QByteArray(":0400000000010203F6") << false << ImageFormat::Binary;
    QTest::newRow("whole one-line file")
        << "image.dat" << QByteArray(":00000001FF") << true << ImageFormat::IntelHex;
    QTest::newRow("blank lines first")
        << "x" << QByteArray("\n\r\n  \n") + srec << true << ImageFormat::SRecord;
    QTest::newRow("a colon, but no record")
        << "notes.txt" << QByteArray(":hello\n") << true << ImageFormat::Binary;
    QTest::newRow("empty file") << "empty" << QByteArray() << true << ImageFormat::Binary;
}

void TestFormats::formatDetection()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, head);
    QFETCH(bool, complete);
    QFETCH(ImageFormat, expected);
    QCOMPARE(detectImageFormat(name, head.constData(), std::size_t(head.size()), complete), expected);
}

void TestFormats::formatNamesAndExtensions()
{
    QCOMPARE(imageFormatFromName(QStringLiteral("bin")), std::optional<ImageFormat>(ImageFormat::Binary));
    QCOMPARE(imageFormatFromName(QStringLiteral("IHEX")), std::optional<ImageFormat>(ImageFormat::IntelHex));
    QCOMPARE(imageFormatFromName(QStringLiteral("srec")), std::optional<ImageFormat>(ImageFormat::SRecord));
    QVERIFY(!imageFormatFromName(QStringLiteral("hex")));
    QVERIFY(!imageFormatFromName(QString()));
    for (const char* name : {"a.hex", "a.ihex", "a.IHX", "dir.s19/a.hex"})
        QCOMPARE(imageFormatForFileName(QString::fromLatin1(name)),
                 std::optional<ImageFormat>(ImageFormat::IntelHex));
    for (const char* name : {"a.srec", "a.s19", "a.s28", "a.S37", "a.mot"})
        QCOMPARE(imageFormatForFileName(QString::fromLatin1(name)),
                 std::optional<ImageFormat>(ImageFormat::SRecord));
    for (const char* name : {"a", "a.hex.txt", "a.hexx", "hex"})
        QVERIFY(!imageFormatForFileName(QString::fromLatin1(name)));
}

void TestFormats::readsFromAFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray data = randomBytes(300000, 7);
    QFile file(dir.filePath(QStringLiteral("image.srec")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QString error;
    QVERIFY(writeRecordFile(file, ImageFormat::SRecord, 0x20000,
                            reinterpret_cast<const std::uint8_t*>(data.constData()), std::size_t(data.size()),
                            32, &error));
    file.close();

    QVERIFY(file.open(QIODevice::ReadOnly));
    RecordImage image;
    ImageError readError;
    QVERIFY(readRecordFile(file, ImageFormat::SRecord, &image, &readError));
    QByteArray bytes;
    QVERIFY(image.assemble(&bytes, &readError));
    QCOMPARE(image.lowest(), std::uint64_t(0x20000));
    QVERIFY(bytes == data);
    // The same file as the wrong format: the first line is named.
    QVERIFY(!readRecordFile(file, ImageFormat::IntelHex, &image, &readError));
    QCOMPARE(readError.kind, ImageError::Malformed);
    QCOMPARE(readError.line, std::uint64_t(1));
    // Binary is no record format.
    QVERIFY(!readRecordFile(file, ImageFormat::Binary, &image, &readError));
    QCOMPARE(readError.kind, ImageError::ReadFailed);
}

void TestFormats::failedWriteIsReported()
{
    // A device that takes nothing: the writer says so instead of claiming a whole file.
    QBuffer closed;
    const QByteArray data(100, 'x');
    QString error;
    for (ImageFormat format : {ImageFormat::IntelHex, ImageFormat::SRecord}) {
        error.clear();
        QTest::ignoreMessage(QtWarningMsg, "QIODevice::write (QBuffer): device not open");
        QVERIFY(!writeRecordFile(closed, format, 0, reinterpret_cast<const std::uint8_t*>(data.constData()),
                                 std::size_t(data.size()), 16, &error));
        QVERIFY(!error.isEmpty());
    }
    // Past 4 GiB and impossible record sizes are refused.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(!writeRecordFile(buffer, ImageFormat::IntelHex, 0xFFFFFFF0ull,
                             reinterpret_cast<const std::uint8_t*>(data.constData()),
                             std::size_t(data.size()), 16, &error));
    QVERIFY(!writeRecordFile(buffer, ImageFormat::IntelHex, 0,
                             reinterpret_cast<const std::uint8_t*>(data.constData()),
                             std::size_t(data.size()), 256, &error));
    QVERIFY(!writeRecordFile(buffer, ImageFormat::SRecord, 0,
                             reinterpret_cast<const std::uint8_t*>(data.constData()),
                             std::size_t(data.size()), 251, &error));
    QCOMPARE(buffer.size(), qint64(0));
}

QTEST_GUILESS_MAIN(TestFormats)
#include "tst_formats.moc"
