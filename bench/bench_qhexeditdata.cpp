// Costs of the hex data model at scale: random edits, undo/redo, whole reads, opening a huge file,
// and searching. Prints one line per measurement.

#include "qhexedit/qhexeditdata.h"
#include "qhexedit/qhexeditdata_p.h"
#include "qhexedit/qhexeditdatareader.h"
#include "qhexedit/qhexeditdatawriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>

using namespace korvane;

namespace {

double residentMiB()
{
    QFile statm("/proc/self/statm");
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * 4096.0 / (1 << 20) : 0;
}

// CPU time of this thread: steadier than wall time on a machine shared with builds.
double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

struct Timer
{
    QElapsedTimer wall;
    double cpuStart = 0;
    void start()
    {
        wall.start();
        cpuStart = cpuMs();
    }
};

double ms(const Timer& t)
{
    return double(t.wall.nsecsElapsed()) / 1e6;
}

double cpu(const Timer& t)
{
    return cpuMs() - t.cpuStart;
}

QByteArray randomBytes(QRandomGenerator& rng, qint64 n, char low = 0, int spread = 256)
{
    QByteArray bytes(int(n), Qt::Uninitialized);
    for (qint64 i = 0; i < n; ++i)
        bytes[int(i)] = char(low + rng.bounded(spread));
    return bytes;
}

void randomReplacements(int edits)
{
    QRandomGenerator rng(1234);
    const qint64 size = 16 << 20;
    const QByteArray initial = randomBytes(rng, size);
    std::unique_ptr<QHexEditData> data(QHexEditData::fromMemory(initial));
    QHexEditDataWriter writer(data.get());
    QHexEditDataReader reader(data.get());
    Timer t;

    t.start();
    for (int i = 0; i < edits; ++i)
        writer.replace(rng.bounded(int(size)), uchar(rng.bounded(256)));
    const double editMs = ms(t), editCpu = cpu(t);
    t.start();
    const QByteArray edited = reader.read(0, data->length());
    const double readMs = ms(t), readCpu = cpu(t);
    t.start();
    QUndoStack* stack = data->undoStack();
    while (stack->canUndo())
        stack->undo();
    const double undoMs = ms(t), undoCpu = cpu(t);
    const bool undoneOk = reader.read(0, data->length()) == initial;
    t.start();
    while (stack->canRedo())
        stack->redo();
    const double redoMs = ms(t), redoCpu = cpu(t);
    const bool redoneOk = reader.read(0, data->length()) == edited;
    std::printf(
        "replace x%-8d 16 MiB (wall/cpu ms): edits %.0f/%.0f, read all %.0f/%.0f, edits+read %.0f/%.0f, "
        "undo all %.0f/%.0f, redo all %.0f/%.0f; runs %d, RSS %.0f MiB%s\n",
        edits, editMs, editCpu, readMs, readCpu, editMs + readMs, editCpu + readCpu, undoMs, undoCpu, redoMs,
        redoCpu, data->runs().count(), residentMiB(), undoneOk && redoneOk ? "" : "  MISMATCH");
}

void typedInsertions(int keys)
{
    QRandomGenerator rng(99);
    std::unique_ptr<QHexEditData> data(QHexEditData::fromMemory(randomBytes(rng, 16 << 20)));
    QHexEditDataWriter writer(data.get());
    Timer t;
    t.start();
    qint64 pos = 8 << 20;
    for (int i = 0; i < keys; ++i)
        writer.insert(pos++, char('a' + i % 26));
    std::printf("typed x%-10d 16 MiB: %8.1f ms, undo steps %d, runs %d\n", keys, ms(t),
                data->undoStack()->count(), data->runs().count());
}

void hugeFile()
{
    const QString path =
        QDir::temp().filePath(QString("bench_qhexeditdata_%1.bin").arg(qApp->applicationPid()));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || !f.resize(qint64(1) << 30)) {
            std::printf("1 GiB sparse file: could not create %s\n", qPrintable(path));
            return;
        }
    }
    const double before = residentMiB();
    Timer t;
    t.start();
    std::unique_ptr<QHexEditData> data(QHexEditData::fromFile(path));
    const double openMs = ms(t);
    QHexEditDataReader reader(data.get());
    QHexEditDataWriter writer(data.get());
    t.start();
    writer.replace(data->length() / 2, uchar(0x5a));
    const uchar middle = reader.at(data->length() / 2);
    const double editMs = ms(t);
    std::printf(
        "fromFile 1 GiB sparse: open %.3f ms, length %lld, RSS growth %.1f MiB, edit+read in the middle "
        "%.3f ms (byte %s)\n",
        openMs, data->length(), residentMiB() - before, editMs, middle == 0x5a ? "ok" : "WRONG");
    data.reset();
    QFile::remove(path);
}

void search(int edits)
{
    QRandomGenerator rng(7);
    const qint64 size = 64 << 20;
    std::unique_ptr<QHexEditData> data(QHexEditData::fromMemory(randomBytes(rng, size, 'a', 16)));
    QHexEditDataWriter writer(data.get());
    for (int i = 0; i < edits; ++i)
        writer.replace(rng.bounded(int(size)),
                       QByteArray(1 + int(rng.bounded(8)), char('a' + rng.bounded(16))));
    QHexEditDataReader reader(data.get());
    const QByteArray absent("zzzzzzzzzzzzzzzz"); // outside the alphabet
    Timer t;
    t.start();
    const qint64 found = reader.indexOf(absent, 0);
    const double searchMs = ms(t);
    // Same answers as the plain forward scan over the whole data.
    const QByteArray whole = reader.read(0, data->length());
    const QByteArray present = whole.mid(int(size) - 40, 16);
    const qint64 expected = whole.indexOf(present, 1000);
    const bool same = found == -1 && reader.indexOf(present, 1000) == expected;
    std::printf("indexOf 16-byte absent pattern, 64 MiB, %d runs: %.1f ms = %.0f MB/s%s\n",
                data->runs().count(), searchMs, double(data->length()) / 1e6 / (searchMs / 1e3),
                same ? "" : "  MISMATCH");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Arguments: edit counts (default 10000 100000); --replace-only skips the other measurements.
    QStringList args = app.arguments().mid(1);
    const bool replaceOnly = args.removeAll("--replace-only") > 0;
    if (args.isEmpty())
        args = QStringList{"10000", "100000"};
    for (const QString& arg : args)
        randomReplacements(arg.toInt());
    if (replaceOnly)
        return 0;
    for (const QString& arg : args)
        typedInsertions(arg.toInt());
    hugeFile();
    search(2000);
    search(5000);
    return 0;
}
