#include "app/mainwindow.h"
#include "gui/chipdetectdialog.h"
#include "tests/support/scriptedinteraction.h"
#include "tests/support/simulatedtestadapter.h"
#include "tests/support/testchips.h"
#include "tests/support/virtualclock.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <memory>

using namespace korvane;

namespace {

constexpr int kMiB = 1024 * 1024;
const char* const kEdits[] = {"manufacturerLineEdit", "modelNameLineEdit",  "memSizeLineEdit",
                              "pageSizeLineEdit",     "sectorSizeLineEdit", "flashIDLineEdit"};

QList<CHIP_INFO> testChips()
{
    QList<CHIP_INFO> list;
    list << makeTestChip("Winbond", "W25Q64BV/W25Q64CV/W25Q64FV", {0xEF, 0x40, 0x17}, 8 * kMiB)
         << makeTestChip("GigaDevice", "GD25Q16", {0xC8, 0x40, 0x15}, 2 * kMiB, 65536)
         // Same three ID bytes as the first record: never found.
         << makeTestChip("Winbond", "W25Q64JV", {0xEF, 0x40, 0x17, 0x01}, 8 * kMiB)
         << makeTestChip("Winbond", "W25Q128", {0xEF, 0x40, 0x18}, 16 * kMiB)
         << makeTestChip("Ghost", "Zero", {0x00, 0x00, 0x00}, 1 * kMiB);
    return list;
}

} // namespace

class TestChipDetect : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString previousDir;
    VirtualClock clock;
    std::unique_ptr<SimulatedTestAdapter> adapter;
    ScriptedInteraction ui;

    void attach(int selector, std::vector<std::uint8_t> id)
    {
        adapter->sim().detachChip(0, selector);
        QVERIFY(adapter->sim().attachChip(0, selector, std::make_unique<SimulatedChip>(clock, id, 1 * kMiB)));
    }

    static QString edit(const QDialog& dialog, const char* name)
    {
        return dialog.findChild<QLineEdit*>(name)->text();
    }
    static QStringList edits(const QDialog& dialog)
    {
        QStringList out;
        for (const char* name : kEdits)
            out << edit(dialog, name);
        return out;
    }
    static void detect(QDialog& dialog) { dialog.findChild<QPushButton*>("detectPushButton")->click(); }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        previousDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
    }
    void cleanupTestCase() { QDir::setCurrent(previousDir); }

    void init()
    {
        writeTestChipList(testChips());
        adapter = createDefaultTestAdapter(clock);
        ui.clear();
        ui.answers.clear();
        ui.dialogScripts.clear();
    }
    void cleanup() { adapter.reset(); }

    void form()
    {
        ChipDetectDialog dialog(*adapter, ui);
        QCOMPARE(dialog.windowTitle(), QString("芯片识别"));
        QCOMPARE(dialog.size(), QSize(296, 211));
        QCOMPARE(dialog.findChild<QPushButton*>("detectPushButton")->text(), QString("自动识别"));
        QStringList labels;
        for (const QLabel* label : dialog.findChildren<QLabel*>()) {
            labels << label->text();
            QVERIFY(label->alignment() & Qt::AlignRight);
            QCOMPARE(label->minimumWidth(), 60);
        }
        QCOMPARE(labels, (QStringList{"厂商：", "型号：", "容量：", "页大小：", "扇区大小：", "JEDEC ID："}));
        for (const char* name : kEdits)
            QVERIFY2(edit(dialog, name).isEmpty(), name);
        QCOMPARE(chipIdKey(dialog.result().Config.FlashID), 0u);
        QVERIFY(ui.calls.isEmpty()); // the chip list was read
    }

    void detectsTheFirstMatchingRecord()
    {
        ChipDetectDialog dialog(*adapter, ui);
        dialog.setDeviceIndex(0);
        dialog.setSpiSelector(0x00);
        detect(dialog);
        QVERIFY(ui.calls.isEmpty());
        QCOMPARE(edits(dialog), (QStringList{"Winbond", "W25Q64BV/W25Q64CV/W25Q64FV", "8 MByte", "256 Byte",
                                             "4096 Byte", "EF4017"}));
        const CHIP_INFO expected = testChips()[0];
        QVERIFY(std::memcmp(&dialog.result(), &expected, sizeof expected) == 0);
        // A long name shows from its start.
        QCOMPARE(dialog.findChild<QLineEdit*>("modelNameLineEdit")->cursorPosition(), 0);

        // The fixed detection configuration and slow clock.
        const auto inits = adapter->callsOf(AdapterOp::FlashInit);
        QCOMPARE(int(inits.size()), 1);
        QCOMPARE(inits[0].clockHz, 390625u);
        SPIFlashConfig config{};
        config.ReadID = 0x9F;
        config.IDLength = 3;
        config.ReadStatus = 0x05;
        QVERIFY(std::memcmp(&inits[0].config, &config, sizeof config) == 0);
        QCOMPARE(adapter->sequence(), (std::vector<AdapterOp>{AdapterOp::ScanDevices, AdapterOp::OpenDevice,
                                                              AdapterOp::FlashInit, AdapterOp::FlashReadId}));
    }

    void idTextIsTwoUpperCaseDigitsPerByte()
    {
        attach(0x10, {0x0A, 0xBC, 0x05});
        ChipDetectDialog dialog(*adapter, ui);
        dialog.setSpiSelector(0x10);
        detect(dialog);
        QCOMPARE(edit(dialog, "flashIDLineEdit"), QString("0ABC05"));
        QCOMPARE(adapter->callsOf(AdapterOp::FlashReadId)[0].selector, 0x10);
    }

    void unknownModelOfAKnownManufacturer()
    {
        attach(0x10, {0xEF, 0x99, 0x01});
        ChipDetectDialog dialog(*adapter, ui);
        dialog.setSpiSelector(0x10);
        detect(dialog);
        QCOMPARE(edits(dialog),
                 (QStringList{"Winbond", "unknown", "unknown", "unknown", "unknown", "EF9901"}));
        QCOMPARE(chipIdKey(dialog.result().Config.FlashID), 0u);
    }

    void unknownManufacturer()
    {
        attach(0x10, {0x12, 0x34, 0x56});
        ChipDetectDialog dialog(*adapter, ui);
        dialog.setSpiSelector(0x10);
        detect(dialog);
        QCOMPARE(edits(dialog),
                 (QStringList{"unknown", "unknown", "unknown", "unknown", "unknown", "123456"}));
    }

    void laterDetectionsKeepTheResult()
    {
        attach(0x10, {0x12, 0x34, 0x56});
        ChipDetectDialog dialog(*adapter, ui);
        detect(dialog);
        dialog.setSpiSelector(0x10);
        detect(dialog); // unmatched
        QCOMPARE(edit(dialog, "modelNameLineEdit"), QString("unknown"));
        QCOMPARE(QString::fromUtf8(dialog.result().ModelName), QString("W25Q64BV/W25Q64CV/W25Q64FV"));
    }

    void failures_data()
    {
        QTest::addColumn<int>("failure");
        QTest::addColumn<QString>("message");
        QTest::newRow("no adapter at index 3") << 0 << "打开设备失败，设备选择是否正确？";
        QTest::newRow("open fails") << 1 << "打开设备失败，设备选择是否正确？";
        QTest::newRow("configuration refused") << 2 << "配置设备失败！";
        QTest::newRow("ID not read") << 3 << "获取芯片ID失败！";
        // Nothing answered: no record looked up, none offered.
        QTest::newRow("ID FFFFFF") << 4
                                   << "没有芯片应答（ID为FFFFFF）！\n请检查接线、通道（片选）和芯片供电。";
        QTest::newRow("ID 000000") << 5
                                   << "没有芯片应答（ID为000000）！\n请检查接线、通道（片选）和芯片供电。";
    }
    void failures()
    {
        QFETCH(int, failure);
        QFETCH(QString, message);
        ChipDetectDialog dialog(*adapter, ui);
        detect(dialog); // a successful detection first
        const QStringList before = edits(dialog);
        adapter->clearLog();
        switch (failure) {
        case 0:
            dialog.setDeviceIndex(3);
            break;
        case 1:
            adapter->failCall(AdapterOp::OpenDevice);
            break;
        case 2:
            adapter->failCall(AdapterOp::FlashInit);
            break;
        case 3:
            adapter->failCall(AdapterOp::FlashReadId);
            break;
        default:
            adapter->sim().chip(0, 0x00)->setSilent(true, failure == 4 ? 0xFF : 0x00);
        }
        detect(dialog);
        QCOMPARE(ui.messages(), QStringList{message});
        const InteractionCall& call = ui.calls[0];
        QCOMPARE(call.kind, InteractionCall::Warning);
        QCOMPARE(call.title, QString("警告"));
        QCOMPARE(call.parent.data(), static_cast<QWidget*>(&dialog));
        QCOMPARE(edits(dialog), before);
        QCOMPARE(QString::fromUtf8(dialog.result().ModelName), QString("W25Q64BV/W25Q64CV/W25Q64FV"));
        if (failure == 0)
            QCOMPARE(adapter->sequence(), std::vector<AdapterOp>{AdapterOp::ScanDevices});
    }

    void missingChipList()
    {
        QVERIFY(QFile::remove("ChipListData.dat"));
        ChipDetectDialog dialog(*adapter, ui);
        QCOMPARE(ui.callsOf(InteractionCall::Warning).size(), 1);
        QCOMPARE(ui.calls[0].parent.data(), static_cast<QWidget*>(&dialog));
        ui.clear();
        detect(dialog);
        QVERIFY(ui.calls.isEmpty());
        QCOMPARE(edits(dialog),
                 (QStringList{"unknown", "unknown", "unknown", "unknown", "unknown", "EF4017"}));
    }

    // ---- the main window's hand-off

    void mainWindowSelectsTheDetectedChip_data()
    {
        QTest::addColumn<int>("portRow");
        QTest::addColumn<QString>("model"); // empty: the selection must not change
        QTest::newRow("found") << 0 << "GD25Q16";
        QTest::newRow("no chip at the port") << 1 << "";
        QTest::newRow("zero ID found") << 2 << "";
        QTest::newRow("closed without detecting") << -1 << "";
    }
    void mainWindowSelectsTheDetectedChip()
    {
        QFETCH(int, portRow);
        QFETCH(QString, model);
        attach(0x00, {0xC8, 0x40, 0x15});
        attach(0x20, {0x00, 0x00, 0x00});
        MainWindow window(*adapter, ui, clock);
        auto* manufacturers = window.findChild<QComboBox*>("manufacturerComboBox");
        auto* models = window.findChild<QComboBox*>("modelNameComboBox");
        manufacturers->setCurrentText("Winbond");
        models->setCurrentText("W25Q128");
        window.findChild<QComboBox*>("spiIndexComboBox")->setCurrentIndex(std::max(portRow, 0));
        ui.clear();
        if (portRow >= 0) {
            ui.dialogScripts.enqueue([](QDialog* dialog) {
                dialog->findChild<QPushButton*>("detectPushButton")->click();
                return int(QDialog::Rejected);
            });
        }
        window.findChild<QAction*>("actionChipDetect")->trigger();

        const InteractionCall& run = ui.calls[0];
        QCOMPARE(run.kind, InteractionCall::ExecDialog);
        QCOMPARE(run.text, QString("ChipDetectDialog"));
        QCOMPARE(run.parent.data(), static_cast<QWidget*>(&window));
        QVERIFY(window.findChildren<ChipDetectDialog*>().isEmpty());
        if (model.isEmpty()) {
            QCOMPARE(manufacturers->currentText(), QString("Winbond"));
            QCOMPARE(models->currentText(), QString("W25Q128"));
            QCOMPARE(QString::fromUtf8(window.currentChipInfo().ModelName), QString("W25Q128"));
        } else {
            QCOMPARE(manufacturers->currentText(), QString("GigaDevice"));
            QCOMPARE(models->currentText(), model);
            const CHIP_INFO expected = testChips()[1];
            QVERIFY(std::memcmp(&window.currentChipInfo(), &expected, sizeof expected) == 0);
        }
    }

    void rendersAfterDetection()
    {
        // SPIFLASH_CHIP_DATABASE=<file> detects against that database instead of the test's own.
        const QString database = qEnvironmentVariable("SPIFLASH_CHIP_DATABASE");
        if (!database.isEmpty()) {
            QFile::remove("ChipListData.dat");
            QVERIFY(QFile::copy(database, "ChipListData.dat"));
        }
        ChipDetectDialog dialog(*adapter, ui);
        dialog.show();
        detect(dialog);
        const QImage image = dialog.grab().toImage();
        QVERIFY(!image.isNull());
        // SPIFLASH_SCREENSHOT=<file.png> keeps the picture (docs/chipdetect.png).
        const QString path = qEnvironmentVariable("SPIFLASH_SCREENSHOT");
        if (!path.isEmpty())
            QVERIFY(image.save(path));
    }
};

QTEST_MAIN(TestChipDetect)
#include "tst_chipdetect.moc"
