#pragma once

#include "qhexedit/qhexeditrangelist.h"

#include <QColor>
#include <QObject>

namespace korvane {

class QHexEditData;

// Background and text colours of byte ranges.
class QHexEditHighlighter : public QObject
{
    Q_OBJECT

public:
    QHexEditHighlighter(QHexEditData* data, QColor defaultBackground, QColor defaultForeground,
                        QObject* parent = nullptr);

    void colors(qint64 pos, QColor& background, QColor& foreground) const;
    QColor backgroundColor(qint64 pos) const;
    QColor foregroundColor(qint64 pos) const;
    QColor defaultBackground() const { return defaultBack; }
    QColor defaultForeground() const { return defaultFore; }

    void highlightBackground(qint64 start, qint64 end, const QColor& color);
    void highlightForeground(qint64 start, qint64 end, const QColor& color);
    void clearHighlight(qint64 start, qint64 end);

    const QHexEditRangeList<QColor>& backgroundRanges() const { return backgrounds; }
    const QHexEditRangeList<QColor>& foregroundRanges() const { return foregrounds; }

private:
    void clamp(qint64& start, qint64& end) const;

    QHexEditRangeList<QColor> backgrounds;
    QHexEditRangeList<QColor> foregrounds;
    QHexEditData* data;
    QColor defaultBack;
    QColor defaultFore;
};

} // namespace korvane
