#include "qhexedit/qhexeditdatadevice.h"

#include "qhexedit/qhexeditdata.h"
#include "qhexedit/qhexeditdatareader.h"
#include "qhexedit/qhexeditdatawriter.h"

#include <cstring>

namespace korvane {

QHexEditDataDevice::QHexEditDataDevice(QHexEditData* data) : QIODevice(data), hexData(data)
{
    if (data) {
        reader = new QHexEditDataReader(data, this);
        writer = new QHexEditDataWriter(data, this);
    }
}

qint64 QHexEditDataDevice::length() const
{
    return hexData ? hexData->length() : 0;
}

qint64 QHexEditDataDevice::size() const
{
    return length();
}

qint64 QHexEditDataDevice::readData(char* data, qint64 maxlen)
{
    if (!hexData)
        return 0;
    const QByteArray bytes = reader->read(pos(), maxlen);
    if (bytes.isEmpty())
        return -1;
    std::memcpy(data, bytes.constData(), size_t(bytes.size()));
    return bytes.size();
}

qint64 QHexEditDataDevice::writeData(const char* data, qint64 len)
{
    if (!hexData)
        return 0;
    // A write the model refuses must not be reported as written.
    if (len <= 0 || pos() > hexData->length())
        return len == 0 ? 0 : -1;
    if (len > QHexEditDataReader::MaxRead || !writer->replace(pos(), QByteArray(data, int(len))))
        return -1;
    return len;
}

} // namespace korvane
