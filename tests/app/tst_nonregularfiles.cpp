#include "tests/app/flashwindowfixture.h"
#include "tests/support/fifowatchdog.h"

#include <sys/stat.h>

using namespace korvane;

// A FIFO or a device where a file is expected is refused with the open-failure each place has;
// before, opening a FIFO blocked the window until something wrote to it. Each case runs under a
// watchdog that frees a blocked reader, so that a regression fails instead of hanging.
class TestNonRegularFiles : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(
            f.setUp({FlashWindowFixture::chipRecord(QStringLiteral("Chip"), {0xEF, 0x40, 0x15}, 64 * 1024)},
                    64 * 1024));
    }
    void cleanup() { f.tearDown(); }

    void openFileRefusesThemAndKeepsTheBuffer_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO") << "fifo";
        QTest::newRow("character device") << "device";
    }
    void openFileRefusesThemAndKeepsTheBuffer()
    {
        QFETCH(QString, kind);
        f.loadBytes(QByteArray("keep me"));
        QHexEditData* model = f.model();
        const QString path =
            kind == "fifo" ? makeFifo(QStringLiteral("image.bin")) : QStringLiteral("/dev/zero");

        FifoWatchdog watchdog(path);
        QTest::ignoreMessage(QtDebugMsg, "Open file error");
        f.load(path);
        QVERIFY(!watchdog.fired());
        QCOMPARE(f.model(), model);
        QCOMPARE(f.buffer(), QByteArray("keep me"));
        QVERIFY(f.interaction.reports().isEmpty());
    }

    // 文件另存为 onto a FIFO, raw or as records: refused with the reason, the FIFO left in place
    // (QSaveFile alone renames a regular file over it).
    void saveAsRefusesAFifo_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("raw") << "out.bin";
        QTest::newRow("Intel HEX") << "out.hex";
    }
    void saveAsRefusesAFifo()
    {
        QFETCH(QString, name);
        f.loadBytes(QByteArray("keep me"));
        const QString path = makeFifo(name);
        f.interaction.clear();
        f.interaction.fileNames.enqueue(path);
        f.child<QAction>("actionSaveAs")->trigger();
        QCOMPARE(
            f.interaction.messages(),
            QStringList{QStringLiteral("不能打开文件 %1:\n%1 is a FIFO, not a regular file.").arg(path)});
        struct stat status;
        QVERIFY(lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISFIFO(status.st_mode));
    }

    void firmwareUpgradeRefusesAFifo()
    {
        const QString path = makeFifo(QStringLiteral("firmware.bin"));
        f.adapter->clearLog();
        f.interaction.clear();
        f.interaction.fileNames.enqueue(path);

        FifoWatchdog watchdog(path);
        f.child<QAction>("actionUpgrade")->trigger();
        QVERIFY(!watchdog.fired());
        QCOMPARE(f.interaction.messages(), QStringList{QStringLiteral("打开固件文件失败！")});
        QCOMPARE(f.interaction.progresses.size(), 1);
        QVERIFY(f.interaction.progresses[0]->closed);
        QVERIFY(f.adapter->calls().empty());
    }

    void startUpRefusesAFifoAsChipDatabase()
    {
        f.window.reset();
        QVERIFY(QFile::remove(QStringLiteral("ChipListData.dat")));
        QCOMPARE(mkfifo("ChipListData.dat", 0644), 0);
        f.interaction.clear();

        FifoWatchdog watchdog(QStringLiteral("ChipListData.dat"));
        f.window = std::make_unique<MainWindow>(*f.adapter, f.interaction, f.clock);
        QVERIFY(!watchdog.fired());
        QCOMPARE(f.interaction.messages(),
                 QStringList{QStringLiteral("不能打开文件 ./ChipListData.dat:\nNot a regular file.")});
        QCOMPARE(f.interaction.calls[0].parent.data(), static_cast<QWidget*>(f.window.get()));
        QCOMPARE(f.child<QComboBox>("manufacturerComboBox")->count(), 0);
        QVERIFY(QFileInfo(QStringLiteral("ChipListData.dat")).exists());
        QVERIFY(!QFileInfo(QStringLiteral("ChipListData.dat")).isFile());
    }

private:
    QString makeFifo(const QString& name)
    {
        const QString path = f.tempPath(name);
        if (mkfifo(QFile::encodeName(path).constData(), 0644) != 0)
            qFatal("mkfifo failed");
        return path;
    }

    FlashWindowFixture f;
};

QTEST_MAIN(TestNonRegularFiles)
#include "tst_nonregularfiles.moc"
