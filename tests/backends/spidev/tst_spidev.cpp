// The spidev backend's own cases over the emulated kernel driver: messages split at the driver's
// buffer, the write and the read of a transfer in one message, chip selects by device node, the
// clock, and a driver that refuses, a node that is missing, closed to the user or unbound.
#include "backends/simulated/simulatedchip.h"
#include "backends/spidev/spidevadapter.h"
#include "core/adapter/adapterresult.h"
#include "core/spinor/spinor.h"
#include "tests/backends/emulators/spidevemulator.h"
#include "tests/support/virtualclock.h"

#include <QTest>

#include <algorithm>
#include <memory>

using namespace korvane;

namespace {

using Lengths = std::vector<std::uint32_t>;

bool startsWith(const Lengths& lengths, const Lengths& prefix)
{
    return lengths.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), lengths.begin());
}

// Write enable, its check, the page program, a status read: how a page's message starts.
const Lengths kPageMessage{1, 1, 1, 260, 1, 1};

std::vector<std::uint8_t> pattern(std::size_t size, std::uint32_t seed)
{
    std::vector<std::uint8_t> data(size);
    for (auto& byte : data) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(seed >> 16);
    }
    return data;
}

// A W25Q64 on /dev/spidev0.0 and a GD25Q16 on /dev/spidev0.1.
struct Rig
{
    explicit Rig(const std::string& argument = "/dev/spidev0.0")
        : chip0(createSimulatedChip("W25Q64", clock)), chip1(createSimulatedChip("GD25Q16", clock))
    {
        kernel.addNode("/dev/spidev0.0", chip0.get());
        kernel.addNode("/dev/spidev0.1", chip1.get());
        std::string error;
        if (!parseSpidevLocation(argument, &location, &error))
            qFatal("%s", error.c_str());
    }

    SpidevAdapter& adapter()
    {
        if (!backend)
            backend = std::make_unique<SpidevAdapter>(clock, kernel, location);
        return *backend;
    }

    int configure(int selector, std::uint32_t hz = 50000000)
    {
        if (!adapter().openDevice(0))
            return adapter().openError(0);
        const SPIFlashConfig config = standardSpiNorConfig(0xEF4017, 8 << 20, 4096);
        return adapter().flashInit(0, selector, hz, &config);
    }

    bool clean() const
    {
        for (const std::string& problem : kernel.violations())
            qWarning("driver saw: %s", problem.c_str());
        return kernel.violations().empty();
    }

    VirtualClock clock;
    std::unique_ptr<SimulatedChip> chip0;
    std::unique_ptr<SimulatedChip> chip1;
    SpidevEmulator kernel;
    SpidevLocation location;
    std::unique_ptr<SpidevAdapter> backend;
};

} // namespace

class TestSpidev : public QObject
{
    Q_OBJECT

private slots:
    void parsesLocation_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("hz");
        QTest::addColumn<QString>("error"); // part of it; empty when it parses
        QTest::newRow("node") << "/dev/spidev0.0"
                              << "/dev/spidev0.0" << 0 << "";
        QTest::newRow("node and clock") << "/dev/spidev1.2:8000000"
                                        << "/dev/spidev1.2" << 8000000 << "";
        QTest::newRow("clock in words") << "/dev/spidev0.0:fast"
                                        << "" << 0 << "must be a number of Hz";
        QTest::newRow("zero clock") << "/dev/spidev0.0:0"
                                    << "" << 0 << "must be a number of Hz";
        QTest::newRow("empty clock") << "/dev/spidev0.0:"
                                     << "" << 0 << "must be a number of Hz";
        QTest::newRow("no node") << ":1000000"
                                 << "" << 0 << "needs the device node";
    }
    void parsesLocation()
    {
        QFETCH(QString, argument);
        QFETCH(QString, path);
        QFETCH(int, hz);
        QFETCH(QString, error);
        SpidevLocation location;
        std::string reason;
        const bool parsed = parseSpidevLocation(argument.toStdString(), &location, &reason);
        QCOMPARE(parsed, error.isEmpty());
        if (parsed) {
            QCOMPARE(QString::fromStdString(location.path), path);
            QCOMPARE(location.maxClockHz, std::uint32_t(hz));
        } else {
            QVERIFY2(QString::fromStdString(reason).contains(error), reason.c_str());
        }
    }

    // A 20480-byte read as the driver's buffer allows: each message the read command and one part.
    void splitsReadsAtTheBufferSize_data()
    {
        QTest::addColumn<int>("kernelBuffer");
        QTest::addColumn<int>("reportedBuffer"); // what sysfs says; 0: unreadable
        QTest::addColumn<int>("alignment");
        QTest::addColumn<int>("parts");
        QTest::addColumn<int>("partSize"); // all parts but the last
        QTest::newRow("default 4096") << 4096 << 4096 << 128 << 5 << 4096;
        QTest::newRow("sysfs unreadable: 4096 assumed") << 4096 << 0 << 128 << 5 << 4096;
        QTest::newRow("large buffer: one message") << 65536 << 65536 << 128 << 1 << 20480;
        QTest::newRow("odd buffer: parts that stay aligned") << 1000 << 1000 << 128 << 23 << 896;
        QTest::newRow("odd buffer, no alignment") << 1000 << 1000 << 1 << 23 << 896;
    }
    void splitsReadsAtTheBufferSize()
    {
        QFETCH(int, kernelBuffer);
        QFETCH(int, reportedBuffer);
        QFETCH(int, alignment);
        QFETCH(int, parts);
        QFETCH(int, partSize);
        Rig rig;
        rig.kernel.setBufferSize(kernelBuffer, reportedBuffer);
        rig.kernel.setAlignment(alignment);
        const auto data = pattern(rig.chip0->size(), 5);
        std::copy(data.begin(), data.end(), rig.chip0->contents().begin());
        QCOMPARE(rig.configure(0x00), int(AdapterOk));
        const std::size_t before = rig.kernel.messageLog().size();
        std::vector<std::uint8_t> back(20480);
        QCOMPARE(rig.adapter().flashRead(0, 0x00, 0x777, back.data(), 20480), int(AdapterOk));
        QVERIFY(std::equal(back.begin(), back.end(), data.begin() + 0x777));
        QCOMPARE(rig.kernel.refusedMessages(), 0);
        const auto& log = rig.kernel.messageLog();
        // The status read, then the parts; each the command and the bytes in, one frame.
        QCOMPARE(int(log.size() - before), 1 + parts);
        QCOMPARE(log[before], (Lengths{1, 1}));
        std::uint32_t total = 0;
        for (std::size_t i = before + 1; i < log.size(); ++i) {
            QCOMPARE(log[i].size(), std::size_t(2));
            QCOMPARE(log[i][0], std::uint32_t(4));
            if (i + 1 < log.size())
                QCOMPARE(log[i][1], std::uint32_t(partSize));
            total += log[i][1];
        }
        QCOMPARE(total, std::uint32_t(20480));
        QVERIFY(rig.clean());
    }

    // A command goes as one message, the bytes out then the bytes in; a page program with its write
    // enable and status reads in as few messages as the buffer holds, chip select let go between
    // its frames.
    void oneMessagePerTransfer()
    {
        Rig rig;
        QCOMPARE(rig.configure(0x00), int(AdapterOk));
        const auto data = pattern(256, 9);
        const std::size_t before = rig.kernel.messageLog().size();
        std::vector<std::vector<std::uint8_t>> frames;
        rig.kernel.frameLog = &frames;
        QCOMPARE(rig.adapter().flashWrite(0, 0x00, 0x100, data.data(), 256), int(AdapterOk));
        std::uint8_t id[16] = {};
        QCOMPARE(rig.adapter().flashReadId(0, 0x00, id), int(AdapterOk));
        QCOMPARE(QByteArray(reinterpret_cast<char*>(id), 3).toHex(), QByteArray("ef4017"));
        const auto& log = rig.kernel.messageLog();
        // Status read; write enable, its check, the page program and status reads (as many as
        // the buffer holds); then the ID.
        QCOMPARE(log[before], (Lengths{1, 1}));
        QVERIFY(startsWith(log[before + 1], kPageMessage));
        QCOMPARE(log.back(), (Lengths{1, 3}));
        QCOMPARE(frames[1], (std::vector<std::uint8_t>{0x06}));
        QCOMPARE(frames[2], (std::vector<std::uint8_t>{0x05}));
        QCOMPARE(frames[3].size(), std::size_t(260));
        QCOMPARE(frames[4], (std::vector<std::uint8_t>{0x05}));
        QVERIFY(std::equal(data.begin(), data.end(), rig.chip0->contents().begin() + 0x100));
        QVERIFY(rig.clean());
    }

    // A small driver buffer: page programs go in parts that fit; one that fits no instruction is
    // refused before anything is sent, and the backend says what to change.
    void smallDriverBuffers_data()
    {
        QTest::addColumn<int>("bufsiz");
        QTest::addColumn<int>("result");
        QTest::newRow("128: a page in three parts") << 128 << int(AdapterOk);
        QTest::newRow("64: nothing fits") << 64 << int(AdapterErrorFrameLimit);
    }
    void smallDriverBuffers()
    {
        QFETCH(int, bufsiz);
        QFETCH(int, result);
        Rig rig;
        rig.kernel.setBufferSize(bufsiz, bufsiz);
        QCOMPARE(rig.configure(0x00), int(AdapterOk));
        const auto data = pattern(256, 4);
        const std::size_t before = rig.kernel.messageLog().size();
        QCOMPARE(rig.adapter().flashWrite(0, 0x00, 0x100, data.data(), 256), result);
        if (result == AdapterOk) {
            QVERIFY(std::equal(data.begin(), data.end(), rig.chip0->contents().begin() + 0x100));
            QCOMPARE(rig.chip0->programCount(), 3);
            QVERIFY(rig.adapter().failureDetail(0).empty());
        } else {
            QCOMPARE(rig.kernel.messageLog().size(), before);
            QVERIFY(rig.adapter().failureDetail(0).find("spidev.bufsiz=4096") != std::string::npos);
        }
        QCOMPARE(rig.kernel.refusedMessages(), 0);
        QVERIFY(rig.clean());
    }

    // A write right after one whose last status read found the chip ready starts with its first
    // page; anything sent in between makes it ask the status first again.
    void writeAfterWriteStartsAtOnce()
    {
        Rig rig;
        QCOMPARE(rig.configure(0x00), int(AdapterOk));
        const auto data = pattern(256, 3);
        const auto& log = rig.kernel.messageLog();
        QCOMPARE(rig.adapter().flashWrite(0, 0x00, 0x000, data.data(), 256), int(AdapterOk));
        std::size_t before = log.size();
        QCOMPARE(rig.adapter().flashWrite(0, 0x00, 0x100, data.data(), 256), int(AdapterOk));
        QVERIFY(startsWith(log[before], kPageMessage));
        const std::uint8_t writeDisable = 0x04;
        QCOMPARE(rig.adapter().spiWriteBytes(0, 0x00, &writeDisable, 1), int(AdapterOk));
        before = log.size();
        QCOMPARE(rig.adapter().flashWrite(0, 0x00, 0x200, data.data(), 256), int(AdapterOk));
        QCOMPARE(log[before], (Lengths{1, 1}));
        QVERIFY(std::equal(data.begin(), data.end(), rig.chip0->contents().begin() + 0x200));
        QVERIFY(rig.clean());
    }

    // A batch goes as few messages as the buffer takes (each direction's transfers together, each
    // rounded up to the alignment), cs_change between frames; a message that fails stops it there.
    void batchesSplitAtTheBuffer()
    {
        Rig rig;
        QCOMPARE(rig.configure(0x00), int(AdapterOk));
        const auto data = pattern(rig.chip0->size(), 8);
        std::copy(data.begin(), data.end(), rig.chip0->contents().begin());
        std::uint8_t reads[8][4];
        std::vector<std::uint8_t> back(8 * 1000, 0x11);
        std::vector<SpiFrame> frames;
        for (int i = 0; i < 8; ++i) {
            const std::uint32_t at = std::uint32_t(i) * 1000;
            SpiNor::putInstruction(reads[i], SpiNor::Read, 3, at);
            frames.push_back({reads[i], 4, back.data() + at, 1000});
        }
        std::vector<std::vector<std::uint8_t>> seen;
        rig.kernel.frameLog = &seen;
        const std::size_t before = rig.kernel.messageLog().size();
        QCOMPARE(rig.adapter().spiTransferFrames(0, 0x00, frames.data(), 8), int(AdapterOk));
        QVERIFY(std::equal(back.begin(), back.end(), data.begin()));
        QCOMPARE(rig.kernel.messageLog().size() - before, std::size_t(2)); // 4 x 1024 received each
        QCOMPARE(seen.size(), std::size_t(8));
        std::fill(back.begin(), back.end(), 0x11);
        seen.clear();
        rig.kernel.breakAfter(1);
        QCOMPARE(rig.adapter().spiTransferFrames(0, 0x00, frames.data(), 8), int(AdapterErrorNoDevice));
        QCOMPARE(seen.size(), std::size_t(4));
        QVERIFY(std::all_of(back.begin() + 4000, back.end(), [](auto b) { return b == 0x11; }));
        QVERIFY(rig.clean());
    }

    // The driver refuses a message longer than its buffer; the backend says so and goes on.
    void driverRefusesTooLong()
    {
        Rig rig;
        // sysfs claims more than the driver takes (a module reloaded with another bufsiz).
        rig.kernel.setBufferSize(4096, 8192);
        QCOMPARE(rig.configure(0x00), int(AdapterOk));
        std::vector<std::uint8_t> back(20480, 0x11);
        QCOMPARE(rig.adapter().flashRead(0, 0x00, 0, back.data(), 20480), int(AdapterErrorUnsupported));
        QCOMPARE(rig.kernel.refusedMessages(), 1);
        QVERIFY(std::all_of(back.begin(), back.end(), [](auto b) { return b == 0x11; }));
        // What fits goes through.
        QCOMPARE(rig.adapter().flashRead(0, 0x00, 0, back.data(), 4096), int(AdapterOk));
        // More than any message carries is not sent at all.
        const std::vector<std::uint8_t> huge(8193, 0x00);
        QCOMPARE(rig.adapter().spiWriteBytes(0, 0x00, huge.data(), int(huge.size())),
                 int(AdapterErrorFrameLimit));
        QCOMPARE(rig.kernel.refusedMessages(), 1);
        // Nor a long answer: the engine splits its reads, a raw transfer is taken as it is.
        const std::uint8_t rdid = SpiNor::ReadJedecId;
        std::vector<std::uint8_t> answer(8193);
        QCOMPARE(rig.adapter().spiWriteReadBytes(0, 0x00, &rdid, 1, answer.data(), 8193, 0),
                 int(AdapterErrorFrameLimit));
        QCOMPARE(rig.kernel.refusedMessages(), 1);
        QVERIFY(rig.clean());
    }

    // The 通道 row's chip select picks the node on the same bus.
    void chipSelectByNode_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<int>("selector");
        QTest::addColumn<int>("expected");
        QTest::addColumn<QByteArray>("id");
        QTest::newRow("CS0") << "/dev/spidev0.0" << 0x00 << int(AdapterOk) << QByteArray("ef4017");
        QTest::newRow("CS1: spidev0.1") << "/dev/spidev0.0" << 0x10 << int(AdapterOk) << QByteArray("c84015");
        QTest::newRow("given .1, row CS0: spidev0.0")
            << "/dev/spidev0.1" << 0x00 << int(AdapterOk) << QByteArray("ef4017");
        QTest::newRow("CS2: no node")
            << "/dev/spidev0.0" << 0x20 << int(AdapterErrorUnsupported) << QByteArray();
        QTest::newRow("second SPI port")
            << "/dev/spidev0.0" << 0x01 << int(AdapterErrorUnsupported) << QByteArray();
        QTest::newRow("other name, CS0") << "/dev/flashspi" << 0x00 << int(AdapterOk) << QByteArray("ffffff");
        QTest::newRow("other name, CS1")
            << "/dev/flashspi" << 0x10 << int(AdapterErrorUnsupported) << QByteArray();
    }
    void chipSelectByNode()
    {
        QFETCH(QString, argument);
        QFETCH(int, selector);
        QFETCH(int, expected);
        QFETCH(QByteArray, id);
        Rig rig(argument.toStdString());
        rig.kernel.addNode("/dev/flashspi", nullptr); // a udev name with nothing behind it
        QCOMPARE(rig.configure(selector), expected);
        if (expected == AdapterOk) {
            std::uint8_t read[16] = {};
            QCOMPARE(rig.adapter().flashReadId(0, selector, read), int(AdapterOk));
            QCOMPARE(QByteArray(reinterpret_cast<char*>(read), 3).toHex(), id);
        }
        rig.adapter().closeDevice(0);
        QCOMPARE(rig.kernel.openDescriptors(), 0);
        QVERIFY(rig.clean());
    }

    // The speed row's clock, never above the HZ of the location; the driver's value is reported.
    void clock_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<int>("asked");
        QTest::addColumn<int>("set");
        QTest::newRow("as asked") << "/dev/spidev0.0" << 50000000 << 50000000;
        QTest::newRow("capped") << "/dev/spidev0.0:8000000" << 50000000 << 8000000;
        QTest::newRow("below the cap") << "/dev/spidev0.0:8000000" << 390625 << 390625;
    }
    void clock()
    {
        QFETCH(QString, argument);
        QFETCH(int, asked);
        QFETCH(int, set);
        Rig rig(argument.toStdString());
        QCOMPARE(rig.configure(0x00, std::uint32_t(asked)), int(AdapterOk));
        QCOMPARE(rig.kernel.speedHz("/dev/spidev0.0"), std::uint32_t(set));
        QCOMPARE(rig.adapter().effectiveClockHz(0, 0x00), std::uint32_t(set));
        std::uint8_t id[16];
        QCOMPARE(rig.adapter().flashReadId(0, 0x00, id), int(AdapterOk));
        QVERIFY(rig.clean());
    }

    void openFailures_data()
    {
        QTest::addColumn<int>("situation");
        QTest::addColumn<int>("scanned");
        QTest::addColumn<int>("expected");
        QTest::newRow("node missing") << 0 << 0 << int(AdapterErrorNoDevice);
        QTest::newRow("permission denied") << 1 << 1 << int(AdapterErrorAccess);
    }
    void openFailures()
    {
        QFETCH(int, situation);
        QFETCH(int, scanned);
        QFETCH(int, expected);
        Rig rig;
        if (situation == 0)
            rig.kernel.removeNode("/dev/spidev0.0");
        else
            rig.kernel.denyAccess("/dev/spidev0.0");
        QCOMPARE(rig.adapter().scanDevices(nullptr), scanned);
        QVERIFY(!rig.adapter().openDevice(0));
        QCOMPARE(rig.adapter().openError(0), expected);
        QCOMPARE(rig.kernel.openDescriptors(), 0);
    }

    // The controller unbound in the middle of a read: the adapter is gone until it is back.
    void goneInTheMiddle()
    {
        Rig rig;
        QCOMPARE(rig.configure(0x00), int(AdapterOk));
        rig.kernel.breakAfter(3);
        std::vector<std::uint8_t> back(20480, 0x11);
        QCOMPARE(rig.adapter().flashRead(0, 0x00, 0, back.data(), 20480), int(AdapterErrorNoDevice));
        QVERIFY(std::all_of(back.begin() + 2 * 4096, back.end(), [](auto b) { return b == 0x11; }));
        QCOMPARE(rig.kernel.openDescriptors(), 0);
        QCOMPARE(rig.adapter().scanDevices(nullptr), 0);
        QVERIFY(!rig.adapter().openDevice(0));
        rig.kernel.mend();
        QCOMPARE(rig.configure(0x00), int(AdapterOk));
        QCOMPARE(rig.adapter().flashRead(0, 0x00, 0, back.data(), 20480), int(AdapterOk));
        QVERIFY(rig.clean());
    }
};

QTEST_GUILESS_MAIN(TestSpidev)
#include "tst_spidev.moc"
