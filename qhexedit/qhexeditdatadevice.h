#pragma once

#include <QIODevice>
#include <QPointer>

namespace korvane {

class QHexEditData;
class QHexEditDataReader;
class QHexEditDataWriter;

// A model seen as a random-access device; writing replaces bytes.
class QHexEditDataDevice : public QIODevice
{
    Q_OBJECT

public:
    explicit QHexEditDataDevice(QHexEditData* data);

    virtual qint64 length() const;
    qint64 size() const override;
    bool isSequential() const override { return false; }

protected:
    qint64 readData(char* data, qint64 maxlen) override;
    qint64 writeData(const char* data, qint64 len) override;

private:
    QPointer<QHexEditData> hexData;
    QHexEditDataReader* reader = nullptr;
    QHexEditDataWriter* writer = nullptr;
};

} // namespace korvane
