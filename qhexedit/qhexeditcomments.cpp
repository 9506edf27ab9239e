#include "qhexedit/qhexeditcomments.h"

#include <QToolTip>
#include <QWidget>

namespace korvane {

QHexEditComments::QHexEditComments(QObject* parent) : QObject(parent) {}

void QHexEditComments::commentRange(qint64 start, qint64 end, const QString& comment)
{
    list.insert(start, end, comment);
}

void QHexEditComments::uncommentRange(qint64 start, qint64 end)
{
    list.remove(start, end);
}

void QHexEditComments::clearComments()
{
    hideComment();
    list.clear();
}

bool QHexEditComments::isCommented(qint64 pos) const
{
    return list.find(pos) != nullptr;
}

QString QHexEditComments::comment(qint64 pos) const
{
    const auto* r = list.find(pos);
    return r ? r->value : QString();
}

void QHexEditComments::showComment(const QPoint& globalPos, qint64 pos)
{
    // An empty text hides the tool tip.
    QToolTip::showText(globalPos, comment(pos), qobject_cast<QWidget*>(parent()));
}

void QHexEditComments::hideComment()
{
    QToolTip::showText(QPoint(), QString());
}

} // namespace korvane
