#include "core/chip/chiplist.h"
#include "gui/chiplistfile.h"
#include "tests/support/fifowatchdog.h"
#include "tests/support/scriptedinteraction.h"
#include "tests/support/testchips.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QIODevice>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

#include <csignal>
#include <ctime>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace korvane;

namespace {

CHIP_INFO makeChip(const QString& manufacturer, const QString& model, std::int32_t pageSize = 256,
                   std::int32_t numPages = 16)
{
    CHIP_INFO chip{};
    chip.Config.WriteEnable = 0x06;
    chip.Config.ReadID = 0x9F;
    chip.Config.IDLength = 3;
    chip.Config.PageSize = pageSize;
    chip.Config.NumPages = numPages;
    chip.Config.SectorSize = 4096;
    chip.Config.WritePageAddrBytes = chip.Config.EraseSectorAddrBytes = chip.Config.ReadDataAddrBytes = 3;
    if (!setChipName(chip.Manufacturer, manufacturer) || !setChipName(chip.ModelName, model))
        qFatal("test name too long");
    return chip;
}

QByteArray imageOf(const QList<CHIP_INFO>& chips)
{
    QByteArray bytes;
    for (const CHIP_INFO& chip : chips)
        bytes.append(reinterpret_cast<const char*>(&chip), sizeof(CHIP_INFO));
    return bytes;
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList models(const QList<CHIP_INFO>& chips)
{
    QStringList out;
    for (const CHIP_INFO& chip : chips)
        out << chipModelName(chip);
    return out;
}

QString expectedWarning(const QString& path, const QString& error)
{
    return QString::fromUtf8("不能打开文件 %1:\n%2.").arg(path, error);
}

} // namespace

class TestChipList : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void recordLayoutMatchesFileImage();
    void fileOfKRecordsLoadsKRecordsInOrder_data();
    void fileOfKRecordsLoadsKRecordsInOrder();
    void sizeTexts_data();
    void sizeTexts();
    void manufacturersExactButSaveOrderIgnoresCase();
    void saveSortsAndTruncates();
    void failedWriteKeepsOldFileByteForByte();
    void unopenableTargetWarnsAndKeepsList_data();
    void unopenableTargetWarnsAndKeepsList();
    void missingFileWarnsAndKeepsList();
    void trailingFragmentRefusesTheFile();
    void nameWithoutNulStopsAtFieldEnd();
    void nameLengthLimit();
    void largeAndGarbageFilesLoad();
    void manyDistinctManufacturersInLinearTime();
    void shortReadIsALoadFailure_data();
    void shortReadIsALoadFailure();
    void onlyARegularFileIsRead_data();
    void onlyARegularFileIsRead();
    void modelNames_data();
    void modelNames();
    void lookupByIdAndSameGeometry();
    void recordGeometry_data();
    void recordGeometry();

private:
    QTemporaryDir dir;
    QString path;
    ScriptedInteraction interaction;
};

void TestChipList::init()
{
    QVERIFY(dir.isValid());
    path = dir.filePath(QStringLiteral("ChipListData.dat"));
    QFile::remove(path);
    interaction.clear();
}

void TestChipList::recordLayoutMatchesFileImage()
{
    // A record built byte by byte at the documented offsets reads back field by field.
    QByteArray image(172, '\0');
    for (int i = 0; i <= 14; ++i)
        image[i] = static_cast<char>(0xA0 + i);
    // The address widths a record may have: 3 or 4.
    image[3] = 3;
    image[5] = 4;
    image[10] = 3;
    for (int i = 0; i < 16; ++i)
        image[15 + i] = static_cast<char>(0x10 + i);
    image[31] = 3;
    const auto putInt = [&image](int offset, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            image[offset + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    putInt(32, 256);
    putInt(36, 0x10000);
    putInt(40, 0x10000);
    const QByteArray maker = QStringLiteral("厂商Ä").toUtf8();
    image.replace(44, maker.size(), maker);
    image.replace(108, 5, "W25Q8");
    QVERIFY(writeBytes(path, image));

    QList<CHIP_INFO> chips;
    QString error;
    QVERIFY(readChipListFile(path, chips, &error));
    QCOMPARE(chips.size(), 1);
    const CHIP_INFO& chip = chips.first();
    QCOMPARE(chip.Config.WriteEnable, std::uint8_t(0xA0));
    QCOMPARE(chip.Config.WritePageAddrBytes, std::uint8_t(3));
    QCOMPARE(chip.Config.EraseSectorAddrBytes, std::uint8_t(4));
    QCOMPARE(chip.Config.ReadDataAddrBytes, std::uint8_t(3));
    QCOMPARE(chip.Config.ReadFastAddrBytes, std::uint8_t(0xAC));
    QCOMPARE(chip.Config.Reserved, std::uint8_t(0xA6));
    QCOMPARE(chip.Config.WriteStatus, std::uint8_t(0xAE));
    QCOMPARE(chip.Config.FlashID[0], std::uint8_t(0x10));
    QCOMPARE(chip.Config.FlashID[15], std::uint8_t(0x1F));
    QCOMPARE(chip.Config.IDLength, std::uint8_t(3));
    QCOMPARE(chip.Config.PageSize, 256);
    QCOMPARE(chip.Config.NumPages, 0x10000);
    QCOMPARE(chip.Config.SectorSize, 0x10000);
    QCOMPARE(chipSize(chip), 16 * 1024 * 1024);
    QCOMPARE(chipManufacturer(chip), QStringLiteral("厂商Ä"));
    QCOMPARE(chipModelName(chip), QStringLiteral("W25Q8"));

    // Written back, it is the same 172 bytes.
    QVERIFY(writeChipListFile(path, chips, &error));
    QCOMPARE(readBytes(path), image);
}

void TestChipList::fileOfKRecordsLoadsKRecordsInOrder_data()
{
    QTest::addColumn<int>("count");
    QTest::newRow("empty file") << 0;
    QTest::newRow("one") << 1;
    QTest::newRow("seven") << 7;
}

void TestChipList::fileOfKRecordsLoadsKRecordsInOrder()
{
    QFETCH(int, count);
    QList<CHIP_INFO> written;
    QStringList names;
    // Deliberately unsorted, so file order is visible.
    for (int i = 0; i < count; ++i) {
        names << QStringLiteral("M%1").arg(count - i);
        written << makeChip(QStringLiteral("Z%1").arg(i % 3), names.last());
    }
    QVERIFY(writeBytes(path, imageOf(written)));
    QCOMPARE(QFileInfo(path).size(), qint64(172) * count);

    QList<CHIP_INFO> chips{makeChip(QStringLiteral("old"), QStringLiteral("old"))};
    QVERIFY(loadChipList(nullptr, interaction, chips, path));
    QVERIFY(interaction.calls.isEmpty());
    QCOMPARE(chips.size(), count);
    QCOMPARE(models(chips), names);
    QCOMPARE(imageOf(chips), imageOf(written));
}

void TestChipList::sizeTexts_data()
{
    QTest::addColumn<int>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << "0 Byte";
    QTest::newRow("1023") << 1023 << "1023 Byte";
    QTest::newRow("1024") << 1024 << "1 KByte";
    QTest::newRow("1048575") << 1048575 << "1023 KByte";
    QTest::newRow("1048576") << 1048576 << "1 MByte";
    QTest::newRow("1.5 MiB") << 1572864 << "1 MByte";
    QTest::newRow("largest dialog size") << 1024000000 << "976 MByte";
    QTest::newRow("negative") << -5 << "-5 Byte";
}

void TestChipList::sizeTexts()
{
    QFETCH(int, bytes);
    QFETCH(QString, text);
    QCOMPARE(formatChipSize(bytes), text);
}

void TestChipList::manufacturersExactButSaveOrderIgnoresCase()
{
    QList<CHIP_INFO> chips{makeChip("Abd", "1"), makeChip("abc", "2"), makeChip("Abc", "3"),
                           makeChip("Abd", "4"), makeChip("Abc", "5")};
    QCOMPARE(distinctManufacturers(chips), (QStringList{"Abd", "abc", "Abc"}));

    QVERIFY(saveChipList(nullptr, interaction, chips, path));
    QVERIFY(interaction.calls.isEmpty());
    // Abc and abc share a key and come first, in any order among each other; Abd after them.
    QStringList makers;
    for (const CHIP_INFO& chip : chips)
        makers << chipManufacturer(chip);
    QCOMPARE(makers.mid(0, 3).join(',').toLower(), QStringLiteral("abc,abc,abc"));
    QCOMPARE(makers.mid(3), (QStringList{"Abd", "Abd"}));
    const QStringList firstModels = models(chips).mid(0, 3);
    QCOMPARE(QSet<QString>(firstModels.begin(), firstModels.end()), (QSet<QString>{"2", "3", "5"}));

    // The file holds the list in its sorted order.
    QList<CHIP_INFO> reloaded;
    QVERIFY(loadChipList(nullptr, interaction, reloaded, path));
    QCOMPARE(imageOf(reloaded), imageOf(chips));
}

void TestChipList::saveSortsAndTruncates()
{
    QList<CHIP_INFO> many;
    for (int i = 0; i < 20; ++i)
        many << makeChip("Old", QString::number(i));
    QVERIFY(writeBytes(path, imageOf(many)));

    QList<CHIP_INFO> one{makeChip("Solo", "S1")};
    QVERIFY(saveChipList(nullptr, interaction, one, path));
    QCOMPARE(readBytes(path), imageOf(one));

    // An empty list leaves an empty file.
    QList<CHIP_INFO> none;
    QVERIFY(saveChipList(nullptr, interaction, none, path));
    QVERIFY(QFileInfo::exists(path));
    QCOMPARE(QFileInfo(path).size(), qint64(0));
    QVERIFY(interaction.calls.isEmpty());
}

void TestChipList::failedWriteKeepsOldFileByteForByte()
{
    // A file size limit makes the write fail part way, for root too: the old database must
    // survive untouched and no temporary file may be left behind.
    QTemporaryDir own;
    QVERIFY(own.isValid());
    const QString path = own.filePath(QStringLiteral("ChipListData.dat"));
    const QList<CHIP_INFO> old{makeChip("Keep", "K1"), makeChip("Keep", "K2")};
    const QByteArray oldImage = imageOf(old);
    QVERIFY(writeBytes(path, oldImage));

    QList<CHIP_INFO> chips;
    for (int i = 0; i < 200; ++i)
        chips << makeChip(QStringLiteral("M%1").arg(199 - i), QString::number(i));
    const QByteArray unsortedImage = imageOf(chips);

    QWidget parent;
    struct rlimit saved;
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = 4096;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool saved_ok = saveChipList(&parent, interaction, chips, path);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(!saved_ok);
    QCOMPARE(readBytes(path), oldImage);
    QCOMPARE(imageOf(chips), unsortedImage); // the list is not sorted either
    QCOMPARE(QDir(own.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"ChipListData.dat"});

    QCOMPARE(interaction.calls.size(), 1);
    const InteractionCall& call = interaction.calls.first();
    QCOMPARE(call.kind, InteractionCall::Warning);
    QCOMPARE(call.parent.data(), &parent);
    QCOMPARE(call.title, QStringLiteral("Korvane SPI Flash Program"));
    QCOMPARE(call.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(call.text, expectedWarning(path, QStringLiteral("File too large")));
}

void TestChipList::unopenableTargetWarnsAndKeepsList_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("target is a directory") << "directory";
    QTest::newRow("parent directory missing") << "missing parent";
    QTest::newRow("parent is a file") << "file parent";
}

void TestChipList::unopenableTargetWarnsAndKeepsList()
{
    QFETCH(QString, kind);
    QString target;
    if (kind == "directory") {
        target = dir.filePath(QStringLiteral("asdir.dat"));
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("asdir.dat/inside")));
    } else if (kind == "missing parent") {
        target = dir.filePath(QStringLiteral("nowhere/ChipListData.dat"));
    } else {
        QVERIFY(writeBytes(dir.filePath(QStringLiteral("plain")), "data"));
        target = dir.filePath(QStringLiteral("plain/ChipListData.dat"));
    }
    QList<CHIP_INFO> chips{makeChip("b", "1"), makeChip("a", "2")};
    const QByteArray before = imageOf(chips);
    QWidget parent;
    QVERIFY(!saveChipList(&parent, interaction, chips, target));
    QCOMPARE(imageOf(chips), before);
    QCOMPARE(interaction.calls.size(), 1);
    const InteractionCall& call = interaction.calls.first();
    QCOMPARE(call.kind, InteractionCall::Warning);
    QCOMPARE(call.parent.data(), &parent);
    QCOMPARE(call.title, QStringLiteral("Korvane SPI Flash Program"));
    const QString prefix = QString::fromUtf8("不能打开文件 %1:\n").arg(target);
    QVERIFY2(call.text.startsWith(prefix) && call.text.endsWith('.') && call.text.size() > prefix.size() + 1,
             qPrintable(call.text));
    if (kind == "directory")
        QVERIFY(QFileInfo(target).isDir());
    else if (kind == "file parent")
        QCOMPARE(readBytes(dir.filePath(QStringLiteral("plain"))), QByteArray("data"));
    else
        QVERIFY(!QFileInfo::exists(target));

    // Loading from the same place warns the same way and keeps the list.
    interaction.clear();
    QVERIFY(!loadChipList(&parent, interaction, chips, target));
    QCOMPARE(imageOf(chips), before);
    QCOMPARE(interaction.callsOf(InteractionCall::Warning).size(), 1);
}

void TestChipList::missingFileWarnsAndKeepsList()
{
    QList<CHIP_INFO> chips{makeChip("Kept", "K")};
    QWidget parent;
    QVERIFY(!loadChipList(&parent, interaction, chips, path));
    QCOMPARE(chips.size(), 1);
    QCOMPARE(chipModelName(chips.first()), QStringLiteral("K"));
    QCOMPARE(interaction.calls.size(), 1);
    const InteractionCall& call = interaction.calls.first();
    QCOMPARE(call.kind, InteractionCall::Warning);
    QCOMPARE(call.parent.data(), &parent);
    QCOMPARE(call.title, QStringLiteral("Korvane SPI Flash Program"));
    QCOMPARE(call.text, expectedWarning(path, QStringLiteral("No such file or directory")));

    // The default path is the one in the current directory.
    QCOMPARE(QString::fromLatin1(kChipListFileName), QStringLiteral("./ChipListData.dat"));
}

void TestChipList::trailingFragmentRefusesTheFile()
{
    // Two records and most of a third: not a chip list as it stands, so nothing of it is taken.
    const QList<CHIP_INFO> written{makeChip("A", "1"), makeChip("B", "2")};
    QByteArray image = imageOf(written);
    image.append(imageOf({makeChip("C", "3")}).left(171));
    QVERIFY(writeBytes(path, image));
    QList<CHIP_INFO> chips{makeChip("Kept", "K")};
    QVERIFY(!loadChipList(nullptr, interaction, chips, path));
    QCOMPARE(models(chips), QStringList{"K"});
    QCOMPARE(interaction.messages(),
             QStringList{expectedWarning(path, "515 bytes, not a whole number of 172-byte records")});

    interaction.clear();
    QVERIFY(writeBytes(path, QByteArray(100, 'x')));
    QVERIFY(!loadChipList(nullptr, interaction, chips, path));
    QCOMPARE(interaction.messages(),
             QStringList{expectedWarning(path, "100 bytes, not a whole number of 172-byte records")});
}

void TestChipList::nameWithoutNulStopsAtFieldEnd()
{
    CHIP_INFO chip = makeChip("x", "y");
    std::memset(chip.Manufacturer, 'M', sizeof chip.Manufacturer);
    std::memset(chip.ModelName, 'N', sizeof chip.ModelName);
    QVERIFY(writeBytes(path, imageOf({chip})));
    QList<CHIP_INFO> chips;
    QVERIFY(loadChipList(nullptr, interaction, chips, path));
    QCOMPARE(chipManufacturer(chips.first()), QString(64, 'M'));
    QCOMPARE(chipModelName(chips.first()), QString(64, 'N'));

    // Bytes behind a NUL carry no meaning.
    std::memcpy(chip.ModelName, "AB\0CD", 5);
    QCOMPARE(chipModelName(chip), QStringLiteral("AB"));
}

void TestChipList::nameLengthLimit()
{
    char field[kChipNameFieldSize];
    std::memset(field, 0x55, sizeof field);

    // 63 bytes fit with their NUL, in ASCII and in three-byte UTF-8 characters.
    QVERIFY(setChipName(field, QString(63, 'a')));
    QCOMPARE(field[63], '\0');
    QCOMPARE(QString::fromUtf8(field), QString(63, 'a'));
    const QString chinese = QString(21, QChar(0x82AF)); // 21 x 3 bytes
    QCOMPARE(chipNameUtf8Length(chinese), 63);
    QVERIFY(setChipName(field, chinese));
    QCOMPARE(QString::fromUtf8(field), chinese);

    // One byte more is refused and leaves the field as it was.
    const QByteArray before(field, sizeof field);
    QVERIFY(!setChipName(field, QString(64, 'a')));
    QVERIFY(!setChipName(field, QString(62, 'a') + QChar(0xE9))); // 62 + 2 bytes
    QVERIFY(!setChipName(field, QString(22, QChar(0x82AF))));
    QCOMPARE(QByteArray(field, sizeof field), before);

    // Shorter names are zero-filled behind the NUL.
    QVERIFY(setChipName(field, QStringLiteral("GD")));
    QCOMPARE(QByteArray(field, sizeof field), QByteArray("GD") + QByteArray(62, '\0'));
}

void TestChipList::largeAndGarbageFilesLoad()
{
    // 100 000 records.
    QByteArray big;
    big.reserve(172 * 100000);
    CHIP_INFO chip = makeChip("Big", "B");
    for (int i = 0; i < 100000; ++i) {
        chip.Config.NumPages = i + 1;
        big.append(reinterpret_cast<const char*>(&chip), sizeof chip);
    }
    QVERIFY(writeBytes(path, big));
    QList<CHIP_INFO> chips;
    QVERIFY(loadChipList(nullptr, interaction, chips, path));
    QCOMPARE(chips.size(), 100000);
    QCOMPARE(chips.last().Config.NumPages, 100000);
    QCOMPARE(distinctManufacturers(chips), QStringList{"Big"});

    // Random bytes: every record is taken as stored, names may be invalid UTF-8; random geometry is
    // never valid, so each record is left out, with its number, in file order.
    QRandomGenerator random(1234);
    QByteArray garbage(172 * 300, '\0');
    for (char& c : garbage)
        c = static_cast<char>(random.bounded(256));
    QVERIFY(writeBytes(path, garbage));
    QList<InvalidChipRecord> invalid;
    QVERIFY(loadChipList(nullptr, interaction, chips, path, nullptr, &invalid));
    QVERIFY(chips.isEmpty());
    const QList<CHIP_INFO> all = chipsInFileOrder(chips, invalid);
    QCOMPARE(imageOf(all), garbage);
    QCOMPARE(invalid.last().number, 300);
    for (const CHIP_INFO& c : all) {
        QVERIFY(!formatChipSize(chipSize(c)).isEmpty());
        QVERIFY(chipManufacturer(c).toUtf8().size() <= 64 * 3);
    }
    QVERIFY(distinctManufacturers(all).size() <= 300);
    // A garbage list saves and reloads to the same records, only reordered.
    QVERIFY(saveChipList(nullptr, interaction, chips, path, all));
    QList<CHIP_INFO> reloaded;
    QVERIFY(loadChipList(nullptr, interaction, reloaded, path, nullptr, &invalid));
    QCOMPARE(imageOf(chipsInFileOrder(reloaded, invalid)), garbage);
    QVERIFY(interaction.calls.isEmpty());
}

void TestChipList::manyDistinctManufacturersInLinearTime()
{
    // 100 000 distinct names, each repeated once later in another case: a list search for every
    // record takes half a minute here, a set well under a second.
    const int count = 100000;
    QList<CHIP_INFO> chips;
    chips.reserve(2 * count);
    QStringList expected;
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("Maker%1").arg(i);
        chips << makeChip(name, QString::number(i));
        expected << name;
    }
    for (int i = count - 1; i >= 0; --i)
        chips << makeChip(QStringLiteral("Maker%1").arg(i), QStringLiteral("again"));
    chips << makeChip("maker7", "case differs");
    expected << "maker7";

    // Processor time, so that other programs on a busy machine do not count; the sanitizer build
    // takes a few seconds, a list search minutes.
    const std::clock_t start = std::clock();
    const QStringList names = distinctManufacturers(chips);
    const double seconds = double(std::clock() - start) / CLOCKS_PER_SEC;
    QCOMPARE(names, expected);
    QVERIFY2(seconds < 20, qPrintable(QStringLiteral("%1 s").arg(seconds)));
}

namespace {

// A device that claims to hold a file of records but delivers only part of it, or fails.
class FailingDevice : public QIODevice
{
public:
    FailingDevice(QByteArray content, qint64 deliver, bool fail)
        : content(std::move(content)), deliver(deliver), fail(fail)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 n = std::min(maxSize, deliver - position);
        if (n <= 0) {
            if (fail)
                setErrorString(QStringLiteral("Input/output error"));
            return fail ? -1 : 0;
        }
        std::memcpy(data, content.constData() + position, static_cast<size_t>(n));
        position += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray content;
    qint64 deliver;
    bool fail;
    qint64 position = 0;
};

} // namespace

void TestChipList::shortReadIsALoadFailure_data()
{
    QTest::addColumn<int>("deliver");
    QTest::addColumn<bool>("fail");
    QTest::newRow("empty from a non-empty file") << 0 << false;
    QTest::newRow("read error at once") << 0 << true;
    QTest::newRow("one record of three, then end") << 172 << false;
    QTest::newRow("one record of three, then error") << 172 << true;
}

void TestChipList::shortReadIsALoadFailure()
{
    QFETCH(int, deliver);
    QFETCH(bool, fail);
    const QByteArray image = imageOf({makeChip("A", "1"), makeChip("B", "2"), makeChip("C", "3")});
    FailingDevice device(image, deliver, fail);
    QList<CHIP_INFO> chips{makeChip("Kept", "K")};
    QString error;
    QVERIFY(!readChipList(device, image.size(), chips, &error));
    QCOMPARE(models(chips), QStringList{"K"});
    QVERIFY(!error.isEmpty());

    // The whole file read is a success, a file larger than a chip list can be is refused unread.
    FailingDevice whole(image, image.size(), false);
    QVERIFY(readChipList(whole, image.size(), chips, &error));
    QCOMPARE(models(chips), (QStringList{"1", "2", "3"}));
    FailingDevice huge(image, image.size(), false);
    QVERIFY(!readChipList(huge, kMaxChipListFileSize + 1, chips, &error));
    QCOMPARE(error, QStringLiteral("File too large"));
    QCOMPARE(huge.pos(), qint64(0));
}

void TestChipList::onlyARegularFileIsRead_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<bool>("missing");
    QTest::newRow("missing") << "missing"
                             << "No such file or directory" << true;
    QTest::newRow("FIFO") << "fifo"
                          << "Not a regular file" << false;
    QTest::newRow("directory") << "directory"
                               << "Is a directory" << false;
    QTest::newRow("character device") << "device"
                                      << "Not a regular file" << false;
    QTest::newRow("symbolic link to a FIFO") << "link"
                                             << "Not a regular file" << false;
}

void TestChipList::onlyARegularFileIsRead()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QFETCH(bool, missing);
    QString target = path;
    if (kind == "fifo" || kind == "link") {
        const QString fifo = dir.filePath(QStringLiteral("fifo"));
        QFile::remove(fifo);
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
        if (kind == "link")
            QVERIFY(QFile::link(fifo, path));
        else
            target = fifo;
    } else if (kind == "directory") {
        target = dir.filePath(QStringLiteral("dir.dat"));
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("dir.dat")));
    } else if (kind == "device") {
        target = QStringLiteral("/dev/zero"); // would never end
    }
    FifoWatchdog watchdog(target);
    QList<CHIP_INFO> chips{makeChip("Kept", "K")};
    bool wasMissing = !missing;
    QVERIFY(!loadChipList(nullptr, interaction, chips, target, &wasMissing));
    QVERIFY(!watchdog.fired());
    QCOMPARE(wasMissing, missing);
    QCOMPARE(models(chips), QStringList{"K"});
    QCOMPARE(interaction.messages(), QStringList{expectedWarning(target, reason)});
    QFile::remove(path);
}

// How a user names a chip on the command line against how records name it.
void TestChipList::modelNames_data()
{
    QTest::addColumn<QString>("record");
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<bool>("matches");
    QTest::newRow("exact") << "W25Q64JV"
                           << "W25Q64JV" << true;
    QTest::newRow("any case") << "W25Q64JV"
                              << "w25q64jv" << true;
    QTest::newRow("one of several names") << "W25Q64BV/W25Q64CV/W25Q64FV"
                                          << "w25q64cv" << true;
    QTest::newRow("dot stands for one character") << "W25Q128.V"
                                                  << "W25Q128JV" << true;
    QTest::newRow("dot in one of several") << "MX25L3205/MX25L32.5D"
                                           << "mx25l3245d" << true;
    QTest::newRow("dot is one character, not more") << "W25Q128.V"
                                                    << "W25Q128JVX" << false;
    QTest::newRow("the whole name with its slash") << "A/B"
                                                   << "a/b" << true;
    QTest::newRow("a part of a name is no name") << "W25Q64JV"
                                                 << "W25Q64" << false;
    QTest::newRow("nothing names nothing") << "W25Q64JV"
                                           << "" << false;
}

void TestChipList::modelNames()
{
    QFETCH(QString, record);
    QFETCH(QString, wanted);
    QFETCH(bool, matches);
    QCOMPARE(modelNameMatches(record, wanted), matches);
}

void TestChipList::lookupByIdAndSameGeometry()
{
    const CHIP_INFO a = makeTestChip("Winbond", "W25Q64FV", {0xEF, 0x40, 0x17}, 8 << 20);
    const CHIP_INFO b = makeTestChip("Winbond", "W25Q64JV", {0xEF, 0x40, 0x17, 0x00}, 8 << 20);
    CHIP_INFO otherSector = makeTestChip("Other", "XX64", {0xEF, 0x40, 0x17}, 8 << 20, 65536);
    CHIP_INFO otherErase = a;
    otherErase.Config.EraseChip = 0x60;
    CHIP_INFO reserved = a;
    reserved.Config.Reserved = 0x77;
    const CHIP_INFO otherId = makeTestChip("Winbond", "W25Q128JV", {0xEF, 0x40, 0x18}, 16 << 20);
    const QList<CHIP_INFO> list{a, otherId, b, otherSector};
    const std::uint8_t id[16] = {0xEF, 0x40, 0x17, 0x99};
    const QList<CHIP_INFO> found = chipsWithId(list, id);
    QCOMPARE(found.size(), 3);
    QCOMPARE(chipModelName(found[0]), QStringLiteral("W25Q64FV"));
    QCOMPARE(chipModelName(found[1]), QStringLiteral("W25Q64JV"));
    QVERIFY(sameChipGeometry(a, b));
    QVERIFY(sameChipGeometry(a, reserved));
    QVERIFY(!sameChipGeometry(a, otherSector));
    QVERIFY(!sameChipGeometry(a, otherErase));
    QVERIFY(!sameChipGeometry(a, otherId));
    QCOMPARE(chipsWithId(list, otherId.Config.FlashID).size(), 1);
}

QTEST_MAIN(TestChipList)
#include "tst_chiplist.moc"

void TestChipList::recordGeometry_data()
{
    // Changes to a record of 16 pages of 256 bytes, 4 KiB sectors, 3-byte addresses, ID length 3.
    QTest::addColumn<QString>("changes");
    QTest::addColumn<QString>("fault"); // empty: valid
    const QString valid;
    QTest::newRow("page 256, sector 4096") << "" << valid;
    QTest::newRow("ID length 0: any chip") << "id=0" << valid;
    QTest::newRow("ID length 16") << "id=16" << valid;
    QTest::newRow("4-byte addresses") << "read=4 write=4 erase=4" << valid;
    QTest::newRow("sector as large as a page") << "page=4096" << valid;
    QTest::newRow("1-byte pages") << "page=1" << valid;
    QTest::newRow("4 GiB exactly") << "pages=16777216" << valid;
    QTest::newRow("page 0") << "page=0" << "PageSize 0 is not above 0";
    QTest::newRow("page most negative") << "page=-2147483648" << "PageSize -2147483648 is not above 0";
    QTest::newRow("page 3") << "page=3" << "PageSize 3 is not a power of two";
    QTest::newRow("sector 0") << "sector=0" << "SectorSize 0 is not above 0";
    QTest::newRow("sector negative") << "sector=-4096" << "SectorSize -4096 is not above 0";
    QTest::newRow("sector 3") << "sector=3" << "SectorSize 3 is not a power of two";
    QTest::newRow("sector below page") << "sector=128" << "SectorSize 128 is smaller than PageSize 256";
    QTest::newRow("no pages") << "pages=0" << "NumPages 0 is not above 0";
    QTest::newRow("pages negative") << "pages=-1" << "NumPages -1 is not above 0";
    QTest::newRow("4 GiB + 1 page") << "pages=16777217"
                                    << "PageSize 256 x NumPages 16777217 is more than 4 GiB";
    QTest::newRow("largest of both") << "page=1073741824 sector=1073741824 pages=2147483647"
                                     << "PageSize 1073741824 x NumPages 2147483647 is more than 4 GiB";
    QTest::newRow("read 2 address bytes") << "read=2" << "ReadDataAddrBytes 2 is neither 3 nor 4";
    QTest::newRow("write 0 address bytes") << "write=0" << "WritePageAddrBytes 0 is neither 3 nor 4";
    QTest::newRow("erase 5 address bytes") << "erase=5" << "EraseSectorAddrBytes 5 is neither 3 nor 4";
    QTest::newRow("ID length 17") << "id=17" << "IDLength 17 is more than 16";
    QTest::newRow("two faults: the first") << "read=2 sector=3" << "SectorSize 3 is not a power of two";
}

void TestChipList::recordGeometry()
{
    QFETCH(QString, changes);
    QFETCH(QString, fault);
    CHIP_INFO chip = makeChip("Maker", "Model");
    SPIFlashConfig& c = chip.Config;
    for (const QString& change : changes.split(' ', Qt::SkipEmptyParts)) {
        const QString field = change.section('=', 0, 0);
        const qint64 value = change.section('=', 1).toLongLong();
        std::int32_t* sizes[] = {&c.PageSize, &c.NumPages, &c.SectorSize};
        std::uint8_t* bytes[] = {&c.ReadDataAddrBytes, &c.WritePageAddrBytes, &c.EraseSectorAddrBytes,
                                 &c.IDLength};
        const int size = QStringList{"page", "pages", "sector"}.indexOf(field);
        const int byte = QStringList{"read", "write", "erase", "id"}.indexOf(field);
        QVERIFY2(size >= 0 || byte >= 0, qPrintable(field));
        if (size >= 0)
            *sizes[size] = std::int32_t(value);
        else
            *bytes[byte] = std::uint8_t(value);
    }
    QCOMPARE(chipRecordFaultText(c, chipRecordFault(c)), fault);
    QCOMPARE(chipRecordFaultMessage(c, chipRecordFault(c)).isEmpty(), fault.isEmpty());

    // The loader takes or leaves out the record the same way, behind a valid one.
    QVERIFY(writeBytes(path, imageOf({makeChip("First", "F"), chip})));
    QList<CHIP_INFO> chips;
    QList<InvalidChipRecord> invalid;
    QVERIFY(loadChipList(nullptr, interaction, chips, path, nullptr, &invalid));
    QCOMPARE(chips.size() + invalid.size(), 2);
    QCOMPARE(invalid.size() == 1 && invalid.first().number == 2, !fault.isEmpty());
}
