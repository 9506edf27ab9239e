// Read, write, verify and erase chip of a 16 MiB chip (W25Q128, EF 40 18) as a user runs them:
// button clicks on the real main window with its real progress dialog (offscreen), the simulated
// adapter at zero busy time and message boxes answered at once. The same run measures the peer
// programmer's emulation of the same chip (flashrom's dummy programmer) with -r, -v and -w.
// --default-busy keeps the simulated chip's default busy times (page program 50 us, chip erase
// 0.3 s), which the program itself runs with.
//
//   bench_readwriteverify [runs] [--no-peer] [--no-progress] [--default-busy]
//
// Prints medians in milliseconds, the ratios ours/peer, and our own cost per 20480-byte block
// (the time not spent inside the adapter library's flashRead/flashWrite).
#include "backends/simulated/simulatedadapter.h"

#include "app/mainwindow.h"
#include "core/base/clock.h"
#include "gui/userinteraction.h"
#include "qhexedit/qhexedit.h"
#include "qhexedit/qhexeditdata.h"
#include "tests/support/testchips.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

using namespace korvane;

namespace {

constexpr std::uint32_t kChipSize = 16u << 20;
constexpr int kBlocks = (kChipSize + kMaxFlashTransfer - 1) / kMaxFlashTransfer;

// Forwards to the simulated adapter and adds up the time spent in flashRead and flashWrite.
class TimedAdapter : public AdapterLibrary
{
public:
    explicit TimedAdapter(AdapterLibrary& inner) : lib(inner) { timer.start(); }

    int scanDevices(int* devices) override { return lib.scanDevices(devices); }
    bool openDevice(int handle) override { return lib.openDevice(handle); }
    void closeDevice(int handle) override { lib.closeDevice(handle); }
    bool getDeviceInfo(int handle, DEVICE_INFO* info, char* functions) override
    {
        return lib.getDeviceInfo(handle, info, functions);
    }
    bool eraseFirmware(int handle, std::uint32_t start, std::uint32_t end) override
    {
        return lib.eraseFirmware(handle, start, end);
    }
    bool writeFirmware(int handle, std::uint32_t address, const std::uint8_t* data, std::uint32_t count,
                       int flag) override
    {
        return lib.writeFirmware(handle, address, data, count, flag);
    }
    void jumpToAddress(int handle, std::uint32_t address) override { lib.jumpToAddress(handle, address); }
    bool checkFirmwareMd5(int handle, std::uint32_t start, std::uint32_t length) override
    {
        return lib.checkFirmwareMd5(handle, start, length);
    }
    bool checkFirmwareFile(const char* path) override { return lib.checkFirmwareFile(path); }
    int spiWriteBytes(int handle, int selector, const std::uint8_t* data, int count) override
    {
        return lib.spiWriteBytes(handle, selector, data, count);
    }
    int spiWriteReadBytes(int handle, int selector, const std::uint8_t* send, int sendCount,
                          std::uint8_t* receive, int receiveCount, int flag) override
    {
        return lib.spiWriteReadBytes(handle, selector, send, sendCount, receive, receiveCount, flag);
    }
    int flashInit(int handle, int selector, std::uint32_t clockHz, const SPIFlashConfig* config) override
    {
        return lib.flashInit(handle, selector, clockHz, config);
    }
    int flashReadId(int handle, int selector, std::uint8_t* buffer) override
    {
        return lib.flashReadId(handle, selector, buffer);
    }
    int flashEraseSectors(int handle, int selector, std::uint32_t first, std::uint32_t count) override
    {
        return lib.flashEraseSectors(handle, selector, first, count);
    }
    int flashWrite(int handle, int selector, std::uint32_t address, const std::uint8_t* data,
                   std::uint32_t count) override
    {
        const qint64 t0 = timer.nsecsElapsed();
        const int result = lib.flashWrite(handle, selector, address, data, count);
        insideNs += timer.nsecsElapsed() - t0;
        return result;
    }
    int flashRead(int handle, int selector, std::uint32_t address, std::uint8_t* buffer,
                  std::uint32_t count) override
    {
        const qint64 t0 = timer.nsecsElapsed();
        const int result = lib.flashRead(handle, selector, address, buffer, count);
        insideNs += timer.nsecsElapsed() - t0;
        return result;
    }

    qint64 insideNs = 0;

private:
    AdapterLibrary& lib;
    QElapsedTimer timer;
};

// The real progress dialog; message boxes are answered at once and only the last text is kept.
class BenchInteraction : public WidgetUserInteraction
{
public:
    bool realProgress = true;
    QString lastText;

    QMessageBox::StandardButton warning(QWidget*, const QString&, const QString& text,
                                        QMessageBox::StandardButtons) override
    {
        lastText = text;
        return QMessageBox::Ok;
    }
    QMessageBox::StandardButton information(QWidget*, const QString&, const QString& text,
                                            QMessageBox::StandardButtons) override
    {
        lastText = text;
        return QMessageBox::Ok;
    }
    QMessageBox::StandardButton question(QWidget*, QMessageBox::Icon, const QString&, const QString& text,
                                         QMessageBox::StandardButtons) override
    {
        lastText = text;
        return QMessageBox::Yes;
    }
    std::unique_ptr<ProgressDialog> showProgress(QWidget* parent, const QString& title, const QString& label,
                                                 int minimum, int maximum) override
    {
        if (realProgress)
            return WidgetUserInteraction::showProgress(parent, title, label, minimum, maximum);
        return std::make_unique<NoProgress>();
    }

private:
    class NoProgress : public ProgressDialog
    {
    public:
        void setLabelText(const QString&) override {}
        void setValue(int v) override { current = v; }
        int value() const override { return current; }
        void close() override {}
        bool isVisible() const override { return false; }

    private:
        int current = 0;
    };
};

double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

QByteArray randomImage(quint32 seed)
{
    QByteArray bytes(static_cast<int>(kChipSize), Qt::Uninitialized);
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
    return bytes;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Milliseconds of one run of the peer, or -1 when it failed.
double runPeer(const QString& program, const QString& image, const QStringList& operation)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QStringList arguments = {QStringLiteral("-p"), QStringLiteral("dummy:emulate=W25Q128FV,image=") + image,
                             QStringLiteral("-c"), QStringLiteral("W25Q128.V")};
    arguments << operation;
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        std::fprintf(stderr, "peer failed: %s %s\n%s\n", qPrintable(program), qPrintable(arguments.join(' ')),
                     process.readAll().constData());
        return -1.0;
    }
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int runs = 5;
    bool peer = true;
    bool realProgress = true;
    bool defaultBusy = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-peer") == 0)
            peer = false;
        else if (std::strcmp(argv[i], "--default-busy") == 0)
            defaultBusy = true;
        else if (std::strcmp(argv[i], "--no-progress") == 0)
            realProgress = false;
        else
            runs = std::max(1, std::atoi(argv[i]));
    }

    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path()))
        return 1;
    writeTestChipList({makeTestChip(QStringLiteral("Winbond"), QStringLiteral("W25Q128.V"),
                                    {0xEF, 0x40, 0x18}, static_cast<std::int32_t>(kChipSize))});

    SystemClock clock;
    SimulatedAdapter simulated(clock);
    simulated.setAdapterCount(1);
    SimulatedChip* chip = simulated.attachChip(0, 0x00, createSimulatedChip("W25Q128", clock));
    if (!defaultBusy)
        chip->setTiming({0, 0, 0, 0});
    const QByteArray image = randomImage(1);
    std::memcpy(chip->contents().data(), image.constData(), kChipSize);

    TimedAdapter adapter(simulated);
    BenchInteraction interaction;
    interaction.realProgress = realProgress;
    MainWindow window(adapter, interaction, clock);
    window.resize(1000, 620);
    window.show();
    QApplication::processEvents();
    auto* hexEdit = window.findChild<QHexEdit*>();

    std::vector<double> read, erase, write, verify, readOwnPerBlock, writeOwnPerBlock, verifyOwnPerBlock;
    const auto click = [&](const char* name, const QString& expected, std::vector<double>& times,
                           std::vector<double>* ownPerBlock) {
        adapter.insideNs = 0;
        QElapsedTimer timer;
        timer.start();
        window.findChild<QPushButton*>(QLatin1String(name))->click();
        const qint64 ns = timer.nsecsElapsed();
        if (!interaction.lastText.startsWith(expected)) {
            std::fprintf(stderr, "%s: unexpected report \"%s\"\n", name, qPrintable(interaction.lastText));
            std::exit(1);
        }
        times.push_back(static_cast<double>(ns) / 1e6);
        if (ownPerBlock)
            ownPerBlock->push_back(static_cast<double>(ns - adapter.insideNs) / 1e3 / kBlocks);
    };

    for (int run = 0; run < runs; ++run) {
        click("readDataPushButton", QString::fromUtf8("读数据成功！"), read, &readOwnPerBlock);
        if (hexEdit->data() == nullptr || hexEdit->data()->length() != kChipSize)
            return 1;
        click("eraseChipPushButton", QString::fromUtf8("擦除数据成功！"), erase, nullptr);
        click("writeDataPushButton", QString::fromUtf8("写数据成功！"), write, &writeOwnPerBlock);
        click("verifyPushButton", QString::fromUtf8("数据校验成功！"), verify, &verifyOwnPerBlock);
        if (std::memcmp(chip->contents().data(), image.constData(), kChipSize) != 0) {
            std::fprintf(stderr, "chip does not hold the image after the write\n");
            return 1;
        }
    }

    std::vector<double> peerRead, peerVerify, peerWrite;
    const QString flashrom =
        QStandardPaths::findExecutable(QStringLiteral("flashrom"), {"/usr/sbin", "/sbin"});
    if (peer && flashrom.isEmpty()) {
        std::fprintf(stderr, "flashrom not found, peer skipped\n");
        peer = false;
    }
    if (peer) {
        const QString chipImage = dir.filePath(QStringLiteral("peer-chip.bin"));
        const QString fileA = dir.filePath(QStringLiteral("a.bin"));
        const QString fileB = dir.filePath(QStringLiteral("b.bin"));
        const QString out = dir.filePath(QStringLiteral("out.bin"));
        if (!writeFile(chipImage, image) || !writeFile(fileA, image) || !writeFile(fileB, randomImage(2)))
            return 1;
        for (int run = 0; run < runs; ++run) {
            // -v compares with what the chip holds; -w always changes every byte (B over A, A over B).
            const QString current = run % 2 ? fileB : fileA;
            const QString next = run % 2 ? fileA : fileB;
            QFile::remove(out);
            peerRead.push_back(runPeer(flashrom, chipImage, {QStringLiteral("-r"), out}));
            peerVerify.push_back(runPeer(flashrom, chipImage, {QStringLiteral("-v"), current}));
            peerWrite.push_back(runPeer(flashrom, chipImage, {QStringLiteral("-w"), next}));
            if (peerRead.back() < 0 || peerVerify.back() < 0 || peerWrite.back() < 0)
                return 1;
        }
    }

    const double ourWriteSequence = median(erase) + median(write) + median(verify);
    std::printf("16 MiB chip, %d runs, medians in ms, progress dialog %s, platform %s, busy times %s\n", runs,
                realProgress ? "real" : "none", qPrintable(QGuiApplication::platformName()),
                defaultBusy ? "default" : "zero");
    std::printf("%-34s %10s %10s %8s\n", "operation", "ours", "peer", "ratio");
    const auto row = [&](const char* name, double ours, const std::vector<double>& theirs) {
        if (theirs.empty())
            std::printf("%-34s %10.1f %10s %8s\n", name, ours, "-", "-");
        else
            std::printf("%-34s %10.1f %10.1f %8.3f\n", name, ours, median(theirs), ours / median(theirs));
    };
    row("read into buffer  (peer -r)", median(read), peerRead);
    row("verify            (peer -v)", median(verify), peerVerify);
    row("erase+write+verify (peer -w)", ourWriteSequence, peerWrite);
    row("  erase chip", median(erase), {});
    row("  write", median(write), {});
    std::printf("our own cost per 20480-byte block (outside the adapter library), median in us:\n");
    std::printf("  read %.2f   write %.2f   verify %.2f   (1%% of the 3.28 ms wire time at 50 MHz: 32.8)\n",
                median(readOwnPerBlock), median(writeOwnPerBlock), median(verifyOwnPerBlock));
    return 0;
}
