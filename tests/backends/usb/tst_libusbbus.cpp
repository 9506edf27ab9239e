// The thin layer over libusb: its errors as the backends' result codes, the port order adapters
// are listed in, and the system bus behaving on a machine that may have no USB at all.
#include "backends/usb/libusbbus.h"
#include "core/adapter/adapterresult.h"

#include <QTest>

#include <libusb.h>

using namespace korvane;

class TestLibusbBus : public QObject
{
    Q_OBJECT

private slots:
    void errors_data()
    {
        QTest::addColumn<int>("libusbError");
        QTest::addColumn<int>("expected");
        QTest::newRow("success") << int(LIBUSB_SUCCESS) << int(AdapterOk);
        QTest::newRow("no permission") << int(LIBUSB_ERROR_ACCESS) << int(AdapterErrorAccess);
        QTest::newRow("unplugged") << int(LIBUSB_ERROR_NO_DEVICE) << int(AdapterErrorNoDevice);
        QTest::newRow("timed out") << int(LIBUSB_ERROR_TIMEOUT) << int(AdapterErrorTimedOut);
        QTest::newRow("stalled") << int(LIBUSB_ERROR_PIPE) << int(AdapterErrorTransport);
        QTest::newRow("interface held elsewhere") << int(LIBUSB_ERROR_BUSY) << int(AdapterErrorTransport);
        QTest::newRow("overflow") << int(LIBUSB_ERROR_OVERFLOW) << int(AdapterErrorTransport);
        QTest::newRow("not supported") << int(LIBUSB_ERROR_NOT_SUPPORTED) << int(AdapterErrorUnsupported);
    }
    void errors()
    {
        QFETCH(int, libusbError);
        QFETCH(int, expected);
        QCOMPARE(adapterResultOfLibusb(libusbError), expected);
    }

    void portOrder_data()
    {
        QTest::addColumn<int>("busA");
        QTest::addColumn<QList<int>>("portsA");
        QTest::addColumn<int>("busB");
        QTest::addColumn<QList<int>>("portsB");
        QTest::addColumn<QString>("textA");
        QTest::newRow("bus first") << 1 << QList<int>{9} << 2 << QList<int>{1} << "1-9";
        QTest::newRow("then port") << 1 << QList<int>{2} << 1 << QList<int>{3} << "1-2";
        QTest::newRow("hub port before a later root port")
            << 1 << QList<int>{1, 4} << 1 << QList<int>{2} << "1-1.4";
        QTest::newRow("hub before its ports") << 3 << QList<int>{1} << 3 << QList<int>{1, 1} << "3-1";
    }
    void portOrder()
    {
        QFETCH(int, busA);
        QFETCH(QList<int>, portsA);
        QFETCH(int, busB);
        QFETCH(QList<int>, portsB);
        QFETCH(QString, textA);
        UsbDeviceDescription a;
        a.bus = busA;
        a.portPath.assign(portsA.begin(), portsA.end());
        UsbDeviceDescription b;
        b.bus = busB;
        b.portPath.assign(portsB.begin(), portsB.end());
        QVERIFY(usbPortLess(a, b));
        QVERIFY(!usbPortLess(b, a));
        QVERIFY(!sameUsbPort(a, b));
        QCOMPARE(QString::fromStdString(usbLocationText(a)), textA);
    }

    // Whatever this machine has: listing works, and a device that is not there does not open.
    void systemBus()
    {
        LibusbBus bus;
        for (const UsbDeviceDescription& device : bus.devices())
            QVERIFY(device.bus > 0);
        UsbDeviceDescription nowhere;
        nowhere.vendorId = 0x1a86;
        nowhere.productId = 0x5512;
        nowhere.bus = 250;
        nowhere.portPath = {7, 7, 7};
        int result = AdapterOk;
        QVERIFY(!bus.open(nowhere, &result));
        QCOMPARE(result, int(AdapterErrorNoDevice));
    }
};

QTEST_GUILESS_MAIN(TestLibusbBus)
#include "tst_libusbbus.moc"
