// A working day of chip reads: the buffer is replaced by a fresh chip image again and again, as the
// read operation does it (a new model for the first read, then removal and insertion, two undo
// steps, each time). Prints the time per read, the memory the model holds and the peak resident size.
//
//   bench_repeatedreads [reads=100] [MiB per read=32] [undo budget MiB=1024]

#include "qhexedit/qhexeditdata.h"
#include "qhexedit/qhexeditdatareader.h"
#include "qhexedit/qhexeditdatawriter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>

#include <cstdio>
#include <cstring>
#include <memory>

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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
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
        if ((read + 1) % 10 == 0 || read + 1 == reads) {
            std::printf("read %3d: %6.1f ms, undo steps %3d, new bytes %7.1f MiB (history only %7.1f MiB), "
                        "resident %7.1f MiB\n",
                        read + 1, ms, model->undoStack()->count(), mib(model->newBytesHeld()),
                        mib(model->undoOnlyBytes()), statusMiB("VmRSS"));
        }
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
