#pragma once

#include "qhexedit/qhexeditdata.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

#include <climits>

namespace korvane {

// Reads a model through a cached window of 8192 bytes.
class QHexEditDataReader : public QObject
{
    Q_OBJECT

public:
    explicit QHexEditDataReader(QHexEditData* data, QObject* parent = nullptr);

    // The bytes from pos, at most len and never past the end (empty when pos is outside the data).
    // A range that cannot be delivered whole (larger than one array holds, short of memory, or a
    // device that fell short) gives an empty array and *ok false, never a shorter or padded one.
    QByteArray read(qint64 pos, qint64 len, bool* ok = nullptr);
    uchar at(qint64 pos);
    QString readString(qint64 pos, qint64 maxLength = -1);
    qint64 indexOf(const QByteArray& bytes, qint64 start = 0);

    // byteOrder: 1 little-endian, anything else big-endian.
    quint16 readUInt16(qint64 pos, int byteOrder);
    quint32 readUInt32(qint64 pos, int byteOrder);
    quint64 readUInt64(qint64 pos, int byteOrder);
    qint16 readInt16(qint64 pos, int byteOrder);
    qint32 readInt32(qint64 pos, int byteOrder);
    qint64 readInt64(qint64 pos, int byteOrder);

    QHexEditData* hexEditData() const { return data; }

    static constexpr qint64 WindowSize = 8192;
    // The most bytes one read delivers.
    static constexpr qint64 MaxRead = qint64(INT_MAX) - 4096;

private slots:
    void onDataChanged(qint64 offset, qint64, QHexEditData::ActionType);

private:
    bool needsFill(qint64 pos) const;
    void fill(qint64 pos);
    QByteArray fail(bool* ok);
    template <typename T> T readInteger(qint64 pos, int byteOrder);

    QByteArray window;
    qint64 windowStart = -1;
    bool dirty = false;
    bool windowComplete = true; // false when the device fell short while the window was filled
    QPointer<QHexEditData> data;
};

} // namespace korvane
