// A working day of chip reads: the buffer is replaced by a fresh chip image again and again, as the
// read operation does it (a new model for the first read, then removal and insertion, two undo
// steps, each time). Prints the time per read, the memory the model holds and the peak resident size.
//
//   bench_repeatedreads [reads=100] [MiB per read=32] [undo budget MiB=1024]
//   bench_repeatedreads --window [reads=100]
//
// --window clicks 读出数据 on the real main window (offscreen) over a simulated 32 MiB W25Q256 at zero
// busy time, whose contents change a little between reads.

// Plain C++ adapter headers first: Qt's "slots" keyword macro must not reach them.
#include "backends/simulated/simulatedadapter.h"

#include "app/mainwindow.h"
#include "core/base/clock.h"
#include "gui/userinteraction.h"
#include "qhexedit/qhexedit.h"
#include "qhexedit/qhexeditdata.h"
#include "qhexedit/qhexeditdatareader.h"
#include "qhexedit/qhexeditdatawriter.h"
#include "tests/support/testchips.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <memory>

using namespace korvane;

namespace {

// A field of /proc/self/status in MiB ("VmHWM": peak resident size, "VmRSS": resident size now).
double statusMiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

double mib(qint64 bytes)
{
    return double(bytes) / double(1 << 20);
}

// A chip image that differs from read to read, written through every page as a read fills it.
QByteArray chipImage(int size, int read)
{
    QByteArray bytes(size, Qt::Uninitialized);
    std::memset(bytes.data(), read & 0xFF, size_t(size));
    for (int i = 0; i < size; i += 4096)
        bytes[i] = char(i >> 12);
    return bytes;
}

int argument(const QStringList& args, int index, int fallback)
{
    bool ok = false;
    const int value = args.value(index).toInt(&ok);
    return ok && value > 0 ? value : fallback;
}

void report(int read, double ms, QHexEditData* model)
{
    std::printf("read %3d: %6.1f ms, undo steps %3d, new bytes %7.1f MiB (history only %7.1f MiB), "
                "resident %7.1f MiB\n",
                read, ms, model->undoStack()->count(), mib(model->newBytesHeld()),
                mib(model->undoOnlyBytes()), statusMiB("VmRSS"));
}

// Message boxes answered at once, the last text kept; the real progress dialog.
class AnsweringInteraction : public WidgetUserInteraction
{
public:
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
};

int readsThroughTheWindow(int reads)
{
    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path()))
        return 1;
    const std::uint32_t size = 32u << 20;
    writeTestChipList({makeTestChip(QStringLiteral("Winbond"), QStringLiteral("W25Q256"), {0xEF, 0x40, 0x19},
                                    std::int32_t(size), 4096, 4)});
    SystemClock clock;
    SimulatedAdapter adapter(clock);
    adapter.setAdapterCount(1);
    SimulatedChip* chip = adapter.attachChip(0, 0x00, createSimulatedChip("W25Q256", clock));
    chip->setTiming({0, 0, 0, 0});
    AnsweringInteraction interaction;
    MainWindow window(adapter, interaction, clock);
    window.show();
    auto* hexEdit = window.findChild<QHexEdit*>();
    auto* readButton = window.findChild<QPushButton*>(QStringLiteral("readDataPushButton"));

    QElapsedTimer total;
    total.start();
    int failed = 0;
    for (int read = 0; read < reads; ++read) {
        // A different chip each time, so that every read brings new bytes.
        for (std::uint32_t at = 0; at < size; at += size / 8)
            chip->contents()[at + std::uint32_t(read) % 4096] = std::uint8_t(read);
        QElapsedTimer one;
        one.start();
        readButton->click();
        const double ms = double(one.nsecsElapsed()) / 1e6;
        QHexEditData* model = hexEdit->data();
        const bool ok = model && interaction.lastText.startsWith(QString::fromUtf8("读数据成功！")) &&
                        model->length() == qint64(size) &&
                        QHexEditDataReader(model).at(std::uint32_t(read) % 4096) == std::uint8_t(read);
        failed += ok ? 0 : 1;
        if (model && ((read + 1) % 10 == 0 || read + 1 == reads))
            report(read + 1, ms, model);
    }
    const double seconds = double(total.nsecsElapsed()) / 1e9;
    bool ok = false;
    QHexEditData* model = hexEdit->data();
    const QByteArray last = QHexEditDataReader(model).read(0, model->length(), &ok);
    const bool intact = ok && std::memcmp(last.constData(), chip->contents().data(), size) == 0;
    std::printf(
        "%d reads of the 32 MiB chip through the window: %.2f s (%.1f ms a read), %d not \"读数据成功！\" "
        "with the chip's bytes, last buffer %s\n",
        reads, seconds, seconds * 1e3 / reads, failed, intact ? "intact" : "WRONG");
    std::printf("peak resident size: %.1f MiB\n", statusMiB("VmHWM"));
    QDir::setCurrent(QDir::tempPath());
    return failed == 0 && intact ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = app.arguments();
    if (args.value(1) == QLatin1String("--window"))
        return readsThroughTheWindow(argument(args, 2, 100));
    const int reads = argument(args, 1, 100);
    const int size = argument(args, 2, 32) << 20;
    const qint64 budget = qint64(argument(args, 3, 1024)) << 20;

    std::unique_ptr<QHexEditData> model;
    QElapsedTimer total;
    total.start();
    double slowestMs = 0;
    int failed = 0;
    for (int read = 0; read < reads; ++read) {
        QElapsedTimer one;
        one.start();
        const QByteArray image = chipImage(size, read);
        if (!model) {
            model.reset(QHexEditData::fromMemory(image));
            model->setUndoMemoryBudget(budget);
        } else if (!QHexEditDataWriter(model.get()).replaceAll(image)) {
            ++failed;
        }
        const double ms = double(one.nsecsElapsed()) / 1e6;
        slowestMs = qMax(slowestMs, ms);
        if ((read + 1) % 10 == 0 || read + 1 == reads)
            report(read + 1, ms, model.get());
    }
    const double seconds = double(total.nsecsElapsed()) / 1e9;

    bool ok = false;
    const QByteArray last = QHexEditDataReader(model.get()).read(0, model->length(), &ok);
    const bool intact = ok && last == chipImage(size, reads - 1);
    // Undo back to the oldest step the budget kept: every state on the way is readable.
    QHexEditDataReader reader(model.get());
    bool history = true;
    while (model->undoStack()->canUndo()) {
        model->undoStack()->undo();
        reader.read(0, model->length(), &ok);
        history = history && ok;
    }

    std::printf("%d reads of %d MiB, undo budget %lld MiB: %.2f s (%.1f ms a read, slowest %.1f ms), "
                "%d refused, last buffer %s, history %s\n",
                reads, size >> 20, static_cast<long long>(budget >> 20), seconds, seconds * 1e3 / reads,
                slowestMs, failed, intact ? "intact" : "WRONG", history ? "readable" : "UNREADABLE");
    std::printf("peak resident size: %.1f MiB\n", statusMiB("VmHWM"));
    return failed == 0 && intact && history ? 0 : 1;
}
