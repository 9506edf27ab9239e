#include "qhexedit/qhexeditdata.h"

#include "qhexedit/qhexeditdata_p.h"
#include "qhexedit/qhexeditdatareader.h"

#include <QBuffer>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>
#include <QMutexLocker>
#include <QTemporaryFile>

#include <cstring>
#include <limits>
#include <new>
#include <unordered_map>
#include <unordered_set>

namespace korvane {

namespace {

// Saving and searching move data in pieces of this size, so memory does not grow with the model.
constexpr qint64 ChunkSize = 1 << 20;
// Insertions up to SmallInsert bytes share pieces of OpenChunkSize; larger ones get a piece of their own.
constexpr qint64 OpenChunkSize = 4096;
constexpr qint64 SmallInsert = 256;

DataRunPtr makeRun(qint64 offset, qint64 length, bool modified, const std::shared_ptr<ByteChunk>& chunk)
{
    auto run = std::make_shared<DataRun>();
    run->offset = offset;
    run->length = length;
    run->modified = modified;
    run->chunk = chunk;
    return run;
}

DataRunPtr deviceRun(qint64 offset, qint64 length)
{
    return makeRun(offset, length, false, nullptr);
}

// The same source as run, from offset on.
DataRunPtr partOf(const DataRunPtr& run, qint64 offset, qint64 length)
{
    return makeRun(offset, length, run->modified, run->chunk);
}

} // namespace

// Chunks

std::shared_ptr<ByteChunk> ByteChunk::make(QByteArray bytes, qint64 used, const std::shared_ptr<qint64>& held)
{
    std::shared_ptr<ByteChunk> chunk(new (std::nothrow) ByteChunk);
    if (!chunk)
        return nullptr;
    chunk->bytes = std::move(bytes);
    chunk->used = used;
    chunk->held = held;
    *held += chunk->capacity();
    return chunk;
}

std::shared_ptr<ByteChunk> ByteChunk::create(qint64 capacity, const std::shared_ptr<qint64>& held)
{
    if (capacity <= 0 || capacity > QHexEditDataReader::MaxRead)
        return nullptr;
    QByteArray bytes;
    try {
        bytes.resize(int(capacity));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return make(std::move(bytes), 0, held);
}

std::shared_ptr<ByteChunk> ByteChunk::adopt(const QByteArray& bytes, const std::shared_ptr<qint64>& held)
{
    if (bytes.isEmpty())
        return nullptr;
    // An array over raw data does not keep its bytes alive (and reports no capacity): copy those.
    if (bytes.capacity() >= bytes.size())
        return make(bytes, bytes.size(), held);
    std::shared_ptr<ByteChunk> chunk = create(bytes.size(), held);
    if (chunk)
        chunk->append(bytes.constData(), bytes.size());
    return chunk;
}

ByteChunk::~ByteChunk()
{
    if (held)
        *held -= capacity();
}

qint64 ByteChunk::append(const char* src, qint64 n)
{
    const qint64 at = used;
    std::memcpy(bytes.data() + at, src, size_t(n));
    used += n;
    return at;
}

QHexEditData::QHexEditData(QIODevice* dev)
    : QObject(nullptr), runList(new QHexEditDataRuns), device(dev), source(dev),
      heldBytes(std::make_shared<qint64>(0)), limit(std::numeric_limits<qint64>::max())
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
    runList->splice(0, 0, {deviceRun(0, size)});
    dataLength = size;
}

QHexEditData::~QHexEditData()
{
    stack.clear();
    runList.reset();
    openChunk.reset();
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

void QHexEditData::setMemoryLimit(qint64 bytes)
{
    limit = qMax<qint64>(0, bytes);
}

void QHexEditData::setUndoMemoryBudget(qint64 bytes)
{
    undoBudget = qMax<qint64>(0, bytes);
    trimHistory();
}

qint64 QHexEditData::newBytesHeld() const
{
    return *heldBytes;
}

qint64 QHexEditData::undoOnlyBytes() const
{
    return qMax<qint64>(0, historyUsage(nullptr));
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
                std::memcpy(out, run->chunk->data() + run->offset + inRun, size_t(n));
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

bool QHexEditData::canInsertAt(qint64 pos) const
{
    if (pos < 0 || pos > dataLength)
        return false;
    QHexEditDataRuns::Found found;
    return runList->count() == 0 || runList->find(pos, &found);
}

bool QHexEditData::withinLimit(qint64 more) const
{
    return more <= limit - *heldBytes;
}

std::shared_ptr<ByteChunk> QHexEditData::newChunk(qint64 capacity)
{
    if (!withinLimit(capacity))
        return nullptr;
    return ByteChunk::create(capacity, heldBytes);
}

bool QHexEditData::reserveBytes(qint64 count)
{
    if (count <= 0 || (openChunk && openChunk->room() >= count))
        return true;
    std::shared_ptr<ByteChunk> chunk = newChunk(qMax(OpenChunkSize, count));
    if (!chunk)
        return false;
    openChunk = chunk;
    return true;
}

DataRunPtr QHexEditData::storeBytes(const QByteArray& bytes)
{
    const qint64 n = bytes.size();
    if (n <= 0)
        return nullptr;
    std::shared_ptr<ByteChunk> chunk;
    if (openChunk && openChunk->room() >= n) {
        chunk = openChunk;
    } else if (n <= SmallInsert) {
        chunk = newChunk(OpenChunkSize);
        if (!chunk)
            return nullptr;
        openChunk = chunk;
    } else {
        // A piece of its own that shares the caller's array: a chip read is not copied again.
        if (!withinLimit(n))
            return nullptr;
        chunk = ByteChunk::adopt(bytes, heldBytes);
        return chunk ? makeRun(0, n, true, chunk) : nullptr;
    }
    const qint64 offset = chunk->append(bytes.constData(), n);
    return makeRun(offset, n, true, chunk);
}

QHexEditData::InsertCommand* QHexEditData::prepareInsert(qint64 pos, const DataRunPtr& inserted,
                                                         ActionType reason)
{
    if (!inserted || inserted->length <= 0 || !canInsertAt(pos))
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
    DataRunList removed;
    DataRunList added;
    bool mergeable = false;
    if (inRun != 0) {
        removed = {split};
        added = {partOf(split, split->offset, inRun), inserted,
                 partOf(split, split->offset + inRun, split->length - inRun)};
    } else {
        added = {inserted};
        mergeable = reason == Insert && lastAction == Insert && pos == lastOffset;
    }
    dataLength += inserted->length;
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
        added.push_back(partOf(r, r->offset, inRun));
        if (inRun + len < r->length)
            added.push_back(partOf(r, r->offset + inRun + len, r->length - inRun - len));
        removed.push_back(r);
        remaining -= qMin(r->length - inRun, len);
        ++i;
    }
    if (remaining > 0) {
        runList->forEachFrom(i, [&](const DataRunPtr& r, qint64) {
            if (r->length <= remaining) {
                remaining -= r->length;
            } else {
                added.push_back(partOf(r, r->offset + remaining, r->length - remaining));
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
    trimHistory();
}

void QHexEditData::push(AbstractCommand* command)
{
    stack.push(command);
    trimHistory();
}

// Undo history

qint64 QHexEditData::historyUsage(std::vector<qint64>* freed) const
{
    // Pieces that the data shows, or that the next insertions fill, stay whatever the history does.
    std::unordered_set<const ByteChunk*> live;
    runList->forEachFrom(0, [&](const DataRunPtr& run, qint64) {
        if (run->chunk)
            live.insert(run->chunk.get());
        return true;
    });
    if (openChunk)
        live.insert(openChunk.get());
    // The newest step that refers to each other piece: dropping the steps up to it frees the piece.
    struct Use
    {
        int newest;
        qint64 size;
    };
    std::unordered_map<const ByteChunk*, Use> uses;
    std::vector<const ByteChunk*> chunks;
    for (int i = 0; i < stack.count(); ++i) {
        const auto* command = dynamic_cast<const AbstractCommand*>(stack.command(i));
        if (!command)
            return -1;
        chunks.clear();
        command->appendChunks(&chunks);
        for (const ByteChunk* chunk : chunks) {
            if (!live.count(chunk))
                uses[chunk] = Use{i, chunk->capacity()};
        }
    }
    qint64 total = 0;
    if (freed)
        freed->assign(size_t(stack.count()), 0);
    for (const auto& entry : uses) {
        total += entry.second.size;
        if (freed)
            (*freed)[size_t(entry.second.newest)] += entry.second.size;
    }
    return total;
}

void QHexEditData::trimHistory()
{
    // Nothing to look for while all new bytes together fit the budget; and steps that can still be
    // redone are left alone (the next edit discards them anyway).
    if (*heldBytes <= undoBudget || stack.count() == 0 || stack.index() != stack.count())
        return;
    std::vector<qint64> freed;
    qint64 held = historyUsage(&freed);
    if (held <= undoBudget)
        return;
    int count = 0;
    while (held > undoBudget && count < stack.count())
        held -= freed[size_t(count++)];
    dropOldestSteps(count);
}

// QUndoStack drops its oldest commands only through an undo limit, which can be set on an empty stack
// alone. So the stack is rebuilt: replicas of the steps that stay are pushed onto the cleared stack,
// marked as in effect already, and the clean state is put back where it was.
void QHexEditData::dropOldestSteps(int count)
{
    const int total = stack.count();
    const int clean = stack.cleanIndex();
    std::vector<AbstractCommand*> kept;
    for (int i = count; i < total; ++i)
        kept.push_back(static_cast<const AbstractCommand*>(stack.command(i))->replica());
    stack.clear();
    for (size_t i = 0; i < kept.size(); ++i) {
        if (clean - count == int(i))
            stack.setClean();
        kept[i]->replay = true;
        stack.push(kept[i]);
    }
    if (clean - count == int(kept.size()))
        stack.setClean();
    else if (clean < count)
        stack.resetClean();
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

void QHexEditData::ModifyRangeCommand::appendChunks(std::vector<const ByteChunk*>* chunks) const
{
    for (const DataRunList* runs : {&removedRuns, &addedRuns}) {
        for (const DataRunPtr& run : *runs) {
            if (run->chunk)
                chunks->push_back(run->chunk.get());
        }
    }
}

void QHexEditData::ModifyRangeCommand::copyStateTo(ModifyRangeCommand* other) const
{
    other->removedLength = removedLength;
    other->addedLength = addedLength;
    other->applied = applied;
    other->notify = notify;
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
    if (takeReplay() || mergeable)
        return;
    apply(Insert);
}

QHexEditData::AbstractCommand* QHexEditData::InsertCommand::replica() const
{
    auto* copy = new InsertCommand(data, offset, index, removedRuns, addedRuns);
    copyStateTo(copy);
    return copy;
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
    // The inserted runs sit between the head and the tail of a split run, or make up the whole list.
    const int at = int(addedRuns.size()) - (removedRuns.empty() ? 1 : 2);
    if (at < 0)
        return false;
    const DataRunPtr& run = addedRuns[size_t(at)];
    const DataRunPtr& more = next->addedRuns.front();
    // Sound only when the new bytes follow ours in the data and our last run is in place.
    const int runIndex = index + at;
    if (!run->modified || data->runList->at(runIndex) != run ||
        data->runList->startOf(runIndex) + run->length != next->offset)
        return false;
    if (run->chunk == more->chunk && run->offset + run->length == more->offset) {
        run->length += more->length; // they follow ours in the same piece, too
        data->runList->lengthChanged(runIndex);
    } else {
        addedRuns.insert(addedRuns.begin() + at + 1, more);
        data->runList->splice(runIndex + 1, 0, {more});
    }
    addedLength += next->addedLength;
    data->pendingMerge = nullptr;
    emit data->dataChanged(next->offset, next->addedLength - next->removedLength, Insert);
    return true;
}

void QHexEditData::RemoveCommand::redo()
{
    if (!takeReplay())
        apply(Remove);
}

QHexEditData::AbstractCommand* QHexEditData::RemoveCommand::replica() const
{
    auto* copy = new RemoveCommand(data, offset, index, removedRuns, addedRuns);
    copyStateTo(copy);
    return copy;
}

void QHexEditData::RemoveCommand::undo()
{
    unapply(Remove);
}

QHexEditData::ReplaceCommand::ReplaceCommand(QHexEditData* data, qint64 offset, qint64 length,
                                             DataRunPtr stored)
    : AbstractCommand(data), offset(offset), length(length), byteCount(stored ? stored->length : 0),
      stored(std::move(stored))
{
}

QHexEditData::ReplaceCommand::~ReplaceCommand()
{
    delete removeCommand;
    delete insertCommand;
}

QHexEditData::AbstractCommand* QHexEditData::ReplaceCommand::replica() const
{
    auto* copy = new ReplaceCommand(data, offset, length, stored);
    copy->byteCount = byteCount;
    copy->applied = applied;
    copy->notify = notify;
    if (removeCommand)
        copy->removeCommand = static_cast<RemoveCommand*>(removeCommand->replica());
    if (insertCommand)
        copy->insertCommand = static_cast<InsertCommand*>(insertCommand->replica());
    return copy;
}

void QHexEditData::ReplaceCommand::appendChunks(std::vector<const ByteChunk*>* chunks) const
{
    if (stored && stored->chunk)
        chunks->push_back(stored->chunk.get());
    if (removeCommand)
        removeCommand->appendChunks(chunks);
    if (insertCommand)
        insertCommand->appendChunks(chunks);
}

void QHexEditData::ReplaceCommand::redo()
{
    if (takeReplay())
        return;
    if (applied) {
        if (removeCommand)
            removeCommand->redo();
        if (insertCommand)
            insertCommand->redo();
        data->lastAction = NoAction;
    } else {
        const qint64 n = qMin(length, data->dataLength - offset);
        removeCommand = data->prepareRemove(offset, n, Replace);
        if (removeCommand) {
            removeCommand->notify = false;
            removeCommand->redo();
        }
        // Prepared after the removal took effect, so the new bytes land where the old ones were; the
        // writer checked the offset, and the bytes are stored, so this cannot be refused.
        insertCommand = data->prepareInsert(offset, stored, Replace);
        stored.reset();
        if (insertCommand) {
            insertCommand->notify = false;
            insertCommand->redo();
        }
    }
    applied = true;
    if (notify)
        emit data->dataChanged(offset, byteCount, Replace);
}

void QHexEditData::ReplaceCommand::undo()
{
    if (insertCommand)
        insertCommand->undo();
    if (removeCommand)
        removeCommand->undo();
    data->lastAction = NoAction;
    if (notify)
        emit data->dataChanged(offset, byteCount, Replace);
}

} // namespace korvane
