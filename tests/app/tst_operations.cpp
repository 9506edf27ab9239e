#include "app/mainwindow.h"
#include "gui/erasechip.h"
#include "gui/erasesectordialog.h"
#include "core/spinor/spinorengine.h"
#include "gui/operationframe.h"
#include "qhexedit/qhexedit.h"
#include "qhexedit/qhexeditdata.h"
#include "qhexedit/qhexeditdatareader.h"
#include "tests/support/scriptedinteraction.h"
#include "tests/support/simulatedtestadapter.h"
#include "tests/support/testchips.h"
#include "tests/support/virtualclock.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cstring>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

using namespace korvane;

namespace {

const QString kOpenFailed = QStringLiteral("打开设备失败，设备选择是否正确？");
const QString kIdQuestion = QStringLiteral("ID不匹配，是否继续？\n");
const QString kEraseChipOk = QStringLiteral("擦除数据成功！");
const QString kEraseTimeout = QStringLiteral("擦除数据超时！");
const QString kSectorsOk = QStringLiteral("擦除扇区成功！");

constexpr int kW25Q64 = 0x00;   // SPI1-CS0 of adapter 0
constexpr int kMX25L256 = 0x01; // SPI2-CS0 of adapter 0
constexpr int kMiB = 1024 * 1024;

// Notes how many adapter calls had been made at every sleep, so tests can place sleeps between calls.
class StampingClock : public VirtualClock
{
public:
    void sleep(int ms) override
    {
        if (adapter)
            sleepStamps.push_back(adapter->calls().size());
        VirtualClock::sleep(ms);
    }
    const RecordingAdapter* adapter = nullptr;
    std::vector<std::size_t> sleepStamps;
};

bool sent(const AdapterCall& call, std::uint8_t byte)
{
    return call.sent.size() == 1 && call.sent[0] == byte;
}

// The operation's reads of the chip's SFDP table, which every operation makes after the ID.
bool sfdpRead(const AdapterCall& call)
{
    return call.op == AdapterOp::SpiWriteReadBytes && !call.sent.empty() && call.sent[0] == 0x5A;
}

} // namespace

class TestOperations : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString previousDir;
    StampingClock clock;
    std::unique_ptr<SimulatedTestAdapter> adapter;
    ScriptedInteraction ui;
    std::unique_ptr<MainWindow> window;

    QList<CHIP_INFO> chips() const
    {
        QList<CHIP_INFO> list;
        list << makeTestChip("Winbond", "W25Q64", {0xEF, 0x40, 0x17}, 8 * kMiB)
             << makeTestChip("Macronix", "MX25L25645G", {0xC2, 0x20, 0x19}, 32 * kMiB, 4096, 4);
        CHIP_INFO noId = makeTestChip("Test", "NoId", {0x11, 0x22, 0x33}, 8 * kMiB);
        noId.Config.IDLength = 0;
        CHIP_INFO longId = makeTestChip("Test", "LongId", {0xEF, 0x40, 0x17, 0x99, 0x98}, 8 * kMiB);
        longId.Config.IDLength = 3; // bytes past IDLength do not count
        list << noId << makeTestChip("Test", "Wrong", {0xEF, 0x40, 0x18}, 8 * kMiB) << longId
             << makeTestChip("Test", "OneSector", {0xEF, 0x40, 0x17}, 8 * kMiB, 8 * kMiB);
        // Values the add chip dialog accepts, and a corrupt record just past what a byte array holds.
        list << makeTestChip("Test", "MX25L256-3B", {0xC2, 0x20, 0x19}, 32 * kMiB, 4096, 3);
        for (const std::uint8_t width : {3, 4}) {
            CHIP_INFO huge = makeTestChip("Test", QStringLiteral("Huge%1").arg(width), {0xEF, 0x40, 0x17},
                                          8 * kMiB, 4096, width);
            huge.Config.PageSize = 1;
            huge.Config.NumPages = 2147483623;
            list << huge;
        }
        // 1 GiB: a byte array can hold it, memory may not.
        list << makeTestChip("Test", "1GiB", {0xEF, 0x40, 0x17}, 1024 * kMiB, 4096, 4);
        // The largest record the chip list takes, 4 GiB, which 32 bits hold as 0.
        CHIP_INFO wrapping = makeTestChip("Test", "4GiB", {0xEF, 0x40, 0x17}, 8 * kMiB, 4096, 4);
        wrapping.Config.PageSize = 1024;
        wrapping.Config.NumPages = 4 * 1024 * 1024;
        list << wrapping;
        return list;
    }

    SimulatedChip* chipAt(int selector) const { return adapter->sim().chip(0, selector); }

    void select(const QString& manufacturer, const QString& model, int portRow = 0)
    {
        window->findChild<QComboBox*>("manufacturerComboBox")->setCurrentText(manufacturer);
        window->findChild<QComboBox*>("modelNameComboBox")->setCurrentText(model);
        QCOMPARE(QString::fromUtf8(window->currentChipInfo().ModelName), model);
        window->findChild<QComboBox*>("spiIndexComboBox")->setCurrentIndex(portRow);
        adapter->clearLog();
        clock.sleepStamps.clear();
        ui.clear();
    }

    void click(const char* name) { window->findChild<QPushButton*>(name)->click(); }

    // Confirms the sector dialog with the given start and count.
    void chooseSectors(int start, int count)
    {
        ui.dialogScripts.enqueue([start, count](QDialog* dialog) {
            dialog->findChild<QSpinBox*>("startSectorSpinBox")->setValue(start);
            dialog->findChild<QSpinBox*>("sectorNumSpinBox")->setValue(count);
            dialog->findChild<QPushButton*>("surePushButton")->click();
            return dialog->result();
        });
    }

    // The calls of op, the SFDP reads left out.
    std::vector<std::size_t> indicesOf(AdapterOp op) const
    {
        std::vector<std::size_t> out;
        for (std::size_t i = 0; i < adapter->calls().size(); ++i)
            if (adapter->calls()[i].op == op && !sfdpRead(adapter->calls()[i]))
                out.push_back(i);
        return out;
    }

    int sleepsBetween(std::size_t afterCall, std::size_t beforeCall) const
    {
        return static_cast<int>(
            std::count_if(clock.sleepStamps.begin(), clock.sleepStamps.end(),
                          [&](std::size_t s) { return s > afterCall && s <= beforeCall; }));
    }

    // Exactly one message box: the operation's failure text, then why.
    void expectOnlyFailure(const QString& text)
    {
        QCOMPARE(ui.messages().size(), 1);
        QVERIFY2(ui.messages()[0].startsWith(text + "\n"), qPrintable(ui.messages()[0]));
        QCOMPARE(ui.callsOf(InteractionCall::Warning).size(), 1);
    }

    // Exactly one message box, a warning with the window as parent.
    void expectOnlyWarning(const QString& text)
    {
        QCOMPARE(ui.messages(), QStringList{text});
        const auto warnings = ui.callsOf(InteractionCall::Warning);
        QCOMPARE(warnings.size(), 1);
        QCOMPARE(warnings[0].title, QString("警告"));
        QCOMPARE(warnings[0].parent.data(), static_cast<QWidget*>(window.get()));
    }

    void expectOnlyInformation(const QString& text)
    {
        QCOMPARE(ui.messages(), QStringList{text});
        const auto infos = ui.callsOf(InteractionCall::Information);
        QCOMPARE(infos.size(), 1);
        QCOMPARE(infos[0].title, QString("消息"));
        QCOMPARE(infos[0].parent.data(), static_cast<QWidget*>(window.get()));
    }

    void fill(int selector, std::uint8_t value)
    {
        auto& bytes = chipAt(selector)->contents();
        std::fill(bytes.begin(), bytes.end(), value);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        previousDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        writeTestChipList(chips());
    }
    void cleanupTestCase() { QDir::setCurrent(previousDir); }

    void init()
    {
        clock.adapter = nullptr;
        adapter = createDefaultTestAdapter(clock);
        clock.adapter = adapter.get();
        ui.clear();
        ui.answers.clear();
        ui.dialogScripts.clear();
        window = std::make_unique<MainWindow>(*adapter, ui, clock);
        select("Winbond", "W25Q64");
    }
    void cleanup()
    {
        window.reset();
        clock.adapter = nullptr;
        adapter.reset();
    }

    // ---- the frame

    void selectorsAndClocks()
    {
        const int expected[] = {0x00, 0x10, 0x20, 0x30, 0x40, 0x01, 0x11, 0x21, 0x31, 0x41};
        for (int row = 0; row < 10; ++row)
            QCOMPARE(spiSelectorForRow(row), expected[row]);
        QCOMPARE(spiClockForRow(0), 50000000u);
        QCOMPARE(spiClockForRow(4), 3125000u);
    }

    void elapsedSuffixFormat()
    {
        QCOMPARE(elapsedTimeSuffix(2.5), QString("\n耗时: 2.5 秒！"));
        QCOMPARE(elapsedTimeSuffix(12.3456789), QString("\n耗时: 12.3457 秒！"));
        QCOMPARE(elapsedTimeSuffix(0), QString("\n耗时: 0 秒！"));
    }

    void contextFromTheWindow()
    {
        window->findChild<QComboBox*>("devIndexComboBox")->setCurrentIndex(1);
        window->findChild<QComboBox*>("spiIndexComboBox")->setCurrentIndex(7);
        window->findChild<QComboBox*>("speedComboBox")->setCurrentIndex(2);
        click("eraseChipPushButton");
        const auto inits = adapter->callsOf(AdapterOp::FlashInit);
        QCOMPARE(int(inits.size()), 1);
        QCOMPARE(inits[0].device, 1);
        QCOMPARE(inits[0].selector, 0x21);
        QCOMPARE(inits[0].clockHz, 12500000u);
        QVERIFY(std::memcmp(&inits[0].config, &window->currentChipInfo().Config, sizeof(SPIFlashConfig)) ==
                0);
    }

    void openingFailures_data()
    {
        QTest::addColumn<int>("failure");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("lastOp"); // the last adapter operation called
        QTest::newRow("no adapter at index 3") << 0 << kOpenFailed << int(AdapterOp::ScanDevices);
        QTest::newRow("open fails") << 1 << kOpenFailed << int(AdapterOp::OpenDevice);
        QTest::newRow("flashInit fails") << 2 << QString("配置设备失败！") << int(AdapterOp::FlashInit);
        QTest::newRow("read ID fails") << 3 << QString("获取芯片ID失败！") << int(AdapterOp::FlashReadId);
        // No chip answered (the status register reads as the ID): never the ID question.
        const QString noChip =
            QStringLiteral("没有芯片应答（ID为%1）！\n请检查接线、通道（片选）和芯片供电。");
        QTest::newRow("ID FFFFFF") << 4 << noChip.arg("FFFFFF") << int(AdapterOp::SpiWriteReadBytes);
        QTest::newRow("ID 000000") << 5 << noChip.arg("000000") << int(AdapterOp::SpiWriteReadBytes);
    }
    void openingFailures()
    {
        QFETCH(int, failure);
        QFETCH(QString, message);
        QFETCH(int, lastOp);
        switch (failure) {
        case 0:
            QCOMPARE(adapter->scanDevices(nullptr), 2);
            adapter->clearLog();
            window->findChild<QComboBox*>("devIndexComboBox")->setCurrentIndex(3);
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
            chipAt(kW25Q64)->setSilent(true, failure == 4 ? 0xFF : 0x00);
        }
        fill(kW25Q64, 0x5A);
        click("eraseChipPushButton");
        expectOnlyWarning(message);
        QCOMPARE(ui.calls.size(), 1); // no progress dialog, no question
        QCOMPARE(int(adapter->calls().back().op), lastOp);
        QCOMPARE(chipAt(kW25Q64)->contents()[0], std::uint8_t(0x5A));
    }

    void en4bFailureEndsTheOperation()
    {
        select("Macronix", "MX25L25645G", 5);
        adapter->failCall(AdapterOp::SpiWriteBytes);
        chooseSectors(0, 1);
        click("eraseSectorPushButton");
        expectOnlyWarning("发送EN4B指令失败！");
        QCOMPARE(adapter->countOf(AdapterOp::FlashReadId), 0);
        QCOMPARE(adapter->countOf(AdapterOp::FlashEraseSectors), 0);
    }

    void idMismatchDeclined()
    {
        select("Test", "Wrong");
        fill(kW25Q64, 0x5A);
        click("eraseChipPushButton");
        QCOMPARE(ui.calls.size(), 1);
        const InteractionCall& q = ui.calls[0];
        QCOMPARE(q.kind, InteractionCall::Question);
        QCOMPARE(q.icon, QMessageBox::Warning);
        QCOMPARE(q.title, QString("警告"));
        QCOMPARE(q.text, kIdQuestion);
        QCOMPARE(q.buttons, QMessageBox::Yes | QMessageBox::No);
        QVERIFY(!q.hadParent);
        QCOMPARE(adapter->calls().back().op, AdapterOp::FlashReadId);
        QCOMPARE(chipAt(kW25Q64)->contents()[0], std::uint8_t(0x5A));
    }

    void idMismatchClosedIsNo()
    {
        select("Test", "Wrong");
        ui.answers.enqueue(QMessageBox::Escape);
        click("eraseChipPushButton");
        QCOMPARE(ui.calls.size(), 1);
        QCOMPARE(adapter->calls().back().op, AdapterOp::FlashReadId);
    }

    void idMismatchAcceptedErasesWithTheRecordsInstructions()
    {
        select("Test", "Wrong");
        ui.answers.enqueue(QMessageBox::Yes);
        fill(kW25Q64, 0x5A);
        click("eraseChipPushButton");
        QCOMPARE(ui.messages().size(), 2);
        QCOMPARE(ui.messages()[0], kIdQuestion);
        QVERIFY(ui.messages()[1].startsWith(kEraseChipOk + "\n耗时: "));
        QCOMPARE(chipAt(kW25Q64)->contents()[0], std::uint8_t(0xFF));
    }

    void idComparedOverIdLengthOnly_data()
    {
        QTest::addColumn<QString>("model");
        QTest::newRow("IDLength 0 accepts any chip") << "NoId";
        QTest::newRow("bytes past IDLength ignored") << "LongId";
    }
    void idComparedOverIdLengthOnly()
    {
        QFETCH(QString, model);
        select("Test", model);
        click("eraseChipPushButton");
        QCOMPARE(ui.callsOf(InteractionCall::Question).size(), 0);
        QCOMPARE(ui.callsOf(InteractionCall::Information).size(), 1);
    }

    // EN4B goes out exactly when the operation's own address-byte field is above 3, between
    // flashInit and flashReadId.
    void en4bFollowsTheOperationsField_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<int>("field"); // 0 read data, 1 write page, 2 erase sector, 3 all
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("expected");
        const int read = int(FlashOperation::Read), write = int(FlashOperation::Write),
                  verify = int(FlashOperation::Verify), chip = int(FlashOperation::EraseChip),
                  sectors = int(FlashOperation::EraseSectors);
        QTest::newRow("read, read field 4") << read << 0 << 4 << true;
        QTest::newRow("read, read field 3") << read << 0 << 3 << false;
        QTest::newRow("read, read field 255") << read << 0 << 255 << true;
        QTest::newRow("read, write field 4") << read << 1 << 4 << false;
        QTest::newRow("write, write field 4") << write << 1 << 4 << true;
        QTest::newRow("write, read field 4") << write << 0 << 4 << false;
        QTest::newRow("verify, read field 4") << verify << 0 << 4 << true;
        QTest::newRow("verify, erase field 4") << verify << 2 << 4 << false;
        QTest::newRow("sectors, erase field 4") << sectors << 2 << 4 << true;
        QTest::newRow("sectors, read field 4") << sectors << 0 << 4 << false;
        QTest::newRow("erase chip, all fields 4") << chip << 3 << 4 << false;
    }
    void en4bFollowsTheOperationsField()
    {
        QFETCH(int, operation);
        QFETCH(int, field);
        QFETCH(int, value);
        QFETCH(bool, expected);
        CHIP_INFO chip = makeTestChip("Macronix", "MX25L25645G", {0xC2, 0x20, 0x19}, 32 * kMiB, 4096, 3);
        const auto v = static_cast<std::uint8_t>(value);
        if (field == 0 || field == 3)
            chip.Config.ReadDataAddrBytes = v;
        if (field == 1 || field == 3)
            chip.Config.WritePageAddrBytes = v;
        if (field == 2 || field == 3)
            chip.Config.EraseSectorAddrBytes = v;
        const OperationContext context{*adapter, ui, clock, window.get(), 0, kMX25L256, 390625, 0, chip};
        OperationFrame frame(context, static_cast<FlashOperation>(operation));
        QVERIFY(frame.open());
        QVERIFY(ui.calls.isEmpty());
        std::vector<AdapterOp> expectedOps{AdapterOp::ScanDevices, AdapterOp::OpenDevice,
                                           AdapterOp::FlashInit};
        if (expected)
            expectedOps.push_back(AdapterOp::SpiWriteBytes);
        expectedOps.push_back(AdapterOp::FlashReadId);
        // The opening steps, then nothing but the reads of the chip's SFDP table.
        std::vector<AdapterOp> ops = adapter->sequence();
        QVERIFY(ops.size() > expectedOps.size());
        QCOMPARE(std::vector<AdapterOp>(ops.begin(), ops.begin() + expectedOps.size()), expectedOps);
        for (std::size_t i = expectedOps.size(); i < ops.size(); ++i)
            QVERIFY(sfdpRead(adapter->calls()[i]));
        if (expected) {
            QVERIFY(sent(adapter->callsOf(AdapterOp::SpiWriteBytes)[0], 0xB7));
            QCOMPARE(adapter->callsOf(AdapterOp::SpiWriteBytes)[0].count, 1u);
        }
    }

    void frameReportsAndCloses()
    {
        const CHIP_INFO& chip = window->currentChipInfo();
        const OperationContext context{*adapter, ui, clock, window.get(), 0, kW25Q64, 390625, 0, chip};
        {
            OperationFrame frame(context, FlashOperation::Read);
            frame.startProgress(40960);
            frame.step(20480);
            clock.advanceNanoseconds(1'500'000'000);
            frame.stopTimer();
            clock.advanceNanoseconds(1'000'000'000); // after the end was taken: not counted
            frame.succeed();
        }
        QCOMPARE(ui.progresses.size(), 1);
        const ProgressRecord& p = *ui.progresses[0];
        QCOMPARE(p.title, QString("读数据"));
        QCOMPARE(p.labels, QStringList{"正在读数据\n速度很快的，请稍等...\n"});
        QCOMPARE(p.maximum, 40960);
        QCOMPARE(p.values, QList<int>{20480});
        QVERIFY(p.closed);
        expectOnlyInformation("读数据成功！\n耗时: 1.5 秒！");

        ui.clear();
        {
            OperationFrame frame(context, FlashOperation::Verify);
            frame.startProgress(10);
            frame.fail();
        }
        QVERIFY(ui.progresses[0]->closed);
        expectOnlyWarning("校验数据出错！");
    }

    // ---- erase chip

    void eraseChipReadyAtOnce()
    {
        fill(kW25Q64, 0x00);
        click("eraseChipPushButton");
        const auto reads = indicesOf(AdapterOp::SpiWriteReadBytes);
        const auto writes = indicesOf(AdapterOp::SpiWriteBytes);
        QCOMPARE(int(writes.size()), 2);
        // The protection check reads SR1, SR2 and SR3 first, without sleeping.
        QVERIFY(reads.size() >= 5);
        QVERIFY(sent(adapter->calls()[reads[0]], 0x05));
        QVERIFY(sent(adapter->calls()[reads[1]], 0x35));
        QVERIFY(sent(adapter->calls()[reads[2]], 0x15));
        for (int i = 1; i <= 3; ++i)
            QCOMPARE(reads[i], reads[i - 1] + 1);
        QCOMPARE(sleepsBetween(0, reads[3]), 0);
        // One status read and one 10 ms sleep, then write enable and chip erase.
        QCOMPARE(writes[0], reads[3] + 1);
        QCOMPARE(sleepsBetween(reads[3], writes[0]), 1);
        QCOMPARE(writes[1], writes[0] + 1);
        const AdapterCall& status = adapter->calls()[reads[3]];
        QVERIFY(sent(status, 0x05));
        QCOMPARE(status.receiveCount, 1);
        QCOMPARE(status.flag, 0);
        QVERIFY(sent(adapter->calls()[writes[0]], 0x06));
        QVERIFY(sent(adapter->calls()[writes[1]], 0xC7));
        for (const AdapterCall& call : adapter->calls())
            QVERIFY(!sent(call, 0xB7));

        QCOMPARE(ui.progresses.size(), 1);
        const ProgressRecord& p = *ui.progresses[0];
        QCOMPARE(p.title, QString("整片擦除"));
        QCOMPARE(p.labels, QStringList{"正在擦除数据\n该过程可能比较耗时，请耐心等待...\n"});
        QCOMPARE(p.minimum, 0);
        QCOMPARE(p.maximum, 0); // busy indicator
        QVERIFY(p.values.isEmpty());
        QVERIFY(p.closed);
        QCOMPARE(p.parent.data(), static_cast<QWidget*>(window.get()));
        // The chip really is erased.
        const auto& bytes = chipAt(kW25Q64)->contents();
        QVERIFY(std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; }));
        QCOMPARE(ui.messages().size(), 1);
        QVERIFY(ui.messages()[0].startsWith(kEraseChipOk + "\n耗时: "));
    }

    void eraseChipReportsTheTimeTaken()
    {
        SimulatedChip::Timing timing = chipAt(kW25Q64)->timing();
        timing.chipEraseNs = 2'500'000'000;
        chipAt(kW25Q64)->setTiming(timing);
        // Still busy from earlier work: 5 polls. A busy chip does not answer RDID, so the record
        // takes any ID.
        select("Test", "NoId");
        chipAt(kW25Q64)->setBusyFor(45'000'000);
        window->findChild<QAction*>("actionEraseChip")->trigger();
        // Each status read is followed by one 10 ms sleep; nothing else takes time. The protection
        // check's read of SR1 comes first.
        const int reads = int(indicesOf(AdapterOp::SpiWriteReadBytes).size());
        QCOMPARE(reads, 1 + 1 + 5 + 1 + 250);
        expectOnlyInformation(kEraseChipOk + "\n耗时: 2.57 秒！");
    }

    void eraseChipOnlyTestsTheBusyBit()
    {
        // Status 0xFC: every bit but busy and write-enable set.
        QVERIFY(adapter->openDevice(0));
        const std::uint8_t wren = 0x06, wrsr[] = {0x01, 0xFC};
        QCOMPARE(adapter->spiWriteBytes(0, kW25Q64, &wren, 1), 0);
        QCOMPARE(adapter->spiWriteBytes(0, kW25Q64, wrsr, 2), 0);
        clock.sleep(1);
        QCOMPARE(chipAt(kW25Q64)->status(), std::uint8_t(0xFC));
        adapter->clearLog();
        click("eraseChipPushButton");
        QCOMPARE(adapter->countOf(AdapterOp::SpiWriteBytes), 2);
        QCOMPARE(ui.callsOf(InteractionCall::Information).size(), 1);
    }

    void eraseChipBusyBeforeTheCommand()
    {
        select("Test", "NoId"); // a busy chip does not answer RDID
        fill(kW25Q64, 0x5A);
        chipAt(kW25Q64)->keepBusy(true);
        click("eraseChipPushButton");
        QCOMPARE(int(indicesOf(AdapterOp::SpiWriteReadBytes).size()),
                 1 + 1 + SpiNorEngine::kChipEraseReadyPolls); // SR1 check first
        QCOMPARE(int(clock.sleepStamps.size()), 1 + SpiNorEngine::kChipEraseReadyPolls);
        QCOMPARE(adapter->countOf(AdapterOp::SpiWriteBytes), 0); // never sent the erase
        expectOnlyWarning(kEraseTimeout);
        QVERIFY(ui.progresses[0]->closed);
        chipAt(kW25Q64)->keepBusy(false);
        QCOMPARE(chipAt(kW25Q64)->contents()[0], std::uint8_t(0x5A));
    }

    void eraseChipStillBusyAfterTheCommand()
    {
        SimulatedChip::Timing timing = chipAt(kW25Q64)->timing();
        timing.chipEraseNs = 1000'000'000'000; // longer than the bound for 8 MiB
        chipAt(kW25Q64)->setTiming(timing);
        click("eraseChipPushButton");
        QCOMPARE(adapter->countOf(AdapterOp::SpiWriteBytes), 2);
        const auto writes = indicesOf(AdapterOp::SpiWriteBytes);
        const auto reads = indicesOf(AdapterOp::SpiWriteReadBytes);
        const auto after =
            std::count_if(reads.begin(), reads.end(), [&](std::size_t i) { return i > writes[1]; });
        QCOMPARE(int(after), 1 + SpiNorEngine::chipEraseFinishPolls(8 * 1024 * 1024));
        expectOnlyWarning(kEraseTimeout);
        QVERIFY(ui.progresses[0]->closed);
    }

    // A 256 Mbit part takes over a minute to erase; the wait grows with the chip's size.
    void eraseChipOfALargeChipTakesItsTime()
    {
        select("Macronix", "MX25L25645G", 5);
        SimulatedChip::Timing timing = chipAt(kMX25L256)->timing();
        timing.chipEraseNs = 75'000'000'000;
        chipAt(kMX25L256)->setTiming(timing);
        fill(kMX25L256, 0x5A);
        click("eraseChipPushButton");
        QCOMPARE(ui.callsOf(InteractionCall::Information).size(), 1);
        QCOMPARE(chipAt(kMX25L256)->contents()[32 * kMiB - 1], std::uint8_t(0xFF));
    }

    // A failed write enable, erase command or status read must not be reported as a successful
    // erase: a failed status read leaves the byte of an earlier poll, which says nothing now.
    void eraseChipTransferFailure_data()
    {
        QTest::addColumn<int>("op");
        QTest::addColumn<int>("nth");
        QTest::addColumn<bool>("busyFirst"); // still busy from earlier work: five polls before the erase
        QTest::addColumn<int>("writes");     // SpiWriteBytes calls made
        const int wr = int(AdapterOp::SpiWriteBytes), rd = int(AdapterOp::SpiWriteReadBytes);
        // Status reads counted after the SFDP reads (three of the W25Q64's table, one of a busy chip
        // that answers none) and the protection check's (SR1 to SR3 of the W25Q64, SR1 of NoId).
        QTest::newRow("write enable") << wr << 1 << false << 1;
        QTest::newRow("chip erase") << wr << 2 << false << 2;
        QTest::newRow("first status read") << rd << 3 + 3 + 1 << false << 0;
        QTest::newRow("poll while busy before the erase") << rd << 1 + 1 + 3 << true << 0;
        QTest::newRow("status read after the command") << rd << 3 + 3 + 2 << false << 2;
        QTest::newRow("poll during the erase") << rd << 3 + 3 + 4 << false << 2;
    }
    void eraseChipTransferFailure()
    {
        QFETCH(int, op);
        QFETCH(int, nth);
        QFETCH(bool, busyFirst);
        QFETCH(int, writes);
        if (busyFirst) {
            select("Test", "NoId"); // a busy chip does not answer RDID
            chipAt(kW25Q64)->setBusyFor(45'000'000);
        }
        fill(kW25Q64, 0x5A);
        adapter->failCall(AdapterOp(op), nth);
        click("eraseChipPushButton");
        QCOMPARE(adapter->countOf(AdapterOp::SpiWriteBytes), writes);
        expectOnlyFailure("擦除数据出错！");
        QVERIFY(ui.progresses[0]->closed);
        if (writes < 2)
            QCOMPARE(chipAt(kW25Q64)->contents()[0], std::uint8_t(0x5A));
        // Nothing sent or polled after the failed transfer.
        QCOMPARE(int(adapter->calls().back().op), op);
        QVERIFY(adapter->calls().back().injected);
        QCOMPARE(adapter->countOf(AdapterOp(op)), op == int(AdapterOp::SpiWriteBytes) ? writes : nth);
    }

    // ---- read and verify past what a record can serve

    // The buffer holds a loaded file before each case; a refused read must leave it as it was.
    void readsThatCannotBeServed_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("portRow");
        QTest::addColumn<QString>("message");
        QTest::newRow("32 MiB with 3 address bytes") << "MX25L256-3B" << 5 << "读数据出错！";
        QTest::newRow("2 GiB with 3 address bytes") << "Huge3" << 0 << "读数据出错！";
        QTest::newRow("2 GiB with 4 address bytes") << "Huge4" << 0 << "分配内存失败！";
        QTest::newRow("4 GiB, wraps to 0 in 32 bits") << "4GiB" << 0 << "读数据出错！";
    }
    void readsThatCannotBeServed()
    {
        QFETCH(QString, model);
        QFETCH(int, portRow);
        QFETCH(QString, message);
        const QByteArray loaded(4096, '\x3C');
        QFile file(dir.filePath("loaded.bin"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(loaded) == loaded.size());
        file.close();
        select("Test", model, portRow);
        ui.fileNames.enqueue(file.fileName());
        window->findChild<QAction*>("actionOpenFile")->trigger();
        auto* hexEdit = window->findChild<QHexEdit*>();
        QHexEditData* before = hexEdit->data();
        QVERIFY(before);
        // As much of the file as the record's size (0 for 4 GiB in 32 bits) leaves room for.
        const QByteArray shown = QHexEditDataReader(before).read(0, before->length());
        QVERIFY(!shown.isEmpty() && loaded.startsWith(shown));

        // Where the chip's SFDP table says another size, the user is asked first, and goes on.
        ui.answers.enqueue(QMessageBox::Yes);
        click("readDataPushButton");
        QCOMPARE(ui.callsOf(InteractionCall::Question).size(), model == QLatin1String("MX25L256-3B") ? 0 : 1);
        QCOMPARE(ui.callsOf(InteractionCall::Warning).size(), 1);
        QCOMPARE(ui.callsOf(InteractionCall::Warning)[0].text, message);
        QVERIFY(ui.progresses.isEmpty());
        QCOMPARE(adapter->countOf(AdapterOp::FlashRead), 0);
        QCOMPARE(hexEdit->data(), before);
        QCOMPARE(QHexEditDataReader(before).read(0, before->length()), shown);
    }

    // Memory runs out for the read buffer: told, and nothing read or changed. The address space
    // is limited for the read, so that the allocation fails without exhausting the machine.
    void readBufferThatCannotBeAllocated()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("AddressSanitizer reserves more address space than the limit allows");
#endif
        select("Test", "1GiB");
        QFile statm(QStringLiteral("/proc/self/statm"));
        QVERIFY(statm.open(QIODevice::ReadOnly));
        const qint64 pages = statm.readAll().split(' ').value(0).toLongLong();
        QVERIFY(pages > 0);
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_AS, &saved), 0);
        rlimit limited = saved;
        limited.rlim_cur = static_cast<rlim_t>(pages * sysconf(_SC_PAGESIZE) + (256 << 20));
        QCOMPARE(setrlimit(RLIMIT_AS, &limited), 0);
        ui.answers.enqueue(QMessageBox::Yes); // SFDP says 8 MiB: go on
        click("readDataPushButton");
        QCOMPARE(setrlimit(RLIMIT_AS, &saved), 0);

        QCOMPARE(ui.callsOf(InteractionCall::Warning).size(), 1);
        QCOMPARE(ui.callsOf(InteractionCall::Warning)[0].text, QString("分配内存失败！"));
        QVERIFY(ui.progresses.isEmpty());
        QCOMPARE(adapter->countOf(AdapterOp::FlashRead), 0);
        QVERIFY(!window->findChild<QHexEdit*>()->data());
    }

    // With 3 address bytes the upper half of a 32 MiB chip reads as its lower half: a buffer of the
    // lower half twice must not verify.
    void verifyPastTheAddressReachIsAnError()
    {
        auto& bytes = chipAt(kMX25L256)->contents();
        std::fill(bytes.begin(), bytes.begin() + 16 * kMiB, 0x11);
        std::fill(bytes.begin() + 16 * kMiB, bytes.end(), 0x22);
        QFile file(dir.filePath("wrapped.bin"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(QByteArray(32 * kMiB, '\x11')), qint64(32 * kMiB));
        file.close();
        select("Test", "MX25L256-3B", 5);
        ui.fileNames.enqueue(file.fileName());
        window->findChild<QAction*>("actionOpenFile")->trigger();
        ui.clear();

        click("verifyPushButton");
        expectOnlyFailure("校验数据出错！");
        QVERIFY(ui.progresses[0]->closed);
        // Every block below 16 MiB was read; the one that crosses it was refused.
        const auto reads = adapter->callsOf(AdapterOp::FlashRead);
        QCOMPARE(int(reads.size()), 16 * kMiB / 20480 + 1);
        QVERIFY(reads.back().address + reads.back().count > 16u * kMiB);
        QVERIFY(reads.back().result != 0);
    }

    // ---- erase sectors

    void sectorDialogCancelledTouchesNothing()
    {
        click("eraseSectorPushButton"); // unscripted: rejected
        QVERIFY(adapter->calls().empty());
        QCOMPARE(ui.calls.size(), 1);
        QCOMPARE(ui.calls[0].kind, InteractionCall::ExecDialog);
        QCOMPARE(ui.calls[0].text, QString("EraseSectorDialog"));
        QCOMPARE(ui.calls[0].parent.data(), static_cast<QWidget*>(window.get()));
        QVERIFY(window->findChildren<EraseSectorDialog*>().isEmpty());
    }

    void sectorDialogOffersTheChipsSectors_data()
    {
        QTest::addColumn<QString>("manufacturer");
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("total");
        QTest::newRow("8 MiB in 4 KiB sectors") << "Winbond"
                                                << "W25Q64" << 2048;
        QTest::newRow("32 MiB in 4 KiB sectors") << "Macronix"
                                                 << "MX25L25645G" << 8192;
        QTest::newRow("one sector, the whole chip") << "Test"
                                                    << "OneSector" << 1;
    }
    void sectorDialogOffersTheChipsSectors()
    {
        QFETCH(QString, manufacturer);
        QFETCH(QString, model);
        QFETCH(int, total);
        select(manufacturer, model);
        int startMax = -1, countMax = -1;
        ui.dialogScripts.enqueue([&](QDialog* dialog) {
            startMax = dialog->findChild<QSpinBox*>("startSectorSpinBox")->maximum();
            countMax = dialog->findChild<QSpinBox*>("sectorNumSpinBox")->maximum();
            return int(QDialog::Rejected);
        });
        window->findChild<QAction*>("actionEraseSector")->trigger();
        QCOMPARE(startMax, total - 1);
        QCOMPARE(countMax, total);
    }

    void zeroSectorsReportsSuccess()
    {
        chooseSectors(3, 0);
        click("eraseSectorPushButton");
        QCOMPARE(adapter->countOf(AdapterOp::FlashReadId), 1);
        QCOMPARE(adapter->countOf(AdapterOp::FlashEraseSectors), 0);
        QCOMPARE(ui.progresses.size(), 1);
        QCOMPARE(ui.progresses[0]->title, QString("擦除数据"));
        QCOMPARE(ui.progresses[0]->labels, QStringList{"正在擦除数据\n速度可能较慢，请稍等...\n"});
        QCOMPARE(ui.progresses[0]->maximum, 0);
        QVERIFY(ui.progresses[0]->closed);
        expectOnlyInformation(kSectorsOk); // no elapsed time
    }

    void sectorsErasedOneByOne()
    {
        fill(kW25Q64, 0x00);
        chooseSectors(5, 4);
        click("eraseSectorPushButton");
        const auto erases = adapter->callsOf(AdapterOp::FlashEraseSectors);
        QCOMPARE(int(erases.size()), 4);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(erases[i].address, std::uint32_t(5 + i));
            QCOMPARE(erases[i].count, 1u);
            QCOMPARE(erases[i].device, 0);
            QCOMPARE(erases[i].selector, kW25Q64);
        }
        QCOMPARE(ui.progresses[0]->maximum, 4);
        QCOMPARE(ui.progresses[0]->values, (QList<int>{1, 2, 3, 4}));
        expectOnlyInformation(kSectorsOk);
        const auto& bytes = chipAt(kW25Q64)->contents();
        QCOMPARE(bytes[5 * 4096 - 1], std::uint8_t(0x00));
        QVERIFY(std::all_of(bytes.begin() + 5 * 4096, bytes.begin() + 9 * 4096,
                            [](std::uint8_t b) { return b == 0xFF; }));
        QCOMPARE(bytes[9 * 4096], std::uint8_t(0x00));
        QVERIFY(window->findChildren<EraseSectorDialog*>().isEmpty());
    }

    void sectorsWithFourByteAddresses()
    {
        select("Macronix", "MX25L25645G", 5);
        fill(kMX25L256, 0x00);
        chooseSectors(8191, 1); // the last sector, above 16 MiB
        click("eraseSectorPushButton");
        QVERIFY(sent(adapter->callsOf(AdapterOp::SpiWriteBytes)[0], 0xB7));
        expectOnlyInformation(kSectorsOk);
        const auto& bytes = chipAt(kMX25L256)->contents();
        QCOMPARE(bytes[32 * kMiB - 1], std::uint8_t(0xFF));
        QCOMPARE(bytes[32 * kMiB - 4097], std::uint8_t(0x00));
        QCOMPARE(bytes[0], std::uint8_t(0x00));
    }

    void sectorFailureKeepsEarlierSectorsErased()
    {
        fill(kW25Q64, 0x00);
        adapter->failCall(AdapterOp::FlashEraseSectors, 3);
        chooseSectors(10, 5);
        click("eraseSectorPushButton");
        QCOMPARE(adapter->countOf(AdapterOp::FlashEraseSectors), 3);
        expectOnlyFailure("扇区擦除出错！");
        QVERIFY(ui.progresses[0]->closed);
        QCOMPARE(ui.progresses[0]->values, (QList<int>{1, 2}));
        const auto& bytes = chipAt(kW25Q64)->contents();
        QCOMPARE(bytes[10 * 4096], std::uint8_t(0xFF));
        QCOMPARE(bytes[12 * 4096 - 1], std::uint8_t(0xFF));
        QCOMPARE(bytes[12 * 4096], std::uint8_t(0x00));
        QCOMPARE(bytes[15 * 4096 - 1], std::uint8_t(0x00));
    }
};

QTEST_MAIN(TestOperations)
#include "tst_operations.moc"
