// Plain C++ with a member named "slots": it must come before any Qt header.
#include "tests/support/simulatedtestadapter.h"

#include "app/mainwindow.h"
#include "core/chip/chiplist.h"
#include "gui/addchipdialog.h"
#include "gui/chiplistdialog.h"
#include "tests/support/scriptedinteraction.h"
#include "tests/support/virtualclock.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

using namespace korvane;

namespace {

const QString kFile = QStringLiteral("./ChipListData.dat");

CHIP_INFO makeChip(const QString& manufacturer, const QString& model)
{
    CHIP_INFO chip{};
    chip.Config.ReadID = 0x9F;
    chip.Config.IDLength = 3;
    chip.Config.PageSize = 256;
    chip.Config.NumPages = 4096;
    chip.Config.SectorSize = 4096;
    chip.Config.WritePageAddrBytes = chip.Config.EraseSectorAddrBytes = chip.Config.ReadDataAddrBytes = 3;
    setChipName(chip.Manufacturer, manufacturer);
    setChipName(chip.ModelName, model);
    return chip;
}

QByteArray fileBytes()
{
    QFile file(kFile);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList itemsOf(const QComboBox* box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

template <typename T> T* child(QObject* parent, const char* name)
{
    T* found = parent->findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("no child %s", name);
    return found;
}

} // namespace

// The main window hands the chip database to the chip list dialog and reads it again afterwards.
class TestChipListHandOff : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        previousDir = QDir::currentPath();
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        QVERIFY(QDir::setCurrent(dir->path()));
        QString error;
        QVERIFY(writeChipListFile(
            kFile, {makeChip("Beta", "B1"), makeChip("Acme", "A1"), makeChip("Beta", "B2")}, &error));
        interaction = std::make_unique<ScriptedInteraction>();
        adapter = createDefaultTestAdapter(clock);
        window = std::make_unique<MainWindow>(*adapter, *interaction, clock);
        QCOMPARE(child<QComboBox>(window.get(), "manufacturerComboBox")->currentText(),
                 QStringLiteral("Beta"));
        // Select another chip, so that the return to the first one shows.
        child<QComboBox>(window.get(), "modelNameComboBox")->setCurrentText(QStringLiteral("B2"));
        QCOMPARE(chipModelName(window->currentChipInfo()), QStringLiteral("B2"));
    }
    void cleanup()
    {
        window.reset();
        adapter.reset();
        interaction.reset();
        QDir::setCurrent(previousDir);
        dir.reset();
    }

    void addedChipIsPickedUp()
    {
        ScriptedInteraction& ui = *interaction;
        ui.dialogScripts.enqueue([&ui](QDialog* d) {
            // The instruction dialog runs nested, from this script.
            ui.dialogScripts.enqueue([](QDialog* add) {
                child<QSpinBox>(add, "pageSizeSpinBox")->setValue(256);
                child<QSpinBox>(add, "numPagesSpinBox")->setValue(65536);
                child<QSpinBox>(add, "sectorSizeSpinBox")->setValue(4096);
                for (const char* name :
                     {"writePageAddrNumSpinBox", "eraseSectorAddrNumSpinBox", "readDataAddrNumSpinBox"})
                    child<QSpinBox>(add, name)->setValue(3);
                child<QSpinBox>(add, "flashIDSpinBox_0")->setValue(0xC2);
                child<QPushButton>(add, "positivePushButton")->click();
                return add->result();
            });
            child<QPushButton>(d, "instructionsPushButton")->click();
            child<QLineEdit>(d, "manufacturerLineEdit")->setText(QStringLiteral("Aaa"));
            child<QLineEdit>(d, "modelNumberLineEdit")->setText(QStringLiteral("Z9"));
            child<QPushButton>(d, "addPushButton")->click();
            d->close(); // the window's close control
            return d->result();
        });
        child<QAction>(window.get(), "actionAddChip")->trigger();

        const QList<InteractionCall> execs = ui.callsOf(InteractionCall::ExecDialog);
        QCOMPARE(execs.size(), 2);
        QCOMPARE(execs[0].parent.data(), static_cast<QWidget*>(window.get()));
        QCOMPARE(execs[0].title, QStringLiteral("Chip List"));
        QCOMPARE(execs[0].text, QStringLiteral("ChipListDialog"));
        QCOMPARE(execs[1].text, QStringLiteral("AddChipDialog"));
        QVERIFY(ui.callsOf(InteractionCall::Warning).isEmpty());

        // The file is sorted, so the new manufacturer comes first and its chip is selected.
        QCOMPARE(itemsOf(child<QComboBox>(window.get(), "manufacturerComboBox")),
                 QStringList({"Aaa", "Acme", "Beta"}));
        QCOMPARE(itemsOf(child<QComboBox>(window.get(), "modelNameComboBox")), QStringList({"Z9"}));
        const CHIP_INFO& current = window->currentChipInfo();
        QCOMPARE(chipManufacturer(current), QStringLiteral("Aaa"));
        QCOMPARE(current.Config.NumPages, 65536);
        QCOMPARE(current.Config.FlashID[0], std::uint8_t(0xC2));
        QCOMPARE(child<QLabel>(window.get(), "memSizeLabel")->text(), QStringLiteral("16 MByte"));
    }

    void escapeLeavesTheFileAndReselects()
    {
        const QByteArray before = fileBytes();
        interaction->dialogScripts.enqueue([](QDialog* d) {
            child<QLineEdit>(d, "manufacturerLineEdit")->setText(QStringLiteral("Aaa"));
            d->reject(); // what Esc does: no close event, no save
            return d->result();
        });
        child<QAction>(window.get(), "actionAddChip")->trigger();
        QCOMPARE(fileBytes(), before);
        // Read again all the same: back at the first manufacturer's first model.
        QCOMPARE(child<QComboBox>(window.get(), "manufacturerComboBox")->currentText(),
                 QStringLiteral("Beta"));
        QCOMPARE(chipModelName(window->currentChipInfo()), QStringLiteral("B1"));
    }

    void deletionReachesTheWindow()
    {
        interaction->dialogScripts.enqueue([](QDialog* d) {
            child<QComboBox>(d, "comboBoxManufacturer")->setCurrentText(QStringLiteral("Beta"));
            auto* table = child<QTableWidget>(d, "chipListTableWidget");
            table->setCurrentCell(0, 0);
            table->actions().first()->trigger();
            d->close();
            return d->result();
        });
        child<QAction>(window.get(), "actionAddChip")->trigger();
        QCOMPARE(itemsOf(child<QComboBox>(window.get(), "manufacturerComboBox")),
                 QStringList({"Acme", "Beta"}));
        child<QComboBox>(window.get(), "manufacturerComboBox")->setCurrentText(QStringLiteral("Beta"));
        QCOMPARE(itemsOf(child<QComboBox>(window.get(), "modelNameComboBox")), QStringList({"B2"}));
    }

    // Records the chip list leaves out: one warning from the window, listed nowhere, and written
    // back unchanged by the chip list dialog's save, behind the valid ones.
    void invalidRecordsWarnedOnceAndKept()
    {
        CHIP_INFO sector3 = makeChip("Bad", "S3");
        sector3.Config.SectorSize = 3;
        CHIP_INFO address2 = makeChip("Bad", "A2");
        address2.Config.EraseSectorAddrBytes = 2;
        const QList<CHIP_INFO> file{makeChip("Beta", "B1"), sector3, makeChip("Acme", "A1"), address2};
        QString error;
        QVERIFY(writeChipListFile(kFile, file, &error));
        interaction->clear();
        window = std::make_unique<MainWindow>(*adapter, *interaction, clock);
        const QStringList warning{
            "芯片库 ./ChipListData.dat 中有2条记录无效，已略过。\n第2条：SectorSize 为 3，不是2的幂。"};
        QCOMPARE(interaction->messages(), warning);
        QCOMPARE(itemsOf(child<QComboBox>(window.get(), "manufacturerComboBox")),
                 QStringList({"Beta", "Acme"}));

        int rows = -1;
        interaction->dialogScripts.enqueue([&rows](QDialog* d) {
            auto* table = child<QTableWidget>(d, "chipListTableWidget");
            rows = table->rowCount();
            table->setCurrentCell(0, 0); // B1
            table->actions().first()->trigger();
            d->close();
            return d->result();
        });
        child<QAction>(window.get(), "actionAddChip")->trigger();
        QCOMPARE(rows, 2);
        QCOMPARE(interaction->messages(), warning);
        QByteArray expected;
        for (const CHIP_INFO& chip : {file[2], sector3, address2})
            expected.append(reinterpret_cast<const char*>(&chip), sizeof chip);
        QCOMPARE(fileBytes(), expected);
    }

private:
    QString previousDir;
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<ScriptedInteraction> interaction;
    VirtualClock clock;
    std::unique_ptr<SimulatedTestAdapter> adapter;
    std::unique_ptr<MainWindow> window;
};

QTEST_MAIN(TestChipListHandOff)
#include "tst_chiplisthandoff.moc"
