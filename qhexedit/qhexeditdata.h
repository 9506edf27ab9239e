#pragma once

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QUndoStack>

#include <memory>
#include <vector>

class QIODevice;

namespace korvane {

class QHexEditDataRuns;
class ByteChunk;
struct DataRun;

// The edited buffer: a list of runs over an untouched device and pieces of new bytes, each piece freed
// with the last run that shows it. Changed only through QHexEditDataWriter, as undoable commands on its
// own undo stack; the oldest steps are dropped once the undo history alone holds more new bytes than
// its budget.
class QHexEditData : public QObject
{
    Q_OBJECT

public:
    enum ActionType
    {
        NoAction = 0,
        Insert = 1,
        Remove = 2,
        Replace = 3
    };
    Q_ENUM(ActionType)

    class AbstractCommand;
    class ModifyRangeCommand;
    class InsertCommand;
    class RemoveCommand;
    class ReplaceCommand;

    ~QHexEditData() override;

    static QHexEditData* fromDevice(QIODevice* device);
    static QHexEditData* fromFile(const QString& fileName);
    static QHexEditData* fromMemory(const QByteArray& bytes);

    qint64 length() const;
    QUndoStack* undoStack();
    bool isReadOnly() const;

    // The most bytes of new data the model holds at once, in its data and its undo history together;
    // an edit that would need more is refused. No limit but the machine's by default.
    void setMemoryLimit(qint64 bytes);
    qint64 memoryLimit() const { return limit; }
    // New bytes that only the undo history still holds may take this much before the oldest steps go.
    void setUndoMemoryBudget(qint64 bytes);
    qint64 undoMemoryBudget() const { return undoBudget; }
    // Bytes taken for new data now, and the part of them that only the undo history keeps.
    qint64 newBytesHeld() const;
    qint64 undoOnlyBytes() const;

    static constexpr qint64 DefaultUndoMemoryBudget = qint64(1) << 30;

    // Internal run list, for the reader, the commands and consistency checks in tests.
    const QHexEditDataRuns& runs() const { return *runList; }

public slots:
    bool save();
    bool saveTo(QIODevice* iodevice);

signals:
    void dataChanged(qint64 offset, qint64 size, QHexEditData::ActionType reason);

private:
    explicit QHexEditData(QIODevice* device);

    // True when an insertion at pos is possible: inside the data or at its end, which has a run.
    bool canInsertAt(qint64 pos) const;
    // Puts bytes into the model's storage (a large array is shared, not copied) and returns a run
    // showing them; null when the memory limit or the machine refuses.
    std::shared_ptr<DataRun> storeBytes(const QByteArray& bytes);
    // Makes sure that storing count bytes needs no new memory.
    bool reserveBytes(qint64 count);
    std::shared_ptr<ByteChunk> newChunk(qint64 capacity);
    bool withinLimit(qint64 more) const;
    InsertCommand* prepareInsert(qint64 pos, const std::shared_ptr<DataRun>& inserted, ActionType reason);
    RemoveCommand* prepareRemove(qint64 pos, qint64 len, ActionType reason);
    // Copies len bytes of the data from pos into dst; false (and zeros) where the device fell short.
    bool copyData(qint64 pos, qint64 len, char* dst) const;
    // Reads device bytes of a run; returns how many were read.
    qint64 readDevice(qint64 offset, qint64 len, char* dst) const;
    bool writeAll(QIODevice* target) const;
    bool detachFromDevice();
    bool sameFileAsSource(QIODevice* target) const;
    void pushInsert(InsertCommand* command);
    void push(AbstractCommand* command);
    // Bytes that only the undo history holds; freed[i] receives the part that dropping step i frees
    // once every older step is gone. -1 when the stack holds commands of others.
    qint64 historyUsage(std::vector<qint64>* freed) const;
    void trimHistory();
    void dropOldestSteps(int count);

    std::unique_ptr<QHexEditDataRuns> runList;
    QPointer<QIODevice> device;
    // Where device runs are read from: the device itself until an in-place save moves the original
    // bytes aside, so that runs and undo history stay valid.
    QPointer<QIODevice> source;
    QByteArray sourceBytes; // a memory source is read straight from here
    bool sourceIsMemory = false;
    // Small insertions fill this piece in turn, so that typing does not cost a piece a byte.
    std::shared_ptr<ByteChunk> openChunk;
    std::shared_ptr<qint64> heldBytes; // the capacity of every living piece, shared with them
    qint64 limit;
    qint64 undoBudget = DefaultUndoMemoryBudget;
    qint64 dataLength = 0;
    qint64 lastOffset = -1;
    ActionType lastAction = NoAction;
    QUndoStack stack;
    mutable QMutex mutex;
    // An insertion pushed in the hope of merging; still set after the push if no merge happened.
    InsertCommand* pendingMerge = nullptr;

    friend class QHexEditDataReader;
    friend class QHexEditDataWriter;
};

} // namespace korvane
