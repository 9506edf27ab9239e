// The USB programmers through both front ends, over emulated devices: the window (a CH341A as
// 设备 0 with its chip on CS0, a CH347T as 设备 1 with its chip on CS1, then the simulated adapter)
// and korvane-spi run in-process over the same bus. Rows: what the user does, the fault on the
// way, what the user is told.
#include "tests/backends/ch341a/ch341aemulator.h"
#include "tests/backends/ch347/ch347emulator.h"
#include "tests/backends/usb/usbrig.h"

#include "app/mainwindow.h"
#include "cli/commandline.h"
#include "gui/operationframe.h"
#include "qhexedit/qhexedit.h"
#include "qhexedit/qhexeditdata.h"
#include "qhexedit/qhexeditdatareader.h"
#include "tests/support/scriptedinteraction.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

using namespace korvane;

namespace {

// Small, so that the whole chip goes through the emulators quickly even under the sanitizers.
constexpr int kChipBytes = 256 << 10;
const std::vector<std::uint8_t> kChipId{0x0B, 0x40, 0x12};

QByteArray pattern(int size, std::uint32_t seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<char>(seed >> 16);
    }
    return bytes;
}

QByteArray contents(SimulatedChip& chip)
{
    return QByteArray(reinterpret_cast<const char*>(chip.contents().data()), int(chip.size()));
}

void fill(SimulatedChip& chip, const QByteArray& bytes)
{
    std::copy(bytes.begin(), bytes.end(), chip.contents().begin());
}

QString readAll(std::FILE* file)
{
    std::fflush(file);
    std::rewind(file);
    QByteArray bytes;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, int(n));
    return QString::fromLocal8Bit(bytes);
}

} // namespace

class TestUsbFrontEnds : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString previousDir;
    VirtualClock clock;
    std::unique_ptr<EmulatedUsbBus> bus;
    Ch341aEmulator* ch341a = nullptr;
    Ch347Emulator* ch347 = nullptr;
    std::unique_ptr<SimulatedChip> chip0; // on the CH341A's CS0
    std::unique_ptr<SimulatedChip> chip1; // on the CH347's CS1
    ScriptedInteraction interaction;
    std::unique_ptr<AdapterRegistry> registry;
    std::unique_ptr<MainWindow> window;

    DeviceAccess access() const
    {
        DeviceAccess a;
        a.usb = bus.get();
        return a;
    }

    template <typename T> T* child(const char* name) const
    {
        T* found = window->findChild<T*>(QLatin1String(name));
        if (!found)
            qFatal("no child %s", name);
        return found;
    }

    QByteArray buffer() const
    {
        QHexEditData* model = window->findChild<QHexEdit*>()->data();
        if (!model)
            return QByteArray();
        QHexEditDataReader reader(model);
        return reader.read(0, model->length());
    }

    SimulatedChip& chipOf(int device) const { return device == 0 ? *chip0 : *chip1; }
    EmulatedUsbDevice& emulatorOf(int device) const
    {
        return device == 0 ? static_cast<EmulatedUsbDevice&>(*ch341a) : *ch347;
    }

    void loadIntoBuffer(const QByteArray& bytes)
    {
        QFile file(dir.filePath(QStringLiteral("load.bin")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        interaction.fileNames.enqueue(file.fileName());
        child<QAction>("actionOpenFile")->trigger();
    }

    // korvane-spi in-process: exit status, standard output and standard error.
    int runCli(const QStringList& arguments, QString* out, QString* err)
    {
        std::FILE* outFile = std::tmpfile();
        std::FILE* errFile = std::tmpfile();
        CommandLine cli(clock, access(), outFile, errFile);
        const int status = cli.run(QStringList{QStringLiteral("korvane-spi")} + arguments);
        *out = readAll(outFile);
        *err = readAll(errFile);
        std::fclose(outFile);
        std::fclose(errFile);
        return status;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        previousDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        writeTestChipList({makeTestChip("XTX", "XT25F02", kChipId, kChipBytes)});
        qputenv("SPIFLASH_SIM_DIR", dir.filePath(QStringLiteral("sim")).toLocal8Bit());
        qunsetenv("SPIFLASH_SIM_CHIPS");
    }
    void cleanupTestCase() { QDir::setCurrent(previousDir); }

    void init()
    {
        bus = std::make_unique<EmulatedUsbBus>();
        ch341a =
            static_cast<Ch341aEmulator*>(bus->add(std::make_unique<Ch341aEmulator>(1, std::vector<int>{1})));
        ch347 = static_cast<Ch347Emulator*>(
            bus->add(std::make_unique<Ch347Emulator>(0x55db, 1, std::vector<int>{2}, "CH347-0001")));
        chip0 = std::make_unique<SimulatedChip>(clock, kChipId, kChipBytes);
        chip1 = std::make_unique<SimulatedChip>(clock, kChipId, kChipBytes);
        ch341a->wire.attach(0, chip0.get());
        ch347->wire.attach(1, chip1.get());
        interaction.calls.clear();
        QString error;
        registry = createAdapterRegistry(clock, QString(), true, &error, access());
        QVERIFY2(registry, qPrintable(error));
        window = std::make_unique<MainWindow>(*registry, interaction, clock);
    }

    void cleanup()
    {
        window.reset();
        registry.reset();
        const std::string violations = bus->violations();
        QVERIFY2(violations.empty(), violations.c_str());
        bus.reset();
    }

    // 设备 indexes the USB adapters in port order, then the simulated one; the window says which
    // is which without touching any of the texts it always had.
    void windowShowsTheAdapter_data()
    {
        QTest::addColumn<int>("device");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("设备 0") << 0 << QStringList{"设备 0", "CH341A", "ch341a", "usb 1-1"};
        QTest::newRow("设备 1") << 1 << QStringList{"CH347T", "usb 1-2", "序列号 CH347-0001"};
        QTest::newRow("设备 2") << 2 << QStringList{"Simulated adapter", "sim"};
        QTest::newRow("设备 5") << 5 << QStringList{"设备 5：未找到"};
    }
    void windowShowsTheAdapter()
    {
        QFETCH(int, device);
        QFETCH(QStringList, shown);
        child<QComboBox>("devIndexComboBox")->setCurrentIndex(device);
        const QString label = child<QLabel>("adapterLabel")->text();
        for (const QString& part : shown)
            QVERIFY2(label.contains(part), qPrintable(label));
        QCOMPARE(child<QComboBox>("devIndexComboBox")->toolTip(), label);
    }

    // Every operation on either programmer, and what goes wrong on the way.
    void windowOperations_data()
    {
        QTest::addColumn<int>("device");
        QTest::addColumn<int>("port"); // row of the 通道 box
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message"); // the start of the last message
        const QString denied = adapterAccessDeniedText();
        QTest::newRow("read, CH341A") << 0 << 0 << "read"
                                      << ""
                                      << "读数据成功！";
        QTest::newRow("read, CH347 CS1") << 1 << 1 << "read"
                                         << ""
                                         << "读数据成功！";
        QTest::newRow("write, CH347 CS1") << 1 << 1 << "write"
                                          << ""
                                          << "写数据成功！";
        QTest::newRow("write, CH341A") << 0 << 0 << "write"
                                       << ""
                                       << "写数据成功！";
        QTest::newRow("verify, CH341A") << 0 << 0 << "verify"
                                        << ""
                                        << "数据校验成功！";
        QTest::newRow("verify, CH347 finds a difference") << 1 << 1 << "verify"
                                                          << "differs"
                                                          << "数据校验失败！";
        QTest::newRow("erase chip, CH341A") << 0 << 0 << "erase"
                                            << ""
                                            << "擦除数据成功！";
        QTest::newRow("CH341A lacks SPI1-CS3") << 0 << 3 << "read"
                                               << ""
                                               << "配置设备失败！";
        QTest::newRow("CH347 lacks SPI2-CS0") << 1 << 5 << "read"
                                              << ""
                                              << "配置设备失败！";
        QTest::newRow("read without permission") << 0 << 0 << "read"
                                                 << "deny" << denied;
        QTest::newRow("detect without permission") << 0 << 0 << "detect"
                                                   << "deny" << denied;
        QTest::newRow("information without permission") << 1 << 0 << "info"
                                                        << "deny" << denied;
        QTest::newRow("information") << 0 << 0 << "info"
                                     << ""
                                     << "固件名称: CH341A";
        QTest::newRow("upgrade") << 1 << 0 << "upgrade"
                                 << ""
                                 << "该设备不支持固件升级！";
        QTest::newRow("read, CH341A unplugged") << 0 << 0 << "read"
                                                << "unplug"
                                                << "读数据出错！";
        QTest::newRow("write, CH347 unplugged") << 1 << 1 << "write"
                                                << "unplug"
                                                << "写数据出错！";
    }
    void windowOperations()
    {
        QFETCH(int, device);
        QFETCH(int, port);
        QFETCH(QString, operation);
        QFETCH(QString, fault);
        QFETCH(QString, message);
        SimulatedChip& chip = chipOf(device);
        EmulatedUsbDevice& emulator = emulatorOf(device);
        const QByteArray image = pattern(kChipBytes, std::uint32_t(device + 1));
        if (operation == QLatin1String("read") || operation == QLatin1String("verify") ||
            operation == QLatin1String("erase"))
            fill(chip, image);
        if (operation == QLatin1String("write") || operation == QLatin1String("verify")) {
            QByteArray loaded = image;
            if (fault == QLatin1String("differs"))
                loaded[123456] = char(~loaded[123456]);
            loadIntoBuffer(loaded);
        }
        const QByteArray bufferBefore = buffer();
        child<QComboBox>("devIndexComboBox")->setCurrentIndex(device);
        child<QComboBox>("spiIndexComboBox")->setCurrentIndex(port);
        if (fault == QLatin1String("deny"))
            emulator.denyAccess = true;
        if (fault == QLatin1String("unplug"))
            emulator.unplugAfterFrames(operation == QLatin1String("write") ? 40 : 6);

        if (operation == QLatin1String("read"))
            child<QPushButton>("readDataPushButton")->click();
        else if (operation == QLatin1String("write"))
            child<QPushButton>("writeDataPushButton")->click();
        else if (operation == QLatin1String("verify"))
            child<QPushButton>("verifyPushButton")->click();
        else if (operation == QLatin1String("erase"))
            child<QPushButton>("eraseChipPushButton")->click();
        else if (operation == QLatin1String("info"))
            child<QAction>("actionFirmwareInfo")->trigger();
        else if (operation == QLatin1String("upgrade")) {
            interaction.fileNames.enqueue(dir.filePath(QStringLiteral("ChipListData.dat")));
            child<QAction>("actionUpgrade")->trigger();
        } else {
            interaction.dialogScripts.enqueue([](QDialog* dialog) {
                dialog->findChild<QPushButton*>(QStringLiteral("detectPushButton"))->click();
                return int(QDialog::Rejected);
            });
            child<QAction>("actionChipDetect")->trigger();
        }
        const QStringList messages = interaction.messages();
        QVERIFY(!messages.isEmpty());
        QVERIFY2(messages.last().startsWith(message), qPrintable(messages.last()));

        const bool succeeded = fault.isEmpty() && port < 2;
        if (operation == QLatin1String("read"))
            QCOMPARE(buffer() == image, succeeded);
        if (operation == QLatin1String("write") && succeeded)
            QVERIFY(contents(chip) == image);
        if (operation == QLatin1String("erase"))
            QVERIFY(contents(chip) == QByteArray(kChipBytes, char(0xFF)));
        if (!succeeded && operation == QLatin1String("read"))
            QVERIFY(buffer() == bufferBefore);
        if (succeeded && (operation == QLatin1String("read") || operation == QLatin1String("write"))) {
            const QString label = child<QLabel>("adapterLabel")->text();
            const char* clockText = device == 0 ? "SPI 时钟 2 MHz" : "SPI 时钟 30 MHz";
            QVERIFY2(label.contains(QString::fromUtf8(clockText)), qPrintable(label));
        }

        // Plugged in again, or allowed: the same operation starts and works.
        if (fault == QLatin1String("unplug") || fault == QLatin1String("deny")) {
            emulator.denyAccess = false;
            emulator.unplugAfterFrames(-1);
            clock.sleep(1000); // plugging in again takes longer than the page program left running
            if (operation == QLatin1String("read")) {
                child<QPushButton>("readDataPushButton")->click();
                QVERIFY2(interaction.messages().last().startsWith(QString::fromUtf8("读数据成功！")),
                         qPrintable(interaction.messages().last()));
                QVERIFY(buffer() == image);
            } else if (operation == QLatin1String("write")) {
                std::fill(chip.contents().begin(), chip.contents().end(), 0xFF);
                child<QPushButton>("writeDataPushButton")->click();
                QVERIFY2(interaction.messages().last().startsWith(QString::fromUtf8("写数据成功！")),
                         qPrintable(interaction.messages().last()));
                QVERIFY(contents(chip) == image);
            }
        }
    }

    // Chip detection (芯片识别) on the CH347's second chip select finds the chip and selects its record.
    void windowDetects()
    {
        child<QComboBox>("devIndexComboBox")->setCurrentIndex(1);
        child<QComboBox>("spiIndexComboBox")->setCurrentIndex(1);
        QString shown;
        interaction.dialogScripts.enqueue([&shown](QDialog* dialog) {
            dialog->findChild<QPushButton*>(QStringLiteral("detectPushButton"))->click();
            shown = dialog->findChild<QLineEdit*>(QStringLiteral("flashIDLineEdit"))->text();
            return int(QDialog::Accepted);
        });
        child<QAction>("actionChipDetect")->trigger();
        QCOMPARE(shown, QStringLiteral("0B4012"));
        QVERIFY(interaction.messages().isEmpty());
        QCOMPARE(child<QComboBox>("modelNameComboBox")->currentText(), QStringLiteral("XT25F02"));
        // Detection runs at its own slow clock: the CH347's slowest.
        QVERIFY2(child<QLabel>("adapterLabel")->text().contains(QStringLiteral("0.46875 MHz")),
                 qPrintable(child<QLabel>("adapterLabel")->text()));
    }

    // korvane-spi over the same programmers.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("expected"); // each in standard output or standard error
        QTest::newRow("adapters") << QStringList{"adapters"} << "" << 0
                                  << QStringList{"0  ch341a    CH341A",
                                                 "usb 1-1",
                                                 "clocks for -s 50/25/12.5/6.25/3.125: 2/2/2/2/2 MHz",
                                                 "1  ch347     CH347T",
                                                 "serial CH347-0001",
                                                 ": 30/15/7.5/3.75/1.875 MHz"};
        QTest::newRow("adapters, one without permission")
            << QStringList{"adapters"} << "deny ch347" << 0
            << QStringList{"usb 1-2", "clocks unknown (cannot open the adapter: no permission"};
        QTest::newRow("no simulated adapter by default")
            << QStringList{"-d", "2", "detect"} << "" << 1 << QStringList{"there is no adapter 2: 2 found"};
        QTest::newRow("detect on the CH341A")
            << QStringList{"detect"} << "" << 0 << QStringList{"ID: 0B4012", "XTX XT25F02"};
        QTest::newRow("detect on the CH347, CS1")
            << QStringList{"-A", "ch347", "-p", "SPI1-CS1", "detect"} << "" << 0 << QStringList{"ID: 0B4012"};
        QTest::newRow("a chip select the CH347 lacks")
            << QStringList{"-A", "ch347:0", "-p", "SPI1-CS2", "detect"} << "" << 1
            << QStringList{"cannot configure the adapter for this chip: the adapter does not support this"};
        QTest::newRow("read the CH341A") << QStringList{"-q", "read", "out.bin"} << "" << 0
                                         << QStringList{"Read 262144 bytes from 0x000000 into out.bin"};
        QTest::newRow("write the CH347")
            << QStringList{"-q", "-A", "ch347", "-p", "SPI1-CS1", "-c", "XT25F02", "write", "image.bin"} << ""
            << 0 << QStringList{"Wrote 100000 bytes at 0x000000"};
        QTest::newRow("verify finds the difference")
            << QStringList{"-q", "-c", "XT25F02", "verify", "image.bin"} << "differs" << 1
            << QStringList{"verify failed: 1 bytes differ, the first at 0x000309"};
        QTest::newRow("verify") << QStringList{"-q", "-c", "XT25F02", "verify", "image.bin"} << "same" << 0
                                << QStringList{"the chip matches image.bin"};
        QTest::newRow("without permission")
            << QStringList{"detect"} << "deny ch341a" << 1
            << QStringList{"cannot open the adapter: no permission to use the adapter",
                           "hint: install data/udev/60-korvane-spiflash.rules into /etc/udev/rules.d/"};
        QTest::newRow("unplugged while reading")
            << QStringList{"-q", "-c", "XT25F02", "read", "out.bin"} << "unplug ch341a" << 1
            << QStringList{"read failed: failed at 0x005000: the adapter is gone (unplugged?)"};
        QTest::newRow("silent while reading")
            << QStringList{"-q", "-c", "XT25F02", "read", "out.bin"} << "silent ch341a" << 1
            << QStringList{"read failed: failed at 0x005000: the adapter did not answer in time"};
        QTest::newRow("erase the CH341A")
            << QStringList{"-q", "-c", "XT25F02", "erase"} << "same" << 0 << QStringList{"Erased the chip"};
        QTest::newRow("not that many CH341A") << QStringList{"-A", "ch341a:1", "detect"} << "" << 1
                                              << QStringList{"no adapter found for --adapter ch341a:1"};
        QTest::newRow("not an index") << QStringList{"-A", "ft232h:first", "detect"} << "" << 2
                                      << QStringList{"ft232h:N takes the index of one ft232h adapter"};
        QTest::newRow("information") << QStringList{"-d", "1", "info"} << "" << 0
                                     << QStringList{"Firmware name:    CH347T",
                                                    "Adapter:          CH347T (ch347, usb 1-2)"};
        QTest::newRow("no firmware upgrade") << QStringList{"upgrade", "image.bin"} << "" << 1
                                             << QStringList{"this adapter's firmware cannot be upgraded"};
    }
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, fault);
        QFETCH(int, exitCode);
        QFETCH(QStringList, expected);
        window.reset(); // the command line has the bus to itself
        registry.reset();
        {
            QFile file(dir.filePath(QStringLiteral("image.bin")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(pattern(100000, 5));
        }
        QFile::remove(dir.filePath(QStringLiteral("out.bin")));
        if (fault == QLatin1String("same") || fault == QLatin1String("differs")) {
            QByteArray bytes = pattern(100000, 5);
            if (fault == QLatin1String("differs"))
                bytes[777] = char(bytes[777] ^ 0x10);
            fill(*chip0, bytes);
        }
        const QStringList parts = fault.split(QLatin1Char(' '));
        EmulatedUsbDevice* target =
            parts.value(1) == QLatin1String("ch347") ? static_cast<EmulatedUsbDevice*>(ch347) : ch341a;
        if (parts.value(0) == QLatin1String("deny"))
            target->denyAccess = true;
        if (parts.value(0) == QLatin1String("unplug"))
            target->unplugAfterFrames(4); // ID, then one block's poll and read, then the next poll
        if (parts.value(0) == QLatin1String("silent"))
            target->goSilentAfterFrames(4);
        QString out;
        QString err;
        const int status = runCli(arguments, &out, &err);
        QVERIFY2(status == exitCode, qPrintable(out + err));
        for (const QString& text : expected)
            QVERIFY2(out.contains(text) || err.contains(text), qPrintable(text + "\n--- got:\n" + out + err));
        if (arguments.contains(QLatin1String("write")))
            QVERIFY(contents(*chip1).left(100000) == pattern(100000, 5));
        if (arguments.contains(QLatin1String("erase")))
            QVERIFY(contents(*chip0) == QByteArray(kChipBytes, char(0xFF)));
        // A read that failed leaves no file behind; one that worked, the chip's contents.
        if (arguments.contains(QLatin1String("read")))
            QCOMPARE(QFile::exists(dir.filePath(QStringLiteral("out.bin"))), status == 0);
        if (arguments.contains(QLatin1String("read")) && status == 0) {
            QFile file(dir.filePath(QStringLiteral("out.bin")));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY(file.readAll() == contents(*chip0));
        }
    }
};

QTEST_MAIN(TestUsbFrontEnds)
#include "tst_usbfrontends.moc"
