// The SPI NOR engine's write loop over a transport whose frames take time, with a simulated chip
// behind it: no page is lost whatever the chip's program time, the status reads queued behind a
// program are as many as the transport's pace asks, and a chip that does not take write enable
// stops the write.
#include "backends/simulated/simulatedchip.h"
#include "core/adapter/adapterresult.h"
#include "core/spinor/spinor.h"
#include "core/spinor/spinorengine.h"
#include "tests/support/virtualclock.h"

#include <QTest>

using namespace korvane;

namespace {

// Every frame takes frameNs before the chip sees it, and says so as the pace of status reads.
// A write enable or page program that reaches a busy chip is counted: the chip would drop it.
class TimedTransport : public SpiTransport
{
public:
    TimedTransport(VirtualClock& clock, SimulatedChip* chip, std::int64_t frameNs)
        : clock(clock), chip(chip), frameNs(frameNs)
    {
    }
    int transfer(const std::uint8_t* send, int sendCount, std::uint8_t* receive, int receiveCount) override
    {
        clock.advanceNanoseconds(frameNs);
        ++frames;
        if (chip == nullptr) {
            std::fill(receive, receive + receiveCount, 0x00); // a data line held low
            return AdapterOk;
        }
        if (sendCount > 0 && (send[0] == SpiNor::WriteEnable || send[0] == SpiNor::PageProgram) && chip->isBusy())
            ++sentWhileBusy;
        chip->transfer(send, sendCount, receive, receiveCount);
        return AdapterOk;
    }
    SpiTransferLimits limits() const override
    {
        SpiTransferLimits limits;
        limits.statusReadNs = frameNs;
        return limits;
    }

    VirtualClock& clock;
    SimulatedChip* chip;
    std::int64_t frameNs;
    int frames = 0;
    int sentWhileBusy = 0;
};

std::vector<std::uint8_t> pattern(std::size_t size)
{
    std::vector<std::uint8_t> data(size);
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<std::uint8_t>(i * 13 + (i >> 8));
    return data;
}

const SPIFlashConfig kConfig = standardSpiNorConfig(0xEF4017, 8 << 20, 4096);

} // namespace

class TestSpiNorEngine : public QObject
{
    Q_OBJECT

private slots:
    void queuedStatusReads_data()
    {
        QTest::addColumn<qint64>("paceNs");
        QTest::addColumn<qint64>("programNs");
        QTest::addColumn<int>("reads");
        QTest::newRow("pace unknown") << qint64(0) << qint64(700000) << 1;
        QTest::newRow("CH341A: two full-speed packets") << qint64(105263) << qint64(700000) << 8;
        QTest::newRow("exactly the program time") << qint64(100000) << qint64(700000) << 8;
        QTest::newRow("spidev: 10 us apart") << qint64(10640) << qint64(700000) << 67;
        QTest::newRow("more than it may queue: polls instead") << qint64(1000) << qint64(700000) << 1;
        QTest::newRow("slower than the program") << qint64(1000000) << qint64(700000) << 2;
    }
    void queuedStatusReads()
    {
        QFETCH(qint64, paceNs);
        QFETCH(qint64, programNs);
        QFETCH(int, reads);
        SpiTransferLimits limits;
        limits.statusReadNs = paceNs;
        QCOMPARE(SpiNorEngine::queuedStatusReads(limits, programNs), reads);
    }

    // 80 pages, whatever the chip takes against what the engine expects (0.7 ms): every page
    // written, no write enable or program sent to a busy chip. A chip as fast as expected is found
    // done by the reads queued behind each program, without a further poll.
    void pagesAreNeverLost_data()
    {
        QTest::addColumn<qint64>("programNs");
        QTest::addColumn<qint64>("frameNs");
        QTest::addColumn<int>("frames"); // expected in all, or -1: any
        QTest::newRow("typical") << qint64(700000) << qint64(100000) << 1 + 80 * 11;
        QTest::newRow("the data sheet's worst: 3 ms") << qint64(3000000) << qint64(100000) << -1;
        QTest::newRow("fast: 50 us") << qint64(50000) << qint64(100000) << -1;
        QTest::newRow("reads too quick to queue") << qint64(700000) << qint64(1000) << -1;
    }
    void pagesAreNeverLost()
    {
        QFETCH(qint64, programNs);
        QFETCH(qint64, frameNs);
        QFETCH(int, frames);
        VirtualClock clock;
        SimulatedChip chip(clock, {0xEF, 0x40, 0x17}, 8 << 20);
        SimulatedChip::Timing timing;
        timing.pageProgramNs = programNs;
        chip.setTiming(timing);
        chip.contents();
        TimedTransport transport(clock, &chip, frameNs);
        SpiNorEngine engine(clock);
        const auto data = pattern(20480);
        QCOMPARE(engine.write(transport, kConfig, 0x100, data.data(), 20480), int(AdapterOk));
        QVERIFY(std::equal(data.begin(), data.end(), chip.contents().begin() + 0x100));
        QCOMPARE(chip.programCount(), 80);
        QCOMPARE(transport.sentWhileBusy, 0);
        if (frames >= 0)
            QCOMPARE(transport.frames, frames);
    }

    // No chip answering (the data line reads low): the status after write enable shows no latch, and
    // the write stops with that, after its first page's batch.
    void writeEnableNotTaken()
    {
        VirtualClock clock;
        TimedTransport transport(clock, nullptr, 1000);
        SpiNorEngine engine(clock);
        const auto data = pattern(1024);
        QCOMPARE(engine.write(transport, kConfig, 0, data.data(), 1024), int(AdapterErrorWriteEnable));
        QCOMPARE(engine.failedAddress(), std::uint64_t(0));
        QCOMPARE(transport.frames, 1 + 4); // the status check, then write enable, its check, program, status
    }
};

QTEST_GUILESS_MAIN(TestSpiNorEngine)
#include "tst_spinorengine.moc"
