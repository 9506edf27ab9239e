// The serprog backend's own cases, over a real pseudo-terminal with an emulated firmware on the other
// end: the handshake, what it does with the firmware's command map and limits, the chip selects,
// the clock, and a firmware that refuses, falls silent or goes away.
#include "backends/serprog/serialport.h"
#include "backends/serprog/serprogadapter.h"
#include "backends/serprog/serprogprotocol.h"
#include "backends/simulated/simulatedchip.h"
#include "core/adapter/adapterresult.h"
#include "core/spinor/spinor.h"
#include "tests/backends/emulators/serprogemulator.h"
#include "tests/backends/emulators/sharedclock.h"

#include <QElapsedTimer>
#include <QTemporaryFile>
#include <QTest>

#include <algorithm>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace korvane;

namespace {

using FirmwareChange = std::function<void(SerprogFirmware&)>;

constexpr int kTimeoutMs = 300;

std::vector<std::uint8_t> pattern(std::size_t size, std::uint32_t seed)
{
    std::vector<std::uint8_t> data(size);
    for (auto& byte : data) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(seed >> 16);
    }
    return data;
}

// A serial port access that refuses some paths as the system would.
class RefusingSerialAccess : public SerialPortAccess
{
public:
    bool exists(const std::string& path) override { return systemSerialPortAccess().exists(path); }
    std::unique_ptr<SerialPort> open(const std::string& path, int baud, int* error) override
    {
        if (refusal != 0) {
            *error = refusal;
            return nullptr;
        }
        return systemSerialPortAccess().open(path, baud, error);
    }
    int refusal = 0;
};

// A firmware with a W25Q64 on CS0 and a GD25Q16 on CS1, and the backend on its tty.
struct Rig
{
    explicit Rig(const FirmwareChange& change = {}, const std::string& suffix = {})
        : chip0(createSimulatedChip("W25Q64", clock)), chip1(createSimulatedChip("GD25Q16", clock)),
          emulator(firmwareWith(change))
    {
        emulator.attachChip(0, chip0.get());
        emulator.attachChip(1, chip1.get());
        SerprogLocation location;
        std::string error;
        if (!parseSerprogLocation(emulator.devicePath() + suffix, &location, &error))
            qFatal("%s", error.c_str());
        adapter = std::make_unique<SerprogAdapter>(clock, access, location);
        adapter->setTimeoutMs(kTimeoutMs);
    }

    static SerprogFirmware firmwareWith(const FirmwareChange& change)
    {
        SerprogFirmware firmware;
        if (change)
            change(firmware);
        return firmware;
    }

    // Opens and configures a selector for a 3-byte-address chip.
    int configure(int selector, std::uint32_t hz = 50000000)
    {
        if (!adapter->openDevice(0))
            return adapter->openError(0);
        const SPIFlashConfig config = standardSpiNorConfig(0xEF4017, 8 << 20, 4096);
        return adapter->flashInit(0, selector, hz, &config);
    }

    bool clean() const
    {
        for (const std::string& problem : emulator.violations())
            qWarning("firmware saw: %s", problem.c_str());
        return emulator.violations().empty();
    }

    SharedVirtualClock clock;
    std::unique_ptr<SimulatedChip> chip0;
    std::unique_ptr<SimulatedChip> chip1;
    SerprogEmulator emulator;
    RefusingSerialAccess access;
    std::unique_ptr<SerprogAdapter> adapter;
};

} // namespace

Q_DECLARE_METATYPE(FirmwareChange)
Q_DECLARE_METATYPE(SerprogEmulator::Failure)

class TestSerprog : public QObject
{
    Q_OBJECT

private slots:
    void parsesLocation_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("baud");
        QTest::addColumn<QString>("error"); // part of it; empty when it parses

        QTest::newRow("device only") << "/dev/ttyACM0"
                                     << "/dev/ttyACM0" << 115200 << "";
        QTest::newRow("device and baud") << "/dev/ttyUSB0:2000000"
                                         << "/dev/ttyUSB0" << 2000000 << "";
        QTest::newRow("a colon in the path") << "/dev/serial/by-path/pci-0:1:2000000"
                                             << "/dev/serial/by-path/pci-0:1" << 2000000 << "";
        QTest::newRow("baud the port cannot take") << "/dev/ttyUSB0:250000"
                                                   << "" << 0 << "not a baud rate";
        QTest::newRow("absurd baud") << "/dev/ttyUSB0:99999999999"
                                     << "" << 0 << "not a baud rate";
        QTest::newRow("baud without device") << ":115200"
                                             << "" << 0 << "needs the programmer's serial device";
        QTest::newRow("nothing") << ""
                                 << "" << 0 << "needs the programmer's serial device";
    }
    void parsesLocation()
    {
        QFETCH(QString, argument);
        QFETCH(QString, path);
        QFETCH(int, baud);
        QFETCH(QString, error);
        SerprogLocation location;
        std::string reason;
        const bool parsed = parseSerprogLocation(argument.toStdString(), &location, &reason);
        QCOMPARE(parsed, error.isEmpty());
        if (parsed) {
            QCOMPARE(QString::fromStdString(location.path), path);
            QCOMPARE(location.baud, baud);
        } else {
            QVERIFY2(QString::fromStdString(reason).contains(error), reason.c_str());
        }
    }

    // Opening: SYNCNOP, interface version, command map, limits, SPI, pin drivers.
    void opens_data()
    {
        QTest::addColumn<FirmwareChange>("change");
        QTest::addColumn<int>("expected");
        QTest::addColumn<QByteArray>("commands"); // sent after the synchronisation, in order

        const QByteArray full = QByteArray::fromHex("010203040811051215");
        QTest::newRow("every command") << FirmwareChange() << int(AdapterOk) << full;
        QTest::newRow("only the mandatory ones and O_SPIOP") << FirmwareChange([](SerprogFirmware& f) {
            f.commands = {0x00, 0x01, 0x02, 0x10, 0x13};
        }) << int(AdapterOk) << QByteArray::fromHex("0102");
        QTest::newRow("interface version 2")
            << FirmwareChange([](SerprogFirmware& f) { f.interfaceVersion = 2; })
            << int(AdapterErrorUnsupported) << QByteArray::fromHex("01");
        QTest::newRow("no O_SPIOP") << FirmwareChange([](SerprogFirmware& f) {
            f.commands.erase(Serprog::SpiOperation);
        }) << int(AdapterErrorUnsupported)
                                    << QByteArray::fromHex("0102");
        QTest::newRow("a parallel-only programmer")
            << FirmwareChange([](SerprogFirmware& f) { f.busTypes = 0x01; }) << int(AdapterErrorUnsupported)
            << QByteArray::fromHex("01020304081105");
    }
    void opens()
    {
        QFETCH(FirmwareChange, change);
        QFETCH(int, expected);
        QFETCH(QByteArray, commands);
        Rig rig(change);
        QCOMPARE(rig.adapter->scanDevices(nullptr), 1);
        QCOMPARE(rig.adapter->openDevice(0), expected == AdapterOk);
        QCOMPARE(rig.adapter->openError(0), expected);
        std::vector<std::uint8_t> log = rig.emulator.commandLog();
        // Synchronised first, then nothing but SYNCNOPs until the commands.
        QVERIFY(!log.empty() && log.front() == Serprog::SyncNop);
        log.erase(std::remove(log.begin(), log.end(), Serprog::SyncNop), log.end());
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(log.data()), int(log.size())).toHex(),
                 commands.toHex());
        QVERIFY(rig.clean());
        if (expected == AdapterOk) {
            QCOMPARE(rig.emulator.pinsEnabled(), true);
            QCOMPARE(rig.adapter->identity(0).name,
                     std::string(commands.contains('\x03') ? "emulated" : "serprog programmer"));
        }
    }

    // Whatever state the line and the firmware are in, the handshake finds the start of an answer.
    void synchronises_data()
    {
        QTest::addColumn<QByteArray>("pendingInput");  // the firmware is in the middle of this command
        QTest::addColumn<QByteArray>("pendingOutput"); // bytes on the way to the host already
        QTest::newRow("clean line") << QByteArray() << QByteArray();
        QTest::newRow("old answers waiting") << QByteArray() << QByteArray::fromHex("06 15 06 01 00 ff");
        QTest::newRow("a NAK ACK pair waiting") << QByteArray() << QByteArray::fromHex("15 06");
        QTest::newRow("firmware wants 3 more clock bytes") << QByteArray::fromHex("14 40") << QByteArray();
        QTest::newRow("firmware inside an O_SPIOP")
            << QByteArray::fromHex("13 08 00 00 00 00 00 9f 9f") << QByteArray();
    }
    void synchronises()
    {
        QFETCH(QByteArray, pendingInput);
        QFETCH(QByteArray, pendingOutput);
        Rig rig;
        rig.emulator.injectInput(std::vector<std::uint8_t>(pendingInput.begin(), pendingInput.end()));
        rig.emulator.injectOutput(std::vector<std::uint8_t>(pendingOutput.begin(), pendingOutput.end()));
        QCOMPARE(rig.configure(0x00), int(AdapterOk));
        std::uint8_t id[16] = {};
        QCOMPARE(rig.adapter->flashReadId(0, 0x00, id), int(AdapterOk));
        QCOMPARE(QByteArray(reinterpret_cast<char*>(id), 3).toHex(), QByteArray("ef4017"));
        QVERIFY(rig.clean());
    }

    // How transfers become O_SPIOPs: within the firmware's limits, reads split and back to back.
    void framesTransfers_data()
    {
        QTest::addColumn<FirmwareChange>("change");
        QTest::addColumn<int>("count");      // bytes of flashRead at 0x1234
        QTest::addColumn<int>("operations"); // O_SPIOPs: one status read, then the read's parts

        const auto readMax = [](std::uint32_t max) {
            return FirmwareChange([max](SerprogFirmware& f) { f.readMax = max; });
        };
        QTest::newRow("whole block in one") << readMax(0) << 20480 << 2;
        QTest::newRow("parts of 4096") << readMax(4096) << 20480 << 6;
        QTest::newRow("parts of 1000, the last short") << readMax(1000) << 20480 << 1 + 21;
        QTest::newRow("one byte a part") << readMax(1) << 300 << 1 + 300;
        QTest::newRow("no Q_RDNMAXLEN: 2^24") << FirmwareChange([](SerprogFirmware& f) {
            f.commands.erase(Serprog::QueryReadMax);
            f.readMax = 0;
        }) << 20480 << 2;
        QTest::newRow("16-byte serial buffer: one request at a time")
            << FirmwareChange([](SerprogFirmware& f) {
                   f.serialBuffer = 16;
                   f.readMax = 256;
               })
            << 20480 << 1 + 80;
        QTest::newRow("no Q_SERBUF (16 assumed)") << FirmwareChange([](SerprogFirmware& f) {
            f.commands.erase(Serprog::QuerySerialBuffer);
            f.readMax = 512;
        }) << 20480 << 1 + 40;
    }
    void framesTransfers()
    {
        QFETCH(FirmwareChange, change);
        QFETCH(int, count);
        QFETCH(int, operations);
        Rig rig(change);
        const auto data = pattern(rig.chip0->size(), 7);
        std::copy(data.begin(), data.end(), rig.chip0->contents().begin());
        QCOMPARE(rig.configure(0x00), int(AdapterOk));
        const int before = rig.emulator.spiOperations();
        std::vector<std::uint8_t> back(std::size_t(count), 0);
        QCOMPARE(rig.adapter->flashRead(0, 0x00, 0x1234, back.data(), std::uint32_t(count)), int(AdapterOk));
        QVERIFY(std::equal(back.begin(), back.end(), data.begin() + 0x1234));
        QCOMPARE(rig.emulator.spiOperations() - before, operations);
        QVERIFY(rig.clean());
    }

    // Page programs go in parts within the firmware's write limit; a raw transfer past its limits
    // is refused, not sent.
    void keepsWithinTheFirmwaresLimits()
    {
        Rig rig([](SerprogFirmware& f) {
            f.writeMax = 100;
            f.readMax = 64;
        });
        QCOMPARE(rig.configure(0x00), int(AdapterOk));
        const auto page = pattern(512, 3);
        QCOMPARE(rig.adapter->flashWrite(0, 0x00, 0x100, page.data(), 512), int(AdapterOk));
        QVERIFY(std::equal(page.begin(), page.end(), rig.chip0->contents().begin() + 0x100));
        QCOMPARE(rig.chip0->programCount(), 2 * 3); // 96 + 96 + 64 bytes a page
        const std::uint8_t rdid = SpiNor::ReadJedecId;
        std::vector<std::uint8_t> answer(65);
        QCOMPARE(rig.adapter->spiWriteReadBytes(0, 0x00, &rdid, 1, answer.data(), 65, 0),
                 int(AdapterErrorFrameLimit));
        // Within the limits all is well, and the link was never disturbed.
        QCOMPARE(rig.adapter->spiWriteReadBytes(0, 0x00, &rdid, 1, answer.data(), 3, 0), int(AdapterOk));
        QCOMPARE(answer[0], std::uint8_t(0xEF));
        QVERIFY(rig.clean());
    }

    // The 通道 row's chip select through S_SPI_CS, where the firmware has it.
    void selectsChipSelect_data()
    {
        QTest::addColumn<FirmwareChange>("change");
        QTest::addColumn<int>("selector");
        QTest::addColumn<int>("expected");
        QTest::addColumn<QByteArray>("id"); // read on that selector, when it configures

        const FirmwareChange noChipSelect(
            [](SerprogFirmware& f) { f.commands.erase(Serprog::SetChipSelect); });
        QTest::newRow("CS0") << FirmwareChange() << 0x00 << int(AdapterOk) << QByteArray("ef4017");
        QTest::newRow("CS1") << FirmwareChange() << 0x10 << int(AdapterOk) << QByteArray("c84015");
        QTest::newRow("CS2 the firmware lacks")
            << FirmwareChange() << 0x20 << int(AdapterErrorUnsupported) << QByteArray();
        QTest::newRow("CS0 without S_SPI_CS")
            << noChipSelect << 0x00 << int(AdapterOk) << QByteArray("ef4017");
        QTest::newRow("CS1 without S_SPI_CS")
            << noChipSelect << 0x10 << int(AdapterErrorUnsupported) << QByteArray();
        QTest::newRow("second SPI port")
            << FirmwareChange() << 0x01 << int(AdapterErrorUnsupported) << QByteArray();
    }
    void selectsChipSelect()
    {
        QFETCH(FirmwareChange, change);
        QFETCH(int, selector);
        QFETCH(int, expected);
        QFETCH(QByteArray, id);
        Rig rig(change);
        QCOMPARE(rig.configure(selector), expected);
        std::uint8_t read[16] = {};
        if (expected == AdapterOk) {
            QCOMPARE(rig.adapter->flashReadId(0, selector, read), int(AdapterOk));
            QCOMPARE(QByteArray(reinterpret_cast<char*>(read), 3).toHex(), id);
        }
        // A refused chip select leaves the link as it was: CS0 works on.
        QCOMPARE(rig.configure(0x00), int(AdapterOk));
        QCOMPARE(rig.adapter->flashReadId(0, 0x00, read), int(AdapterOk));
        QCOMPARE(read[0], std::uint8_t(0xEF));
        QCOMPARE(rig.emulator.currentChipSelect(), 0);
        QVERIFY(rig.clean());
    }

    // S_SPI_FREQ: the clock the firmware answers is the one reported.
    void usesTheClockTheFirmwareAnswers_data()
    {
        QTest::addColumn<FirmwareChange>("change");
        QTest::addColumn<int>("asked");
        QTest::addColumn<int>("actual");
        QTest::newRow("50 MHz") << FirmwareChange() << 50000000 << 32000000;
        QTest::newRow("12.5 MHz") << FirmwareChange() << 12500000 << 8000000;
        QTest::newRow("exactly one it has") << FirmwareChange() << 4000000 << 4000000;
        QTest::newRow("below its slowest") << FirmwareChange() << 100000 << 250000;
        QTest::newRow("no S_SPI_FREQ: unknown")
            << FirmwareChange([](SerprogFirmware& f) { f.commands.erase(Serprog::SetSpiClock); }) << 50000000
            << 0;
    }
    void usesTheClockTheFirmwareAnswers()
    {
        QFETCH(FirmwareChange, change);
        QFETCH(int, asked);
        QFETCH(int, actual);
        Rig rig(change);
        QCOMPARE(rig.configure(0x00, std::uint32_t(asked)), int(AdapterOk));
        QCOMPARE(rig.adapter->effectiveClockHz(0, 0x00), std::uint32_t(actual));
        if (actual != 0)
            QCOMPARE(rig.emulator.clockHz(), std::uint32_t(actual));
        QVERIFY(rig.clean());
    }

    // A firmware that refuses, falls silent or goes away in the middle of a read: a failure naming
    // why, in bounded time, and the next open works once the firmware is back.
    void failsInTheMiddle_data()
    {
        QTest::addColumn<SerprogEmulator::Failure>("failure");
        QTest::addColumn<int>("expected");
        QTest::newRow("NAK") << SerprogEmulator::Failure::Nak << int(AdapterErrorTransport);
        QTest::newRow("stops answering") << SerprogEmulator::Failure::Silent << int(AdapterErrorTimedOut);
        QTest::newRow("unplugged") << SerprogEmulator::Failure::Gone << int(AdapterErrorNoDevice);
    }
    void failsInTheMiddle()
    {
        QFETCH(SerprogEmulator::Failure, failure);
        QFETCH(int, expected);
        Rig rig;
        QCOMPARE(rig.configure(0x00), int(AdapterOk));
        std::vector<std::uint8_t> back(20480, 0x11);
        // The status read and two of the five parts go through.
        rig.emulator.failAfter(3, failure);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(rig.adapter->flashRead(0, 0x00, 0, back.data(), 20480), expected);
        QVERIFY2(timer.elapsed() < 3 * kTimeoutMs + 500, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(std::all_of(back.begin() + 3 * 4096, back.end(), [](auto b) { return b == 0x11; }));
        // Closed after a failure: the next call finds no open adapter rather than a stray answer.
        QCOMPARE(rig.adapter->flashRead(0, 0x00, 0, back.data(), 16), int(AdapterErrorNotConfigured));

        rig.emulator.mend();
        QCOMPARE(rig.configure(0x00), int(AdapterOk));
        QCOMPARE(rig.adapter->flashRead(0, 0x00, 0, back.data(), 20480), int(AdapterOk));
        QVERIFY(std::all_of(back.begin(), back.end(), [](auto b) { return b == 0xFF; }));
        QVERIFY(rig.clean());
    }

    // A read longer than the firmware reads at once goes as parts, each part's request sent while
    // the one before is still being answered.
    void readPartsGoBackToBack()
    {
        Rig rig;
        QCOMPARE(rig.configure(0x00), int(AdapterOk));
        std::vector<std::uint8_t> back(20480);
        QCOMPARE(rig.adapter->flashRead(0, 0x00, 0, back.data(), 20480), int(AdapterOk));
        QVERIFY2(rig.emulator.mostBytesAhead() >= Serprog::SpiOperationHeader + 4,
                 qPrintable(QString::number(rig.emulator.mostBytesAhead())));
        QVERIFY(rig.clean());
    }

    // A batch goes as O_SPIOPs back to back within the serial buffer; after a refusal the requests
    // not yet sent stay unsent.
    void batchStopsAtARefusal()
    {
        Rig rig([](SerprogFirmware& f) { f.serialBuffer = 16; });
        QCOMPARE(rig.configure(0x00), int(AdapterOk));
        const std::uint8_t rdsr = SpiNor::ReadStatus1;
        std::uint8_t status[6] = {};
        std::vector<SpiFrame> frames(6, SpiFrame{&rdsr, 1, nullptr, 1});
        for (int i = 0; i < 6; ++i)
            frames[std::size_t(i)].receive = &status[i];
        const auto operations = [&] {
            const auto log = rig.emulator.commandLog();
            return std::count(log.begin(), log.end(), Serprog::SpiOperation);
        };
        auto before = operations();
        QCOMPARE(rig.adapter->spiTransferFrames(0, 0x00, frames.data(), 6), int(AdapterOk));
        QCOMPARE(operations() - before, 6);
        rig.emulator.failAfter(1, SerprogEmulator::Failure::Nak);
        before = operations();
        QCOMPARE(rig.adapter->spiTransferFrames(0, 0x00, frames.data(), 6), int(AdapterErrorTransport));
        QTRY_VERIFY(operations() - before >= 2);
        QTest::qWait(50);
        QVERIFY(operations() - before <= 3); // the one that ran, the refused one, one already sent
        QVERIFY(rig.clean());
    }

    // Device missing, permission denied, a firmware that never answers: the open fails and says why.
    void openFailures_data()
    {
        QTest::addColumn<int>("situation");
        QTest::addColumn<int>("expected");
        QTest::newRow("node missing") << 0 << int(AdapterErrorNoDevice);
        QTest::newRow("permission denied") << 1 << int(AdapterErrorAccess);
        QTest::newRow("firmware never answers") << 2 << int(AdapterErrorTimedOut);
        QTest::newRow("not a terminal") << 3 << int(AdapterErrorWrongDevice);
        // Another program has the port: in use, and left as that program set it.
        QTest::newRow("held exclusively by another program") << 4 << int(AdapterErrorInUse);
        QTest::newRow("locked by another program") << 5 << int(AdapterErrorInUse);
    }
    void openFailures()
    {
        QFETCH(int, situation);
        QFETCH(int, expected);
        Rig rig;
        QTemporaryFile file;
        QVERIFY(file.open());
        std::unique_ptr<SerprogAdapter> adapter;
        SerprogLocation location;
        location.path = rig.emulator.devicePath();
        switch (situation) {
        case 0:
            location.path += "-missing";
            break;
        case 1:
            rig.access.refusal = AdapterErrorAccess;
            break;
        case 2:
            rig.emulator.failAfter(0, SerprogEmulator::Failure::Silent);
            rig.emulator.injectInput({Serprog::SpiOperation, 0, 0, 0, 0, 0, 0}); // falls silent at once
            break;
        case 3:
            location.path = file.fileName().toStdString(); // a regular file
            break;
        }
        const int holder = situation >= 4 ? ::open(location.path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
        QVERIFY(situation != 4 || ::ioctl(holder, TIOCEXCL) == 0);
        QVERIFY(situation != 5 || ::flock(holder, LOCK_EX | LOCK_NB) == 0);
        adapter = std::make_unique<SerprogAdapter>(rig.clock, rig.access, location);
        adapter->setTimeoutMs(100);
        QCOMPARE(adapter->scanDevices(nullptr), situation == 0 ? 0 : 1);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!adapter->openDevice(0));
        QCOMPARE(adapter->openError(0), expected);
        // Five synchronisation attempts of at most 100 ms each, then it gives up.
        QVERIFY2(timer.elapsed() < 1500, qPrintable(QString::number(timer.elapsed())));
        if (holder >= 0) {
            int exclusive = 0;
            QVERIFY(::ioctl(holder, TIOCGEXCL, &exclusive) == 0);
            QCOMPARE(exclusive, situation == 4 ? 1 : 0);
            ::close(holder);
        }
    }

    // The firmware is told to let go of the chip when the adapter is closed.
    void closingTurnsThePinDriversOff()
    {
        Rig rig;
        QCOMPARE(rig.configure(0x00), int(AdapterOk));
        QVERIFY(rig.emulator.pinsEnabled());
        rig.adapter->closeDevice(0);
        QTRY_VERIFY(!rig.emulator.pinsEnabled());
        QCOMPARE(rig.configure(0x00), int(AdapterOk));
        QVERIFY(rig.emulator.pinsEnabled());
        QVERIFY(rig.clean());
    }

    // A write through the whole stack: page programs as single O_SPIOPs, the chip holds the data.
    void writesPages()
    {
        Rig rig([](SerprogFirmware& f) { f.serialBuffer = 16; });
        QCOMPARE(rig.configure(0x00), int(AdapterOk));
        const auto data = pattern(1000, 11);
        QCOMPARE(rig.adapter->flashWrite(0, 0x00, 0x3F0, data.data(), 1000), int(AdapterOk));
        QVERIFY(std::equal(data.begin(), data.end(), rig.chip0->contents().begin() + 0x3F0));
        QCOMPARE(rig.chip0->programCount(), 5); // 0x3F0..0x7D7 touches five pages
        QVERIFY(rig.clean());
    }
};

QTEST_GUILESS_MAIN(TestSerprog)
#include "tst_serprog.moc"
