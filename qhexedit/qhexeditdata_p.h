#pragma once

// Internal to the hex editor: runs and the undoable commands of QHexEditData.

#include "qhexedit/qhexeditdata.h"

#include <QUndoCommand>

#include <memory>
#include <vector>

namespace korvane {

// A piece of new bytes, filled from the front and never changed where filled. Owned by the runs that
// show its bytes (the model's and the undo commands'), so that it goes with the last of them.
class ByteChunk
{
public:
    // An empty piece of the given capacity; null when the memory cannot be had. held counts the
    // capacity of every living piece.
    static std::shared_ptr<ByteChunk> create(qint64 capacity, const std::shared_ptr<qint64>& held);
    // A full piece that shares the array's bytes (copies them when the array does not own them).
    static std::shared_ptr<ByteChunk> adopt(const QByteArray& bytes, const std::shared_ptr<qint64>& held);
    ~ByteChunk();
    ByteChunk(const ByteChunk&) = delete;
    ByteChunk& operator=(const ByteChunk&) = delete;

    const char* data() const { return bytes.constData(); }
    qint64 capacity() const { return bytes.size(); }
    qint64 room() const { return capacity() - used; }
    // Copies n bytes behind the filled ones (n must fit the room) and returns where they start.
    qint64 append(const char* src, qint64 n);

private:
    ByteChunk() = default;
    static std::shared_ptr<ByteChunk> make(QByteArray bytes, qint64 used,
                                           const std::shared_ptr<qint64>& held);

    QByteArray bytes; // never shared while room is left, so filling it does not detach
    qint64 used = 0;
    std::shared_ptr<qint64> held;
};

// A stretch of the data: bytes of the device, or new bytes of a chunk.
struct DataRun
{
    qint64 offset = 0; // in the device, or in chunk when modified
    qint64 length = 0;
    bool modified = false;
    std::shared_ptr<ByteChunk> chunk;
};

// Shared between the model's run list and the commands that took runs out or put them in.
using DataRunPtr = std::shared_ptr<DataRun>;
using DataRunList = std::vector<DataRunPtr>;

// The model's ordered runs. Kept in blocks of at most MaxBlock runs, each with its byte total, and
// Fenwick trees over the block totals and counts, so that finding a run by data offset or by index and
// splicing at an index cost O(log n + block size) instead of a walk over every run.
class QHexEditDataRuns
{
public:
    struct Found
    {
        DataRunPtr run;
        qint64 start = 0; // data offset of the run's first byte
        int index = 0;    // position in the run list
    };

    int count() const { return runCount; }
    qint64 totalLength() const { return total; }

    // The run containing pos; pos equal to the total addresses the end (last run, start = total,
    // index = count). False for other positions and for an empty list.
    bool find(qint64 pos, Found* found) const;
    DataRunPtr at(int index) const;
    qint64 startOf(int index) const;

    // Takes removeCount runs out at index and puts added in their place.
    void splice(int index, int removeCount, const DataRunList& added);
    // The run at index grew or shrank in place; refresh the cached totals.
    void lengthChanged(int index);

    // Calls f(run, dataStart) for the runs from index on while f returns true.
    template <typename F> void forEachFrom(int index, F f) const
    {
        int b = 0;
        int i = 0;
        locateIndex(index, &b, &i);
        qint64 start = index < runCount ? startOf(index) : total;
        for (; b < int(blocks.size()); ++b, i = 0) {
            const Block& block = blocks[size_t(b)];
            for (; i < int(block.entries.size()); ++i) {
                const Entry& e = block.entries[size_t(i)];
                if (!f(e.run, start))
                    return;
                start += e.length;
            }
        }
    }

    // Sum of the runs' own lengths, walked run by run without the cached totals (consistency checks).
    qint64 sumOfRunLengths() const;
    // True when every cached total agrees with the runs.
    bool checkCaches() const;

private:
    static constexpr int MaxBlock = 256;
    static constexpr int MinBlock = 32;

    struct Entry
    {
        DataRunPtr run;
        qint64 length = 0; // copy of run->length, so that scans stay in one array
    };
    struct Block
    {
        std::vector<Entry> entries;
        qint64 total = 0;
    };

    void locateIndex(int index, int* block, int* inBlock) const;
    int blockByOffset(qint64 pos, qint64* blockStart) const;
    void rebuildIndex();
    void addToIndex(int block, qint64 lengthDelta, int countDelta);
    void normalise(int first, int last);

    std::vector<Block> blocks;
    std::vector<qint64> fenLength; // 1-based Fenwick trees over blocks
    std::vector<int> fenCount;
    int fenTop = 0; // highest power of two not above blocks.size()
    bool needRebuild = false;
    int runCount = 0;
    qint64 total = 0;
};

class QHexEditData::AbstractCommand : public QUndoCommand
{
public:
    explicit AbstractCommand(QHexEditData* data) : QUndoCommand(nullptr), data(data) {}

    // A copy of an applied command, for a rebuilt undo stack.
    virtual AbstractCommand* replica() const = 0;
    // Appends the pieces of new bytes that the command's runs show.
    virtual void appendChunks(std::vector<const ByteChunk*>* chunks) const = 0;

    QHexEditData* data;
    bool notify = true;
    // A replica pushed onto a rebuilt stack is in effect already: the push's redo only clears this.
    bool replay = false;

protected:
    bool takeReplay()
    {
        const bool was = replay;
        replay = false;
        return was;
    }
};

class QHexEditData::ModifyRangeCommand : public AbstractCommand
{
public:
    ModifyRangeCommand(QHexEditData* data, qint64 offset, int index, DataRunList removed, DataRunList added);

    qint64 offset;
    int index;
    DataRunList removedRuns;
    DataRunList addedRuns;
    qint64 removedLength = 0;
    qint64 addedLength = 0;

    void appendChunks(std::vector<const ByteChunk*>* chunks) const override;

protected:
    void apply(ActionType reason);
    void unapply(ActionType reason);
    void copyStateTo(ModifyRangeCommand* other) const;

    bool applied = false; // true after the first application
};

class QHexEditData::InsertCommand : public ModifyRangeCommand
{
public:
    using ModifyRangeCommand::ModifyRangeCommand;

    void undo() override;
    void redo() override;
    int id() const override { return 1; }
    bool mergeWith(const QUndoCommand* other) override;
    AbstractCommand* replica() const override;

    // Applies a mergeable insertion that the stack did not merge, so its bytes are not lost.
    void applyUnmerged();

    bool mergeable = false;
};

class QHexEditData::RemoveCommand : public ModifyRangeCommand
{
public:
    using ModifyRangeCommand::ModifyRangeCommand;

    void undo() override;
    void redo() override;
    int id() const override { return 2; }
    AbstractCommand* replica() const override;
};

class QHexEditData::ReplaceCommand : public AbstractCommand
{
public:
    // stored: the new bytes, already in the model's storage, so that applying cannot fail.
    ReplaceCommand(QHexEditData* data, qint64 offset, qint64 length, DataRunPtr stored);
    ~ReplaceCommand() override;

    void undo() override;
    void redo() override;
    int id() const override { return 3; }
    AbstractCommand* replica() const override;
    void appendChunks(std::vector<const ByteChunk*>* chunks) const override;

    qint64 offset;
    qint64 length;
    qint64 byteCount;
    DataRunPtr stored; // until the first application puts it into the insertion
    RemoveCommand* removeCommand = nullptr;
    InsertCommand* insertCommand = nullptr;

private:
    bool applied = false;
};

} // namespace korvane
