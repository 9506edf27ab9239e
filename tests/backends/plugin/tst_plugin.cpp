// Adapter libraries as plug-ins: libraries that are refused and what the refusal names, and the
// simulated adapter built as a library answering every operation as it does in-process.
#include "backends/backendtable.h"
#include "backends/plugin/libraryloader.h"
#include "backends/simulated/simulatedadapter.h"
#include "core/adapter/adapterresult.h"
#include "core/operations/flashoperations.h"
#include "core/spinor/spinor.h"
#include "tests/backends/plugin/pluginhooks.h"
#include "tests/support/virtualclock.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace korvane;

namespace {

// A loader whose library loads but exports nothing.
class EmptyLibraryLoader : public LibraryLoader
{
    class Empty : public LoadedLibrary
    {
    public:
        void (*resolve(const char*))() override { return nullptr; }
    };

public:
    std::unique_ptr<LoadedLibrary> load(const QString&, QString*) override
    {
        return std::make_unique<Empty>();
    }
};

// What a sequence of calls gave: results, flags and bytes, in order.
class Transcript
{
public:
    void add(long long value) { text += QByteArray::number(value) + ' '; }
    void add(const std::uint8_t* bytes, std::size_t count)
    {
        text += QByteArray(reinterpret_cast<const char*>(bytes), int(count)).toHex() + ' ';
    }
    QByteArray text;
};

using Script = std::function<void(AdapterLibrary&, Transcript&)>;

SPIFlashConfig gd25q16()
{
    return standardSpiNorConfig(0xC84015, 2 << 20, 4096);
}

std::vector<std::uint8_t> pattern(std::size_t size, std::uint32_t seed)
{
    std::vector<std::uint8_t> data(size);
    for (auto& byte : data) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(seed >> 16);
    }
    return data;
}

// Opens adapter 0 and configures SPI1-CS0 for the GD25Q16.
void configure(AdapterLibrary& library, Transcript& out, int selector = 0x00)
{
    out.add(library.scanDevices(nullptr));
    out.add(library.openDevice(0));
    const SPIFlashConfig config = gd25q16();
    out.add(library.flashInit(0, selector, 25000000, &config));
}

void readBack(AdapterLibrary& library, Transcript& out, std::uint32_t address, std::uint32_t count)
{
    std::vector<std::uint8_t> buffer(count, 0x5A);
    out.add(library.flashRead(0, 0x00, address, buffer.data(), count));
    out.add(buffer.data(), buffer.size());
}

} // namespace

Q_DECLARE_METATYPE(Script)

class TestPlugin : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QFile text(dir.filePath(QStringLiteral("notalibrary.so")));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("This is no shared library.\n");
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.so")));
    }

    // A library that cannot be loaded or lacks operations is refused, and the message says what
    // is missing.
    void refuses_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<bool>("emptyLoader");
        QTest::addColumn<QStringList>("expected"); // parts of the message

        const QString missing = dir.filePath(QStringLiteral("missing.so"));
        QTest::newRow("no such file")
            << "lib:" + missing << false
            << QStringList{"cannot load the adapter library " + missing, "no such file"};
        QTest::newRow("not a library") << "lib:" + dir.filePath(QStringLiteral("notalibrary.so")) << false
                                       << QStringList{"cannot load the adapter library", "notalibrary.so: "};
        QTest::newRow("a folder") << "lib:" + dir.filePath(QStringLiteral("folder.so")) << false
                                  << QStringList{"not a regular file"};
        QTest::newRow("two operations missing")
            << QStringLiteral("lib:" SIMPLUGIN_PARTIAL_PATH) << false
            << QStringList{"lacks 2 of the 16 operations: flashEraseSectors, flashRead"};
        QTest::newRow("nothing exported")
            << "lib:" + missing << true
            << QStringList{"lacks 16 of the 16 operations: scanDevices, openDevice, closeDevice",
                           "flashWrite, flashRead"};
        QTest::newRow("no path") << "lib:" << false << QStringList{"lib needs the library's path"};
    }
    void refuses()
    {
        QFETCH(QString, form);
        QFETCH(bool, emptyLoader);
        QFETCH(QStringList, expected);
        VirtualClock clock;
        EmptyLibraryLoader loader;
        DeviceAccess access;
        if (emptyLoader)
            access.libraries = &loader;
        QString error;
        QVERIFY(!createAdapterRegistry(clock, form, false, &error, access));
        for (const QString& part : expected)
            QVERIFY2(error.contains(part), qPrintable(error));
    }

    // The same calls on the simulated adapter in-process and through the library give the same.
    void answersAsInProcess_data()
    {
        QTest::addColumn<Script>("script");

        QTest::newRow("detect") << Script([](AdapterLibrary& a, Transcript& out) {
            configure(a, out);
            std::uint8_t id[16] = {};
            out.add(a.flashReadId(0, 0x00, id));
            out.add(id, 16);
            out.add(a.identity(0).name.empty());
        });
        QTest::newRow("the other chip select") << Script([](AdapterLibrary& a, Transcript& out) {
            configure(a, out, 0x10);
            std::uint8_t id[16] = {};
            out.add(a.flashReadId(0, 0x10, id));
            out.add(id, 3);
        });
        QTest::newRow("write, read back, erase two sectors")
            << Script([](AdapterLibrary& a, Transcript& out) {
                   configure(a, out);
                   const auto data = pattern(9000, 1);
                   out.add(a.flashWrite(0, 0x00, 0x0FF0, data.data(), 9000));
                   readBack(a, out, 0x0F00, 9500);
                   out.add(a.flashEraseSectors(0, 0x00, 1, 2));
                   readBack(a, out, 0x0F00, 9500);
               });
        QTest::newRow("past the chip, within reach") << Script([](AdapterLibrary& a, Transcript& out) {
            configure(a, out);
            readBack(a, out, (2 << 20) - 16, 32);
        });
        QTest::newRow("beyond the address reach") << Script([](AdapterLibrary& a, Transcript& out) {
            configure(a, out);
            readBack(a, out, 0xFFFFF0, 32);
            const auto data = pattern(32, 2);
            out.add(a.flashWrite(0, 0x00, (2 << 20) - 16, data.data(), 32));
        });
        QTest::newRow("not configured, bad selector, bad handle")
            << Script([](AdapterLibrary& a, Transcript& out) {
                   out.add(a.scanDevices(nullptr));
                   out.add(a.openDevice(3));
                   out.add(a.openDevice(0));
                   readBack(a, out, 0, 16);
                   const SPIFlashConfig config = gd25q16();
                   out.add(a.flashInit(0, 0x05, 25000000, &config));
                   out.add(a.flashInit(0, 0x00, 0, &config));
               });
        QTest::newRow("closed") << Script([](AdapterLibrary& a, Transcript& out) {
            configure(a, out);
            a.closeDevice(0);
            readBack(a, out, 0, 16);
        });
        QTest::newRow("raw transfers") << Script([](AdapterLibrary& a, Transcript& out) {
            configure(a, out);
            const std::uint8_t wren = SpiNor::WriteEnable;
            out.add(a.spiWriteBytes(0, 0x00, &wren, 1));
            const std::uint8_t rdsr = SpiNor::ReadStatus1;
            std::uint8_t status = 0;
            out.add(a.spiWriteReadBytes(0, 0x00, &rdsr, 1, &status, 1, 0));
            out.add(status);
            out.add(a.spiWriteBytes(0, 0x00, nullptr, 4));
        });
        QTest::newRow("device information and firmware service")
            << Script([](AdapterLibrary& a, Transcript& out) {
                   configure(a, out);
                   DEVICE_INFO info{};
                   char functions[kDeviceFunctionsTextSize] = {};
                   out.add(a.getDeviceInfo(0, &info, functions));
                   out.add(reinterpret_cast<const std::uint8_t*>(&info), sizeof info);
                   out.add(reinterpret_cast<const std::uint8_t*>(functions), sizeof functions);
                   // Only in the upgrade code: refused while the application runs.
                   out.add(a.eraseFirmware(0, 0x08020000, 0x08080000));
                   out.add(a.checkFirmwareMd5(0, 0x08020000, 16));
                   out.add(a.checkFirmwareFile("/nonexistent/firmware.bin"));
               });
    }
    void answersAsInProcess()
    {
        QFETCH(Script, script);
        VirtualClock clock;
        SimulatedAdapter inProcess(clock);
        inProcess.setAdapterCount(1);
        inProcess.attachChip(0, 0x00, createSimulatedChip("GD25Q16", clock));
        inProcess.attachChip(0, 0x10, createSimulatedChip("W25Q64", clock));
        Transcript expected;
        script(inProcess, expected);

        PluginHooks hooks(QStringLiteral(SIMPLUGIN_PATH));
        hooks.reset();
        QString error;
        auto plugin = createAdapterRegistry(clock, QStringLiteral("lib:" SIMPLUGIN_PATH), false, &error);
        QVERIFY2(plugin, qPrintable(error));
        Transcript got;
        script(*plugin, got);
        QCOMPARE(got.text, expected.text);
        QCOMPARE(QString::fromStdString(plugin->identity(0).backend), QStringLiteral("lib"));
    }
};

QTEST_GUILESS_MAIN(TestPlugin)
#include "tst_plugin.moc"
