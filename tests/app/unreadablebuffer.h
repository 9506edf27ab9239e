#pragma once

#include "qhexedit/qhexeditdata.h"
#include "qhexedit/qhexeditdatareader.h"

#include <QFile>
#include <QString>

namespace korvane {
}
using namespace korvane;

// Buffers whose content cannot be read out in one piece, shown in a window's hex editor.
enum class UnreadableBuffer
{
    OverTheReadCap, // a sparse file one byte larger than one read delivers
    FileShrank      // the file was cut after the buffer was opened on it
};
Q_DECLARE_METATYPE(UnreadableBuffer)

// A model over a file at path, owned by parent; null when the file cannot be made.
inline QHexEditData* unreadableBuffer(UnreadableBuffer kind, const QString& path, QObject* parent)
{
    const bool large = kind == UnreadableBuffer::OverTheReadCap;
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(large ? QHexEditDataReader::MaxRead + 1 : 30000))
            return nullptr;
    }
    QHexEditData* model = QHexEditData::fromFile(path);
    model->setParent(parent);
    if (!large && !QFile(path).resize(100)) {
        delete model;
        return nullptr;
    }
    return model;
}
