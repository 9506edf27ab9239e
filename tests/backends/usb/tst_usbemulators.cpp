// The emulators are strict: what a real programmer would not take (or would take and then do the
// wrong thing with) is recorded as a violation and fails the transfer. Each row is what a faulty
// host sends, raw; the clean rows show a correct sequence passes untouched.
#include "backends/simulated/simulatedchip.h"
#include "core/adapter/adapterresult.h"
#include "tests/backends/ch341a/ch341aemulator.h"
#include "tests/backends/ch347/ch347emulator.h"
#include "tests/backends/ftdi/ftdiemulator.h"
#include "tests/support/virtualclock.h"

#include <QTest>

using namespace korvane;

namespace {

// A step: 'O' and the bytes of a bulk OUT transfer; 'I' and the length of a bulk IN transfer as
// one byte; 'C' and a vendor control request (request, value low, value high, index).
using Steps = QList<QByteArray>;

QByteArray out(std::initializer_list<int> bytes)
{
    QByteArray step(1, 'O');
    for (int b : bytes)
        step.append(char(b));
    return step;
}

QByteArray in(int length)
{
    return QByteArray(1, 'I') + char(length);
}

QByteArray control(int request, int value, int index = 1)
{
    return QByteArray(1, 'C') + char(request) + char(value & 0xFF) + char(value >> 8) + char(index);
}

std::uint8_t reversed(std::uint8_t b)
{
    std::uint8_t r = 0;
    for (int i = 0; i < 8; ++i)
        if (b & (1 << i))
            r |= std::uint8_t(0x80 >> i);
    return r;
}

// CH341A: stream speed, pins driven with CS0 low.
const QByteArray kSpeed = out({0xAA, 0x61, 0x00});
const QByteArray kCs0Low = out({0xAB, 0x80 | 0x36, 0x40 | 0x3F, 0x20});
const QByteArray kCsHigh = out({0xAB, 0x80 | 0x37, 0x20});

QByteArray ch347Config()
{
    QByteArray step = out({0xC0, 26, 0});
    step.append(QByteArray(26, 0));
    step[1 + 3 + 2] = 4;
    step[1 + 3 + 3] = 1;
    return step;
}

} // namespace

class TestUsbEmulators : public QObject
{
    Q_OBJECT

private slots:
    void strict_data()
    {
        QTest::addColumn<QString>("emulator");
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<QString>("violation"); // empty: none expected

        const QByteArray rdid = out({0xA8, reversed(0x9F), 0xFF, 0xFF, 0xFF});
        QTest::newRow("ch341a clean") << "ch341a" << Steps{kSpeed, kCs0Low, rdid, in(32), kCsHigh} << "";
        QTest::newRow("ch341a clocked with no chip select")
            << "ch341a" << Steps{kSpeed, out({0xAB, 0x80 | 0x37, 0x40 | 0x3F, 0x20}), rdid}
            << "no chip select";
        QTest::newRow("ch341a bits not reversed")
            << "ch341a" << Steps{kSpeed, kCs0Low, out({0xA8, 0x9F, 0xFF})} << "bit order";
        QTest::newRow("ch341a SPI before the stream speed")
            << "ch341a" << Steps{kCs0Low, rdid} << "stream speed";
        QTest::newRow("ch341a pins never made outputs")
            << "ch341a" << Steps{kSpeed, out({0xAB, 0x80 | 0x36, 0x20}), rdid} << "no chip select";
        // A pin stream's sub-commands act one by one, as on the chip.
        QTest::newRow("ch341a chip-select pulse in one pin stream")
            << "ch341a"
            << Steps{kSpeed, kCs0Low, out({0xA8, reversed(0x06)}), out({0xAB, 0x80 | 0x37, 0x80 | 0x36, 0x20}),
                     rdid, in(32), in(32), kCsHigh}
            << "";
        QTest::newRow("ch341a two chip selects low on the way")
            << "ch341a" << Steps{kSpeed, kCsHigh, out({0xAB, 0x40 | 0x3F, 0x80 | 0x34, 0x80 | 0x37, 0x20})}
            << "several chip selects";
        QTest::newRow("ch341a pin stream without its end")
            << "ch341a" << Steps{out({0xAB, 0x80 | 0x36, 0x40 | 0x3F})} << "without its end";
        QTest::newRow("ch341a padding not zero")
            << "ch341a" << Steps{out({0xAB, 0x80 | 0x36, 0x20, 0x55})} << "padded";
        QTest::newRow("ch341a SPI packet without data")
            << "ch341a" << Steps{kSpeed, kCs0Low, out({0xA8})} << "without data";
        QTest::newRow("ch341a unknown packet") << "ch341a" << Steps{out({0x55, 0x00})} << "unknown command";
        QTest::newRow("ch341a two chip selects")
            << "ch341a" << Steps{out({0xAB, 0x80 | 0x34, 0x40 | 0x3F, 0x20})} << "several chip selects";
        QTest::newRow("ch341a answer into a short buffer")
            << "ch341a" << Steps{kSpeed, kCs0Low, rdid, in(2)} << "asked for into";
        QTest::newRow("ch341a answer nobody asked for")
            << "ch341a" << Steps{kSpeed, in(32)} << "nothing will answer";

        QByteArray c4 = out({0xC4, 1, 0, 0x9F});
        QTest::newRow("ch347 clean") << "ch347"
                                     << Steps{ch347Config(),
                                              in(64),
                                              out({0xC1, 10, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
                                              c4,
                                              in(64),
                                              out({0xC3, 4, 0, 3, 0, 0, 0}),
                                              in(64),
                                              out({0xC1, 10, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0, 0, 0})}
                                     << "";
        QTest::newRow("ch347 length field says more")
            << "ch347" << Steps{out({0xC4, 5, 0, 0x9F, 0, 0})} << "says 5";
        QTest::newRow("ch347 length field says less")
            << "ch347" << Steps{out({0xC4, 1, 0, 0x9F, 0})} << "says 1";
        QTest::newRow("ch347 write before configuring")
            << "ch347" << Steps{out({0xC1, 10, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0}), c4}
            << "before the interface";
        QTest::newRow("ch347 clocked with no chip select")
            << "ch347" << Steps{ch347Config(), in(64), c4} << "no chip select";
        QTest::newRow("ch347 both chip selects")
            << "ch347" << Steps{out({0xC1, 10, 0, 0x80, 0, 0, 0, 0, 0x80, 0, 0, 0, 0})} << "still low";
        QByteArray activeHigh = ch347Config();
        activeHigh[1 + 3 + 21] = char(0x40);
        QTest::newRow("ch347 active-high chip select") << "ch347" << Steps{activeHigh} << "active high";
        QByteArray tooLong = out({0xC4, 0xFC, 0x01});
        tooLong.append(QByteArray(508, char(0xFF)));
        QTest::newRow("ch347 508 data bytes")
            << "ch347" << Steps{ch347Config(), in(64), tooLong} << "508 data";
        QTest::newRow("ch347 unknown command") << "ch347" << Steps{out({0xC9, 0, 0})} << "unknown command";

        const QByteArray mpsse = control(0x0B, 0x02FB);
        const QByteArray setup = out({0x8A, 0x97, 0x8D, 0x85, 0x86, 0, 0, 0x80, 0xF8, 0xFB});
        QTest::newRow("ftdi clean") << "ftdi"
                                    << Steps{mpsse, setup,
                                             out({0x80, 0xF0, 0xFB, 0x11, 0, 0, 0x9F, 0x20, 2, 0, 0x80, 0xF8,
                                                  0xFB, 0x87}),
                                             in(64)}
                                    << "";
        QTest::newRow("ftdi command straddling transfers")
            << "ftdi"
            << Steps{mpsse, setup, out({0x80, 0xF0, 0xFB, 0x11, 0}), out({0, 0x9F, 0x80, 0xF8, 0xFB})} << "";
        QTest::newRow("ftdi data before MPSSE mode") << "ftdi" << Steps{setup} << "MPSSE mode";
        QTest::newRow("ftdi prescaler left on")
            << "ftdi" << Steps{mpsse, out({0x80, 0xF0, 0xFB, 0x11, 0, 0, 0x9F})} << "prescaler";
        QTest::newRow("ftdi MISO driven") << "ftdi" << Steps{mpsse, out({0x80, 0xF8, 0xFF})} << "MISO";
        QTest::newRow("ftdi SCK idling high")
            << "ftdi" << Steps{mpsse, setup, out({0x80, 0xF1, 0xFB})} << "SCK idles high";
        QTest::newRow("ftdi clocked with no chip select")
            << "ftdi" << Steps{mpsse, setup, out({0x11, 0, 0, 0x9F})} << "no chip select";
        QTest::newRow("ftdi two chip selects")
            << "ftdi" << Steps{mpsse, setup, out({0x80, 0xE0, 0xFB})} << "several chip selects";
        QTest::newRow("ftdi unknown command") << "ftdi" << Steps{mpsse, out({0xAA})} << "not emulated";
        QTest::newRow("ftdi request to channel B")
            << "ftdi" << Steps{control(0x0B, 0x02FB, 2)} << "to index 2";
    }
    void strict()
    {
        QFETCH(QString, emulator);
        QFETCH(Steps, steps);
        QFETCH(QString, violation);
        VirtualClock clock;
        SimulatedChip chip(clock, {0xEF, 0x40, 0x15}, 2 << 20);
        std::unique_ptr<EmulatedUsbDevice> device;
        if (emulator == QLatin1String("ch341a"))
            device = std::make_unique<Ch341aEmulator>();
        else if (emulator == QLatin1String("ch347"))
            device = std::make_unique<Ch347Emulator>();
        else
            device = std::make_unique<FtdiEmulator>();
        device->wire.attach(0, &chip);
        EmulatedUsbBus bus;
        EmulatedUsbDevice* emulated = bus.add(std::move(device));
        int opened = AdapterErrorTransport;
        auto handle = bus.open(emulated->description, &opened);
        QVERIFY(handle);
        QCOMPARE(handle->claimInterface(emulated->interfaceNumber()), int(AdapterOk));
        bool failed = false;
        for (QByteArray step : steps) {
            const char kind = step.at(0);
            step.remove(0, 1);
            int moved = 0;
            int result = AdapterOk;
            if (kind == 'O') {
                result = handle->bulkTransfer(emulator == QLatin1String("ch347") ? 0x06 : 0x02,
                                              reinterpret_cast<std::uint8_t*>(step.data()), step.size(),
                                              &moved, 100);
            } else if (kind == 'I') {
                std::uint8_t buffer[256];
                result = handle->bulkTransfer(emulator == QLatin1String("ch341a")  ? 0x82
                                              : emulator == QLatin1String("ch347") ? 0x86
                                                                                   : 0x81,
                                              buffer, std::uint8_t(step.at(0)), &moved, 100);
            } else {
                const int value = std::uint8_t(step.at(1)) | std::uint8_t(step.at(2)) << 8;
                result = handle->controlTransfer(0x40, std::uint8_t(step.at(0)), std::uint16_t(value),
                                                 std::uint8_t(step.at(3)), nullptr, 0, 100);
                result = result < 0 ? result : AdapterOk;
            }
            failed = failed || result != AdapterOk;
        }
        const QString seen = QString::fromStdString(emulated->violationText());
        if (violation.isEmpty()) {
            QVERIFY2(seen.isEmpty(), qPrintable(seen));
            QVERIFY(!failed);
        } else {
            QVERIFY2(seen.contains(violation), qPrintable(seen));
            QVERIFY2(failed, "a violation went through as a successful transfer");
        }
    }
};

QTEST_GUILESS_MAIN(TestUsbEmulators)
#include "tst_usbemulators.moc"
