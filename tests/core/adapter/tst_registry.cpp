// The adapter list the front ends index: several backends behind one adapter library.
#include "backends/simulated/simulatedadapter.h"
#include "backends/testing/recordingadapter.h"
#include "core/adapter/adapterregistry.h"
#include "core/adapter/adapterresult.h"
#include "tests/support/virtualclock.h"

#include <QTemporaryDir>
#include <QTest>

using namespace korvane;

class TestRegistry : public QObject
{
    Q_OBJECT

private slots:
    void indicesRunAcrossBackendsInOrder()
    {
        VirtualClock clock;
        auto first = std::make_unique<SimulatedAdapter>(clock);
        auto second = std::make_unique<SimulatedAdapter>(clock);
        SimulatedAdapter& a = *first;
        SimulatedAdapter& b = *second;
        a.setAdapterCount(2);
        b.setAdapterCount(1);
        a.attachChip(1, 0x00, createSimulatedChip("W25Q64", clock));
        b.attachChip(0, 0x00, createSimulatedChip("GD25Q16", clock));
        AdapterRegistry registry;
        // The recorders let the test see which backend and handle each call reached.
        registry.add(std::make_unique<RecordingAdapter>(a));
        registry.add(std::make_unique<RecordingAdapter>(b));
        auto& logA = static_cast<RecordingAdapter&>(registry.backend(0));
        auto& logB = static_cast<RecordingAdapter&>(registry.backend(1));

        int indices[8] = {};
        QCOMPARE(registry.scanDevices(indices), 3);
        QCOMPARE(indices[2], 2);
        const std::vector<AdapterEntry> list = registry.adapters();
        QCOMPARE(int(list.size()), 3);
        QCOMPARE(list[2].index, 2);
        QCOMPARE(list[1].identity.backend, std::string("sim"));
        QCOMPARE(list[1].identity.location, std::string("simulated adapter 1"));
        QCOMPARE(list[2].identity.location, std::string("simulated adapter 0"));

        // Index 2 is the second backend's handle 0; index 1 the first's handle 1.
        QVERIFY(registry.openDevice(2));
        QCOMPARE(logB.callsOf(AdapterOp::OpenDevice).back().device, 0);
        QVERIFY(registry.openDevice(1));
        QCOMPARE(logA.callsOf(AdapterOp::OpenDevice).back().device, 1);
        SPIFlashConfig config{};
        config.ReadID = 0x9F;
        config.IDLength = 3;
        config.ReadStatus = 0x05;
        std::uint8_t id[16] = {};
        QCOMPARE(registry.flashInit(2, 0x00, 390625, &config), 0);
        QCOMPARE(registry.flashReadId(2, 0x00, id), 0);
        QCOMPARE(id[0], std::uint8_t(0xC8));
        QCOMPARE(registry.flashInit(1, 0x00, 390625, &config), 0);
        QCOMPARE(registry.flashReadId(1, 0x00, id), 0);
        QCOMPARE(id[0], std::uint8_t(0xEF));

        // The file check goes to the backend of the adapter addressed last.
        registry.checkFirmwareFile("/nonexistent");
        QCOMPARE(logA.countOf(AdapterOp::CheckFirmwareFile), 1);
        QCOMPARE(logB.countOf(AdapterOp::CheckFirmwareFile), 0);

        // Past the list nothing is reached and nothing pretends to work.
        QVERIFY(!registry.openDevice(3));
        QVERIFY(!registry.openDevice(-1));
        QCOMPARE(registry.flashReadId(3, 0x00, id), int(AdapterErrorNoDevice));
        QVERIFY(registry.identity(3).backend.empty());

        // An adapter that goes away shifts the ones behind it at the next scan.
        a.setConnected(0, false);
        QCOMPARE(registry.scanDevices(nullptr), 2);
        QVERIFY(registry.openDevice(1));
        QCOMPARE(logB.callsOf(AdapterOp::OpenDevice).back().device, 0);
    }

    void emptyRegistryFindsNothing()
    {
        AdapterRegistry registry;
        QCOMPARE(registry.scanDevices(nullptr), 0);
        QVERIFY(registry.adapters().empty());
        QVERIFY(!registry.openDevice(0));
        QVERIFY(!registry.checkFirmwareFile("/nonexistent"));
        QVERIFY(!registry.hasFirmwareUpgrade(0));
    }
};

QTEST_GUILESS_MAIN(TestRegistry)
#include "tst_registry.moc"
