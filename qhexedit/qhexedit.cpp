#include "qhexedit/qhexedit.h"

#include "qhexedit/qhexeditprivate.h"

#include <QHBoxLayout>
#include <QScrollArea>
#include <QScrollBar>

namespace korvane {

QHexEdit::QHexEdit(QWidget* parent) : QFrame(parent)
{
    vScrollBar = new QScrollBar(Qt::Vertical);
    scrollArea = new QScrollArea();
    hexEditPrivate = new QHexEditPrivate(scrollArea, vScrollBar);

    connect(hexEditPrivate, &QHexEditPrivate::visibleLinesChanged, this, &QHexEdit::visibleLinesChanged);
    connect(hexEditPrivate, &QHexEditPrivate::positionChanged, this, &QHexEdit::positionChanged);
    connect(hexEditPrivate, &QHexEditPrivate::selectionChanged, this, &QHexEdit::selectionChanged);
    connect(hexEditPrivate, &QHexEditPrivate::verticalScrollBarValueChanged, this,
            &QHexEdit::verticalScrollBarValueChanged);

    scrollArea->setFocusPolicy(Qt::NoFocus);
    scrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrollArea->setFrameStyle(QFrame::NoFrame);
    scrollArea->setWidgetResizable(true);
    scrollArea->setWidget(hexEditPrivate);
    setFocusPolicy(Qt::NoFocus);

    hLayout = new QHBoxLayout(this);
    hLayout->setSpacing(0);
    hLayout->setContentsMargins(0, 0, 0, 0);
    hLayout->addWidget(scrollArea);
    hLayout->addWidget(vScrollBar);

    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
}

QHexEditData* QHexEdit::data() const
{
    return hexEditPrivate->data;
}

int QHexEdit::addressWidth() const
{
    return hexEditPrivate->addressWidth;
}

int QHexEdit::visibleLines() const
{
    return hexEditPrivate->visibleLines();
}

qint64 QHexEdit::indexOf(const QByteArray& bytes, qint64 start) const
{
    return hexEditPrivate->indexOf(bytes, start);
}

qint64 QHexEdit::baseAddress() const
{
    return hexEditPrivate->baseAddress;
}

void QHexEdit::setBaseAddress(qint64 address)
{
    hexEditPrivate->baseAddress = address;
}

qint64 QHexEdit::cursorPos() const
{
    return hexEditPrivate->cursorPos;
}

qint64 QHexEdit::selectionStart() const
{
    return hexEditPrivate->selectionStart();
}

qint64 QHexEdit::selectionEnd() const
{
    return hexEditPrivate->selectionEnd();
}

qint64 QHexEdit::selectionLength() const
{
    return hexEditPrivate->selectionLength();
}

void QHexEdit::setFont(const QFont& font)
{
    hexEditPrivate->setFont(font);
    hexEditPrivate->updateLayout();
    updateGeometry();
}

QSize QHexEdit::sizeHint() const
{
    // The line ends with a separator half a character behind the last column.
    const int line = hexEditPrivate->lineEndX + hexEditPrivate->charWidth;
    const int width = line + vScrollBar->sizeHint().width() + 2 * frameWidth();
    return QSize(width, QFrame::sizeHint().height());
}

qint64 QHexEdit::visibleStartOffset() const
{
    return hexEditPrivate->visibleStartOffset();
}

qint64 QHexEdit::visibleEndOffset() const
{
    return hexEditPrivate->visibleEndOffset();
}

bool QHexEdit::isReadOnly() const
{
    return hexEditPrivate->readOnly;
}

void QHexEdit::undo()
{
    hexEditPrivate->undo();
}

void QHexEdit::redo()
{
    hexEditPrivate->redo();
}

void QHexEdit::cut()
{
    hexEditPrivate->cut();
}

void QHexEdit::copy()
{
    hexEditPrivate->copy();
}

void QHexEdit::copyHex()
{
    hexEditPrivate->copyHex();
}

void QHexEdit::paste()
{
    hexEditPrivate->paste();
}

void QHexEdit::pasteHex()
{
    hexEditPrivate->pasteHex();
}

void QHexEdit::selectAll()
{
    hexEditPrivate->setSelection(0, -1);
}

void QHexEdit::setReadOnly(bool b)
{
    hexEditPrivate->readOnly = b;
}

void QHexEdit::setCursorPos(qint64 pos)
{
    hexEditPrivate->setCursorPos(pos, 0);
}

void QHexEdit::setData(QHexEditData* hexeditdata)
{
    hexEditPrivate->setData(hexeditdata);
    updateGeometry(); // a longer buffer can widen the address column
}

void QHexEdit::selectPos(qint64 pos)
{
    hexEditPrivate->setSelection(pos, pos);
}

void QHexEdit::setSelection(qint64 start, qint64 end)
{
    hexEditPrivate->setSelection(start, end);
}

void QHexEdit::setSelectionLength(qint64 start, qint64 length)
{
    hexEditPrivate->setSelection(start, start + length - 1);
}

void QHexEdit::highlightBackground(qint64 start, qint64 end, QColor color)
{
    hexEditPrivate->highlightBackground(start, end, color);
}

void QHexEdit::highlightForeground(qint64 start, qint64 end, QColor color)
{
    hexEditPrivate->highlightForeground(start, end, color);
}

void QHexEdit::clearHighlight(qint64 start, qint64 end)
{
    hexEditPrivate->clearHighlight(start, end);
}

void QHexEdit::clearHighlight()
{
    hexEditPrivate->clearHighlight();
}

void QHexEdit::commentRange(qint64 start, qint64 end, QString comment)
{
    hexEditPrivate->commentRange(start, end, comment);
}

void QHexEdit::uncommentRange(qint64 start, qint64 end)
{
    hexEditPrivate->uncommentRange(start, end);
}

void QHexEdit::clearComments()
{
    hexEditPrivate->clearComments();
}

void QHexEdit::setVerticalScrollBarValue(int value)
{
    vScrollBar->setValue(value);
}

void QHexEdit::scroll(QWheelEvent* event)
{
    hexEditPrivate->scrollByWheel(event);
}

} // namespace korvane
