// Intel HEX and S-record files in the window: 打开文件 places a record file at its own addresses
// (or where the user put 地址), refuses faulty files and data past the chip without touching the
// buffer; 文件另存为... writes the format the file name asks for, from the start address.
#include "tests/app/flashwindowfixture.h"

#include "core/formats/imageformat.h"

#include <QBuffer>

#include <csignal>
#include <sys/resource.h>

using namespace korvane;

namespace {

// Lowers the file size limit, so that a write fails part way as on a full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit lowered = saved;
        lowered.rlim_cur = bytes;
        ok = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved); }
    bool ok = false;

private:
    rlimit saved{};
};

constexpr std::int32_t k128K = 128 * 1024;

QString text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

QByteArray records(ImageFormat format, std::uint64_t start, const QByteArray& data)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QString error;
    if (!writeRecordFile(buffer, format, start, reinterpret_cast<const std::uint8_t*>(data.constData()),
                         std::size_t(data.size()), 16, &error))
        qFatal("cannot write records");
    return buffer.data();
}

} // namespace

class TestRecordFiles : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { f.tearDown(); }

    void loadPlacesTheFile_data();
    void loadPlacesTheFile();
    void refusedFilesChangeNothing_data();
    void refusedFilesChangeNothing();
    void addressSetByAFileIsNotTheUsers();
    void saveWritesTheFormatTheNameAsksFor_data();
    void saveWritesTheFormatTheNameAsksFor();
    void failedRecordSaveKeepsTheOldFile();

private:
    QSpinBox* address() const { return f.child<QSpinBox>("startAddrSpinBox"); }
    void save(const QString& path)
    {
        f.interaction.fileNames.enqueue(path);
        f.child<QAction>("actionSaveAs")->trigger();
    }

    FlashWindowFixture f;
};

void TestRecordFiles::init()
{
    const QList<CHIP_INFO> records{FlashWindowFixture::chipRecord("Big", {0xEF, 0x40, 0x15}, k128K)};
    QVERIFY(f.setUp(records, k128K));
}

void TestRecordFiles::loadPlacesTheFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("userAddress"); // -1: the user leaves 地址 alone
    QTest::addColumn<int>("expectedAddress");
    QTest::addColumn<QByteArray>("expectedBuffer");

    const QByteArray data = FlashWindowFixture::randomBytes(5000, 11);
    QTest::newRow("Intel HEX at its own address")
        << "image.hex" << records(ImageFormat::IntelHex, 0x10000, data) << -1 << 0x10000 << data;
    QTest::newRow("S-record at its own address")
        << "image.s19" << records(ImageFormat::SRecord, 0x123, data) << -1 << 0x123 << data;
    QTest::newRow("record content under any name")
        << "image.dat" << records(ImageFormat::SRecord, 0x800, data) << -1 << 0x800 << data;
    QTest::newRow("the user's address wins")
        << "image.hex" << records(ImageFormat::IntelHex, 0x10000, data) << 0x2000 << 0x2000 << data;
    QTest::newRow("the user's address 0 wins too")
        << "image.hex" << records(ImageFormat::IntelHex, 0x10000, data) << 0 << 0 << data;
    QTest::newRow("gaps filled with FF")
        << "gaps.hex" << QByteArray(":020000040001F9\n:02000000A1A2BB\n:0400200009090909B8\n:00000001FF\n")
        << -1 << 0x10000
        << QByteArray::fromHex("A1A2") + QByteArray(0x1E, char(0xFF)) + QByteArray::fromHex("09090909");
    QTest::newRow("the last byte of the chip")
        << "last.hex" << records(ImageFormat::IntelHex, k128K - 1, "Z") << -1 << k128K - 1 << QByteArray("Z");
    // A .bin is always raw, whatever it holds: loaded as it has always been, at 0.
    const QByteArray hexText = records(ImageFormat::IntelHex, 0x10000, data.left(64));
    QTest::newRow("record text in a .bin is raw") << "image.bin" << hexText << -1 << 0 << hexText;
}

void TestRecordFiles::loadPlacesTheFile()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(int, userAddress);
    QFETCH(int, expectedAddress);
    QFETCH(QByteArray, expectedBuffer);

    if (userAddress >= 0) {
        // Typed by the user: a change the window did not make itself.
        address()->setValue(userAddress + 1);
        address()->setValue(userAddress);
    }
    f.load(f.writeFile(name, content));
    QVERIFY2(f.interaction.reports().isEmpty(), qPrintable(f.interaction.messages().join(QLatin1Char('\n'))));
    QVERIFY(f.buffer() == expectedBuffer);
    QCOMPARE(address()->value(), expectedAddress);
    QCOMPARE(f.hexEdit->baseAddress(), qint64(expectedAddress));
    QCOMPARE(f.model()->undoStack()->count(), 0);

    // Written from there, the chip gets the file's bytes at that address.
    f.click("writeDataPushButton");
    QCOMPARE(f.chipBytes(std::uint32_t(expectedAddress), std::uint32_t(expectedBuffer.size())),
             expectedBuffer);
}

void TestRecordFiles::refusedFilesChangeNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("userAddress"); // -1: the user leaves 地址 alone
    QTest::addColumn<QString>("reason");

    QTest::newRow("bad checksum") << "bad.hex"
                                  << QByteArray(":02000000A1A2BB\n:0400200009090909B9\n:00000001FF\n") << -1
                                  << text("第 2 行校验和错误。");
    QTest::newRow("overlapping records with different data")
        << "overlap.srec" << QByteArray("S1051234AABB4F\nS1041235CCE8\nS9031234B6\n") << -1
        << text("第 2 行与第 1 行在地址 0x001235 的数据不同。");
    QTest::newRow("malformed line") << "broken.s19" << QByteArray("S0030000FC\nS1051234AABB\nS9031234B6\n")
                                    << -1 << text("第 2 行不是有效的记录。");
    QTest::newRow("cut short") << "cut.hex" << QByteArray(":02000000A1A2BB\n") << -1
                               << text("文件没有结束记录，可能不完整。");
    QTest::newRow("a .hex that is no record file") << "garbage.hex"
                                                   << QByteArray("\x7F"
                                                                 "ELF\x02\x01",
                                                                 6)
                                                   << -1 << text("第 1 行不是有效的记录。");
    QTest::newRow("no data") << "empty.srec" << QByteArray("S0030000FC\nS9030000FC\n") << -1
                             << text("文件中没有数据。");
    QTest::newRow("past the end of the chip")
        << "far.hex" << records(ImageFormat::IntelHex, k128K - 16, QByteArray(32, 'x')) << -1
        << text("数据从 0x01FFF0 到 0x02000F，超出芯片容量（128 KByte）。");
    QTest::newRow("beyond the chip altogether")
        << "mcu.hex" << records(ImageFormat::IntelHex, 0x08000000, QByteArray(32, 'x')) << -1
        << text("数据从 0x8000000 到 0x800001F，超出芯片容量（128 KByte）。");
}

void TestRecordFiles::refusedFilesChangeNothing()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(int, userAddress);
    QFETCH(QString, reason);

    f.loadBytes(QByteArray("keep me"));
    QHexEditData* model = f.model();
    const int before = userAddress >= 0 ? userAddress : 0;
    if (userAddress >= 0)
        address()->setValue(userAddress);
    const QString path = f.writeFile(name, content);
    f.load(path);

    const QList<InteractionCall> shown = f.interaction.reports();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].kind, InteractionCall::Warning);
    QCOMPARE(shown[0].title, text("打开文件"));
    QCOMPARE(shown[0].parent.data(), static_cast<QWidget*>(f.window.get()));
    QCOMPARE(shown[0].text, text("不能载入文件 %1:\n%2").arg(path, reason));
    QCOMPARE(f.model(), model);
    QCOMPARE(f.buffer(), QByteArray("keep me"));
    QCOMPARE(address()->value(), before);
}

void TestRecordFiles::addressSetByAFileIsNotTheUsers()
{
    const QByteArray data = FlashWindowFixture::randomBytes(256, 12);
    f.load(f.writeFile(QStringLiteral("a.hex"), records(ImageFormat::IntelHex, 0x10000, data)));
    QCOMPARE(address()->value(), 0x10000);
    // The next file goes to its own address too: 0x10000 was the window's doing.
    f.load(f.writeFile(QStringLiteral("b.srec"), records(ImageFormat::SRecord, 0x400, data)));
    QCOMPARE(address()->value(), 0x400);
    // A chip change that lowers 地址 is no choice of the user's either.
    f.load(f.writeFile(QStringLiteral("c.hex"), records(ImageFormat::IntelHex, k128K - 256, data)));
    QCOMPARE(address()->value(), k128K - 256);
    // Once the user sets it, it stays.
    address()->setValue(0x3000);
    f.load(f.writeFile(QStringLiteral("d.hex"), records(ImageFormat::IntelHex, 0x10000, data)));
    QCOMPARE(address()->value(), 0x3000);
    QCOMPARE(f.hexEdit->baseAddress(), qint64(0x3000));
    QVERIFY(f.buffer() == data);
    // A raw file leaves both the address and the user's choice alone.
    f.loadBytes(QByteArray("raw"));
    QCOMPARE(address()->value(), 0x3000);
    f.load(f.writeFile(QStringLiteral("e.hex"), records(ImageFormat::IntelHex, 0x10000, data)));
    QCOMPARE(address()->value(), 0x3000);
    QVERIFY(f.interaction.reports().isEmpty());
}

void TestRecordFiles::saveWritesTheFormatTheNameAsksFor_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("format"); // ImageFormat
    QTest::newRow("Intel HEX") << "out.hex" << int(ImageFormat::IntelHex);
    QTest::newRow("Intel HEX, other extension") << "out.IHX" << int(ImageFormat::IntelHex);
    QTest::newRow("S-record") << "out.s19" << int(ImageFormat::SRecord);
    QTest::newRow("S-record, .mot") << "out.mot" << int(ImageFormat::SRecord);
    QTest::newRow("raw for .bin") << "out.bin" << int(ImageFormat::Binary);
    QTest::newRow("raw for any other name") << "out.img" << int(ImageFormat::Binary);
}

void TestRecordFiles::saveWritesTheFormatTheNameAsksFor()
{
    QFETCH(QString, name);
    QFETCH(int, format);
    const QByteArray data = FlashWindowFixture::randomBytes(70000, 13);
    f.setChipBytes(0x8000, data);
    f.setStartAddress(0x8000);
    f.click("readDataPushButton");
    const QByteArray buffer = f.buffer();
    QCOMPARE(buffer, f.chipBytes(0x8000, k128K - 0x8000));
    f.interaction.clear();

    const QString path = f.tempPath(name);
    save(path);
    QVERIFY(f.interaction.reports().isEmpty());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    if (ImageFormat(format) == ImageFormat::Binary) {
        QCOMPARE(file.readAll(), buffer);
        return;
    }
    RecordImage image;
    ImageError error;
    QVERIFY(readRecordFile(file, ImageFormat(format), &image, &error));
    QByteArray bytes;
    QVERIFY(image.assemble(&bytes, &error));
    QCOMPARE(image.lowest(), std::uint64_t(0x8000));
    QVERIFY(bytes == buffer);

    // And loaded again it comes back at the same address, from a window whose 地址 is elsewhere.
    f.selectModel(QStringLiteral("Big"));
    f.loadBytes(QByteArray("other"));
    f.load(path);
    QVERIFY(f.buffer() == buffer);
    QCOMPARE(f.child<QSpinBox>("startAddrSpinBox")->value(), 0x8000);
}

void TestRecordFiles::failedRecordSaveKeepsTheOldFile()
{
    f.loadBytes(FlashWindowFixture::randomBytes(64 * 1024, 14));
    const QByteArray old("the old file's content");
    const QString path = f.writeFile(QStringLiteral("keep.hex"), old);
    const QStringList before = QDir(f.dir->path()).entryList(QDir::Files);
    {
        FileSizeLimit limit(4096);
        QVERIFY(limit.ok);
        save(path);
    }
    const QList<InteractionCall> shown = f.interaction.reports();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, text("保存文件"));
    QCOMPARE(shown[0].text, text("不能打开文件 %1:\n%2.").arg(path, QStringLiteral("File too large")));
    QCOMPARE(f.readFile(path), old);
    QCOMPARE(QDir(f.dir->path()).entryList(QDir::Files), before);
}

QTEST_MAIN(TestRecordFiles)
#include "tst_recordfiles.moc"
