#include "qhexedit/qhexeditdatareader.h"

#include "qhexedit/qhexeditdata_p.h"

#include <QByteArrayMatcher>
#include <QDataStream>

#include <cstring>
#include <new>

namespace korvane {

namespace {

constexpr qint64 SearchChunk = 1 << 20;

} // namespace

QHexEditDataReader::QHexEditDataReader(QHexEditData* data, QObject* parent)
    : QObject(parent), window(int(WindowSize), '\0'), data(data)
{
    if (data)
        connect(data, &QHexEditData::dataChanged, this, &QHexEditDataReader::onDataChanged);
}

void QHexEditDataReader::onDataChanged(qint64 offset, qint64, QHexEditData::ActionType)
{
    // A change inside the window or before it shifts the cached bytes.
    if (offset < windowStart + WindowSize)
        dirty = true;
}

bool QHexEditDataReader::needsFill(qint64 pos) const
{
    return dirty || windowStart == -1 || pos < windowStart || pos >= windowStart + WindowSize;
}

void QHexEditDataReader::fill(qint64 pos)
{
    const qint64 len = data->length();
    if (len > WindowSize && pos + WindowSize >= len)
        pos = len - WindowSize;
    windowStart = pos;
    QHexEditDataRuns::Found found;
    if (!data->runs().find(pos, &found))
        return;
    windowComplete = data->copyData(pos, qMin(WindowSize, len - pos), window.data());
    dirty = false;
}

QByteArray QHexEditDataReader::fail(bool* ok)
{
    if (ok)
        *ok = false;
    return {};
}

QByteArray QHexEditDataReader::read(qint64 pos, qint64 len, bool* ok)
{
    if (ok)
        *ok = true;
    if (!data || pos < 0 || len <= 0 || pos >= data->length())
        return {};
    const qint64 n = qMin(len, data->length() - pos);
    if (n > MaxRead)
        return fail(ok);
    QByteArray result;
    try {
        result.resize(int(n));
    } catch (const std::bad_alloc&) {
        return fail(ok);
    }
    if (n > WindowSize) {
        // Large reads copy the runs directly instead of passing every byte through the window.
        if (!data->copyData(pos, n, result.data()))
            return fail(ok);
        return result;
    }
    if (needsFill(pos) || pos + n > windowStart + WindowSize)
        fill(pos);
    // A window with a gap may still hold these bytes whole: ask the runs for exactly them.
    if (!windowComplete && !data->copyData(pos, n, result.data()))
        return fail(ok);
    if (windowComplete)
        std::memcpy(result.data(), window.constData() + (pos - windowStart), size_t(n));
    return result;
}

uchar QHexEditDataReader::at(qint64 pos)
{
    if (!data || data->length() == 0)
        return 0;
    pos = qBound<qint64>(0, pos, data->length() - 1);
    if (needsFill(pos))
        fill(pos);
    return uchar(window.at(int(pos - windowStart)));
}

QString QHexEditDataReader::readString(qint64 pos, qint64 maxLength)
{
    QString result;
    if (!data || pos < 0)
        return result;
    const qint64 len = data->length();
    const qint64 n = maxLength < 0 ? len : qMin(maxLength, len);
    for (qint64 i = 0; i < n && pos + i < len; ++i) {
        const uchar b = at(pos + i);
        if (b == 0 || b >= 0x80)
            break;
        result.append(QChar(b));
    }
    return result;
}

qint64 QHexEditDataReader::indexOf(const QByteArray& bytes, qint64 start)
{
    if (!data || bytes.isEmpty())
        return -1;
    const qint64 len = data->length();
    start = qMax<qint64>(start, 0);
    const qint64 m = bytes.size();
    if (start >= len || m > len - start)
        return -1;
    // Large chunks that overlap by m - 1 bytes, so an occurrence across a chunk border is still seen.
    const QByteArrayMatcher matcher(bytes);
    const qint64 chunkSize = qMax(SearchChunk, 4 * m);
    QByteArray chunk(int(qMin(chunkSize, len - start)), Qt::Uninitialized);
    for (qint64 pos = start; pos + m <= len;) {
        const qint64 n = qMin(chunkSize, len - pos);
        data->copyData(pos, n, chunk.data());
        const int found = matcher.indexIn(chunk.constData(), int(n), 0);
        if (found >= 0)
            return pos + found;
        if (pos + n >= len)
            break;
        pos += n - (m - 1);
    }
    return -1;
}

template <typename T> T QHexEditDataReader::readInteger(qint64 pos, int byteOrder)
{
    const QByteArray bytes = read(pos, qint64(sizeof(T)));
    if (bytes.size() < int(sizeof(T)))
        return 0;
    QDataStream stream(bytes);
    stream.setByteOrder(byteOrder == 1 ? QDataStream::LittleEndian : QDataStream::BigEndian);
    T value = 0;
    stream >> value;
    return value;
}

quint16 QHexEditDataReader::readUInt16(qint64 pos, int byteOrder)
{
    return readInteger<quint16>(pos, byteOrder);
}

quint32 QHexEditDataReader::readUInt32(qint64 pos, int byteOrder)
{
    return readInteger<quint32>(pos, byteOrder);
}

quint64 QHexEditDataReader::readUInt64(qint64 pos, int byteOrder)
{
    return readInteger<quint64>(pos, byteOrder);
}

qint16 QHexEditDataReader::readInt16(qint64 pos, int byteOrder)
{
    return readInteger<qint16>(pos, byteOrder);
}

qint32 QHexEditDataReader::readInt32(qint64 pos, int byteOrder)
{
    return readInteger<qint32>(pos, byteOrder);
}

qint64 QHexEditDataReader::readInt64(qint64 pos, int byteOrder)
{
    return readInteger<qint64>(pos, byteOrder);
}

} // namespace korvane
