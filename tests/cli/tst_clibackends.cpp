// korvane-spi over the hardware backends, run in-process with each backend's emulator behind its
// seam: a serprog firmware on a pseudo-terminal, the spidev driver, an adapter library. Rows of
// arguments give an exit status and a text; faults (the other end gone or silent, no permission,
// a chip select that is not there, a library that lacks operations) end in a line that says why.
#include "tests/backends/emulators/hardwarerigs.h"

#include "cli/commandline.h"
#include "tests/support/testchips.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace korvane;

namespace {

constexpr int k2MiB = 2 * 1024 * 1024;

QByteArray pattern(int size, std::uint32_t seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<char>(seed >> 16);
    }
    return bytes;
}

QString readAll(std::FILE* file)
{
    std::fflush(file);
    std::rewind(file);
    QByteArray bytes;
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.append(chunk, int(got));
    return QString::fromLocal8Bit(bytes);
}

enum Fault
{
    NoFault,
    GoneAfter20,
    SilentAfter20,
    NodeMissing,
    PermissionDenied,
};

} // namespace

class TestCliBackends : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

    QString path(const QString& name) const { return dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QVERIFY(QDir::setCurrent(dir.path()));
        writeTestChipList({makeTestChip("GigaDevice", "GD25Q16", {0xC8, 0x40, 0x15}, k2MiB)});
        QFile small(path(QStringLiteral("small.bin")));
        QVERIFY(small.open(QIODevice::WriteOnly));
        small.write(pattern(30000, 5));
    }

    void commands_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<int>("fault");
        QTest::addColumn<QStringList>("arguments"); // after --adapter ADAPTER
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("expected"); // in standard output or standard error

        for (const char* backend : {"serprog", "spidev", "lib"}) {
            const QString name = QLatin1String(backend);
            QTest::addRow("%s: adapters", backend) << name << int(NoFault) << QStringList{"adapters"} << 0
                                                   << (name == QLatin1String("lib") ? "libsimplugin" : name);
            QTest::addRow("%s: detect", backend)
                << name << int(NoFault) << QStringList{"detect"} << 0 << "ID: C84015";
            QTest::addRow("%s: read", backend) << name << int(NoFault) << QStringList{"-q", "read", "out.bin"}
                                               << 0 << "Read 2097152 bytes from 0x000000 into out.bin";
            QTest::addRow("%s: write", backend)
                << name << int(NoFault) << QStringList{"-q", "--no-verify", "write", "small.bin"} << 0
                << "Wrote 30000 bytes at 0x000000";
            // Written over data without an erase: the read-back finds what the chip did not take.
            QTest::addRow("%s: write, read back", backend)
                << name << int(NoFault) << QStringList{"-q", "write", "small.bin"} << 1
                << "write failed: the chip does not hold what was written: ";
            QTest::addRow("%s: erase", backend)
                << name << int(NoFault) << QStringList{"-q", "erase"} << 0 << "Erased the chip";
            QTest::addRow("%s: gone in the middle of a read", backend)
                << name << int(GoneAfter20) << QStringList{"-q", "read", "out.bin"} << 1
                << "read failed: failed at 0x0";
        }
        QTest::newRow("serprog: the clock the firmware runs")
            << "serprog" << int(NoFault) << QStringList{"-s", "12.5", "read", "out.bin"} << 0
            << "The adapter runs the SPI clock at 8 MHz (asked: 12.5 MHz).";
        QTest::newRow("serprog: what the firmware says")
            << "serprog" << int(NoFault) << QStringList{"info"} << 0 << "Firmware name:    emulated";
        QTest::newRow("spidev: what the driver says") << "spidev" << int(NoFault) << QStringList{"info"} << 0
                                                      << "SPI mode 0, 8-bit words, through /dev/spidev0.0";
        QTest::newRow("serprog: gone")
            << "serprog" << int(GoneAfter20) << QStringList{"-q", "read", "out.bin"} << 1
            << "the adapter is gone (unplugged?)";
        QTest::newRow("serprog: silent")
            << "serprog" << int(SilentAfter20) << QStringList{"-q", "read", "out.bin"} << 1
            << "the adapter did not answer in time";
        QTest::newRow("serprog: no such device") << "serprog" << int(NodeMissing) << QStringList{"detect"}
                                                 << 1 << "no adapter found for --adapter serprog:";
        QTest::newRow("serprog: a chip select the firmware lacks")
            << "serprog" << int(NoFault) << QStringList{"-p", "SPI1-CS3", "detect"} << 1
            << "cannot configure the adapter for this chip: the adapter does not support this";
        QTest::newRow("spidev: permission denied")
            << "spidev" << int(PermissionDenied) << QStringList{"detect"} << 1
            << "cannot open the adapter: no permission to use the adapter";
        QTest::newRow("spidev: no node for the chip select")
            << "spidev" << int(NoFault) << QStringList{"-p", "SPI1-CS1", "detect"} << 1
            << "the adapter does not support this";
        QTest::newRow("spidev: node missing") << "spidev" << int(NodeMissing) << QStringList{"detect"} << 1
                                              << "no adapter found for --adapter spidev:";
        QTest::newRow("lib: a library that lacks operations")
            << "lib-partial" << int(NoFault) << QStringList{"detect"} << 2
            << "lacks 2 of the 16 operations: flashEraseSectors, flashRead";
    }
    void commands()
    {
        QFETCH(QString, backend);
        QFETCH(int, fault);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, expected);
        QFile::remove(path(QStringLiteral("out.bin")));

        std::unique_ptr<HardwareRig> rig;
        QString form;
        if (backend == QLatin1String("serprog")) {
            rig = std::make_unique<SerprogHardwareRig>();
            form = rig->adapterForm() + (fault == NodeMissing ? QStringLiteral("-missing") : QString());
        } else if (backend == QLatin1String("spidev")) {
            auto spidev = std::make_unique<SpidevHardwareRig>();
            if (fault == NodeMissing)
                spidev->kernel.removeNode("/dev/spidev0.0");
            if (fault == PermissionDenied)
                spidev->kernel.denyAccess("/dev/spidev0.0");
            rig = std::move(spidev);
            form = rig->adapterForm();
        } else {
            rig = std::make_unique<PluginHardwareRig>(QStringLiteral(SIMPLUGIN_PATH));
            form = backend == QLatin1String("lib") ? rig->adapterForm()
                                                   : QStringLiteral("lib:" SIMPLUGIN_PARTIAL_PATH);
        }
        const QByteArray image = pattern(k2MiB, 9);
        auto& memory = rig->memory();
        std::copy(image.begin(), image.end(), memory.begin());
        if (fault == GoneAfter20)
            rig->breakAfter(20);
        if (fault == SilentAfter20)
            QVERIFY(rig->silenceAfter(20));

        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        QVERIFY(out && err);
        int status = -1;
        {
            CommandLine cli(rig->clock(), rig->access(), out, err);
            QStringList argv{QStringLiteral("korvane-spi"), QStringLiteral("--adapter"), form};
            status = cli.run(argv + arguments);
        }
        const QString said = readAll(out) + readAll(err);
        std::fclose(out);
        std::fclose(err);
        QVERIFY2(said.contains(expected), qPrintable(said));
        QCOMPARE(status, exitCode);

        QFile file(path(QStringLiteral("out.bin")));
        if (arguments.contains(QStringLiteral("read")) && exitCode == 0) {
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), image);
        } else {
            // A failed read leaves no file behind.
            QVERIFY(!file.exists());
        }
        if (arguments.contains(QStringLiteral("write"))) {
            // Written without erasing first: programming only clears bits.
            QByteArray expectedChip = pattern(30000, 5);
            for (int i = 0; i < expectedChip.size(); ++i)
                expectedChip[i] = char(expectedChip[i] & image[i]);
            QCOMPARE(QByteArray(reinterpret_cast<const char*>(memory.data()), 30000), expectedChip);
        }
        if (arguments.contains(QStringLiteral("erase")))
            QVERIFY(std::all_of(memory.begin(), memory.end(), [](auto b) { return b == 0xFF; }));
        QCOMPARE(rig->violations(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestCliBackends)
#include "tst_clibackends.moc"
