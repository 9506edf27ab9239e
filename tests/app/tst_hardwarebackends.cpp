// The window over the hardware backends, each with its emulator behind it (a serprog firmware on a
// pseudo-terminal, the spidev driver, an adapter library): the registry is made from the
// --adapter form as main() makes it. Reading, writing and verifying work as on the simulated
// adapter; a device that is missing, closed to the user, gone or silent ends in the window's own
// message, with the buffer as it was.
#include "tests/backends/emulators/hardwarerigs.h"

#include "app/mainwindow.h"
#include "backends/backendtable.h"
#include "gui/operationframe.h"
#include "qhexedit/qhexedit.h"
#include "qhexedit/qhexeditdata.h"
#include "qhexedit/qhexeditdatareader.h"
#include "tests/support/scriptedinteraction.h"
#include "tests/support/testchips.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace korvane;

namespace {

constexpr int k2MiB = 2 * 1024 * 1024;

QString text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

QByteArray pattern(int size, std::uint32_t seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<char>(seed >> 16);
    }
    return bytes;
}

enum Scenario
{
    ReadsTheChip,
    WritesAndVerifies,
    GoneWhileReading,
    SilentWhileReading,
    GoneWhileWriting,
    DeviceMissing,
    PermissionDenied,
    PortInUse, // another program has the serial port open and locked
};

} // namespace

class TestHardwareBackends : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString previousDir;

    std::unique_ptr<HardwareRig> makeRig(const QString& backend) const
    {
        if (backend == QLatin1String("serprog"))
            return std::make_unique<SerprogHardwareRig>();
        if (backend == QLatin1String("spidev"))
            return std::make_unique<SpidevHardwareRig>();
        return std::make_unique<PluginHardwareRig>(QStringLiteral(SIMPLUGIN_PATH));
    }

    QByteArray bufferOf(MainWindow& window) const
    {
        auto* hexEdit = window.findChild<QHexEdit*>();
        if (hexEdit == nullptr || hexEdit->data() == nullptr)
            return QByteArray();
        QHexEditDataReader reader(hexEdit->data());
        return reader.read(0, hexEdit->data()->length());
    }

    void load(MainWindow& window, ScriptedInteraction& ui, const QByteArray& bytes) const
    {
        const QString path = dir.filePath(QStringLiteral("buffer.bin"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), qint64(bytes.size()));
        file.close();
        ui.fileNames.enqueue(path);
        window.findChild<QAction*>(QStringLiteral("actionOpenFile"))->trigger();
        QCOMPARE(bufferOf(window), bytes);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        previousDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        writeTestChipList({makeTestChip("GigaDevice", "GD25Q16", {0xC8, 0x40, 0x15}, k2MiB)});
    }
    void cleanupTestCase() { QDir::setCurrent(previousDir); }

    void operations_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<int>("scenario");
        QTest::addColumn<QStringList>("messages"); // the message boxes, each the start of its text

        const QString readOk = text("读数据成功！");
        const QString writeOk = text("写数据成功！");
        const QString verifyOk = text("数据校验成功！");
        const QString openFailed = text("打开设备失败，设备选择是否正确？");
        const QString readFailed = text("读数据出错！");
        const QString writeFailed = text("写数据出错！");
        for (const char* backend : {"serprog", "spidev", "lib"}) {
            const QString name = QLatin1String(backend);
            QTest::addRow("%s: read", backend) << name << int(ReadsTheChip) << QStringList{readOk};
            QTest::addRow("%s: write, verify", backend)
                << name << int(WritesAndVerifies) << QStringList{writeOk, verifyOk};
            QTest::addRow("%s: gone while reading", backend)
                << name << int(GoneWhileReading) << QStringList{readFailed};
            QTest::addRow("%s: gone while writing", backend)
                << name << int(GoneWhileWriting) << QStringList{writeFailed};
        }
        QTest::newRow("serprog: silent while reading")
            << "serprog" << int(SilentWhileReading) << QStringList{readFailed};
        QTest::newRow("serprog: device missing")
            << "serprog" << int(DeviceMissing) << QStringList{openFailed};
        QTest::newRow("spidev: device missing") << "spidev" << int(DeviceMissing) << QStringList{openFailed};
        // The system refused: the warning says which group to join.
        QTest::newRow("spidev: permission denied")
            << "spidev" << int(PermissionDenied) << QStringList{adapterAccessDeniedText("spidev")};
        QTest::newRow("serprog: the port is in use")
            << "serprog" << int(PortInUse)
            << QStringList{
                   text("串口被其他程序占用！\n请关闭正在使用该串口的程序（如串口终端），然后重试。")};
    }
    void operations()
    {
        QFETCH(QString, backend);
        QFETCH(int, scenario);
        QFETCH(QStringList, messages);
        std::unique_ptr<HardwareRig> rig = makeRig(backend);
        QString form = rig->adapterForm();
        if (scenario == DeviceMissing && backend == QLatin1String("serprog"))
            form += QLatin1String("-missing");
        auto* spidev = dynamic_cast<SpidevHardwareRig*>(rig.get());
        if (spidev != nullptr && scenario == DeviceMissing)
            spidev->kernel.removeNode("/dev/spidev0.0");
        if (spidev != nullptr && scenario == PermissionDenied)
            spidev->kernel.denyAccess("/dev/spidev0.0");
        int holder = -1;
        if (scenario == PortInUse) {
            holder = ::open(form.mid(8).toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
            QVERIFY(holder >= 0 && ::flock(holder, LOCK_EX | LOCK_NB) == 0);
        }

        QString error;
        std::unique_ptr<AdapterRegistry> registry =
            createAdapterRegistry(rig->clock(), form, true, &error, rig->access());
        QVERIFY2(registry, qPrintable(error));
        rig->prepare(*registry);
        ScriptedInteraction ui;
        {
            MainWindow window(*registry, ui, rig->clock());
            const QByteArray chipImage = pattern(k2MiB, 1);
            // Writes are of a smaller buffer: every page is a round trip over the pseudo-terminal.
            const bool writes = scenario == WritesAndVerifies || scenario == GoneWhileWriting;
            const QByteArray image = pattern(writes ? 100 * 1024 : k2MiB, 2);
            auto& memory = rig->memory();
            std::copy(chipImage.begin(), chipImage.end(), memory.begin());
            QElapsedTimer timer;
            timer.start();
            switch (scenario) {
            case ReadsTheChip:
                window.findChild<QPushButton*>(QStringLiteral("readDataPushButton"))->click();
                QCOMPARE(bufferOf(window), chipImage);
                break;
            case WritesAndVerifies:
                std::fill(memory.begin(), memory.end(), 0xFF);
                load(window, ui, image);
                window.findChild<QPushButton*>(QStringLiteral("writeDataPushButton"))->click();
                QCOMPARE(QByteArray(reinterpret_cast<const char*>(memory.data()), image.size()), image);
                window.findChild<QPushButton*>(QStringLiteral("verifyPushButton"))->click();
                break;
            case GoneWhileReading:
            case SilentWhileReading:
            case DeviceMissing:
            case PermissionDenied:
            case PortInUse:
                load(window, ui, image);
                if (scenario == GoneWhileReading)
                    rig->breakAfter(20);
                if (scenario == SilentWhileReading)
                    QVERIFY(rig->silenceAfter(20));
                window.findChild<QPushButton*>(QStringLiteral("readDataPushButton"))->click();
                QCOMPARE(bufferOf(window), image);
                break;
            case GoneWhileWriting:
                std::fill(memory.begin(), memory.end(), 0xFF);
                load(window, ui, image);
                rig->breakAfter(40);
                window.findChild<QPushButton*>(QStringLiteral("writeDataPushButton"))->click();
                QCOMPARE(bufferOf(window), image);
                break;
            }
            // Nothing waits longer than the backend's time-out.
            QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
        }
        const QList<InteractionCall> shown = ui.reports();
        QCOMPARE(shown.size(), messages.size());
        for (int i = 0; i < shown.size(); ++i)
            QVERIFY2(shown[i].text.startsWith(messages[i]), qPrintable(shown[i].text));
        registry.reset();
        ::close(holder);
        QCOMPARE(rig->violations(), QStringList());
    }
};

QTEST_MAIN(TestHardwareBackends)
#include "tst_hardwarebackends.moc"
