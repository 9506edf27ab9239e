#include "qhexedit/qhexeditdata.h"

#include "qhexedit/qhexeditdata_p.h"

#include <QBuffer>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>
#include <QMutexLocker>
#include <QTemporaryFile>

#include <climits>
#include <cstring>

namespace {

// Saving and searching move data in pieces of this size, so memory does not grow with the model.
constexpr qint64 ChunkSize = 1 << 20;

DataRunPtr makeRun(qint64 offset, qint64 length, bool modified)
{
    auto run = std::make_shared<DataRun>();
    run->offset = offset;
    run->length = length;
    run->modified = modified;
    return run;
}

} // namespace

QHexEditData::QHexEditData(QIODevice* dev)
    : QObject(nullptr), runList(new QHexEditDataRuns), device(dev), source(dev)
{
    qRegisterMetaType<QHexEditData::ActionType>("QHexEditData::ActionType");
    stack.setUndoLimit(0);
    // A device that could not be opened reads as empty rather than as garbage.
    qint64 size = 0;
    if (dev && dev->isOpen() && dev->isReadable())
        size = qMax<qint64>(0, dev->size());
    if (auto* buffer = qobject_cast<QBuffer*>(dev); buffer && buffer->isReadable()) {
        // Implicitly shared: no copy, and later writes to the buffer detach from it.
        sourceBytes = buffer->data();
        sourceIsMemory = true;
        size = sourceBytes.size();
    }
    runList->splice(0, 0, {makeRun(0, size, false)});
    dataLength = size;
}

QHexEditData::~QHexEditData()
{
    stack.clear();
    runList.reset();
    if (device && device->isOpen())
        device->close();
}

QHexEditData* QHexEditData::fromDevice(QIODevice* device)
{
    if (device && !device->isOpen()) {
        if (!device->open(QIODevice::ReadWrite))
            device->open(QIODevice::ReadOnly);
    }
    return new QHexEditData(device);
}

QHexEditData* QHexEditData::fromFile(const QString& fileName)
{
    auto* file = new QFile(fileName);
    if (!QFileInfo(fileName).isWritable() || !file->open(QIODevice::ReadWrite))
        file->open(QIODevice::ReadOnly);
    auto* data = new QHexEditData(file);
    file->setParent(data);
    return data;
}

QHexEditData* QHexEditData::fromMemory(const QByteArray& bytes)
{
    auto* buffer = new QBuffer;
    buffer->setData(bytes);
    buffer->open(QIODevice::ReadOnly);
    auto* data = new QHexEditData(buffer);
    buffer->setParent(data);
    return data;
}

qint64 QHexEditData::length() const
{
    return dataLength;
}

QUndoStack* QHexEditData::undoStack()
{
    return &stack;
}

bool QHexEditData::isReadOnly() const
{
    return !device || !device->isWritable();
}

bool QHexEditData::save()
{
    return saveTo(device);
}

bool QHexEditData::saveTo(QIODevice* iodevice)
{
    if (!iodevice)
        return false;
    const bool inPlace = iodevice == device;
    // Writing over the device, or over the file it reads (opening it write-only truncates it), would
    // destroy bytes that runs (ours or the undo history's) still read: move them aside first.
    if ((inPlace && iodevice->isWritable()) || sameFileAsSource(iodevice)) {
        if (!detachFromDevice())
            return false;
    }
    if (!iodevice->isOpen() && !iodevice->open(QIODevice::WriteOnly))
        return false;
    if (!iodevice->isWritable())
        return false;
    if (!iodevice->isSequential() && !iodevice->seek(0))
        return false;
    if (!writeAll(iodevice))
        return false;
    if (inPlace) {
        if (auto* file = qobject_cast<QFileDevice*>(iodevice)) {
            if (!file->flush())
                return false;
            if (file->size() > dataLength && !file->resize(dataLength))
                return false;
        } else if (auto* buffer = qobject_cast<QBuffer*>(iodevice)) {
            if (buffer->buffer().size() > dataLength)
                buffer->buffer().resize(int(dataLength));
        }
    } else if (auto* file = qobject_cast<QFileDevice*>(iodevice)) {
        return file->flush();
    }
    return true;
}

bool QHexEditData::sameFileAsSource(QIODevice* target) const
{
    const auto* file = qobject_cast<QFileDevice*>(target);
    const auto* from = qobject_cast<QFileDevice*>(source.data());
    if (!file || !from || file == from || file->fileName().isEmpty() || from->fileName().isEmpty())
        return false;
    const QFileInfo a(file->fileName());
    const QFileInfo b(from->fileName());
    return a.exists() && b.exists() && a.canonicalFilePath() == b.canonicalFilePath();
}

bool QHexEditData::detachFromDevice()
{
    if (sourceIsMemory || source != device)
        return true;
    // An unreadable device gave the model no bytes of its own: nothing to keep.
    if (!device || !device->isReadable())
        return true;
    auto* copy = new QTemporaryFile(this);
    if (!copy->open()) {
        delete copy;
        return false;
    }
    const qint64 size = device->size();
    QByteArray chunk(int(qMin(ChunkSize, qMax<qint64>(size, 1))), Qt::Uninitialized);
    for (qint64 pos = 0; pos < size;) {
        const qint64 n = qMin<qint64>(chunk.size(), size - pos);
        if (readDevice(pos, n, chunk.data()) != n || copy->write(chunk.constData(), n) != n) {
            delete copy;
            return false;
        }
        pos += n;
    }
    if (!copy->flush()) {
        delete copy;
        return false;
    }
    QMutexLocker lock(&mutex);
    source = copy;
    return true;
}

bool QHexEditData::writeAll(QIODevice* target) const
{
    QByteArray chunk(int(qMin(ChunkSize, qMax<qint64>(dataLength, 1))), Qt::Uninitialized);
    for (qint64 pos = 0; pos < dataLength;) {
        const qint64 n = qMin<qint64>(chunk.size(), dataLength - pos);
        if (!copyData(pos, n, chunk.data()) || target->write(chunk.constData(), n) != n)
            return false;
        pos += n;
    }
    return true;
}

qint64 QHexEditData::readDevice(qint64 offset, qint64 len, char* dst) const
{
    if (sourceIsMemory) {
        const qint64 n = qBound<qint64>(0, qMin<qint64>(len, sourceBytes.size() - offset), len);
        if (n > 0 && offset >= 0)
            std::memcpy(dst, sourceBytes.constData() + offset, size_t(n));
        return offset >= 0 ? n : 0;
    }
    QMutexLocker lock(&mutex);
    if (!source || !source->seek(offset))
        return 0;
    qint64 got = 0;
    while (got < len) {
        const qint64 n = source->read(dst + got, len - got);
        if (n <= 0)
            break;
        got += n;
    }
    return got;
}

bool QHexEditData::copyData(qint64 pos, qint64 len, char* dst) const
{
    QHexEditDataRuns::Found found;
    if (len <= 0)
        return true;
    if (!runList->find(pos, &found))
        return false;
    bool complete = true;
    qint64 cur = pos;
    const qint64 end = pos + len;
    runList->forEachFrom(found.index, [&](const DataRunPtr& run, qint64 start) {
        const qint64 inRun = cur - start;
        const qint64 n = qMin(run->length - inRun, end - cur);
        char* out = dst + (cur - pos);
        if (n > 0) {
            if (run->modified) {
                std::memcpy(out, modifiedBuffer.constData() + run->offset + inRun, size_t(n));
            } else {
                const qint64 got = readDevice(run->offset + inRun, n, out);
                if (got < n) {
                    std::memset(out + got, 0, size_t(n - got));
                    complete = false;
                }
            }
            cur += n;
        }
        return cur < end;
    });
    if (cur < end) {
        std::memset(dst + (cur - pos), 0, size_t(end - cur));
        return false;
    }
    return complete;
}

QHexEditData::InsertCommand* QHexEditData::prepareInsert(qint64 pos, const QByteArray& bytes,
                                                         ActionType reason)
{
    if (pos < 0 || pos > dataLength || bytes.isEmpty())
        return nullptr;
    // The buffer of new bytes is a QByteArray: refuse rather than overflow it.
    if (qint64(modifiedBuffer.size()) + bytes.size() > qint64(INT_MAX) - 4096)
        return nullptr;
    int index = 0;
    qint64 inRun = 0;
    DataRunPtr split;
    if (runList->count() > 0) {
        QHexEditDataRuns::Found found;
        if (!runList->find(pos, &found))
            return nullptr;
        index = found.index;
        inRun = pos - found.start;
        split = found.run;
    }
    const qint64 b = modifiedBuffer.size();
    modifiedBuffer.append(bytes);
    const DataRunPtr inserted = makeRun(b, bytes.size(), true);
    DataRunList removed;
    DataRunList added;
    bool mergeable = false;
    if (inRun != 0) {
        removed = {split};
        added = {makeRun(split->offset, inRun, split->modified), inserted,
                 makeRun(split->offset + inRun, split->length - inRun, split->modified)};
    } else {
        added = {inserted};
        mergeable = reason == Insert && lastAction == Insert && pos == lastOffset;
    }
    dataLength += bytes.size();
    auto* command = new InsertCommand(this, pos, index, std::move(removed), std::move(added));
    command->mergeable = mergeable;
    return command;
}

QHexEditData::RemoveCommand* QHexEditData::prepareRemove(qint64 pos, qint64 len, ActionType)
{
    if (pos < 0 || len <= 0 || pos >= dataLength || len > dataLength - pos)
        return nullptr;
    QHexEditDataRuns::Found found;
    if (!runList->find(pos, &found))
        return nullptr;
    const qint64 inRun = pos - found.start;
    qint64 remaining = len;
    int i = found.index;
    DataRunList removed;
    DataRunList added;
    if (inRun != 0) {
        const DataRunPtr& r = found.run;
        added.push_back(makeRun(r->offset, inRun, r->modified));
        if (inRun + len < r->length)
            added.push_back(makeRun(r->offset + inRun + len, r->length - inRun - len, r->modified));
        removed.push_back(r);
        remaining -= qMin(r->length - inRun, len);
        ++i;
    }
    if (remaining > 0) {
        runList->forEachFrom(i, [&](const DataRunPtr& r, qint64) {
            if (r->length <= remaining) {
                remaining -= r->length;
            } else {
                added.push_back(makeRun(r->offset + remaining, r->length - remaining, r->modified));
                remaining = 0;
            }
            removed.push_back(r);
            return remaining > 0;
        });
    }
    dataLength -= len;
    return new RemoveCommand(this, pos, found.index, std::move(removed), std::move(added));
}

void QHexEditData::pushInsert(InsertCommand* command)
{
    if (command->mergeable)
        pendingMerge = command;
    stack.push(command);
    // The stack declined the merge (clean state, cleared stack, no matching top): apply it on its own.
    if (InsertCommand* unmerged = pendingMerge) {
        pendingMerge = nullptr;
        unmerged->applyUnmerged();
    }
}

// Commands

QHexEditData::ModifyRangeCommand::ModifyRangeCommand(QHexEditData* data, qint64 offset, int index,
                                                     DataRunList removed, DataRunList added)
    : AbstractCommand(data), offset(offset), index(index), removedRuns(std::move(removed)),
      addedRuns(std::move(added))
{
    for (const DataRunPtr& run : removedRuns)
        removedLength += run->length;
    for (const DataRunPtr& run : addedRuns)
        addedLength += run->length;
}

void QHexEditData::ModifyRangeCommand::apply(ActionType reason)
{
    data->runList->splice(index, int(removedRuns.size()), addedRuns);
    // Preparation already counted the first application in the model's length.
    if (applied) {
        data->dataLength += addedLength - removedLength;
        data->lastAction = NoAction;
    }
    applied = true;
    if (notify)
        emit data->dataChanged(offset, qAbs(addedLength - removedLength), reason);
}

void QHexEditData::ModifyRangeCommand::unapply(ActionType reason)
{
    data->runList->splice(index, int(addedRuns.size()), removedRuns);
    data->dataLength += removedLength - addedLength;
    data->lastAction = NoAction;
    if (notify)
        emit data->dataChanged(offset, qAbs(addedLength - removedLength), reason);
}

void QHexEditData::InsertCommand::redo()
{
    // A mergeable insertion shows its bytes through the merge into the command below it.
    if (mergeable)
        return;
    apply(Insert);
}

void QHexEditData::InsertCommand::undo()
{
    unapply(Insert);
}

void QHexEditData::InsertCommand::applyUnmerged()
{
    mergeable = false;
    apply(Insert);
}

bool QHexEditData::InsertCommand::mergeWith(const QUndoCommand* other)
{
    const auto* next = dynamic_cast<const InsertCommand*>(other);
    if (!next || !next->mergeable || next->data != data || next->addedRuns.size() != 1 || addedRuns.empty())
        return false;
    const int at = addedRuns.size() == 1 ? 0 : 1;
    const DataRunPtr& run = addedRuns[size_t(at)];
    const DataRunPtr& more = next->addedRuns.front();
    // Sound only when the new bytes follow ours in the buffer and in the data, and our run is in place.
    const int runIndex = index + at;
    if (!run->modified || run->offset + run->length != more->offset || data->runList->at(runIndex) != run ||
        data->runList->startOf(runIndex) + run->length != next->offset)
        return false;
    run->length += more->length;
    addedLength += next->addedLength;
    data->runList->lengthChanged(runIndex);
    data->pendingMerge = nullptr;
    emit data->dataChanged(next->offset, next->addedLength - next->removedLength, Insert);
    return true;
}

void QHexEditData::RemoveCommand::redo()
{
    apply(Remove);
}

void QHexEditData::RemoveCommand::undo()
{
    unapply(Remove);
}

QHexEditData::ReplaceCommand::ReplaceCommand(QHexEditData* data, qint64 offset, qint64 length,
                                             const QByteArray& bytes)
    : AbstractCommand(data), offset(offset), length(length), bytes(bytes)
{
}

QHexEditData::ReplaceCommand::~ReplaceCommand()
{
    delete removeCommand;
    delete insertCommand;
}

void QHexEditData::ReplaceCommand::redo()
{
    if (removeCommand && insertCommand) {
        removeCommand->redo();
        insertCommand->redo();
    } else {
        delete removeCommand;
        delete insertCommand;
        removeCommand = nullptr;
        insertCommand = nullptr;
        const qint64 n = qMin(length, data->dataLength - offset);
        removeCommand = data->prepareRemove(offset, n, Replace);
        if (removeCommand) {
            removeCommand->notify = false;
            removeCommand->redo();
        }
        // Prepared after the removal took effect, so the new bytes land where the old ones were.
        insertCommand = data->prepareInsert(offset, bytes, Replace);
        if (insertCommand) {
            insertCommand->notify = false;
            insertCommand->redo();
        }
    }
    if (applied)
        data->lastAction = NoAction;
    applied = true;
    if (notify)
        emit data->dataChanged(offset, bytes.size(), Replace);
}

void QHexEditData::ReplaceCommand::undo()
{
    if (insertCommand)
        insertCommand->undo();
    if (removeCommand)
        removeCommand->undo();
    data->lastAction = NoAction;
    if (notify)
        emit data->dataChanged(offset, bytes.size(), Replace);
}
