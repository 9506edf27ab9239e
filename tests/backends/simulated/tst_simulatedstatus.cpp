// Qt first: the adapter headers must compile after Qt's keyword macros (slots, signals, emit).
#include <QTemporaryDir>
#include <QTest>

#include "backends/simulated/simulatedadapter.h"
#include "core/chip/sfdp.h"
#include "tests/support/virtualclock.h"

#include <memory>

using namespace korvane;

namespace {

constexpr std::uint32_t kMiB = 1u << 20;

std::vector<std::uint8_t> tx(SimulatedChip& chip, std::vector<std::uint8_t> send, int receive = 0)
{
    std::vector<std::uint8_t> in(static_cast<std::size_t>(receive), 0xAA);
    chip.transfer(send.data(), static_cast<int>(send.size()), in.data(), receive);
    return in;
}

// "06 01 1c; 35" style scripts: transactions separated by ';', bytes in hex. A transaction ending
// in '?' reads one byte back; the bytes read are returned in order.
std::vector<std::uint8_t> run(SimulatedChip& chip, VirtualClock& clock, const QString& script)
{
    std::vector<std::uint8_t> out;
    for (QString step : script.split(';', Qt::SkipEmptyParts)) {
        step = step.trimmed();
        const bool read = step.endsWith('?');
        if (read)
            step.chop(1);
        std::vector<std::uint8_t> bytes;
        for (const QString& byte : step.split(' ', Qt::SkipEmptyParts))
            bytes.push_back(static_cast<std::uint8_t>(byte.toUInt(nullptr, 16)));
        const auto in = tx(chip, bytes, read ? 1 : 0);
        if (read)
            out.push_back(in[0]);
        clock.advanceNanoseconds(chip.timing().writeStatusNs); // every write is done by the next step
    }
    return out;
}

std::unique_ptr<SimulatedChip> chipOf(const char* model, VirtualClock& clock)
{
    auto chip = createSimulatedChip(model, clock);
    if (chip)
        chip->setTiming({0, 0, 0, 0});
    return chip;
}

} // namespace

class TestSimulatedStatus : public QObject
{
    Q_OBJECT

private slots:
    // What each family's chip answers to the status instructions, and which bits a write changes.
    void statusRegisters_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("setup");   // SR values set first: "sr1 sr2 sr3" in hex, or empty
        QTest::addColumn<QString>("script");  // transactions
        QTest::addColumn<QString>("reads");   // what the '?' steps read
        QTest::addColumn<QString>("lasting"); // non-volatile values after the script ("" to skip)

        QTest::newRow("W25Q64: 35 and 15 answer") << "W25Q64"
                                                  << "1c 42 60"
                                                  << "05?; 35?; 15?"
                                                  << "1c 42 60"
                                                  << "1c 42 60";
        QTest::newRow("W25Q64: 01 writes SR1") << "W25Q64"
                                               << ""
                                               << "06; 01 1c; 05?"
                                               << "1c"
                                               << "1c 00 00";
        QTest::newRow("W25Q64: second byte of 01 is SR2, its lock bits are one-time") << "W25Q64"
                                                                                      << ""
                                                                                      << "06; 01 00 7b; 35?"
                                                                                      << "43"
                                                                                      << "00 43 00";
        QTest::newRow("W25Q64: 31 writes SR2 and leaves SR1") << "W25Q64"
                                                              << "0c 00 00"
                                                              << "06; 31 02; 05?; 35?"
                                                              << "0c 02"
                                                              << "0c 02 00";
        QTest::newRow("W25Q64: 11 writes SR3") << "W25Q64"
                                               << ""
                                               << "06; 11 ff; 15?"
                                               << "64"
                                               << "00 00 64";
        QTest::newRow("W25Q64: without WEL nothing") << "W25Q64"
                                                     << ""
                                                     << "01 1c; 05?"
                                                     << "00"
                                                     << "00 00 00";
        QTest::newRow("W25Q64: 50 makes it volatile") << "W25Q64"
                                                      << ""
                                                      << "50; 01 1c; 05?"
                                                      << "1c"
                                                      << "00 00 00";
        QTest::newRow("W25Q64: 50 counts for the next command only") << "W25Q64"
                                                                     << ""
                                                                     << "50; 05?; 01 1c; 05?"
                                                                     << "00 00"
                                                                     << "00 00 00";
        QTest::newRow("W25Q64: SRP with /WP low locks") << "W25Q64+wp"
                                                        << "80 00 00"
                                                        << "06; 01 00; 05?"
                                                        << "80"
                                                        << "80 00 00";
        QTest::newRow("W25Q64: SRP without /WP low does not") << "W25Q64"
                                                              << "80 00 00"
                                                              << "06; 01 00; 05?"
                                                              << "00"
                                                              << "00 00 00";
        QTest::newRow("W25Q64: QE makes /WP a data line") << "W25Q64+wp"
                                                          << "80 02 00"
                                                          << "06; 01 00 02; 05?"
                                                          << "00"
                                                          << "00 02 00";
        QTest::newRow("W25Q64: SRL locks") << "W25Q64"
                                           << "1c 01 00"
                                           << "06; 01 00 01; 05?"
                                           << "1c"
                                           << "1c 01 00";
        QTest::newRow("W25Q256: bits 2..6 are BP0-BP3 and TB") << "W25Q256"
                                                               << ""
                                                               << "06; 01 7c; 05?"
                                                               << "7c"
                                                               << "7c 00 00";
        // An instruction the part does not have leaves WEL as it was.
        QTest::newRow("GD25Q16: no SR3") << "GD25Q16"
                                         << ""
                                         << "06; 11 60; 15?; 35?; 05?"
                                         << "ff 00 02"
                                         << "00 00";
        QTest::newRow("MX25L6433F: 15 reads the configuration register, 35 nothing") << "MX25L6433F"
                                                                                     << "00 08"
                                                                                     << "15?; 35?"
                                                                                     << "08 ff"
                                                                                     << "00 08";
        QTest::newRow("MX25L6433F: 01 with a second byte leaves the configuration register")
            << "MX25L6433F"
            << ""
            << "06; 01 40 08; 05?; 15?"
            << "40 00"
            << "40 00";
        QTest::newRow("MX25L6433F: no volatile writes") << "MX25L6433F"
                                                        << ""
                                                        << "50; 01 1c; 05?"
                                                        << "00"
                                                        << "00 00";
        QTest::newRow("MX25L6433F: SRWD with /WP low locks") << "MX25L6433F+wp"
                                                             << "80 00"
                                                             << "06; 01 00; 05?"
                                                             << "80"
                                                             << "80 00";
    }
    void statusRegisters()
    {
        QFETCH(QString, model);
        QFETCH(QString, setup);
        QFETCH(QString, script);
        QFETCH(QString, reads);
        QFETCH(QString, lasting);
        VirtualClock clock;
        auto chip = chipOf(qPrintable(model), clock);
        QVERIFY(chip);
        const QStringList values = setup.split(' ', Qt::SkipEmptyParts);
        for (int i = 0; i < values.size(); ++i)
            chip->setStatusRegister(i, static_cast<std::uint8_t>(values[i].toUInt(nullptr, 16)));
        QStringList got;
        for (std::uint8_t b : run(*chip, clock, script))
            got << QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0'));
        QCOMPARE(got.join(' '), reads);
        QStringList kept;
        for (int i = 0; i < chip->statusLayout().registerCount; ++i)
            kept << QStringLiteral("%1").arg(chip->nonVolatileStatus(i), 2, 16, QLatin1Char('0'));
        QCOMPARE(kept.join(' '), lasting);
    }

    void volatileValuesGoAtPowerCycle()
    {
        VirtualClock clock;
        auto chip = chipOf("W25Q64", clock);
        run(*chip, clock, "06; 01 04; 50; 01 1c");
        QCOMPARE(chip->statusRegister(0), std::uint8_t(0x1C));
        chip->powerCycle();
        QCOMPARE(chip->statusRegister(0), std::uint8_t(0x04));
    }

    // The protect bits keep programs and erases out of what they protect.
    void protectBitsProtect_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("command");
        QTest::addColumn<uint>("address");
        QTest::addColumn<bool>("carriedOut");
        // W25Q64 with BP0: the top 128 KiB, 0x7E0000 on.
        QTest::newRow("program just below") << "W25Q64"
                                            << "04 00"
                                            << "02" << 0x7DFF00u << true;
        QTest::newRow("program inside") << "W25Q64"
                                        << "04 00"
                                        << "02" << 0x7E0000u << false;
        QTest::newRow("sector erase inside") << "W25Q64"
                                             << "04 00"
                                             << "20" << 0x7FF000u << false;
        QTest::newRow("64 KiB erase below") << "W25Q64"
                                            << "04 00"
                                            << "d8" << 0x7D0000u << true;
        QTest::newRow("64 KiB erase inside") << "W25Q64"
                                             << "04 00"
                                             << "d8" << 0x7E0000u << false;
        QTest::newRow("chip erase while any part is protected") << "W25Q64"
                                                                << "04 00"
                                                                << "c7" << 0u << false;
        QTest::newRow("chip erase with nothing protected") << "W25Q64"
                                                           << "00 00"
                                                           << "c7" << 0u << true;
        QTest::newRow("CMP alone protects all") << "W25Q64"
                                                << "00 40"
                                                << "20" << 0u << false;
        QTest::newRow("CMP with BP0 leaves the top free") << "W25Q64"
                                                          << "04 40"
                                                          << "20" << 0x7FF000u << true;
        QTest::newRow("TB: the bottom") << "W25Q64"
                                        << "24 00"
                                        << "20" << 0x1F000u << false;
        QTest::newRow("MX25L6433F: BP0, top block") << "MX25L6433F"
                                                    << "04 00"
                                                    << "20" << 0x7F0000u << false;
        QTest::newRow("MX25L6433F: TB in the configuration register") << "MX25L6433F"
                                                                      << "04 08"
                                                                      << "20" << 0x7F0000u << true;
        QTest::newRow("a chip of no known family protects as the three-bit parts")
            << "XX"
            << "04"
            << "02" << 0xFFF00u << false;
    }
    void protectBitsProtect()
    {
        QFETCH(QString, model);
        QFETCH(QString, status);
        QFETCH(QString, command);
        QFETCH(uint, address);
        QFETCH(bool, carriedOut);
        VirtualClock clock;
        std::unique_ptr<SimulatedChip> chip =
            model == QLatin1String("XX") ? std::make_unique<SimulatedChip>(
                                               clock, std::vector<std::uint8_t>{0x12, 0x34, 0x56}, 1 * kMiB)
                                         : chipOf(qPrintable(model), clock);
        chip->setTiming({0, 0, 0, 0});
        const QStringList values = status.split(' ');
        for (int i = 0; i < values.size(); ++i)
            chip->setStatusRegister(i, static_cast<std::uint8_t>(values[i].toUInt(nullptr, 16)));
        auto& memory = chip->contents();
        std::fill(memory.begin(), memory.end(), 0x00);
        const std::uint8_t op = static_cast<std::uint8_t>(command.toUInt(nullptr, 16));
        tx(*chip, {0x06});
        if (op == 0xC7) {
            tx(*chip, {op});
        } else if (op == 0x02) {
            std::fill(memory.begin() + address, memory.begin() + address + 256, 0xFF);
            tx(*chip,
               {op, std::uint8_t(address >> 16), std::uint8_t(address >> 8), std::uint8_t(address), 0x5A});
        } else {
            tx(*chip, {op, std::uint8_t(address >> 16), std::uint8_t(address >> 8), std::uint8_t(address)});
        }
        const std::uint8_t expected = op == 0x02 ? 0x5A : 0xFF;
        QCOMPARE(memory[address] == expected, carriedOut);
        QCOMPARE(chip->refusedCount(), carriedOut ? 0 : 1);
        QVERIFY(!chip->writeEnabled());
        QVERIFY(!chip->isBusy());
    }

    // Each erase size keeps the chip busy as long as its own time says, or the sector time.
    void eraseTimesBySize_data()
    {
        QTest::addColumn<int>("opcode");
        QTest::addColumn<bool>("ownTimes");
        QTest::addColumn<qlonglong>("busyNs");
        QTest::newRow("4 KiB") << 0x20 << true << 45'000'000ll;
        QTest::newRow("32 KiB") << 0x52 << true << 120'000'000ll;
        QTest::newRow("64 KiB") << 0xD8 << true << 150'000'000ll;
        QTest::newRow("64 KiB, no time of its own") << 0xD8 << false << 45'000'000ll;
    }
    void eraseTimesBySize()
    {
        QFETCH(int, opcode);
        QFETCH(bool, ownTimes);
        QFETCH(qlonglong, busyNs);
        VirtualClock clock;
        auto chip = chipOf("W25Q64", clock);
        SimulatedChip::Timing timing;
        timing.sectorEraseNs = 45'000'000;
        if (ownTimes) {
            timing.blockErase32kNs = 120'000'000;
            timing.blockErase64kNs = 150'000'000;
        }
        chip->setTiming(timing);
        tx(*chip, {0x06});
        tx(*chip, {std::uint8_t(opcode), 0x01, 0x00, 0x00});
        clock.advanceNanoseconds(busyNs - 1);
        QVERIFY(chip->isBusy());
        clock.advanceNanoseconds(1);
        QVERIFY(!chip->isBusy());
    }

    // The table 5A reads says what the chip is.
    void sfdpTableMatchesTheChip_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<qulonglong>("size");
        QTest::addColumn<int>("addressing");
        QTest::addColumn<bool>("sr2");
        QTest::newRow("W25Q64") << "W25Q64" << qulonglong(8 * kMiB) << int(SfdpAddressing::ThreeByte) << true;
        QTest::newRow("W25Q256") << "W25Q256" << qulonglong(32 * kMiB) << int(SfdpAddressing::ThreeOrFourByte)
                                 << true;
        QTest::newRow("MX25L25645G") << "MX25L25645G" << qulonglong(32 * kMiB)
                                     << int(SfdpAddressing::ThreeOrFourByte) << false;
        QTest::newRow("GD25Q16") << "GD25Q16" << qulonglong(2 * kMiB) << int(SfdpAddressing::ThreeByte)
                                 << true;
    }
    void sfdpTableMatchesTheChip()
    {
        QFETCH(QString, model);
        QFETCH(qulonglong, size);
        QFETCH(int, addressing);
        QFETCH(bool, sr2);
        VirtualClock clock;
        auto chip = chipOf(qPrintable(model), clock);
        // Read as a programmer does: header, parameter header, table, each behind 5A, address, dummy.
        const auto header = tx(*chip, {0x5A, 0, 0, 0, 0}, 8);
        int headers = 0;
        QVERIFY(parseSfdpHeader(header.data(), header.size(), &headers));
        const auto parameters = tx(*chip, {0x5A, 0, 0, 8, 0}, 8 * headers);
        SfdpParameterHeader basic;
        QVERIFY(findSfdpBasicTable(parameters.data(), headers, &basic));
        const auto table =
            tx(*chip, {0x5A, 0, std::uint8_t(basic.pointer >> 8), std::uint8_t(basic.pointer), 0},
               4 * basic.dwords);
        SfdpInfo info;
        QVERIFY(parseSfdpBasicTable(table.data(), basic.dwords, basic, &info));
        QCOMPARE(qulonglong(info.sizeBytes), size);
        QCOMPARE(int(info.addressing), addressing);
        QCOMPARE(int(info.pageSize), 256);
        QCOMPARE(info.eraseTypeCount, 3);
        QCOMPARE(info.eraseTypes[0].size, 0x1000u);
        QCOMPARE(info.eraseTypes[0].opcode, std::uint8_t(0x20));
        QCOMPARE(info.eraseTypes[1].opcode, std::uint8_t(0x52));
        QCOMPARE(info.eraseTypes[2].size, 0x10000u);
        QCOMPARE(info.eraseTypes[2].opcode, std::uint8_t(0xD8));
        QCOMPARE(info.hasStatusRegister2(), sr2);
        // In 4-byte mode too, 5A takes three address bytes.
        tx(*chip, {0xB7});
        QCOMPARE(tx(*chip, {0x5A, 0, 0, 0, 0}, 8), header);
    }

    void sfdpEdges()
    {
        VirtualClock clock;
        auto without = chipOf("W25Q64+nosfdp", clock);
        QVERIFY(without);
        QVERIFY(!without->hasSfdp());
        QCOMPARE(tx(*without, {0x5A, 0, 0, 0, 0}, 4), (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
        auto chip = chipOf("W25Q64", clock);
        // Bytes clocked in while the address and dummy are still being sent read high; the dummy
        // byte is sent here as part of the command, so data comes right after it.
        QCOMPARE(tx(*chip, {0x5A, 0, 0, 1}, 4), (std::vector<std::uint8_t>{0xFF, 'F', 'D', 'P'}));
        QCOMPARE(tx(*chip, {0x5A, 0, 0xFF, 0xF0, 0}, 2),
                 (std::vector<std::uint8_t>{0xFF, 0xFF})); // past the table
        chip->keepBusy(true);
        QCOMPARE(tx(*chip, {0x5A, 0, 0, 0, 0}, 1)[0], std::uint8_t(0xFF));
        QCOMPARE(tx(*chip, {0x35}, 1)[0], std::uint8_t(0x00)); // status reads answer while busy
        chip->keepBusy(false);
    }

    void modelOptions_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("made");
        QTest::addColumn<bool>("wpLow");
        QTest::addColumn<bool>("sfdp");
        QTest::newRow("plain") << "w25q64" << true << false << true;
        QTest::newRow("/WP low") << "W25Q64+wp" << true << true << true;
        QTest::newRow("both, either order") << "W25Q64+nosfdp+wp" << true << true << false;
        QTest::newRow("unknown option") << "W25Q64+fast" << false << false << false;
        QTest::newRow("empty option") << "W25Q64+" << false << false << false;
        QTest::newRow("unknown model with an option") << "W99+wp" << false << false << false;
    }
    void modelOptions()
    {
        QFETCH(QString, name);
        QFETCH(bool, made);
        QFETCH(bool, wpLow);
        QFETCH(bool, sfdp);
        VirtualClock clock;
        const auto chip = createSimulatedChip(name.toStdString(), clock);
        QCOMPARE(chip != nullptr, made);
        if (chip) {
            QCOMPARE(chip->writeProtectPinLow(), wpLow);
            QCOMPARE(chip->hasSfdp(), sfdp);
        }
    }

    // The non-volatile status is kept with the chip's image, as its contents are.
    void statusKeptBetweenRuns()
    {
        QTemporaryDir dir;
        VirtualClock clock;
        {
            SimulatedAdapter adapter(clock);
            QVERIFY(attachSimulatedChips(adapter, clock, "0:00=W25Q64+wp"));
            adapter.setImageDirectory(dir.path().toStdString());
            QVERIFY(adapter.openDevice(0));
            const std::uint8_t wren = 0x06, write[] = {0x01, 0x9C, 0x40}, volatileEnable = 0x50,
                               volatileWrite[] = {0x11, 0x60};
            QCOMPARE(adapter.spiWriteBytes(0, 0x00, &wren, 1), 0);
            QCOMPARE(adapter.spiWriteBytes(0, 0x00, write, 3), 0);
            clock.advanceNanoseconds(1'000'000);
            QCOMPARE(adapter.spiWriteBytes(0, 0x00, &volatileEnable, 1), 0); // SRP with /WP low: refused
            QCOMPARE(adapter.spiWriteBytes(0, 0x00, volatileWrite, 2), 0);
        }
        SimulatedAdapter again(clock);
        QVERIFY(attachSimulatedChips(again, clock, "0:00=W25Q64"));
        again.setImageDirectory(dir.path().toStdString());
        QCOMPARE(again.loadImages(), 1);
        SimulatedChip* chip = again.chip(0, 0x00);
        QCOMPARE(chip->statusRegister(0), std::uint8_t(0x9C));
        QCOMPARE(chip->statusRegister(1), std::uint8_t(0x40));
        QCOMPARE(chip->statusRegister(2), std::uint8_t(0x00));
        again.setImageDirectory({});
    }
};

QTEST_APPLESS_MAIN(TestSimulatedStatus)
#include "tst_simulatedstatus.moc"
