#include "qhexedit/qhexedit.h"
#include "qhexedit/qhexeditcomments.h"
#include "qhexedit/qhexeditdata.h"
#include "qhexedit/qhexeditdatareader.h"
#include "qhexedit/qhexedithighlighter.h"
#include "qhexedit/qhexeditprivate.h"
#include "qhexedit/qhexeditrangelist.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QStringList>
#include <QTest>
#include <QToolTip>
#include <QVariant>

#include <limits>
#include <memory>
#include <vector>

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

// The first key combination that the platform binds to a standard key, e.g. Ctrl+Home.
int binding(QKeySequence::StandardKey key)
{
    const QList<QKeySequence> bindings = QKeySequence::keyBindings(key);
    return bindings.isEmpty() ? 0 : bindings.first()[0];
}

// Counts key presses that reach a widget, i.e. that a child let through.
class KeyCatcher : public QObject
{
public:
    int passed = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        // QTest presses modifier keys as keys of their own; only the real ones count.
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_Shift && key != Qt::Key_Control && key != Qt::Key_Alt && key != Qt::Key_Meta)
            ++passed;
        return false;
    }
};

// "10-14 #ff0000, 15-16 #0000ff": a range list as text, for comparisons that say what differs.
template <typename T> QString describe(const QHexEditRangeList<T>& list)
{
    QStringList parts;
    for (const auto& r : list.ranges()) {
        const QString value = QVariant(r.value).toString();
        parts << QStringLiteral("%1-%2 %3").arg(r.start).arg(r.end).arg(value);
    }
    return parts.join(QStringLiteral(", "));
}

} // namespace

class tst_QHexEditInput : public QObject
{
    Q_OBJECT

    // A shown, focused view of the given bytes, `lines` lines high.
    struct Shown
    {
        Model model;
        QHexEdit view;
        QHexEditPrivate* d = nullptr;
        QScrollBar* bar = nullptr;
        KeyCatcher passedOn;

        QByteArray bytes() const { return d->reader->read(0, model->length()); }
        int lh() const { return d->lineHeight; }
        int cw() const { return d->charWidth; }
        // A point inside a byte's cells on the screen, assuming its line is shown.
        QPoint hexPoint(qint64 pos, int digit = 0) const
        {
            return QPoint(d->hexStartX + int(pos % 16) * 3 * cw() + digit * cw() + 1, row(pos) * lh() + 2);
        }
        QPoint charPoint(qint64 pos) const
        {
            return QPoint(d->asciiStartX + int(pos % 16) * cw() + 1, row(pos) * lh() + 2);
        }
        int row(qint64 pos) const { return int(pos / 16 - bar->value()); }
    };

    static bool open(Shown& f, const QByteArray& bytes, int lines = 10)
    {
        f.model.reset(QHexEditData::fromMemory(bytes));
        f.d = f.view.findChild<QHexEditPrivate*>();
        f.bar = f.view.findChild<QScrollBar*>(QString(), Qt::FindDirectChildrenOnly);
        if (!f.d || !f.bar)
            return false;
        f.view.resize(900, 100);
        f.view.show();
        if (!QTest::qWaitForWindowExposed(&f.view))
            return false;
        const int extra = f.view.height() - f.d->height();
        f.view.resize(900, lines * f.d->lineHeight + extra);
        QCoreApplication::processEvents();
        f.view.setData(f.model.get());
        QApplication::setActiveWindow(&f.view);
        f.d->setFocus();
        // What the view does not take goes on to the scroll area's viewport.
        f.d->parentWidget()->installEventFilter(&f.passedOn);
        return f.d->visibleLines() == lines && QTest::qWaitFor([&] { return f.d->hasFocus(); });
    }

    static void press(QWidget* widget, int combined)
    {
        QTest::keyClick(widget, Qt::Key(combined & ~Qt::KeyboardModifierMask),
                        Qt::KeyboardModifiers(combined & Qt::KeyboardModifierMask));
    }

    static void press(QWidget* widget, QKeySequence::StandardKey key) { press(widget, binding(key)); }

    static void sendText(QWidget* widget, const QString& text)
    {
        QKeyEvent event(QEvent::KeyPress, 0, Qt::NoModifier, text);
        QApplication::sendEvent(widget, &event);
    }

    static void moveMouse(QWidget* widget, const QPoint& pos, Qt::MouseButtons buttons)
    {
        QMouseEvent event(QEvent::MouseMove, pos, widget->mapToGlobal(pos), Qt::NoButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    }

    static QWheelEvent wheel(QWidget* widget, const QPoint& angle)
    {
        const QPoint pos(10, 10);
        return QWheelEvent(QPointF(pos), QPointF(widget->mapToGlobal(pos)), QPoint(), angle, Qt::NoButton,
                           Qt::NoModifier, Qt::NoScrollPhase, false);
    }

private slots:
    void initTestCase()
    {
        QApplication::setStyle(QStringLiteral("Fusion"));
        const QKeySequence::StandardKey keys[] = {QKeySequence::MoveToNextChar,
                                                  QKeySequence::MoveToPreviousChar,
                                                  QKeySequence::MoveToNextLine,
                                                  QKeySequence::MoveToPreviousLine,
                                                  QKeySequence::MoveToStartOfLine,
                                                  QKeySequence::MoveToEndOfLine,
                                                  QKeySequence::MoveToNextPage,
                                                  QKeySequence::MoveToPreviousPage,
                                                  QKeySequence::MoveToStartOfDocument,
                                                  QKeySequence::MoveToEndOfDocument,
                                                  QKeySequence::SelectNextChar,
                                                  QKeySequence::SelectPreviousChar,
                                                  QKeySequence::SelectNextLine,
                                                  QKeySequence::SelectPreviousLine,
                                                  QKeySequence::SelectStartOfDocument,
                                                  QKeySequence::SelectEndOfDocument,
                                                  QKeySequence::SelectAll,
                                                  QKeySequence::Undo,
                                                  QKeySequence::Redo,
                                                  QKeySequence::Cut,
                                                  QKeySequence::Copy,
                                                  QKeySequence::Paste};
        for (QKeySequence::StandardKey key : keys)
            QVERIFY2(binding(key) != 0, "the platform binds every key the view handles");
    }

    void typingHexDigits()
    {
        Shown f;
        QVERIFY(open(f, QByteArray(8, '\0')));
        QHexEditPrivate* d = f.d;
        f.view.setCursorPos(3);

        // Overwrite: "1" writes the high digit, "2" the low one and moves on.
        QTest::keyClick(d, '1');
        QCOMPARE(f.bytes(), QByteArray("\0\0\0\x10\0\0\0\0", 8));
        QCOMPARE(d->cursorPos, qint64(3));
        QCOMPARE(d->nibble, 1);
        QTest::keyClick(d, '2');
        QCOMPARE(f.bytes(), QByteArray("\0\0\0\x12\0\0\0\0", 8));
        QCOMPARE(d->cursorPos, qint64(4));
        QCOMPARE(d->nibble, 0);
        QVERIFY(d->currentKeyEvent == nullptr);

        // Upper case is not a digit here: ignored and passed on.
        QTest::keyClick(d, 'A');
        QCOMPARE(f.bytes(), QByteArray("\0\0\0\x12\0\0\0\0", 8));
        QCOMPARE(f.passedOn.passed, 1);
        QTest::keyClick(d, 'a');
        QCOMPARE(f.bytes(), QByteArray("\0\0\0\x12\xA0\0\0\0", 8));
        // Control-modified digits are not typing.
        QTest::keyClick(d, '7', Qt::ControlModifier);
        QCOMPARE(f.bytes(), QByteArray("\0\0\0\x12\xA0\0\0\0", 8));

        // Insert mode on the low digit completes the byte; on the high digit it inserts a new one.
        QTest::keyClick(d, Qt::Key_Insert);
        QVERIFY(d->insertMode);
        QTest::keyClick(d, '5');
        QCOMPARE(f.bytes(), QByteArray("\0\0\0\x12\xA5\0\0\0", 8));
        QTest::keyClick(d, '1');
        QCOMPARE(f.bytes(), QByteArray("\0\0\0\x12\xA5\x10\0\0\0", 9));
        QCOMPARE(d->cursorPos, qint64(5));
        QCOMPARE(d->nibble, 1);
        QTest::keyClick(d, '2');
        QCOMPARE(f.bytes(), QByteArray("\0\0\0\x12\xA5\x12\0\0\0", 9));
        QCOMPARE(d->cursorPos, qint64(6));
        QCOMPARE(d->nibble, 0);

        // At the end: insert mode appends, overwrite mode does nothing.
        f.view.setCursorPos(9);
        QTest::keyClick(d, 'f');
        QCOMPARE(f.model->length(), qint64(10));
        QCOMPARE(f.bytes().at(9), '\xF0');
        QTest::keyClick(d, Qt::Key_Insert);
        QVERIFY(!d->insertMode);
        f.view.setCursorPos(10);
        QTest::keyClick(d, '3');
        QCOMPARE(f.model->length(), qint64(10));
        press(d, QKeySequence::MoveToNextChar); // low digit of the end: still nothing to overwrite
        QTest::keyClick(d, '3');
        QCOMPARE(f.model->length(), qint64(10));

        // A selection is replaced by the typed byte, whichever digit the selection ended on.
        QTest::keyClick(d, Qt::Key_Insert);
        f.view.setSelection(1, 3);
        QTest::keyClick(d, 'c');
        QCOMPARE(f.bytes(), QByteArray("\0\xC0\xA5\x12\0\0\0\xF0", 8));
        QCOMPARE(d->cursorPos, qint64(1));
        QCOMPARE(d->nibble, 1);
        QCOMPARE(f.view.selectionLength(), qint64(0));
        d->setCursorPos(2, 0);
        d->moveSelectionHead(4, 1);
        QTest::keyClick(d, '9');
        QCOMPARE(f.bytes(), QByteArray("\0\xC0\x90\0\0\0\xF0", 7));
    }

    void typingCharacters()
    {
        Shown f;
        QVERIFY(open(f, QByteArray(8, '.')));
        QHexEditPrivate* d = f.d;
        QTest::mouseClick(d, Qt::LeftButton, Qt::NoModifier, f.charPoint(2));
        QCOMPARE(d->editArea, 2);
        QTest::keyClicks(d, "Hi");
        QCOMPARE(f.bytes(), QByteArray("..Hi...."));
        QCOMPARE(d->cursorPos, qint64(4));

        // Insert mode: consecutive characters are one undo step, and Undo puts the cursor back.
        QTest::keyClick(d, Qt::Key_Insert);
        const int steps = f.model->undoStack()->count();
        QTest::keyClicks(d, "A b");
        QCOMPARE(f.bytes(), QByteArray("..HiA b...."));
        QCOMPARE(d->cursorPos, qint64(7));
        QCOMPARE(f.model->undoStack()->count(), steps + 1);
        press(d, QKeySequence::Undo);
        QCOMPARE(f.bytes(), QByteArray("..Hi...."));
        QCOMPARE(d->cursorPos, qint64(4));
        press(d, QKeySequence::Redo);
        QCOMPARE(f.bytes(), QByteArray("..HiA b...."));

        // Only printable ASCII is typed.
        f.passedOn.passed = 0;
        sendText(d, QString(QChar(0xE9)));
        sendText(d, QString(QChar(0x7F)));
        sendText(d, QString(QChar(0x4E2D)));
        QCOMPARE(f.bytes(), QByteArray("..HiA b...."));
        QCOMPARE(f.passedOn.passed, 3);

        // Overwrite at the end does nothing; a selection is replaced.
        QTest::keyClick(d, Qt::Key_Insert);
        f.view.setCursorPos(11);
        QTest::keyClick(d, 'z');
        QCOMPARE(f.model->length(), qint64(11));
        f.view.setSelection(0, 3);
        QTest::keyClick(d, 'Q');
        QCOMPARE(f.bytes(), QByteArray("Q b...."));
        QCOMPARE(d->cursorPos, qint64(1));
    }

    // Alt and Meta make menu keys and shortcuts (Alt+F opens 文件), never bytes; AltGr is typing.
    void keysWithAltOrMetaAreNotTyping_data()
    {
        QTest::addColumn<int>("area");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("typed"); // the byte at the cursor afterwards; -1: nothing typed
        QTest::newRow("Alt+F, characters") << 2 << int(Qt::Key_F) << int(Qt::AltModifier) << "f" << -1;
        QTest::newRow("Meta+F, characters") << 2 << int(Qt::Key_F) << int(Qt::MetaModifier) << "f" << -1;
        QTest::newRow("Alt+Shift+F, characters")
            << 2 << int(Qt::Key_F) << int(Qt::AltModifier | Qt::ShiftModifier) << "F" << -1;
        QTest::newRow("Alt+A, digits") << 1 << int(Qt::Key_A) << int(Qt::AltModifier) << "a" << -1;
        QTest::newRow("Meta+7, digits") << 1 << int(Qt::Key_7) << int(Qt::MetaModifier) << "7" << -1;
        QTest::newRow("Alt+Delete, digits") << 1 << int(Qt::Key_Delete) << int(Qt::AltModifier) << "" << -1;
        QTest::newRow("AltGr @, characters")
            << 2 << int(Qt::Key_At) << int(Qt::GroupSwitchModifier) << "@" << int('@');
        QTest::newRow("Shift+F, characters")
            << 2 << int(Qt::Key_F) << int(Qt::ShiftModifier) << "F" << int('F');
        QTest::newRow("keypad 7, digits") << 1 << int(Qt::Key_7) << int(Qt::KeypadModifier) << "7" << 0x7E;
    }

    void keysWithAltOrMetaAreNotTyping()
    {
        QFETCH(int, area);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, text);
        QFETCH(int, typed);
        Shown f;
        QVERIFY(open(f, QByteArray(8, '.')));
        QHexEditPrivate* d = f.d;
        QTest::mouseClick(d, Qt::LeftButton, Qt::NoModifier, area == 1 ? f.hexPoint(2) : f.charPoint(2));
        QCOMPARE(d->editArea, area);
        f.passedOn.passed = 0;

        // A real key press, modifier keys pressed and released around it.
        QTest::sendKeyEvent(QTest::Click, d, Qt::Key(key), text, Qt::KeyboardModifiers(modifiers));
        QByteArray expected(8, '.');
        if (typed >= 0)
            expected[2] = char(typed);
        QCOMPARE(f.bytes(), expected);
        QCOMPARE(f.model->undoStack()->count(), typed >= 0 ? 1 : 0);
        // What is not typing goes on to the window, where the menu takes its key.
        QCOMPARE(f.passedOn.passed, typed >= 0 ? 0 : 1);
    }

    // Edits whose bytes the model cannot hold: the data, the undo history, the cursor and the
    // selection stay as they were; removals need no new bytes and still work.
    void refusedEditsLeaveTheViewAsItWas()
    {
        Shown f;
        QVERIFY(open(f, sequence(32)));
        QHexEditPrivate* d = f.d;
        QClipboard* clip = QApplication::clipboard();
        f.model->setMemoryLimit(0);
        auto unchanged = [&](qint64 cursor, qint64 selection) {
            return f.bytes() == sequence(32) && f.model->undoStack()->count() == 0 &&
                   d->cursorPos == cursor && f.view.selectionLength() == selection;
        };

        // Typing over a selection, insert mode and overwrite mode: the selection is not removed.
        QTest::keyClick(d, Qt::Key_Insert);
        f.view.setSelection(4, 8); // the end byte included
        QTest::keyClick(d, 'c');
        QVERIFY(unchanged(4, 5));
        QTest::keyClick(d, Qt::Key_Insert);
        QTest::keyClick(d, 'c');
        QVERIFY(unchanged(4, 5));
        QTest::mouseClick(d, Qt::LeftButton, Qt::ShiftModifier, f.charPoint(10));
        QTest::keyClick(d, 'Q');
        QVERIFY(unchanged(4, 6));
        // Typing without a selection, and pasting.
        f.view.setCursorPos(3);
        QTest::keyClick(d, 'Z');
        QVERIFY(unchanged(3, 0));
        clip->setText(QStringLiteral("xyz"));
        press(d, QKeySequence::Paste);
        QVERIFY(unchanged(3, 0));
        f.view.setSelection(1, 3);
        f.view.pasteHex();
        QVERIFY(unchanged(1, 3));
        QCOMPARE(f.passedOn.passed, 0);

        // Cut and Delete of a selection only remove.
        press(d, QKeySequence::Cut);
        QCOMPARE(f.bytes(), sequence(32).remove(1, 3));
        QCOMPARE(clip->text(), QString::fromLatin1("\x01\x02\x03", 3));

        // With room again, typing over a selection is its removal and the byte.
        f.model->setMemoryLimit(std::numeric_limits<qint64>::max());
        f.view.setSelection(0, 2);
        QTest::keyClick(d, 'Q');
        QCOMPARE(f.bytes(), QByteArray("Q") + sequence(32).mid(7));
        QCOMPARE(f.model->undoStack()->count(), 3);
    }

    void deleteAndBackspace()
    {
        QByteArray bytes(32, '\x11');
        bytes[0] = '\xAB';
        bytes[1] = '\xAB';
        bytes[2] = '\xAB';
        Shown f;
        QVERIFY(open(f, bytes));
        QHexEditPrivate* d = f.d;

        // Overwrite mode clears the digit under the cursor, or the whole byte in the other columns.
        d->setCursorPos(0, 1);
        QTest::keyClick(d, Qt::Key_Delete);
        QCOMPARE(uchar(f.bytes().at(0)), uchar(0xA0));
        QCOMPARE(d->cursorPos, qint64(0));
        QCOMPARE(d->nibble, 0);
        d->setCursorPos(1, 0);
        QTest::keyClick(d, Qt::Key_Delete);
        QCOMPARE(uchar(f.bytes().at(1)), uchar(0x0B));
        QTest::mouseClick(d, Qt::LeftButton, Qt::NoModifier, f.charPoint(2));
        QTest::keyClick(d, Qt::Key_Delete);
        QCOMPARE(uchar(f.bytes().at(2)), uchar(0x00));
        QTest::mouseClick(d, Qt::LeftButton, Qt::NoModifier, QPoint(3, f.lh() + 2)); // address of line 1
        QCOMPARE(d->editArea, 0);
        QCOMPARE(d->cursorPos, qint64(16));
        QTest::keyClick(d, Qt::Key_Delete);
        QCOMPARE(uchar(f.bytes().at(16)), uchar(0x00));
        QCOMPARE(f.model->length(), qint64(32));
        f.view.setCursorPos(32);
        QTest::keyClick(d, Qt::Key_Delete);
        QCOMPARE(f.model->length(), qint64(32));

        // Control+Delete is not Delete; Shift+Backspace is not Backspace.
        f.view.setCursorPos(5);
        QTest::keyClick(d, Qt::Key_Delete, Qt::ControlModifier);
        QTest::keyClick(d, Qt::Key_Backspace, Qt::ShiftModifier);
        QCOMPARE(f.model->length(), qint64(32));
        QCOMPARE(uchar(f.bytes().at(4)), uchar(0x11));

        // Backspace in overwrite mode zeroes the byte before the cursor and moves onto it.
        QTest::keyClick(d, Qt::Key_Backspace);
        QCOMPARE(uchar(f.bytes().at(4)), uchar(0x00));
        QCOMPARE(d->cursorPos, qint64(4));
        f.view.setCursorPos(0);
        QTest::keyClick(d, Qt::Key_Backspace);
        QCOMPARE(f.model->length(), qint64(32));
        QCOMPARE(d->cursorPos, qint64(0));

        // Insert mode removes bytes.
        QTest::keyClick(d, Qt::Key_Insert);
        f.view.setCursorPos(3);
        QTest::keyClick(d, Qt::Key_Delete);
        QCOMPARE(f.model->length(), qint64(31));
        QCOMPARE(uchar(f.bytes().at(3)), uchar(0x00)); // the former byte 4
        QCOMPARE(d->cursorPos, qint64(3));
        QTest::keyClick(d, Qt::Key_Backspace);
        QCOMPARE(f.model->length(), qint64(30));
        QCOMPARE(uchar(f.bytes().at(2)), uchar(0x00));
        QCOMPARE(d->cursorPos, qint64(2));

        // A selection goes whole, in either mode and either direction, and nothing else goes with it.
        QTest::keyClick(d, Qt::Key_Insert);
        f.view.setSelection(10, 13);
        QTest::keyClick(d, Qt::Key_Delete);
        QCOMPARE(f.model->length(), qint64(26));
        QCOMPARE(d->cursorPos, qint64(10));
        QCOMPARE(f.view.selectionLength(), qint64(0));
        d->setCursorPos(20, 0);
        d->moveSelectionHead(15, 0);
        QTest::keyClick(d, Qt::Key_Backspace);
        QCOMPARE(f.model->length(), qint64(21));
        QCOMPARE(d->cursorPos, qint64(15));
        QCOMPARE(f.view.selectionLength(), qint64(0));
        QByteArray rest(18, '\x11');
        rest[7] = '\0'; // the byte zeroed through the address column
        QCOMPARE(f.bytes(), QByteArray("\xA0\x0B\x00", 3) + rest);
    }

    // Every movement key in every column; the selection is dropped and nothing reaches the parent.
    void movementKeys_data()
    {
        QTest::addColumn<int>("area");
        QTest::addColumn<int>("key");
        QTest::addColumn<qint64>("pos");
        QTest::addColumn<int>("digit");
        QTest::addColumn<qint64>("wantPos");
        QTest::addColumn<int>("wantDigit");
        using K = QKeySequence;
        // 1000 bytes, 10 visible lines: a page is 9 lines.
        QTest::newRow("hex next char, high") << 1 << int(K::MoveToNextChar) << 20LL << 0 << 20LL << 1;
        QTest::newRow("hex next char, low") << 1 << int(K::MoveToNextChar) << 20LL << 1 << 21LL << 0;
        QTest::newRow("hex previous char, high") << 1 << int(K::MoveToPreviousChar) << 20LL << 0 << 19LL << 1;
        QTest::newRow("hex previous char, low") << 1 << int(K::MoveToPreviousChar) << 20LL << 1 << 20LL << 0;
        QTest::newRow("hex previous char at 0") << 1 << int(K::MoveToPreviousChar) << 0LL << 0 << 0LL << 1;
        QTest::newRow("hex next char at the end")
            << 1 << int(K::MoveToNextChar) << 1000LL << 0 << 1000LL << 1;
        QTest::newRow("hex next line keeps digit") << 1 << int(K::MoveToNextLine) << 20LL << 1 << 36LL << 1;
        QTest::newRow("hex previous line") << 1 << int(K::MoveToPreviousLine) << 20LL << 1 << 4LL << 1;
        QTest::newRow("hex previous line clamps") << 1 << int(K::MoveToPreviousLine) << 5LL << 0 << 0LL << 0;
        QTest::newRow("hex next line clamps") << 1 << int(K::MoveToNextLine) << 990LL << 0 << 1000LL << 0;
        QTest::newRow("hex start of line") << 1 << int(K::MoveToStartOfLine) << 37LL << 1 << 32LL << 0;
        QTest::newRow("hex end of line") << 1 << int(K::MoveToEndOfLine) << 37LL << 1 << 47LL << 0;
        QTest::newRow("hex end of last line") << 1 << int(K::MoveToEndOfLine) << 995LL << 0 << 1000LL << 0;
        QTest::newRow("hex next page") << 1 << int(K::MoveToNextPage) << 20LL << 1 << 164LL << 0;
        QTest::newRow("hex previous page") << 1 << int(K::MoveToPreviousPage) << 200LL << 0 << 56LL << 0;
        QTest::newRow("hex previous page clamps")
            << 1 << int(K::MoveToPreviousPage) << 100LL << 0 << 0LL << 0;
        QTest::newRow("hex start of document")
            << 1 << int(K::MoveToStartOfDocument) << 500LL << 1 << 0LL << 0;
        QTest::newRow("hex end of document") << 1 << int(K::MoveToEndOfDocument) << 20LL << 1 << 1000LL << 0;
        QTest::newRow("char next char") << 2 << int(K::MoveToNextChar) << 20LL << 0 << 21LL << 0;
        QTest::newRow("char previous char") << 2 << int(K::MoveToPreviousChar) << 20LL << 0 << 19LL << 0;
        QTest::newRow("char previous char at 0") << 2 << int(K::MoveToPreviousChar) << 0LL << 0 << 0LL << 0;
        QTest::newRow("char next line") << 2 << int(K::MoveToNextLine) << 20LL << 0 << 36LL << 0;
        QTest::newRow("char previous line") << 2 << int(K::MoveToPreviousLine) << 20LL << 0 << 4LL << 0;
        QTest::newRow("char start of line") << 2 << int(K::MoveToStartOfLine) << 37LL << 0 << 32LL << 0;
        QTest::newRow("char end of line") << 2 << int(K::MoveToEndOfLine) << 37LL << 0 << 47LL << 0;
        QTest::newRow("char next page") << 2 << int(K::MoveToNextPage) << 20LL << 0 << 164LL << 0;
        QTest::newRow("char previous page") << 2 << int(K::MoveToPreviousPage) << 200LL << 0 << 56LL << 0;
        QTest::newRow("char start of document")
            << 2 << int(K::MoveToStartOfDocument) << 500LL << 0 << 0LL << 0;
        QTest::newRow("char end of document") << 2 << int(K::MoveToEndOfDocument) << 20LL << 0 << 1000LL << 0;
        QTest::newRow("address next char consumed") << 0 << int(K::MoveToNextChar) << 20LL << 0 << 20LL << 0;
        QTest::newRow("address previous char consumed")
            << 0 << int(K::MoveToPreviousChar) << 20LL << 0 << 20LL << 0;
        QTest::newRow("address next line") << 0 << int(K::MoveToNextLine) << 20LL << 0 << 36LL << 0;
        QTest::newRow("address previous line") << 0 << int(K::MoveToPreviousLine) << 20LL << 0 << 4LL << 0;
        QTest::newRow("address start of line") << 0 << int(K::MoveToStartOfLine) << 37LL << 0 << 32LL << 0;
        QTest::newRow("address end of line") << 0 << int(K::MoveToEndOfLine) << 37LL << 0 << 47LL << 0;
        QTest::newRow("address next page") << 0 << int(K::MoveToNextPage) << 20LL << 0 << 164LL << 0;
        QTest::newRow("address previous page") << 0 << int(K::MoveToPreviousPage) << 200LL << 0 << 56LL << 0;
        QTest::newRow("address start of document")
            << 0 << int(K::MoveToStartOfDocument) << 500LL << 0 << 0LL << 0;
        QTest::newRow("address end of document")
            << 0 << int(K::MoveToEndOfDocument) << 20LL << 0 << 1000LL << 0;
    }
    void movementKeys()
    {
        QFETCH(int, area);
        QFETCH(int, key);
        QFETCH(qint64, pos);
        QFETCH(int, digit);
        QFETCH(qint64, wantPos);
        QFETCH(int, wantDigit);
        Shown f;
        QVERIFY(open(f, QByteArray(1000, 'x')));
        QHexEditPrivate* d = f.d;
        d->editArea = area;
        d->setCursorPos(pos, digit);
        press(d, QKeySequence::StandardKey(key));
        QCOMPARE(d->cursorPos, wantPos);
        QCOMPARE(d->nibble, wantDigit);
        QCOMPARE(f.passedOn.passed, 0);
        if (area == 0 && (key == QKeySequence::MoveToNextChar || key == QKeySequence::MoveToPreviousChar))
            return;

        // From a selection, moves start at its start and drop it.
        d->setCursorPos(pos + 30, 0);
        d->moveSelectionHead(pos, digit);
        press(d, QKeySequence::StandardKey(key));
        QCOMPARE(d->cursorPos, wantPos);
        QCOMPARE(f.view.selectionLength(), qint64(0));
        // The cursor is shown.
        const qint64 first = f.bar->value();
        QVERIFY(d->cursorPos / 16 >= first && d->cursorPos / 16 < first + 10);
    }

    void selectionKeys_data()
    {
        QTest::addColumn<int>("area");
        QTest::addColumn<int>("key");
        QTest::addColumn<qint64>("anchor");
        QTest::addColumn<qint64>("head");
        QTest::addColumn<int>("digit");
        QTest::addColumn<qint64>("wantStart");
        QTest::addColumn<qint64>("wantEnd");
        QTest::addColumn<qint64>("wantCursor");
        QTest::addColumn<int>("wantDigit");
        using K = QKeySequence;
        QTest::newRow("hex next char, high")
            << 1 << int(K::SelectNextChar) << 20LL << 20LL << 0 << 20LL << 20LL << 20LL << 1;
        QTest::newRow("hex next char, low")
            << 1 << int(K::SelectNextChar) << 20LL << 20LL << 1 << 20LL << 21LL << 20LL << 0;
        QTest::newRow("hex previous char, high")
            << 1 << int(K::SelectPreviousChar) << 20LL << 20LL << 0 << 19LL << 20LL << 20LL << 1;
        QTest::newRow("hex previous char, low")
            << 1 << int(K::SelectPreviousChar) << 20LL << 20LL << 1 << 20LL << 20LL << 20LL << 0;
        QTest::newRow("char next char")
            << 2 << int(K::SelectNextChar) << 20LL << 20LL << 0 << 20LL << 21LL << 20LL << 0;
        QTest::newRow("char previous char")
            << 2 << int(K::SelectPreviousChar) << 20LL << 20LL << 0 << 19LL << 20LL << 20LL << 0;
        QTest::newRow("address next char consumed")
            << 0 << int(K::SelectNextChar) << 20LL << 24LL << 0 << 20LL << 24LL << 20LL << 0;
        QTest::newRow("address previous char consumed")
            << 0 << int(K::SelectPreviousChar) << 20LL << 24LL << 0 << 20LL << 24LL << 20LL << 0;
        QTest::newRow("hex next line keeps digit")
            << 1 << int(K::SelectNextLine) << 20LL << 20LL << 1 << 20LL << 36LL << 20LL << 1;
        QTest::newRow("char previous line")
            << 2 << int(K::SelectPreviousLine) << 20LL << 20LL << 0 << 4LL << 20LL << 20LL << 0;
        QTest::newRow("address next line")
            << 0 << int(K::SelectNextLine) << 20LL << 20LL << 0 << 20LL << 36LL << 20LL << 0;
        QTest::newRow("address previous line")
            << 0 << int(K::SelectPreviousLine) << 20LL << 20LL << 0 << 4LL << 20LL << 20LL << 0;
        QTest::newRow("next line clamps")
            << 2 << int(K::SelectNextLine) << 995LL << 995LL << 0 << 995LL << 1000LL << 995LL << 0;
        QTest::newRow("start of document")
            << 1 << int(K::SelectStartOfDocument) << 30LL << 40LL << 1 << 0LL << 40LL << 40LL << 0;
        QTest::newRow("address start of document")
            << 0 << int(K::SelectStartOfDocument) << 30LL << 30LL << 0 << 0LL << 30LL << 30LL << 0;
        QTest::newRow("end of document")
            << 2 << int(K::SelectEndOfDocument) << 20LL << 20LL << 0 << 20LL << 1000LL << 20LL << 0;
        QTest::newRow("address end of document")
            << 0 << int(K::SelectEndOfDocument) << 20LL << 20LL << 0 << 20LL << 1000LL << 20LL << 0;
        QTest::newRow("all") << 1 << int(K::SelectAll) << 20LL << 30LL << 0 << 0LL << 1000LL << 0LL << 0;
        QTest::newRow("address all") << 0 << int(K::SelectAll) << 20LL << 20LL << 0 << 0LL << 1000LL << 0LL
                                     << 0;
        // A selection made backwards keeps growing backwards, and shrinks from its moving end.
        QTest::newRow("backwards char")
            << 2 << int(K::SelectPreviousChar) << 30LL << 25LL << 0 << 24LL << 30LL << 30LL << 0;
        QTest::newRow("backwards line")
            << 1 << int(K::SelectPreviousLine) << 100LL << 84LL << 0 << 68LL << 100LL << 100LL << 0;
        QTest::newRow("backwards shrinks")
            << 2 << int(K::SelectNextChar) << 30LL << 25LL << 0 << 26LL << 30LL << 30LL << 0;
    }
    void selectionKeys()
    {
        QFETCH(int, area);
        QFETCH(int, key);
        QFETCH(qint64, anchor);
        QFETCH(qint64, head);
        QFETCH(int, digit);
        QFETCH(qint64, wantStart);
        QFETCH(qint64, wantEnd);
        QFETCH(qint64, wantCursor);
        QFETCH(int, wantDigit);
        Shown f;
        QVERIFY(open(f, QByteArray(1000, 'x')));
        QHexEditPrivate* d = f.d;
        d->editArea = area;
        if (head == anchor) {
            d->setCursorPos(anchor, digit);
        } else {
            d->setCursorPos(anchor, 0);
            d->moveSelectionHead(head, digit);
        }
        press(d, QKeySequence::StandardKey(key));
        QCOMPARE(f.view.selectionStart(), wantStart);
        QCOMPARE(f.view.selectionEnd(), wantEnd);
        QCOMPARE(d->cursorPos, wantCursor);
        QCOMPARE(d->nibble, wantDigit);
        QCOMPARE(f.passedOn.passed, 0);
    }

    // Extending a selection by keys leaves the view where it is.
    void keyboardSelectionDoesNotScroll()
    {
        Shown f;
        QVERIFY(open(f, QByteArray(1000, 'x')));
        QHexEditPrivate* d = f.d;
        for (int i = 0; i < 15; ++i)
            press(d, QKeySequence::SelectNextLine);
        QCOMPARE(f.view.selectionEnd(), qint64(15 * 16));
        QCOMPARE(f.bar->value(), 0);
        press(d, QKeySequence::SelectEndOfDocument);
        QCOMPARE(f.bar->value(), 0);
        // A plain move does scroll.
        press(d, QKeySequence::MoveToEndOfDocument);
        QCOMPARE(f.bar->value(), f.bar->maximum());
    }

    void undoRedoAndClipboardKeys()
    {
        Shown f;
        QVERIFY(open(f, QByteArray("\x41\x00\x42\x43", 4)));
        QHexEditPrivate* d = f.d;
        QClipboard* clip = QApplication::clipboard();

        // Typed digits in insert mode: the high digit inserts, the low digit replaces, so each
        // digit is an undo step of its own.
        QTest::keyClick(d, Qt::Key_Insert);
        QVERIFY(d->cursorVisible);
        const int steps = f.model->undoStack()->count();
        QTest::keyClicks(d, "1234");
        QCOMPARE(f.bytes(), QByteArray("\x12\x34\x41\x00\x42\x43", 6));
        QCOMPARE(f.model->undoStack()->count(), steps + 4);
        press(d, QKeySequence::Undo);
        QCOMPARE(f.bytes(), QByteArray("\x12\x30\x41\x00\x42\x43", 6));
        for (int i = 0; i < 3; ++i)
            press(d, QKeySequence::Undo);
        QCOMPARE(f.bytes(), QByteArray("\x41\x00\x42\x43", 4));
        press(d, QKeySequence::Undo); // nothing left
        QCOMPARE(f.bytes(), QByteArray("\x41\x00\x42\x43", 4));
        for (int i = 0; i < 4; ++i)
            press(d, QKeySequence::Redo);
        QCOMPARE(f.bytes(), QByteArray("\x12\x34\x41\x00\x42\x43", 6));

        // Copy, cut and paste by keys, binary bytes included.
        f.view.setSelection(2, 4);
        press(d, QKeySequence::Copy);
        QCOMPARE(clip->text(), QString::fromLatin1("A\0B", 3));
        press(d, QKeySequence::Cut);
        QCOMPARE(f.bytes(), QByteArray("\x12\x34\x43", 3));
        QCOMPARE(d->cursorPos, qint64(2));
        press(d, QKeySequence::Paste);
        QCOMPARE(f.bytes(), QByteArray("\x12\x34\x41\x00\x42\x43", 6));
        QCOMPARE(d->cursorPos, qint64(5));
        QCOMPARE(f.passedOn.passed, 0);

        // Read-only blocks typing, Delete and Backspace, but not the clipboard or undo.
        f.view.setReadOnly(true);
        f.view.setCursorPos(1);
        QTest::keyClick(d, '7');
        QTest::keyClick(d, Qt::Key_Delete);
        QTest::keyClick(d, Qt::Key_Backspace);
        QCOMPARE(f.bytes(), QByteArray("\x12\x34\x41\x00\x42\x43", 6));
        QCOMPARE(f.passedOn.passed, 3);
        f.view.setSelection(0, 1);
        press(d, QKeySequence::Cut);
        QCOMPARE(f.bytes(), QByteArray("\x41\x00\x42\x43", 4));
        press(d, QKeySequence::Paste);
        QCOMPARE(f.bytes(), QByteArray("\x12\x34\x41\x00\x42\x43", 6));
        press(d, QKeySequence::Undo);
        QCOMPARE(f.bytes(), QByteArray("\x41\x00\x42\x43", 4));
    }

    // Cut and paste of every byte value gives the bytes back.
    void cutAndPasteAllByteValues()
    {
        Shown f;
        QVERIFY(open(f, sequence(256)));
        QHexEditPrivate* d = f.d;
        press(d, QKeySequence::SelectAll);
        QCOMPARE(f.view.selectionLength(), qint64(256));
        press(d, QKeySequence::Cut);
        QCOMPARE(f.model->length(), qint64(0));
        QTest::keyClick(d, Qt::Key_Insert);
        press(d, QKeySequence::Paste);
        QCOMPARE(f.bytes(), sequence(256));
        QCOMPARE(d->cursorPos, qint64(256));
    }

    void mouseClicks()
    {
        Shown f;
        QVERIFY(open(f, QByteArray(1000, 'x')));
        QHexEditPrivate* d = f.d;
        const int lh = f.lh();
        const int cw = f.cw();
        auto click = [&](const QPoint& p, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
            QTest::mouseClick(d, Qt::LeftButton, modifiers, p);
        };

        click(f.hexPoint(5, 0));
        QCOMPARE(d->editArea, 1);
        QCOMPARE(d->cursorPos, qint64(5));
        QCOMPARE(d->nibble, 0);
        click(f.hexPoint(5, 1));
        QCOMPARE(d->nibble, 1);
        click(f.hexPoint(6, 2)); // the gap after a byte counts as its low digit
        QCOMPARE(d->cursorPos, qint64(6));
        QCOMPARE(d->nibble, 1);
        click(f.charPoint(23));
        QCOMPARE(d->editArea, 2);
        QCOMPARE(d->cursorPos, qint64(23));
        QCOMPARE(d->nibble, 0);
        click(QPoint(3, 2 * lh + 2));
        QCOMPARE(d->editArea, 0);
        QCOMPARE(d->cursorPos, qint64(32));

        // The columns begin half a line height before their first cell.
        click(QPoint(d->hexStartX - lh / 2, 3 * lh + 1));
        QCOMPARE(d->editArea, 1);
        QCOMPARE(d->cursorPos, qint64(48));
        QCOMPARE(d->nibble, 0);
        click(QPoint(d->hexStartX - lh / 2 - 1, 3 * lh + 1));
        QCOMPARE(d->editArea, 0);
        click(QPoint(d->asciiStartX - lh / 2, 1));
        QCOMPARE(d->editArea, 2);
        QCOMPARE(d->cursorPos, qint64(0));
        // Right of the character column: the line's last byte, not a byte of a later line.
        if (d->width() > d->lineEndX + 4 * cw) {
            click(QPoint(d->lineEndX + 3 * cw, lh + 1));
            QCOMPARE(d->cursorPos, qint64(31));
        }

        // A press at x or y 0 does nothing at all.
        click(f.hexPoint(40));
        click(QPoint(0, lh + 2));
        click(QPoint(f.charPoint(3).x(), 0));
        QCOMPARE(d->editArea, 1);
        QCOMPARE(d->cursorPos, qint64(40));

        // Shift extends from the anchor and draws the caret at the click; the cursor stays.
        click(f.hexPoint(70, 1), Qt::ShiftModifier);
        QCOMPARE(d->cursorPos, qint64(40));
        QCOMPARE(f.view.selectionStart(), qint64(40));
        QCOMPARE(f.view.selectionEnd(), qint64(70));
        QCOMPARE(d->cursorX, d->hexStartX + 6 * 3 * cw + cw);
        QCOMPARE(d->cursorY, qint64(4 * lh));
        // Other modifiers and buttons change nothing more.
        click(f.hexPoint(90), Qt::ControlModifier);
        QTest::mouseClick(d, Qt::RightButton, Qt::NoModifier, f.hexPoint(95));
        QCOMPARE(f.view.selectionEnd(), qint64(70));

        // Below the data: the end; in a scrolled view, lines count from the first one shown.
        f.view.setVerticalScrollBarValue(f.bar->maximum());
        click(QPoint(d->hexStartX + 15 * 3 * cw + 1, 9 * lh + 2)); // line 62 ends at byte 999
        QCOMPARE(d->cursorPos, qint64(1000));
        f.view.setVerticalScrollBarValue(10);
        click(f.hexPoint(12 * 16 + 3));
        QCOMPARE(d->cursorPos, qint64(12 * 16 + 3));
        QCOMPARE(d->cursorY, qint64(2 * lh));
    }

    void mouseDrag()
    {
        Shown f;
        QVERIFY(open(f, QByteArray(200, 'x')));
        QHexEditPrivate* d = f.d;
        QTest::mousePress(d, Qt::LeftButton, Qt::NoModifier, f.hexPoint(2));
        moveMouse(d, f.hexPoint(39, 1), Qt::LeftButton);
        QCOMPARE(f.view.selectionStart(), qint64(2));
        QCOMPARE(f.view.selectionEnd(), qint64(39));
        QCOMPARE(d->nibble, 1);
        QCOMPARE(d->cursorPos, qint64(2));
        moveMouse(d, QPoint(0, f.lh() * 3), Qt::LeftButton); // ignored
        QCOMPARE(f.view.selectionEnd(), qint64(39));
        moveMouse(d, f.hexPoint(1), Qt::LeftButton); // backwards past the anchor
        QCOMPARE(f.view.selectionStart(), qint64(1));
        QCOMPARE(f.view.selectionEnd(), qint64(2));
        QTest::mouseRelease(d, Qt::LeftButton, Qt::NoModifier, f.hexPoint(1));
        // Moving without a button leaves the selection alone.
        moveMouse(d, f.hexPoint(50), Qt::NoButton);
        QCOMPARE(f.view.selectionLength(), qint64(1));
    }

    void commentToolTips()
    {
        Shown f;
        QVERIFY(open(f, QByteArray(100, 'x')));
        QHexEditPrivate* d = f.d;
        f.view.commentRange(3, 4, QStringLiteral("header"));
        f.view.commentRange(150, 160, QStringLiteral("beyond")); // kept as given, never shown

        moveMouse(d, f.hexPoint(3), Qt::NoButton);
        QTRY_COMPARE(QToolTip::text(), QStringLiteral("header"));
        QVERIFY(QToolTip::isVisible());
        moveMouse(d, f.hexPoint(10), Qt::NoButton);
        QTRY_VERIFY(!QToolTip::isVisible());

        // The column under the pointer counts, not the one that has the keyboard.
        QCOMPARE(d->editArea, 1);
        moveMouse(d, f.charPoint(4), Qt::NoButton);
        QTRY_COMPARE(QToolTip::text(), QStringLiteral("header"));
        moveMouse(d, QPoint(3, 2), Qt::NoButton); // the address of the commented line
        QTRY_VERIFY(!QToolTip::isVisible());
        moveMouse(d, f.hexPoint(150), Qt::NoButton); // past the end of the data
        QTest::qWait(50);
        QVERIFY(!QToolTip::isVisible());

        moveMouse(d, f.hexPoint(4, 1), Qt::NoButton);
        QTRY_VERIFY(QToolTip::isVisible());
        f.view.clearComments();
        QTRY_VERIFY(!QToolTip::isVisible());
        QVERIFY(!d->comments->isCommented(3));
    }

    void wheelScrolling()
    {
        Shown f;
        QVERIFY(open(f, QByteArray(16 * 1000, 'x')));
        QHexEditPrivate* d = f.d;
        QCOMPARE(f.bar->maximum(), 991);
        f.view.setCursorPos(20);
        const int lh = f.lh();

        QWheelEvent down = wheel(d, QPoint(0, -120));
        QApplication::sendEvent(d, &down);
        QCOMPARE(f.bar->value(), 5);
        QCOMPARE(d->cursorY, qint64(-4 * lh)); // the caret follows its byte
        QWheelEvent twoDown = wheel(d, QPoint(0, -240));
        f.view.scroll(&twoDown);
        QVERIFY(twoDown.isAccepted());
        QCOMPARE(f.bar->value(), 15);
        QWheelEvent up = wheel(d, QPoint(0, 120));
        f.view.scroll(&up);
        QCOMPARE(f.bar->value(), 10);
        QWheelEvent farUp = wheel(d, QPoint(0, 1200));
        f.view.scroll(&farUp);
        QCOMPARE(f.bar->value(), 0);
        QWheelEvent farDown = wheel(d, QPoint(0, -120 * 5000));
        f.view.scroll(&farDown);
        QCOMPARE(f.bar->value(), 991);
        // Less than a step scrolls nothing.
        QWheelEvent nudge = wheel(d, QPoint(0, 60));
        f.view.scroll(&nudge);
        QCOMPARE(f.bar->value(), 991);

        // Horizontal wheels and empty models are left to the parent.
        QWheelEvent sideways = wheel(d, QPoint(120, 0));
        f.view.scroll(&sideways);
        QVERIFY(!sideways.isAccepted());
        QCOMPARE(f.bar->value(), 991);
        Model empty(QHexEditData::fromMemory(QByteArray()));
        f.view.setData(empty.get());
        QWheelEvent onEmpty = wheel(d, QPoint(0, -120));
        f.view.scroll(&onEmpty);
        QVERIFY(!onEmpty.isAccepted());
        f.view.setData(nullptr);
        QWheelEvent withoutModel = wheel(d, QPoint(0, -120));
        f.view.scroll(&withoutModel);
        QVERIFY(!withoutModel.isAccepted());
        // Keys do nothing without a model either.
        QTest::keyClick(d, '1');
        QCOMPARE(f.passedOn.passed, 1);
    }

    // The view's range slots, down to the exact records they leave.
    void rangeSlots()
    {
        Model model(QHexEditData::fromMemory(QByteArray(50, 'x')));
        QHexEdit view;
        view.highlightBackground(0, 5, Qt::red); // no model yet: ignored, no crash
        view.commentRange(0, 5, QStringLiteral("x"));
        view.setData(model.get());
        QHexEditPrivate* d = view.findChild<QHexEditPrivate*>();
        QVERIFY(d);
        QVERIFY(d->highlighter->backgroundRanges().isEmpty());

        view.highlightBackground(10, 20, Qt::red);
        view.highlightBackground(15, 16, Qt::blue);
        const QHexEditHighlighter* h = d->highlighter;
        QCOMPARE(describe(h->backgroundRanges()),
                 QStringLiteral("10-14 #ff0000, 15-16 #0000ff, 17-20 #ff0000"));
        view.highlightForeground(5, 8, Qt::green);
        view.highlightForeground(0, 100, Qt::yellow);
        QCOMPARE(describe(h->foregroundRanges()), QStringLiteral("0-49 #ffff00"));
        view.highlightForeground(-10, 3, Qt::green);
        QCOMPARE(describe(h->foregroundRanges()), QStringLiteral("0-3 #00ff00, 4-49 #ffff00"));

        // Clearing a span removes it from both lists.
        view.clearHighlight(12, 18);
        QCOMPARE(describe(h->backgroundRanges()), QStringLiteral("10-11 #ff0000, 19-20 #ff0000"));
        QCOMPARE(describe(h->foregroundRanges()), QStringLiteral("0-3 #00ff00, 4-11 #ffff00, 19-49 #ffff00"));
        view.clearHighlight(30, 40); // inside one record: split
        QCOMPARE(describe(h->foregroundRanges()),
                 QStringLiteral("0-3 #00ff00, 4-11 #ffff00, 19-29 #ffff00, 41-49 #ffff00"));
        view.clearHighlight(21, 25); // touches no background record
        QCOMPARE(describe(h->backgroundRanges()), QStringLiteral("10-11 #ff0000, 19-20 #ff0000"));
        view.clearHighlight();
        QVERIFY(d->highlighter->backgroundRanges().isEmpty());
        QVERIFY(d->highlighter->foregroundRanges().isEmpty());

        // Comments: not clamped; removal cuts a record in two with the same text.
        view.commentRange(0, 9, QStringLiteral("a"));
        view.commentRange(40, 400, QStringLiteral("far"));
        view.uncommentRange(3, 4);
        QCOMPARE(describe(d->comments->ranges()), QStringLiteral("0-2 a, 5-9 a, 40-400 far"));
        view.uncommentRange(20, 30);
        QCOMPARE(describe(d->comments->ranges()), QStringLiteral("0-2 a, 5-9 a, 40-400 far"));
        view.clearComments();
        QVERIFY(d->comments->ranges().isEmpty());
    }

    // Random insertions and removals against a plain array of values.
    void rangeListAgainstReference()
    {
        QHexEditRangeList<int> list;
        std::vector<int> reference(64, 0); // 0: not covered
        QRandomGenerator random(20240611);
        for (int step = 0; step < 3000; ++step) {
            const qint64 s = random.bounded(64);
            const qint64 e = qMin<qint64>(63, s + random.bounded(random.bounded(2) ? 4 : 40));
            if (random.bounded(10) < 7) {
                const int value = step + 1;
                list.insert(s, e, value);
                for (qint64 p = s; p <= e; ++p)
                    reference[size_t(p)] = value;
            } else {
                list.remove(s, e);
                for (qint64 p = s; p <= e; ++p)
                    reference[size_t(p)] = 0;
            }
            const auto& ranges = list.ranges();
            for (int i = 0; i < ranges.size(); ++i) {
                QVERIFY(ranges[i].start <= ranges[i].end);
                if (i > 0)
                    QVERIFY2(ranges[i - 1].end < ranges[i].start, "sorted and not overlapping");
            }
            for (qint64 p = -1; p <= 64; ++p) {
                const auto* r = list.find(p);
                const int want = p < 0 || p >= 64 ? 0 : reference[size_t(p)];
                QCOMPARE(r ? r->value : 0, want);
            }
        }
    }

    void clipboardSlots()
    {
        Shown f;
        QVERIFY(open(f, QByteArray("012345")));
        QHexEditPrivate* d = f.d;
        QClipboard* clip = QApplication::clipboard();

        // Overwrite near the end replaces to the end and appends the rest.
        clip->setText(QStringLiteral("WXYZ"));
        f.view.setCursorPos(4);
        f.view.paste();
        QCOMPARE(f.bytes(), QByteArray("0123WXYZ"));
        QCOMPARE(d->cursorPos, qint64(8));
        clip->setText(QStringLiteral("!!"));
        f.view.paste(); // at the very end
        QCOMPARE(f.bytes(), QByteArray("0123WXYZ!!"));

        // Hexadecimal text: separators skipped, nothing but separators pastes nothing.
        f.view.setCursorPos(0);
        clip->setText(QStringLiteral("4a-4B"));
        f.view.pasteHex();
        QCOMPARE(f.bytes(), QByteArray("JK23WXYZ!!"));
        QCOMPARE(d->cursorPos, qint64(2));
        clip->setText(QStringLiteral("zz"));
        f.view.pasteHex();
        QCOMPARE(f.bytes(), QByteArray("JK23WXYZ!!"));

        // No text on the clipboard, or nothing selected: nothing happens.
        clip->clear();
        f.view.paste();
        f.view.pasteHex();
        QCOMPARE(f.bytes(), QByteArray("JK23WXYZ!!"));
        clip->setText(QStringLiteral("kept"));
        f.view.setCursorPos(3);
        f.view.copy();
        f.view.copyHex();
        f.view.cut();
        QCOMPARE(clip->text(), QStringLiteral("kept"));
        QCOMPARE(f.model->length(), qint64(10));

        // Read-only does not guard the clipboard slots.
        f.view.setReadOnly(true);
        f.view.setSelection(8, 9);
        f.view.copyHex();
        QCOMPARE(clip->text(), QStringLiteral("2121"));
        f.view.cut();
        QCOMPARE(f.bytes(), QByteArray("JK23WXYZ"));
    }
};

QTEST_MAIN(tst_QHexEditInput)
#include "tst_qhexeditinput.moc"
