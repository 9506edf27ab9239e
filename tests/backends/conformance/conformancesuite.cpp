#include "tests/backends/conformance/conformancesuite.h"

#include "core/adapter/adapterlibrary.h"
#include "core/adapter/adapterresult.h"
#include "core/base/clock.h"
#include "core/chip/chiplist.h"
#include "backends/simulated/simulatedchip.h"
#include "core/adapter/adapterresult.h"
#include "core/operations/flashoperations.h"
#include "core/operations/operationsession.h"
#include "tests/support/testchips.h"

#include <QTest>

#include <algorithm>
#include <cstring>

using namespace korvane;

namespace {

std::vector<std::uint8_t> pattern(std::size_t size, std::uint32_t seed)
{
    std::vector<std::uint8_t> data(size);
    for (auto& byte : data) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(seed >> 16);
    }
    return data;
}

// Checks that progress only moves forward and ends where the work did.
class CountingProgress : public OperationProgress
{
public:
    void advanced(std::int64_t value) override
    {
        if (value <= done)
            backwards = true;
        done = value;
    }
    std::int64_t done = 0;
    bool backwards = false;
};

FlashTarget targetOf(ConformanceRig& rig)
{
    FlashTarget target;
    target.deviceIndex = rig.deviceIndex();
    target.selector = rig.selector();
    target.clockHz = 50000000;
    target.chip = rig.chip();
    return target;
}

// The opening steps, as every front end runs them before an operation.
bool opened(ConformanceRig& rig, FlashOperation operation)
{
    std::uint8_t id[kIdBufferSize];
    const FlashTarget target = targetOf(rig);
    const OperationResult result =
        openFlash(rig.library(), target, addressBytesFor(operation, target.chip.Config), id);
    return result.ok() && idMatches(target.chip, id);
}

// A user who says yes to everything, as --yes --unprotect does.
class YesToAll : public SessionQuestions
{
public:
    bool acceptOtherId(const std::uint8_t*, int) override { return true; }
    bool acceptOtherSize(std::uint64_t, std::uint64_t) override { return true; }
    ProtectionAnswer protectedRange(const StatusLayout&, const Protection&) override
    {
        ++protections;
        return ProtectionAnswer::Clear;
    }
    bool acceptBlockLocks(const StatusLayout&, const Protection&) override { return true; }
    int protections = 0;
};

constexpr std::uint32_t kMiB = 1u << 20;

} // namespace

const char* conformanceModel(ConformanceChip chip)
{
    return chip == ConformanceChip::Small ? "GD25Q16" : "MX25L25645G";
}

CHIP_INFO conformanceRecord(ConformanceChip chip)
{
    return chip == ConformanceChip::Small
               ? makeTestChip("GigaDevice", "GD25Q16", {0xC8, 0x40, 0x15}, 2 << 20)
               : makeTestChip("Macronix", "MX25L25645G", {0xC2, 0x20, 0x19}, 32 << 20, 4096, 4);
}

void ConformanceSuite::init()
{
    rig = factory(ConformanceChip::Small);
    QVERIFY(rig);
}

bool ConformanceSuite::useLargeChip()
{
    rig.reset();
    rig = factory(ConformanceChip::Large);
    return rig != nullptr;
}

void ConformanceSuite::cleanup()
{
    rig.reset();
}

void ConformanceSuite::detectsTheChip()
{
    std::uint8_t id[kIdBufferSize];
    const OperationResult read = readChipId(rig->library(), rig->deviceIndex(), rig->selector(), id);
    QVERIFY2(read.ok(), qPrintable(operationResultText(read)));
    const CHIP_INFO chip = rig->chip();
    QVERIFY(std::equal(id, id + 3, chip.Config.FlashID));
    QCOMPARE(chipsWithId(QList<CHIP_INFO>{chip}, id).size(), 1);
}

void ConformanceSuite::readsWhatTheChipHolds()
{
    auto& memory = rig->memory();
    const auto data = pattern(memory.size(), 3);
    std::copy(data.begin(), data.end(), memory.begin());
    QVERIFY(opened(*rig, FlashOperation::Read));
    std::vector<std::uint8_t> back(memory.size(), 0);
    CountingProgress progress;
    const OperationResult read = readFlash(rig->library(), targetOf(*rig), 0, back.data(),
                                           static_cast<std::uint32_t>(back.size()), progress);
    QVERIFY2(read.ok(), qPrintable(operationResultText(read)));
    QVERIFY(back == data);
    QCOMPARE(progress.done, std::int64_t(back.size()));
    QVERIFY(!progress.backwards);
}

void ConformanceSuite::writesAcrossPagesAndVerifies()
{
    auto& memory = rig->memory();
    std::fill(memory.begin(), memory.end(), 0xFF);
    // Starts mid-page, crosses sector boundaries, ends mid-page, and spans several blocks.
    const std::uint32_t start = 0x0FFF3;
    const auto data = pattern(2 * kMaxFlashTransfer + 1000, 5);
    QVERIFY(opened(*rig, FlashOperation::Write));
    CountingProgress progress;
    const OperationResult written = writeFlash(rig->library(), targetOf(*rig), start, data.data(),
                                               static_cast<std::uint32_t>(data.size()), progress);
    QVERIFY2(written.ok(), qPrintable(operationResultText(written)));
    QVERIFY(std::equal(data.begin(), data.end(), memory.begin() + start));
    QCOMPARE(memory[start - 1], std::uint8_t(0xFF));
    QCOMPARE(memory[start + data.size()], std::uint8_t(0xFF));

    QVERIFY(opened(*rig, FlashOperation::Verify));
    OperationResult verified = verifyFlash(rig->library(), targetOf(*rig), start, data.data(),
                                           static_cast<std::uint32_t>(data.size()), progress);
    QVERIFY2(verified.ok(), qPrintable(operationResultText(verified)));
    memory[start + 30000] ^= 0x01;
    memory[start + 40000] ^= 0x80;
    verified = verifyFlash(rig->library(), targetOf(*rig), start, data.data(),
                           static_cast<std::uint32_t>(data.size()), progress);
    QCOMPARE(verified.status, OperationStatus::VerifyMismatch);
    QCOMPARE(verified.count, std::uint64_t(2));
    QCOMPARE(verified.address, std::uint64_t(start + 30000));
}

void ConformanceSuite::erasesSectorsExactly()
{
    auto& memory = rig->memory();
    std::fill(memory.begin(), memory.end(), 0x00);
    const CHIP_INFO chip = rig->chip();
    const std::size_t sector = static_cast<std::size_t>(chip.Config.SectorSize);
    QVERIFY(opened(*rig, FlashOperation::EraseSectors));
    CountingProgress progress;
    const OperationResult erased = eraseSectors(rig->library(), targetOf(*rig), 3, 2, progress);
    QVERIFY2(erased.ok(), qPrintable(operationResultText(erased)));
    QCOMPARE(progress.done, std::int64_t(2));
    QCOMPARE(memory[3 * sector - 1], std::uint8_t(0x00));
    QVERIFY(std::all_of(memory.begin() + 3 * sector, memory.begin() + 5 * sector,
                        [](auto b) { return b == 0xFF; }));
    QCOMPARE(memory[5 * sector], std::uint8_t(0x00));
}

void ConformanceSuite::erasesTheChip()
{
    auto& memory = rig->memory();
    std::fill(memory.begin(), memory.end(), 0x5A);
    QVERIFY(opened(*rig, FlashOperation::EraseChip));
    OperationProgress progress;
    const OperationResult erased = eraseChip(rig->library(), targetOf(*rig), rig->clock(), progress);
    QVERIFY2(erased.ok(), qPrintable(operationResultText(erased)));
    QVERIFY(std::all_of(memory.begin(), memory.end(), [](auto b) { return b == 0xFF; }));
}

void ConformanceSuite::failureInTheMiddle_data()
{
    QTest::addColumn<int>("operation");
    QTest::newRow("read") << int(FlashOperation::Read);
    QTest::newRow("write") << int(FlashOperation::Write);
    QTest::newRow("verify") << int(FlashOperation::Verify);
    QTest::newRow("erase sectors") << int(FlashOperation::EraseSectors);
    QTest::newRow("erase chip") << int(FlashOperation::EraseChip);
}

void ConformanceSuite::failureInTheMiddle()
{
    QFETCH(int, operation);
    const auto op = static_cast<FlashOperation>(operation);
    auto& memory = rig->memory();
    std::fill(memory.begin(), memory.end(), 0xFF);
    const auto data = pattern(3 * kMaxFlashTransfer, 9);
    std::vector<std::uint8_t> buffer(data.size(), 0x11);
    const auto run = [&] {
        CountingProgress progress;
        const FlashTarget target = targetOf(*rig);
        switch (op) {
        case FlashOperation::Read:
            return readFlash(rig->library(), target, 0, buffer.data(), std::uint32_t(buffer.size()),
                             progress);
        case FlashOperation::Write:
            return writeFlash(rig->library(), target, 0, data.data(), std::uint32_t(data.size()), progress);
        case FlashOperation::Verify:
            return verifyFlash(rig->library(), target, 0, memory.data(), std::uint32_t(data.size()),
                               progress);
        case FlashOperation::EraseSectors:
            return eraseSectors(rig->library(), target, 0, 8, progress);
        case FlashOperation::EraseChip:
            break;
        }
        return eraseChip(rig->library(), target, rig->clock(), progress);
    };

    QVERIFY(opened(*rig, op));
    // A few transfers into the work, after the first block, page or sector went through (a block
    // read is a status poll and the read; a page a write enable, the program and a poll).
    const int transfers = op == FlashOperation::Read || op == FlashOperation::Verify ? 3
                          : op == FlashOperation::Write                              ? 12
                          : op == FlashOperation::EraseSectors                       ? 6
                                                                                     : 2;
    rig->breakAfter(transfers);
    const OperationResult broken = run();
    QVERIFY2(!broken.ok(), "a broken link was reported as success");
    QVERIFY(broken.status == OperationStatus::TransferFailed || broken.status == OperationStatus::Timeout);
    if (op == FlashOperation::Read)
        QVERIFY(
            std::all_of(buffer.begin() + kMaxFlashTransfer, buffer.end(), [](auto b) { return b == 0x11; }));

    // Mended (plugged in again), and with the chip done with whatever it was doing, the next
    // operation starts afresh and works.
    rig->breakAfter(-1);
    rig->clock().sleep(1000);
    QVERIFY(opened(*rig, op));
    std::fill(memory.begin(), memory.end(), 0xFF);
    const OperationResult again = run();
    QVERIFY2(again.ok(), qPrintable(operationResultText(again)));
}

void ConformanceSuite::fourByteAddressesAcrossSixteenMiB()
{
    if (!useLargeChip())
        QSKIP("this backend's chip cannot be changed");
    auto& memory = rig->memory();
    const auto old = pattern(memory.size(), 21);
    std::copy(old.begin(), old.end(), memory.begin());
    // Pages just below and above 16 MiB, and the last bytes of the chip: a 3-byte address would
    // land them 16 MiB lower.
    const std::uint32_t low = 16 * kMiB - 700;
    const std::uint32_t top = 32 * kMiB - 600;
    std::fill(memory.begin() + low, memory.begin() + low + 1400, 0xFF);
    std::fill(memory.begin() + top, memory.end(), 0xFF);
    const auto data = pattern(1400, 22);
    QVERIFY(opened(*rig, FlashOperation::Write));
    CountingProgress progress;
    const FlashTarget target = targetOf(*rig);
    QVERIFY(writeFlash(rig->library(), target, low, data.data(), 1400, progress).ok());
    QVERIFY(writeFlash(rig->library(), target, top, data.data(), 600, progress).ok());
    QVERIFY(std::equal(data.begin(), data.end(), memory.begin() + low));
    QVERIFY(std::equal(data.begin(), data.begin() + 600, memory.begin() + top));
    QVERIFY(std::equal(old.begin(), old.begin() + 16 * kMiB - 1400, memory.begin()));
    std::vector<std::uint8_t> back(64 * 1024);
    QVERIFY(readFlash(rig->library(), target, 16 * kMiB - 32 * 1024, back.data(), std::uint32_t(back.size()),
                      progress)
                .ok());
    QVERIFY(std::equal(back.begin(), back.end(), memory.begin() + 16 * kMiB - 32 * 1024));
    // Past the last byte nothing is sent: it would wrap onto the first.
    QCOMPARE(rig->library().flashWrite(rig->deviceIndex(), rig->selector(), 32 * kMiB - 16, data.data(), 32),
             int(AdapterErrorRange));
}

void ConformanceSuite::erasesBlocksOfARange()
{
    if (!useLargeChip())
        QSKIP("this backend's chip cannot be changed");
    auto& memory = rig->memory();
    std::fill(memory.begin(), memory.end(), 0x00);
    YesToAll answers;
    OperationSession session(rig->library(), rig->clock(), answers, targetOf(*rig));
    QVERIFY(session.open(FlashOperation::EraseSectors).ok());
    // 4 KiB below 16 MiB, then a 64 KiB and a 32 KiB block and a 4 KiB sector above it.
    const std::uint64_t from = 16 * kMiB - 4096;
    const std::uint64_t to = 16 * kMiB + 0x10000 + 0x8000 + 0x1000;
    CountingProgress progress;
    std::uint64_t erased = 0;
    const OperationResult result = session.eraseRange(from, to, progress, &erased);
    QVERIFY2(result.ok(), qPrintable(operationResultText(result)));
    QCOMPARE(erased, to - from);
    QCOMPARE(memory[from - 1], std::uint8_t(0x00));
    QVERIFY(std::all_of(memory.begin() + from, memory.begin() + to, [](auto b) { return b == 0xFF; }));
    QCOMPARE(memory[to], std::uint8_t(0x00));
    QCOMPARE(memory[0x100], std::uint8_t(0x00)); // 16 MiB below the blocks above 16 MiB
    // A range that does not end on an erase block is refused before anything is erased.
    std::fill(memory.begin(), memory.end(), 0x00);
    QCOMPARE(session.eraseRange(from, to + 1, progress).status, OperationStatus::NotAligned);
    QVERIFY(std::all_of(memory.begin(), memory.end(), [](auto b) { return b == 0x00; }));
}

void ConformanceSuite::clearsProtectionBeforeAChange()
{
    if (!useLargeChip() || rig->simulatedChip() == nullptr)
        QSKIP("this backend's chip cannot be changed");
    auto& memory = rig->memory();
    std::fill(memory.begin(), memory.end(), 0xFF);
    SimulatedChip& chip = *rig->simulatedChip();
    chip.setStatusRegister(0, 0x3C); // BP0-BP3: all of it
    YesToAll answers;
    OperationSession session(rig->library(), rig->clock(), answers, targetOf(*rig));
    QVERIFY(session.open(FlashOperation::Write).ok());
    QVERIFY(session.prepareChange(0x100, 0x200).ok());
    QCOMPARE(answers.protections, 1);
    QVERIFY(!chip.protection().any);
    const auto data = pattern(256, 5);
    CountingProgress progress;
    QVERIFY(session.write({WriteSegment{0x100, data.data(), 256}}, progress, true).ok());
    QVERIFY(std::equal(data.begin(), data.end(), memory.begin() + 0x100));
}

void ConformanceSuite::busyChipTimesOut_data()
{
    QTest::addColumn<int>("operation");
    QTest::newRow("write") << int(FlashOperation::Write);
    QTest::newRow("erase sectors") << int(FlashOperation::EraseSectors);
    QTest::newRow("erase chip") << int(FlashOperation::EraseChip);
}

void ConformanceSuite::busyChipTimesOut()
{
    QFETCH(int, operation);
    const auto op = static_cast<FlashOperation>(operation);
    if (!useLargeChip() || rig->simulatedChip() == nullptr)
        QSKIP("this backend's chip cannot be changed");
    QVERIFY(opened(*rig, op));
    rig->simulatedChip()->keepBusy(true);
    const auto data = pattern(256, 7);
    CountingProgress progress;
    const FlashTarget target = targetOf(*rig);
    const OperationResult result =
        op == FlashOperation::Write          ? writeFlash(rig->library(), target, 0, data.data(), 256, progress)
        : op == FlashOperation::EraseSectors ? eraseSectors(rig->library(), target, 0, 1, progress)
                                             : eraseChip(rig->library(), target, rig->clock(), progress);
    QCOMPARE(result.status, OperationStatus::Timeout);
    rig->simulatedChip()->keepBusy(false);
    QVERIFY(std::all_of(rig->memory().begin(), rig->memory().begin() + 4096, [](auto b) { return b == 0xFF; }));
}

namespace {

// Each frame of a batch, as the emulator logged it: its bytes out first (emulators that log every
// byte clocked add the idle bytes of the read phase).
bool loggedAs(const std::vector<std::vector<std::uint8_t>>& log, const std::vector<SpiFrame>& frames)
{
    if (log.size() > frames.size())
        return false;
    for (std::size_t i = 0; i < log.size(); ++i) {
        const SpiFrame& frame = frames[i];
        if (log[i].size() != std::size_t(frame.sendCount) &&
            log[i].size() != std::size_t(frame.sendCount + frame.receiveCount))
            return false;
        if (!std::equal(frame.send, frame.send + frame.sendCount, log[i].begin()))
            return false;
    }
    return true;
}

} // namespace

// A batch of frames does what the same frames do one at a time: the chip sees the same bytes in
// each chip-select frame, answers the same and ends up the same.
void ConformanceSuite::batchActsAsFramesOneByOne()
{
    auto& memory = rig->memory();
    const auto before = pattern(memory.size(), 21);
    const std::uint32_t target = 0x3400;
    std::copy(before.begin(), before.end(), memory.begin());
    std::fill(memory.begin() + target, memory.begin() + target + 256, 0xFF);
    const std::vector<std::uint8_t> start(memory.begin(), memory.end());
    const auto data = pattern(40, 13);
    QVERIFY(opened(*rig, FlashOperation::Write));
    const std::uint8_t rdid = 0x9F, read[] = {0x03, 0x00, 0x12, 0x00}, wren = 0x06, rdsr = 0x05;
    std::vector<std::uint8_t> program{0x02, 0x00, 0x34, 0x00};
    program.insert(program.end(), data.begin(), data.end());
    struct Answers
    {
        std::uint8_t id[3], bytes[70], enabled, status[2];
    } oneByOne{}, batched{};
    const auto framesFor = [&](Answers& a) {
        return std::vector<SpiFrame>{{&rdid, 1, a.id, 3},          {read, 4, a.bytes, 70},
                                     {&wren, 1, nullptr, 0},       {&rdsr, 1, &a.enabled, 1},
                                     {program.data(), 44, nullptr, 0}, {&rdsr, 1, a.status, 2}};
    };
    auto* log = rig->recordFrames();
    std::vector<std::vector<std::uint8_t>> logs[2];
    std::vector<std::uint8_t> after[2];
    for (int run = 0; run < 2; ++run) {
        Answers& answers = run == 0 ? oneByOne : batched;
        const auto frames = framesFor(answers);
        if (log)
            log->clear();
        if (run == 0) {
            for (const SpiFrame& f : frames) {
                const int sent = f.receiveCount == 0
                                     ? rig->library().spiWriteBytes(rig->deviceIndex(), rig->selector(), f.send,
                                                                    f.sendCount)
                                     : rig->library().spiWriteReadBytes(rig->deviceIndex(), rig->selector(),
                                                                        f.send, f.sendCount, f.receive,
                                                                        f.receiveCount, 0);
                QCOMPARE(sent, int(AdapterOk));
            }
        } else {
            QCOMPARE(rig->library().spiTransferFrames(rig->deviceIndex(), rig->selector(), frames.data(),
                                                      int(frames.size())),
                     int(AdapterOk));
        }
        after[run].assign(memory.begin(), memory.end());
        if (log) {
            logs[run] = *log;
            QCOMPARE(logs[run].size(), frames.size());
            QVERIFY(loggedAs(logs[run], frames));
        }
        // Back to where the first run started, with the program long done.
        rig->clock().sleep(100);
        std::copy(start.begin(), start.end(), memory.begin());
    }
    QVERIFY(std::equal(batched.id, batched.id + 3, rig->chip().Config.FlashID));
    QVERIFY(std::equal(batched.bytes, batched.bytes + 70, before.begin() + 0x1200));
    QCOMPARE(batched.enabled & 0x03, 0x02);
    QVERIFY(std::equal(data.begin(), data.end(), after[1].begin() + target));
    QVERIFY(std::memcmp(&oneByOne, &batched, sizeof batched) == 0);
    QVERIFY(after[0] == after[1]);
    QVERIFY(logs[0] == logs[1]);
}

// A link that breaks in the middle of a batch fails it; the frames after the break never reach the
// chip (what a rig logs is a prefix of the batch, and a program it did not log left the memory as
// it was); mended, the batch goes through.
void ConformanceSuite::batchFailsInTheMiddle()
{
    auto& memory = rig->memory();
    std::fill(memory.begin(), memory.end(), 0xFF);
    const auto data = pattern(40, 17);
    QVERIFY(opened(*rig, FlashOperation::Write));
    const std::uint8_t wren = 0x06, rdsr = 0x05, read[] = {0x03, 0x00, 0x00, 0x00};
    std::vector<std::uint8_t> program{0x02, 0x00, 0x01, 0x00};
    program.insert(program.end(), data.begin(), data.end());
    std::uint8_t status[2] = {};
    std::vector<std::uint8_t> bytes(4000, 0x11);
    // The long read makes a backend that packs frames into messages start a new one there.
    const std::vector<SpiFrame> frames{{&wren, 1, nullptr, 0}, {program.data(), 44, nullptr, 0},
                                       {&rdsr, 1, &status[0], 1}, {read, 4, bytes.data(), 4000},
                                       {&wren, 1, nullptr, 0},    {&rdsr, 1, &status[1], 1}};
    auto* log = rig->recordFrames();
    rig->breakAfter(1);
    const int broken =
        rig->library().spiTransferFrames(rig->deviceIndex(), rig->selector(), frames.data(), int(frames.size()));
    QVERIFY2(broken != AdapterOk, "a broken link was reported as success");
    const bool programmed = std::equal(data.begin(), data.end(), memory.begin() + 0x100);
    if (log) {
        QVERIFY(log->size() < frames.size());
        QVERIFY(loggedAs(*log, frames));
        QCOMPARE(programmed, log->size() >= 2);
    } else {
        QVERIFY(!programmed);
    }
    QVERIFY(std::all_of(bytes.begin(), bytes.end(), [](auto b) { return b == 0x11; }));
    rig->breakAfter(-1);
    rig->clock().sleep(1000);
    QVERIFY(opened(*rig, FlashOperation::Write));
    std::fill(memory.begin(), memory.end(), 0xFF);
    QCOMPARE(rig->library().spiTransferFrames(rig->deviceIndex(), rig->selector(), frames.data(),
                                              int(frames.size())),
             int(AdapterOk));
    QVERIFY(std::equal(data.begin(), data.end(), memory.begin() + 0x100));
}

int runConformanceSuite(int argc, char** argv, RigFactory factory)
{
    ConformanceSuite suite(std::move(factory));
    return QTest::qExec(&suite, argc, argv);
}
