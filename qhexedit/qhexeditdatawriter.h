#pragma once

#include "qhexedit/qhexeditdata.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>

// The only way to change a model: every operation becomes an undoable command, or is refused silently.
class QHexEditDataWriter : public QObject
{
    Q_OBJECT

public:
    explicit QHexEditDataWriter(QHexEditData* data, QObject* parent = nullptr);

    void insert(qint64 pos, const QByteArray& bytes);
    void insert(qint64 pos, char ch);
    void append(const QByteArray& bytes);
    void remove(qint64 pos, qint64 len);
    void replace(qint64 pos, qint64 len, const QByteArray& bytes);
    void replace(qint64 pos, const QByteArray& bytes);
    void replace(qint64 pos, qint64 len, uchar b);
    void replace(qint64 pos, uchar b);

    void writeUInt8(qint64 pos, quint8 value);
    void writeInt8(qint64 pos, qint8 value);
    // byteOrder: 1 little-endian, anything else big-endian.
    void writeUInt16(qint64 pos, quint16 value, int byteOrder);
    void writeUInt32(qint64 pos, quint32 value, int byteOrder);
    void writeUInt64(qint64 pos, quint64 value, int byteOrder);
    void writeInt16(qint64 pos, qint16 value, int byteOrder);
    void writeInt32(qint64 pos, qint32 value, int byteOrder);
    void writeInt64(qint64 pos, qint64 value, int byteOrder);

    QHexEditData* hexEditData() const { return data; }

private:
    template <typename T> void writeInteger(qint64 pos, T value, int byteOrder);

    QPointer<QHexEditData> data;
};
