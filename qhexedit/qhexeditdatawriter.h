#pragma once

#include "qhexedit/qhexeditdata.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>

#include <memory>

namespace korvane {

// The only way to change a model: every operation becomes one undoable command, or changes nothing and
// returns false (out of range, nothing to do, or new bytes the model cannot hold).
class QHexEditDataWriter : public QObject
{
    Q_OBJECT

public:
    explicit QHexEditDataWriter(QHexEditData* data, QObject* parent = nullptr);

    bool insert(qint64 pos, const QByteArray& bytes);
    bool insert(qint64 pos, char ch);
    bool append(const QByteArray& bytes);
    bool remove(qint64 pos, qint64 len);
    bool replace(qint64 pos, qint64 len, const QByteArray& bytes);
    bool replace(qint64 pos, const QByteArray& bytes);
    bool replace(qint64 pos, qint64 len, uchar b);
    bool replace(qint64 pos, uchar b);

    bool writeUInt8(qint64 pos, quint8 value);
    bool writeInt8(qint64 pos, qint8 value);
    // byteOrder: 1 little-endian, anything else big-endian.
    bool writeUInt16(qint64 pos, quint16 value, int byteOrder);
    bool writeUInt32(qint64 pos, quint32 value, int byteOrder);
    bool writeUInt64(qint64 pos, quint64 value, int byteOrder);
    bool writeInt16(qint64 pos, qint16 value, int byteOrder);
    bool writeInt32(qint64 pos, qint32 value, int byteOrder);
    bool writeInt64(qint64 pos, qint64 value, int byteOrder);

    // Makes room for count new bytes, so that the edits that follow and store no more than that
    // cannot be refused for memory. Edits of several steps take their room first.
    bool reserve(qint64 count);
    // remove(0, length()) and then append(bytes), two undo steps; or, when the bytes cannot be
    // placed, neither.
    bool replaceAll(const QByteArray& bytes);

    QHexEditData* hexEditData() const { return data; }

private:
    template <typename T> bool writeInteger(qint64 pos, T value, int byteOrder);
    bool insertStored(qint64 pos, const std::shared_ptr<DataRun>& stored);

    QPointer<QHexEditData> data;
};

} // namespace korvane
