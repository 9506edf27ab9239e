#pragma once

#include "qhexedit/qhexeditdata.h"

#include <QColor>
#include <QStaticText>
#include <QWidget>

#include <memory>

class QKeyEvent;
class QPainter;
class QScrollArea;
class QScrollBar;
class QTimer;

class tst_QHexEdit;
class tst_QHexEditInput;

namespace korvane {

class QHexEditComments;
class QHexEditDataReader;
class QHexEditDataWriter;
class QHexEditHighlighter;

// Draws the address, hexadecimal and character columns of a model, 16 bytes a line,
// and keeps the cursor and the selection.
class QHexEditPrivate : public QWidget
{
    Q_OBJECT

public:
    QHexEditPrivate(QScrollArea* scrollArea, QScrollBar* vScrollBar, QWidget* parent = nullptr);
    ~QHexEditPrivate() override;

    void setData(QHexEditData* hexeditdata);

    int visibleLines() const;
    qint64 firstVisibleLine() const;
    qint64 indexOf(const QByteArray& bytes, qint64 start) const;
    qint64 selectionStart() const { return qMin(selectionAnchor, selectionHead); }
    qint64 selectionEnd() const { return qMax(selectionAnchor, selectionHead); }
    qint64 selectionLength() const { return selectionEnd() - selectionStart(); }
    qint64 visibleStartOffset() const;
    qint64 visibleEndOffset() const;

    void setCursorPos(qint64 pos, int nibble = 0);
    void moveSelectionHead(qint64 pos, int nibble);
    void setSelection(qint64 start, qint64 end);
    void updateLayout();
    void updateCursorGeometry(qint64 pos, int nibble);
    void ensureVisible();

    void undo();
    void redo();
    void cut();
    void copy();
    void copyHex();
    void paste();
    void pasteHex();

    void highlightBackground(qint64 start, qint64 end, const QColor& color);
    void highlightForeground(qint64 start, qint64 end, const QColor& color);
    void clearHighlight(qint64 start, qint64 end);
    void clearHighlight();
    void commentRange(qint64 start, qint64 end, const QString& comment);
    void uncommentRange(qint64 start, qint64 end);
    void clearComments();

    // The wheel handler, reached from the outer widget's scroll slot.
    void scrollByWheel(QWheelEvent* event) { wheelEvent(event); }

signals:
    void visibleLinesChanged();
    void positionChanged(qint64 offset);
    void selectionChanged(qint64 length);
    void verticalScrollBarValueChanged(int value);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private slots:
    void blinkCursor();
    void onVScrollBarValueChanged(int value);
    void hexEditDataChanged(qint64 offset, qint64 size, QHexEditData::ActionType reason);
    void onDataDestroyed();

private:
    friend class QHexEdit;
    friend class ::tst_QHexEdit;
    friend class ::tst_QHexEditInput;

    // Laid-out texts of the 256 hexadecimal and character cells in one font, so that painting a
    // cell is a blit rather than a text layout.
    struct CellTexts
    {
        explicit CellTexts(const QFont& font);
        QFont font;
        QStaticText hex[256];
        QStaticText chr[256];
        int hexWidth[256];
        int chrWidth[256];
    };
    const CellTexts& cellTexts(bool bold);

    void drawLine(QPainter& painter, qint64 line, int y);
    int editAreaAt(int x) const;
    qint64 offsetAt(int x, int y, int area, int* nibbleOut) const;
    bool handleKey(QKeyEvent* event);
    bool moveCursorByKey(QKeyEvent* event);
    bool selectByKey(QKeyEvent* event);
    bool editByKey(QKeyEvent* event);
    void typeHexDigit(int value);
    void typeCharacter(uchar ch);
    void deleteKey();
    void backspaceKey();
    void removeSelection();
    void checkVisibleLines();
    void clampToLength();
    void pasteBytes(const QByteArray& bytes);
    bool readSelection(QByteArray* bytes);
    bool copySelection();
    bool makeRoomToType();
    qint64 dataLength() const;

    QHexEditHighlighter* highlighter = nullptr;
    QHexEditComments* comments = nullptr;
    QKeyEvent* currentKeyEvent = nullptr;
    QHexEditData* data = nullptr;
    QHexEditDataReader* reader = nullptr;
    QHexEditDataWriter* writer = nullptr;
    QScrollArea* scrollArea;
    QScrollBar* vScrollBar;
    QTimer* blinkTimer = nullptr;
    QColor currentLineColor{255, 255, 160};
    QColor addressForeColor{Qt::darkBlue};
    QColor alternateLineColor{240, 240, 254};
    QColor addressBackColor{240, 240, 254};
    int editArea = 1;
    bool insertMode = false;
    qint64 selectionAnchor = 0;
    qint64 selectionHead = 0;
    qint64 cursorPos = 0;
    qint64 baseAddress = 0;
    qint64 lastVisibleLines = 0;
    qint64 lastFirstLine = 0;
    int wheelLines = 5;
    int cursorX = 0;
    qint64 cursorY = 0;
    int addressWidth = 8;
    int asciiStartX = 0;
    int hexStartX = 0;
    int lineEndX = 0;
    int nibble = 0;
    int charWidth = 0;
    int lineHeight = 1;
    bool readOnly = false;
    bool cursorVisible = false;
    std::unique_ptr<CellTexts> normalCells;
    std::unique_ptr<CellTexts> boldCells;
};

} // namespace korvane
