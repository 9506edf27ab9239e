#include "tests/app/flashwindowfixture.h"
#include "tests/app/unreadablebuffer.h"

#include "gui/operationframe.h"
#include "gui/readwriteverify.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>

using namespace korvane;

namespace {

using Transfers = QList<QPair<std::uint32_t, std::uint32_t>>;

const std::int32_t k2MiB = 2 * 1024 * 1024;
const int kBlock = 20480;

QString text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// The blocks an operation over [address, address + length) is expected to make.
Transfers blocks(std::uint32_t address, int length)
{
    Transfers out;
    for (int done = 0; done < length; done += kBlock)
        out << qMakePair(address + done, static_cast<std::uint32_t>(std::min(kBlock, length - done)));
    return out;
}

} // namespace

class TestReadWriteVerify : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { f.tearDown(); }

    void readsTheChipInBlocksIntoANewBuffer();
    void readLengthsAtTheEdges();
    void readLengthZeroWarnsBeforeAnyRead();
    void failedReadLeavesTheBufferAndItsHistory();
    void readIntoAnExistingBufferIsTwoUndoSteps();
    void readThatCannotPlaceItsBytesKeepsTheBuffer();
    void repeatedReadsKeepTheUndoHistoryInItsBudget();
    void bufferThatCannotBeReadWholeIsNotUsed_data();
    void bufferThatCannotBeReadWholeIsNotUsed();
    void menuAndToolBarRunTheSameOperations();

    void writeSplitsTheBuffer_data();
    void writeSplitsTheBuffer();
    void writeAtTheStartAddressWithEdits();
    void writeFailureKeepsEarlierBlocks();
    void writeWithoutData();
    void writeBeyondTheChipIsRefused();

    void verifyMatchReportsTheElapsedTime();
    void verifyCountsEveryDifference();
    void verifyFromAStartAddressCountsBufferBytes();
    void verifyTailReadFailure();
    void verifyWithoutData();

    void productionChipAfterChip();

private:
    // A 2 MiB chip (the record selected first) and a 100 KiB one, both backed by a 2 MiB chip.
    FlashWindowFixture f;
    QList<InteractionCall> messages() const { return f.interaction.reports(); }
    void expectOnlyWarning(const QString& expected)
    {
        const QList<InteractionCall> shown = messages();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, InteractionCall::Warning);
        QCOMPARE(shown[0].title, text("警告"));
        QCOMPARE(shown[0].text, expected);
        QCOMPARE(shown[0].parent.data(), static_cast<QWidget*>(f.window.get()));
    }
    // The operation's failure text, then the core's reason naming where it failed.
    void expectFailureAt(const QString& failure, const char* address)
    {
        const QList<InteractionCall> shown = messages();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, InteractionCall::Warning);
        QVERIFY2(shown[0].text.startsWith(failure + QLatin1Char('\n')) && shown[0].text.contains(QLatin1String(address)),
                 qPrintable(shown[0].text));
    }
    void expectSuccess(const char* successText, double seconds)
    {
        const QList<InteractionCall> shown = messages();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, InteractionCall::Information);
        QCOMPARE(shown[0].title, text("消息"));
        QCOMPARE(shown[0].text, text(successText) + elapsedTimeSuffix(seconds));
    }
    std::shared_ptr<ProgressRecord> onlyProgress()
    {
        if (f.interaction.progresses.size() != 1)
            return nullptr;
        return f.interaction.progresses.first();
    }
};

void TestReadWriteVerify::init()
{
    const QList<CHIP_INFO> records = {
        FlashWindowFixture::chipRecord("Chip2M", {0xEF, 0x40, 0x15}, k2MiB),
        FlashWindowFixture::chipRecord("Chip100K", {0xEF, 0x40, 0x15}, 5 * kBlock)};
    QVERIFY(f.setUp(records, k2MiB));
    QCOMPARE(f.window->currentChipInfo().Config.NumPages, k2MiB / 256);
}

void TestReadWriteVerify::readsTheChipInBlocksIntoANewBuffer()
{
    const QByteArray image = FlashWindowFixture::randomBytes(k2MiB, 1);
    f.setChipBytes(0, image);
    f.clock.stepNs = 1500000000; // each reading of the counter: 1.5 s later
    QVERIFY(f.model() == nullptr);

    f.click("readDataPushButton");

    QCOMPARE(f.adapter->countOf(AdapterOp::FlashRead), 103);
    const Transfers reads = f.transfers(AdapterOp::FlashRead);
    QCOMPARE(reads, blocks(0, k2MiB));
    QCOMPARE(reads.last(), qMakePair(std::uint32_t(102 * kBlock), std::uint32_t(8192)));
    QCOMPARE(f.buffer(), image);
    QCOMPARE(f.model()->parent(), static_cast<QObject*>(f.window.get()));
    QCOMPARE(f.hexEdit->baseAddress(), qint64(0));

    auto progress = onlyProgress();
    QVERIFY(progress);
    QCOMPARE(progress->title, text("读数据"));
    QCOMPARE(progress->labels.first(), text("正在读数据\n速度很快的，请稍等...\n"));
    QCOMPARE(progress->maximum, k2MiB);
    QCOMPARE(progress->values.size(), 103);
    QCOMPARE(progress->values.first(), kBlock);
    QCOMPARE(progress->values.last(), k2MiB);
    QVERIFY(progress->closed);
    QCOMPARE(progress->parent.data(), static_cast<QWidget*>(f.window.get()));
    // Start and end count taken once each around the blocks.
    expectSuccess("读数据成功！", 1.5);
}

void TestReadWriteVerify::readLengthsAtTheEdges()
{
    // A whole number of blocks: no remainder call.
    f.selectModel(QStringLiteral("Chip100K"));
    f.click("readDataPushButton");
    QCOMPARE(f.transfers(AdapterOp::FlashRead), blocks(0, 5 * kBlock));
    QCOMPARE(f.buffer(), f.chipBytes(0, 5 * kBlock));

    // Start address at the spin box's maximum: exactly the chip's last byte.
    f.setChipBytes(5 * kBlock - 1, QByteArray(1, '\x5A'));
    f.setStartAddress(5 * kBlock - 1);
    QCOMPARE(f.child<QSpinBox>("startAddrSpinBox")->value(), 5 * kBlock - 1);
    f.adapter->clearLog();
    f.click("readDataPushButton");
    QCOMPARE(f.transfers(AdapterOp::FlashRead), (Transfers{qMakePair(std::uint32_t(5 * kBlock - 1), 1u)}));
    QCOMPARE(f.buffer(), QByteArray(1, '\x5A'));
    QCOMPARE(f.hexEdit->baseAddress(), qint64(5 * kBlock - 1));

    // Shorter than a block: one call of that length.
    f.setStartAddress(5 * kBlock - 1000);
    f.adapter->clearLog();
    f.click("readDataPushButton");
    QCOMPARE(f.transfers(AdapterOp::FlashRead),
             (Transfers{qMakePair(std::uint32_t(5 * kBlock - 1000), 1000u)}));
    QCOMPARE(f.buffer(), f.chipBytes(5 * kBlock - 1000, 1000));
}

void TestReadWriteVerify::readLengthZeroWarnsBeforeAnyRead()
{
    // The chip list no longer lets a record of size 0 through; the read still refuses one.
    const CHIP_INFO zero = FlashWindowFixture::chipRecord("ChipZero", {0xEF, 0x40, 0x15}, 0);
    OperationContext context{*f.adapter, f.interaction, f.clock, f.window.get(), 0, 0x00, 390625, 0, zero};
    context.hexEdit = f.hexEdit;
    readIntoBuffer(context);
    // The adapter was configured and the ID accepted first.
    QCOMPARE(f.adapter->countOf(AdapterOp::FlashReadId), 1);
    QCOMPARE(f.adapter->countOf(AdapterOp::FlashRead), 0);
    expectOnlyWarning(text("读数据长度为0\n请检查起始地址设置是否正确！\n"));
    QVERIFY(f.interaction.progresses.isEmpty());
    QVERIFY(f.model() == nullptr);
}

void TestReadWriteVerify::failedReadLeavesTheBufferAndItsHistory()
{
    // Without a buffer: none is created.
    f.adapter->failCall(AdapterOp::FlashRead, 103);
    f.click("readDataPushButton");
    expectFailureAt(text("读数据出错！"), "0x1fe000");
    QVERIFY(onlyProgress() && onlyProgress()->closed);
    QVERIFY(f.model() == nullptr);

    // With an edited buffer: content, length and undo history stay.
    f.loadBytes(FlashWindowFixture::randomBytes(3000, 2));
    QHexEditDataWriter(f.model()).replace(10, QByteArray("edit"));
    const QByteArray before = f.buffer();
    QHexEditData* model = f.model();
    const int undoSteps = model->undoStack()->count();
    f.interaction.clear();
    f.adapter->clearLog();
    f.adapter->failCall(AdapterOp::FlashRead, 103);
    f.click("readDataPushButton");
    QCOMPARE(f.adapter->countOf(AdapterOp::FlashRead), 103);
    expectFailureAt(text("读数据出错！"), "0x1fe000");
    QCOMPARE(f.model(), model);
    QCOMPARE(f.buffer(), before);
    QCOMPARE(model->undoStack()->count(), undoSteps);
    QCOMPARE(model->undoStack()->index(), undoSteps);
}

void TestReadWriteVerify::readIntoAnExistingBufferIsTwoUndoSteps()
{
    const QByteArray first = FlashWindowFixture::randomBytes(5 * kBlock, 3);
    const QByteArray second = FlashWindowFixture::randomBytes(5 * kBlock, 4);
    f.selectModel(QStringLiteral("Chip100K"));
    f.setChipBytes(0, first);
    f.click("readDataPushButton");
    QHexEditData* model = f.model();
    QVERIFY(model);
    QCOMPARE(model->undoStack()->count(), 0);

    f.setChipBytes(0, second);
    f.click("readDataPushButton");
    QCOMPARE(f.model(), model);
    QCOMPARE(f.buffer(), second);
    QCOMPARE(model->undoStack()->count(), 2);
    model->undoStack()->undo();
    QCOMPARE(model->length(), qint64(0));
    model->undoStack()->undo();
    QCOMPARE(f.buffer(), first);
}

void TestReadWriteVerify::readThatCannotPlaceItsBytesKeepsTheBuffer()
{
    f.selectModel(QStringLiteral("Chip100K"));
    f.loadBytes(FlashWindowFixture::randomBytes(3000, 12));
    QHexEditData* model = f.model();
    QVERIFY(QHexEditDataWriter(model).replace(10, QByteArray("edit")));
    const QByteArray before = f.buffer();
    const int undoSteps = model->undoStack()->count();
    int changes = 0;
    connect(model, &QHexEditData::dataChanged, [&]() { ++changes; });

    // Room for every byte of the chip but one.
    model->setMemoryLimit(model->newBytesHeld() + 5 * kBlock - 1);
    f.interaction.clear();
    f.click("readDataPushButton");
    QCOMPARE(f.adapter->countOf(AdapterOp::FlashRead), 5);
    expectOnlyWarning(text("读数据出错！"));
    QVERIFY(onlyProgress() && onlyProgress()->closed);
    QCOMPARE(f.model(), model);
    QCOMPARE(f.buffer(), before);
    QCOMPARE(changes, 0);
    QCOMPARE(model->undoStack()->count(), undoSteps);
    QCOMPARE(model->undoStack()->index(), undoSteps);

    // With room for all of it, the read replaces the buffer in its two steps.
    model->setMemoryLimit(model->newBytesHeld() + 5 * kBlock);
    f.interaction.clear();
    f.click("readDataPushButton");
    QCOMPARE(messages().size(), 1);
    QVERIFY(messages().first().text.startsWith(text("读数据成功！")));
    QCOMPARE(f.buffer(), f.chipBytes(0, 5 * kBlock));
    QCOMPARE(model->undoStack()->count(), undoSteps + 2);
}

// Read after read after read of the same chip, as through a working day: every one succeeds with the
// chip's bytes, and the undo history keeps to its budget by letting go of the oldest images.
void TestReadWriteVerify::repeatedReadsKeepTheUndoHistoryInItsBudget()
{
    const int image = 5 * kBlock;
    f.selectModel(QStringLiteral("Chip100K"));
    f.click("readDataPushButton");
    QHexEditData* model = f.model();
    QVERIFY(model);
    const qint64 budget = 3 * image;
    model->setUndoMemoryBudget(budget);
    QByteArray previous;
    for (int read = 1; read <= 12; ++read) {
        previous = f.buffer();
        f.setChipBytes(0, FlashWindowFixture::randomBytes(image, 100 + read));
        f.interaction.clear();
        f.click("readDataPushButton");
        QCOMPARE(messages().size(), 1);
        QVERIFY(messages().first().text.startsWith(text("读数据成功！")));
        QCOMPARE(f.buffer(), f.chipBytes(0, image));
        QVERIFY(model->undoOnlyBytes() <= budget);
        QVERIFY(model->newBytesHeld() <= budget + image);
    }
    QCOMPARE(f.model(), model);
    QVERIFY(model->undoStack()->count() <= 8);
    model->undoStack()->undo();
    QCOMPARE(model->length(), qint64(0));
    model->undoStack()->undo();
    QCOMPARE(f.buffer(), previous);
}

void TestReadWriteVerify::bufferThatCannotBeReadWholeIsNotUsed_data()
{
    QTest::addColumn<UnreadableBuffer>("kind");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("expected");
    QTest::newRow("verify, larger than one read")
        << UnreadableBuffer::OverTheReadCap << "verifyPushButton" << text("校验数据出错！");
    QTest::newRow("verify, file shrank")
        << UnreadableBuffer::FileShrank << "verifyPushButton" << text("校验数据出错！");
    QTest::newRow("write, file shrank")
        << UnreadableBuffer::FileShrank << "writeDataPushButton" << text("写数据出错！");
}

void TestReadWriteVerify::bufferThatCannotBeReadWholeIsNotUsed()
{
    QFETCH(UnreadableBuffer, kind);
    QFETCH(QString, button);
    QFETCH(QString, expected);
    QHexEditData* model = unreadableBuffer(kind, f.tempPath(QStringLiteral("buffer.bin")), f.window.get());
    QVERIFY(model);
    f.hexEdit->setData(model);
    f.click(button.toLatin1().constData());
    // Nothing compared with a shorter or padded buffer, nothing written from one.
    expectOnlyWarning(expected);
    QCOMPARE(f.adapter->countOf(AdapterOp::FlashRead), 0);
    QCOMPARE(f.adapter->countOf(AdapterOp::FlashWrite), 0);
    QCOMPARE(f.chip->programCount(), 0);
    QVERIFY(f.interaction.progresses.isEmpty());
}

void TestReadWriteVerify::menuAndToolBarRunTheSameOperations()
{
    f.selectModel(QStringLiteral("Chip100K"));
    // The hashes of what was read, then of the buffer compared (100 KiB of FF: sha256sum, crc32).
    auto* hashes = f.child<QLabel>("hashLabel");
    f.child<QAction>("actionRead")->trigger();
    QCOMPARE(hashes->text(), text("读数据 SHA-256 f195c65a417d53ad… CRC-32 5f3e158f"));
    QCOMPARE(hashes->toolTip(),
             text("SHA-256 f195c65a417d53ad4a8e5457d7004c100cc13a1d4298fd0086cf53b95f3d4fe8\nCRC-32 5f3e158f"));
    f.child<QAction>("actionWrite")->trigger();
    f.child<QAction>("actionVerify")->trigger();
    QStringList titles;
    for (const auto& progress : f.interaction.progresses)
        titles << progress->title;
    QCOMPARE(titles, (QStringList{text("读数据"), text("写数据"), text("校验数据")}));
    QCOMPARE(f.transfers(AdapterOp::FlashWrite), blocks(0, 5 * kBlock));
    QCOMPARE(messages().last().text.left(7), text("数据校验成功！"));
    QVERIFY(hashes->text().startsWith(text("校验数据 SHA-256 f195c65a")));
}

void TestReadWriteVerify::writeSplitsTheBuffer_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<Transfers>("expected");
    QTest::newRow("one block") << kBlock << Transfers{qMakePair(0u, 20480u)};
    QTest::newRow("block and one") << kBlock + 1 << Transfers{qMakePair(0u, 20480u), qMakePair(20480u, 1u)};
    QTest::newRow("short") << 100 << Transfers{qMakePair(0u, 100u)};
}

void TestReadWriteVerify::writeSplitsTheBuffer()
{
    QFETCH(int, length);
    QFETCH(Transfers, expected);
    const QByteArray data = FlashWindowFixture::randomBytes(length, 5);
    f.loadBytes(data);
    f.click("writeDataPushButton");
    QCOMPARE(f.transfers(AdapterOp::FlashWrite), expected);
    QCOMPARE(f.chipBytes(0, length), data);
    QCOMPARE(f.chipBytes(length, 1), QByteArray(1, '\xFF'));
    auto progress = onlyProgress();
    QVERIFY(progress);
    QCOMPARE(progress->title, text("写数据"));
    QCOMPARE(progress->labels.first(), text("正在写数据\n速度很快的，请稍等...\n"));
    QCOMPARE(progress->maximum, length);
    QCOMPARE(progress->values.last(), length);
    QCOMPARE(progress->values.size(), expected.size());
    QVERIFY(progress->closed);
    QCOMPARE(messages().size(), 1);
    QVERIFY(messages().first().text.startsWith(text("写数据成功！\n耗时: ")));
}

void TestReadWriteVerify::writeAtTheStartAddressWithEdits()
{
    f.setStartAddress(0x10000);
    f.loadBytes(FlashWindowFixture::randomBytes(4096, 6));
    QCOMPARE(f.model()->length(), qint64(4096));
    // Unsaved edits in the hex editor are part of what is written.
    QHexEditDataWriter(f.model()).replace(0, QByteArray("\x00\x01\x02\x03", 4));
    QHexEditDataWriter(f.model()).replace(4095, QByteArray("\x7E", 1));
    const QByteArray edited = f.buffer();
    QCOMPARE(edited.left(4), QByteArray("\x00\x01\x02\x03", 4));

    const std::int64_t before = f.clock.now;
    f.click("writeDataPushButton");
    QCOMPARE(f.transfers(AdapterOp::FlashWrite), (Transfers{qMakePair(0x10000u, 4096u)}));
    QCOMPARE(f.chipBytes(0x10000, 4096), edited);
    QCOMPARE(f.chipBytes(0xFFFF, 1), QByteArray(1, '\xFF'));
    QCOMPARE(f.chipBytes(0x11000, 1), QByteArray(1, '\xFF'));
    // The time the chip was busy programming, slept on the clock, is what the report shows.
    QVERIFY(f.clock.now > before);
    expectSuccess("写数据成功！", static_cast<double>(f.clock.now - before) / 1e9);
    // The buffer is untouched by a write.
    QCOMPARE(f.buffer(), edited);
}

void TestReadWriteVerify::writeFailureKeepsEarlierBlocks()
{
    const QByteArray data = FlashWindowFixture::randomBytes(5 * kBlock, 7);
    f.loadBytes(data);
    f.adapter->failCall(AdapterOp::FlashWrite, 3);
    f.click("writeDataPushButton");
    QCOMPARE(f.transfers(AdapterOp::FlashWrite), blocks(0, 3 * kBlock));
    QCOMPARE(f.chipBytes(0, 2 * kBlock), data.left(2 * kBlock));
    QCOMPARE(f.chipBytes(2 * kBlock, 3 * kBlock), QByteArray(3 * kBlock, '\xFF'));
    expectFailureAt(text("写数据出错！"), "0x00a000");
    auto progress = onlyProgress();
    QVERIFY(progress && progress->closed);
    QCOMPARE(progress->values, (QList<int>{kBlock, 2 * kBlock}));
}

void TestReadWriteVerify::writeWithoutData()
{
    f.click("writeDataPushButton");
    QCOMPARE(f.adapter->countOf(AdapterOp::FlashReadId), 1);
    expectOnlyWarning(text("没有数据！"));

    f.loadBytes(QByteArray());
    QVERIFY(f.model());
    f.interaction.clear();
    f.click("writeDataPushButton");
    expectOnlyWarning(text("没有数据！"));
    QCOMPARE(f.adapter->countOf(AdapterOp::FlashWrite), 0);
    QVERIFY(f.interaction.progresses.isEmpty());

    // The opening steps come first: with the adapter missing, only their message.
    f.interaction.clear();
    f.adapter->sim().setAdapterCount(0);
    f.click("writeDataPushButton");
    expectOnlyWarning(text("打开设备失败，设备选择是否正确？"));
}

void TestReadWriteVerify::writeBeyondTheChipIsRefused()
{
    f.selectModel(QStringLiteral("Chip100K"));
    f.loadBytes(FlashWindowFixture::randomBytes(5 * kBlock, 8));
    QCOMPARE(f.model()->length(), qint64(5 * kBlock));
    // A byte inserted in the hex editor makes the buffer one longer than the chip.
    QHexEditDataWriter(f.model()).insert(100, 'x');
    f.click("writeDataPushButton");
    expectOnlyWarning(text("数据长度超出芯片容量！"));
    QCOMPARE(f.adapter->countOf(AdapterOp::FlashWrite), 0);
    QVERIFY(f.interaction.progresses.isEmpty());
    QCOMPARE(f.chip->programCount(), 0);

    // Past the end because of the start address: cut by moving it, then grown again.
    f.interaction.clear();
    f.setStartAddress(4096);
    QCOMPARE(f.model()->length(), qint64(5 * kBlock - 4096));
    QHexEditDataWriter(f.model()).append(QByteArray(1, 'y'));
    f.click("writeDataPushButton");
    expectOnlyWarning(text("数据长度超出芯片容量！"));
    QCOMPARE(f.adapter->countOf(AdapterOp::FlashWrite), 0);

    // Exactly up to the chip's end is fine.
    f.interaction.clear();
    f.model()->undoStack()->undo();
    f.click("writeDataPushButton");
    QCOMPARE(f.transfers(AdapterOp::FlashWrite), blocks(4096, 5 * kBlock - 4096));
    QCOMPARE(messages().size(), 1);
    QCOMPARE(messages().first().kind, InteractionCall::Information);
}

void TestReadWriteVerify::verifyMatchReportsTheElapsedTime()
{
    f.selectModel(QStringLiteral("Chip100K"));
    f.setChipBytes(0, FlashWindowFixture::randomBytes(5 * kBlock, 9));
    f.click("readDataPushButton");
    f.interaction.clear();
    f.adapter->clearLog();
    f.clock.stepNs = 2500000000;
    f.click("verifyPushButton");
    QCOMPARE(f.transfers(AdapterOp::FlashRead), blocks(0, 5 * kBlock));
    expectSuccess("数据校验成功！", 2.5);
    QCOMPARE(messages().first().text, text("数据校验成功！\n耗时: 2.5 秒！"));
    auto progress = onlyProgress();
    QVERIFY(progress && progress->closed);
    QCOMPARE(progress->title, text("校验数据"));
    QCOMPARE(progress->labels.first(), text("正在校验数据\n速度很快的，请稍等...\n"));
}

void TestReadWriteVerify::verifyCountsEveryDifference()
{
    const QByteArray image = FlashWindowFixture::randomBytes(k2MiB, 10);
    f.setChipBytes(0, image);
    f.click("readDataPushButton");
    // Differences in the first block, a middle block, the last full block and the tail.
    for (std::uint32_t at : {0u, 20480u + 5u, 50u * 20480u + 100u, 50u * 20480u + 101u,
                             101u * 20480u + 20479u, std::uint32_t(k2MiB - 1)})
        f.chip->contents()[at] ^= 0x01;
    f.interaction.clear();
    f.click("verifyPushButton");
    expectOnlyWarning(text("数据校验失败！\n有6字节数据和写入数据不同！"));
    QCOMPARE(f.adapter->countOf(AdapterOp::FlashRead), 2 * 103);

    // A single byte anywhere counts 1.
    f.setChipBytes(0, image);
    f.chip->contents()[777777] = static_cast<std::uint8_t>(~image[777777]);
    f.interaction.clear();
    f.click("verifyPushButton");
    expectOnlyWarning(text("数据校验失败！\n有1字节数据和写入数据不同！"));
}

void TestReadWriteVerify::verifyFromAStartAddressCountsBufferBytes()
{
    const std::uint32_t start = 0x3000;
    const QByteArray data = FlashWindowFixture::randomBytes(kBlock + 1, 11);
    f.setStartAddress(start);
    f.loadBytes(data);
    f.setChipBytes(start, data);
    f.click("verifyPushButton");
    QCOMPARE(f.transfers(AdapterOp::FlashRead),
             (Transfers{qMakePair(start, 20480u), qMakePair(start + 20480, 1u)}));
    auto progress = onlyProgress();
    QVERIFY(progress);
    QCOMPARE(progress->maximum, kBlock + 1);
    QCOMPARE(progress->values, (QList<int>{kBlock, kBlock + 1}));
    QCOMPARE(messages().size(), 1);
    QCOMPARE(messages().first().kind, InteractionCall::Information);

    // The same data one byte off: nearly every byte differs, in both blocks.
    f.setChipBytes(start - 1, data);
    int expected = 0;
    const QByteArray chip = f.chipBytes(start, kBlock + 1);
    for (int i = 0; i < data.size(); ++i)
        expected += chip[i] != data[i];
    QVERIFY(expected > kBlock - 200);
    f.interaction.clear();
    f.click("verifyPushButton");
    expectOnlyWarning(text("数据校验失败！\n") +
                      QString::fromUtf8("有%1字节数据和写入数据不同！").arg(expected));
}

void TestReadWriteVerify::verifyTailReadFailure()
{
    f.loadBytes(QByteArray(kBlock + 1, '\xFF'));
    f.chip->contents()[0] = 0; // a difference counted before the failure is not reported
    f.adapter->failCall(AdapterOp::FlashRead, 2);
    f.click("verifyPushButton");
    QCOMPARE(f.adapter->countOf(AdapterOp::FlashRead), 2);
    expectFailureAt(text("校验数据出错！"), "0x005000");
    auto progress = onlyProgress();
    QVERIFY(progress && progress->closed);
    QCOMPARE(progress->values, QList<int>{kBlock});
}

void TestReadWriteVerify::verifyWithoutData()
{
    f.click("verifyPushButton");
    QCOMPARE(f.adapter->countOf(AdapterOp::FlashReadId), 1);
    QCOMPARE(f.adapter->countOf(AdapterOp::FlashRead), 0);
    expectOnlyWarning(text("没有数据！"));
    QVERIFY(f.interaction.progresses.isEmpty());

    f.loadBytes(QByteArray());
    f.interaction.clear();
    f.click("verifyPushButton");
    expectOnlyWarning(text("没有数据！"));
    QCOMPARE(f.adapter->countOf(AdapterOp::FlashRead), 0);
}

QTEST_MAIN(TestReadWriteVerify)
#include "tst_readwriteverify.moc"

// 操作 → 量产, driven as the operator does: chips put in and taken out between polls (the timer's
// interval set beyond the test, so that only the test polls), a serial in each, one unit failing
// on a write-protected chip, 停止 at the end.
void TestReadWriteVerify::productionChipAfterChip()
{
    const QByteArray image = FlashWindowFixture::randomBytes(3000, 11);
    const QString imagePath = f.writeFile(QStringLiteral("image.bin"), image);
    SimulatedAdapter& sim = f.adapter->sim();
    std::vector<std::unique_ptr<SimulatedChip>> chips;
    QStringList results;
    f.interaction.dialogScripts.enqueue([&](QDialog* dialog) {
        const auto child = [dialog](const char* name) { return dialog->findChild<QWidget*>(QLatin1String(name)); };
        qobject_cast<QLineEdit*>(child("imageLineEdit"))->setText(imagePath);
        qobject_cast<QGroupBox*>(child("serialGroupBox"))->setChecked(true);
        qobject_cast<QLineEdit*>(child("serialAddressLineEdit"))->setText(QStringLiteral("0x100"));
        qobject_cast<QComboBox*>(child("serialFormatComboBox"))->setCurrentIndex(3); // 大端字节
        qobject_cast<QSpinBox*>(child("serialSizeSpinBox"))->setValue(2);
        qobject_cast<QLineEdit*>(child("serialStartLineEdit"))->setText(QStringLiteral("500"));
        qobject_cast<QLineEdit*>(child("serialFileLineEdit"))->setText(f.tempPath(QStringLiteral("serials")));
        qobject_cast<QLineEdit*>(child("logLineEdit"))->setText(f.tempPath(QStringLiteral("units.csv")));
        dialog->findChild<QTimer*>(QStringLiteral("pollTimer"))->setInterval(24 * 3600 * 1000);
        auto* result = qobject_cast<QLabel*>(child("resultLabel"));
        qobject_cast<QPushButton*>(child("startButton"))->click();
        for (int unit = 1; unit <= 3; ++unit) {
            if (unit > 1) {
                chips.push_back(sim.detachChip(0, 0x00));
                for (int poll = 0; poll < 2; ++poll)
                    QMetaObject::invokeMethod(dialog, "pollOnce");
                auto chip = std::make_unique<SimulatedChip>(f.clock, std::vector<std::uint8_t>{0xEF, 0x40, 0x15},
                                                            std::uint32_t(k2MiB));
                chip->setHasSfdp(false);
                if (unit == 2)
                    chip->setStatusRegister(0, 0x1c); // all of it protected; 解除写保护 is off
                sim.attachChip(0, 0x00, std::move(chip));
            }
            // Two polls read the same ID: the chip sits; the second runs the unit.
            for (int poll = 0; poll < 2; ++poll)
                QMetaObject::invokeMethod(dialog, "pollOnce");
            results << result->text();
        }
        if (!qEnvironmentVariableIsEmpty("SPIFLASH_SCREENSHOT"))
            dialog->grab().save(qEnvironmentVariable("SPIFLASH_SCREENSHOT"));
        qobject_cast<QPushButton*>(child("stopButton"))->click();
        results << qobject_cast<QLabel*>(child("countsLabel"))->text()
                << qobject_cast<QLabel*>(child("stateLabel"))->text();
        return int(QDialog::Rejected);
    });
    f.child<QAction>("actionProduction")->trigger();
    QCOMPARE(results, (QStringList{"PASS", "FAIL", "PASS", text("通过 2  失败 1"), text("已停止")}));
    QCOMPARE(messages().size(), 0);
    // The serial file let go and the counter past the two that passed; the failed unit's 501 used
    // again by the next.
    QCOMPARE(f.readFile(f.tempPath(QStringLiteral("serials"))).split('\n').mid(1, 1),
             QList<QByteArray>{"next 502"});
    const QList<QByteArray> log = f.readFile(f.tempPath(QStringLiteral("units.csv"))).trimmed().split('\n');
    QCOMPARE(log.size(), 4);
    QVERIFY(log[1].contains(",500,PASS,") && log[2].contains(",501,FAIL,") && log[3].contains(",501,PASS,"));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(chips[0]->contents().data()), 3000),
             QByteArray(image).replace(0x100, 2, "\x01\xF4"));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(sim.chip(0, 0x00)->contents().data()), 3000),
             QByteArray(image).replace(0x100, 2, "\x01\xF5"));
}
