// Smart write through the core on the simulated adapter: the chip ends up holding the data in the
// range and exactly what it held outside it, with the erases and programs the data needs.
#include <QtTest>

#include "core/adapter/adapterresult.h"
#include "core/operations/sfdpoperations.h"
#include "core/operations/smartwrite.h"
#include "core/spinor/spinorengine.h"
#include "tests/support/simulatedtestadapter.h"
#include "tests/support/testchips.h"
#include "tests/support/virtualclock.h"

#include <QRandomGenerator>

#include <memory>

using namespace korvane;

namespace {

constexpr int kMiB = 1024 * 1024;

std::vector<std::uint8_t> randomBytes(std::size_t size, quint32 seed)
{
    std::vector<std::uint8_t> out(size);
    QRandomGenerator generator(seed);
    for (auto& b : out)
        b = static_cast<std::uint8_t>(generator.bounded(256));
    return out;
}

class Steps : public OperationProgress
{
public:
    void advanced(std::int64_t done) override { values << done; }
    QList<std::int64_t> values;
};

} // namespace

class TestSmartWrite : public QObject
{
    Q_OBJECT

private:
    VirtualClock clock;
    std::unique_ptr<SimulatedTestAdapter> adapter;
    SimulatedChip* chip = nullptr;
    FlashTarget target;
    std::vector<EraseSize> eraseSizes;

    bool attach(const char* model, int size, std::uint8_t addressBytes = 3)
    {
        adapter = std::make_unique<SimulatedTestAdapter>(clock);
        adapter->sim().setAdapterCount(1);
        chip = adapter->sim().attachChip(0, 0x00, createSimulatedChip(model, clock));
        if (!chip)
            return false;
        target = FlashTarget{};
        target.clockHz = 50000000;
        const std::vector<std::uint8_t> id = chip->jedecId();
        target.chip = makeTestChip("Test", "Chip", id, size, 4096, addressBytes);
        SfdpInfo info;
        std::uint8_t read[kIdBufferSize];
        if (!openFlash(*adapter, target, 0, read).ok())
            return false;
        const bool hasSfdp = readSfdp(*adapter, 0, 0x00, &info).ok();
        eraseSizes = smartWriteEraseSizes(target.chip, hasSfdp ? &info : nullptr);
        // Into 4-byte mode where the record says so, as the operation's opening steps do.
        if (!openFlash(*adapter, target, addressBytes, read).ok())
            return false;
        adapter->clearLog();
        return true;
    }

    // "20@001000 d8@010000": the erase instructions sent, in order.
    QString erases() const
    {
        QStringList out;
        for (const AdapterCall& call : adapter->calls()) {
            if (call.op != AdapterOp::SpiWriteBytes || call.sent.size() < 4)
                continue;
            std::uint32_t address = 0;
            for (std::size_t i = 1; i < call.sent.size(); ++i)
                address = address << 8 | call.sent[i];
            out << QStringLiteral("%1@%2")
                       .arg(call.sent[0], 2, 16, QLatin1Char('0'))
                       .arg(address, 6, 16, QLatin1Char('0'));
        }
        return out.join(' ');
    }

private slots:
    void cleanup() { adapter.reset(); }

    void eraseSizesChosen_data()
    {
        QTest::addColumn<bool>("sfdp");
        QTest::addColumn<int>("sectorSize");
        QTest::addColumn<int>("eraseOpcode");
        QTest::addColumn<QString>("sizes");
        QTest::newRow("from SFDP") << true << 4096 << 0x20 << "4096/20 32768/52 65536/d8";
        QTest::newRow("the record's 4 KiB") << false << 4096 << 0x20 << "4096/20";
        QTest::newRow("the record's 64 KiB") << false << 65536 << 0xD8 << "65536/d8";
        QTest::newRow("a sector size no power of two") << false << 3000 << 0x20 << "";
        QTest::newRow("no erase instruction") << false << 4096 << 0x00 << "";
        QTest::newRow("a size of 0") << false << 0 << 0x20 << "";
    }
    void eraseSizesChosen()
    {
        QFETCH(bool, sfdp);
        QFETCH(int, sectorSize);
        QFETCH(int, eraseOpcode);
        QFETCH(QString, sizes);
        CHIP_INFO record = makeTestChip("Test", "Chip", {0xEF, 0x40, 0x17}, 8 * kMiB, sectorSize);
        record.Config.EraseSector = static_cast<std::uint8_t>(eraseOpcode);
        SfdpInfo info;
        // Listed out of order, one size twice, one that is no power of two.
        info.eraseTypes[0] = SfdpEraseType{0x10000, 0xD8};
        info.eraseTypes[1] = SfdpEraseType{0x1000, 0x20};
        info.eraseTypes[2] = SfdpEraseType{0x8000, 0x52};
        info.eraseTypes[3] = SfdpEraseType{0x1000, 0x21};
        info.eraseTypeCount = 4;
        QStringList out;
        for (const EraseSize& size : smartWriteEraseSizes(record, sfdp ? &info : nullptr))
            out << QStringLiteral("%1/%2").arg(size.size).arg(size.opcode, 2, 16, QLatin1Char('0'));
        QCOMPARE(out.join(' '), sizes);
    }

    // Nothing outside [start, start + length) changes, the range holds the data, and the chip was
    // asked for just the erases and programs the data needs.
    void exactlyTheRangeChanges_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("chipFill"); // random, erased
        QTest::addColumn<QString>("data"); // random, same, cleared (bits only go to 0), oneSector, halfErased
        QTest::addColumn<QString>("erases");
        QTest::addColumn<int>("pages");
        QTest::addColumn<int>("unchanged"); // -1: not checked

        QTest::newRow("identical image: reads only") << "W25Q64" << 0 << 8 * kMiB << "random"
                                                     << "same"
                                                     << "" << 0 << 8 * kMiB;
        QTest::newRow("bits only cleared: programs, no erase") << "W25Q64" << 0x1234 << 0x5000 << "random"
                                                               << "cleared"
                                                               << "" << 81 << -1;
        QTest::newRow("mid-block start and end: 4, 32, 64 KiB as they fit")
            << "W25Q64" << 0x1800 << 0x21000 << "random"
            << "random"
            << "20@001000 20@002000 20@003000 20@004000 20@005000 20@006000 20@007000 52@008000 d8@010000 "
               "20@020000 20@021000 20@022000"
            << 544 << -1;
        QStringList sectors;
        for (int at = 0x1000; at < 0x23000; at += 0x1000)
            sectors << QStringLiteral("20@%1").arg(at, 6, 16, QLatin1Char('0'));
        QTest::newRow("without SFDP: the record's 4 KiB") << "W25Q64+nosfdp" << 0x1800 << 0x21000 << "random"
                                                          << "random" << sectors.join(' ') << 544 << -1;
        QTest::newRow("the chip's last bytes") << "W25Q64" << 0x7FF800 << 0x800 << "random"
                                               << "random"
                                               << "20@7ff000" << 16 << -1;
        QTest::newRow("one 4 KiB sector differs") << "W25Q64" << 0x10000 << 0x10000 << "random"
                                                  << "oneSector"
                                                  << "20@015000" << 16 << -1;
        QTest::newRow("erased chip: the pages that are not blank") << "W25Q64" << 0 << 0x2000 << "erased"
                                                                   << "halfErased"
                                                                   << "" << 16 << 0x1000;
        QTest::newRow("one byte that needs an erase") << "W25Q64" << 0x3456 << 1 << "random"
                                                      << "setBit"
                                                      << "20@003000" << 16 << 0;
        QTest::newRow("4-byte addresses above 16 MiB") << "W25Q256" << 0x1FF0800 << 0x1000 << "random"
                                                       << "random"
                                                       << "20@1ff0000 20@1ff1000" << 32 << -1;
    }
    void exactlyTheRangeChanges()
    {
        QFETCH(QString, model);
        QFETCH(int, start);
        QFETCH(int, length);
        QFETCH(QString, chipFill);
        QFETCH(QString, data);
        QFETCH(QString, erases);
        QFETCH(int, pages);
        QFETCH(int, unchanged);
        const bool big = model == QLatin1String("W25Q256");
        QVERIFY(attach(qPrintable(model), big ? 32 * kMiB : 8 * kMiB, big ? 4 : 3));
        auto& memory = chip->contents();
        if (chipFill == QLatin1String("random"))
            memory = randomBytes(memory.size(), 1);
        if (data == QLatin1String("setBit"))
            memory[std::size_t(start)] = 0x00;
        const std::vector<std::uint8_t> before = memory;
        std::vector<std::uint8_t> bytes(before.begin() + start, before.begin() + start + length);
        if (data == QLatin1String("random")) {
            bytes = randomBytes(std::size_t(length), 2);
        } else if (data == QLatin1String("cleared")) {
            const auto mask = randomBytes(std::size_t(length), 3);
            for (int i = 0; i < length; ++i)
                bytes[std::size_t(i)] &= mask[std::size_t(i)];
        } else if (data == QLatin1String("oneSector")) {
            const auto other = randomBytes(0x1000, 4);
            std::copy(other.begin(), other.end(), bytes.begin() + 0x5000);
        } else if (data == QLatin1String("halfErased")) {
            bytes = randomBytes(std::size_t(length), 5);
            std::replace(bytes.begin(), bytes.end(), std::uint8_t(0xFF), std::uint8_t(0x00));
            std::fill(bytes.begin() + length / 2, bytes.end(), 0xFF);
        } else if (data == QLatin1String("setBit")) {
            bytes[0] = 0xFF; // over 0x00: only an erase gets there
        }

        Steps steps;
        SmartWriteReport report;
        const OperationResult result = smartWrite(*adapter, target, clock, eraseSizes, std::uint32_t(start),
                                                  bytes.data(), std::uint32_t(length), steps, &report);
        QVERIFY2(result.ok(), qPrintable(operationResultText(result)));
        QVERIFY(std::equal(bytes.begin(), bytes.end(), memory.begin() + start));
        QVERIFY(std::equal(before.begin(), before.begin() + start, memory.begin()));
        QVERIFY(std::equal(before.begin() + start + length, before.end(), memory.begin() + start + length));

        QCOMPARE(this->erases(), erases);
        QCOMPARE(int(report.blocksErased), erases.isEmpty() ? 0 : int(erases.split(' ').size()));
        QCOMPARE(int(report.pagesProgrammed), pages);
        if (unchanged >= 0)
            QCOMPARE(int(report.bytesUnchanged), unchanged);
        // Nothing changed, nothing read back: the first read was the comparison.
        const bool changed = report.blocksErased + report.pagesProgrammed > 0;
        std::uint64_t from = 0, to = 0;
        QVERIFY(smartWriteExtent(eraseSizes, memory.size(), std::uint32_t(start), std::uint32_t(length),
                                 &from, &to));
        QCOMPARE(report.bytesRead, (changed ? 2 : 1) * (to - from));
        QCOMPARE(adapter->countOf(AdapterOp::FlashWrite) > 0, pages > 0);
        // Progress only goes forward, and ends at the end.
        QVERIFY(std::is_sorted(steps.values.begin(), steps.values.end()));
        QCOMPARE(steps.values.last(), kSmartWriteProgressTotal);
    }

    void refusals_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("noErase");
        QTest::addColumn<int>("status");
        QTest::newRow("nothing to write") << 0 << 0 << false << int(OperationStatus::NoData);
        QTest::newRow("past the chip") << 8 * kMiB - 10 << 11 << false << int(OperationStatus::BeyondChip);
        QTest::newRow("no erase size") << 0 << 16 << true << int(OperationStatus::NoEraseSize);
    }
    void refusals()
    {
        QFETCH(int, start);
        QFETCH(int, length);
        QFETCH(bool, noErase);
        QFETCH(int, status);
        QVERIFY(attach("W25Q64", 8 * kMiB));
        const std::vector<std::uint8_t> bytes(64, 0x00);
        Steps steps;
        SmartWriteReport report;
        const OperationResult result =
            smartWrite(*adapter, target, clock, noErase ? std::vector<EraseSize>{} : eraseSizes,
                       std::uint32_t(start), bytes.data(), std::uint32_t(length), steps, &report);
        QCOMPARE(int(result.status), status);
        QVERIFY(adapter->calls().empty());
    }

    // What goes wrong on the way: the chip stays as the failure left it, and the result says where.
    void failures_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("address");
        QTest::newRow("the first read") << "read" << int(OperationStatus::TransferFailed) << 0x10000;
        QTest::newRow("an erase instruction") << "erase" << int(OperationStatus::TransferFailed) << 0x11000;
        QTest::newRow("an erase that never ends") << "slow" << int(OperationStatus::Timeout) << 0x10000;
        QTest::newRow("a program") << "program" << int(OperationStatus::TransferFailed) << 0x10000;
        QTest::newRow("the read-back") << "verify" << int(OperationStatus::TransferFailed) << 0x10000;
        QTest::newRow("a protected block: the chip drops its erase")
            << "protected" << int(OperationStatus::VerifyMismatch) << -1;
    }
    void failures()
    {
        QFETCH(QString, failure);
        QFETCH(int, status);
        QFETCH(int, address);
        QVERIFY(attach("W25Q64", 8 * kMiB));
        auto& memory = chip->contents();
        memory = randomBytes(memory.size(), 6);
        const std::vector<std::uint8_t> before = memory;
        const std::vector<std::uint8_t> bytes = randomBytes(0x2000, 7);
        const std::uint32_t start = 0x10000;
        if (failure == QLatin1String("read"))
            adapter->failCall(AdapterOp::FlashRead, 1);
        else if (failure == QLatin1String("erase"))
            adapter->failCall(AdapterOp::SpiWriteBytes, 4); // the second block's instruction
        else if (failure == QLatin1String("slow"))
            chip->setTiming({50'000, 100'000'000'000, 0, 0});
        else if (failure == QLatin1String("program"))
            adapter->failCall(AdapterOp::FlashWrite, 1);
        else if (failure == QLatin1String("verify"))
            adapter->failCall(AdapterOp::FlashRead, 2);
        else if (failure == QLatin1String("protected"))
            chip->setStatusRegister(1, 0x40); // CMP: everything
        Steps steps;
        SmartWriteReport report;
        const int sleepsBefore = clock.sleepCount;
        const OperationResult result = smartWrite(*adapter, target, clock, eraseSizes, start, bytes.data(),
                                                  std::uint32_t(bytes.size()), steps, &report);
        QCOMPARE(int(result.status), status);
        if (address >= 0)
            QCOMPARE(int(result.address), address);
        // Whatever happened, nothing outside the extent was touched.
        QVERIFY(std::equal(before.begin(), before.begin() + start, memory.begin()));
        QVERIFY(std::equal(before.begin() + start + bytes.size(), before.end(),
                           memory.begin() + start + bytes.size()));
        if (failure == QLatin1String("protected")) {
            QVERIFY(memory == before);
            QCOMPARE(chip->refusedCount(), 2 + int(report.pagesProgrammed));
        }
        if (failure == QLatin1String("slow"))
            QCOMPARE(clock.sleepCount - sleepsBefore, int(SpiNorEngine::PollLimits{}.eraseTimeoutNs / 1000000));
        // What may now be erased or half written is said, and is one erase block at most.
        if (failure == QLatin1String("erase") || failure == QLatin1String("program")) {
            QCOMPARE(report.damagedFrom, std::uint64_t(address));
            QCOMPARE(report.damagedTo - report.damagedFrom, std::uint64_t(0x1000));
        }
        if (failure == QLatin1String("read"))
            QVERIFY(!report.damaged());
    }

    // Each block is programmed before the next is erased: a failure half way leaves the blocks
    // after it as they were, and the ones before it done.
    void blockByBlock()
    {
        QVERIFY(attach("W25Q64", 8 * kMiB));
        auto& memory = chip->contents();
        std::fill(memory.begin(), memory.end(), 0x00);
        const std::vector<std::uint8_t> bytes = randomBytes(0x3000, 8);
        adapter->failCall(AdapterOp::FlashWrite, 2);
        Steps steps;
        SmartWriteReport report;
        const OperationResult result =
            smartWrite(*adapter, target, clock, eraseSizes, 0x1000, bytes.data(), 0x3000, steps, &report);
        QCOMPARE(result.status, OperationStatus::TransferFailed);
        QVERIFY(std::equal(bytes.begin(), bytes.begin() + 0x1000, memory.begin() + 0x1000));
        QCOMPARE(report.damagedFrom, std::uint64_t(0x2000));
        QCOMPARE(report.damagedTo, std::uint64_t(0x3000));
        QVERIFY(std::all_of(memory.begin() + 0x3000, memory.begin() + 0x4000, [](auto b) { return b == 0; }));
    }

    // A record file's gaps keep what the chip holds, even inside a block that is erased.
    void segmentsKeepTheGaps()
    {
        QVERIFY(attach("W25Q64", 8 * kMiB));
        auto& memory = chip->contents();
        memory = randomBytes(memory.size(), 9);
        const std::vector<std::uint8_t> before = memory;
        const std::vector<std::uint8_t> a(16, 0xFF), b(16, 0xFE);
        Steps steps;
        SmartWriteReport report;
        const OperationResult result = smartWrite(*adapter, target, clock, eraseSizes,
                                                  {WriteSegment{0x1000, a.data(), 16}, WriteSegment{0x1F00, b.data(), 16}},
                                                  steps, &report);
        QVERIFY2(result.ok(), qPrintable(operationResultText(result)));
        QCOMPARE(report.blocksErased, 1u);
        QVERIFY(std::equal(a.begin(), a.end(), memory.begin() + 0x1000));
        QVERIFY(std::equal(b.begin(), b.end(), memory.begin() + 0x1F00));
        QVERIFY(std::equal(before.begin() + 0x1010, before.begin() + 0x1F00, memory.begin() + 0x1010));
        QVERIFY(std::equal(before.begin() + 0x1F10, before.begin() + 0x2000, memory.begin() + 0x1F10));
    }

    // An adapter whose largest transfer cannot carry a page program is refused before any erase.
    void transferTooSmallForTheInstructions()
    {
        QVERIFY(attach("W25Q64", 8 * kMiB));
        SpiTransferLimits small;
        small.maxSend = 4; // an erase fits, a page program with one byte does not
        adapter->claimTransferLimits(small);
        const std::vector<std::uint8_t> bytes(64, 0x00);
        Steps steps;
        SmartWriteReport report;
        const OperationResult result =
            smartWrite(*adapter, target, clock, eraseSizes, 0, bytes.data(), 64, steps, &report);
        QCOMPARE(result.status, OperationStatus::TransferFailed);
        QCOMPARE(result.adapterCode, int(AdapterErrorFrameLimit));
        QVERIFY(adapter->calls().empty());
    }
};

QTEST_GUILESS_MAIN(TestSmartWrite)
#include "tst_smartwrite.moc"
