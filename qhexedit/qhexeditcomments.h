#pragma once

#include "qhexedit/qhexeditrangelist.h"

#include <QObject>
#include <QPoint>
#include <QString>

namespace korvane {

// Text notes on byte ranges, shown as tool tips over the commented bytes.
class QHexEditComments : public QObject
{
    Q_OBJECT

public:
    explicit QHexEditComments(QObject* parent = nullptr);

    void commentRange(qint64 start, qint64 end, const QString& comment);
    void uncommentRange(qint64 start, qint64 end);
    void clearComments();
    bool isCommented(qint64 pos) const;
    QString comment(qint64 pos) const;
    void showComment(const QPoint& globalPos, qint64 pos);
    void hideComment();

    const QHexEditRangeList<QString>& ranges() const { return list; }

private:
    QHexEditRangeList<QString> list;
};

} // namespace korvane
