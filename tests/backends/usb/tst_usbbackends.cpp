// The USB backends over their emulators, case by case: which chip selects and clocks each one has,
// a device unplugged or gone silent in the middle of an operation, permission refused, the order
// adapters are listed in, what they report about themselves, and how far ahead they keep the
// pipe. Every case ends with the emulators having seen no protocol violation.
#include "backends/ch341a/ch341adevice.h"
#include "core/adapter/adapterresult.h"
#include "core/operations/firmwareoperations.h"
#include "core/operations/flashoperations.h"
#include "tests/backends/ch341a/ch341aemulator.h"
#include "tests/backends/ch347/ch347emulator.h"
#include "tests/backends/ftdi/ftdiemulator.h"
#include "tests/backends/usb/usbrig.h"

#include <QTemporaryFile>
#include <QTest>

#include <algorithm>

using namespace korvane;

namespace {

std::unique_ptr<EmulatedUsbDevice> emulatorFor(const QString& backend)
{
    if (backend == QLatin1String("ch341a"))
        return std::make_unique<Ch341aEmulator>();
    if (backend == QLatin1String("ch347"))
        return std::make_unique<Ch347Emulator>(0x55db);
    if (backend == QLatin1String("ft2232h"))
        return std::make_unique<FtdiEmulator>(0x6010);
    return std::make_unique<FtdiEmulator>(0x6014);
}

std::unique_ptr<UsbRig> rigFor(const QString& backend, int cs = 0)
{
    return std::make_unique<UsbRig>(emulatorFor(backend), backend, ConformanceChip::Small, cs);
}

FlashTarget targetOf(UsbRig& rig, std::uint32_t clockHz = 50000000)
{
    FlashTarget target;
    target.selector = rig.selector();
    target.clockHz = clockHz;
    target.chip = rig.chip();
    return target;
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

OperationResult openChip(UsbRig& rig, FlashOperation operation, std::uint32_t clockHz = 50000000)
{
    std::uint8_t id[kIdBufferSize];
    const FlashTarget target = targetOf(rig, clockHz);
    return openFlash(rig.library(), target, addressBytesFor(operation, target.chip.Config), id);
}

UsbDeviceDescription otherDevice(std::uint16_t vendor, std::uint16_t product, int bus, std::vector<int> ports)
{
    UsbDeviceDescription d;
    d.vendorId = vendor;
    d.productId = product;
    d.bus = bus;
    d.portPath = std::move(ports);
    return d;
}

// A USB device no backend drives (a CH340 serial adapter shares the CH341A's vendor).
class OtherDevice : public EmulatedUsbDevice
{
public:
    explicit OtherDevice(UsbDeviceDescription d) : EmulatedUsbDevice(std::move(d)) {}
    int maxPacketSize() const override { return 64; }
    int bulkOut(std::uint8_t, const std::uint8_t*, int) override
    {
        violation("a backend talked to a device it does not drive");
        return AdapterErrorTransport;
    }
    int bulkIn(std::uint8_t, std::uint8_t*, int) override { return kNothingYet; }
};

} // namespace

class TestUsbBackends : public QObject
{
    Q_OBJECT

private slots:
    // A chip on every chip select the adapter has is reached on that one; a selector it lacks is
    // refused when the adapter is configured.
    void chipSelects_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<int>("selector");
        QTest::addColumn<int>("expected");
        const int ok = AdapterOk;
        const int lacks = AdapterErrorUnsupported;
        QTest::newRow("ch341a CS0") << "ch341a" << 0x00 << ok;
        QTest::newRow("ch341a CS2") << "ch341a" << 0x20 << ok;
        QTest::newRow("ch341a CS3") << "ch341a" << 0x30 << lacks;
        QTest::newRow("ch341a SPI2-CS0") << "ch341a" << 0x01 << lacks;
        QTest::newRow("ch347 CS0") << "ch347" << 0x00 << ok;
        QTest::newRow("ch347 CS1") << "ch347" << 0x10 << ok;
        QTest::newRow("ch347 CS2") << "ch347" << 0x20 << lacks;
        QTest::newRow("ch347 SPI2-CS1") << "ch347" << 0x11 << lacks;
        QTest::newRow("ft232h CS0 (ADBUS3)") << "ft232h" << 0x00 << ok;
        QTest::newRow("ft232h CS4 (GPIOL3)") << "ft232h" << 0x40 << ok;
        QTest::newRow("ft2232h CS2 (GPIOL1)") << "ft2232h" << 0x20 << ok;
        QTest::newRow("ft232h SPI2-CS0") << "ft232h" << 0x01 << lacks;
    }
    void chipSelects()
    {
        QFETCH(QString, backend);
        QFETCH(int, selector);
        QFETCH(int, expected);
        // The chip sits on the line the selector names, when the adapter has that line.
        auto rig = rigFor(backend, expected == AdapterOk ? selector >> 4 : 0);
        FlashTarget target = targetOf(*rig);
        target.selector = selector;
        std::uint8_t id[kIdBufferSize];
        const OperationResult opened = openFlash(rig->library(), target, 3, id);
        if (expected == AdapterOk) {
            QVERIFY2(opened.ok(), qPrintable(operationResultText(opened)));
            QVERIFY(idMatches(rig->chip(), id));
        } else {
            QCOMPARE(opened.status, OperationStatus::ConfigureFailed);
            QCOMPARE(opened.adapterCode, expected);
            QCOMPARE(rig->device->wire.frames(), 0LL);
        }
    }

    // The fastest clock the adapter has that is not above the one asked for, the slowest when all
    // are; the device runs what the backend says it runs.
    void clocks_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<int>("askedHz");
        QTest::addColumn<int>("expectedHz");
        QTest::newRow("ch341a 50 MHz") << "ch341a" << 50000000 << 2000000;
        QTest::newRow("ch341a detection") << "ch341a" << int(kDetectClockHz) << 2000000;
        QTest::newRow("ch347 60 MHz") << "ch347" << 60000000 << 60000000;
        QTest::newRow("ch347 50 MHz") << "ch347" << 50000000 << 30000000;
        QTest::newRow("ch347 25 MHz") << "ch347" << 25000000 << 15000000;
        QTest::newRow("ch347 12.5 MHz") << "ch347" << 12500000 << 7500000;
        QTest::newRow("ch347 6.25 MHz") << "ch347" << 6250000 << 3750000;
        QTest::newRow("ch347 3.125 MHz") << "ch347" << 3125000 << 1875000;
        QTest::newRow("ch347 detection: slowest") << "ch347" << int(kDetectClockHz) << 468750;
        QTest::newRow("ft232h 50 MHz") << "ft232h" << 50000000 << 30000000;
        QTest::newRow("ft232h 30 MHz") << "ft232h" << 30000000 << 30000000;
        QTest::newRow("ft232h 25 MHz") << "ft232h" << 25000000 << 15000000;
        QTest::newRow("ft232h 12.5 MHz") << "ft232h" << 12500000 << 10000000;
        QTest::newRow("ft232h 6.25 MHz") << "ft232h" << 6250000 << 6000000;
        QTest::newRow("ft232h 3.125 MHz") << "ft232h" << 3125000 << 3000000;
        QTest::newRow("ft2232h detection") << "ft2232h" << int(kDetectClockHz) << 389610;
    }
    void clocks()
    {
        QFETCH(QString, backend);
        QFETCH(int, askedHz);
        QFETCH(int, expectedHz);
        auto rig = rigFor(backend);
        const OperationResult opened = openChip(*rig, FlashOperation::Read, std::uint32_t(askedHz));
        QVERIFY2(opened.ok(), qPrintable(operationResultText(opened)));
        QCOMPARE(int(rig->library().effectiveClockHz(0, rig->selector())), expectedHz);
        if (auto* ch347 = dynamic_cast<Ch347Emulator*>(rig->device))
            QCOMPARE(int(ch347->clockHz()), expectedHz);
        if (auto* ftdi = dynamic_cast<FtdiEmulator*>(rig->device))
            QCOMPARE(int(ftdi->clockHz()), expectedHz);
    }

    // Unplugged after a few frames of a read or a write: a failure that says the adapter is gone,
    // a read buffer untouched past what was done, and the next operation works once it is back.
    void unplugged_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<bool>("write");
        QTest::addColumn<int>("frames");
        for (const char* backend : {"ch341a", "ch347", "ft232h"}) {
            QTest::addRow("%s read, second block", backend) << QString(backend) << false << 2;
            QTest::addRow("%s read, first poll", backend) << QString(backend) << false << 0;
            QTest::addRow("%s write, fourth page", backend) << QString(backend) << true << 9;
        }
    }
    void unplugged()
    {
        QFETCH(QString, backend);
        QFETCH(bool, write);
        QFETCH(int, frames);
        auto rig = rigFor(backend);
        auto& memory = rig->memory();
        const auto data = pattern(3 * kMaxFlashTransfer, 7);
        std::copy(data.begin(), data.end(), memory.begin());
        std::vector<std::uint8_t> buffer(data.size(), 0x11);
        const FlashOperation operation = write ? FlashOperation::Write : FlashOperation::Read;
        QVERIFY(openChip(*rig, operation).ok());
        if (write)
            std::fill(memory.begin(), memory.end(), 0xFF);
        rig->device->unplugAfterFrames(frames);
        OperationProgress progress;
        const auto run = [&] {
            return write ? writeFlash(rig->library(), targetOf(*rig), 0, data.data(),
                                      std::uint32_t(data.size()), progress)
                         : readFlash(rig->library(), targetOf(*rig), 0, buffer.data(),
                                     std::uint32_t(buffer.size()), progress);
        };
        const OperationResult broken = run();
        QCOMPARE(broken.status, OperationStatus::TransferFailed);
        QCOMPARE(broken.adapterCode, int(AdapterErrorNoDevice));
        QVERIFY(operationResultText(broken).contains(QLatin1String("gone")));
        QVERIFY(!rig->device->plugged());
        const std::size_t done = frames >= 2 ? kMaxFlashTransfer : 0;
        if (!write)
            QVERIFY(std::all_of(buffer.begin() + std::ptrdiff_t(done), buffer.end(),
                                [](auto b) { return b == 0x11; }));
        // While it is out, opening says so; plugged in again, everything starts afresh.
        QCOMPARE(openChip(*rig, operation).status, OperationStatus::NoAdapter);
        rig->device->unplugAfterFrames(-1);
        QVERIFY(openChip(*rig, operation).ok());
        const OperationResult again = run();
        QVERIFY2(again.ok(), qPrintable(operationResultText(again)));
        if (write)
            QVERIFY(std::equal(data.begin(), data.end(), memory.begin()));
        else
            QVERIFY(buffer == data);
    }

    // A device that stops answering: the transfer times out with that reason, and the next
    // operation, with the device answering again, works.
    void timesOut_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<bool>("stalled"); // FTDI: status bytes only, instead of no answer
        QTest::newRow("ch341a") << "ch341a" << false;
        QTest::newRow("ch347") << "ch347" << false;
        QTest::newRow("ft232h silent") << "ft232h" << false;
        QTest::newRow("ft232h status bytes only") << "ft232h" << true;
    }
    void timesOut()
    {
        QFETCH(QString, backend);
        QFETCH(bool, stalled);
        auto rig = rigFor(backend);
        const auto data = pattern(2 * kMaxFlashTransfer, 3);
        std::copy(data.begin(), data.end(), rig->memory().begin());
        QVERIFY(openChip(*rig, FlashOperation::Read).ok());
        auto* ftdi = dynamic_cast<FtdiEmulator*>(rig->device);
        if (stalled)
            ftdi->stalled = true;
        else
            rig->device->goSilentAfterFrames(1);
        std::vector<std::uint8_t> buffer(data.size(), 0x22);
        OperationProgress progress;
        const OperationResult result = readFlash(rig->library(), targetOf(*rig), 0, buffer.data(),
                                                 std::uint32_t(buffer.size()), progress);
        QCOMPARE(result.status, OperationStatus::TransferFailed);
        QCOMPARE(result.adapterCode, int(AdapterErrorTimedOut));
        QVERIFY(std::all_of(buffer.begin(), buffer.end(), [](auto b) { return b == 0x22; }));
        if (stalled)
            ftdi->stalled = false;
        else
            rig->device->goSilentAfterFrames(-1);
        QVERIFY(openChip(*rig, FlashOperation::Read).ok());
        const OperationResult again = readFlash(rig->library(), targetOf(*rig), 0, buffer.data(),
                                                std::uint32_t(buffer.size()), progress);
        QVERIFY2(again.ok(), qPrintable(operationResultText(again)));
        QVERIFY(buffer == data);
    }

    // Opening refused: the reason reaches the caller, and nothing was sent to the device.
    void openRefused_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<bool>("busy"); // the interface is held by another program
        QTest::addColumn<int>("expected");
        for (const char* backend : {"ch341a", "ch347", "ft232h"}) {
            QTest::addRow("%s no permission", backend)
                << QString(backend) << false << int(AdapterErrorAccess);
            QTest::addRow("%s interface busy", backend)
                << QString(backend) << true << int(AdapterErrorTransport);
        }
    }
    void openRefused()
    {
        QFETCH(QString, backend);
        QFETCH(bool, busy);
        QFETCH(int, expected);
        auto rig = rigFor(backend);
        (busy ? rig->device->interfaceBusy : rig->device->denyAccess) = true;
        const OperationResult opened = openChip(*rig, FlashOperation::Read);
        QCOMPARE(opened.status, OperationStatus::OpenFailed);
        QCOMPARE(opened.adapterCode, expected);
        QCOMPARE(rig->library().openError(0), expected);
        QCOMPARE(rig->bus.outTransfers, 0LL);
        if (expected == AdapterErrorAccess)
            QVERIFY(operationResultText(opened).contains(QLatin1String("no permission")));
        rig->device->denyAccess = rig->device->interfaceBusy = false;
        QVERIFY(openChip(*rig, FlashOperation::Read).ok());
        QCOMPARE(rig->library().openError(0), 0);
    }

    // Adapters in bus and port order whatever their kind; ":N" keeps the N-th of one kind.
    void order_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QStringList>("expected"); // backend and location, in order
        QTest::newRow("default set") << QString()
                                     << QStringList{"ch341a usb 1-1.1", "ft232h usb 1-1.2", "ch341a usb 1-4",
                                                    "ch347 usb 2-1"};
        QTest::newRow("ch341a") << "ch341a" << QStringList{"ch341a usb 1-1.1", "ch341a usb 1-4"};
        QTest::newRow("ch341a:1") << "ch341a:1" << QStringList{"ch341a usb 1-4"};
        QTest::newRow("ch341a:2 (not there)") << "ch341a:2" << QStringList{};
        QTest::newRow("ch347") << "ch347" << QStringList{"ch347 usb 2-1"};
        QTest::newRow("ft2232h (none)") << "ft2232h" << QStringList{};
    }
    void order()
    {
        QFETCH(QString, form);
        QFETCH(QStringList, expected);
        VirtualClock clock;
        EmulatedUsbBus bus;
        bus.add(std::make_unique<Ch347Emulator>(0x55de, 2, std::vector<int>{1}));
        bus.add(std::make_unique<Ch341aEmulator>(1, std::vector<int>{4}));
        bus.add(std::make_unique<OtherDevice>(otherDevice(0x1a86, 0x7523, 1, {2})));
        bus.add(std::make_unique<FtdiEmulator>(0x6014, 1, std::vector<int>{1, 2}));
        bus.add(std::make_unique<Ch341aEmulator>(1, std::vector<int>{1, 1}));
        DeviceAccess access;
        access.usb = &bus;
        QString error;
        auto registry = createAdapterRegistry(clock, form, false, &error, access);
        QVERIFY2(registry, qPrintable(error));
        QStringList listed;
        for (const AdapterEntry& entry : registry->adapters())
            listed << QString::fromStdString(entry.identity.backend + " " + entry.identity.location);
        QCOMPARE(listed, expected);
        QCOMPARE(bus.openHandles, 0LL);
    }

    // What an adapter says about itself, and that it has no firmware to upgrade, said before any
    // change.
    void describesItself_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("name");
        QTest::addColumn<quint32>("ids");
        QTest::addColumn<QString>("functions");
        QTest::newRow("ch341a") << "ch341a"
                                << "CH341A" << 0x1A865512u
                                << "USB 1a86:5512 at 1-1, serial none, release 3.04";
        QTest::newRow("ch347") << "ch347"
                               << "CH347T" << 0x1A8655DBu << "release 2.41";
        QTest::newRow("ft232h") << "ft232h"
                                << "FT232H" << 0x04036014u << "serial FT5XK3QZ, release 9.00";
    }
    void describesItself()
    {
        QFETCH(QString, backend);
        QFETCH(QString, name);
        QFETCH(quint32, ids);
        QFETCH(QString, functions);
        auto rig = rigFor(backend);
        FirmwareInfo info;
        const OperationResult read = readFirmwareInfo(rig->library(), 0, &info);
        QVERIFY2(read.ok(), qPrintable(operationResultText(read)));
        QCOMPARE(firmwareFieldText(info.info.FirmwareName, sizeof info.info.FirmwareName), name);
        QCOMPARE(info.info.SerialNumber[0], ids);
        QVERIFY2(QString::fromUtf8(info.functions).contains(functions), info.functions);
        QVERIFY(!rig->library().hasFirmwareUpgrade(0));

        QTemporaryFile image;
        QVERIFY(image.open());
        image.write(QByteArray(4096, 'x'));
        image.close();
        struct Steps : UpgradeProgress
        {
            void stepStarted(UpgradeStep step, int) override { last = step; }
            void blockWritten(int) override { wrote = true; }
            UpgradeStep last = UpgradeStep::FindingDevice;
            bool wrote = false;
        } steps;
        const OperationResult upgraded =
            upgradeFirmware(rig->library(), rig->clock(), 0, image.fileName(), steps);
        QCOMPARE(upgraded.status, OperationStatus::NoFirmwareUpgrade);
        QCOMPARE(steps.last, UpgradeStep::OpeningDevice);
        QVERIFY(!steps.wrote);
    }

    // A read keeps many transfers queued (a backend that waits for each answer before asking for
    // the next is bound by round trips, not by the wire), and the device really is driven that
    // way: the data arrives whole.
    void keepsThePipeFull_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<int>("atLeast");
        QTest::newRow("ch341a") << "ch341a" << 32;
        QTest::newRow("ch347") << "ch347" << 16;
        QTest::newRow("ft232h") << "ft232h" << 4;
    }
    void keepsThePipeFull()
    {
        QFETCH(QString, backend);
        QFETCH(int, atLeast);
        auto rig = rigFor(backend);
        const auto data = pattern(kMaxFlashTransfer, 11);
        std::copy(data.begin(), data.end(), rig->memory().begin() + 4096);
        QVERIFY(openChip(*rig, FlashOperation::Read).ok());
        rig->bus.maxQueued = 0;
        std::vector<std::uint8_t> buffer(data.size());
        OperationProgress progress;
        QVERIFY(readFlash(rig->library(), targetOf(*rig), 4096, buffer.data(), std::uint32_t(buffer.size()),
                          progress)
                    .ok());
        QVERIFY(buffer == data);
        QVERIFY2(rig->bus.maxQueued >= atLeast, qPrintable(QString::number(rig->bus.maxQueued)));
    }

    // A batch of frames reaches the programmer as one queue, not a round trip a frame: the CH341A
    // pulses chip select between frames, the CH347 has every frame's answers asked for at once,
    // the FTDI chips get one command stream.
    void batchesInOneQueue_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::newRow("ch341a") << "ch341a";
        QTest::newRow("ch347") << "ch347";
        QTest::newRow("ft232h") << "ft232h";
    }
    void batchesInOneQueue()
    {
        QFETCH(QString, backend);
        auto rig = rigFor(backend);
        QVERIFY(openChip(*rig, FlashOperation::Read).ok());
        rig->chipUnderTest->setStatusRegister(0, 0x1C);
        const std::uint8_t rdsr = 0x05;
        std::uint8_t status[8] = {};
        std::vector<SpiFrame> frames;
        for (std::uint8_t& answer : status)
            frames.push_back({&rdsr, 1, &answer, 1});
        auto* ch341a = dynamic_cast<Ch341aEmulator*>(rig->device);
        const long long pinPackets = ch341a ? ch341a->pinPackets : 0;
        const long long outTransfers = rig->bus.outTransfers;
        const long long framesBefore = rig->device->wire.frames();
        rig->bus.maxQueued = 0;
        QCOMPARE(rig->library().spiTransferFrames(0, rig->selector(), frames.data(), int(frames.size())),
                 int(AdapterOk));
        QVERIFY(std::all_of(std::begin(status), std::end(status), [](auto s) { return s == 0x1C; }));
        QCOMPARE(rig->device->wire.frames() - framesBefore, 8LL);
        if (ch341a)
            QCOMPARE(ch341a->pinPackets - pinPackets, 9LL); // low, seven pulses, high
        else if (backend == QLatin1String("ch347"))
            QCOMPARE(rig->bus.maxQueued, 8LL); // the answer of each
        else
            QCOMPARE(rig->bus.outTransfers - outTransfers, 1LL);
    }

    // The CH347 reads its configuration back: a clock it did not take fails the configuration.
    void ch347ConfigurationReadBack()
    {
        auto rig = rigFor(QStringLiteral("ch347"));
        static_cast<Ch347Emulator*>(rig->device)->reportedDivisor = 5;
        const OperationResult opened = openChip(*rig, FlashOperation::Read);
        QCOMPARE(opened.status, OperationStatus::ConfigureFailed);
        QCOMPARE(opened.adapterCode, int(AdapterErrorProtocol));
    }
};

QTEST_GUILESS_MAIN(TestUsbBackends)
#include "tst_usbbackends.moc"
