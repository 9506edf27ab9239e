// Status registers, protection, SFDP and the checking reads, through the core on the simulated
// adapter behind the recorder: what goes over the wire, and what comes of it.
#include <QtTest>

#include "core/adapter/adapterresult.h"
#include "core/operations/readchecks.h"
#include "core/operations/sfdpoperations.h"
#include "core/operations/statusoperations.h"
#include "core/spinor/spinorengine.h"
#include "core/spinor/spinorengine.h"
#include "tests/support/simulatedtestadapter.h"
#include "tests/support/testchips.h"
#include "tests/support/virtualclock.h"

#include <memory>

using namespace korvane;

namespace {

constexpr int kMiB = 1024 * 1024;

// The recorder that also corrupts one byte of the nth flashRead, as a loose wire does.
class FlakyAdapter : public SimulatedTestAdapter
{
public:
    using SimulatedTestAdapter::SimulatedTestAdapter;
    int flashRead(int h, int s, std::uint32_t a, std::uint8_t* b, std::uint32_t n) override
    {
        const int result = SimulatedTestAdapter::flashRead(h, s, a, b, n);
        if (++reads == flakyRead && result == 0 && flakyAddress >= a && flakyAddress < a + n)
            b[flakyAddress - a] ^= 0x10;
        return result;
    }
    int reads = 0;
    int flakyRead = -1;
    std::uint32_t flakyAddress = 0;
};

// Records everything progress is told.
class Steps : public OperationProgress
{
public:
    void advanced(std::int64_t done) override { values << done; }
    QList<std::int64_t> values;
};

QString hexBytes(const std::vector<std::uint8_t>& bytes)
{
    QStringList out;
    for (std::uint8_t b : bytes)
        out << QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0'));
    return out.join(' ');
}

QByteArray idBytes(const char* hex)
{
    return QByteArray::fromHex(hex);
}

} // namespace

class TestChipSafety : public QObject
{
    Q_OBJECT

private:
    VirtualClock clock;
    std::unique_ptr<FlakyAdapter> adapter;
    SimulatedChip* chip = nullptr;
    FlashTarget target;

    // One chip at SPI1-CS0, opened with a record of the given ID and size.
    bool attach(const QString& model, const QByteArray& recordId, int size, std::uint8_t addressBytes = 3)
    {
        adapter = std::make_unique<FlakyAdapter>(std::make_unique<SimulatedAdapter>(clock));
        adapter->sim().setAdapterCount(1);
        std::unique_ptr<SimulatedChip> made =
            model.startsWith(QLatin1String("id:"))
                ? std::make_unique<SimulatedChip>(
                      clock, std::vector<std::uint8_t>(recordId.begin(), recordId.end()), std::uint32_t(size))
                : createSimulatedChip(model.toStdString(), clock);
        if (!made)
            return false;
        chip = adapter->sim().attachChip(0, 0x00, std::move(made));
        chip->setTiming({0, 0, 0, 0}); // a status write is over by the first poll
        target = FlashTarget{};
        target.clockHz = 12500000;
        target.chip =
            makeTestChip("Test", "Chip", std::vector<std::uint8_t>(recordId.begin(), recordId.end()), size,
                         4096, addressBytes);
        std::uint8_t id[kIdBufferSize];
        const bool opened = openFlash(*adapter, target, addressBytes, id).ok();
        adapter->clearLog();
        return opened;
    }

    void setStatus(const QString& values)
    {
        const QStringList bytes = values.split(' ', Qt::SkipEmptyParts);
        for (int i = 0; i < bytes.size(); ++i)
            chip->setStatusRegister(i, static_cast<std::uint8_t>(bytes[i].toUInt(nullptr, 16)));
    }

    // Every raw transfer's bytes sent, "06 | 05 | 01 1c 00 | 05".
    QString wire() const
    {
        QStringList out;
        for (const AdapterCall& call : adapter->calls())
            if (call.op == AdapterOp::SpiWriteBytes || call.op == AdapterOp::SpiWriteReadBytes)
                out << hexBytes(call.sent);
        return out.join(QStringLiteral(" | "));
    }

    QString lasting() const
    {
        QStringList out;
        for (int i = 0; i < chip->statusLayout().registerCount; ++i)
            out << QStringLiteral("%1").arg(chip->nonVolatileStatus(i), 2, 16, QLatin1Char('0'));
        return out.join(' ');
    }

private slots:
    void cleanup() { adapter.reset(); }

    void protectionReadsTheRegistersThatHoldProtectBits_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QByteArray>("id");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("wire");
        QTest::addColumn<QString>("text");
        QTest::newRow("W25Q64: SR1, SR2 and SR3")
            << "W25Q64" << idBytes("ef4017") << "04 00"
            << "05 | 35 | 15"
            << "BP0 set: 0x7e0000-0x7fffff (128 KiB) is write-protected";
        QTest::newRow("W25Q64: CMP") << "W25Q64" << idBytes("ef4017") << "00 40"
                                     << "05 | 35 | 15"
                                     << "CMP set: 0x000000-0x7fffff (8 MiB) is write-protected";
        QTest::newRow("W25Q64: TB alone") << "W25Q64" << idBytes("ef4017") << "20 00"
                                          << "05 | 35 | 15"
                                          << "TB set, which protects nothing";
        QTest::newRow("MX25L6433F: SR1 and the configuration register")
            << "MX25L6433F" << idBytes("c22017") << "04 08"
            << "05 | 15"
            << "BP0, TB set: 0x000000-0x00ffff (64 KiB) is write-protected";
        QTest::newRow("a chip of no known family: SR1 only")
            << "id:" << idBytes("123456") << "44"
            << "05"
            << "BP0, S6 set; what they protect on this chip is not known: the whole chip may be "
               "write-protected";
        QTest::newRow("nothing set") << "GD25Q16" << idBytes("c84015") << "00 00"
                                     << "05 | 35"
                                     << "nothing is write-protected";
    }
    void protectionReadsTheRegistersThatHoldProtectBits()
    {
        QFETCH(QString, model);
        QFETCH(QByteArray, id);
        QFETCH(QString, status);
        QFETCH(QString, wire);
        QFETCH(QString, text);
        QVERIFY(attach(model, id, 8 * kMiB));
        setStatus(status);
        StatusRegisters read;
        const StatusLayout layout = statusLayoutForChip(target.chip);
        QVERIFY(readProtection(*adapter, target, layout, &read).ok());
        QCOMPARE(this->wire(), wire);
        QCOMPARE(protectionText(layout, read.protection(8 * kMiB)), text);
    }

    // 06 (or 50) before each write instruction, the families' own instructions, a wait, and every
    // register read back and compared.
    void statusWrites_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QByteArray>("recordId");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("wanted");
        QTest::addColumn<bool>("volatileWrite");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("wire");
        QTest::addColumn<QString>("lasting");
        const int ok = int(OperationStatus::Ok);
        const QByteArray w64 = idBytes("ef4017");
        QTest::newRow("SR1 with SR2 behind it")
            << "W25Q64" << w64 << "00 00 00"
            << "1c 00 00" << false << ok << "06 | 05 | 01 1c 00 | 05 | 05 | 35 | 15"
            << "1c 00 00";
        QTest::newRow("volatile: 50, and nothing lasts")
            << "W25Q64" << w64 << "00 00 00"
            << "1c 00 00" << true << ok << "50 | 01 1c 00 | 05 | 05 | 35 | 15"
            << "00 00 00";
        QTest::newRow("SR3 alone: 11") << "W25Q64" << w64 << "00 00 00"
                                       << "00 00 60" << false << ok << "06 | 05 | 11 60 | 05 | 05 | 35 | 15"
                                       << "00 00 60";
        QTest::newRow("two writes, in register order")
            << "W25Q64" << w64 << "00 00 00"
            << "04 02 20" << false << ok << "06 | 05 | 01 04 02 | 05 | 06 | 05 | 11 20 | 05 | 05 | 35 | 15"
            << "04 02 20";
        QTest::newRow("one-time bits are never written") << "W25Q64" << w64 << "00 00 00"
                                                         << "00 38 00" << false << ok << "05 | 35 | 15"
                                                         << "00 00 00";
        QTest::newRow("BUSY and WEL are not the writer's") << "W25Q64" << w64 << "00 00 00"
                                                           << "03 00 00" << false << ok << "05 | 35 | 15"
                                                           << "00 00 00";
        QTest::newRow("MX25L6433F: one byte") << "MX25L6433F" << idBytes("c22017") << "00 00"
                                              << "5c 00" << false << ok << "06 | 05 | 01 5c | 05 | 05 | 15"
                                              << "5c 00";
        QTest::newRow("SRP with /WP low") << "W25Q64+wp" << w64 << "80 00 00"
                                          << "00 00 00" << false << int(OperationStatus::StatusWriteProtected)
                                          << "06 | 05 | 01 00 00 | 05 | 05 | 35 | 15"
                                          << "80 00 00";
        QTest::newRow("SRL") << "W25Q64" << w64 << "00 01 00"
                             << "1c 01 00" << false << int(OperationStatus::StatusLocked)
                             << "06 | 05 | 01 1c 01 | 05 | 05 | 35 | 15"
                             << "00 01 00";
        // The record says W25Q, the chip is a GD part without SR3: 11 goes nowhere.
        QTest::newRow("a register that does not take its value")
            << "GD25Q64" << w64 << "00 00 ff"
            << "00 00 60" << false << int(OperationStatus::StatusWriteFailed)
            << "06 | 05 | 11 fb | 05 | 05 | 35 | 15"
            << "00 00";
    }
    void statusWrites()
    {
        QFETCH(QString, model);
        QFETCH(QByteArray, recordId);
        QFETCH(QString, before);
        QFETCH(QString, wanted);
        QFETCH(bool, volatileWrite);
        QFETCH(int, status);
        QFETCH(QString, wire);
        QFETCH(QString, lasting);
        QVERIFY(attach(model, recordId, 8 * kMiB));
        setStatus(before);
        const StatusLayout layout = statusLayoutForChip(target.chip);
        StatusRegisters current;
        QVERIFY(readStatusRegisters(*adapter, target, layout, layout.registerCount, &current).ok());
        adapter->clearLog();
        std::uint8_t want[kMaxStatusRegisters] = {};
        const QStringList bytes = wanted.split(' ');
        for (int i = 0; i < bytes.size(); ++i)
            want[i] = static_cast<std::uint8_t>(bytes[i].toUInt(nullptr, 16));
        StatusRegisters after;
        const OperationResult result = writeStatusRegisters(
            *adapter, target, clock, current, want,
            volatileWrite ? StatusWriteKind::Volatile : StatusWriteKind::NonVolatile, &after);
        QCOMPARE(int(result.status), status);
        QCOMPARE(this->wire(), wire);
        QCOMPARE(this->lasting(), lasting);
        if (result.status == OperationStatus::StatusWriteFailed) {
            QCOMPARE(result.address, 2u);
            QCOMPARE(operationResultText(result),
                     QString("status register 3 did not take 0xfb: it reads 0xff"));
        }
    }

    void statusWriteFailures_data()
    {
        QTest::addColumn<int>("op");
        QTest::addColumn<int>("nth");
        QTest::addColumn<int>("status");
        const int wr = int(AdapterOp::SpiWriteBytes), rd = int(AdapterOp::SpiWriteReadBytes);
        QTest::newRow("write enable") << wr << 1 << int(OperationStatus::TransferFailed);
        QTest::newRow("the write") << wr << 2 << int(OperationStatus::TransferFailed);
        QTest::newRow("the wait") << rd << 1 << int(OperationStatus::TransferFailed);
        QTest::newRow("the read-back") << rd << 3 << int(OperationStatus::StatusReadFailed);
    }
    void statusWriteFailures()
    {
        QFETCH(int, op);
        QFETCH(int, nth);
        QFETCH(int, status);
        QVERIFY(attach("W25Q64", idBytes("ef4017"), 8 * kMiB));
        const StatusLayout layout = statusLayoutForChip(target.chip);
        StatusRegisters current;
        QVERIFY(readStatusRegisters(*adapter, target, layout, 2, &current).ok());
        adapter->failCall(AdapterOp(op), nth);
        const std::uint8_t want[kMaxStatusRegisters] = {0x1C, 0, 0};
        const OperationResult result = writeStatusRegisters(*adapter, target, clock, current, want,
                                                            StatusWriteKind::NonVolatile, nullptr);
        QCOMPARE(int(result.status), status);
        QCOMPARE(result.adapterCode, int(AdapterErrorInjected));
        QVERIFY(adapter->calls().back().injected); // nothing after the failure
    }

    void statusWriteThatNeverEnds()
    {
        QVERIFY(attach("W25Q64", idBytes("ef4017"), 8 * kMiB));
        const StatusLayout layout = statusLayoutForChip(target.chip);
        StatusRegisters current;
        QVERIFY(readStatusRegisters(*adapter, target, layout, 2, &current).ok());
        chip->keepBusy(true);
        const int sleeps = clock.sleepCount;
        const std::uint8_t want[kMaxStatusRegisters] = {0x1C, 0, 0};
        QCOMPARE(writeStatusRegisters(*adapter, target, clock, current, want, StatusWriteKind::NonVolatile,
                                      nullptr)
                     .status,
                 OperationStatus::Timeout);
        QCOMPARE(clock.sleepCount - sleeps, int(SpiNorEngine::PollLimits{}.statusWriteTimeoutNs / 1000000));
        chip->keepBusy(false);
    }

    void clearingProtection_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QByteArray>("id");
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("write"); // the write instruction sent
        QTest::addColumn<QString>("after");
        const int ok = int(OperationStatus::Ok);
        QTest::newRow("BP2..BP0") << "W25Q64" << idBytes("ef4017") << "1c 00" << ok << "01 00 00"
                                  << "00 00 00";
        QTest::newRow("CMP alone") << "W25Q64" << idBytes("ef4017") << "00 40" << ok << "01 00 00"
                                   << "00 00 00";
        QTest::newRow("QE, SEC and TB stay") << "W25Q64" << idBytes("ef4017") << "64 42" << ok << "01 60 02"
                                             << "60 02 00";
        QTest::newRow("SRP with /WP low: cannot") << "W25Q64+wp" << idBytes("ef4017") << "9c 00"
                                                  << int(OperationStatus::StatusWriteProtected) << "01 80 00"
                                                  << "9c 00 00";
        QTest::newRow("SRP, /WP low, but QE: can")
            << "W25Q64+wp" << idBytes("ef4017") << "9c 02" << ok << "01 80 02"
            << "80 02 00";
        QTest::newRow("MX25L6433F: BP cleared, QE kept")
            << "MX25L6433F" << idBytes("c22017") << "7c 00" << ok << "01 40"
            << "40 00";
        QTest::newRow("no known family: bits 2..6") << "id:" << idBytes("123456") << "fc" << ok << "01 80"
                                                    << "80";
    }
    void clearingProtection()
    {
        QFETCH(QString, model);
        QFETCH(QByteArray, id);
        QFETCH(QString, before);
        QFETCH(int, status);
        QFETCH(QString, write);
        QFETCH(QString, after);
        QVERIFY(attach(model, id, 8 * kMiB));
        setStatus(before);
        const StatusLayout layout = statusLayoutForChip(target.chip);
        StatusRegisters read;
        QVERIFY(readProtection(*adapter, target, layout, &read).ok());
        adapter->clearLog();
        StatusRegisters cleared;
        const OperationResult result = clearProtection(*adapter, target, clock, read, &cleared);
        QCOMPARE(int(result.status), status);
        const auto writes = adapter->callsOf(AdapterOp::SpiWriteBytes);
        QCOMPARE(int(writes.size()), 2);
        QCOMPARE(hexBytes(writes[0].sent), QString("06"));
        QCOMPARE(hexBytes(writes[1].sent), write);
        QCOMPARE(lasting(), after);
        if (result.ok())
            QVERIFY(!cleared.protection(8 * kMiB).any);
    }

    void layoutFromSfdp_data()
    {
        QTest::addColumn<int>("qer");
        QTest::addColumn<int>("sr1Write");
        QTest::addColumn<QString>("registers"); // name:read/write, "+" when written with 01
        QTest::addColumn<bool>("volatile50");
        QTest::newRow("no quad enable") << 0 << 0x01 << "SR1:05/01" << false;
        QTest::newRow("QE in SR1") << 2 << 0x01 << "SR1:05/01" << false;
        QTest::newRow("SR2 by 35, written with 01") << 5 << 0x08 << "SR1:05/01 SR2:35/00+" << false;
        QTest::newRow("SR2 and SR3, own instructions")
            << 6 << 0x04 << "SR1:05/01 SR2:35/31 SR3:15/11" << true;
    }
    void layoutFromSfdp()
    {
        QFETCH(int, qer);
        QFETCH(int, sr1Write);
        QFETCH(QString, registers);
        QFETCH(bool, volatile50);
        SfdpInfo info;
        info.quadEnableRequirement = qer;
        info.statusRegister1Write = static_cast<std::uint8_t>(sr1Write);
        const CHIP_INFO record = makeTestChip("Test", "X", {0x12, 0x34, 0x56}, 1 * kMiB);
        const StatusLayout layout = statusLayoutForChip(record, &info);
        QStringList out;
        for (int i = 0; i < layout.registerCount; ++i) {
            const StatusRegisterInfo& r = layout.registers[i];
            out << QStringLiteral("%1:%2/%3%4")
                       .arg(QLatin1String(r.name))
                       .arg(r.readOpcode, 2, 16, QLatin1Char('0'))
                       .arg(r.writeOpcode, 2, 16, QLatin1Char('0'))
                       .arg(r.withWriteStatus1 ? "+" : "");
        }
        QCOMPARE(out.join(' '), registers);
        QCOMPARE(layout.volatileOnly, volatile50);
        QCOMPARE(layout.volatileWriteEnable, volatile50 || (sr1Write & 0x08) != 0);
        QVERIFY(!layout.known()); // SFDP says nothing of what the protect bits protect
        // A known family keeps its own layout, whatever SFDP says.
        const CHIP_INFO winbond = makeTestChip("Winbond", "W25Q64", {0xEF, 0x40, 0x17}, 8 * kMiB);
        QCOMPARE(statusLayoutForChip(winbond, &info).registerCount, 3);
    }

    void sfdpFromTheChip_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("failOn"); // the nth raw transfer fails, 0 none
        QTest::addColumn<int>("status");
        QTest::addColumn<qulonglong>("size");
        QTest::newRow("W25Q128") << "W25Q128" << 0 << int(OperationStatus::Ok) << 16ull * kMiB;
        QTest::newRow("MX25L25645G") << "MX25L25645G" << 0 << int(OperationStatus::Ok) << 32ull * kMiB;
        QTest::newRow("no table") << "W25Q128+nosfdp" << 0 << int(OperationStatus::NoSfdp) << 0ull;
        QTest::newRow("header read fails") << "W25Q128" << 1 << int(OperationStatus::TransferFailed) << 0ull;
        QTest::newRow("parameter headers fail")
            << "W25Q128" << 2 << int(OperationStatus::TransferFailed) << 0ull;
        QTest::newRow("the table fails") << "W25Q128" << 3 << int(OperationStatus::TransferFailed) << 0ull;
    }
    void sfdpFromTheChip()
    {
        QFETCH(QString, model);
        QFETCH(int, failOn);
        QFETCH(int, status);
        QFETCH(qulonglong, size);
        QVERIFY(attach(model, idBytes("ef4018"), 16 * kMiB));
        if (failOn > 0)
            adapter->failCall(AdapterOp::SpiWriteReadBytes, failOn);
        SfdpInfo info;
        const OperationResult result = readSfdp(*adapter, 0, 0x00, &info);
        QCOMPARE(int(result.status), status);
        if (result.ok()) {
            QCOMPARE(qulonglong(info.sizeBytes), size);
            QCOMPARE(wire(), QString("5a 00 00 00 00 | 5a 00 00 08 00 | 5a 00 00 80 00"));
            QCOMPARE(adapter->callsOf(AdapterOp::SpiWriteReadBytes)[2].receiveCount, 64);
        }
    }

    void detectionReadsTheIdThenSfdp()
    {
        QVERIFY(attach("W25Q64", idBytes("ef4017"), 8 * kMiB));
        std::uint8_t id[kIdBufferSize];
        SfdpInfo info;
        bool read = false;
        QVERIFY(detectChip(*adapter, 0, 0x00, id, &info, &read).ok());
        QVERIFY(read);
        QCOMPARE(info.sizeBytes, std::uint64_t(8 * kMiB));
        QCOMPARE(adapter->sequence(),
                 (std::vector<AdapterOp>{AdapterOp::ScanDevices, AdapterOp::OpenDevice, AdapterOp::FlashInit,
                                         AdapterOp::FlashReadId, AdapterOp::SpiWriteReadBytes,
                                         AdapterOp::SpiWriteReadBytes, AdapterOp::SpiWriteReadBytes}));
        // No chip at the port: the ID's failure, and no SFDP.
        QVERIFY(!detectChip(*adapter, 0, 0x10, id, &info, &read).ok());
        QVERIFY(!read);
    }

    void recordFromSfdp_data()
    {
        QTest::addColumn<qulonglong>("size");
        QTest::addColumn<int>("addressing");
        QTest::addColumn<int>("smallestErase");
        QTest::addColumn<bool>("made");
        QTest::addColumn<int>("addressBytes");
        const int three = int(SfdpAddressing::ThreeByte), both = int(SfdpAddressing::ThreeOrFourByte),
                  four = int(SfdpAddressing::FourByte);
        QTest::newRow("8 MiB") << 8ull * kMiB << three << 0x1000 << true << 3;
        QTest::newRow("16 MiB, takes both: 3") << 16ull * kMiB << both << 0x1000 << true << 3;
        QTest::newRow("32 MiB, takes both: 4") << 32ull * kMiB << both << 0x1000 << true << 4;
        QTest::newRow("4-byte only") << 8ull * kMiB << four << 0x1000 << true << 4;
        QTest::newRow("64 KiB sectors") << 8ull * kMiB << three << 0x10000 << true << 3;
        QTest::newRow("1 GiB") << 1024ull * kMiB << four << 0x1000 << true << 4;
        QTest::newRow("2 GiB does not fit a record") << 2048ull * kMiB << four << 0x1000 << false << 0;
        QTest::newRow("no erase type") << 8ull * kMiB << three << 0 << false << 0;
    }
    void recordFromSfdp()
    {
        QFETCH(qulonglong, size);
        QFETCH(int, addressing);
        QFETCH(int, smallestErase);
        QFETCH(bool, made);
        QFETCH(int, addressBytes);
        SfdpInfo info;
        info.sizeBytes = size;
        info.addressing = SfdpAddressing(addressing);
        if (smallestErase != 0) {
            info.eraseTypes[0] = SfdpEraseType{std::uint32_t(smallestErase),
                                               std::uint8_t(smallestErase == 0x1000 ? 0x20 : 0xD8)};
            info.eraseTypes[1] = SfdpEraseType{0x10000, 0xD8};
            info.eraseTypeCount = 2;
        }
        const std::uint8_t id[] = {0x12, 0x34, 0x56};
        CHIP_INFO chip{};
        QCOMPARE(chipInfoFromSfdp(info, id, 3, "Maker", "SFDP-123456", &chip), made);
        if (!made)
            return;
        QCOMPARE(qulonglong(chipSize(chip)), size);
        QCOMPARE(chip.Config.SectorSize, smallestErase);
        QCOMPARE(chip.Config.EraseSector, std::uint8_t(smallestErase == 0x1000 ? 0x20 : 0xD8));
        QCOMPARE(int(chip.Config.ReadDataAddrBytes), addressBytes);
        QCOMPARE(int(chip.Config.WritePageAddrBytes), addressBytes);
        QCOMPARE(int(chip.Config.EraseSectorAddrBytes), addressBytes);
        QCOMPARE(chip.Config.IDLength, std::uint8_t(3));
        QCOMPARE(chipIdKey(chip.Config.FlashID), 0x123456u);
        QCOMPARE(chipModelName(chip), QString("SFDP-123456"));
        // A name a record cannot hold makes no record.
        QVERIFY(!chipInfoFromSfdp(info, id, 3, "Maker", QString(64, 'x'), &chip));
    }

    // ---- reading twice, blank check

    void readTwice_data()
    {
        QTest::addColumn<int>("flakyRead"); // which flashRead corrupts a byte; -1 none
        QTest::addColumn<int>("status");
        QTest::newRow("the same twice") << -1 << int(OperationStatus::Ok);
        QTest::newRow("the second read differs") << 103 + 50 << int(OperationStatus::ReadMismatch);
        QTest::newRow("the first read differs") << 50 << int(OperationStatus::ReadMismatch);
    }
    void readTwice()
    {
        QFETCH(int, flakyRead);
        QFETCH(int, status);
        QVERIFY(attach("W25Q16", idBytes("ef4015"), 2 * kMiB));
        auto& memory = chip->contents();
        for (std::size_t i = 0; i < memory.size(); ++i)
            memory[i] = static_cast<std::uint8_t>(i * 7);
        adapter->flakyRead = flakyRead;
        adapter->flakyAddress = 49 * 20480 + 333;
        std::vector<std::uint8_t> out(2 * kMiB);
        Steps steps;
        const OperationResult result = readFlashTwice(*adapter, target, 0, out.data(), 2 * kMiB, steps);
        QCOMPARE(int(result.status), status);
        QCOMPARE(adapter->countOf(AdapterOp::FlashRead), 2 * 103);
        QCOMPARE(steps.values.size(), 2 * 103);
        QCOMPARE(steps.values.last(), 2 * 2 * kMiB);
        if (result.ok()) {
            QVERIFY(out == memory);
            return;
        }
        QCOMPARE(result.count, 1u);
        QCOMPARE(result.address, std::uint64_t(49 * 20480 + 333));
        QVERIFY(operationResultText(result).contains("the first at 0x0f514d"));
        QVERIFY(operationResultText(result).contains("try a lower speed"));
    }

    void blankCheck_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length");
        QTest::addColumn<QList<int>>("written"); // addresses holding 0x7F
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("first");
        QTest::newRow("erased") << 0 << 2 * kMiB << QList<int>{} << int(OperationStatus::Ok) << 0 << 0;
        QTest::newRow("the last byte") << 0 << 2 * kMiB << QList<int>{2 * kMiB - 1}
                                       << int(OperationStatus::NotBlank) << 1 << 2 * kMiB - 1;
        QTest::newRow("two blocks, the first counts")
            << 0 << 2 * kMiB << QList<int>{900000, 20479} << int(OperationStatus::NotBlank) << 2 << 20479;
        QTest::newRow("outside the range")
            << 4096 << 4096 << QList<int>{4095, 8192} << int(OperationStatus::Ok) << 0 << 0;
    }
    void blankCheck()
    {
        QFETCH(int, start);
        QFETCH(int, length);
        QFETCH(QList<int>, written);
        QFETCH(int, status);
        QFETCH(int, count);
        QFETCH(int, first);
        QVERIFY(attach("W25Q16", idBytes("ef4015"), 2 * kMiB));
        for (int at : written)
            chip->contents()[std::size_t(at)] = 0x7F;
        Steps steps;
        const OperationResult result =
            korvane::blankCheck(*adapter, target, std::uint32_t(start), std::uint32_t(length), steps);
        QCOMPARE(int(result.status), status);
        QCOMPARE(int(result.count), count);
        if (count)
            QCOMPARE(int(result.address), first);
        QCOMPARE(steps.values.last(), std::int64_t(length));
    }

    void blankCheckReadFails()
    {
        QVERIFY(attach("W25Q16", idBytes("ef4015"), 2 * kMiB));
        adapter->failCall(AdapterOp::FlashRead, 3);
        Steps steps;
        const OperationResult result = korvane::blankCheck(*adapter, target, 0, 2 * kMiB, steps);
        QCOMPARE(result.status, OperationStatus::TransferFailed);
        QCOMPARE(result.address, std::uint64_t(2 * 20480));
        QCOMPARE(adapter->countOf(AdapterOp::FlashRead), 3);
    }
};

QTEST_GUILESS_MAIN(TestChipSafety)
#include "tst_chipsafety.moc"
