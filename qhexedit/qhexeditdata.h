#pragma once

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QUndoStack>

#include <memory>

class QIODevice;
class QHexEditDataRuns;

// The edited buffer: a list of runs over an untouched device and an append-only buffer of new bytes.
// Changed only through QHexEditDataWriter, as undoable commands on its own undo stack.
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

    // Internal run list, for the reader, the commands and consistency checks in tests.
    const QHexEditDataRuns& runs() const { return *runList; }

public slots:
    bool save();
    bool saveTo(QIODevice* iodevice);

signals:
    void dataChanged(qint64 offset, qint64 size, QHexEditData::ActionType reason);

private:
    explicit QHexEditData(QIODevice* device);

    InsertCommand* prepareInsert(qint64 pos, const QByteArray& bytes, ActionType reason);
    RemoveCommand* prepareRemove(qint64 pos, qint64 len, ActionType reason);
    // Copies len bytes of the data from pos into dst; false (and zeros) where the device fell short.
    bool copyData(qint64 pos, qint64 len, char* dst) const;
    // Reads device bytes of a run; returns how many were read.
    qint64 readDevice(qint64 offset, qint64 len, char* dst) const;
    bool writeAll(QIODevice* target) const;
    bool detachFromDevice();
    bool sameFileAsSource(QIODevice* target) const;
    void pushInsert(InsertCommand* command);

    std::unique_ptr<QHexEditDataRuns> runList;
    QPointer<QIODevice> device;
    // Where device runs are read from: the device itself until an in-place save moves the original
    // bytes aside, so that runs and undo history stay valid.
    QPointer<QIODevice> source;
    QByteArray sourceBytes; // a memory source is read straight from here
    bool sourceIsMemory = false;
    QByteArray modifiedBuffer;
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
