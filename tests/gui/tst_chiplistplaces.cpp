// Plain C++ with a member named "slots": it must come before any Qt header.
#include "tests/support/simulatedtestadapter.h"

#include "app/mainwindow.h"
#include "core/chip/chiplist.h"
#include "tests/support/scriptedinteraction.h"
#include "tests/support/testchips.h"
#include "tests/support/virtualclock.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace korvane;

namespace {

QList<CHIP_INFO> listOf(const QString& maker, int count)
{
    QList<CHIP_INFO> chips;
    for (int i = 1; i <= count; ++i)
        chips << makeTestChip(maker, maker + QString::number(i), {0xEF, 0x40, std::uint8_t(0x10 + i)},
                              1 << 20);
    return chips;
}

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList itemsOf(const QComboBox* box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

} // namespace

// Where the window and the chip list dialog find the chip list, and where the dialog saves it:
// the working file, the user's copy, the installed list, as a program installed on a system meets
// them.
class TestChipListPlaces : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void windowReadsAndDialogSaves_data();
    void windowReadsAndDialogSaves();
    void userFolderThatCannotBeMadeKeepsTheInstalledList();

private:
    bool writeList(const QString& path, const QList<CHIP_INFO>& chips);
    QString working() const { return dir->filePath(QStringLiteral("work/ChipListData.dat")); }
    QString user() const { return dir->filePath(QStringLiteral("data/korvane-spiflash/ChipListData.dat")); }
    QString installed() const
    {
        return dir->filePath(QStringLiteral("system/korvane-spiflash/ChipListData.dat"));
    }
    // Deletes the first row of the chip list dialog and closes it, which saves.
    void deleteFirstChipInTheDialog();

    QString previousDir;
    QByteArray previousData;
    QByteArray previousDirs;
    std::unique_ptr<QTemporaryDir> dir;
    ScriptedInteraction interaction;
    VirtualClock clock;
    std::unique_ptr<AdapterLibrary> adapter;
    std::unique_ptr<MainWindow> window;
};

void TestChipListPlaces::init()
{
    previousDir = QDir::currentPath();
    previousData = qgetenv("XDG_DATA_HOME");
    previousDirs = qgetenv("XDG_DATA_DIRS");
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    QVERIFY(QDir().mkpath(dir->filePath(QStringLiteral("work"))));
    QVERIFY(QDir::setCurrent(dir->filePath(QStringLiteral("work"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir->filePath(QStringLiteral("data"))));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(dir->filePath(QStringLiteral("system"))));
    interaction.clear();
    adapter = createDefaultTestAdapter(clock);
}

void TestChipListPlaces::cleanup()
{
    window.reset();
    adapter.reset();
    qputenv("XDG_DATA_HOME", previousData);
    qputenv("XDG_DATA_DIRS", previousDirs);
    QDir::setCurrent(previousDir);
    dir.reset();
}

bool TestChipListPlaces::writeList(const QString& path, const QList<CHIP_INFO>& chips)
{
    QString error;
    return QDir().mkpath(QFileInfo(path).absolutePath()) && writeChipListFile(path, chips, &error);
}

void TestChipListPlaces::deleteFirstChipInTheDialog()
{
    interaction.dialogScripts.enqueue([](QDialog* dialog) {
        auto* table = dialog->findChild<QTableWidget*>(QStringLiteral("chipListTableWidget"));
        table->setCurrentCell(0, 0);
        table->actions().first()->trigger();
        dialog->close();
        return int(QDialog::Rejected);
    });
    window->findChild<QAction*>(QStringLiteral("actionAddChip"))->trigger();
}

void TestChipListPlaces::windowReadsAndDialogSaves_data()
{
    QTest::addColumn<bool>("hasWorking");
    QTest::addColumn<bool>("hasUser");
    QTest::addColumn<bool>("hasInstalled");
    QTest::addColumn<QString>("readFrom"); // manufacturer of the list the window shows
    QTest::addColumn<QString>("savedTo");  // working, user

    QTest::newRow("installed only: the first save makes the user's copy") << false << false << true << "I"
                                                                          << "user";
    QTest::newRow("user's copy over the installed one") << false << true << true << "U"
                                                        << "user";
    QTest::newRow("working file over both") << true << true << true << "W"
                                            << "working";
    QTest::newRow("working file alone") << true << false << false << "W"
                                        << "working";
}

void TestChipListPlaces::windowReadsAndDialogSaves()
{
    QFETCH(bool, hasWorking);
    QFETCH(bool, hasUser);
    QFETCH(bool, hasInstalled);
    QFETCH(QString, readFrom);
    QFETCH(QString, savedTo);

    const QMap<QString, QList<CHIP_INFO>> lists{{QStringLiteral("W"), listOf(QStringLiteral("W"), 2)},
                                                {QStringLiteral("U"), listOf(QStringLiteral("U"), 3)},
                                                {QStringLiteral("I"), listOf(QStringLiteral("I"), 4)}};
    if (hasWorking)
        QVERIFY(writeList(working(), lists[QStringLiteral("W")]));
    if (hasUser)
        QVERIFY(writeList(user(), lists[QStringLiteral("U")]));
    if (hasInstalled)
        QVERIFY(writeList(installed(), lists[QStringLiteral("I")]));
    const QByteArray installedBefore = bytesOf(installed());

    window = std::make_unique<MainWindow>(*adapter, interaction, clock);
    auto* models = window->findChild<QComboBox*>(QStringLiteral("modelNameComboBox"));
    QCOMPARE(window->findChild<QComboBox*>(QStringLiteral("manufacturerComboBox"))->currentText(), readFrom);
    const int count = lists[readFrom].size();
    QCOMPARE(models->count(), count);

    deleteFirstChipInTheDialog();
    QVERIFY(interaction.reports().isEmpty());
    const QString saved = savedTo == QLatin1String("user") ? user() : working();
    QList<CHIP_INFO> chips;
    QString error;
    QVERIFY2(readChipListFile(saved, chips, &error), qPrintable(error));
    QCOMPARE(chips.size(), count - 1);
    // The window reads the saved list again; the installed list is never written.
    QCOMPARE(itemsOf(models).size(), count - 1);
    QCOMPARE(models->currentText(), readFrom + QStringLiteral("2"));
    QCOMPARE(bytesOf(installed()), installedBefore);
    if (savedTo == QLatin1String("user"))
        QVERIFY(!QFile::exists(working()));

    // Next time the saved list is found first.
    window = std::make_unique<MainWindow>(*adapter, interaction, clock);
    QCOMPARE(window->findChild<QComboBox*>(QStringLiteral("modelNameComboBox"))->count(), count - 1);
}

void TestChipListPlaces::userFolderThatCannotBeMadeKeepsTheInstalledList()
{
    QVERIFY(writeList(installed(), listOf(QStringLiteral("I"), 4)));
    const QByteArray installedBefore = bytesOf(installed());
    // A file where the user's data folder would be.
    QFile blocker(dir->filePath(QStringLiteral("data")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    window = std::make_unique<MainWindow>(*adapter, interaction, clock);
    QCOMPARE(window->findChild<QComboBox*>(QStringLiteral("modelNameComboBox"))->count(), 4);
    deleteFirstChipInTheDialog();
    const QList<InteractionCall> shown = interaction.reports();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, QStringLiteral("Korvane SPI Flash Program"));
    QVERIFY2(shown[0].text.startsWith(QStringLiteral("不能打开文件 %1:\n").arg(user())),
             qPrintable(shown[0].text));
    QCOMPARE(bytesOf(installed()), installedBefore);
    QVERIFY(!QFile::exists(working()));
}

QTEST_MAIN(TestChipListPlaces)
#include "tst_chiplistplaces.moc"
