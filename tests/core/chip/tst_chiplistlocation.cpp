#include "core/chip/chiplistlocation.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace korvane;

namespace {

// What is at one of the places a test lays out.
enum class Entry
{
    None,
    File,
    Folder, // a folder where the file would be
    Fifo,
};

bool lay(const QString& path, Entry entry)
{
    if (entry == Entry::None)
        return true;
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    if (entry == Entry::Folder)
        return QDir().mkpath(path);
    if (entry == Entry::Fifo)
        return mkfifo(QFile::encodeName(path).constData(), 0644) == 0;
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("x") == 1;
}

} // namespace

Q_DECLARE_METATYPE(Entry)

class TestChipListLocation : public QObject
{
    Q_OBJECT

private slots:
    void firstPlaceFoundWins_data();
    void firstPlaceFoundWins();
    void standardPlacesFollowTheDataFolders();
    void folderForTheUsersCopy();
};

void TestChipListLocation::firstPlaceFoundWins_data()
{
    QTest::addColumn<Entry>("working");
    QTest::addColumn<Entry>("user");
    QTest::addColumn<Entry>("installed1");
    QTest::addColumn<Entry>("installed2");
    QTest::addColumn<bool>("noUserPlace");
    QTest::addColumn<QString>("read"); // which place: working, user, installed1, installed2
    QTest::addColumn<QString>("save");

    const Entry N = Entry::None, F = Entry::File, D = Entry::Folder, P = Entry::Fifo;
    QTest::newRow("nothing anywhere: the working file") << N << N << N << N << false << "working"
                                                        << "working";
    QTest::newRow("working file first") << F << F << F << F << false << "working"
                                        << "working";
    QTest::newRow("user's copy before installed") << N << F << F << F << false << "user"
                                                  << "user";
    QTest::newRow("installed: read there, saved as the user's") << N << N << F << F << false << "installed1"
                                                                << "user";
    QTest::newRow("second installed copy") << N << N << N << F << false << "installed2"
                                           << "user";
    QTest::newRow("installed place that is a folder is passed over")
        << N << N << D << F << false << "installed2"
        << "user";
    QTest::newRow("installed without a user place: saved as the working file")
        << N << N << F << N << true << "installed1"
        << "working";
    // Whatever stands under the working name is read, so that its fault is reported.
    QTest::newRow("working name is a folder") << D << F << F << N << false << "working"
                                              << "working";
    QTest::newRow("working name is a FIFO") << P << N << F << N << false << "working"
                                            << "working";
    QTest::newRow("user's name is a folder") << N << D << F << N << false << "user"
                                             << "user";
}

void TestChipListLocation::firstPlaceFoundWins()
{
    QFETCH(Entry, working);
    QFETCH(Entry, user);
    QFETCH(Entry, installed1);
    QFETCH(Entry, installed2);
    QFETCH(bool, noUserPlace);
    QFETCH(QString, read);
    QFETCH(QString, save);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QMap<QString, QString> paths{
        {QStringLiteral("working"), dir.filePath(QStringLiteral("work/ChipListData.dat"))},
        {QStringLiteral("user"), dir.filePath(QStringLiteral("home/korvane-spiflash/ChipListData.dat"))},
        {QStringLiteral("installed1"),
         dir.filePath(QStringLiteral("usr/share/korvane-spiflash/ChipListData.dat"))},
        {QStringLiteral("installed2"),
         dir.filePath(QStringLiteral("opt/share/korvane-spiflash/ChipListData.dat"))},
    };
    QVERIFY(lay(paths[QStringLiteral("working")], working));
    QVERIFY(lay(paths[QStringLiteral("user")], user));
    QVERIFY(lay(paths[QStringLiteral("installed1")], installed1));
    QVERIFY(lay(paths[QStringLiteral("installed2")], installed2));

    ChipListPlaces places;
    places.working = paths[QStringLiteral("working")];
    places.user = noUserPlace ? QString() : paths[QStringLiteral("user")];
    places.installed = QStringList{paths[QStringLiteral("installed1")], paths[QStringLiteral("installed2")]};
    const ChipListLocation location = locateChipList(places);
    QCOMPARE(location.readPath, paths[read]);
    QCOMPARE(location.savePath, paths[save]);
}

void TestChipListLocation::standardPlacesFollowTheDataFolders()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray oldHome = qgetenv("XDG_DATA_HOME");
    const QByteArray oldDirs = qgetenv("XDG_DATA_DIRS");
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("home"))));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(dir.filePath(QStringLiteral("a")) + QLatin1Char(':') +
                                               dir.filePath(QStringLiteral("b"))));
    const ChipListPlaces places = ChipListPlaces::standard();
    qputenv("XDG_DATA_HOME", oldHome);
    qputenv("XDG_DATA_DIRS", oldDirs);

    QCOMPARE(places.working, QStringLiteral("./ChipListData.dat"));
    QCOMPARE(places.user, dir.filePath(QStringLiteral("home/korvane-spiflash/ChipListData.dat")));
    // The copy installed with this program comes before the system's data folders, in their order.
    QCOMPARE(places.installed.size(), 3);
    QCOMPARE(QDir::cleanPath(places.installed.at(0)),
             QDir::cleanPath(QCoreApplication::applicationDirPath() +
                             QStringLiteral("/../share/korvane-spiflash/ChipListData.dat")));
    QCOMPARE(places.installed.at(1), dir.filePath(QStringLiteral("a/korvane-spiflash/ChipListData.dat")));
    QCOMPARE(places.installed.at(2), dir.filePath(QStringLiteral("b/korvane-spiflash/ChipListData.dat")));
}

void TestChipListLocation::folderForTheUsersCopy()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString error;
    QVERIFY(makeChipListFolder(dir.filePath(QStringLiteral("a/b/ChipListData.dat")), &error));
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("a/b"))).isDir());
    QVERIFY(makeChipListFolder(dir.filePath(QStringLiteral("a/b/ChipListData.dat")), &error));
    // A file where a folder should be.
    QVERIFY(lay(dir.filePath(QStringLiteral("plain")), Entry::File));
    QVERIFY(!makeChipListFolder(dir.filePath(QStringLiteral("plain/sub/ChipListData.dat")), &error));
    QVERIFY(error.contains(QStringLiteral("plain/sub")));
}

QTEST_GUILESS_MAIN(TestChipListLocation)
#include "tst_chiplistlocation.moc"
