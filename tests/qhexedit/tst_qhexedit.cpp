#include "qhexedit/qhexedit.h"
#include "qhexedit/qhexeditcomments.h"
#include "qhexedit/qhexeditdata.h"
#include "qhexedit/qhexeditdatareader.h"
#include "qhexedit/qhexeditdatawriter.h"
#include "qhexedit/qhexedithighlighter.h"
#include "qhexedit/qhexeditprivate.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace korvane;

namespace {

using Model = std::unique_ptr<QHexEditData>;

QByteArray sequence(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char(i);
    return bytes;
}

bool similar(QRgb pixel, const QColor& color)
{
    return qAbs(qRed(pixel) - color.red()) <= 2 && qAbs(qGreen(pixel) - color.green()) <= 2 &&
           qAbs(qBlue(pixel) - color.blue()) <= 2;
}

int countPixels(const QImage& image, const QRect& rect, const std::function<bool(QRgb)>& match)
{
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            count += match(image.pixel(x, y)) ? 1 : 0;
    return count;
}

// Largest difference of one colour channel between two images of the same size.
int maxDifference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return 256;
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = qMax(worst, qMax(qAbs(qRed(p) - qRed(q)),
                                     qMax(qAbs(qGreen(p) - qGreen(q)), qAbs(qBlue(p) - qBlue(q)))));
        }
    return worst;
}

// Text drawn top-left aligned in a cell, the way the view draws it, at the widget's resolution.
QImage reference(const QWidget* widget, const QSize& size, const QColor& background, const QFont& font,
                 const QColor& color, const QString& text)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.setDotsPerMeterX(qRound(widget->logicalDpiX() / 0.0254));
    image.setDotsPerMeterY(qRound(widget->logicalDpiY() / 0.0254));
    image.fill(background);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(QRect(QPoint(0, 0), size), Qt::AlignLeft | Qt::AlignTop, text);
    return image;
}

} // namespace

class tst_QHexEdit : public QObject
{
    Q_OBJECT

    static QHexEditPrivate* priv(QHexEdit& view) { return view.hexEditPrivate; }
    static QScrollBar* scrollBar(QHexEdit& view) { return view.vScrollBar; }

    // A shown view whose private widget is exactly lines × lineHeight high.
    static void showWithLines(QHexEdit& view, int lines)
    {
        view.resize(900, 100);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QHexEditPrivate* d = priv(view);
        const int extra = view.height() - d->height();
        view.resize(900, lines * d->lineHeight + extra);
        QCoreApplication::processEvents();
        QCOMPARE(d->visibleLines(), lines);
    }

    static QImage grabView(QHexEdit& view)
    {
        return priv(view)->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

private slots:
    void initTestCase() { QApplication::setStyle(QStringLiteral("Fusion")); }

    // Column positions follow the font; the private view asks for the whole line's width.
    void geometryFromFontMetrics()
    {
        QHexEdit view;
        QFont font(QStringLiteral("Monospace"), 11);
        view.setFont(font);
        QHexEditPrivate* d = priv(view);
        const QFontMetrics metrics(d->font());
        const int cw = metrics.horizontalAdvance(QLatin1Char(' '));
        QVERIFY(cw > 0);
        QCOMPARE(d->charWidth, cw);
        QCOMPARE(d->lineHeight, metrics.height());
        QCOMPARE(d->hexStartX, 9 * cw);
        QCOMPARE(d->asciiStartX, 57 * cw);
        QCOMPARE(d->lineEndX, 73 * cw);
        QCOMPARE(view.addressWidth(), 8);
        QCOMPARE(d->minimumWidth(), 0);

        Model model(QHexEditData::fromMemory(sequence(100)));
        view.setData(model.get());
        QCOMPARE(d->minimumWidth(), 73 * cw);
        d->resize(d->width(), 7 * d->lineHeight + d->lineHeight / 2);
        QCOMPARE(view.visibleLines(), 7);
        view.setData(nullptr);
        QCOMPARE(d->minimumWidth(), 0);
        QVERIFY(scrollBar(view)->isHidden());
    }

    // Lines 0 to length / 16 are shown; the scroll bar appears once they don't all fit.
    void scrollBarAroundAScreenful_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<int>("maximum");
        // 10 visible lines.
        QTest::newRow("empty") << 0 << false << 0;
        QTest::newRow("nine full lines and the empty last one") << 144 << false << 0;
        QTest::newRow("ten lines exactly fit") << 159 << false << 0;
        QTest::newRow("eleventh, empty line does not fit") << 160 << true << 1;
        QTest::newRow("eleventh line partly filled") << 165 << true << 1;
        QTest::newRow("many lines") << 16 * 100 << true << 91;
    }
    void scrollBarAroundAScreenful()
    {
        QFETCH(int, length);
        QFETCH(bool, shown);
        QFETCH(int, maximum);
        QHexEdit view;
        showWithLines(view, 10);
        Model model(QHexEditData::fromMemory(sequence(length)));
        view.setData(model.get());
        QScrollBar* bar = scrollBar(view);
        QCOMPARE(bar->isVisible(), shown);
        QCOMPARE(bar->maximum(), maximum);
        if (shown) {
            QCOMPARE(bar->pageStep(), 10);
            QCOMPARE(bar->singleStep(), 1);
            // The cursor can reach the end, and the end then shows on the last visible row.
            view.setCursorPos(length);
            QCOMPARE(bar->value(), maximum);
            QCOMPARE(priv(view)->cursorY, qint64(9 * priv(view)->lineHeight));
        }
        QCOMPARE(view.visibleStartOffset(), qMin<qint64>(bar->value() * 16, length));
        QCOMPARE(view.visibleEndOffset(), qMin<qint64>(view.visibleStartOffset() + 159, length));
    }

    // The model grows past a screenful and shrinks again: the scroll bar follows, and a hidden one
    // never leaves the painting offset behind.
    void scrollBarFollowsLengthChanges()
    {
        QHexEdit view;
        showWithLines(view, 10);
        Model model(QHexEditData::fromMemory(sequence(100)));
        view.setData(model.get());
        QScrollBar* bar = scrollBar(view);
        QVERIFY(!bar->isVisible());
        QHexEditDataWriter writer(model.get());
        writer.append(QByteArray(1000, 'x'));
        QVERIFY(bar->isVisible());
        QCOMPARE(bar->maximum(), 1100 / 16 - 10 + 1);
        view.setVerticalScrollBarValue(30);
        QCOMPARE(bar->value(), 30);
        writer.remove(50, model->length() - 50);
        QVERIFY(!bar->isVisible());
        QCOMPARE(bar->value(), 0);
        QCOMPARE(view.visibleStartOffset(), qint64(0));
    }

    void cursorPrimitivesAndSignals()
    {
        Model model(QHexEditData::fromMemory(sequence(64)));
        QHexEdit view;
        view.setData(model.get());
        QHexEditPrivate* d = priv(view);
        QSignalSpy position(&view, &QHexEdit::positionChanged);
        QSignalSpy selection(&view, &QHexEdit::selectionChanged);

        view.setCursorPos(0); // already there
        QCOMPARE(position.count(), 0);
        QCOMPARE(selection.count(), 0);

        view.setCursorPos(20);
        QCOMPARE(position.count(), 1);
        QCOMPARE(position.takeFirst().at(0).toLongLong(), 20);
        QCOMPARE(selection.count(), 0);
        QCOMPARE(view.selectionStart(), qint64(20));
        QCOMPARE(view.selectionLength(), qint64(0));

        // Same offset, other digit: a position change.
        d->setCursorPos(20, 1);
        QCOMPARE(position.count(), 1);
        QCOMPARE(position.takeFirst().at(0).toLongLong(), 20);
        QCOMPARE(d->cursorX, d->hexStartX + 4 * 3 * d->charWidth + d->charWidth);

        // The head moves, the anchor and the cursor stay; only length changes are signalled.
        d->moveSelectionHead(25, 0);
        QCOMPARE(selection.count(), 1);
        QCOMPARE(selection.takeFirst().at(0).toLongLong(), 5);
        QCOMPARE(view.cursorPos(), qint64(20));
        QCOMPARE(position.count(), 0);
        d->moveSelectionHead(15, 1); // [15, 20): same length
        QCOMPARE(selection.count(), 0);
        QCOMPARE(view.selectionStart(), qint64(15));
        QCOMPARE(view.selectionEnd(), qint64(20));
        QCOMPARE(d->cursorX, d->hexStartX + 15 * 3 * d->charWidth + d->charWidth);

        // Placing the cursor collapses the selection.
        view.setCursorPos(40);
        QCOMPARE(selection.count(), 1);
        QCOMPARE(selection.takeFirst().at(0).toLongLong(), 0);
        QCOMPARE(position.count(), 1);

        // Clamping at both ends.
        view.setCursorPos(-7);
        QCOMPARE(view.cursorPos(), qint64(0));
        view.setCursorPos(1000);
        QCOMPARE(view.cursorPos(), qint64(64));
        d->moveSelectionHead(-3, 0);
        QCOMPARE(view.selectionStart(), qint64(0));
        QCOMPARE(view.selectionEnd(), qint64(64));
        d->moveSelectionHead(99, 0);
        QCOMPARE(view.selectionLength(), qint64(0));
    }

    void selectionSlots()
    {
        Model model(QHexEditData::fromMemory(sequence(64)));
        QHexEdit view;
        view.setData(model.get());
        QSignalSpy position(&view, &QHexEdit::positionChanged);

        view.selectPos(5);
        QCOMPARE(view.selectionStart(), qint64(5));
        QCOMPARE(view.selectionEnd(), qint64(6));
        QCOMPARE(view.cursorPos(), qint64(5));
        QVERIFY(!position.isEmpty());
        QCOMPARE(position.last().at(0).toLongLong(), 5);

        view.setSelectionLength(5, 0);
        QCOMPARE(view.selectionLength(), qint64(0));
        view.setSelectionLength(5, 3);
        QCOMPARE(view.selectionStart(), qint64(5));
        QCOMPARE(view.selectionEnd(), qint64(8));

        view.setSelection(10, -1);
        QCOMPARE(view.selectionStart(), qint64(10));
        QCOMPARE(view.selectionEnd(), qint64(64));
        view.selectAll();
        QCOMPARE(view.selectionStart(), qint64(0));
        QCOMPARE(view.selectionEnd(), qint64(64));
        view.setSelection(-20, 1000);
        QCOMPARE(view.selectionStart(), qint64(0));
        QCOMPARE(view.selectionEnd(), qint64(64));
        QCOMPARE(position.last().at(0).toLongLong(), 0);
    }

    // The cursor line inside the window leaves the scroll bar alone; outside, it is centred.
    void ensureVisibleScrollsOnlyWhenNeeded()
    {
        Model model(QHexEditData::fromMemory(QByteArray(16 * 1000, 'a')));
        QHexEdit view;
        showWithLines(view, 10);
        view.setData(model.get());
        QScrollBar* bar = scrollBar(view);
        QSignalSpy lines(&view, &QHexEdit::visibleLinesChanged);
        view.setVerticalScrollBarValue(100);
        QCOMPARE(lines.count(), 1);

        view.setCursorPos(100 * 16 + 3); // first visible line
        QCOMPARE(bar->value(), 100);
        // Scrolling by the bar keeps the caret on its byte.
        view.setVerticalScrollBarValue(98);
        QCOMPARE(priv(view)->cursorY, qint64(2 * priv(view)->lineHeight));
        view.setVerticalScrollBarValue(100);
        QCOMPARE(priv(view)->cursorY, qint64(0));
        view.setCursorPos(109 * 16); // last visible line
        QCOMPARE(bar->value(), 100);
        QCOMPARE(priv(view)->cursorY, qint64(9 * priv(view)->lineHeight));

        view.setCursorPos(99 * 16 + 15); // one line above
        QCOMPARE(bar->value(), 99 - 5);
        view.setCursorPos(94 * 16 + 10 * 16); // one line below
        QCOMPARE(bar->value(), 104 - 5);
        view.setCursorPos(2 * 16);
        QCOMPARE(bar->value(), 0);

        // Extending the selection does not scroll.
        priv(view)->moveSelectionHead(900 * 16, 0);
        QCOMPARE(bar->value(), 0);
    }

    // Changes made outside the keyboard leave the cursor alone unless the data got shorter than it.
    void dataChangesWithoutKeyPress()
    {
        Model model(QHexEditData::fromMemory(sequence(64)));
        QHexEdit view;
        view.setData(model.get());
        QHexEditDataWriter writer(model.get());
        view.setCursorPos(30);
        writer.insert(0, QByteArray("xyz"));
        QCOMPARE(view.cursorPos(), qint64(30));
        writer.replace(31, uchar(0x55));
        QCOMPARE(view.cursorPos(), qint64(30));

        view.setSelection(40, 60);
        QSignalSpy position(&view, &QHexEdit::positionChanged);
        QSignalSpy selection(&view, &QHexEdit::selectionChanged);
        writer.remove(20, model->length() - 20);
        QCOMPARE(view.cursorPos(), qint64(20));
        QCOMPARE(view.selectionLength(), qint64(0));
        QCOMPARE(position.count(), 1);
        QCOMPARE(selection.count(), 1);

        view.undo();
        QCOMPARE(model->length(), qint64(67));
        QCOMPARE(view.cursorPos(), qint64(20));
        view.redo();
        QCOMPARE(model->length(), qint64(20));
    }

    // The cursor moves that follow an edit made while a key press is being handled.
    void dataChangesDuringKeyPress()
    {
        Model model(QHexEditData::fromMemory(sequence(64)));
        QHexEdit view;
        view.setData(model.get());
        QHexEditPrivate* d = priv(view);
        QHexEditDataWriter writer(model.get());
        QKeyEvent digit(QEvent::KeyPress, Qt::Key_1, Qt::NoModifier, QStringLiteral("1"));
        d->currentKeyEvent = &digit;

        // Hexadecimal column: high digit, then low digit, then the next byte.
        d->setCursorPos(10, 0);
        writer.replace(10, uchar(0x1A));
        QCOMPARE(view.cursorPos(), qint64(10));
        QCOMPARE(d->nibble, 1);
        writer.replace(10, uchar(0x12));
        QCOMPARE(view.cursorPos(), qint64(11));
        QCOMPARE(d->nibble, 0);
        writer.insert(11, char(0x10));
        QCOMPARE(view.cursorPos(), qint64(11));
        QCOMPARE(d->nibble, 1);

        // Character column: after the written byte.
        d->editArea = 2;
        d->setCursorPos(20, 0);
        writer.replace(20, uchar('A'));
        QCOMPARE(view.cursorPos(), qint64(21));
        writer.remove(30, 1); // a removal does not move it
        QCOMPARE(view.cursorPos(), qint64(21));
        QKeyEvent undo(QEvent::KeyPress, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(undo.matches(QKeySequence::Undo));
        d->currentKeyEvent = &undo;
        view.undo();
        QCOMPARE(view.cursorPos(), qint64(30));

        // Address column: nothing moves.
        d->editArea = 0;
        d->currentKeyEvent = &digit;
        d->setCursorPos(5, 0);
        writer.replace(5, uchar(0));
        QCOMPARE(view.cursorPos(), qint64(5));

        // Backspace: to the removed byte.
        QKeyEvent backspace(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
        d->currentKeyEvent = &backspace;
        d->setCursorPos(40, 0);
        writer.remove(39, 1);
        QCOMPARE(view.cursorPos(), qint64(39));

        // Delete of a selection made backwards: collapsed where the bytes were.
        QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
        d->currentKeyEvent = &del;
        d->setCursorPos(50, 0);
        d->moveSelectionHead(45, 0);
        writer.remove(45, 5);
        QCOMPARE(view.selectionLength(), qint64(0));
        QCOMPARE(view.cursorPos(), qint64(45));
        d->currentKeyEvent = nullptr;
    }

    void setDataWithNewModelAndNull()
    {
        Model first(QHexEditData::fromMemory(sequence(64)));
        Model second(QHexEditData::fromMemory(QByteArray(32, 'b')));
        QHexEdit view;
        QCOMPARE(view.data(), nullptr);
        QCOMPARE(view.indexOf("a", 0), qint64(-1));
        view.setData(first.get());
        view.highlightBackground(0, 10, Qt::red);
        view.commentRange(3, 4, QStringLiteral("note"));
        view.setSelection(10, 20);
        QCOMPARE(view.indexOf(QByteArray("\x05\x06", 2), 0), qint64(5));

        QSignalSpy position(&view, &QHexEdit::positionChanged);
        QSignalSpy selection(&view, &QHexEdit::selectionChanged);
        view.setData(second.get());
        QCOMPARE(view.data(), second.get());
        QCOMPARE(view.cursorPos(), qint64(0));
        QCOMPARE(view.selectionLength(), qint64(0));
        QCOMPARE(position.last().at(0).toLongLong(), 0);
        QCOMPARE(selection.last().at(0).toLongLong(), 0);
        QHexEditPrivate* d = priv(view);
        QCOMPARE(d->highlighter->backgroundColor(5), QColor(Qt::transparent));
        QVERIFY(!d->comments->isCommented(3));
        QCOMPARE(d->highlighter->parent(), d);
        QCOMPARE(d->reader->parent(), second.get());

        // Edits of the old model no longer reach the view.
        QHexEditDataWriter(first.get()).insert(0, QByteArray(100, 'z'));
        QCOMPARE(view.cursorPos(), qint64(0));

        view.setData(nullptr);
        QCOMPARE(view.data(), nullptr);
        QCOMPARE(view.indexOf("b", 0), qint64(-1));
        QCOMPARE(position.last().at(0).toLongLong(), 0);
        view.setCursorPos(10);
        QCOMPARE(view.cursorPos(), qint64(0));
        view.highlightBackground(0, 5, Qt::red); // ignored without a model
        view.undo();
        view.paste();
    }

    // Deleting the shown model must not leave the view pointing at it.
    void deletingTheShownModel()
    {
        QHexEdit view;
        view.resize(600, 300);
        Model model(QHexEditData::fromMemory(sequence(64)));
        view.setData(model.get());
        model.reset();
        QCOMPARE(view.data(), nullptr);
        QImage image = grabView(view);
        QVERIFY(!image.isNull());
    }

    // Offsets stay 64-bit: a model of 1.75 GiB (sparse file) with 9 address digits.
    void largeModelFromFile()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("large.bin")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        const qint64 size = qint64(7) << 28;
        QVERIFY(file.resize(size));
        QVERIFY(file.seek(size - 2));
        file.write("\x12\x34", 2);
        file.close();

        Model model(QHexEditData::fromFile(file.fileName()));
        QCOMPARE(model->length(), size);
        QHexEdit view;
        showWithLines(view, 10);
        view.setData(model.get());
        QCOMPARE(view.addressWidth(), 9); // size / 16 = 117440512
        view.setCursorPos(size - 1);
        QCOMPARE(view.cursorPos(), size - 1);
        QCOMPARE(scrollBar(view)->value(), int(size / 16 - 10 + 1));
        QCOMPARE(view.visibleEndOffset(), size);
        QCOMPARE(priv(view)->reader->at(size - 1), uchar(0x34));
        QImage image = grabView(view);
        QVERIFY(!image.isNull());
    }

    // Line bands, the address column and its colours, checked on the pixels.
    void paintsBandsAndAddresses()
    {
        Model model(QHexEditData::fromMemory(sequence(40)));
        QHexEdit view;
        showWithLines(view, 6);
        view.setData(model.get());
        view.setBaseAddress(0x10000);
        view.setCursorPos(3);
        QHexEditPrivate* d = priv(view);
        const int lh = d->lineHeight;
        const int cw = d->charWidth;
        const QImage image = grabView(view);
        const QColor yellow(255, 255, 160), lilac(240, 240, 254);
        const QColor base = d->palette().color(QPalette::Base);

        // The gap after the second byte shows the line band.
        const int gapX = d->hexStartX + 2 * cw + cw / 2;
        QVERIFY(similar(image.pixel(gapX, lh / 2), yellow));
        QVERIFY(similar(image.pixel(gapX, lh + lh / 2), lilac));
        QVERIFY(similar(image.pixel(gapX, 2 * lh + lh / 2), base));
        QVERIFY(similar(image.pixel(gapX, 3 * lh + lh / 2), lilac)); // odd lines past the end too
        // Address column background, right of the digits.
        const int addressX = d->hexStartX - cw / 2 - 2;
        for (int line = 0; line < 4; ++line)
            QVERIFY(similar(image.pixel(addressX, line * lh + lh / 2), lilac));
        // Separators in the window text colour.
        const QColor text = d->palette().color(QPalette::WindowText);
        QVERIFY(similar(image.pixel(d->hexStartX - cw / 2, lh / 2), text));
        QVERIFY(similar(image.pixel(d->asciiStartX - cw / 2, 4 * lh), text));
        QVERIFY(similar(image.pixel(d->lineEndX + cw / 2, 5 * lh), text));

        // Red address on the cursor line, dark blue elsewhere; nothing on the line after the data.
        auto red = [](QRgb p) { return qRed(p) > 200 && qGreen(p) < 90 && qBlue(p) < 90; };
        auto blue = [](QRgb p) { return qBlue(p) > 90 && qRed(p) < 60 && qGreen(p) < 60; };
        auto addressCell = [&](int line) { return QRect(0, line * lh, d->hexStartX - cw / 2, lh); };
        QVERIFY(countPixels(image, addressCell(0), red) > 10);
        QCOMPARE(countPixels(image, addressCell(0), blue), 0);
        QVERIFY(countPixels(image, addressCell(1), blue) > 10);
        QCOMPARE(countPixels(image, addressCell(1), red), 0);
        QVERIFY(countPixels(image, addressCell(2), blue) > 10);
        auto ink = [&](QRgb p) { return !similar(p, lilac); };
        QCOMPARE(countPixels(image, addressCell(3), ink), 0);

        // Line 2 reads 00010020: identical to that text drawn in the same font and colour.
        const QRect cell = addressCell(2);
        const QImage shown = image.copy(cell);
        const QImage expected = reference(d, cell.size(), lilac, d->font(), Qt::darkBlue, "00010020")
                                    .convertToFormat(QImage::Format_RGB32);
        const QImage other = reference(d, cell.size(), lilac, d->font(), Qt::darkBlue, "00010010")
                                 .convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shown, expected);
        QVERIFY(shown != other);
    }

    // Dark gray 00 and FF, "." for bytes that don't print, and the cursor byte's mark.
    void paintsByteCells()
    {
        QByteArray bytes(48, 'A');
        bytes[32] = '\x00';
        bytes[33] = '\xFF';
        bytes[34] = '\x01';
        bytes[35] = 'B';
        Model model(QHexEditData::fromMemory(bytes));
        QHexEdit view;
        showWithLines(view, 5);
        view.setData(model.get());
        view.setCursorPos(1);
        QHexEditPrivate* d = priv(view);
        const int lh = d->lineHeight;
        const int cw = d->charWidth;
        const QImage image = grabView(view);
        const QColor base = d->palette().color(QPalette::Base);
        const QColor text = d->palette().color(QPalette::WindowText);
        const QFont font = d->font();
        const QSize hexSize(2 * cw, lh), chrSize(cw, lh);
        auto hexCell = [&](int pos) {
            return image.copy(QRect(QPoint(d->hexStartX + (pos % 16) * 3 * cw, (pos / 16) * lh), hexSize));
        };
        auto chrCell = [&](int pos) {
            return image.copy(QRect(QPoint(d->asciiStartX + (pos % 16) * cw, (pos / 16) * lh), chrSize));
        };
        auto expect = [&](const QSize& size, const QColor& color, const QString& s) {
            return reference(d, size, base, font, color, s).convertToFormat(QImage::Format_RGB32);
        };

        // Cells are drawn from cached layouts, whose antialiasing may differ slightly from a plain
        // drawText: same text and colour stay within a small margin, anything else is far off.
        auto matches = [](const QImage& shown, const QImage& expected) {
            const int difference = maxDifference(shown, expected);
            if (difference > 40)
                qWarning("cell differs from the reference by %d", difference);
            return difference <= 40;
        };
        QVERIFY(matches(hexCell(32), expect(hexSize, Qt::darkGray, "00")));
        QVERIFY(matches(hexCell(33), expect(hexSize, Qt::darkGray, "FF")));
        QVERIFY(matches(hexCell(34), expect(hexSize, text, "01")));
        QVERIFY(maxDifference(hexCell(34), expect(hexSize, Qt::darkGray, "01")) > 100);
        QVERIFY(maxDifference(hexCell(32), expect(hexSize, text, "00")) > 100);
        QVERIFY(maxDifference(hexCell(32), expect(hexSize, Qt::darkGray, "08")) > 100);
        QVERIFY(matches(chrCell(32), expect(chrSize, Qt::darkGray, ".")));
        QVERIFY(matches(chrCell(34), expect(chrSize, Qt::darkGray, ".")));
        QVERIFY(matches(chrCell(35), expect(chrSize, text, "B")));
        QVERIFY(maxDifference(chrCell(35), expect(chrSize, Qt::darkGray, "B")) > 100);
        QVERIFY(maxDifference(chrCell(34), expect(chrSize, Qt::darkGray, ",")) > 100);

        // A new font is picked up by the cells too.
        QFont larger = font;
        larger.setPointSize(font.pointSize() + 6);
        view.setFont(larger);
        const QImage big = grabView(view);
        const QSize bigHex(2 * d->charWidth, d->lineHeight);
        QVERIFY(d->charWidth > cw);
        const QImage bigCell = big.copy(QRect(QPoint(d->hexStartX, 2 * d->lineHeight), bigHex));
        QVERIFY(matches(
            bigCell,
            reference(d, bigHex, base, d->font(), Qt::darkGray, "00").convertToFormat(QImage::Format_RGB32)));
        view.setFont(font);

        // Cursor on byte 1 with the hexadecimal column active: its character cell is light gray.
        const QPoint chrGray(d->asciiStartX + cw + cw - 1, lh - 1);
        QVERIFY(similar(image.pixel(chrGray), Qt::lightGray));
        QVERIFY(similar(image.pixel(chrGray - QPoint(cw, 0)), QColor(255, 255, 160)));
    }

    void paintsSelectionHighlightAndComments()
    {
        Model model(QHexEditData::fromMemory(QByteArray(64, 'A')));
        QHexEdit view;
        showWithLines(view, 5);
        view.setData(model.get());
        view.setSelection(2, 4);
        view.highlightBackground(20, 22, QColor(0, 200, 0));
        view.highlightForeground(21, 21, QColor(0, 0, 255));
        view.commentRange(40, 41, QStringLiteral("bold"));
        QHexEditPrivate* d = priv(view);
        const int lh = d->lineHeight;
        const int cw = d->charWidth;
        const QImage image = grabView(view);
        const QColor highlight = d->palette().color(QPalette::Highlight);
        auto gap = [&](int pos) {
            return QPoint(d->hexStartX + (pos % 16) * 3 * cw + 2 * cw + 1, (pos / 16) * lh + 1);
        };

        QVERIFY(similar(image.pixel(gap(2)), highlight));
        QVERIFY(similar(image.pixel(gap(3)), highlight));
        QVERIFY(similar(image.pixel(gap(4)), highlight)); // the end is inclusive
        QVERIFY(!similar(image.pixel(gap(5)), highlight));
        QVERIFY(similar(image.pixel(d->asciiStartX + 3 * cw + 1, 1), highlight));
        QVERIFY(similar(image.pixel(gap(20)), QColor(0, 200, 0)));
        QVERIFY(similar(image.pixel(gap(22)), QColor(0, 200, 0)));
        QVERIFY(!similar(image.pixel(gap(23)), QColor(0, 200, 0)));

        auto blue = [](QRgb p) { return qBlue(p) > 150 && qRed(p) < 80 && qGreen(p) < 150; };
        auto hexText = [&](int pos) {
            return QRect(d->hexStartX + (pos % 16) * 3 * cw, (pos / 16) * lh, 2 * cw, lh);
        };
        QVERIFY(countPixels(image, hexText(21), blue) > 5);
        QCOMPARE(countPixels(image, hexText(22), blue), 0);

        // Commented bytes are bold: more ink than the same byte in the normal weight.
        auto dark = [](QRgb p) { return qGray(p) < 128; };
        QVERIFY(countPixels(image, hexText(40), dark) > countPixels(image, hexText(42), dark));
    }

    // An empty model shows line 0 with its address; no model shows only the separators.
    void paintsEmptyAndMissingModels()
    {
        Model model(QHexEditData::fromMemory(QByteArray()));
        QHexEdit view;
        showWithLines(view, 4);
        QHexEditPrivate* d = priv(view);
        const QColor base = d->palette().color(QPalette::Base);
        const QColor text = d->palette().color(QPalette::WindowText);

        QImage image = grabView(view);
        auto notPlain = [&](QRgb p) { return !similar(p, base) && !similar(p, text); };
        QCOMPARE(countPixels(image, image.rect(), notPlain), 0);
        QVERIFY(countPixels(image, QRect(d->hexStartX - d->charWidth / 2, 0, 1, image.height()),
                            [&](QRgb p) { return similar(p, text); }) == image.height());

        view.setData(model.get());
        image = grabView(view);
        const int lh = d->lineHeight;
        auto red = [](QRgb p) { return qRed(p) > 200 && qGreen(p) < 90 && qBlue(p) < 90; };
        QVERIFY(countPixels(image, QRect(0, 0, d->hexStartX, lh), red) > 10);
        QCOMPARE(countPixels(image, QRect(0, lh, d->hexStartX, lh), red), 0);
    }

    // A length that is a multiple of 16 ends with an empty line where only the cursor can stand.
    void paintsEmptyLastLine()
    {
        Model model(QHexEditData::fromMemory(sequence(32)));
        QHexEdit view;
        showWithLines(view, 5);
        view.setData(model.get());
        view.setCursorPos(32);
        QHexEditPrivate* d = priv(view);
        const int lh = d->lineHeight;
        const int cw = d->charWidth;
        const QImage image = grabView(view);
        const QColor lilac(240, 240, 254);
        auto ink = [&](QRgb p) { return !similar(p, lilac); };
        auto addressCell = [&](int line) { return QRect(0, line * lh, d->hexStartX - cw / 2, lh); };
        QVERIFY(countPixels(image, addressCell(1), ink) > 10);
        QCOMPARE(countPixels(image, addressCell(2), ink), 0);
        QVERIFY(similar(image.pixel(d->hexStartX + 1, 2 * lh + 1), QColor(255, 255, 160)));
        QCOMPARE(d->cursorX, d->hexStartX);
        QCOMPARE(d->cursorY, qint64(2 * lh));
    }

    // The caret: an underline in overwrite mode, a bar in insert mode, only while focused.
    void paintsCursor()
    {
        Model model(QHexEditData::fromMemory(QByteArray(64, 'A')));
        QHexEdit view;
        showWithLines(view, 5);
        view.setData(model.get());
        QHexEditPrivate* d = priv(view);
        QApplication::setActiveWindow(&view);
        d->setFocus();
        QTRY_VERIFY(d->hasFocus());
        view.setCursorPos(18);
        d->blinkTimer->stop();
        QVERIFY(d->cursorVisible);
        const QColor text = d->palette().color(QPalette::WindowText);
        const int lh = d->lineHeight;
        const int x = d->hexStartX + 2 * 3 * d->charWidth;
        QCOMPARE(d->cursorX, x);
        QCOMPARE(d->cursorY, qint64(lh));

        QImage image = grabView(view);
        QVERIFY(similar(image.pixel(x + 1, 2 * lh - 3), text));
        QVERIFY(similar(image.pixel(x + 1, 2 * lh - 2), text));
        QVERIFY(!similar(image.pixel(x + 1, 2 * lh - 4), text));

        d->insertMode = true;
        image = grabView(view);
        QVERIFY(similar(image.pixel(x, lh + 1), text));
        QVERIFY(similar(image.pixel(x + 1, lh + 1), text));

        d->blinkCursor();
        QVERIFY(!d->cursorVisible);
        image = grabView(view);
        QVERIFY(!similar(image.pixel(x, lh + 1), text));
    }

    // A picture of the view for the documentation, when asked for.
    void screenshot()
    {
        const QString path = qEnvironmentVariable("HEXVIEW_SCREENSHOT");
        if (path.isEmpty())
            QSKIP("set HEXVIEW_SCREENSHOT to a file name to save a picture of the view");
        QByteArray bytes;
        const QByteArray text("Korvane SPI flash image\0\0\0\0", 28);
        for (int i = 0; i < 400; ++i)
            bytes += char(i < text.size() ? text[i] : (i * 37 + i / 16) & 0xFF);
        bytes.replace(64, 16, QByteArray(16, '\xFF'));
        Model model(QHexEditData::fromMemory(bytes));
        QHexEdit view;
        view.resize(790, 420);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.setData(model.get());
        view.setBaseAddress(0x10000);
        view.setSelection(0x52, 0x8C);
        QCoreApplication::processEvents(); // lays out the scroll bar that the model needs
        QVERIFY(scrollBar(view)->isVisible());
        QVERIFY(view.grab().save(path));
    }

    // Ranges replace what they cover; removal cuts and splits.
    void rangeLists()
    {
        Model model(QHexEditData::fromMemory(QByteArray(50, 'x')));
        QHexEditHighlighter h(model.get(), Qt::transparent, Qt::black);
        h.highlightBackground(10, 20, Qt::red);
        h.highlightBackground(15, 16, Qt::blue);
        QCOMPARE(h.backgroundRanges().ranges().size(), 3);
        QCOMPARE(h.backgroundColor(14), QColor(Qt::red));
        QCOMPARE(h.backgroundColor(15), QColor(Qt::blue));
        QCOMPARE(h.backgroundColor(17), QColor(Qt::red));
        QCOMPARE(h.backgroundColor(21), QColor(Qt::transparent));
        h.highlightForeground(5, 8, Qt::green);
        h.highlightForeground(0, 100, Qt::yellow);
        QCOMPARE(h.foregroundRanges().ranges().size(), 1);
        QCOMPARE(h.foregroundRanges().ranges().first().end, qint64(49));
        QColor back, fore;
        h.colors(16, back, fore);
        QCOMPARE(back, QColor(Qt::blue));
        QCOMPARE(fore, QColor(Qt::yellow));
        h.clearHighlight(12, 40);
        QCOMPARE(h.backgroundColor(11), QColor(Qt::red));
        QCOMPARE(h.backgroundColor(15), QColor(Qt::transparent));
        QCOMPARE(h.foregroundColor(12), QColor(Qt::black));
        QCOMPARE(h.foregroundColor(41), QColor(Qt::yellow));

        QHexEditComments c;
        c.commentRange(0, 9, QStringLiteral("header"));
        c.commentRange(20, 29, QStringLiteral("table"));
        c.uncommentRange(3, 4);
        QCOMPARE(c.ranges().ranges().size(), 3);
        QCOMPARE(c.comment(2), QStringLiteral("header"));
        QVERIFY(!c.isCommented(3));
        QVERIFY(!c.isCommented(4));
        QCOMPARE(c.comment(5), QStringLiteral("header"));
        c.uncommentRange(12, 18); // touches nothing
        QCOMPARE(c.ranges().ranges().size(), 3);
        c.commentRange(8, 22, QStringLiteral("span")); // cuts both neighbours
        QCOMPARE(c.comment(7), QStringLiteral("header"));
        QCOMPARE(c.comment(8), QStringLiteral("span"));
        QCOMPARE(c.comment(23), QStringLiteral("table"));
        QCOMPARE(c.ranges().ranges().size(), 4);
        c.commentRange(9, 5, QStringLiteral("reversed")); // empty range: nothing stored
        QCOMPARE(c.ranges().ranges().size(), 4);
        c.clearComments();
        QVERIFY(!c.isCommented(0));
    }

    void clipboard()
    {
        Model model(QHexEditData::fromMemory(QByteArray("\x41\x00\x42\xC3\x01\xAB", 6)));
        QHexEdit view;
        view.setData(model.get());
        QClipboard* clip = QApplication::clipboard();

        view.setSelection(0, 3);
        view.copy();
        QCOMPARE(clip->text(), QString::fromLatin1("A\0B\xC3", 4));
        view.setSelection(4, 5);
        view.copyHex();
        QCOMPARE(clip->text(), QStringLiteral("01AB"));

        // Cut keeps every byte on the clipboard, so pasting restores them.
        view.setSelection(0, 3);
        view.cut();
        QCOMPARE(model->length(), qint64(2));
        QCOMPARE(view.cursorPos(), qint64(0));
        QCOMPARE(clip->text(), QString::fromLatin1("A\0B\xC3", 4));
        QHexEditPrivate* d = priv(view);
        d->insertMode = true;
        view.paste();
        QCOMPARE(d->reader->read(0, 6), QByteArray("\x41\x00\x42\xC3\x01\xAB", 6));
        QCOMPARE(view.cursorPos(), qint64(4));

        clip->setText(QStringLiteral("01 ab"));
        d->insertMode = false;
        view.setCursorPos(5);
        view.pasteHex();
        QCOMPARE(d->reader->read(0, 10), QByteArray("\x41\x00\x42\xC3\x01\x01\xAB", 7));
        QCOMPARE(view.cursorPos(), qint64(7));

        view.setSelection(1, 2);
        clip->setText(QStringLiteral("Z"));
        view.paste();
        QCOMPARE(d->reader->read(0, 10), QByteArray("\x41Z\xC3\x01\x01\xAB", 6));
        QCOMPARE(view.cursorPos(), qint64(2));
    }
};

QTEST_MAIN(tst_QHexEdit)
#include "tst_qhexedit.moc"
