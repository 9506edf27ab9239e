#include "qhexedit/qhexeditdata.h"
#include "qhexedit/qhexeditdata_p.h"
#include "qhexedit/qhexeditdatadevice.h"
#include "qhexedit/qhexeditdatareader.h"
#include "qhexedit/qhexeditdatawriter.h"

#include <QBuffer>
#include <QFile>
#include <QPointer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <limits>
#include <memory>

using namespace korvane;

namespace {

struct Change
{
    qint64 offset;
    qint64 size;
    QHexEditData::ActionType reason;
    bool operator==(const Change& o) const
    {
        return offset == o.offset && size == o.size && reason == o.reason;
    }
};

// Records every dataChanged of a model.
struct ChangeLog
{
    explicit ChangeLog(QHexEditData* data)
    {
        QObject::connect(data, &QHexEditData::dataChanged,
                         [this](qint64 offset, qint64 size, QHexEditData::ActionType reason) {
                             changes.push_back({offset, size, reason});
                         });
    }
    std::vector<Change> take()
    {
        std::vector<Change> out;
        out.swap(changes);
        return out;
    }
    std::vector<Change> changes;
};

QByteArray randomBytes(QRandomGenerator& rng, int n)
{
    QByteArray bytes(n, Qt::Uninitialized);
    for (int i = 0; i < n; ++i)
        bytes[i] = char(rng.bounded(256));
    return bytes;
}

QByteArray all(QHexEditData* data)
{
    return QHexEditDataReader(data).read(0, data->length());
}

bool consistent(QHexEditData* data)
{
    return data->runs().sumOfRunLengths() == data->length() && data->runs().checkCaches();
}

QByteArray naiveReplace(QByteArray ref, qint64 pos, qint64 len, const QByteArray& bytes)
{
    const qint64 n = qMin(len, qint64(ref.size()) - pos);
    if (n > 0)
        ref.remove(int(pos), int(n));
    ref.insert(int(pos), bytes);
    return ref;
}

} // namespace

class TestQHexEditData : public QObject
{
    Q_OBJECT

private:
    // One step of the reference history: the bytes after it and the change it announces.
    struct Step
    {
        QByteArray after;
        Change change;
    };

    void runRandomSequence(quint32 seed, const QByteArray& initial, int steps, qint64 budget, qint64 limit);

private slots:
    void randomSequencesMatchReference_data();
    void randomSequencesMatchReference();
    void runListSplicesMatchPlainVector();
    void emptyDevice();
    void splitVersusBoundaryInsertion();
    void typedInsertionsMergeIntoOneStep();
    void insertionsThatMustNotMerge();
    void mergeDeclinedByStackStillInsertsBytes();
    void refusedOperationsChangeNothing();
    void removeEverythingThenAppend();
    void replaceRunningPastTheEnd();
    void readsAcrossWindowRefills();
    void atClampsAndReadStringStops();
    void integersInBothByteOrders();
    void indexOfMatchesPlainScan();
    void readerWindowFollowsEdits();
    void saveToSeparateDevice();
    void saveInPlaceShorterAndLonger();
    void saveRefusals();
    void factoriesAndOwnership();
    void dataDevice();
    void memoryRefusalChangesNothing_data();
    void memoryRefusalChangesNothing();
    void replaceAllIsTwoStepsOrNothing();
    void undoHistoryStaysWithinItsBudget();
    void mergingGoesOnAcrossPiecesAndTrimming();
    void readsThatCannotBeServedWhole_data();
    void readsThatCannotBeServedWhole();
};

void TestQHexEditData::randomSequencesMatchReference_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("initialSize");
    QTest::addColumn<qint64>("budget"); // undo memory budget; 0: the default
    QTest::addColumn<qint64>("limit");  // memory limit; -1: none
    QTest::newRow("empty device") << 1u << 0 << qint64(0) << qint64(-1);
    QTest::newRow("small") << 7u << 100 << qint64(0) << qint64(-1);
    QTest::newRow("several windows") << 42u << 30000 << qint64(0) << qint64(-1);
    QTest::newRow("several windows, other seed") << 2024u << 20000 << qint64(0) << qint64(-1);
    // Small enough that the oldest steps go all the time, and that edits are refused for memory.
    QTest::newRow("undo budget of three pieces") << 5u << 3000 << qint64(3 * 4096) << qint64(-1);
    QTest::newRow("memory limit") << 9u << 20000 << qint64(3 * 4096) << qint64(5 * 4096);
}

void TestQHexEditData::randomSequencesMatchReference()
{
    QFETCH(quint32, seed);
    QFETCH(int, initialSize);
    QFETCH(qint64, budget);
    QFETCH(qint64, limit);
    QRandomGenerator rng(seed);
    runRandomSequence(seed, randomBytes(rng, initialSize), 3000, budget, limit);
}

// Checks every step against a plain byte array and its own undo history. With a budget, the model may
// drop its oldest steps (the reference then drops as many); with a limit, it may refuse an edit for
// memory, which must then change nothing.
void TestQHexEditData::runRandomSequence(quint32 seed, const QByteArray& initial, int steps, qint64 budget,
                                         qint64 limit)
{
    QRandomGenerator rng(seed ^ 0x5a5a5a5au);
    std::unique_ptr<QHexEditData> data(QHexEditData::fromMemory(initial));
    if (budget > 0)
        data->setUndoMemoryBudget(budget);
    if (limit >= 0)
        data->setMemoryLimit(limit);
    QByteArray base = initial; // the oldest state the undo history reaches
    int memoryRefusals = 0;
    int dropped = 0;
    QHexEditDataWriter writer(data.get());
    QHexEditDataReader windowReader(data.get()); // keeps a window across edits
    ChangeLog log(data.get());
    QUndoStack* stack = data->undoStack();

    std::vector<Step> history; // applied steps are [0, index), undone ones after
    int index = 0;
    QByteArray ref = initial;
    bool lastWasInsert = false;
    qint64 lastInsertEnd = -1;

    for (int step = 0; step < steps; ++step) {
        const qint64 len = ref.size();
        const int op = int(rng.bounded(100));
        // Keep a window cached before the edit.
        if (len > 0)
            windowReader.at(rng.bounded(int(len)));

        bool refused = false;
        bool accepted = false;
        bool merged = false;
        const qint64 insertEndBefore = lastInsertEnd;
        QByteArray after = ref;
        Change change{0, 0, QHexEditData::NoAction};
        QString what;

        auto anyPos = [&]() { return qint64(rng.bounded(int(len) + 3)) - 1; }; // sometimes out of range
        if (op < 20) {
            const qint64 pos = anyPos();
            const QByteArray bytes = randomBytes(rng, int(rng.bounded(1, 40)));
            what = QString("insert(%1, %2 bytes)").arg(pos).arg(bytes.size());
            refused = pos < 0 || pos > len;
            if (!refused) {
                after.insert(int(pos), bytes);
                change = {pos, bytes.size(), QHexEditData::Insert};
                merged = lastWasInsert && pos == lastInsertEnd;
                lastInsertEnd = pos + bytes.size();
            }
            accepted = writer.insert(pos, bytes);
        } else if (op < 35 && lastWasInsert) {
            // Typing: one byte where the previous insertion ended.
            const char ch = char(rng.bounded(256));
            const qint64 pos = lastInsertEnd;
            what = QString("type at %1").arg(pos);
            after.insert(int(pos), ch);
            change = {pos, 1, QHexEditData::Insert};
            merged = true;
            lastInsertEnd = pos + 1;
            accepted = writer.insert(pos, ch);
        } else if (op < 45) {
            const QByteArray bytes = randomBytes(rng, int(rng.bounded(1, 300)));
            what = QString("append(%1 bytes)").arg(bytes.size());
            after.append(bytes);
            change = {len, bytes.size(), QHexEditData::Insert};
            merged = lastWasInsert && len == lastInsertEnd;
            lastInsertEnd = len + bytes.size();
            accepted = writer.append(bytes);
        } else if (op < 58) {
            const qint64 pos = anyPos();
            qint64 n = rng.bounded(10) == 0 ? len + 1 : qint64(rng.bounded(1, 200)) - 2;
            if (budget > 0 && rng.bounded(4) == 0)
                n = len - pos; // to the end: whole pieces leave the data for the undo history
            what = QString("remove(%1, %2)").arg(pos).arg(n);
            refused = pos < 0 || n <= 0 || pos >= len || pos + n > len;
            if (!refused) {
                after.remove(int(pos), int(n));
                change = {pos, n, QHexEditData::Remove};
            }
            accepted = writer.remove(pos, n);
        } else if (op < 78) {
            const qint64 pos = anyPos();
            const int form = int(rng.bounded(5));
            QByteArray bytes = randomBytes(rng, form >= 2 ? 1 : int(rng.bounded(1, 30)));
            qint64 n = form == 0 ? qint64(rng.bounded(0, 40)) : bytes.size();
            if (form == 4) {
                const quint32 value = rng.generate();
                const int order = int(rng.bounded(3));
                bytes = order == 1 ? QByteArray::fromRawData(reinterpret_cast<const char*>(&value), 4)
                                   : QByteArray(reinterpret_cast<const char*>(&value), 4);
                bytes.detach();
                if (order != 1)
                    std::reverse(bytes.begin(), bytes.end());
                n = 4;
                accepted = writer.writeUInt32(pos, value, order);
            } else if (form == 0) {
                accepted = writer.replace(pos, n, bytes);
            } else if (form == 1) {
                accepted = writer.replace(pos, bytes);
            } else if (form == 2) {
                n = qint64(rng.bounded(0, 5));
                accepted = writer.replace(pos, n, uchar(bytes[0]));
            } else {
                accepted = writer.replace(pos, uchar(bytes[0]));
            }
            what = QString("replace form %1 (%2, %3, %4 bytes)").arg(form).arg(pos).arg(n).arg(bytes.size());
            refused = pos < 0 || pos > len || data->runs().count() == 0;
            if (!refused) {
                after = naiveReplace(ref, pos, n, bytes);
                change = {pos, bytes.size(), QHexEditData::Replace};
            }
        } else if (op < 90) {
            what = "undo";
            if (index > 0) {
                --index;
                change = history[size_t(index)].change;
                after = index > 0 ? history[size_t(index - 1)].after : base;
            } else {
                refused = true;
            }
            stack->undo();
        } else {
            what = "redo";
            if (index < int(history.size())) {
                change = history[size_t(index)].change;
                after = history[size_t(index)].after;
                ++index;
            } else {
                refused = true;
            }
            stack->redo();
        }

        const bool edit = what != "undo" && what != "redo";
        const QByteArray context = QString("step %1: %2").arg(step).arg(what).toLatin1();
        if (edit && refused) {
            QVERIFY2(!accepted, context.constData());
        } else if (edit && !accepted) {
            // Refused for memory: as if it had never been asked for.
            QVERIFY2(limit >= 0 && change.reason != QHexEditData::Remove, context.constData());
            refused = true;
            after = ref;
            lastInsertEnd = insertEndBefore;
            ++memoryRefusals;
        }
        if (edit && !refused) {
            if (merged && index > 0) {
                Step& top = history[size_t(index - 1)];
                top.after = after;
                top.change.size += change.size;
            } else {
                history.resize(size_t(index));
                history.push_back({after, change});
                ++index;
            }
        }
        if (edit && !refused) {
            lastWasInsert = change.reason == QHexEditData::Insert;
        } else if (!edit && !refused) {
            lastWasInsert = false;
        }
        if (!edit || refused || change.reason != QHexEditData::Insert)
            lastInsertEnd = lastWasInsert ? lastInsertEnd : -1;

        // The model dropped its oldest steps: so does the reference.
        const int gone = int(history.size()) - stack->count();
        QVERIFY2(gone >= 0 && (gone == 0 || budget > 0), context.constData());
        if (gone > 0) {
            base = history[size_t(gone - 1)].after;
            history.erase(history.begin(), history.begin() + gone);
            index -= gone;
            dropped += gone;
        }
        // Checked after edits: an undo may move bytes into the history, which the next edit trims.
        if (budget > 0 && edit && !refused)
            QVERIFY2(data->undoOnlyBytes() <= budget, context.constData());
        if (limit >= 0)
            QVERIFY2(data->newBytesHeld() <= limit, context.constData());

        const std::vector<Change> changes = log.take();
        if (refused) {
            QVERIFY2(changes.empty(), context.constData());
        } else {
            QVERIFY2(changes.size() == 1, context.constData());
            QVERIFY2(changes[0] == change, context.constData());
        }
        ref = after;
        QVERIFY2(data->length() == ref.size(), context.constData());
        QVERIFY2(consistent(data.get()), context.constData());
        QVERIFY2(stack->index() == index && stack->count() == int(history.size()), context.constData());
        QVERIFY2(all(data.get()) == ref, context.constData());
        if (ref.size() > 0) {
            const qint64 p = rng.bounded(ref.size());
            const qint64 n = rng.bounded(1, 9000);
            QVERIFY2(windowReader.read(p, n) == ref.mid(int(p), int(n)), context.constData());
            const qint64 q = rng.bounded(ref.size());
            QVERIFY2(windowReader.at(q) == uchar(ref.at(int(q))), context.constData());
        }
    }
    // The oldest state kept is still reached by undoing everything.
    stack->setIndex(0);
    QCOMPARE(all(data.get()), base);
    if (budget > 0)
        QVERIFY(dropped > 0);
    if (limit >= 0)
        QVERIFY(memoryRefusals > 0);
}

// The block index under the model, against a plain vector: splices of every size, lookups by offset and
// by index, and in-place growth as a merge does it.
void TestQHexEditData::runListSplicesMatchPlainVector()
{
    QRandomGenerator rng(77);
    QHexEditDataRuns runs;
    DataRunList ref;
    auto newRun = [&]() {
        auto run = std::make_shared<DataRun>();
        run->offset = rng.bounded(1000);
        run->length = 1 + rng.bounded(20);
        return run;
    };
    for (int step = 0; step < 4000; ++step) {
        const int count = int(ref.size());
        const int index = int(rng.bounded(count + 1));
        const int shape = int(rng.bounded(10));
        int removeCount = qMin(count - index, int(rng.bounded(4)));
        int addCount = int(rng.bounded(4));
        if (shape == 0) { // large blocks in and out, as removing everything and undoing it does
            removeCount = count - index;
            addCount = 0;
        } else if (shape == 1) {
            addCount = int(rng.bounded(1500));
        }
        DataRunList added;
        for (int k = 0; k < addCount; ++k)
            added.push_back(newRun());
        runs.splice(index, removeCount, added);
        ref.erase(ref.begin() + index, ref.begin() + index + removeCount);
        ref.insert(ref.begin() + index, added.begin(), added.end());
        if (shape == 2 && !ref.empty()) {
            const int grown = int(rng.bounded(int(ref.size())));
            ref[size_t(grown)]->length += 5;
            runs.lengthChanged(grown);
        }

        QVERIFY(runs.checkCaches());
        QCOMPARE(runs.count(), int(ref.size()));
        qint64 total = 0;
        for (const DataRunPtr& run : ref)
            total += run->length;
        QCOMPARE(runs.totalLength(), total);
        for (int probe = 0; probe < 5 && !ref.empty(); ++probe) {
            const int i = int(rng.bounded(int(ref.size())));
            QCOMPARE(runs.at(i), ref[size_t(i)]);
            qint64 start = 0;
            for (int k = 0; k < i; ++k)
                start += ref[size_t(k)]->length;
            QCOMPARE(runs.startOf(i), start);
            const qint64 pos = start + rng.bounded(int(ref[size_t(i)]->length));
            QHexEditDataRuns::Found found;
            QVERIFY(runs.find(pos, &found));
            QCOMPARE(found.index, i);
            QCOMPARE(found.start, start);
            QCOMPARE(found.run, ref[size_t(i)]);
        }
        QHexEditDataRuns::Found end;
        QCOMPARE(runs.find(total, &end), !ref.empty());
        if (!ref.empty())
            QCOMPARE(end.index, int(ref.size()));
        QVERIFY(!runs.find(total + 1, &end));
        QVERIFY(!runs.find(-1, &end));
    }
}

void TestQHexEditData::emptyDevice()
{
    std::unique_ptr<QHexEditData> data(QHexEditData::fromMemory(QByteArray()));
    QCOMPARE(data->length(), 0);
    QCOMPARE(data->runs().count(), 1);
    QCOMPARE(data->runs().at(0)->length, 0);
    QHexEditDataReader reader(data.get());
    QHexEditDataWriter writer(data.get());
    ChangeLog log(data.get());
    QVERIFY(reader.read(0, 10).isEmpty());
    QCOMPARE(reader.at(0), uchar(0));
    QCOMPARE(reader.indexOf("a", 0), -1);

    // Nothing to remove: the replacement inserts.
    writer.replace(0, uchar('x'));
    QCOMPARE(all(data.get()), QByteArray("x"));
    QCOMPARE(log.take(), (std::vector<Change>{{0, 1, QHexEditData::Replace}}));
    data->undoStack()->undo();
    QCOMPARE(data->length(), 0);
    QCOMPARE(log.take(), (std::vector<Change>{{0, 1, QHexEditData::Replace}}));
    data->undoStack()->redo();
    QCOMPARE(all(data.get()), QByteArray("x"));

    writer.insert(0, QByteArray("ab"));
    QCOMPARE(all(data.get()), QByteArray("abx"));
    QVERIFY(consistent(data.get()));
}

void TestQHexEditData::splitVersusBoundaryInsertion()
{
    std::unique_ptr<QHexEditData> data(QHexEditData::fromMemory("abcdef"));
    QHexEditDataWriter writer(data.get());
    writer.insert(3, QByteArray("XY"));
    QCOMPARE(all(data.get()), QByteArray("abcXYdef"));
    QCOMPARE(data->runs().count(), 3); // head, new bytes, tail
    writer.insert(0, QByteArray("<"));
    QCOMPARE(data->runs().count(), 4); // at a boundary: one more run
    writer.insert(data->length(), QByteArray(">"));
    QCOMPARE(data->runs().count(), 5);
    QCOMPARE(all(data.get()), QByteArray("<abcXYdef>"));
    QCOMPARE(data->undoStack()->count(), 3);
    data->undoStack()->setIndex(0);
    QCOMPARE(all(data.get()), QByteArray("abcdef"));
    QCOMPARE(data->runs().count(), 1);
    data->undoStack()->setIndex(3);
    QCOMPARE(all(data.get()), QByteArray("<abcXYdef>"));
    QVERIFY(consistent(data.get()));
}

void TestQHexEditData::typedInsertionsMergeIntoOneStep()
{
    std::unique_ptr<QHexEditData> data(QHexEditData::fromMemory("0123456789"));
    QHexEditDataWriter writer(data.get());
    ChangeLog log(data.get());
    writer.insert(2, 'a'); // splits the device run
    writer.insert(3, 'b');
    writer.insert(4, QByteArray("cd"));
    QCOMPARE(all(data.get()), QByteArray("01abcd23456789"));
    QCOMPARE(data->undoStack()->count(), 1);
    QCOMPARE(data->runs().count(), 3);
    QCOMPARE(log.take(),
             (std::vector<Change>{
                 {2, 1, QHexEditData::Insert}, {3, 1, QHexEditData::Insert}, {4, 2, QHexEditData::Insert}}));
    data->undoStack()->undo();
    QCOMPARE(all(data.get()), QByteArray("0123456789"));
    QCOMPARE(log.take(), (std::vector<Change>{{2, 4, QHexEditData::Insert}}));
    data->undoStack()->redo();
    QCOMPARE(all(data.get()), QByteArray("01abcd23456789"));
    QVERIFY(consistent(data.get()));

    // A redo resets the merge chain: the next insertion at the same place is a step of its own.
    writer.insert(6, 'e');
    QCOMPARE(data->undoStack()->count(), 2);
    writer.insert(7, 'f');
    QCOMPARE(data->undoStack()->count(), 2);
    QCOMPARE(all(data.get()), QByteArray("01abcdef23456789"));
}

void TestQHexEditData::insertionsThatMustNotMerge()
{
    std::unique_ptr<QHexEditData> data(QHexEditData::fromMemory("0123456789"));
    QHexEditDataWriter writer(data.get());
    writer.insert(2, 'a');
    writer.insert(2, 'b'); // not where the previous one ended
    QCOMPARE(data->undoStack()->count(), 2);
    writer.remove(0, 1);
    writer.insert(2, 'c'); // after a removal
    QCOMPARE(data->undoStack()->count(), 4);
    writer.replace(0, uchar('R'));
    writer.insert(1, 'd'); // after a replacement ending there
    QCOMPARE(data->undoStack()->count(), 6);
    data->undoStack()->undo();
    writer.insert(1, 'e'); // after an undo
    QCOMPARE(data->undoStack()->count(), 6);
    QCOMPARE(all(data.get()), QByteArray("Rebca23456789"));
    data->undoStack()->setIndex(0);
    QCOMPARE(all(data.get()), QByteArray("0123456789"));
}

void TestQHexEditData::mergeDeclinedByStackStillInsertsBytes()
{
    std::unique_ptr<QHexEditData> data(QHexEditData::fromMemory("xyz"));
    QHexEditDataWriter writer(data.get());
    ChangeLog log(data.get());
    writer.insert(1, 'a');
    data->undoStack()->setClean(); // the stack never merges into its clean state
    writer.insert(2, 'b');
    QCOMPARE(all(data.get()), QByteArray("xabyz"));
    QCOMPARE(data->undoStack()->count(), 2);
    QCOMPARE(log.take().back(), (Change{2, 1, QHexEditData::Insert}));
    data->undoStack()->clear();
    writer.insert(3, 'c');
    QCOMPARE(all(data.get()), QByteArray("xabcyz"));
    QCOMPARE(data->length(), 6);
    QVERIFY(consistent(data.get()));
    data->undoStack()->undo();
    QCOMPARE(all(data.get()), QByteArray("xabyz"));
}

void TestQHexEditData::refusedOperationsChangeNothing()
{
    std::unique_ptr<QHexEditData> data(QHexEditData::fromMemory("abcdef"));
    QHexEditDataWriter writer(data.get());
    ChangeLog log(data.get());
    writer.remove(4, 3);  // past the end
    writer.remove(2, 0);  // nothing
    writer.remove(6, 1);  // at the end
    writer.remove(-1, 2); // before the start
    writer.remove(1, -2);
    writer.insert(-1, 'x');
    writer.insert(7, 'x');
    writer.insert(2, QByteArray());
    writer.replace(7, uchar('x'));
    writer.replace(-1, uchar('x'));
    writer.replace(2, QByteArray());
    writer.writeUInt32(9, 1, 0);
    QCOMPARE(all(data.get()), QByteArray("abcdef"));
    QVERIFY(log.changes.empty());
    QCOMPARE(data->undoStack()->count(), 0);
    // A refused insertion leaves the merge chain alone.
    writer.insert(1, 'x');
    writer.insert(9, 'y');
    writer.insert(2, 'y');
    QCOMPARE(data->undoStack()->count(), 1);
    QCOMPARE(all(data.get()), QByteArray("axybcdef"));
}

void TestQHexEditData::removeEverythingThenAppend()
{
    std::unique_ptr<QHexEditData> data(QHexEditData::fromMemory("old contents"));
    QHexEditDataWriter writer(data.get());
    QHexEditDataReader reader(data.get());
    QCOMPARE(reader.at(4), uchar('c'));
    writer.remove(0, data->length());
    QCOMPARE(data->length(), 0);
    QCOMPARE(data->runs().count(), 0);
    QVERIFY(reader.read(0, 5).isEmpty());
    QCOMPARE(reader.at(0), uchar(0));
    QCOMPARE(reader.readString(0), QString());
    writer.replace(0, uchar('z'));
    QCOMPARE(data->undoStack()->count(), 1);
    writer.append("new");
    QCOMPARE(all(data.get()), QByteArray("new"));
    QCOMPARE(reader.at(1), uchar('e'));
    QCOMPARE(data->undoStack()->count(), 2);
    data->undoStack()->undo();
    QCOMPARE(data->length(), 0);
    data->undoStack()->undo();
    QCOMPARE(all(data.get()), QByteArray("old contents"));
    QCOMPARE(reader.at(0), uchar('o'));
}

void TestQHexEditData::replaceRunningPastTheEnd()
{
    std::unique_ptr<QHexEditData> data(QHexEditData::fromMemory("abcdef"));
    QHexEditDataWriter writer(data.get());
    ChangeLog log(data.get());
    writer.replace(4, QByteArray("WXYZ"));
    QCOMPARE(all(data.get()), QByteArray("abcdWXYZ"));
    QCOMPARE(log.take(), (std::vector<Change>{{4, 4, QHexEditData::Replace}}));
    writer.replace(8, QByteArray("!")); // at the end: appends
    QCOMPARE(all(data.get()), QByteArray("abcdWXYZ!"));
    writer.replace(1, 3, uchar('-'));
    QCOMPARE(all(data.get()), QByteArray("a-WXYZ!"));
    data->undoStack()->setIndex(0);
    QCOMPARE(all(data.get()), QByteArray("abcdef"));
    data->undoStack()->setIndex(3);
    QCOMPARE(all(data.get()), QByteArray("a-WXYZ!"));
    QVERIFY(consistent(data.get()));
}

void TestQHexEditData::readsAcrossWindowRefills()
{
    QRandomGenerator rng(5);
    const QByteArray bytes = randomBytes(rng, 50000);
    std::unique_ptr<QHexEditData> data(QHexEditData::fromMemory(bytes));
    QHexEditDataWriter writer(data.get());
    for (int i = 0; i < 200; ++i) // many runs
        writer.replace(rng.bounded(50000), uchar(i));
    const QByteArray ref = all(data.get());
    QHexEditDataReader reader(data.get());
    QCOMPARE(reader.read(ref.size() - 3, 10), ref.right(3));
    QVERIFY(reader.read(ref.size(), 1).isEmpty());
    QVERIFY(reader.read(-1, 4).isEmpty());
    for (qint64 pos : {qint64(0), qint64(8190), qint64(8192), qint64(16000), qint64(45000), qint64(49999)}) {
        for (qint64 n : {qint64(1), qint64(5), qint64(8192), qint64(8193), qint64(30000)})
            QCOMPARE(reader.read(pos, n), ref.mid(int(pos), int(n)));
    }
    // Byte by byte, so the window is refilled many times.
    QByteArray walked;
    for (qint64 p = 0; p < ref.size(); ++p)
        walked.append(char(reader.at(p)));
    QCOMPARE(walked, ref);
}

void TestQHexEditData::atClampsAndReadStringStops()
{
    std::unique_ptr<QHexEditData> data(QHexEditData::fromMemory(QByteArray("AB\0CD\x80xyz", 9)));
    QHexEditDataReader reader(data.get());
    QCOMPARE(reader.at(-5), uchar('A'));
    QCOMPARE(reader.at(19), uchar('z'));
    QCOMPARE(reader.readString(0), QString("AB"));
    QCOMPARE(reader.readString(3), QString("CD"));
    QCOMPARE(reader.readString(6), QString("xyz"));
    QCOMPARE(reader.readString(6, 2), QString("xy"));
    QCOMPARE(reader.readString(6, 0), QString());
    QCOMPARE(reader.readString(9), QString());
}

void TestQHexEditData::integersInBothByteOrders()
{
    std::unique_ptr<QHexEditData> data(QHexEditData::fromMemory(QByteArray::fromHex("0102030405060708ff")));
    QHexEditDataReader reader(data.get());
    QCOMPARE(reader.readUInt16(0, 1), quint16(0x0201));
    QCOMPARE(reader.readUInt16(0, 0), quint16(0x0102));
    QCOMPARE(reader.readUInt16(0, 7), quint16(0x0102)); // anything but 1 is big-endian
    QCOMPARE(reader.readUInt32(1, 1), quint32(0x05040302));
    QCOMPARE(reader.readUInt64(0, 0), quint64(0x0102030405060708ull));
    QCOMPARE(reader.readInt16(7, 0), qint16(0x08ff));
    QCOMPARE(reader.readInt16(7, 1), qint16(-248));
    QCOMPARE(reader.readUInt16(8, 0), quint16(0)); // past the end
    QCOMPARE(reader.readInt64(2, 1), qint64(0));
    QCOMPARE(reader.readInt32(-1, 1), 0);

    QHexEditDataWriter writer(data.get());
    writer.writeInt32(0, -2, 1);
    QCOMPARE(reader.read(0, 4), QByteArray::fromHex("feffffff"));
    writer.writeUInt16(8, 0xabcd, 0); // one byte replaced, one appended
    QCOMPARE(data->length(), 10);
    QCOMPARE(reader.readUInt16(8, 0), quint16(0xabcd));
    writer.writeUInt64(0, 0x1122334455667788ull, 1);
    QCOMPARE(reader.readUInt64(0, 1), quint64(0x1122334455667788ull));
    writer.writeInt8(9, -1);
    writer.writeUInt8(0, 0x42);
    QCOMPARE(reader.readInt16(8, 0), qint16(-21505)); // 0xabff
    QCOMPARE(reader.at(0), uchar(0x42));
    QCOMPARE(data->length(), 10);
}

void TestQHexEditData::indexOfMatchesPlainScan()
{
    std::unique_ptr<QHexEditData> data(QHexEditData::fromMemory("abcabcab"));
    QHexEditDataReader reader(data.get());
    QCOMPARE(reader.indexOf("cab", 0), 2);
    QCOMPARE(reader.indexOf("cab", 3), 5);   // ends at the last byte
    QCOMPARE(reader.indexOf("cabc", 5), -1); // longer than the rest
    QCOMPARE(reader.indexOf("a", -4), 0);
    QCOMPARE(reader.indexOf("", 0), -1);
    QCOMPARE(reader.indexOf("b", 8), -1);

    // Larger than one search chunk, with matches on chunk borders, compared with the plain scan.
    QRandomGenerator rng(11);
    QByteArray bytes(3 * (1 << 20) + 77, 'q');
    for (int i = 0; i < bytes.size(); i += 1 + int(rng.bounded(64)))
        bytes[i] = char('a' + rng.bounded(3));
    std::unique_ptr<QHexEditData> big(QHexEditData::fromMemory(bytes));
    QHexEditDataWriter writer(big.get());
    const QByteArray needle("needle!!");
    writer.replace((1 << 20) - 3, needle);
    writer.replace(2 * (1 << 20) - 4, needle);
    writer.insert(bytes.size() - 1, QByteArray("tail"));
    QHexEditDataReader bigReader(big.get());
    const QByteArray ref = all(big.get());
    auto plain = [&](const QByteArray& pattern, qint64 start) {
        for (qint64 p = start; p + pattern.size() <= ref.size(); ++p) {
            if (std::equal(pattern.begin(), pattern.end(), ref.constData() + p))
                return p;
        }
        return qint64(-1);
    };
    QCOMPARE(bigReader.indexOf(needle, 0), qint64((1 << 20) - 3));
    QCOMPARE(bigReader.indexOf(needle, (1 << 20) - 2), qint64(2 * (1 << 20) - 4));
    QCOMPARE(bigReader.indexOf("tailq", 0), plain("tailq", 0));
    QCOMPARE(bigReader.indexOf("tail", ref.size() - 5), plain("tail", ref.size() - 5));
    for (int i = 0; i < 30; ++i) {
        const qint64 at = rng.bounded(ref.size() - 16);
        const QByteArray pattern = ref.mid(int(at), 2 + int(rng.bounded(10)));
        const qint64 start = rng.bounded(ref.size());
        QCOMPARE(bigReader.indexOf(pattern, start), plain(pattern, start));
    }
}

void TestQHexEditData::readerWindowFollowsEdits()
{
    QByteArray bytes(20000, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i % 251);
    std::unique_ptr<QHexEditData> data(QHexEditData::fromMemory(bytes));
    QHexEditDataReader reader(data.get());
    QHexEditDataWriter writer(data.get());
    QCOMPARE(reader.at(10000), uchar(10000 % 251));
    writer.insert(5, QByteArray("abc")); // before the window
    QCOMPARE(reader.at(10003), uchar(10000 % 251));
    writer.replace(10003, uchar(0xee)); // inside
    QCOMPARE(reader.at(10003), uchar(0xee));
    writer.remove(0, 8); // before again, shifting back
    QCOMPARE(reader.at(9995), uchar(0xee));
    QCOMPARE(reader.read(9990, 10), all(data.get()).mid(9990, 10));
    data->undoStack()->undo();
    QCOMPARE(reader.at(10003), uchar(0xee));
    // Near the end the window ends at the end of the data.
    QCOMPARE(reader.read(data->length() - 2, 5), all(data.get()).right(2));
}

void TestQHexEditData::saveToSeparateDevice()
{
    std::unique_ptr<QHexEditData> data(QHexEditData::fromMemory("0123456789"));
    QHexEditDataWriter writer(data.get());
    writer.remove(2, 3);
    writer.insert(0, QByteArray("ab"));
    writer.replace(6, uchar('Z'));
    const QByteArray expected = all(data.get());
    QBuffer target;
    QVERIFY(data->saveTo(&target)); // opened write-only by the model
    QCOMPARE(target.data(), expected);
    QCOMPARE(data->undoStack()->count(), 3);
    QCOMPARE(all(data.get()), expected);
}

void TestQHexEditData::saveInPlaceShorterAndLonger()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("image.bin");
    QRandomGenerator rng(3);
    const QByteArray original = randomBytes(rng, 3 * (1 << 20) + 5); // more than one save chunk
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(original);
    }
    auto fileBytes = [&]() {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("unreadable");
    };
    std::unique_ptr<QHexEditData> data(QHexEditData::fromFile(path));
    QVERIFY(!data->isReadOnly());
    QHexEditDataWriter writer(data.get());
    // Moves device bytes forwards and backwards, so a naive in-place write would read overwritten bytes.
    writer.remove(10, 2 * (1 << 20));
    writer.insert(5, original.mid(2 * (1 << 20), 100000));
    writer.replace(0, QByteArray("HEAD"));
    QByteArray expected = all(data.get());
    QVERIFY(expected.size() < original.size());
    QVERIFY(data->save());
    QCOMPARE(fileBytes(), expected);
    QCOMPARE(all(data.get()), expected);

    // Undo history stays valid after the device was rewritten.
    data->undoStack()->setIndex(1);
    expected = all(data.get());
    QCOMPARE(expected, original.left(10) + original.mid(10 + 2 * (1 << 20)));
    writer.append(original.left(2 * (1 << 20) + 200)); // now longer than the file
    writer.insert(7, original.mid(100, 50000));
    expected = all(data.get());
    QVERIFY(expected.size() > original.size());
    QVERIFY(data->save());
    QCOMPARE(fileBytes(), expected);
    data->undoStack()->setIndex(0);
    QCOMPARE(all(data.get()), original);
    QVERIFY(data->save());
    QCOMPARE(fileBytes(), original);

    // Another handle on the same file: opening it write-only truncates what the model reads from.
    std::unique_ptr<QHexEditData> other(QHexEditData::fromFile(path));
    QHexEditDataWriter otherWriter(other.get());
    otherWriter.remove(0, 1 << 20);
    expected = all(other.get());
    QFile sameFile(path);
    QVERIFY(other->saveTo(&sameFile));
    sameFile.close();
    QCOMPARE(fileBytes(), expected);
    other->undoStack()->undo();
    QCOMPARE(all(other.get()), original);
}

void TestQHexEditData::saveRefusals()
{
    std::unique_ptr<QHexEditData> memory(QHexEditData::fromMemory("abc"));
    QVERIFY(memory->isReadOnly());
    QVERIFY(!memory->save());
    QBuffer readOnly;
    readOnly.open(QIODevice::ReadOnly);
    QVERIFY(!memory->saveTo(&readOnly));
    QVERIFY(!memory->saveTo(nullptr));

    // A caller's writable buffer is rewritten in place and cut to the data's length.
    QByteArray bytes("0123456789");
    QBuffer buffer(&bytes);
    std::unique_ptr<QHexEditData> data(QHexEditData::fromDevice(&buffer));
    QVERIFY(!data->isReadOnly());
    QHexEditDataWriter writer(data.get());
    writer.remove(0, 4);
    writer.insert(6, QByteArray("0123"));
    QVERIFY(data->save());
    QCOMPARE(bytes, QByteArray("4567890123"));
    writer.remove(0, 3);
    QVERIFY(data->save());
    QCOMPARE(bytes, QByteArray("7890123"));
    data->undoStack()->setIndex(0);
    QCOMPARE(all(data.get()), QByteArray("0123456789"));
}

void TestQHexEditData::factoriesAndOwnership()
{
    QVERIFY(QMetaType::type("QHexEditData::ActionType") != QMetaType::UnknownType);

    QBuffer callers;
    callers.setData("abc");
    QPointer<QIODevice> owned;
    {
        std::unique_ptr<QHexEditData> data(QHexEditData::fromDevice(&callers));
        QVERIFY(callers.isOpen());
        QCOMPARE(data->length(), 3);
        std::unique_ptr<QHexEditData> memory(QHexEditData::fromMemory("xyz"));
        owned = memory->findChild<QIODevice*>();
        QVERIFY(owned);
    }
    QVERIFY(!owned);            // the factory's device went with the model
    QVERIFY(!callers.isOpen()); // the caller's device is closed, not deleted
    QCOMPARE(callers.data(), QByteArray("abc"));

    QTemporaryDir dir;
    std::unique_ptr<QHexEditData> missing(QHexEditData::fromFile(dir.filePath("missing.bin")));
    QCOMPARE(missing->length(), 0);
    QHexEditDataReader reader(missing.get());
    QCOMPARE(reader.at(0), uchar(0));

    // Runs dropped from the redo history are freed with their commands.
    std::weak_ptr<DataRun> dropped;
    std::unique_ptr<QHexEditData> data(QHexEditData::fromMemory("0123456789"));
    QHexEditDataWriter writer(data.get());
    writer.insert(4, 'x');
    dropped = data->runs().at(1);
    QVERIFY(!dropped.expired());
    data->undoStack()->undo();
    QVERIFY(!dropped.expired()); // the undone command still holds it
    writer.remove(0, 1);
    QVERIFY(dropped.expired());
}

void TestQHexEditData::dataDevice()
{
    std::unique_ptr<QHexEditData> data(QHexEditData::fromMemory("hello world"));
    QHexEditDataDevice device(data.get());
    QCOMPARE(device.length(), 11);
    QVERIFY(device.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
    QCOMPARE(device.readAll(), QByteArray("hello world"));
    QVERIFY(device.seek(6));
    QCOMPARE(device.write("WORLD!"), 6);
    QCOMPARE(all(data.get()), QByteArray("hello WORLD!"));
    QVERIFY(device.seek(3));
    QCOMPARE(device.read(4), QByteArray("lo W"));
    QCOMPARE(data->undoStack()->count(), 1);
}

// Each edit of a model that may not take new bytes: refused whole, as if never asked for; the same edit
// with the room it needs goes through.
void TestQHexEditData::memoryRefusalChangesNothing_data()
{
    QTest::addColumn<int>("edit");
    QTest::addColumn<QByteArray>("expected"); // after the edit, once it has room
    QTest::newRow("insert") << 0 << QByteArray("012ab3456789");
    QTest::newRow("insert splitting a run") << 1 << QByteArray("0y123456789");
    QTest::newRow("large append") << 2 << QByteArray("0123456789") + QByteArray(5000, 'A');
    QTest::newRow("replace one byte") << 3 << QByteArray("01234Z6789");
    // Near the end: removal of 2 bytes and insertion of 4, never only the removal.
    QTest::newRow("replace past the end") << 4 << QByteArray("01234567WXYZ");
    QTest::newRow("write an integer") << 5
                                      << QByteArray("\x01\x02\x03\x04"
                                                    "456789");
    QTest::newRow("replace all") << 6 << QByteArray(300, 'R');
    QTest::newRow("write through the device") << 7 << QByteArray("0123ok6789");
}

void TestQHexEditData::memoryRefusalChangesNothing()
{
    QFETCH(int, edit);
    QFETCH(QByteArray, expected);
    std::unique_ptr<QHexEditData> data(QHexEditData::fromMemory("0123456789"));
    QHexEditDataWriter writer(data.get());
    QHexEditDataDevice device(data.get());
    QVERIFY(device.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
    const QByteArray before = all(data.get());
    const int steps = data->undoStack()->count();
    auto apply = [&]() {
        switch (edit) {
        case 0:
            return writer.insert(3, QByteArray("ab"));
        case 1:
            return writer.insert(1, 'y');
        case 2:
            return writer.append(QByteArray(5000, 'A'));
        case 3:
            return writer.replace(5, uchar('Z'));
        case 4:
            return writer.replace(8, QByteArray("WXYZ"));
        case 5:
            return writer.writeUInt32(0, 0x01020304u, 0);
        case 6:
            return writer.replaceAll(QByteArray(300, 'R'));
        default:
            return device.seek(4) && device.write("ok") == 2;
        }
    };

    // No room at all beyond what is held.
    data->setMemoryLimit(data->newBytesHeld());
    QCOMPARE(data->memoryLimit(), 0);
    ChangeLog log(data.get());
    QVERIFY(!apply());
    QCOMPARE(all(data.get()), before);
    QCOMPARE(data->length(), qint64(before.size()));
    QVERIFY(log.changes.empty());
    QCOMPARE(data->undoStack()->count(), steps);
    QVERIFY(consistent(data.get()));

    data->setMemoryLimit(std::numeric_limits<qint64>::max());
    QVERIFY(apply());
    QCOMPARE(all(data.get()), expected);
    QVERIFY(!log.changes.empty());
    data->undoStack()->setIndex(0);
    QCOMPARE(all(data.get()), QByteArray("0123456789"));
}

void TestQHexEditData::replaceAllIsTwoStepsOrNothing()
{
    std::unique_ptr<QHexEditData> data(QHexEditData::fromMemory("old buffer"));
    QHexEditDataWriter writer(data.get());
    const QByteArray image(5000, 'n');

    // The limit counts the new bytes exactly: one byte short refuses the whole replacement.
    data->setMemoryLimit(image.size() - 1);
    QVERIFY(!writer.replaceAll(image));
    QCOMPARE(all(data.get()), QByteArray("old buffer"));
    QCOMPARE(data->undoStack()->count(), 0);
    data->setMemoryLimit(image.size());
    QVERIFY(writer.replaceAll(image));
    QCOMPARE(all(data.get()), image);
    QCOMPARE(data->undoStack()->count(), 2);
    data->undoStack()->undo();
    QCOMPARE(data->length(), 0);
    data->undoStack()->undo();
    QCOMPARE(all(data.get()), QByteArray("old buffer"));

    // On an empty buffer there is nothing to remove: one step.
    data->undoStack()->redo();
    data->setMemoryLimit(std::numeric_limits<qint64>::max());
    QVERIFY(writer.replaceAll("abc"));
    QCOMPARE(data->undoStack()->count(), 2);
    QCOMPARE(all(data.get()), QByteArray("abc"));
    // Typing on at the end continues the insertion, as after a plain append.
    QVERIFY(writer.insert(3, 'd'));
    QCOMPARE(data->undoStack()->count(), 2);
    data->undoStack()->undo();
    QCOMPARE(data->length(), 0);
}

// The 65th read of a chip, in small: replacing the whole buffer again and again keeps working, and the
// undo history lets go of the oldest images once they pass its budget.
void TestQHexEditData::undoHistoryStaysWithinItsBudget()
{
    const int size = 5000;
    auto image = [&](int n) { return QByteArray(size, char('a' + n % 26)) + QByteArray::number(n); };
    std::unique_ptr<QHexEditData> data(QHexEditData::fromMemory(image(0)));
    const qint64 budget = 3 * size + 100;
    data->setUndoMemoryBudget(budget);
    QCOMPARE(data->undoMemoryBudget(), budget);
    QHexEditDataWriter writer(data.get());
    QUndoStack* stack = data->undoStack();
    std::weak_ptr<ByteChunk> firstImage;
    for (int n = 1; n <= 20; ++n) {
        QVERIFY(writer.replaceAll(image(n)));
        QCOMPARE(all(data.get()), image(n));
        QVERIFY(data->undoOnlyBytes() <= budget);
        QVERIFY(data->newBytesHeld() <= budget + 2 * (size + 2));
        if (n == 1) {
            firstImage = data->runs().at(0)->chunk;
            stack->setClean(); // dropped with its step later on
        }
        if (n == 15) {
            QCOMPARE(stack->cleanIndex(), -1);
            stack->setClean();
        }
        if (n == 16) // the clean state moves down with the steps that went
            QCOMPARE(stack->cleanIndex(), stack->index() - 2);
    }
    QVERIFY(firstImage.expired()); // its memory is free, not just out of sight
    QVERIFY(stack->count() < 10);
    QVERIFY(consistent(data.get()));

    // Undo walks back through whole images to the oldest state kept.
    stack->undo();
    QCOMPARE(data->length(), 0);
    stack->undo();
    QCOMPARE(all(data.get()), image(19));
    stack->setIndex(0);
    const QByteArray oldest = all(data.get());
    QVERIFY(oldest.isEmpty() || (oldest.size() > size && oldest.startsWith(oldest.left(size))));
    stack->setIndex(stack->count());
    QCOMPARE(all(data.get()), image(20));

    // A lower budget lets go at once; a budget of 0 keeps no history of new bytes at all.
    data->setUndoMemoryBudget(0);
    QCOMPARE(data->undoOnlyBytes(), 0);
    QCOMPARE(all(data.get()), image(20));
    QVERIFY(data->newBytesHeld() <= size + 2);
}

void TestQHexEditData::mergingGoesOnAcrossPiecesAndTrimming()
{
    std::unique_ptr<QHexEditData> data(QHexEditData::fromMemory("0123456789"));
    QHexEditDataWriter writer(data.get());
    // Typed far beyond one shared piece: still one step, undone at once.
    QByteArray typed;
    for (int i = 0; i < 10000; ++i) {
        typed.append(char('a' + i % 26));
        QVERIFY(writer.insert(5 + i, typed.back()));
    }
    QCOMPARE(data->undoStack()->count(), 1);
    QCOMPARE(all(data.get()), QByteArray("01234") + typed + QByteArray("56789"));
    QVERIFY(consistent(data.get()));
    data->undoStack()->undo();
    QCOMPARE(all(data.get()), QByteArray("0123456789"));
    data->undoStack()->redo();
    QCOMPARE(all(data.get()), QByteArray("01234") + typed + QByteArray("56789"));

    // The steps that stay after a trim are copies: typing still merges into the last one.
    const QByteArray image(6000, 'i');
    QVERIFY(writer.replaceAll(image));
    QVERIFY(writer.insert(image.size(), 'x'));
    QCOMPARE(data->undoStack()->count(), 3);
    data->setUndoMemoryBudget(0);
    QCOMPARE(data->undoStack()->count(), 1);
    QCOMPARE(data->undoStack()->index(), 1);
    QVERIFY(writer.insert(image.size() + 1, 'y'));
    QCOMPARE(data->undoStack()->count(), 1);
    QCOMPARE(all(data.get()), image + "xy");
    data->undoStack()->undo();
    QCOMPARE(data->length(), 0);
    data->undoStack()->redo();
    QCOMPARE(all(data.get()), image + "xy");
    QVERIFY(consistent(data.get()));
}

void TestQHexEditData::readsThatCannotBeServedWhole_data()
{
    QTest::addColumn<bool>("overTheCap"); // else: the file shrank under the model
    QTest::newRow("larger than one array holds") << true;
    QTest::newRow("device fell short") << false;
}

void TestQHexEditData::readsThatCannotBeServedWhole()
{
    QFETCH(bool, overTheCap);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("image.bin");
    const qint64 size = overTheCap ? QHexEditDataReader::MaxRead + 1 : 50000;
    {
        // Sparse: no disk and no memory for the large one.
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(size));
    }
    std::unique_ptr<QHexEditData> data(QHexEditData::fromFile(path));
    QCOMPARE(data->length(), size);
    if (!overTheCap)
        QVERIFY(QFile(path).resize(1000));
    QHexEditDataReader reader(data.get());

    bool ok = true;
    QVERIFY(reader.read(0, size, &ok).isEmpty());
    QVERIFY(!ok);
    // Through the window: served when the bytes are there.
    const QByteArray tail = QHexEditDataReader(data.get()).read(size - 20, 10, &ok);
    QCOMPARE(ok, overTheCap);
    QCOMPARE(tail, overTheCap ? QByteArray(10, '\0') : QByteArray());
    // What is there is served, and reads outside the data are empty without being failures.
    QCOMPARE(reader.read(10, 20, &ok), QByteArray(20, '\0'));
    QVERIFY(ok);
    QVERIFY(reader.read(size, 5, &ok).isEmpty());
    QVERIFY(ok);
    QVERIFY(reader.read(-1, 5, &ok).isEmpty());
    QVERIFY(ok);
}

QTEST_GUILESS_MAIN(TestQHexEditData)
#include "tst_qhexeditdata.moc"
