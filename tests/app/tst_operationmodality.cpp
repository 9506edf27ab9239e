// Plain C++ adapter headers first: Qt's "slots" keyword macro must not reach them.
#include "tests/support/simulatedtestadapter.h"

#include "app/mainwindow.h"
#include "tests/support/scriptedinteraction.h"
#include "tests/support/testchips.h"
#include "tests/support/virtualclock.h"

#include <QAction>
#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

using namespace korvane;

namespace {

constexpr std::uint32_t kChipBytes = 64 * 1024;

// Scripted message boxes and dialogs, but the program's own progress dialog.
class RealProgressInteraction : public ScriptedInteraction
{
public:
    std::unique_ptr<ProgressDialog> showProgress(QWidget* parent, const QString& title, const QString& label,
                                                 int minimum, int maximum) override
    {
        return real.showProgress(parent, title, label, minimum, maximum);
    }

private:
    WidgetUserInteraction real;
};

// Runs a hook once, at the nth call of one operation, while the operation that made it is at work.
class HookedAdapter : public SimulatedTestAdapter
{
public:
    using SimulatedTestAdapter::SimulatedTestAdapter;

    void hookAt(AdapterOp op, int nth, std::function<void()> action)
    {
        hookOp = op;
        remaining = nth;
        hook = std::move(action);
    }
    bool hookRan() const { return ran; }

    int flashRead(int h, int s, std::uint32_t a, std::uint8_t* b, std::uint32_t n) override
    {
        tick(AdapterOp::FlashRead);
        return SimulatedTestAdapter::flashRead(h, s, a, b, n);
    }
    int flashWrite(int h, int s, std::uint32_t a, const std::uint8_t* d, std::uint32_t n) override
    {
        tick(AdapterOp::FlashWrite);
        return SimulatedTestAdapter::flashWrite(h, s, a, d, n);
    }
    int flashEraseSectors(int h, int s, std::uint32_t first, std::uint32_t n) override
    {
        tick(AdapterOp::FlashEraseSectors);
        return SimulatedTestAdapter::flashEraseSectors(h, s, first, n);
    }
    int spiWriteReadBytes(int h, int s, const std::uint8_t* out, int outCount, std::uint8_t* in, int inCount,
                          int flag) override
    {
        tick(AdapterOp::SpiWriteReadBytes);
        return SimulatedTestAdapter::spiWriteReadBytes(h, s, out, outCount, in, inCount, flag);
    }
    bool writeFirmware(int h, std::uint32_t a, const std::uint8_t* d, std::uint32_t n, int flag) override
    {
        tick(AdapterOp::WriteFirmware);
        return SimulatedTestAdapter::writeFirmware(h, a, d, n, flag);
    }

private:
    void tick(AdapterOp op)
    {
        if (!hook || op != hookOp || --remaining > 0)
            return;
        const auto action = std::move(hook);
        hook = nullptr;
        ran = true;
        action();
    }

    AdapterOp hookOp = AdapterOp::ScanDevices;
    int remaining = 0;
    std::function<void()> hook;
    bool ran = false;
};

} // namespace

// Esc or the close control on the progress dialog in the middle of an operation: the dialog stays
// up and modal, a click on another operation's button does nothing, and the operation ends with its
// own report alone.
class TestOperationModality : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        previousDir = QDir::currentPath();
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid() && QDir::setCurrent(dir->path()));
        writeTestChipList({makeTestChip(QStringLiteral("Test"), QStringLiteral("Chip"), {0xEF, 0x40, 0x15},
                                        static_cast<std::int32_t>(kChipBytes))});
        ui.clear();
        ui.fileNames.clear();
        ui.dialogScripts.clear();
        adapter = std::make_unique<HookedAdapter>(clock);
        adapter->sim().setAdapterCount(1);
        adapter->sim().attachChip(
            0, 0x00,
            std::make_unique<SimulatedChip>(clock, std::vector<std::uint8_t>{0xEF, 0x40, 0x15}, kChipBytes));
        window = std::make_unique<MainWindow>(*adapter, ui, clock);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void cleanup()
    {
        window.reset();
        adapter.reset();
        QDir::setCurrent(previousDir);
        dir.reset();
    }

    void progressDialogCannotBeLeftWhileWorking_data()
    {
        QTest::addColumn<QString>("start"); // button or action that starts the operation
        QTest::addColumn<int>("hookOp");    // the call in whose middle the user acts
        QTest::addColumn<int>("hookAt");
        QTest::addColumn<QString>("other");  // the button the user then clicks
        QTest::addColumn<QString>("report"); // the operation's own success text
        QTest::addColumn<bool>("esc");       // Esc, or the close control

        struct Row
        {
            const char* name;
            const char* start;
            AdapterOp op;
            int at;
            const char* other;
            const char* report;
        };
        const Row rows[] = {
            {"write", "writeDataPushButton", AdapterOp::FlashWrite, 2, "eraseChipPushButton", "写数据成功！"},
            {"read", "readDataPushButton", AdapterOp::FlashRead, 2, "eraseChipPushButton", "读数据成功！"},
            {"verify", "verifyPushButton", AdapterOp::FlashRead, 2, "eraseChipPushButton", "数据校验成功！"},
            // After three reads of the SFDP table and three of the status registers, the erase's polls.
            {"erase chip", "eraseChipPushButton", AdapterOp::SpiWriteReadBytes, 8, "readDataPushButton",
             "擦除数据成功！"},
            {"erase sectors", "eraseSectorPushButton", AdapterOp::FlashEraseSectors, 2, "eraseChipPushButton",
             "擦除扇区成功！"},
            {"firmware upgrade", "actionUpgrade", AdapterOp::WriteFirmware, 2, "eraseChipPushButton",
             "固件更新成功！"},
        };
        for (const Row& row : rows) {
            for (const bool esc : {true, false}) {
                QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(row.name, esc ? "Esc" : "close")))
                    << row.start << int(row.op) << row.at << row.other << QString::fromUtf8(row.report)
                    << esc;
            }
        }
    }

    void progressDialogCannotBeLeftWhileWorking()
    {
        QFETCH(QString, start);
        QFETCH(int, hookOp);
        QFETCH(int, hookAt);
        QFETCH(QString, other);
        QFETCH(QString, report);
        QFETCH(bool, esc);

        // What each operation needs: a buffer, the sector choice, a firmware image.
        const QByteArray content(static_cast<int>(kChipBytes), '\xFF');
        ui.fileNames.enqueue(writeFile(QStringLiteral("buffer.bin"), content));
        window->findChild<QAction*>(QStringLiteral("actionOpenFile"))->trigger();
        ui.dialogScripts.enqueue([](QDialog* dialog) {
            dialog->findChild<QSpinBox*>(QStringLiteral("sectorNumSpinBox"))->setValue(4);
            dialog->findChild<QPushButton*>(QStringLiteral("surePushButton"))->click();
            return dialog->result();
        });
        QByteArray firmware(3 * 5120, '\x5A');
        firmware += QCryptographicHash::hash(firmware, QCryptographicHash::Md5);
        ui.fileNames.enqueue(writeFile(QStringLiteral("firmware.bin"), firmware));
        ui.clear();
        adapter->clearLog();

        auto* otherButton = window->findChild<QPushButton*>(other);
        QVERIFY(otherButton);
        const QPoint onOther = otherButton->mapTo(window.get(), otherButton->rect().center());
        bool stayedUp = false;
        bool stayedModal = false;
        std::size_t callsBeforeClick = 0;
        std::size_t callsAfterClick = 0;
        adapter->hookAt(AdapterOp(hookOp), hookAt, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (!dialog || !dialog->findChild<QProgressBar*>())
                return;
            if (esc)
                QTest::keyClick(dialog, Qt::Key_Escape);
            else
                dialog->close();
            QCoreApplication::processEvents();
            stayedUp = dialog->isVisible();
            stayedModal = QApplication::activeModalWidget() == dialog;
            callsBeforeClick = adapter->calls().size();
            QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, onOther);
            callsAfterClick = adapter->calls().size();
        });

        if (auto* button = window->findChild<QPushButton*>(start))
            button->click();
        else
            window->findChild<QAction*>(start)->trigger();

        QVERIFY2(adapter->hookRan(), qPrintable(ui.messages().join(" / ")));
        QVERIFY(stayedUp);
        QVERIFY(stayedModal);
        QCOMPARE(callsAfterClick, callsBeforeClick);
        QCOMPARE(ui.messages().size(), 1);
        QVERIFY2(ui.messages().first().startsWith(report), qPrintable(ui.messages().first()));
        // No second operation configured the adapter.
        const int ownInits = start == QLatin1String("actionUpgrade") ? 0 : 1;
        QCOMPARE(adapter->countOf(AdapterOp::FlashInit), ownInits);
        QVERIFY(!QApplication::activeModalWidget());

        // Once the operation is over the same click reaches the button.
        clock.sleep(SimulatedAdapter::kDefaultRestartMs); // an upgraded adapter is back by then
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, onOther);
        QCOMPARE(adapter->countOf(AdapterOp::FlashInit), ownInits + 1);
    }

private:
    QString writeFile(const QString& name, const QByteArray& bytes) const
    {
        const QString path = dir->filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write test file");
        return path;
    }

    QString previousDir;
    std::unique_ptr<QTemporaryDir> dir;
    VirtualClock clock;
    std::unique_ptr<HookedAdapter> adapter;
    RealProgressInteraction ui;
    std::unique_ptr<MainWindow> window;
};

QTEST_MAIN(TestOperationModality)
#include "tst_operationmodality.moc"
