#include "tests/app/flashwindowfixture.h"
#include "tests/app/unreadablebuffer.h"

#include <QGridLayout>
#include <QImage>
#include <QPointer>

#include <sys/resource.h>

#include <csignal>

using namespace korvane;

namespace {

const std::int32_t k128K = 128 * 1024;
const std::int32_t k64K = 64 * 1024;

QString text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// Lowers the file size limit of the process for one scope, so that writes past it fail as on a
// full disk; even root is bound by it.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit lowered = saved;
        lowered.rlim_cur = bytes;
        ok = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved); }
    bool ok = false;

private:
    rlimit saved{};
};

} // namespace

class TestBufferView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { f.tearDown(); }

    void viewStartsWithoutBuffer();
    void loadIsCutToTheChipAndTheStartAddress();
    void emptyFileAndZeroSizedChip();
    void unreadableFileKeepsTheBuffer();
    void loadReplacesAndDisposesOfTheOldModel();
    void startAddressAndModelSelectionCutTheBuffer();
    void startAddressWithoutBufferKeepsTheBaseAddress();
    void saveRightAfterAReadWritesTheChipBytes();
    void saveOverALargerFileTruncatesIt();
    void saveWithoutBufferIsRefused();
    void failingSaveKeepsTheOldFile();
    void saveOfABufferThatCannotBeReadWholeKeepsTheOldFile_data();
    void saveOfABufferThatCannotBeReadWholeKeepsTheOldFile();
    void screenshotAfterReadAndEdit();

private:
    FlashWindowFixture f;
    QList<InteractionCall> messages() const { return f.interaction.reports(); }
    void save(const QString& path)
    {
        f.interaction.fileNames.enqueue(path);
        f.child<QAction>("actionSaveAs")->trigger();
    }
};

void TestBufferView::init()
{
    const QList<CHIP_INFO> records = {FlashWindowFixture::chipRecord("Big", {0xEF, 0x40, 0x15}, k128K),
                                      FlashWindowFixture::chipRecord("Small", {0xEF, 0x40, 0x15}, k64K),
                                      FlashWindowFixture::zeroSizedRecord("Zero", {0xEF, 0x40, 0x15})};
    QVERIFY(f.setUp(records, k128K));
}

void TestBufferView::viewStartsWithoutBuffer()
{
    QVERIFY(f.model() == nullptr);
    QWidget* dataWidget = f.child<QWidget>("dataWidget");
    QCOMPARE(f.hexEdit->parentWidget(), dataWidget);
    auto* grid = qobject_cast<QGridLayout*>(dataWidget->layout());
    QVERIFY(grid);
    QCOMPARE(grid->count(), 1);
    QCOMPARE(grid->itemAt(0)->widget(), static_cast<QWidget*>(f.hexEdit));
    QCOMPARE(f.hexEdit->baseAddress(), qint64(0));
    QVERIFY(!f.hexEdit->isHidden());
}

void TestBufferView::loadIsCutToTheChipAndTheStartAddress()
{
    const QByteArray file = FlashWindowFixture::randomBytes(2 * k128K, 1);
    f.load(f.writeFile(QStringLiteral("image.bin"), file));
    const InteractionCall dialog = f.interaction.callsOf(InteractionCall::OpenFile).value(0);
    QCOMPARE(dialog.title, text("打开文件"));
    // Every file first, as always; the record formats and raw images after it.
    QVERIFY2(dialog.text.startsWith(QStringLiteral("All File (*.*);;")), qPrintable(dialog.text));
    QCOMPARE(dialog.parent.data(), static_cast<QWidget*>(f.window.get()));
    QCOMPARE(f.buffer(), file.left(k128K));

    // 500 bytes of room between the start address and the chip's end.
    f.setStartAddress(k128K - 500);
    f.load(f.writeFile(QStringLiteral("small.bin"), file.left(1000)));
    QCOMPARE(f.buffer(), file.left(500));
    // The base address follows the start address; a load leaves it alone.
    QCOMPARE(f.hexEdit->baseAddress(), qint64(k128K - 500));

    // A file smaller than the room is loaded whole.
    f.setStartAddress(0);
    f.load(f.writeFile(QStringLiteral("tiny.bin"), file.left(77)));
    QCOMPARE(f.buffer(), file.left(77));
    QVERIFY(messages().isEmpty());
}

void TestBufferView::emptyFileAndZeroSizedChip()
{
    f.load(f.writeFile(QStringLiteral("empty.bin"), QByteArray()));
    QVERIFY(f.model());
    QCOMPARE(f.model()->length(), qint64(0));

    // No room at all: just the first byte.
    f.selectModel(QStringLiteral("Zero"));
    f.load(f.writeFile(QStringLiteral("k.bin"), QByteArray("ABCDEFGHIJ")));
    QCOMPARE(f.buffer(), QByteArray("A"));
    f.load(f.writeFile(QStringLiteral("empty.bin"), QByteArray()));
    QCOMPARE(f.model()->length(), qint64(0));
}

void TestBufferView::unreadableFileKeepsTheBuffer()
{
    f.loadBytes(QByteArray("keep me"));
    QHexEditData* model = f.model();

    QTest::ignoreMessage(QtDebugMsg, "Open file error");
    f.load(f.tempPath(QStringLiteral("missing/nothing.bin")));
    QCOMPARE(f.model(), model);
    QCOMPARE(f.buffer(), QByteArray("keep me"));

    // A directory is no file to load either.
    QTest::ignoreMessage(QtDebugMsg, "Open file error");
    f.load(f.tempPath(QString()));
    QCOMPARE(f.buffer(), QByteArray("keep me"));

    // Cancelled dialog.
    f.child<QAction>("actionOpenFile")->trigger();
    QCOMPARE(f.model(), model);
    QVERIFY(messages().isEmpty());
}

void TestBufferView::loadReplacesAndDisposesOfTheOldModel()
{
    f.loadBytes(QByteArray("first"));
    QPointer<QHexEditData> first = f.model();
    QVERIFY(first);
    QCOMPARE(first->parent(), static_cast<QObject*>(f.window.get()));
    QHexEditDataWriter(first).replace(0, QByteArray("F"));

    f.loadBytes(QByteArray("second"));
    QVERIFY(first.isNull());
    QCOMPARE(f.buffer(), QByteArray("second"));
    QCOMPARE(f.model()->undoStack()->count(), 0);
    // The view works on the new model: an edit through the view's own undo shows up.
    QHexEditDataWriter(f.model()).replace(0, QByteArray("S"));
    f.hexEdit->undo();
    QCOMPARE(f.buffer(), QByteArray("second"));
    f.hexEdit->grab(); // paints the new model without touching the old one
}

void TestBufferView::startAddressAndModelSelectionCutTheBuffer()
{
    const QByteArray file = FlashWindowFixture::randomBytes(k128K, 2);
    f.loadBytes(file);
    QCOMPARE(f.model()->length(), qint64(k128K));

    f.setStartAddress(0x1000);
    QCOMPARE(f.hexEdit->baseAddress(), qint64(0x1000));
    QCOMPARE(f.buffer(), file.left(k128K - 0x1000));
    QCOMPARE(f.model()->undoStack()->count(), 1);

    // The smaller chip keeps the spin box's value but returns the base address to 0; the cut
    // still leaves room for the start address.
    f.selectModel(QStringLiteral("Small"));
    QCOMPARE(f.child<QSpinBox>("startAddrSpinBox")->value(), 0x1000);
    QCOMPARE(f.hexEdit->baseAddress(), qint64(0));
    QCOMPARE(f.buffer(), file.left(k64K - 0x1000));
    QCOMPARE(f.model()->undoStack()->count(), 2);

    // Each cut is one undo step.
    f.hexEdit->undo();
    QCOMPARE(f.buffer(), file.left(k128K - 0x1000));
    f.hexEdit->undo();
    QCOMPARE(f.buffer(), file);

    // A start address above the new chip's end is lowered to its last byte: one byte stays.
    f.selectModel(QStringLiteral("Big"));
    f.setStartAddress(k128K - 1);
    QCOMPARE(f.model()->length(), qint64(1));
    f.hexEdit->undo();
    f.selectModel(QStringLiteral("Small"));
    QCOMPARE(f.child<QSpinBox>("startAddrSpinBox")->value(), k64K - 1);
    QCOMPARE(f.buffer(), file.left(1));

    // Zero-sized chip: a one-byte buffer is kept, never an empty one.
    f.loadBytes(file);
    f.selectModel(QStringLiteral("Zero"));
    QCOMPARE(f.buffer(), file.left(1));
}

void TestBufferView::startAddressWithoutBufferKeepsTheBaseAddress()
{
    f.setStartAddress(0x2000);
    QVERIFY(f.model() == nullptr);
    QCOMPARE(f.hexEdit->baseAddress(), qint64(0));
    // A buffer loaded now is shown from that earlier base address until the next change.
    f.loadBytes(QByteArray(100, 'x'));
    QCOMPARE(f.hexEdit->baseAddress(), qint64(0));
    f.setStartAddress(0x2001);
    QCOMPARE(f.hexEdit->baseAddress(), qint64(0x2001));
}

void TestBufferView::saveRightAfterAReadWritesTheChipBytes()
{
    const QByteArray image = FlashWindowFixture::randomBytes(k128K, 3);
    f.setChipBytes(0, image);
    f.click("readDataPushButton");
    const QString path = f.tempPath(QStringLiteral("read.bin"));
    save(path);
    const InteractionCall dialog = f.interaction.callsOf(InteractionCall::SaveFile).value(0);
    QCOMPARE(dialog.title, text("另存为"));
    // Every file first, as always; the record formats and raw images after it.
    QVERIFY2(dialog.text.startsWith(QStringLiteral("All File (*.*);;")), qPrintable(dialog.text));
    QCOMPARE(dialog.parent.data(), static_cast<QWidget*>(f.window.get()));
    QCOMPARE(f.readFile(path), image);

    // Edits are saved; saving leaves the buffer and its history alone.
    QHexEditDataWriter(f.model()).replace(5, QByteArray("edited"));
    save(path);
    QByteArray expected = image;
    expected.replace(5, 6, "edited");
    QCOMPARE(f.readFile(path), expected);
    QCOMPARE(f.model()->undoStack()->count(), 1);
    QCOMPARE(messages().size(), 1); // the read's report only
}

void TestBufferView::saveOverALargerFileTruncatesIt()
{
    const QString path = f.writeFile(QStringLiteral("big.bin"), QByteArray(1024 * 1024, 'z'));
    f.loadBytes(QByteArray(1000, 'a'));
    save(path);
    QCOMPARE(f.readFile(path), QByteArray(1000, 'a'));

    // An empty buffer saves an empty file.
    f.loadBytes(QByteArray());
    save(path);
    QVERIFY(QFile::exists(path));
    QCOMPARE(QFileInfo(path).size(), qint64(0));
}

void TestBufferView::saveWithoutBufferIsRefused()
{
    save(f.tempPath(QStringLiteral("none.bin")));
    const QList<InteractionCall> shown = messages();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].kind, InteractionCall::Warning);
    QCOMPARE(shown[0].title, text("警告"));
    QCOMPARE(shown[0].text, text("没有数据！"));
    QVERIFY(f.interaction.callsOf(InteractionCall::SaveFile).isEmpty());
    QVERIFY(!QFile::exists(f.tempPath(QStringLiteral("none.bin"))));
}

void TestBufferView::failingSaveKeepsTheOldFile()
{
    f.loadBytes(FlashWindowFixture::randomBytes(64 * 1024, 4));

    // Cannot be created at all, even by root.
    const QString nowhere = f.tempPath(QStringLiteral("no/such/dir/out.bin"));
    save(nowhere);
    QList<InteractionCall> shown = messages();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].kind, InteractionCall::Warning);
    QCOMPARE(shown[0].title, text("保存文件"));
    QCOMPARE(shown[0].parent.data(), static_cast<QWidget*>(f.window.get()));
    QVERIFY(shown[0].text.startsWith(text("不能打开文件 %1:\n").arg(nowhere)));
    QVERIFY(shown[0].text.endsWith(QLatin1Char('.')));
    QVERIFY(shown[0].text.size() > text("不能打开文件 %1:\n.").arg(nowhere).size()); // the reason is given
    QVERIFY(!QFile::exists(nowhere));

    // The disk fills up while writing: the existing file stays as it was, no leftovers.
    const QByteArray old = QByteArray("the old file's content");
    const QString path = f.writeFile(QStringLiteral("keep.bin"), old);
    const QStringList before = QDir(f.dir->path()).entryList(QDir::Files);
    f.interaction.clear();
    {
        FileSizeLimit limit(4096);
        QVERIFY(limit.ok);
        save(path);
    }
    shown = messages();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, text("保存文件"));
    // The system's reason for the failed write, not "Unknown error".
    QCOMPARE(shown[0].text, text("不能打开文件 %1:\n%2.").arg(path, QStringLiteral("File too large")));
    QCOMPARE(f.readFile(path), old);
    QCOMPARE(QDir(f.dir->path()).entryList(QDir::Files), before);

    // With room again the same save works.
    f.interaction.clear();
    save(path);
    QVERIFY(messages().isEmpty());
    QCOMPARE(f.readFile(path), f.buffer());
}

void TestBufferView::saveOfABufferThatCannotBeReadWholeKeepsTheOldFile_data()
{
    QTest::addColumn<UnreadableBuffer>("kind");
    QTest::newRow("larger than one read") << UnreadableBuffer::OverTheReadCap;
    QTest::newRow("file shrank") << UnreadableBuffer::FileShrank;
}

void TestBufferView::saveOfABufferThatCannotBeReadWholeKeepsTheOldFile()
{
    QFETCH(UnreadableBuffer, kind);
    QHexEditData* model = unreadableBuffer(kind, f.tempPath(QStringLiteral("buffer.bin")), f.window.get());
    QVERIFY(model);
    f.hexEdit->setData(model);
    const QByteArray old = QByteArray("the old file's content");
    const QString path = f.writeFile(QStringLiteral("keep.bin"), old);
    save(path);
    const QList<InteractionCall> shown = messages();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].kind, InteractionCall::Warning);
    QCOMPARE(shown[0].title, text("保存文件"));
    QCOMPARE(shown[0].text, text("不能保存文件 %1:\n读取缓冲区数据出错！").arg(path));
    QCOMPARE(shown[0].parent.data(), static_cast<QWidget*>(f.window.get()));
    QCOMPARE(f.readFile(path), old);
}

void TestBufferView::screenshotAfterReadAndEdit()
{
    // The default simulated adapter's first chip: read it, edit a few bytes, look at the window.
    f.window.reset();
    f.adapter = createDefaultTestAdapter(f.clock);
    writeTestChipList({makeTestChip(QStringLiteral("Winbond"), QStringLiteral("W25Q64BV/W25Q64CV/W25Q64FV"),
                                    {0xEF, 0x40, 0x17}, 8 << 20)});
    SimulatedChip* chip = f.adapter->sim().chip(0, 0x00);
    const QByteArray pattern = QByteArray("Korvane SPI Flash test image\0\x01\x02\x03\x7F\x80\xFE", 35);
    std::copy(pattern.begin(), pattern.end(), chip->contents().begin());
    f.window = std::make_unique<MainWindow>(*f.adapter, f.interaction, f.clock);
    f.hexEdit = f.window->findChild<QHexEdit*>();
    f.window->resize(1000, 620);
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));

    f.click("readDataPushButton");
    QCOMPARE(f.model()->length(), qint64(8 << 20));
    QHexEditDataWriter(f.model()).replace(0x40, QByteArray("\xDE\xAD\xBE\xEF", 4));
    f.hexEdit->setSelection(0x40, 0x43);
    QCOMPARE(f.buffer().mid(0x40, 4), QByteArray("\xDE\xAD\xBE\xEF", 4));
    QCOMPARE(f.buffer().left(pattern.size()), pattern);
    QCoreApplication::processEvents();

    const QImage image = f.window->grab().toImage();
    QVERIFY(!image.isNull());
    // SPIFLASH_READ_SCREENSHOT=<file.png> keeps the picture (docs/mainwindow-read.png).
    const QString path = qEnvironmentVariable("SPIFLASH_READ_SCREENSHOT");
    if (!path.isEmpty())
        QVERIFY(image.save(path));
}

QTEST_MAIN(TestBufferView)
#include "tst_bufferview.moc"
