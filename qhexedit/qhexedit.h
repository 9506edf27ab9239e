#pragma once

#include <QColor>
#include <QFrame>

class QHBoxLayout;
class QScrollArea;
class QScrollBar;
class QWheelEvent;

class tst_QHexEdit;

namespace korvane {

class QHexEditData;
class QHexEditPrivate;

// The hex editor widget: a framed, scrollable view of one model.
class QHexEdit : public QFrame
{
    Q_OBJECT

public:
    explicit QHexEdit(QWidget* parent = nullptr);

    QHexEditData* data() const;
    int addressWidth() const;
    int visibleLines() const;
    qint64 indexOf(const QByteArray& bytes, qint64 start) const;
    qint64 baseAddress() const;
    void setBaseAddress(qint64 address);
    qint64 cursorPos() const;
    qint64 selectionStart() const;
    qint64 selectionEnd() const;
    qint64 selectionLength() const;
    void setFont(const QFont& font);
    qint64 visibleStartOffset() const;
    qint64 visibleEndOffset() const;
    bool isReadOnly() const;
    // Wide enough for a whole line, address to character column, beside the vertical scroll bar,
    // in the view's own font.
    QSize sizeHint() const override;

public slots:
    void undo();
    void redo();
    void cut();
    void copy();
    void copyHex();
    void paste();
    void pasteHex();
    void selectAll();
    void setReadOnly(bool b);
    void setCursorPos(qint64 pos);
    void setData(QHexEditData* hexeditdata);
    void selectPos(qint64 pos);
    void setSelection(qint64 start, qint64 end);
    void setSelectionLength(qint64 start, qint64 length);
    void highlightBackground(qint64 start, qint64 end, QColor color);
    void highlightForeground(qint64 start, qint64 end, QColor color);
    void clearHighlight(qint64 start, qint64 end);
    void clearHighlight();
    void commentRange(qint64 start, qint64 end, QString comment);
    void uncommentRange(qint64 start, qint64 end);
    void clearComments();
    void setVerticalScrollBarValue(int value);
    void scroll(QWheelEvent* event);

signals:
    void visibleLinesChanged();
    void positionChanged(qint64 offset);
    void selectionChanged(qint64 length);
    void verticalScrollBarValueChanged(int value);
    void bytesChanged(qint64 pos);

private:
    friend class ::tst_QHexEdit;

    QHexEditPrivate* hexEditPrivate;
    QScrollArea* scrollArea;
    QScrollBar* vScrollBar;
    QHBoxLayout* hLayout;
};

} // namespace korvane
