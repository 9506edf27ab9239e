// Qt first: the adapter headers must compile after Qt's keyword macros (slots, signals, emit).
#include <QCryptographicHash>
#include <QFile>
#include <QObject>
#include <QTemporaryDir>
#include <QTest>

#include "backends/simulated/simulatedadapter.h"
#include "core/adapter/adapterresult.h"
#include "tests/support/simulatedtestadapter.h"
#include "tests/support/virtualclock.h"

#include <csignal>
#include <cstring>
#include <numeric>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace korvane;

namespace {

constexpr int kSpi1Cs0 = 0x00;
constexpr int kSpi2Cs0 = 0x01;

SPIFlashConfig makeConfig(std::uint8_t id0, std::uint8_t id1, std::uint8_t id2, std::uint32_t size,
                          std::uint8_t addressBytes = 3)
{
    const std::uint32_t id = (std::uint32_t(id0) << 16) | (std::uint32_t(id1) << 8) | id2;
    return standardSpiNorConfig(id, static_cast<std::int32_t>(size), 4096, addressBytes);
}

const SPIFlashConfig kW25Q64 = makeConfig(0xEF, 0x40, 0x17, 8u << 20);

std::vector<std::uint8_t> pattern(std::size_t size, std::uint32_t seed)
{
    std::vector<std::uint8_t> data(size);
    for (auto& byte : data) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(seed >> 16);
    }
    return data;
}

// One transaction on a bare chip.
std::vector<std::uint8_t> tx(SimulatedChip& chip, std::vector<std::uint8_t> send, int receive = 0)
{
    std::vector<std::uint8_t> in(static_cast<std::size_t>(receive), 0xAA);
    chip.transfer(send.data(), static_cast<int>(send.size()), in.data(), receive);
    return in;
}

void programPage(SimulatedChip& chip, std::uint32_t address, const std::vector<std::uint8_t>& data)
{
    tx(chip, {0x06});
    std::vector<std::uint8_t> send = {0x02, std::uint8_t(address >> 16), std::uint8_t(address >> 8),
                                      std::uint8_t(address)};
    send.insert(send.end(), data.begin(), data.end());
    tx(chip, send);
}

std::vector<std::uint8_t> read3(SimulatedChip& chip, std::uint32_t address, int count)
{
    return tx(chip, {0x03, std::uint8_t(address >> 16), std::uint8_t(address >> 8), std::uint8_t(address)},
              count);
}

QByteArray md5(const std::uint8_t* data, std::size_t size)
{
    return QCryptographicHash::hash(QByteArray(reinterpret_cast<const char*>(data), static_cast<int>(size)),
                                    QCryptographicHash::Md5);
}

} // namespace

class TestAdapter : public QObject
{
    Q_OBJECT

private slots:
    // --- the simulated chip, byte by byte

    void chipAnswersIdStatusAndReads()
    {
        VirtualClock clock;
        SimulatedChip chip(clock, {0xEF, 0x40, 0x17}, 8u << 20);
        QCOMPARE(tx(chip, {0x9F}, 5), (std::vector<std::uint8_t>{0xEF, 0x40, 0x17, 0xFF, 0xFF}));
        // A byte sent after the opcode is clocked while the chip already sends the ID.
        QCOMPARE(tx(chip, {0x9F, 0x00}, 2), (std::vector<std::uint8_t>{0x40, 0x17}));
        QCOMPARE(tx(chip, {0x05}, 2), (std::vector<std::uint8_t>{0x00, 0x00}));
        tx(chip, {0x06});
        QCOMPARE(tx(chip, {0x05}, 1)[0], std::uint8_t(0x02));
        tx(chip, {0x04});
        QCOMPARE(tx(chip, {0x05}, 1)[0], std::uint8_t(0x00));
        // WREN followed by more clocks in the same transaction is not taken.
        tx(chip, {0x06}, 1);
        QVERIFY(!chip.writeEnabled());
        // WRSR needs WEL, keeps bits 2..7 and clears WEL.
        tx(chip, {0x01, 0x1C});
        QCOMPARE(chip.status(), std::uint8_t(0));
        tx(chip, {0x06});
        tx(chip, {0x01, 0x1F});
        QCOMPARE(chip.status(), std::uint8_t(0x1D)); // busy writing it
        clock.advanceNanoseconds(chip.timing().writeStatusNs);
        QCOMPARE(chip.status(), std::uint8_t(0x1C));

        auto& mem = chip.contents();
        std::iota(mem.begin(), mem.begin() + 16, 0);
        QCOMPARE(read3(chip, 2, 3), (std::vector<std::uint8_t>{2, 3, 4}));
        QCOMPARE(tx(chip, {0x0B, 0, 0, 2, 0x00}, 2), (std::vector<std::uint8_t>{2, 3}));
        // Bytes received while the address is still being clocked read high.
        QCOMPARE(tx(chip, {0x03, 0}, 3), (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF}));
        // Reading past the end wraps to the start.
        mem[mem.size() - 1] = 0x5A;
        QCOMPARE(read3(chip, 0x7FFFFF, 3), (std::vector<std::uint8_t>{0x5A, 0, 1}));
        QCOMPARE(tx(chip, {0x42}, 2), (std::vector<std::uint8_t>{0xFF, 0xFF}));
    }

    void chipProgramsOnlyWithWelAndOnlyClearsBits()
    {
        VirtualClock clock;
        SimulatedChip chip(clock, {0xEF, 0x40, 0x17}, 1u << 20);
        chip.setTiming({0, 0, 0, 0});
        // Without WEL nothing changes.
        tx(chip, {0x02, 0, 0, 0, 0x12, 0x34});
        QCOMPARE(read3(chip, 0, 2), (std::vector<std::uint8_t>{0xFF, 0xFF}));
        programPage(chip, 0, {0xF0, 0x0F});
        QVERIFY(!chip.writeEnabled());
        programPage(chip, 0, {0x3C, 0xFF});
        QCOMPARE(read3(chip, 0, 2), (std::vector<std::uint8_t>{0x30, 0x0F}));
        // Data past the end of the page wraps to the page's start, not into the next page.
        programPage(chip, 0x1FE, {1, 2, 3, 4});
        QCOMPARE(read3(chip, 0x1FE, 2), (std::vector<std::uint8_t>{1, 2}));
        QCOMPARE(read3(chip, 0x100, 2), (std::vector<std::uint8_t>{3, 4}));
        QCOMPARE(read3(chip, 0x200, 1)[0], std::uint8_t(0xFF));
        // More than a page: the last 256 bytes count.
        std::vector<std::uint8_t> long_(300);
        std::iota(long_.begin(), long_.end(), 0);
        programPage(chip, 0x400, long_);
        const auto page = read3(chip, 0x400, 256);
        QCOMPARE(page[44], std::uint8_t(44)); // byte 300 - 256 = 44 lands at offset 44
        QCOMPARE(page[43], std::uint8_t(299 & 0xFF));
        QCOMPARE(chip.programCount(), 4);
    }

    void chipErasesAlignedBlocksAndIgnoresWhileBusy()
    {
        VirtualClock clock;
        SimulatedChip chip(clock, {0xC8, 0x40, 0x15}, 2u << 20);
        SimulatedChip::Timing timing;
        timing.sectorEraseNs = 5'000'000;
        chip.setTiming(timing);
        auto& mem = chip.contents();
        std::fill(mem.begin(), mem.end(), 0x00);
        tx(chip, {0x20, 0x00, 0x10, 0x00}); // no WEL: ignored
        QCOMPARE(mem[0x1000], std::uint8_t(0x00));
        tx(chip, {0x06});
        tx(chip, {0x20, 0x00, 0x1F, 0xFF, 0x00}); // one byte too many: ignored
        QCOMPARE(mem[0x1000], std::uint8_t(0x00));
        tx(chip, {0x20, 0x00, 0x1A, 0xBC}); // WEL still set
        QVERIFY(chip.isBusy());
        QCOMPARE(tx(chip, {0x05}, 1)[0] & 0x03, 0x01);
        QCOMPARE(mem[0x0FFF], std::uint8_t(0x00));
        QCOMPARE(mem[0x1000], std::uint8_t(0xFF));
        QCOMPARE(mem[0x1FFF], std::uint8_t(0xFF));
        QCOMPARE(mem[0x2000], std::uint8_t(0x00));
        // While busy: WREN, erase and reads are ignored.
        tx(chip, {0x06});
        QVERIFY(!chip.writeEnabled());
        QCOMPARE(read3(chip, 0, 1)[0], std::uint8_t(0xFF));
        clock.advanceNanoseconds(5'000'000);
        QVERIFY(!chip.isBusy());
        QCOMPARE(read3(chip, 0, 1)[0], std::uint8_t(0x00));

        const std::pair<std::uint8_t, std::uint32_t> blocks[] = {{0x52, 0x8000}, {0xD8, 0x10000}};
        for (const auto& [op, size] : blocks) {
            std::fill(mem.begin(), mem.end(), 0x00);
            tx(chip, {0x06});
            tx(chip, {op, 0x03, 0x00, 0x01});
            clock.advanceNanoseconds(5'000'000);
            QVERIFY(std::all_of(mem.begin() + 0x30000, mem.begin() + 0x30000 + size,
                                [](auto b) { return b == 0xFF; }));
            QCOMPARE(mem[0x30000 - 1], std::uint8_t(0x00));
            QCOMPARE(mem[0x30000 + size], std::uint8_t(0x00));
        }
        for (std::uint8_t op : {0xC7, 0x60}) {
            std::fill(mem.begin(), mem.end(), 0x00);
            tx(chip, {op}); // no WEL
            QCOMPARE(mem[5], std::uint8_t(0x00));
            chip.keepBusy(true);
            tx(chip, {0x06});
            tx(chip, {op});
            chip.keepBusy(false);
            QCOMPARE(mem[5], std::uint8_t(0x00));
            tx(chip, {0x06});
            tx(chip, {op});
            QVERIFY(std::all_of(mem.begin(), mem.end(), [](auto b) { return b == 0xFF; }));
            chip.setBusyFor(0);
        }
    }

    void chipFourByteAddressing()
    {
        VirtualClock clock;
        auto big = createSimulatedChip("mx25l25645g", clock);
        QVERIFY(big);
        QCOMPARE(big->size(), 32u << 20);
        auto& mem = big->contents();
        mem[0x000010] = 0x11;
        mem[0x1000010] = 0x22;
        QCOMPARE(read3(*big, 0x000010, 1)[0], std::uint8_t(0x11));
        // Three address bytes reach only the low 16 MiB.
        QCOMPARE(tx(*big, {0x03, 0x01, 0x00, 0x00, 0x10}, 1)[0], std::uint8_t(0xFF));
        tx(*big, {0xB7});
        QCOMPARE(big->addressBytes(), 4);
        QCOMPARE(tx(*big, {0x03, 0x01, 0x00, 0x00, 0x10}, 1)[0], std::uint8_t(0x22));
        QCOMPARE(tx(*big, {0x03, 0x00, 0x00, 0x00, 0x10}, 1)[0], std::uint8_t(0x11));
        tx(*big, {0xE9});
        QCOMPARE(big->addressBytes(), 3);
        // A 16 MiB part has no 4-byte mode.
        auto small = createSimulatedChip("W25Q64", clock);
        tx(*small, {0xB7});
        QCOMPARE(small->addressBytes(), 3);
        QVERIFY(!createSimulatedChip("no such chip", clock));
    }

    // --- the engine over the simulated adapter

    void writeReadRoundTripAcrossPagesAndSectors()
    {
        VirtualClock clock;
        auto adapter = createDefaultSimulatedAdapter(clock);
        QCOMPARE(adapter->scanDevices(nullptr), 2);
        QVERIFY(adapter->openDevice(0));
        QCOMPARE(adapter->flashInit(0, kSpi1Cs0, 50000000, &kW25Q64), 0);
        const std::uint32_t address = 0x0FFF3; // 13 bytes before a sector end, mid-page
        const auto data = pattern(kMaxFlashTransfer, 7);
        QCOMPARE(adapter->flashWrite(0, kSpi1Cs0, address, data.data(), kMaxFlashTransfer), 0);
        SimulatedChip* chip = adapter->chip(0, kSpi1Cs0);
        // 13 bytes, 79 full pages, 243 bytes.
        QCOMPARE(chip->programCount(), 81);
        QVERIFY(std::equal(data.begin(), data.end(), chip->contents().begin() + address));
        QCOMPARE(chip->contents()[address - 1], std::uint8_t(0xFF));
        QCOMPARE(chip->contents()[address + kMaxFlashTransfer], std::uint8_t(0xFF));
        std::vector<std::uint8_t> back(kMaxFlashTransfer);
        QCOMPARE(adapter->flashRead(0, kSpi1Cs0, address, back.data(), kMaxFlashTransfer), 0);
        QCOMPARE(back, data);

        // Erase exactly sectors 16 and 17; program can then set bits again.
        QCOMPARE(adapter->flashEraseSectors(0, kSpi1Cs0, 16, 2), 0);
        const auto& mem = chip->contents();
        QVERIFY(std::equal(data.begin(), data.begin() + 13, mem.begin() + address));
        QVERIFY(std::all_of(mem.begin() + 0x10000, mem.begin() + 0x12000, [](auto b) { return b == 0xFF; }));
        QVERIFY(std::equal(data.begin() + 13 + 0x2000, data.end(), mem.begin() + 0x12000));
        std::uint8_t id[16] = {};
        QCOMPARE(adapter->flashReadId(0, kSpi1Cs0, id), 0);
        QCOMPARE(QByteArray(reinterpret_cast<char*>(id), 4), QByteArray("\xEF\x40\x17\x00", 4));
        // Programs only clear bits: writing 0xFF over data leaves it.
        const std::vector<std::uint8_t> ones(16, 0xFF);
        QCOMPARE(adapter->flashWrite(0, kSpi1Cs0, address, ones.data(), 16), 0);
        QCOMPARE(adapter->flashRead(0, kSpi1Cs0, address, back.data(), 13), 0);
        QVERIFY(std::equal(data.begin(), data.begin() + 13, back.begin()));
    }

    void fourByteChipThroughTheEngine()
    {
        VirtualClock clock;
        auto adapter = createDefaultSimulatedAdapter(clock);
        QVERIFY(adapter->openDevice(0));
        const SPIFlashConfig four = makeConfig(0xC2, 0x20, 0x19, 32u << 20, 4);
        const SPIFlashConfig three = makeConfig(0xC2, 0x20, 0x19, 32u << 20, 3);
        QCOMPARE(adapter->flashInit(0, kSpi2Cs0, 25000000, &four), 0);
        const std::uint8_t en4b = 0xB7;
        QCOMPARE(adapter->spiWriteBytes(0, kSpi2Cs0, &en4b, 1), 0);
        const auto data = pattern(3000, 3);
        QCOMPARE(adapter->flashWrite(0, kSpi2Cs0, 0x01FFF000, data.data(), 3000), 0);
        QCOMPARE(adapter->flashWrite(0, kSpi2Cs0, 0x00000100, data.data(), 3000), 0);
        SimulatedChip* chip = adapter->chip(0, kSpi2Cs0);
        QVERIFY(std::equal(data.begin(), data.end(), chip->contents().begin() + 0x01FFF000));
        std::vector<std::uint8_t> four_(3000), three_(3000);
        QCOMPARE(adapter->flashRead(0, kSpi2Cs0, 0x100, four_.data(), 3000), 0);
        const std::uint8_t ex4b = 0xE9;
        QCOMPARE(adapter->spiWriteBytes(0, kSpi2Cs0, &ex4b, 1), 0);
        QCOMPARE(adapter->flashInit(0, kSpi2Cs0, 25000000, &three), 0);
        QCOMPARE(adapter->flashRead(0, kSpi2Cs0, 0x100, three_.data(), 3000), 0);
        QCOMPARE(four_, data);
        QCOMPARE(three_, data);
        // With 3 address bytes the upper 16 MiB cannot be reached: refused rather than wrapped.
        const auto before = chip->contents()[0x1000];
        QCOMPARE(adapter->flashWrite(0, kSpi2Cs0, 0x01001000, data.data(), 16), AdapterErrorRange);
        QCOMPARE(adapter->flashEraseSectors(0, kSpi2Cs0, 0x1000, 1), AdapterErrorRange);
        QCOMPARE(chip->contents()[0x1000], before);
        // Nor is the upper half read as a copy of the lower one.
        QCOMPARE(adapter->flashRead(0, kSpi2Cs0, 0x01000100, three_.data(), 16), AdapterErrorRange);
        QCOMPARE(adapter->flashRead(0, kSpi2Cs0, 0x00FFFFF0, three_.data(), 17), AdapterErrorRange);
        QCOMPARE(three_, data);
    }

    // Reads stop at what the read address width can reach; past the chip's end within that reach
    // they pass through to the chip.
    void readsStopAtTheAddressReach_data()
    {
        QTest::addColumn<int>("addressBytes");
        QTest::addColumn<quint32>("address");
        QTest::addColumn<quint32>("count");
        QTest::addColumn<int>("result");
        const int ok = AdapterOk, range = AdapterErrorRange;
        QTest::newRow("1 byte, last byte") << 1 << 0xFFu << 1u << ok;
        QTest::newRow("1 byte, one past") << 1 << 0xF0u << 17u << range;
        QTest::newRow("2 bytes, up to the reach") << 2 << 0xFF00u << 256u << ok;
        QTest::newRow("2 bytes, past the reach") << 2 << 0x10000u << 1u << range;
        QTest::newRow("3 bytes, past the chip, within reach") << 3 << 0x00900000u << 4096u << ok;
        QTest::newRow("3 bytes, up to the reach") << 3 << 0x00FFF000u << 4096u << ok;
        QTest::newRow("3 bytes, across the reach") << 3 << 0x00FFF000u << 4097u << range;
        QTest::newRow("3 bytes, beyond the reach") << 3 << 0x01000000u << 16u << range;
        QTest::newRow("4 bytes, high address") << 4 << 0xFFFFF000u << 4096u << ok;
        QTest::newRow("4 bytes, across 4 GiB") << 4 << 0xFFFFF000u << 4097u << range;
    }
    void readsStopAtTheAddressReach()
    {
        QFETCH(int, addressBytes);
        QFETCH(quint32, address);
        QFETCH(quint32, count);
        QFETCH(int, result);
        VirtualClock clock;
        auto adapter = createDefaultSimulatedAdapter(clock);
        QVERIFY(adapter->openDevice(0));
        // The 8 MiB chip, however the record addresses it.
        const SPIFlashConfig config =
            makeConfig(0xEF, 0x40, 0x17, 8u << 20, static_cast<std::uint8_t>(addressBytes));
        QCOMPARE(adapter->flashInit(0, kSpi1Cs0, 50000000, &config), 0);
        // Erased: a read that reaches the chip fills the buffer with 0xFF, a refused one leaves it.
        std::vector<std::uint8_t> buffer(count, 0x55);
        QCOMPARE(adapter->flashRead(0, kSpi1Cs0, address, buffer.data(), count), result);
        const std::uint8_t expected = result == AdapterOk ? 0xFF : 0x55;
        QVERIFY(std::all_of(buffer.begin(), buffer.end(), [&](std::uint8_t b) { return b == expected; }));
    }

    void refusesWhatItCannotDoSafely()
    {
        VirtualClock clock;
        auto adapter = createDefaultSimulatedAdapter(clock);
        std::vector<std::uint8_t> buffer(kMaxFlashTransfer + 1, 0);
        // Not open, not configured.
        QVERIFY(adapter->flashInit(0, kSpi1Cs0, 50000000, &kW25Q64) != 0);
        QVERIFY(adapter->spiWriteBytes(0, kSpi1Cs0, buffer.data(), 1) != 0);
        QVERIFY(adapter->openDevice(0));
        QVERIFY(adapter->flashRead(0, kSpi1Cs0, 0, buffer.data(), 16) != 0);
        QVERIFY(adapter->flashReadId(0, kSpi1Cs0, buffer.data()) != 0);
        QVERIFY(adapter->flashInit(0, 0x02, 50000000, &kW25Q64) != 0); // no SPI3
        QVERIFY(adapter->flashInit(0, 0x50, 50000000, &kW25Q64) != 0); // no CS5
        QVERIFY(adapter->flashInit(0, kSpi1Cs0, 50000000, nullptr) != 0);
        QCOMPARE(adapter->flashInit(0, kSpi1Cs0, 50000000, &kW25Q64), 0);
        QVERIFY(adapter->flashRead(0, kSpi1Cs0, 0, buffer.data(), kMaxFlashTransfer + 1) != 0);
        QVERIFY(adapter->flashWrite(0, kSpi1Cs0, 0, buffer.data(), kMaxFlashTransfer + 1) != 0);
        QVERIFY(adapter->flashRead(0, kSpi1Cs0, 0, nullptr, 16) != 0);
        // Past the chip's end a write or erase would wrap onto its first bytes.
        SimulatedChip* chip = adapter->chip(0, kSpi1Cs0);
        QCOMPARE(adapter->flashWrite(0, kSpi1Cs0, (8u << 20) - 8, buffer.data(), 16), AdapterErrorRange);
        QCOMPARE(adapter->flashEraseSectors(0, kSpi1Cs0, 2047, 2), AdapterErrorRange);
        QCOMPARE(chip->programCount() + chip->eraseCount(), 0);
        QCOMPARE(adapter->flashWrite(0, kSpi1Cs0, (8u << 20) - 16, buffer.data(), 16), 0);
        // A record without geometry cannot be written.
        SPIFlashConfig detection{};
        detection.ReadID = 0x9F;
        detection.IDLength = 3;
        detection.ReadStatus = 0x05;
        QCOMPARE(adapter->flashInit(0, kSpi1Cs0, 390625, &detection), 0);
        QCOMPARE(adapter->flashReadId(0, kSpi1Cs0, buffer.data()), 0);
        QCOMPARE(buffer[2], std::uint8_t(0x17));
        QVERIFY(adapter->flashWrite(0, kSpi1Cs0, 0, buffer.data(), 16) != 0);
        QVERIFY(adapter->flashEraseSectors(0, kSpi1Cs0, 0, 1) != 0);
        // An ID longer than the 16-byte buffer is cut to it.
        detection.IDLength = 200;
        QCOMPARE(adapter->flashInit(0, kSpi1Cs0, 390625, &detection), 0);
        std::fill(buffer.begin(), buffer.end(), 0x77);
        QCOMPARE(adapter->flashReadId(0, kSpi1Cs0, buffer.data()), 0);
        QCOMPARE(buffer[15], std::uint8_t(0xFF));
        QCOMPARE(buffer[16], std::uint8_t(0x77));
        // An empty slot fails, raw transfers included; closing forgets the configuration.
        QVERIFY(adapter->flashInit(0, 0x10, 50000000, &kW25Q64) == 0);
        QVERIFY(adapter->flashReadId(0, 0x10, buffer.data()) != 0);
        QVERIFY(adapter->spiWriteReadBytes(0, 0x10, buffer.data(), 1, buffer.data(), 1, 0) != 0);
        adapter->closeDevice(0);
        QVERIFY(adapter->openDevice(0));
        QVERIFY(adapter->flashReadId(0, kSpi1Cs0, buffer.data()) != 0);
    }

    void busyChipFailsAfterTheBoundInsteadOfHanging()
    {
        VirtualClock clock;
        auto adapter = createDefaultSimulatedAdapter(clock);
        QVERIFY(adapter->openDevice(0));
        QCOMPARE(adapter->flashInit(0, kSpi1Cs0, 50000000, &kW25Q64), 0);
        SimulatedChip* chip = adapter->chip(0, kSpi1Cs0);
        const auto data = pattern(512, 1);
        chip->keepBusy(true);
        QCOMPARE(adapter->flashWrite(0, kSpi1Cs0, 0, data.data(), 512), AdapterErrorTimeout);
        QCOMPARE(adapter->flashEraseSectors(0, kSpi1Cs0, 0, 1), AdapterErrorTimeout);
        std::vector<std::uint8_t> back(512);
        QCOMPARE(adapter->flashRead(0, kSpi1Cs0, 0, back.data(), 512), AdapterErrorTimeout);
        QCOMPARE(chip->programCount() + chip->eraseCount(), 0);
        // Three waits of the ready bound, slept 1 ms at a time.
        QCOMPARE(clock.totalSleptMs, 3 * adapter->limits().readyTimeoutNs / 1000000);
        chip->keepBusy(false);

        // A program or erase that outlasts its own bound fails too.
        SimulatedChip::Timing slow;
        slow.pageProgramNs = 2 * adapter->limits().programTimeoutNs;
        slow.sectorEraseNs = 2 * adapter->limits().eraseTimeoutNs;
        chip->setTiming(slow);
        clock.totalSleptMs = 0;
        QCOMPARE(adapter->flashWrite(0, kSpi1Cs0, 0, data.data(), 512), AdapterErrorTimeout);
        QCOMPARE(chip->programCount(), 1);
        QCOMPARE(clock.totalSleptMs, adapter->limits().programTimeoutNs / 1000000);
        clock.advanceNanoseconds(slow.pageProgramNs);
        QCOMPARE(adapter->flashEraseSectors(0, kSpi1Cs0, 0, 1), AdapterErrorTimeout);
        QCOMPARE(chip->eraseCount(), 1);
        // With short busy times the default program time is polled through.
        chip->setTiming(SimulatedChip::Timing{});
        clock.advanceNanoseconds(slow.sectorEraseNs);
        QCOMPARE(adapter->flashWrite(0, kSpi1Cs0, 0x1000, data.data(), 512), 0);
        QVERIFY(std::equal(data.begin(), data.end(), chip->contents().begin() + 0x1000));
    }

    // --- adapters and firmware

    void defaultAdaptersAndDeviceInfo()
    {
        VirtualClock clock;
        auto adapter = createDefaultSimulatedAdapter(clock);
        int indices[kMaxAdapters] = {};
        QCOMPARE(adapter->scanDevices(indices), 2);
        QCOMPARE(indices[0], 0);
        QCOMPARE(indices[1], 1);
        QCOMPARE(adapter->chip(0, kSpi1Cs0)->size(), 8u << 20);
        QCOMPARE(adapter->chip(0, kSpi2Cs0)->jedecId(), (std::vector<std::uint8_t>{0xC2, 0x20, 0x19}));
        QCOMPARE(adapter->chip(1, kSpi1Cs0)->jedecId(), (std::vector<std::uint8_t>{0xC8, 0x40, 0x15}));
        QVERIFY(adapter->chip(1, kSpi2Cs0) == nullptr);
        QVERIFY(!adapter->openDevice(2));
        QVERIFY(adapter->openDevice(1));
        QVERIFY(adapter->openDevice(1)); // already open
        DEVICE_INFO info{};
        char functions[kDeviceFunctionsTextSize];
        std::memset(functions, 0x55, sizeof functions);
        QVERIFY(adapter->getDeviceInfo(1, &info, functions));
        QCOMPARE(QByteArray(info.FirmwareName), QByteArray("SPI Flash Adapter"));
        QCOMPARE(info.FirmwareVersion, 0x0103000Au);
        QCOMPARE(info.HardwareVersion, 0x01000000u);
        QCOMPARE(info.ModeFlags & 1u, 0u);
        QVERIFY(std::memchr(functions, 0, sizeof functions) != nullptr);
        // A text that fills the whole buffer arrives without NUL and nothing beyond it is touched.
        adapter->setFunctionsText(1, std::string(300, 'F'));
        char guarded[kDeviceFunctionsTextSize + 1];
        guarded[kDeviceFunctionsTextSize] = 0x42;
        QVERIFY(adapter->getDeviceInfo(1, &info, guarded));
        QCOMPARE(QByteArray(guarded, kDeviceFunctionsTextSize), QByteArray(kDeviceFunctionsTextSize, 'F'));
        QCOMPARE(guarded[kDeviceFunctionsTextSize], char(0x42));
        adapter->setConnected(0, false);
        QCOMPARE(adapter->scanDevices(indices), 1);
        QCOMPARE(indices[0], 1);
        adapter->setAdapterCount(0);
        QCOMPARE(adapter->scanDevices(nullptr), 0);
        QVERIFY(!adapter->getDeviceInfo(1, &info, functions));
    }

    void chipListAndImagesBetweenRuns()
    {
        VirtualClock clock;
        QTemporaryDir dir;
        {
            auto adapter = createDefaultSimulatedAdapter(clock);
            QVERIFY(!attachSimulatedChips(*adapter, clock, "0:00=W25Q64,1:02=GD25Q16")); // no SPI3
            QVERIFY(!attachSimulatedChips(*adapter, clock, "0:00=NOPE"));
            QVERIFY(adapter->chip(0, kSpi2Cs0) != nullptr); // unchanged
            QVERIFY(attachSimulatedChips(*adapter, clock, " 2:41 = w25q128 ; 0:10=GD25Q16"));
            QCOMPARE(adapter->scanDevices(nullptr), 3);
            QVERIFY(adapter->chip(0, kSpi1Cs0) == nullptr);
            QCOMPARE(adapter->chip(2, 0x41)->size(), 16u << 20);
            adapter->chip(0, 0x10)->contents()[123] = 0x42;
            adapter->setImageDirectory(dir.path().toStdString());
            QCOMPARE(adapter->loadImages(), 0); // the chip with data keeps it, the other has no image
            // In the files at once, not when the adapter ends.
            QVERIFY(QFile::exists(dir.filePath("adapter0-SPI1-CS1.bin")));
            QVERIFY(QFile::exists(dir.filePath("adapter2-SPI2-CS4.bin")));
        }
        auto again = createDefaultSimulatedAdapter(clock);
        QVERIFY(attachSimulatedChips(*again, clock, "2:41=W25Q128,0:10=GD25Q16,0:00=W25Q64"));
        again->setImageDirectory(dir.path().toStdString());
        QCOMPARE(again->loadImages(), 2); // no image for 0:00 yet
        QCOMPARE(again->chip(0, 0x10)->contents()[123], std::uint8_t(0x42));
        // An image of another size is not taken.
        QVERIFY(attachSimulatedChips(*again, clock, "0:10=W25Q64"));
        QCOMPARE(again->loadImages(), 0);
        QCOMPARE(again->chip(0, 0x10)->contents()[123], std::uint8_t(0xFF));
        again->setImageDirectory({});
    }

    // A change the chip's file cannot take (past a file size limit, standing for a failing disk)
    // fails the transfer that made it, mid-write; the chip then holds what its file holds.
    void changeThatCannotBeStoredFailsTheWrite()
    {
        VirtualClock clock;
        QTemporaryDir dir;
        auto adapter = createDefaultSimulatedAdapter(clock);
        adapter->setImageDirectory(dir.path().toStdString());
        QVERIFY(adapter->openDevice(0));
        QCOMPARE(adapter->flashInit(0, kSpi1Cs0, 50000000, &kW25Q64), 0);
        QCOMPARE(adapter->loadImages(), 0); // every file made in full
        const std::uint32_t address = (1u << 20) - 0x1000;
        const auto data = pattern(kMaxFlashTransfer, 11);
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        const rlimit limited{1u << 20, saved.rlim_max};
        std::signal(SIGXFSZ, SIG_IGN);
        QVERIFY(setrlimit(RLIMIT_FSIZE, &limited) == 0);
        const int written = adapter->flashWrite(0, kSpi1Cs0, address, data.data(), kMaxFlashTransfer);
        setrlimit(RLIMIT_FSIZE, &saved);
        QCOMPARE(written, int(AdapterErrorStorage));
        QVERIFY(QString::fromStdString(adapter->failureDetail(0)).endsWith("CS0.bin: File too large"));
        const QByteArray expected = QByteArray(reinterpret_cast<const char*>(data.data()), 0x1000) +
                                    QByteArray(kMaxFlashTransfer - 0x1000, char(0xFF));
        QFile file(dir.filePath("adapter0-SPI1-CS0.bin"));
        QVERIFY(file.open(QIODevice::ReadOnly) && file.seek(address));
        QCOMPARE(file.read(kMaxFlashTransfer), expected);
        std::vector<std::uint8_t> back(kMaxFlashTransfer);
        QCOMPARE(adapter->flashRead(0, kSpi1Cs0, address, back.data(), kMaxFlashTransfer), 0);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(back.data()), kMaxFlashTransfer), expected);
        // The adapter holds the files of the chips it uses as long as it lives.
        const int probe = ::open(QFile::encodeName(file.fileName()).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(probe >= 0 && flock(probe, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK);
        ::close(probe);
    }

    void firmwareUpgradeSequence()
    {
        VirtualClock clock;
        auto adapter = createDefaultSimulatedAdapter(clock);
        QTemporaryDir dir;
        const auto image = pattern(5120 * 2 + 100, 99);
        const QByteArray digest = md5(image.data(), image.size());
        QFile file(dir.filePath("fw.bin"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(image.data()), static_cast<qint64>(image.size()));
        file.write(digest);
        file.close();
        const QByteArray path = file.fileName().toLocal8Bit();
        QVERIFY(adapter->checkFirmwareFile(path.constData()));
        QFile bad(dir.filePath("bad.bin"));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write(QByteArray(16, 'x'));
        bad.close();
        QVERIFY(
            !adapter->checkFirmwareFile(bad.fileName().toLocal8Bit().constData())); // no data before the MD5
        QVERIFY(!adapter->checkFirmwareFile(dir.filePath("missing.bin").toLocal8Bit().constData()));

        const std::uint32_t base = SimulatedAdapter::kApplicationAddress;
        QVERIFY(adapter->openDevice(0));
        // The application cannot rewrite itself.
        QVERIFY(!adapter->eraseFirmware(0, base, base + 16));
        adapter->jumpToAddress(0, SimulatedAdapter::kUpgradeCodeAddress);
        adapter->closeDevice(0);
        // Gone for the restart time on the clock, however often anyone scans or opens meanwhile.
        for (int i = 0; i < 20; ++i) {
            QCOMPARE(adapter->scanDevices(nullptr), 1);
            QVERIFY(!adapter->openDevice(0));
        }
        clock.sleep(SimulatedAdapter::kDefaultRestartMs - 1);
        QCOMPARE(adapter->scanDevices(nullptr), 1);
        QVERIFY(!adapter->openDevice(0));
        QVERIFY(adapter->isRestarting(0));
        clock.sleep(1);
        QVERIFY(!adapter->isRestarting(0));
        // Back for an open that no scan came before.
        QVERIFY(adapter->openDevice(0));
        QCOMPARE(adapter->scanDevices(nullptr), 2);
        DEVICE_INFO info{};
        char functions[kDeviceFunctionsTextSize] = {};
        QVERIFY(adapter->getDeviceInfo(0, &info, functions));
        QCOMPARE(info.ModeFlags & 1u, 1u);

        const std::uint32_t dataLength = static_cast<std::uint32_t>(image.size());
        QVERIFY(!adapter->writeFirmware(0, base, image.data(), 5120, 1)); // not erased yet
        QVERIFY(adapter->eraseFirmware(0, base, base + dataLength + 16));
        QVERIFY(!adapter->writeFirmware(0, base - 16, image.data(), 16, 1));
        QVERIFY(!adapter->writeFirmware(0, base + SimulatedAdapter::kApplicationAreaSize - 8, image.data(),
                                        16, 1));
        for (std::uint32_t at = 0; at < dataLength; at += 5120) {
            const std::uint32_t n = std::min<std::uint32_t>(5120, dataLength - at);
            QVERIFY(adapter->writeFirmware(0, base + at, image.data() + at, n, 1));
        }
        QVERIFY(!adapter->writeFirmware(0, base, image.data(), 16, 1)); // written already
        QVERIFY(!adapter->writeFirmware(0, base + dataLength,
                                        reinterpret_cast<const std::uint8_t*>(digest.constData()), 15, 0));
        QVERIFY(adapter->writeFirmware(0, base + dataLength,
                                       reinterpret_cast<const std::uint8_t*>(digest.constData()), 16, 0));
        QVERIFY(!adapter->checkFirmwareMd5(0, base, dataLength - 1));
        QVERIFY(adapter->checkFirmwareMd5(0, base, dataLength));
        adapter->jumpToAddress(0, base);
        adapter->closeDevice(0);
        QVERIFY(adapter->isRestarting(0));
        QCOMPARE(adapter->scanDevices(nullptr), 1);
        // A longer restart is as long for scans and opens.
        clock.sleep(SimulatedAdapter::kDefaultRestartMs);
        QCOMPARE(adapter->scanDevices(nullptr), 2);
        adapter->setRestartTime(0, 3000);
        QVERIFY(adapter->openDevice(0));
        adapter->jumpToAddress(0, base);
        clock.sleep(2999);
        QVERIFY(!adapter->openDevice(0));
        QCOMPARE(adapter->scanDevices(nullptr), 1);
        clock.sleep(1);
        QCOMPARE(adapter->scanDevices(nullptr), 2);
        QVERIFY(adapter->openDevice(0));
        QVERIFY(!adapter->inUpgradeMode(0));
        QCOMPARE(adapter->runningApplication(0), image);
        QVERIFY(std::equal(image.begin(), image.end(), adapter->applicationArea(0).begin()));
    }

    void firmwareFailuresAndRestartKnobs()
    {
        VirtualClock clock;
        auto adapter = createDefaultSimulatedAdapter(clock);
        const std::uint32_t base = SimulatedAdapter::kApplicationAddress;
        adapter->setRestartTime(0, 0);
        // A corrupted image fails the check and the adapter keeps its upgrade code after the jump.
        adapter->setUpgradeMode(0, true);
        QVERIFY(adapter->openDevice(0));
        auto image = pattern(200, 5);
        const QByteArray digest = md5(image.data(), image.size());
        image[10] ^= 1;
        QVERIFY(adapter->eraseFirmware(0, base, base + 216));
        QVERIFY(adapter->writeFirmware(0, base, image.data(), 200, 1));
        QVERIFY(adapter->writeFirmware(0, base + 200,
                                       reinterpret_cast<const std::uint8_t*>(digest.constData()), 16, 0));
        QVERIFY(!adapter->checkFirmwareMd5(0, base, 200));
        adapter->jumpToAddress(0, base);
        QVERIFY(adapter->openDevice(0));
        QVERIFY(adapter->inUpgradeMode(0));
        QVERIFY(adapter->runningApplication(0).empty());

        // Reappears, but still running the application.
        adapter->setUpgradeMode(0, false);
        adapter->setIgnoreUpgradeJump(0, true);
        adapter->jumpToAddress(0, SimulatedAdapter::kUpgradeCodeAddress);
        QCOMPARE(adapter->restartCount(0), 2);
        QCOMPARE(adapter->scanDevices(nullptr), 2);
        QVERIFY(adapter->openDevice(0));
        QVERIFY(!adapter->inUpgradeMode(0));
        // Never reappears: missing from every scan, cannot be opened.
        adapter->setNeverReappear(0, true);
        adapter->setRestartTime(0, 1500);
        adapter->jumpToAddress(0, SimulatedAdapter::kUpgradeCodeAddress);
        for (int scan = 0; scan < 60; ++scan) {
            clock.sleep(500);
            QCOMPARE(adapter->scanDevices(nullptr), 1);
        }
        QVERIFY(!adapter->openDevice(0));
        QVERIFY(adapter->isRestarting(0));
        // Jumps anywhere else, or to a closed adapter, do nothing.
        QVERIFY(adapter->openDevice(1));
        adapter->jumpToAddress(1, 0x08010000);
        adapter->closeDevice(1);
        adapter->jumpToAddress(1, SimulatedAdapter::kUpgradeCodeAddress);
        QCOMPARE(adapter->restartCount(1), 0);
    }

    // --- fault injection and the call log, for every operation

    void faultInjectionAndLog_data()
    {
        QTest::addColumn<int>("op");
        for (AdapterOp op : kAllAdapterOps)
            QTest::newRow(adapterOpName(op)) << static_cast<int>(op);
    }

    void faultInjectionAndLog()
    {
        QFETCH(int, op);
        const AdapterOp tested = static_cast<AdapterOp>(op);
        VirtualClock clock;
        auto adapter = createDefaultTestAdapter(clock);
        RecordingAdapter& a = *adapter;
        SimulatedAdapter& sim = adapter->sim();
        const std::uint32_t base = SimulatedAdapter::kApplicationAddress;
        sim.setRestartTime(0, 0);
        sim.setUpgradeMode(0, true);
        QVERIFY(a.openDevice(0));
        QCOMPARE(a.flashInit(0, kSpi1Cs0, 50000000, &kW25Q64), 0);
        a.clearLog();
        const auto bytes = pattern(100, 11);
        const QByteArray digest = md5(bytes.data(), bytes.size());
        auto& area = sim.applicationArea(0);
        std::copy(bytes.begin(), bytes.end(), area.begin() + 0x40000);
        std::memcpy(area.data() + 0x40000 + 100, digest.constData(), 16);
        QTemporaryDir dir;
        QFile file(dir.filePath("image.bin"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(bytes.data()), 100);
        file.write(digest);
        file.close();
        const QByteArray path = file.fileName().toLocal8Bit();
        std::uint32_t nextWrite = base + 0x1000;

        // Brings the adapter into the state in which the operation succeeds, without calling it.
        auto prepare = [&] {
            if (tested != AdapterOp::OpenDevice && !sim.isOpen(0))
                a.openDevice(0);
            if (tested != AdapterOp::FlashInit && !sim.isConfigured(0, kSpi1Cs0))
                a.flashInit(0, kSpi1Cs0, 50000000, &kW25Q64);
            if (tested == AdapterOp::WriteFirmware)
                a.eraseFirmware(0, nextWrite, nextWrite + 16);
        };
        std::vector<std::uint8_t> buffer(64);
        auto run = [&]() -> int {
            switch (tested) {
            case AdapterOp::ScanDevices:
                return a.scanDevices(nullptr) == 2;
            case AdapterOp::OpenDevice:
                return a.openDevice(0);
            case AdapterOp::CloseDevice:
                a.closeDevice(0);
                return !sim.isOpen(0);
            case AdapterOp::GetDeviceInfo: {
                DEVICE_INFO info{};
                char functions[kDeviceFunctionsTextSize];
                return a.getDeviceInfo(0, &info, functions);
            }
            case AdapterOp::EraseFirmware:
                return a.eraseFirmware(0, base + 0x100, base + 0x200);
            case AdapterOp::WriteFirmware:
                nextWrite += 16;
                return a.writeFirmware(0, nextWrite - 16, bytes.data(), 16, 1);
            case AdapterOp::JumpToAddress: {
                const int before = sim.restartCount(0);
                a.jumpToAddress(0, SimulatedAdapter::kUpgradeCodeAddress);
                return sim.restartCount(0) == before + 1;
            }
            case AdapterOp::CheckFirmwareMd5:
                return a.checkFirmwareMd5(0, base + 0x40000, 100);
            case AdapterOp::CheckFirmwareFile:
                return a.checkFirmwareFile(path.constData());
            case AdapterOp::SpiWriteBytes:
                return a.spiWriteBytes(0, kSpi1Cs0, bytes.data(), 4);
            case AdapterOp::SpiWriteReadBytes: {
                const std::uint8_t rdid = 0x9F;
                return a.spiWriteReadBytes(0, kSpi1Cs0, &rdid, 1, buffer.data(), 3, 0);
            }
            case AdapterOp::FlashInit:
                return a.flashInit(0, kSpi1Cs0, 50000000, &kW25Q64);
            case AdapterOp::FlashReadId:
                return a.flashReadId(0, kSpi1Cs0, buffer.data());
            case AdapterOp::FlashEraseSectors:
                return a.flashEraseSectors(0, kSpi1Cs0, 5, 1);
            case AdapterOp::FlashWrite:
                return a.flashWrite(0, kSpi1Cs0, 0x100, bytes.data(), 16);
            case AdapterOp::FlashRead:
                return a.flashRead(0, kSpi1Cs0, 0, buffer.data(), 64);
            }
            return -100;
        };
        const bool intResult = op >= 300;
        auto succeeds = [&] {
            prepare();
            const int result = run();
            return intResult ? result == 0 : result == 1;
        };

        a.setFailureCode(7);
        a.failCall(tested, 2);
        QVERIFY(succeeds());
        QVERIFY(!succeeds());
        QVERIFY(succeeds());
        a.failAllCalls(tested);
        QVERIFY(!succeeds());
        QCOMPARE(run(), intResult ? 7 : 0);
        a.failAllCalls(tested, false);
        QVERIFY(succeeds());
        a.failCall(tested, 1);
        a.clearFaults();
        QVERIFY(succeeds());

        const auto calls = a.callsOf(tested);
        std::vector<bool> injected;
        for (const AdapterCall& call : calls)
            injected.push_back(call.injected);
        QCOMPARE(injected, (std::vector<bool>{false, true, false, true, true, false, false}));
        QCOMPARE(calls.back().op, tested);
        QCOMPARE(calls.back().device,
                 tested == AdapterOp::ScanDevices || tested == AdapterOp::CheckFirmwareFile ? -1 : 0);
        if (intResult) {
            QCOMPARE(calls[1].result, 7);
            QCOMPARE(calls.back().selector, kSpi1Cs0);
        }
    }

    void callLogRecordsArguments()
    {
        VirtualClock clock;
        auto adapter = createDefaultTestAdapter(clock);
        QVERIFY(adapter->openDevice(1));
        QCOMPARE(adapter->flashInit(1, kSpi1Cs0, 12500000, &kW25Q64), 0);
        const std::uint8_t rdsr = 0x05;
        std::uint8_t status = 0xAA;
        QCOMPARE(adapter->spiWriteReadBytes(1, kSpi1Cs0, &rdsr, 1, &status, 1, 0), 0);
        const std::uint8_t wren[] = {0x06, 0x04};
        QCOMPARE(adapter->spiWriteBytes(1, kSpi1Cs0, wren, 2), 0);
        QCOMPARE(adapter->flashEraseSectors(1, kSpi1Cs0, 9, 2), 0);
        const auto& log = adapter->calls();
        QCOMPARE(
            adapter->sequence(),
            (std::vector<AdapterOp>{AdapterOp::OpenDevice, AdapterOp::FlashInit, AdapterOp::SpiWriteReadBytes,
                                    AdapterOp::SpiWriteBytes, AdapterOp::FlashEraseSectors}));
        QCOMPARE(log[1].clockHz, 12500000u);
        QCOMPARE(log[1].config.FlashID[2], std::uint8_t(0x17));
        QCOMPARE(log[2].sent, std::vector<std::uint8_t>{0x05});
        QCOMPARE(log[2].received, std::vector<std::uint8_t>{status});
        QCOMPARE(log[2].receiveCount, 1);
        QCOMPARE(log[3].sent, (std::vector<std::uint8_t>{0x06, 0x04}));
        QCOMPARE(log[4].address, 9u);
        QCOMPARE(log[4].count, 2u);
        std::vector<std::uint8_t> block(kMaxFlashTransfer);
        adapter->clearLog();
        // A 2 MiB chip read in 20480-byte blocks: 102 full blocks and one of 8192 bytes.
        const std::uint32_t size = 2u << 20;
        for (std::uint32_t at = 0; at < size; at += kMaxFlashTransfer)
            QCOMPARE(
                adapter->flashRead(1, kSpi1Cs0, at, block.data(), std::min(kMaxFlashTransfer, size - at)), 0);
        const auto reads = adapter->callsOf(AdapterOp::FlashRead);
        QCOMPARE(int(reads.size()), 103);
        QCOMPARE(adapter->countOf(AdapterOp::FlashRead), 103);
        QVERIFY(std::all_of(reads.begin(), reads.end() - 1,
                            [](const AdapterCall& c) { return c.count == 20480; }));
        QCOMPARE(reads.back().count, 8192u);
        QCOMPARE(reads.back().address, 102u * 20480u);
        QCOMPARE(reads.back().device, 1);
        QCOMPARE(reads.back().selector, kSpi1Cs0);
        adapter->clearLog();
        adapter->setLogging(false);
        QCOMPARE(adapter->flashRead(1, kSpi1Cs0, 0, block.data(), 16), 0);
        QVERIFY(adapter->calls().empty());
    }
};

QTEST_GUILESS_MAIN(TestAdapter)
#include "tst_adapter.moc"
