#include "qhexedit/qhexeditdatawriter.h"

#include "qhexedit/qhexeditdata_p.h"

#include <QDataStream>

namespace korvane {

QHexEditDataWriter::QHexEditDataWriter(QHexEditData* data, QObject* parent) : QObject(parent), data(data) {}

bool QHexEditDataWriter::insert(qint64 pos, const QByteArray& bytes)
{
    if (!data || bytes.isEmpty() || !data->canInsertAt(pos))
        return false;
    const DataRunPtr stored = data->storeBytes(bytes);
    return stored && insertStored(pos, stored);
}

bool QHexEditDataWriter::insertStored(qint64 pos, const DataRunPtr& stored)
{
    QHexEditData::InsertCommand* command = data->prepareInsert(pos, stored, QHexEditData::Insert);
    if (!command)
        return false;
    data->lastAction = QHexEditData::Insert;
    data->lastOffset = pos + stored->length;
    data->pushInsert(command);
    return true;
}

bool QHexEditDataWriter::insert(qint64 pos, char ch)
{
    return insert(pos, QByteArray(1, ch));
}

bool QHexEditDataWriter::append(const QByteArray& bytes)
{
    return data && insert(data->length(), bytes);
}

bool QHexEditDataWriter::remove(qint64 pos, qint64 len)
{
    if (!data)
        return false;
    QHexEditData::RemoveCommand* command = data->prepareRemove(pos, len, QHexEditData::Remove);
    if (!command)
        return false;
    data->lastAction = QHexEditData::Remove;
    data->lastOffset = pos;
    data->push(command);
    return true;
}

bool QHexEditDataWriter::replace(qint64 pos, qint64 len, const QByteArray& bytes)
{
    if (!data || bytes.isEmpty())
        return false;
    // A position with a run: inside the data, or at its end while the data has runs.
    QHexEditDataRuns::Found found;
    if (!data->runs().find(pos, &found))
        return false;
    // The bytes are stored before anything changes, so the replacement never ends as a bare removal.
    DataRunPtr stored = data->storeBytes(bytes);
    if (!stored)
        return false;
    data->push(new QHexEditData::ReplaceCommand(data, pos, len, std::move(stored)));
    data->lastAction = QHexEditData::Replace;
    data->lastOffset = pos + bytes.size();
    return true;
}

bool QHexEditDataWriter::replace(qint64 pos, const QByteArray& bytes)
{
    return replace(pos, bytes.size(), bytes);
}

bool QHexEditDataWriter::replace(qint64 pos, qint64 len, uchar b)
{
    return replace(pos, len, QByteArray(1, char(b)));
}

bool QHexEditDataWriter::replace(qint64 pos, uchar b)
{
    return replace(pos, 1, QByteArray(1, char(b)));
}

bool QHexEditDataWriter::reserve(qint64 count)
{
    return data && data->reserveBytes(count);
}

bool QHexEditDataWriter::replaceAll(const QByteArray& bytes)
{
    if (!data)
        return false;
    // The new bytes are stored first: once they are, neither step below can be refused.
    DataRunPtr stored;
    if (!bytes.isEmpty() && !(stored = data->storeBytes(bytes)))
        return false;
    if (data->length() > 0)
        remove(0, data->length());
    return !stored || insertStored(data->length(), stored);
}

bool QHexEditDataWriter::writeUInt8(qint64 pos, quint8 value)
{
    return replace(pos, uchar(value));
}

bool QHexEditDataWriter::writeInt8(qint64 pos, qint8 value)
{
    return replace(pos, uchar(value));
}

template <typename T> bool QHexEditDataWriter::writeInteger(qint64 pos, T value, int byteOrder)
{
    QByteArray encoded;
    QDataStream stream(&encoded, QIODevice::WriteOnly);
    stream.setByteOrder(byteOrder == 1 ? QDataStream::LittleEndian : QDataStream::BigEndian);
    stream << value;
    return replace(pos, encoded.size(), encoded);
}

bool QHexEditDataWriter::writeUInt16(qint64 pos, quint16 value, int byteOrder)
{
    return writeInteger(pos, value, byteOrder);
}

bool QHexEditDataWriter::writeUInt32(qint64 pos, quint32 value, int byteOrder)
{
    return writeInteger(pos, value, byteOrder);
}

bool QHexEditDataWriter::writeUInt64(qint64 pos, quint64 value, int byteOrder)
{
    return writeInteger(pos, value, byteOrder);
}

bool QHexEditDataWriter::writeInt16(qint64 pos, qint16 value, int byteOrder)
{
    return writeInteger(pos, value, byteOrder);
}

bool QHexEditDataWriter::writeInt32(qint64 pos, qint32 value, int byteOrder)
{
    return writeInteger(pos, value, byteOrder);
}

bool QHexEditDataWriter::writeInt64(qint64 pos, qint64 value, int byteOrder)
{
    return writeInteger(pos, value, byteOrder);
}

} // namespace korvane
