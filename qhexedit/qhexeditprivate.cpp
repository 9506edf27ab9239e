#include "qhexedit/qhexeditprivate.h"

#include "qhexedit/qhexeditcomments.h"
#include "qhexedit/qhexeditdatareader.h"
#include "qhexedit/qhexeditdatawriter.h"
#include "qhexedit/qhexedithighlighter.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

#include <climits>
#include <limits>

namespace korvane {

namespace {

const int bytesPerLine = 16;

// Number of decimal digits of a non-negative value.
int decimalDigits(qint64 value)
{
    int digits = 1;
    while (value >= 10) {
        value /= 10;
        ++digits;
    }
    return digits;
}

} // namespace

QHexEditPrivate::QHexEditPrivate(QScrollArea* scrollArea, QScrollBar* vScrollBar, QWidget* parent)
    : QWidget(parent), scrollArea(scrollArea), vScrollBar(vScrollBar)
{
    connect(vScrollBar, &QScrollBar::valueChanged, this, &QHexEditPrivate::onVScrollBarValueChanged);
    connect(vScrollBar, &QScrollBar::valueChanged, this, &QHexEditPrivate::verticalScrollBarValueChanged);

    QFont viewFont(QStringLiteral("Monospace"));
    const QFont appFont = QApplication::font();
    if (appFont.pointSizeF() > 0)
        viewFont.setPointSizeF(appFont.pointSizeF());
    viewFont.setStyleHint(QFont::TypeWriter, QFont::PreferDefault);
    setAttribute(Qt::WA_MouseTracking);
    setFont(viewFont);
    updateLayout();

    wheelLines = 5;
    addressWidth = 8;
    setCursor(Qt::IBeamCursor);
    setFocusPolicy(Qt::StrongFocus);
    setBackgroundRole(QPalette::Base);

    // The timer has no parent, so it is owned here.
    blinkTimer = new QTimer();
    blinkTimer->setInterval(500);
    connect(blinkTimer, &QTimer::timeout, this, &QHexEditPrivate::blinkCursor);
    blinkTimer->start();
}

QHexEditPrivate::~QHexEditPrivate()
{
    delete blinkTimer;
}

qint64 QHexEditPrivate::dataLength() const
{
    return data ? data->length() : 0;
}

int QHexEditPrivate::visibleLines() const
{
    return height() / lineHeight;
}

qint64 QHexEditPrivate::firstVisibleLine() const
{
    // While the scroll bar is hidden its range is 0..0, so its value is the first line either way.
    return vScrollBar->value();
}

qint64 QHexEditPrivate::indexOf(const QByteArray& bytes, qint64 start) const
{
    if (!data)
        return -1;
    return reader->indexOf(bytes, start);
}

qint64 QHexEditPrivate::visibleStartOffset() const
{
    return qMin(firstVisibleLine() * bytesPerLine, dataLength());
}

qint64 QHexEditPrivate::visibleEndOffset() const
{
    return qMin(visibleStartOffset() + qint64(visibleLines()) * bytesPerLine - 1, dataLength());
}

void QHexEditPrivate::setData(QHexEditData* hexeditdata)
{
    if (data) {
        disconnect(data, &QHexEditData::dataChanged, this, &QHexEditPrivate::hexEditDataChanged);
        disconnect(data, &QObject::destroyed, this, &QHexEditPrivate::onDataDestroyed);
    }

    if (hexeditdata) {
        data = hexeditdata;
        reader = new QHexEditDataReader(data, data);
        writer = new QHexEditDataWriter(data, data);
        delete highlighter;
        delete comments;
        highlighter =
            new QHexEditHighlighter(data, Qt::transparent, palette().color(QPalette::WindowText), this);
        comments = new QHexEditComments(this);
        connect(data, &QHexEditData::dataChanged, this, &QHexEditPrivate::hexEditDataChanged);
        connect(data, &QObject::destroyed, this, &QHexEditPrivate::onDataDestroyed);
        addressWidth = qMax(addressWidth, decimalDigits(data->length() / bytesPerLine));
        setCursorPos(0, 0);
    } else {
        // The reader and writer belong to the old model, which its owner may delete.
        data = nullptr;
        reader = nullptr;
        writer = nullptr;
    }

    updateLayout();
    update();
    emit positionChanged(0);
    emit selectionChanged(0);
}

void QHexEditPrivate::onDataDestroyed()
{
    // The owner deleted the model while it was shown: forget it rather than touch freed memory.
    data = nullptr;
    reader = nullptr;
    writer = nullptr;
    selectionAnchor = selectionHead = cursorPos = 0;
    nibble = 0;
    updateLayout();
    update();
}

void QHexEditPrivate::updateLayout()
{
    const QFontMetrics metrics(font());
    charWidth = metrics.horizontalAdvance(QLatin1Char(' '));
    lineHeight = qMax(1, metrics.height());
    hexStartX = (addressWidth + 1) * charWidth;
    asciiStartX = hexStartX + 3 * bytesPerLine * charWidth;
    lineEndX = asciiStartX + bytesPerLine * charWidth;

    if (data) {
        const qint64 lines = data->length() / bytesPerLine;
        const qint64 visible = visibleLines();
        // Lines 0 to `lines` are shown: the scroll bar is needed once they don't all fit.
        if (lines < visible) {
            vScrollBar->setRange(0, 0);
            vScrollBar->hide();
        } else {
            vScrollBar->setRange(0, int(qMin<qint64>(lines - visible + 1, INT_MAX)));
            vScrollBar->setSingleStep(1);
            vScrollBar->setPageStep(int(qMax<qint64>(visible, 1)));
            vScrollBar->show();
        }
        setMinimumWidth(lineEndX);
    } else {
        vScrollBar->setRange(0, 0);
        vScrollBar->hide();
        setMinimumWidth(0);
    }
}

void QHexEditPrivate::updateCursorGeometry(qint64 pos, int nibble)
{
    // Rounded down, so that a cursor anywhere on the line above the window counts as above it.
    const qint64 relative = pos - firstVisibleLine() * bytesPerLine;
    const qint64 row =
        relative >= 0 ? relative / bytesPerLine : -((-relative + bytesPerLine - 1) / bytesPerLine);
    cursorY = row * lineHeight;
    const int column = int(pos % bytesPerLine);
    if (editArea == 2) {
        cursorX = asciiStartX + column * charWidth;
    } else {
        cursorX = hexStartX + column * 3 * charWidth;
        if (nibble == 1)
            cursorX += charWidth;
    }
}

void QHexEditPrivate::ensureVisible()
{
    const qint64 first = firstVisibleLine();
    const qint64 visible = visibleLines();
    const qint64 cursorLine = first + cursorY / lineHeight;
    if (cursorLine >= first && cursorLine < first + visible)
        return;
    vScrollBar->setValue(int(qBound<qint64>(0, cursorLine - visible / 2, INT_MAX)));
}

void QHexEditPrivate::setCursorPos(qint64 pos, int nibble)
{
    pos = qBound<qint64>(0, pos, dataLength());
    const qint64 oldPos = cursorPos;
    const int oldNibble = this->nibble;
    const qint64 oldLength = selectionLength();

    cursorVisible = false;
    update();
    selectionAnchor = selectionHead = cursorPos = pos;
    this->nibble = nibble;
    updateCursorGeometry(pos, nibble);
    cursorVisible = true;
    update();

    ensureVisible();

    if (oldLength != 0)
        emit selectionChanged(0);
    if (pos != oldPos || nibble != oldNibble)
        emit positionChanged(pos);
}

void QHexEditPrivate::moveSelectionHead(qint64 pos, int nibble)
{
    const qint64 oldLength = selectionLength();
    pos = qBound<qint64>(0, pos, dataLength());
    selectionHead = pos;
    this->nibble = nibble;
    updateCursorGeometry(pos, nibble);
    update();
    if (selectionLength() != oldLength)
        emit selectionChanged(selectionLength());
}

void QHexEditPrivate::setSelection(qint64 start, qint64 end)
{
    if (end == -1)
        end = dataLength();
    setCursorPos(start, 0);
    moveSelectionHead(end + 1, 0);
    ensureVisible();
    emit positionChanged(cursorPos);
}

void QHexEditPrivate::clampToLength()
{
    // A change made outside the keyboard may leave the cursor or selection beyond a shorter end.
    const qint64 length = dataLength();
    if (cursorPos <= length && selectionAnchor <= length && selectionHead <= length)
        return;
    const qint64 oldLength = selectionLength();
    const qint64 oldPos = cursorPos;
    cursorPos = qMin(cursorPos, length);
    selectionAnchor = qMin(selectionAnchor, length);
    selectionHead = qMin(selectionHead, length);
    updateCursorGeometry(selectionHead, nibble);
    if (selectionLength() != oldLength)
        emit selectionChanged(selectionLength());
    if (cursorPos != oldPos)
        emit positionChanged(cursorPos);
}

void QHexEditPrivate::hexEditDataChanged(qint64 offset, qint64 size, QHexEditData::ActionType reason)
{
    Q_UNUSED(size)
    if (currentKeyEvent) {
        const bool written = reason == QHexEditData::Insert || reason == QHexEditData::Replace;
        if (currentKeyEvent->key() == Qt::Key_Delete) {
            // Collapse at the start of what was removed, whichever way the selection was made.
            setCursorPos(selectionStart(), 0);
        } else if (currentKeyEvent->key() == Qt::Key_Backspace) {
            setCursorPos(offset, 0);
        } else if (editArea == 2) {
            if (currentKeyEvent->matches(QKeySequence::Undo))
                setCursorPos(offset, 0);
            else if (written)
                setCursorPos(offset + 1, 0);
        } else if (editArea == 1 && written) {
            if (nibble == 1)
                setCursorPos(offset + 1, 0);
            else
                setCursorPos(offset, 1);
        }
    }
    clampToLength();
    updateLayout();
    ensureVisible();
    update();
}

void QHexEditPrivate::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    updateLayout();
    checkVisibleLines();
}

void QHexEditPrivate::checkVisibleLines()
{
    const qint64 visible = visibleLines();
    const qint64 first = firstVisibleLine();
    if (visible != lastVisibleLines || first != lastFirstLine) {
        lastVisibleLines = visible;
        lastFirstLine = first;
        emit visibleLinesChanged();
    }
}

void QHexEditPrivate::onVScrollBarValueChanged(int value)
{
    Q_UNUSED(value)
    // The caret's y is relative to the first visible line, which just moved.
    updateCursorGeometry(selectionHead, nibble);
    checkVisibleLines();
    update();
}

void QHexEditPrivate::blinkCursor()
{
    cursorVisible = !cursorVisible;
    if (cursorY >= 0 && cursorY < height())
        update(cursorX, int(cursorY), charWidth, lineHeight);
}

void QHexEditPrivate::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    if (data) {
        cellTexts(false);
        cellTexts(true);
        const qint64 first = firstVisibleLine();
        const QRect rect = event->rect();
        const int firstRow = qMax(0, rect.top()) / lineHeight;
        const int lastRow = qMax(0, rect.bottom()) / lineHeight + 1;
        for (int row = firstRow; row <= lastRow; ++row)
            drawLine(painter, first + row, row * lineHeight);
    }

    painter.setPen(palette().color(QPalette::WindowText));
    const int half = charWidth / 2;
    for (int x : {hexStartX - half, asciiStartX - half, lineEndX + half})
        painter.drawLine(x, 0, x, height());

    if (data && hasFocus() && cursorVisible && cursorY >= -lineHeight && cursorY < height()) {
        const QColor color = palette().color(QPalette::WindowText);
        const int y = int(cursorY);
        if (insertMode)
            painter.fillRect(cursorX, y, 2, lineHeight, color);
        else
            painter.fillRect(cursorX, y + lineHeight - 3, charWidth, 2, color);
    }
}

QHexEditPrivate::CellTexts::CellTexts(const QFont& font) : font(font)
{
    static const char digits[] = "0123456789ABCDEF";
    const QFontMetrics metrics(font);
    for (int b = 0; b < 256; ++b) {
        const QChar hexChars[2] = {QLatin1Char(digits[b >> 4]), QLatin1Char(digits[b & 0x0F])};
        const QString hexText(hexChars, 2);
        const QChar ch{uchar(b)};
        const QString chrText = ch.isPrint() ? QString(ch) : QStringLiteral(".");
        hex[b].setText(hexText);
        chr[b].setText(chrText);
        for (QStaticText* text : {&hex[b], &chr[b]}) {
            text->setTextFormat(Qt::PlainText);
            text->setPerformanceHint(QStaticText::AggressiveCaching);
            text->prepare(QTransform(), font);
        }
        hexWidth[b] = metrics.horizontalAdvance(hexText);
        chrWidth[b] = metrics.horizontalAdvance(chrText);
    }
}

const QHexEditPrivate::CellTexts& QHexEditPrivate::cellTexts(bool bold)
{
    QFont wanted = font();
    if (bold)
        wanted.setWeight(75);
    std::unique_ptr<CellTexts>& cells = bold ? boldCells : normalCells;
    if (!cells || cells->font != wanted)
        cells = std::make_unique<CellTexts>(wanted);
    return *cells;
}

void QHexEditPrivate::drawLine(QPainter& painter, qint64 line, int y)
{
    const qint64 length = data->length();
    const qint64 lineStart = line * bytesPerLine;
    const bool cursorLine = cursorPos >= lineStart && cursorPos < lineStart + bytesPerLine;
    const int half = charWidth / 2;
    const QColor base = palette().color(QPalette::Base);

    painter.setBackgroundMode(Qt::TransparentMode);
    const QColor band = cursorLine ? currentLineColor : (line % 2 ? alternateLineColor : base);
    painter.fillRect(hexStartX, y, lineEndX + half - hexStartX, lineHeight, band);
    painter.fillRect(0, y, hexStartX - half, lineHeight, addressBackColor);

    const int flags = Qt::AlignLeft | Qt::AlignTop;
    if (line == 0 || lineStart < length) {
        const QString address =
            QStringLiteral("%1").arg(lineStart + baseAddress, addressWidth, 16, QLatin1Char('0')).toUpper();
        painter.setPen(cursorLine ? QColor(Qt::red) : addressForeColor);
        painter.setFont(font());
        painter.drawText(QRect(0, y, hexStartX, lineHeight), flags, address);
    }

    const QPalette& pal = palette();
    const bool hasSelection = selectionAnchor != selectionHead;
    const qint64 selStart = selectionStart();
    const qint64 selEnd = selectionEnd();

    int hexX = hexStartX;
    int asciiX = asciiStartX;
    bool lastBold = false;
    for (int i = 0; i < bytesPerLine && lineStart + i < length; ++i) {
        const qint64 pos = lineStart + i;
        const uchar byte = reader->at(pos);
        const bool bold = comments && comments->isCommented(pos);
        const CellTexts& cells = bold ? *boldCells : *normalCells;
        if (i == 0 || bold != lastBold)
            painter.setFont(cells.font);
        lastBold = bold;

        QColor hexBack, asciiBack, hexFore, asciiFore;
        const bool printable = QChar(byte).isPrint();
        if (hasSelection && pos >= selStart && pos < selEnd) {
            hexBack = asciiBack = pal.color(QPalette::Highlight);
            hexFore = asciiFore = pal.color(QPalette::HighlightedText);
        } else {
            QColor back, fore;
            highlighter->colors(pos, back, fore);
            hexBack = asciiBack = back;
            if (pos == cursorPos && !hasSelection) {
                // The cursor byte is marked in the column that does not have the keyboard.
                if (editArea == 1)
                    asciiBack = Qt::lightGray;
                else if (editArea == 2)
                    hexBack = Qt::lightGray;
            }
            hexFore = (byte == 0x00 || byte == 0xFF) ? QColor(Qt::darkGray) : fore;
            asciiFore = printable ? fore : QColor(Qt::darkGray);
        }

        const int hexWidth = cells.hexWidth[byte];
        const int cellWidth = i < bytesPerLine - 1 ? hexWidth + charWidth : hexWidth;
        if (hexBack.alpha() != 0)
            painter.fillRect(hexX, y, cellWidth, lineHeight, hexBack);
        painter.setPen(hexFore);
        painter.drawStaticText(hexX, y, cells.hex[byte]);
        hexX += cellWidth;

        const int textWidth = cells.chrWidth[byte];
        if (asciiBack.alpha() != 0)
            painter.fillRect(asciiX, y, textWidth, lineHeight, asciiBack);
        painter.setPen(asciiFore);
        painter.drawStaticText(asciiX, y, cells.chr[byte]);
        asciiX += textWidth;
    }
}

void QHexEditPrivate::undo()
{
    if (data && data->undoStack()->canUndo())
        data->undoStack()->undo();
}

void QHexEditPrivate::redo()
{
    if (data && data->undoStack()->canRedo())
        data->undoStack()->redo();
}

bool QHexEditPrivate::readSelection(QByteArray* bytes)
{
    bool ok = false;
    *bytes = reader->read(selectionStart(), selectionLength(), &ok);
    if (!ok)
        QApplication::beep();
    return ok;
}

void QHexEditPrivate::copy()
{
    copySelection();
}

bool QHexEditPrivate::copySelection()
{
    QByteArray bytes;
    if (!data || selectionLength() == 0 || !readSelection(&bytes))
        return false;
    // Sized conversion: the QByteArray overload would stop at the first 0x00 byte.
    QApplication::clipboard()->setText(QString::fromLatin1(bytes.constData(), bytes.size()),
                                       QClipboard::Clipboard);
    return true;
}

void QHexEditPrivate::copyHex()
{
    QByteArray bytes;
    if (!data || selectionLength() == 0 || !readSelection(&bytes))
        return;
    QApplication::clipboard()->setText(QString::fromLatin1(bytes.toHex().toUpper()), QClipboard::Clipboard);
}

void QHexEditPrivate::cut()
{
    if (!data || selectionLength() == 0)
        return;
    // The same one-byte-per-character text as copy(), so that pasting it back restores every byte;
    // what could not be copied is not removed.
    const qint64 start = selectionStart();
    if (!copySelection())
        return;
    writer->remove(start, selectionEnd() - start);
    setCursorPos(start, 0);
    updateLayout();
    ensureVisible();
}

void QHexEditPrivate::pasteBytes(const QByteArray& bytes)
{
    const qint64 start = selectionStart();
    bool done = false;
    if (selectionLength() != 0)
        done = writer->replace(start, selectionLength(), bytes);
    else if (insertMode)
        done = writer->insert(start, bytes);
    else
        done = writer->replace(start, bytes.size(), bytes);
    if (!done) {
        // Refused (nothing to paste, or more than the model can hold): the view stays as it was.
        QApplication::beep();
        return;
    }
    setCursorPos(start + bytes.size(), 0);
    updateLayout();
    ensureVisible();
}

void QHexEditPrivate::paste()
{
    if (!data)
        return;
    const QString text = QApplication::clipboard()->text(QClipboard::Clipboard);
    if (text.isNull())
        return;
    pasteBytes(text.toLatin1());
}

void QHexEditPrivate::pasteHex()
{
    if (!data)
        return;
    const QString text = QApplication::clipboard()->text(QClipboard::Clipboard);
    if (text.isNull())
        return;
    pasteBytes(QByteArray::fromHex(text.toLatin1()));
}

void QHexEditPrivate::highlightBackground(qint64 start, qint64 end, const QColor& color)
{
    if (!data || !highlighter)
        return;
    highlighter->highlightBackground(start, end, color);
    update();
}

void QHexEditPrivate::highlightForeground(qint64 start, qint64 end, const QColor& color)
{
    if (!data || !highlighter)
        return;
    highlighter->highlightForeground(start, end, color);
    update();
}

void QHexEditPrivate::clearHighlight(qint64 start, qint64 end)
{
    if (!data || !highlighter)
        return;
    highlighter->clearHighlight(start, end);
    update();
}

void QHexEditPrivate::clearHighlight()
{
    if (data)
        clearHighlight(0, std::numeric_limits<qint64>::max());
}

void QHexEditPrivate::commentRange(qint64 start, qint64 end, const QString& comment)
{
    if (data && comments)
        comments->commentRange(start, end, comment);
}

void QHexEditPrivate::uncommentRange(qint64 start, qint64 end)
{
    if (data && comments)
        comments->uncommentRange(start, end);
}

void QHexEditPrivate::clearComments()
{
    if (comments)
        comments->clearComments();
}

int QHexEditPrivate::editAreaAt(int x) const
{
    // The margin before each column is half a line high, so a click just left of a column lands in it.
    if (x < hexStartX - lineHeight / 2)
        return 0;
    if (x < asciiStartX - lineHeight / 2)
        return 1;
    return 2;
}

qint64 QHexEditPrivate::offsetAt(int x, int y, int area, int* nibbleOut) const
{
    const qint64 line = firstVisibleLine() + y / lineHeight;
    qint64 offset = line * bytesPerLine;
    int digit = 0;
    // Columns are kept inside the line: a point in a margin or right of the character column must
    // not land on a byte of another line.
    if (area == 1) {
        const int col = qBound(0, (x - hexStartX) / charWidth, 3 * bytesPerLine - 1);
        offset += col / 3;
        digit = col % 3 != 0 ? 1 : 0;
    } else if (area == 2) {
        offset += qBound(0, (x - asciiStartX) / charWidth, bytesPerLine - 1);
    }
    if (nibbleOut)
        *nibbleOut = digit;
    return offset;
}

void QHexEditPrivate::mousePressEvent(QMouseEvent* event)
{
    if (!data || event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPoint point = event->localPos().toPoint();
    if (point.x() == 0 || point.y() == 0)
        return;
    cursorVisible = false;
    update();
    editArea = editAreaAt(point.x());
    int digit = 0;
    const qint64 offset = offsetAt(point.x(), point.y(), editArea, &digit);
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    if (modifiers == Qt::ShiftModifier)
        moveSelectionHead(offset, digit);
    else if (modifiers == Qt::NoModifier)
        setCursorPos(offset, digit);
}

void QHexEditPrivate::mouseMoveEvent(QMouseEvent* event)
{
    if (!data) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const QPoint point = event->localPos().toPoint();
    if (event->buttons() == Qt::NoButton) {
        if (!comments)
            return;
        // The column under the pointer decides the byte, whichever column has the keyboard.
        const int area = editAreaAt(point.x());
        const qint64 offset = offsetAt(point.x(), point.y(), area, nullptr);
        if (area != 0 && offset < dataLength() && comments->isCommented(offset))
            comments->showComment(event->globalPos(), offset);
        else
            comments->hideComment();
        return;
    }
    if (event->buttons() & Qt::LeftButton) {
        if (point.x() == 0 || point.y() == 0)
            return;
        cursorVisible = false;
        update();
        int digit = 0;
        const qint64 offset = offsetAt(point.x(), point.y(), editArea, &digit);
        moveSelectionHead(offset, digit);
    }
}

void QHexEditPrivate::wheelEvent(QWheelEvent* event)
{
    const int delta = event->angleDelta().y();
    if (dataLength() == 0 || delta == 0) {
        event->ignore();
        return;
    }
    const qint64 first = firstVisibleLine() - qint64(delta / 120) * wheelLines;
    vScrollBar->setValue(int(qBound<qint64>(0, first, qMin<qint64>(dataLength() / bytesPerLine, INT_MAX))));
    updateCursorGeometry(selectionHead, nibble);
    update();
    event->accept();
}

void QHexEditPrivate::removeSelection()
{
    writer->remove(selectionStart(), selectionLength());
}

bool QHexEditPrivate::moveCursorByKey(QKeyEvent* event)
{
    const qint64 s = selectionStart();
    const qint64 page = qint64(qMax(0, visibleLines() - 1)) * bytesPerLine;

    if (event->matches(QKeySequence::MoveToNextChar)) {
        if (editArea == 1)
            setCursorPos(s + nibble, 1 - nibble); // one digit at a time
        else if (editArea == 2)
            setCursorPos(s + 1, 0);
    } else if (event->matches(QKeySequence::MoveToPreviousChar)) {
        if (editArea == 1)
            setCursorPos(s - 1 + nibble, 1 - nibble);
        else if (editArea == 2)
            setCursorPos(s - 1, 0);
    } else if (event->matches(QKeySequence::MoveToNextLine)) {
        setCursorPos(s + bytesPerLine, nibble);
    } else if (event->matches(QKeySequence::MoveToPreviousLine)) {
        setCursorPos(s - bytesPerLine, nibble);
    } else if (event->matches(QKeySequence::MoveToStartOfLine)) {
        setCursorPos(s - s % bytesPerLine, 0);
    } else if (event->matches(QKeySequence::MoveToNextPage)) {
        setCursorPos(s + page, 0);
    } else if (event->matches(QKeySequence::MoveToPreviousPage)) {
        setCursorPos(s - page, 0);
    } else if (event->matches(QKeySequence::MoveToEndOfLine)) {
        setCursorPos(s | (bytesPerLine - 1), 0);
    } else if (event->matches(QKeySequence::MoveToStartOfDocument)) {
        setCursorPos(0, 0);
    } else if (event->matches(QKeySequence::MoveToEndOfDocument)) {
        setCursorPos(dataLength(), 0);
    } else {
        return false;
    }
    return true;
}

bool QHexEditPrivate::selectByKey(QKeyEvent* event)
{
    // Steps start from the moving end, so that a selection made backwards keeps growing backwards.
    const qint64 e = selectionHead;

    if (event->matches(QKeySequence::SelectNextChar)) {
        if (editArea == 1)
            moveSelectionHead(e + nibble, 1 - nibble);
        else if (editArea == 2)
            moveSelectionHead(e + 1, 0);
    } else if (event->matches(QKeySequence::SelectPreviousChar)) {
        if (editArea == 1)
            moveSelectionHead(e - 1 + nibble, 1 - nibble);
        else if (editArea == 2)
            moveSelectionHead(e - 1, 0);
    } else if (event->matches(QKeySequence::SelectNextLine)) {
        moveSelectionHead(e + bytesPerLine, nibble);
    } else if (event->matches(QKeySequence::SelectPreviousLine)) {
        moveSelectionHead(e - bytesPerLine, nibble);
    } else if (event->matches(QKeySequence::SelectStartOfDocument)) {
        setCursorPos(selectionEnd(), 0);
        moveSelectionHead(0, 0);
    } else if (event->matches(QKeySequence::SelectEndOfDocument)) {
        moveSelectionHead(dataLength(), 0);
    } else if (event->matches(QKeySequence::SelectAll)) {
        setSelection(0, dataLength());
    } else {
        return false;
    }
    return true;
}

// Typing over a selection removes it first: the typed byte's room is taken before, so that a byte the
// model cannot hold does not leave the selection removed.
bool QHexEditPrivate::makeRoomToType()
{
    if (selectionLength() == 0 || writer->reserve(1))
        return true;
    QApplication::beep();
    return false;
}

void QHexEditPrivate::typeHexDigit(int value)
{
    const qint64 s = selectionStart();
    if (!makeRoomToType())
        return;
    if (selectionLength() != 0) {
        removeSelection();
        // The digit starts a new byte where the selection was, never the low half of the next one.
        nibble = 0;
    }
    if (insertMode && nibble == 0) {
        writer->insert(s, char(value << 4));
        return;
    }
    if (s >= dataLength())
        return;
    const uchar old = reader->at(s);
    const uchar changed = nibble == 1 ? uchar((old & 0xF0) | value) : uchar((value << 4) | (old & 0x0F));
    writer->replace(s, changed);
}

void QHexEditPrivate::typeCharacter(uchar ch)
{
    const qint64 s = selectionStart();
    if (!makeRoomToType())
        return;
    if (selectionLength() != 0)
        removeSelection();
    if (insertMode)
        writer->insert(s, char(ch));
    else if (s < dataLength())
        writer->replace(s, ch);
}

void QHexEditPrivate::deleteKey()
{
    if (selectionLength() != 0) {
        removeSelection();
        return;
    }
    const qint64 s = cursorPos;
    if (insertMode) {
        writer->remove(s, 1);
        return;
    }
    if (s >= dataLength())
        return;
    if (editArea == 1) {
        const uchar old = reader->at(s);
        writer->replace(s, uchar(nibble == 1 ? old & 0xF0 : old & 0x0F));
    } else {
        writer->replace(s, uchar(0));
    }
}

void QHexEditPrivate::backspaceKey()
{
    if (selectionLength() != 0) {
        removeSelection();
        return;
    }
    if (selectionAnchor == 0)
        return;
    if (insertMode)
        writer->remove(selectionAnchor - 1, 1);
    else
        writer->replace(selectionAnchor - 1, uchar(0));
}

bool QHexEditPrivate::editByKey(QKeyEvent* event)
{
    // Control, Alt and Meta make shortcuts and menu keys, not typing (AltGr comes without Alt).
    if (readOnly || (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
        return false;
    const QString text = event->text();
    const ushort code = text.isEmpty() ? 0 : text.at(0).unicode();
    const uchar ch = code < 256 ? uchar(code) : 0;

    if (editArea == 1 && ((ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f'))) {
        typeHexDigit(ch <= '9' ? ch - '0' : ch - 'a' + 10);
    } else if (editArea == 2 && ch >= 0x20 && ch <= 0x7E) {
        typeCharacter(ch);
    } else if (event->key() == Qt::Key_Delete) {
        deleteKey();
    } else if (event->key() == Qt::Key_Backspace && event->modifiers() == Qt::NoModifier) {
        backspaceKey();
    } else {
        return false;
    }
    return true;
}

bool QHexEditPrivate::handleKey(QKeyEvent* event)
{
    if (moveCursorByKey(event) || selectByKey(event))
        return true;
    if (event->key() == Qt::Key_Insert && event->modifiers() == Qt::NoModifier) {
        insertMode = !insertMode;
        cursorVisible = true;
        update();
    } else if (event->matches(QKeySequence::Undo)) {
        undo();
    } else if (event->matches(QKeySequence::Redo)) {
        redo();
    } else if (event->matches(QKeySequence::Cut)) {
        cut();
    } else if (event->matches(QKeySequence::Copy)) {
        copy();
    } else if (event->matches(QKeySequence::Paste)) {
        paste();
    } else {
        return editByKey(event);
    }
    return true;
}

void QHexEditPrivate::keyPressEvent(QKeyEvent* event)
{
    if (!data) {
        QWidget::keyPressEvent(event);
        return;
    }
    // The data-change handler looks at the key while the edits it causes come in.
    currentKeyEvent = event;
    const bool handled = handleKey(event);
    currentKeyEvent = nullptr;
    if (handled)
        event->accept();
    else
        QWidget::keyPressEvent(event);
}

} // namespace korvane
