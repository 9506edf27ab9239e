#include "qhexedit/qhexeditdatawriter.h"

#include "qhexedit/qhexeditdata_p.h"

#include <QDataStream>

QHexEditDataWriter::QHexEditDataWriter(QHexEditData* data, QObject* parent) : QObject(parent), data(data) {}

void QHexEditDataWriter::insert(qint64 pos, const QByteArray& bytes)
{
    if (!data)
        return;
    QHexEditData::InsertCommand* command = data->prepareInsert(pos, bytes, QHexEditData::Insert);
    if (!command)
        return;
    data->lastAction = QHexEditData::Insert;
    data->lastOffset = pos + bytes.size();
    data->pushInsert(command);
}

void QHexEditDataWriter::insert(qint64 pos, char ch)
{
    insert(pos, QByteArray(1, ch));
}

void QHexEditDataWriter::append(const QByteArray& bytes)
{
    if (data)
        insert(data->length(), bytes);
}

void QHexEditDataWriter::remove(qint64 pos, qint64 len)
{
    if (!data)
        return;
    QHexEditData::RemoveCommand* command = data->prepareRemove(pos, len, QHexEditData::Remove);
    if (!command)
        return;
    data->lastAction = QHexEditData::Remove;
    data->lastOffset = pos;
    data->stack.push(command);
}

void QHexEditDataWriter::replace(qint64 pos, qint64 len, const QByteArray& bytes)
{
    if (!data || pos > data->length() || bytes.isEmpty())
        return;
    QHexEditDataRuns::Found found;
    if (!data->runs().find(pos, &found))
        return;
    data->stack.push(new QHexEditData::ReplaceCommand(data, pos, len, bytes));
    data->lastAction = QHexEditData::Replace;
    data->lastOffset = pos + bytes.size();
}

void QHexEditDataWriter::replace(qint64 pos, const QByteArray& bytes)
{
    replace(pos, bytes.size(), bytes);
}

void QHexEditDataWriter::replace(qint64 pos, qint64 len, uchar b)
{
    replace(pos, len, QByteArray(1, char(b)));
}

void QHexEditDataWriter::replace(qint64 pos, uchar b)
{
    replace(pos, 1, QByteArray(1, char(b)));
}

void QHexEditDataWriter::writeUInt8(qint64 pos, quint8 value)
{
    replace(pos, uchar(value));
}

void QHexEditDataWriter::writeInt8(qint64 pos, qint8 value)
{
    replace(pos, uchar(value));
}

template <typename T> void QHexEditDataWriter::writeInteger(qint64 pos, T value, int byteOrder)
{
    QByteArray encoded;
    QDataStream stream(&encoded, QIODevice::WriteOnly);
    stream.setByteOrder(byteOrder == 1 ? QDataStream::LittleEndian : QDataStream::BigEndian);
    stream << value;
    replace(pos, encoded.size(), encoded);
}

void QHexEditDataWriter::writeUInt16(qint64 pos, quint16 value, int byteOrder)
{
    writeInteger(pos, value, byteOrder);
}

void QHexEditDataWriter::writeUInt32(qint64 pos, quint32 value, int byteOrder)
{
    writeInteger(pos, value, byteOrder);
}

void QHexEditDataWriter::writeUInt64(qint64 pos, quint64 value, int byteOrder)
{
    writeInteger(pos, value, byteOrder);
}

void QHexEditDataWriter::writeInt16(qint64 pos, qint16 value, int byteOrder)
{
    writeInteger(pos, value, byteOrder);
}

void QHexEditDataWriter::writeInt32(qint64 pos, qint32 value, int byteOrder)
{
    writeInteger(pos, value, byteOrder);
}

void QHexEditDataWriter::writeInt64(qint64 pos, qint64 value, int byteOrder)
{
    writeInteger(pos, value, byteOrder);
}
