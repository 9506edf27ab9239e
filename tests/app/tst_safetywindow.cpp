// The window's side of chip safety: the protection question before every change, the SFDP size
// warning, 智能写入, 查空, reading twice, the 状态寄存器 dialog and what detection adds, on the
// simulated adapter with scripted answers.
#include "tests/support/simulatedtestadapter.h"

#include "app/mainwindow.h"
#include "core/operations/smartwrite.h"
#include "gui/statusregisterdialog.h"
#include "qhexedit/qhexedit.h"
#include "qhexedit/qhexeditdata.h"
#include "qhexedit/qhexeditdatareader.h"
#include "tests/support/scriptedinteraction.h"
#include "tests/support/testchips.h"
#include "tests/support/virtualclock.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace korvane;

namespace {

constexpr int kMiB = 1024 * 1024;
const QString kClearQuestion =
    QStringLiteral("是否先清除写保护再继续？\n（Yes：清除后继续；No：不清除，直接继续；Cancel：取消）");
const QString kTopBlockQuestion =
    QStringLiteral("芯片的写保护位已置位：BP0\n受保护的地址范围：0x7E0000 - 0x7FFFFF（128 "
                   "KByte）\n本次操作的范围有一部分受保护，受保护的部分不会被改变。\n\n") +
    kClearQuestion;

// The recorder that also flips a bit of one byte in the nth flashRead, as a loose wire does.
class FlakyAdapter : public SimulatedTestAdapter
{
public:
    using SimulatedTestAdapter::SimulatedTestAdapter;
    int flashRead(int h, int s, std::uint32_t a, std::uint8_t* b, std::uint32_t n) override
    {
        const int result = SimulatedTestAdapter::flashRead(h, s, a, b, n);
        if (++reads == flakyRead && result == 0 && flakyAddress >= a && flakyAddress < a + n)
            b[flakyAddress - a] ^= 0x01;
        return result;
    }
    int reads = 0;
    int flakyRead = -1;
    std::uint32_t flakyAddress = 0;
};

QByteArray randomBytes(int size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char& b : bytes)
        b = static_cast<char>(generator.bounded(256));
    return bytes;
}

} // namespace

class TestSafetyWindow : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString previousDir;
    VirtualClock clock;
    std::unique_ptr<FlakyAdapter> adapter;
    ScriptedInteraction ui;
    std::unique_ptr<MainWindow> window;
    SimulatedChip* chip = nullptr;

    static QList<CHIP_INFO> records()
    {
        return {makeTestChip("Winbond", "W25Q64", {0xEF, 0x40, 0x17}, 8 * kMiB),
                makeTestChip("Winbond", "W25Q64-4M", {0xEF, 0x40, 0x17}, 4 * kMiB),
                makeTestChip("Test", "Unknown", {0xEF, 0x40, 0x30}, 8 * kMiB)};
    }

    // A window over one simulated chip at SPI1-CS0 of adapter 0, the record selected.
    void setUp(const char* model, const QString& record = QStringLiteral("W25Q64"),
               std::vector<std::uint8_t> id = {})
    {
        window.reset();
        adapter = std::make_unique<FlakyAdapter>(std::make_unique<SimulatedAdapter>(clock));
        adapter->sim().setAdapterCount(1);
        std::unique_ptr<SimulatedChip> made = id.empty()
                                                  ? createSimulatedChip(model, clock)
                                                  : std::make_unique<SimulatedChip>(clock, id, 8 * kMiB);
        QVERIFY(made);
        chip = adapter->sim().attachChip(0, 0x00, std::move(made));
        window = std::make_unique<MainWindow>(*adapter, ui, clock);
        select(record);
    }
    void select(const QString& record)
    {
        for (const CHIP_INFO& r : records()) {
            if (chipModelName(r) == record) {
                child<QComboBox>("manufacturerComboBox")->setCurrentText(chipManufacturer(r));
                child<QComboBox>("modelNameComboBox")->setCurrentText(record);
            }
        }
        QCOMPARE(chipModelName(window->currentChipInfo()), record);
        adapter->clearLog();
        ui.clear();
    }

    template <typename T> T* child(const char* name) const
    {
        T* found = window->findChild<T*>(QLatin1String(name));
        if (!found)
            qFatal("no child %s", name);
        return found;
    }
    void trigger(const char* action) { child<QAction>(action)->trigger(); }

    void load(const QByteArray& bytes, int startAddress)
    {
        QFile file(dir->filePath(QStringLiteral("buffer.bin")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        child<QSpinBox>("startAddrSpinBox")->setValue(startAddress);
        ui.fileNames.enqueue(file.fileName());
        trigger("actionOpenFile");
        adapter->clearLog();
        ui.clear();
    }
    QByteArray chipBytes(int at, int count) const
    {
        return QByteArray(reinterpret_cast<const char*>(chip->contents().data() + at), count);
    }
    QByteArray buffer() const
    {
        QHexEditData* model = window->findChild<QHexEdit*>()->data();
        return model ? QHexEditDataReader(model).read(0, model->length()) : QByteArray();
    }
    void detect()
    {
        ui.dialogScripts.enqueue([](QDialog* dialog) {
            dialog->findChild<QPushButton*>("detectPushButton")->click();
            return int(QDialog::Rejected);
        });
        trigger("actionChipDetect");
    }

private slots:
    void init()
    {
        previousDir = QDir::currentPath();
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid() && QDir::setCurrent(dir->path()));
        writeTestChipList(records());
        ui.clear();
        ui.answers.clear();
        ui.dialogScripts.clear();
        ui.fileNames.clear();
    }
    void cleanup()
    {
        window.reset();
        adapter.reset();
        QDir::setCurrent(previousDir);
        dir.reset();
    }

    // BP0 protects the top 128 KiB. Each operation that changes it asks first, before its progress
    // dialog: yes clears the protection and goes on, no goes on as it is, cancel or Esc stops.
    void protectionQuestion_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("cleared");
        QTest::addColumn<bool>("goesOn");
        const int yes = QMessageBox::Yes, no = QMessageBox::No, cancel = QMessageBox::Cancel,
                  esc = QMessageBox::Escape;
        for (const char* operation : {"write", "erase chip", "erase sectors", "smart write"}) {
            QTest::newRow(qPrintable(QStringLiteral("%1, yes").arg(operation)))
                << operation << yes << true << true;
            QTest::newRow(qPrintable(QStringLiteral("%1, no").arg(operation)))
                << operation << no << false << true;
            QTest::newRow(qPrintable(QStringLiteral("%1, cancel").arg(operation)))
                << operation << cancel << false << false;
            QTest::newRow(qPrintable(QStringLiteral("%1, Esc").arg(operation)))
                << operation << esc << false << false;
        }
    }
    void protectionQuestion()
    {
        QFETCH(QString, operation);
        QFETCH(int, answer);
        QFETCH(bool, cleared);
        QFETCH(bool, goesOn);
        setUp("W25Q64");
        auto& memory = chip->contents();
        std::fill(memory.begin(), memory.end(), 0x00);
        chip->setStatusRegister(0, 0x04);
        const QByteArray data = randomBytes(0x10000, 1);
        const int at = 0x7E0000;
        if (operation == QLatin1String("write") || operation == QLatin1String("smart write")) {
            std::fill(memory.begin() + at, memory.begin() + at + data.size(), 0xFF);
            load(data, at);
        }
        const std::vector<std::uint8_t> before = memory;
        ui.answers.enqueue(QMessageBox::StandardButton(answer));
        if (operation == QLatin1String("write")) {
            child<QPushButton>("writeDataPushButton")->click();
        } else if (operation == QLatin1String("erase chip")) {
            child<QPushButton>("eraseChipPushButton")->click();
        } else if (operation == QLatin1String("erase sectors")) {
            ui.dialogScripts.enqueue([](QDialog* dialog) {
                dialog->findChild<QSpinBox*>("startSectorSpinBox")->setValue(2016);
                dialog->findChild<QSpinBox*>("sectorNumSpinBox")->setValue(16);
                dialog->findChild<QPushButton*>("surePushButton")->click();
                return dialog->result();
            });
            child<QPushButton>("eraseSectorPushButton")->click();
        } else {
            trigger("actionSmartWrite");
        }

        const auto questions = ui.callsOf(InteractionCall::Question);
        QCOMPARE(questions.size(), 1);
        QCOMPARE(questions[0].text, kTopBlockQuestion);
        QCOMPARE(questions[0].title, QString("警告"));
        QCOMPARE(questions[0].icon, QMessageBox::Warning);
        QCOMPARE(questions[0].buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(questions[0].parent.data(), static_cast<QWidget*>(window.get()));
        QVERIFY(!questions[0].progressVisible);
        QCOMPARE(chip->nonVolatileStatus(0), std::uint8_t(cleared ? 0x00 : 0x04));
        if (!goesOn) {
            QCOMPARE(ui.messages(), QStringList{questions[0].text});
            QVERIFY(ui.progresses.isEmpty());
            QCOMPARE(adapter->countOf(AdapterOp::FlashWrite) + adapter->countOf(AdapterOp::FlashEraseSectors),
                     0);
            QVERIFY(memory == before);
            return;
        }
        QCOMPARE(ui.progresses.size(), 1);
        // Cleared, the top block takes the change; left protected, it keeps what it had.
        const QByteArray top = chipBytes(at, 0x10000);
        if (operation.contains("write"))
            QCOMPARE(top == data, cleared);
        else
            QCOMPARE(top == QByteArray(0x10000, char(0xFF)), cleared);
        // A chip erase is all or nothing: the chip drops it while any part is protected.
        if (operation == QLatin1String("erase chip"))
            QCOMPARE(chipBytes(0, 16), QByteArray(16, cleared ? char(0xFF) : char(0x00)));
    }

    void noQuestionOutsideTheProtectedPart()
    {
        setUp("W25Q64");
        chip->setStatusRegister(0, 0x04);
        load(randomBytes(4096, 2), 0);
        child<QPushButton>("writeDataPushButton")->click();
        QVERIFY(ui.callsOf(InteractionCall::Question).isEmpty());
        QVERIFY(ui.messages().first().startsWith("写数据成功！"));
        // The SFDP table (header, parameter headers, basic table), SR1, SR2 and SR3, then the write.
        QCOMPARE(adapter->sequence(),
                 (std::vector<AdapterOp>{AdapterOp::ScanDevices, AdapterOp::OpenDevice, AdapterOp::FlashInit,
                                         AdapterOp::FlashReadId, AdapterOp::SpiWriteReadBytes,
                                         AdapterOp::SpiWriteReadBytes, AdapterOp::SpiWriteReadBytes,
                                         AdapterOp::SpiWriteReadBytes, AdapterOp::SpiWriteReadBytes,
                                         AdapterOp::SpiWriteReadBytes, AdapterOp::FlashWrite}));
    }

    void whatStopsTheOperation_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("status"); // SR1 SR2
        QTest::addColumn<bool>("failRead");
        QTest::addColumn<QString>("message");
        QTest::newRow("SRP with /WP low")
            << "W25Q64+wp"
            << "9c 00" << false
            << "无法清除写保护：状态寄存器被锁定（SRP=1 且 /WP 引脚为低电平）。\n"
               "请将 /WP 接高电平后重试。";
        QTest::newRow("SRL") << "W25Q64"
                             << "1c 01" << false
                             << "无法清除写保护：状态寄存器已锁定（SRL=1），需给芯片断电后重试。";
        QTest::newRow("the status read fails") << "W25Q64"
                                               << "00 00" << true << "读取状态寄存器失败！";
    }
    void whatStopsTheOperation()
    {
        QFETCH(QString, model);
        QFETCH(QString, status);
        QFETCH(bool, failRead);
        QFETCH(QString, message);
        setUp(qPrintable(model));
        const QStringList values = status.split(' ');
        for (int i = 0; i < values.size(); ++i)
            chip->setStatusRegister(i, static_cast<std::uint8_t>(values[i].toUInt(nullptr, 16)));
        if (failRead)
            adapter->failCall(AdapterOp::SpiWriteReadBytes, 4); // after the three reads of SFDP
        ui.answers.enqueue(QMessageBox::Yes);
        child<QPushButton>("eraseChipPushButton")->click();
        QCOMPARE(ui.messages().last(), message);
        const auto warnings = ui.callsOf(InteractionCall::Warning);
        QCOMPARE(warnings.size(), 1);
        QCOMPARE(warnings[0].parent.data(), static_cast<QWidget*>(window.get()));
        QVERIFY(ui.progresses.isEmpty());
        QCOMPARE(adapter->countOf(AdapterOp::SpiWriteBytes), failRead ? 0 : 2); // at most the status write
        QCOMPARE(chip->nonVolatileStatus(0), std::uint8_t(values[0].toUInt(nullptr, 16)));
    }

    // WPS: blocks locked one by one, which clearing the protect bits does not unlock.
    void blockLocksAreSaid_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("go on") << int(QMessageBox::Yes);
        QTest::newRow("stop") << int(QMessageBox::No);
    }
    void blockLocksAreSaid()
    {
        QFETCH(int, answer);
        setUp("W25Q64");
        chip->setStatusRegister(2, 0x04);
        ui.answers.enqueue(QMessageBox::StandardButton(answer));
        child<QPushButton>("eraseChipPushButton")->click();
        const auto questions = ui.callsOf(InteractionCall::Question);
        QCOMPARE(questions.size(), 1);
        QCOMPARE(
            questions[0].text,
            QString("芯片启用了单独的块锁定（WPS=1），整片芯片都可能受保护，本程序无法解除。\n是否继续？"));
        QCOMPARE(questions[0].buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(ui.progresses.size(), answer == QMessageBox::Yes ? 1 : 0);
        QCOMPARE(adapter->countOf(AdapterOp::SpiWriteBytes),
                 answer == QMessageBox::Yes ? 2 : 0); // no status write
        QCOMPARE(chip->nonVolatileStatus(2), std::uint8_t(0x04));
    }

    void unknownFamilyMayProtectAll()
    {
        setUp("", "Unknown", {0xEF, 0x40, 0x30});
        chip->setStatusRegister(0, 0x40);
        ui.answers.enqueue(QMessageBox::Cancel);
        child<QPushButton>("eraseChipPushButton")->click();
        QCOMPARE(
            ui.messages(),
            QStringList{
                "芯片的写保护位已置位：S6\n不清楚这些位在此芯片上保护哪些地址，整片芯片都可能受保护。\n\n" +
                kClearQuestion});
        const auto reads = adapter->callsOf(AdapterOp::SpiWriteReadBytes);
        QCOMPARE(std::count_if(reads.begin(), reads.end(), [](const AdapterCall& call) { return call.sent[0] != 0x5A; }),
                 1); // SR1 only, besides SFDP
    }

    // The chip's SFDP table, read by every operation: a record of another size asks first.
    void sizeFromSfdp_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<bool>("detectFirst");
        QTest::addColumn<QString>("operation");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("asked");
        QTest::newRow("write, No") << "W25Q64-4M" << true << "write" << int(QMessageBox::No) << true;
        QTest::newRow("write, Yes") << "W25Q64-4M" << true << "write" << int(QMessageBox::Yes) << true;
        QTest::newRow("erase chip") << "W25Q64-4M" << true << "erase chip" << int(QMessageBox::No) << true;
        QTest::newRow("the right size: not asked")
            << "W25Q64" << true << "write" << int(QMessageBox::No) << false;
        QTest::newRow("never detected: read by the operation")
            << "W25Q64-4M" << false << "write" << int(QMessageBox::No) << true;
        QTest::newRow("smart write reads SFDP itself")
            << "W25Q64-4M" << false << "smart write" << int(QMessageBox::No) << true;
    }
    void sizeFromSfdp()
    {
        QFETCH(QString, record);
        QFETCH(bool, detectFirst);
        QFETCH(QString, operation);
        QFETCH(int, answer);
        QFETCH(bool, asked);
        setUp("W25Q64");
        if (detectFirst)
            detect();
        select(record);
        load(QByteArray(4096, '\x11'), 0);
        ui.answers.enqueue(QMessageBox::StandardButton(answer));
        if (operation == QLatin1String("write"))
            child<QPushButton>("writeDataPushButton")->click();
        else if (operation == QLatin1String("erase chip"))
            child<QPushButton>("eraseChipPushButton")->click();
        else
            trigger("actionSmartWrite");
        const auto questions = ui.callsOf(InteractionCall::Question);
        if (!asked) {
            QVERIFY(questions.isEmpty());
            QCOMPARE(ui.progresses.size(), 1);
            return;
        }
        QCOMPARE(questions.size(), 1);
        QCOMPARE(questions[0].text,
                 QString("所选型号的容量（4 MByte）与芯片SFDP参数表中的容量（8 MByte）不一致，"
                         "型号可能选错了。\n是否继续？"));
        QCOMPARE(questions[0].buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(ui.progresses.size(), answer == QMessageBox::Yes ? 1 : 0);
    }

    // ---- reading twice

    void readTwice_data()
    {
        QTest::addColumn<bool>("twice");
        QTest::addColumn<int>("flakyRead");
        QTest::addColumn<QString>("message");
        QTest::newRow("off: one read") << false << 200 << "读数据成功！";
        QTest::newRow("on, the same twice") << true << -1 << "读数据成功！";
        QTest::newRow("on, the second read differs")
            << true << 410 + 300
            << "两次读出的数据不一致：有1字节不同，第一个在地址0x5D70ED。\n可能是接触不良或时钟太快，请降低“"
               "速度”后重试。";
    }
    void readTwice()
    {
        QFETCH(bool, twice);
        QFETCH(int, flakyRead);
        QFETCH(QString, message);
        setUp("W25Q64");
        load(QByteArray(16, '\x42'), 0);
        child<QAction>("actionReadTwice")->setChecked(twice);
        adapter->flakyRead = flakyRead;
        adapter->flakyAddress = 299 * 20480 + 237;
        child<QPushButton>("readDataPushButton")->click();
        QVERIFY2(ui.messages().first().startsWith(message), qPrintable(ui.messages().first()));
        QCOMPARE(adapter->countOf(AdapterOp::FlashRead), twice ? 2 * 410 : 410);
        const ProgressRecord& progress = *ui.progresses[0];
        QCOMPARE(progress.maximum, 8 * kMiB);
        QVERIFY(std::is_sorted(progress.values.begin(), progress.values.end()));
        if (message.startsWith("读数据成功")) {
            QCOMPARE(progress.values.last(), 8 * kMiB);
            QCOMPARE(buffer().size(), 8 * kMiB);
        } else {
            QCOMPARE(buffer(), QByteArray(16, '\x42')); // the buffer keeps what it had
            QCOMPARE(ui.callsOf(InteractionCall::Warning).size(), 1);
        }
    }

    // ---- blank check

    void blankCheck_data()
    {
        QTest::addColumn<QString>("how");  // action, or after erase chip
        QTest::addColumn<int>("written");  // address of a byte not erased, -1 none
        QTest::addColumn<bool>("protect"); // BP0 set, the erase goes on without clearing it
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("查空, erased") << "action" << -1 << false << QStringList{"芯片为空！\n耗时: "};
        QTest::newRow("查空, one byte")
            << "action" << 0x100 << false
            << QStringList{"芯片不为空！\n有1字节不是0xFF，第一个在地址0x000100。"};
        QTest::newRow("after erase chip")
            << "erase" << 0x100 << false << QStringList{"擦除数据成功！\n耗时: ", "芯片为空！\n耗时: "};
        QTest::newRow("after an erase the chip refused in part")
            << "erase" << 0x7F0000 << true
            << QStringList{"擦除数据成功！\n耗时: ",
                           "芯片不为空！\n有65537字节不是0xFF，第一个在地址0x7E0000。"};
        QTest::newRow("switched off: the erase alone")
            << "erase off" << 0x100 << false << QStringList{"擦除数据成功！\n耗时: "};
    }
    void blankCheck()
    {
        QFETCH(QString, how);
        QFETCH(int, written);
        QFETCH(bool, protect);
        QFETCH(QStringList, messages);
        setUp("W25Q64");
        if (written >= 0)
            chip->contents()[std::size_t(written)] = 0x00;
        if (protect) {
            std::fill(chip->contents().begin() + 0x7E0000, chip->contents().begin() + 0x7F0000, 0x00);
            chip->setStatusRegister(0, 0x04);
            ui.answers.enqueue(QMessageBox::No);
        }
        if (how == QLatin1String("action")) {
            trigger("actionBlankCheck");
        } else {
            child<QAction>("actionBlankCheckAfterErase")->setChecked(how == QLatin1String("erase"));
            child<QPushButton>("eraseChipPushButton")->click();
        }
        const QList<InteractionCall> reports = ui.reports();
        QCOMPARE(reports.size(), messages.size());
        for (int i = 0; i < messages.size(); ++i)
            QVERIFY2(reports[i].text.startsWith(messages[i]), qPrintable(reports[i].text));
        QCOMPARE(ui.progresses.size(), messages.size());
        QCOMPARE(ui.progresses.last()->title,
                 QString(messages.last().startsWith("擦除") ? "整片擦除" : "查空"));
    }

    // ---- smart write

    void smartWrite_data()
    {
        QTest::addColumn<QString>("chipFill");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("message");
        QTest::newRow("mid-block range over other data")
            << "random" << 0x1800 << 0x21000 << "智能写入成功！\n擦除12块（136 KByte），写入544页，";
        QTest::newRow("what the chip holds")
            << "same" << 0x1800 << 0x21000
            << "智能写入成功！\n擦除0块（0 Byte），写入0页，135168字节已与数据相同。";
        QTest::newRow("nothing loaded") << "random" << 0 << 0 << "没有数据！";
    }
    void smartWrite()
    {
        QFETCH(QString, chipFill);
        QFETCH(int, start);
        QFETCH(int, length);
        QFETCH(QString, message);
        setUp("W25Q64");
        const QByteArray before = randomBytes(8 * kMiB, 3);
        std::copy(before.begin(), before.end(), chip->contents().begin());
        const QByteArray data =
            chipFill == QLatin1String("same") ? before.mid(start, length) : randomBytes(length, 4);
        if (length > 0)
            load(data, start);
        trigger("actionSmartWrite");
        QVERIFY2(ui.messages().last().startsWith(message), qPrintable(ui.messages().last()));
        if (length == 0) {
            QVERIFY(ui.progresses.isEmpty());
            return;
        }
        QVERIFY(ui.messages().last().contains("\n耗时: "));
        QCOMPARE(ui.calls.last().kind, InteractionCall::Information);
        const ProgressRecord& progress = *ui.progresses[0];
        QCOMPARE(progress.title, QString("智能写入"));
        QCOMPARE(progress.maximum, int(kSmartWriteProgressTotal));
        QCOMPARE(progress.values.last(), int(kSmartWriteProgressTotal));
        QVERIFY(progress.closed);
        // The range holds the buffer; nothing else changed.
        QCOMPARE(chipBytes(start, length), data);
        QCOMPARE(chipBytes(0, start), before.left(start));
        QCOMPARE(chipBytes(start + length, 8 * kMiB - start - length), before.mid(start + length));
    }

    // ---- the status register dialog

    void statusRegisterDialog_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("before"); // SR1 SR2 SR3
        QTest::addColumn<QString>("checks"); // "reg.bit" boxes to tick before 写入, "" only read
        QTest::addColumn<bool>("volatileWrite");
        QTest::addColumn<QString>("message"); // "" none
        QTest::addColumn<QString>("lasting"); // non-volatile values afterwards
        QTest::addColumn<QString>("protection");
        QTest::newRow("read only") << "W25Q64"
                                   << "1c 02 00"
                                   << "" << false << ""
                                   << "1c 02 00"
                                   << "写保护：0x000000 - 0x7FFFFF（8 MByte）";
        QTest::newRow("BP0 and CMP") << "W25Q64"
                                     << "00 00 00"
                                     << "0.2 1.6" << false << "写入状态寄存器成功！"
                                     << "04 40 00"
                                     << "写保护：0x000000 - 0x7DFFFF（8064 KByte）";
        QTest::newRow("volatile") << "W25Q64"
                                  << "00 00 00"
                                  << "0.2" << true << "写入状态寄存器成功！"
                                  << "00 00 00"
                                  << "写保护：0x7E0000 - 0x7FFFFF（128 KByte）";
        QTest::newRow("SRP with /WP low")
            << "W25Q64+wp"
            << "80 00 00"
            << "0.2" << false << "写入失败：状态寄存器被锁定（SRP=1 且 /WP 引脚为低电平）。"
            << "80 00 00"
            << "写保护：无\nSRP=1：/WP 为低电平时状态寄存器不能写入";
        QTest::newRow("no chip answers")
            << "W25Q64+nopower"
            << "00 00 00"
            << "" << false << "没有芯片应答（ID为FFFFFF）！\n请检查接线、通道（片选）和芯片供电。"
            << "00 00 00"
            << "写保护：未读取";
    }
    void statusRegisterDialog()
    {
        QFETCH(QString, model);
        QFETCH(QString, before);
        QFETCH(QString, checks);
        QFETCH(bool, volatileWrite);
        QFETCH(QString, message);
        QFETCH(QString, lasting);
        QFETCH(QString, protection);
        setUp(qPrintable(model));
        const QStringList values = before.split(' ');
        for (int i = 0; i < values.size(); ++i)
            chip->setStatusRegister(i, static_cast<std::uint8_t>(values[i].toUInt(nullptr, 16)));
        QStringList names;
        QString shown;
        bool lbEnabled = true;
        bool writableBeforeRead = true;
        ui.dialogScripts.enqueue([&](QDialog* d) {
            auto* dialog = qobject_cast<StatusRegisterDialog*>(d);
            QPushButton* write = dialog->findChild<QPushButton*>("writePushButton");
            writableBeforeRead = write->isEnabled();
            dialog->findChild<QPushButton*>("readPushButton")->click();
            for (int bit = 7; bit >= 0; --bit)
                names << dialog->bitBox(0, bit)->text();
            lbEnabled = dialog->bitBox(1, 3)->isEnabled();
            for (const QString& check : checks.split(' ', Qt::SkipEmptyParts))
                dialog->bitBox(check.section('.', 0, 0).toInt(), check.section('.', 1).toInt())
                    ->setChecked(true);
            dialog->findChild<QCheckBox*>("volatileCheckBox")->setChecked(volatileWrite);
            if (!checks.isEmpty())
                write->click();
            shown = dialog->findChild<QLabel*>("protectionLabel")->text();
            return int(QDialog::Rejected);
        });
        trigger("actionStatusRegisters");
        QCOMPARE(ui.calls.first().kind, InteractionCall::ExecDialog);
        QCOMPARE(ui.calls.first().text, QString("StatusRegisterDialog"));
        QCOMPARE(ui.calls.first().title, QString("状态寄存器"));
        QVERIFY(!writableBeforeRead); // nothing to write before a read
        QCOMPARE(names, (QStringList{"SRP", "SEC", "TB", "BP2", "BP1", "BP0", "WEL", "BUSY"}));
        QVERIFY(!lbEnabled); // one-time lock bits are not offered
        QCOMPARE(ui.messages(), message.isEmpty() ? QStringList{} : QStringList{message});
        QStringList kept;
        for (int i = 0; i < 3; ++i)
            kept << QStringLiteral("%1").arg(chip->nonVolatileStatus(i), 2, 16, QLatin1Char('0'));
        QCOMPARE(kept.join(' '), lasting);
        QCOMPARE(shown, protection);
        QVERIFY(window->findChildren<StatusRegisterDialog*>().isEmpty());
    }

    void statusRegisterDialogOfOtherFamilies_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("record");
        QTest::addColumn<QStringList>("groups"); // visible group titles
        QTest::newRow("W25Q64") << "W25Q64"
                                << "W25Q64" << QStringList{"SR1 (05h)", "SR2 (35h)", "SR3 (15h)"};
        QTest::newRow("no known family") << ""
                                         << "Unknown" << QStringList{"SR1 (05h)"};
    }
    void statusRegisterDialogOfOtherFamilies()
    {
        QFETCH(QString, model);
        QFETCH(QString, record);
        QFETCH(QStringList, groups);
        if (model.isEmpty())
            setUp("", record, {0xEF, 0x40, 0x30});
        else
            setUp(qPrintable(model), record);
        QStringList titles;
        ui.dialogScripts.enqueue([&](QDialog* d) {
            for (const char* name : {"sr1GroupBox", "sr2GroupBox", "sr3GroupBox"}) {
                auto* group = d->findChild<QGroupBox*>(name);
                if (!group->isHidden())
                    titles << group->title();
            }
            return int(QDialog::Rejected);
        });
        trigger("actionStatusRegisters");
        QCOMPARE(titles, groups);
        QVERIFY(adapter->calls().empty()); // nothing read until 读取
    }

    // ---- detection

    void detectionSaysHowManyRecordsMatch()
    {
        setUp("W25Q64");
        detect();
        const QString message = window->statusBar()->currentMessage();
        QVERIFY2(
            message.startsWith(
                "芯片ID：EF4017，有2个型号的ID与之相同，已选第一个，请确认型号；SFDP：8 MByte，页256字节，"
                "擦除块4K/32K/64K，3字节地址"),
            qPrintable(message));
        QCOMPARE(chipModelName(window->currentChipInfo()), QString("W25Q64"));
    }

    void detectionOffersARecordFromSfdp_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("added");
        QTest::newRow("yes, then 添加") << int(QMessageBox::Yes) << true;
        QTest::newRow("no") << int(QMessageBox::No) << false;
    }
    void detectionOffersARecordFromSfdp()
    {
        QFETCH(int, answer);
        QFETCH(bool, added);
        setUp("GD25Q32"); // no record has C8 40 16
        ui.answers.enqueue(QMessageBox::StandardButton(answer));
        QString manufacturer, modelName;
        ui.dialogScripts.enqueue([](QDialog* dialog) {
            dialog->findChild<QPushButton*>("detectPushButton")->click();
            return int(QDialog::Rejected);
        });
        ui.dialogScripts.enqueue([&](QDialog* dialog) {
            manufacturer = dialog->findChild<QLineEdit*>("manufacturerLineEdit")->text();
            modelName = dialog->findChild<QLineEdit*>("modelNumberLineEdit")->text();
            dialog->findChild<QPushButton*>("addPushButton")->click();
            dialog->close(); // saves
            return dialog->result();
        });
        trigger("actionChipDetect");
        const auto questions = ui.callsOf(InteractionCall::Question);
        QCOMPARE(questions.size(), 1);
        QCOMPARE(questions[0].text,
                 QString("芯片库中没有ID为C84016的型号。\n芯片带有SFDP参数表：4 MByte，页256字节，"
                         "擦除块4K/32K/64K，3字节地址。\n\n是否按SFDP参数新增芯片？"));
        QList<CHIP_INFO> list;
        QString error;
        QVERIFY(readChipListFile(QStringLiteral("ChipListData.dat"), list, &error));
        QCOMPARE(list.size(), added ? 4 : 3);
        if (!added) {
            QCOMPARE(ui.callsOf(InteractionCall::ExecDialog).size(), 1);
            return;
        }
        QCOMPARE(manufacturer, QString("Unknown"));
        QCOMPARE(modelName, QString("SFDP-C84016"));
        const auto made = *std::find_if(list.begin(), list.end(), [](const CHIP_INFO& r) {
            return chipModelName(r) == QLatin1String("SFDP-C84016");
        });
        QCOMPARE(chipSize(made), 4 * kMiB);
        QCOMPARE(made.Config.SectorSize, 4096);
        QCOMPARE(chipIdKey(made.Config.FlashID), 0xC84016u);
        // Selected, and it drives the chip.
        QCOMPARE(chipModelName(window->currentChipInfo()), QString("SFDP-C84016"));
        ui.clear();
        load(QByteArray(300, '\x5A'), 0x1000);
        child<QPushButton>("writeDataPushButton")->click();
        QVERIFY(ui.messages().first().startsWith("写数据成功！"));
        QCOMPARE(chipBytes(0x1000, 300), QByteArray(300, '\x5A'));
    }
};

QTEST_MAIN(TestSafetyWindow)
#include "tst_safetywindow.moc"
