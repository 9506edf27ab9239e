// libFuzzer target: the hex model under a sequence of writer operations, undo, redo and reads taken
// from the input, against a plain byte array with its own undo history. A small undo budget and memory
// limit (also from the input) make the model drop its oldest steps and refuse edits; a refused edit
// must change nothing. Any difference aborts.

#include "qhexedit/qhexeditdata.h"
#include "qhexedit/qhexeditdata_p.h"
#include "qhexedit/qhexeditdatareader.h"
#include "qhexedit/qhexeditdatawriter.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <vector>

using namespace korvane;

namespace {

void check(bool condition, const char* what, int step)
{
    if (!condition) {
        std::fprintf(stderr, "hex model, step %d: %s\n", step, what);
        std::abort();
    }
}

// Bytes of a length up to most, cheap to ask for: a run of values from a start with a step, so that
// bytes from different edits differ.
QByteArray takeBytes(FuzzedDataProvider& input, int most)
{
    const int n = input.ConsumeIntegralInRange<int>(1, most);
    const int start = input.ConsumeIntegral<std::uint8_t>();
    const int step = 2 * input.ConsumeIntegralInRange<int>(0, 7) + 1;
    QByteArray bytes(n, Qt::Uninitialized);
    for (int i = 0; i < n; ++i)
        bytes[i] = char(start + i * step);
    return bytes;
}

// The reference: the bytes after each applied step; steps past index were undone.
struct Reference
{
    QByteArray base; // the oldest state the history reaches
    std::vector<QByteArray> states;
    int index = 0;
    bool lastWasInsert = false;
    qint64 lastInsertEnd = -1;

    const QByteArray& current() const { return index > 0 ? states[size_t(index - 1)] : base; }
    void push(const QByteArray& after)
    {
        states.resize(size_t(index));
        states.push_back(after);
        ++index;
    }
    // An insertion where the last one ended joins its step.
    void insert(qint64 pos, const QByteArray& after, qint64 end)
    {
        if (lastWasInsert && pos == lastInsertEnd && index > 0 && index == int(states.size()))
            states[size_t(index - 1)] = after;
        else
            push(after);
        lastWasInsert = true;
        lastInsertEnd = end;
    }
    void other(const QByteArray& after)
    {
        push(after);
        lastWasInsert = false;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const QByteArray initial =
        QByteArray::fromStdString(input.ConsumeBytesAsString(input.ConsumeIntegral<std::uint8_t>() * 16));
    const int budgetPieces = input.ConsumeIntegralInRange<int>(0, 4); // 0: the default budget
    const int limitPieces = input.ConsumeIntegralInRange<int>(0, 8);  // 0: no limit
    std::unique_ptr<QHexEditData> model(QHexEditData::fromMemory(initial));
    qint64 budget = budgetPieces > 0 ? qint64(budgetPieces) * 1000 : QHexEditData::DefaultUndoMemoryBudget;
    const qint64 limit = limitPieces > 0 ? qint64(limitPieces) * 4096 : std::numeric_limits<qint64>::max();
    model->setUndoMemoryBudget(budget);
    model->setMemoryLimit(limit);
    QHexEditDataWriter writer(model.get());
    QHexEditDataReader reader(model.get()); // keeps its window across edits
    QUndoStack* stack = model->undoStack();
    int changes = 0;
    QObject::connect(model.get(), &QHexEditData::dataChanged, [&changes]() { ++changes; });

    Reference ref;
    ref.base = initial;
    for (int step = 0; input.remaining_bytes() > 0 && step < 2000; ++step) {
        const QByteArray now = ref.current();
        const qint64 len = now.size();
        const qint64 pos = input.ConsumeIntegralInRange<qint64>(-1, len + 1);
        const bool inside = pos >= 0 && pos <= len;
        const bool hasRuns = model->runs().count() > 0; // none after everything was removed
        changes = 0;
        bool edit = true;
        bool valid = false;    // the rules accept it
        bool accepted = false; // the model did it
        int announced = 1;     // dataChanged signals of an accepted edit
        const Reference before = ref;

        switch (input.ConsumeIntegralInRange<int>(0, 12)) {
        case 0: { // insert
            const QByteArray bytes = takeBytes(input, 300);
            valid = inside;
            accepted = writer.insert(pos, bytes);
            if (valid)
                ref.insert(pos, QByteArray(now).insert(int(pos), bytes), pos + bytes.size());
            break;
        }
        case 1: { // typing on where the last insertion ended
            const qint64 at = ref.lastWasInsert ? ref.lastInsertEnd : pos;
            const char ch = char(input.ConsumeIntegral<std::uint8_t>());
            valid = at >= 0 && at <= len;
            accepted = writer.insert(at, ch);
            if (valid)
                ref.insert(at, QByteArray(now).insert(int(at), ch), at + 1);
            break;
        }
        case 2: { // append
            const QByteArray bytes = takeBytes(input, 600);
            valid = true;
            accepted = writer.append(bytes);
            if (valid)
                ref.insert(len, now + bytes, len + bytes.size());
            break;
        }
        case 3: { // remove
            const qint64 n = input.ConsumeBool() ? len - pos : input.ConsumeIntegralInRange<qint64>(-1, 64);
            valid = pos >= 0 && n > 0 && pos < len && n <= len - pos;
            accepted = writer.remove(pos, n);
            if (valid)
                ref.other(QByteArray(now).remove(int(pos), int(n)));
            break;
        }
        case 4:
        case 5: { // replace, with any length, or an integer written in either byte order
            QByteArray bytes = takeBytes(input, 40);
            qint64 n = input.ConsumeIntegralInRange<qint64>(-1, 50);
            if (input.ConsumeBool()) {
                const quint32 value = input.ConsumeIntegral<quint32>();
                const int order = input.ConsumeIntegralInRange<int>(0, 2);
                bytes.resize(4);
                for (int i = 0; i < 4; ++i)
                    bytes[order == 1 ? i : 3 - i] = char(value >> (8 * i));
                n = 4;
                accepted = writer.writeUInt32(pos, value, order);
            } else {
                accepted = writer.replace(pos, n, bytes);
            }
            valid = inside && hasRuns;
            if (valid) {
                QByteArray after = now;
                const qint64 cut = qMin(n, len - pos);
                if (cut > 0)
                    after.remove(int(pos), int(cut));
                ref.other(after.insert(int(pos), bytes));
            }
            break;
        }
        case 6: { // replace everything, as a read of the chip does
            const QByteArray bytes = takeBytes(input, 3000);
            valid = true;
            accepted = writer.replaceAll(bytes);
            if (len > 0) {
                ref.other(QByteArray());
                announced = 2;
            }
            ref.lastWasInsert = false;
            ref.insert(0, bytes, bytes.size());
            break;
        }
        case 7:
            edit = false;
            stack->undo();
            if (ref.index > 0) {
                --ref.index;
                ref.lastWasInsert = false;
            }
            break;
        case 8:
            edit = false;
            stack->redo();
            if (ref.index < int(ref.states.size())) {
                ++ref.index;
                ref.lastWasInsert = false;
            }
            break;
        case 9: { // a read anywhere, through the window or past it
            edit = false;
            const qint64 n = input.ConsumeIntegralInRange<qint64>(-1, 10000);
            bool ok = false;
            const QByteArray got = reader.read(pos, n, &ok);
            check(ok, "read failed", step);
            check(got == (pos >= 0 && n > 0 ? now.mid(int(pos), int(n)) : QByteArray()), "read differs",
                  step);
            check(len == 0 || reader.at(pos) == uchar(now.at(int(qBound<qint64>(0, pos, len - 1)))),
                  "at differs", step);
            break;
        }
        case 10:
            edit = false;
            writer.reserve(input.ConsumeIntegralInRange<qint64>(0, 5000));
            break;
        case 11:
            edit = false;
            budget = input.ConsumeIntegralInRange<qint64>(0, 5000);
            model->setUndoMemoryBudget(budget);
            break;
        default: { // jump in the history
            edit = false;
            const int to = input.ConsumeIntegralInRange<int>(0, int(ref.states.size()));
            stack->setIndex(to);
            if (to != ref.index)
                ref.lastWasInsert = false;
            ref.index = to;
            break;
        }
        }

        if (edit) {
            check(valid || !accepted, "an edit against the rules was done", step);
            if (valid && !accepted) {
                check(limit != std::numeric_limits<qint64>::max(), "refused without a memory limit", step);
                ref = before; // refused for memory: as if never asked for
            }
            check(changes == (accepted ? announced : 0), "wrong number of change signals", step);
        }
        // The model dropped its oldest steps: so does the reference.
        const int gone = int(ref.states.size()) - stack->count();
        check(gone >= 0, "the model holds more steps than were made", step);
        if (gone > 0) {
            ref.base = ref.states[size_t(gone - 1)];
            ref.states.erase(ref.states.begin(), ref.states.begin() + gone);
            ref.index -= gone;
        }
        check(stack->index() == ref.index && stack->count() == int(ref.states.size()), "undo history differs",
              step);
        check(model->length() == ref.current().size(), "length differs", step);
        check(model->runs().checkCaches() && model->runs().sumOfRunLengths() == model->length(),
              "run list inconsistent", step);
        bool ok = false;
        check(QHexEditDataReader(model.get()).read(0, model->length(), &ok) == ref.current() && ok,
              "data differs", step);
        if (edit && accepted)
            check(model->undoOnlyBytes() <= budget, "undo history over its budget", step);
        check(model->newBytesHeld() <= limit, "over the memory limit", step);
    }
    return 0;
}
