#include "qhexedit/qhexedithighlighter.h"

#include "qhexedit/qhexeditdata.h"

namespace korvane {

QHexEditHighlighter::QHexEditHighlighter(QHexEditData* data, QColor defaultBackground,
                                         QColor defaultForeground, QObject* parent)
    : QObject(parent), data(data), defaultBack(defaultBackground), defaultFore(defaultForeground)
{
}

void QHexEditHighlighter::colors(qint64 pos, QColor& background, QColor& foreground) const
{
    background = backgroundColor(pos);
    foreground = foregroundColor(pos);
}

QColor QHexEditHighlighter::backgroundColor(qint64 pos) const
{
    const auto* r = backgrounds.find(pos);
    return r ? r->value : defaultBack;
}

QColor QHexEditHighlighter::foregroundColor(qint64 pos) const
{
    const auto* r = foregrounds.find(pos);
    return r ? r->value : defaultFore;
}

void QHexEditHighlighter::clamp(qint64& start, qint64& end) const
{
    if (start < 0)
        start = 0;
    const qint64 length = data ? data->length() : 0;
    if (end > length - 1)
        end = length - 1;
}

void QHexEditHighlighter::highlightBackground(qint64 start, qint64 end, const QColor& color)
{
    clamp(start, end);
    backgrounds.insert(start, end, color);
}

void QHexEditHighlighter::highlightForeground(qint64 start, qint64 end, const QColor& color)
{
    clamp(start, end);
    foregrounds.insert(start, end, color);
}

void QHexEditHighlighter::clearHighlight(qint64 start, qint64 end)
{
    // Not clamped: ranges left beyond the end of a model that shrank go too.
    foregrounds.remove(start, end);
    backgrounds.remove(start, end);
}

} // namespace korvane
