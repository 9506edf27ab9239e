// Cost of held-down keys on a 64 MiB buffer: each key press goes through the view's key handler, the
// model edit it causes, and the repaint that follows, which must all fit well inside one frame.
#include "qhexedit/qhexedit.h"
#include "qhexedit/qhexeditdata.h"
#include "qhexedit/qhexeditprivate.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

using namespace korvane;

namespace {

const int presses = 10000;

struct Stats
{
    double medianUs;
    double p99Us;
    double maxUs;
};

Stats stats(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times[times.size() * 99 / 100], times.back()};
}

struct Timing
{
    double totalMs;
    Stats press;   // key handler with the edit and cursor move it causes
    Stats repaint; // the synchronous repaint and event processing after it
};

// Sends one key press per call of `next` and repaints the view synchronously after each.
Timing run(QWidget* target, const std::function<QKeyEvent()>& next)
{
    std::vector<double> pressTimes, paintTimes;
    pressTimes.reserve(presses);
    paintTimes.reserve(presses);
    QElapsedTimer total;
    total.start();
    for (int i = 0; i < presses; ++i) {
        QElapsedTimer timer;
        timer.start();
        QKeyEvent event = next();
        QApplication::sendEvent(target, &event);
        const qint64 handled = timer.nsecsElapsed();
        target->repaint();
        QCoreApplication::processEvents();
        pressTimes.push_back(handled / 1e3);
        paintTimes.push_back((timer.nsecsElapsed() - handled) / 1e3);
    }
    return {total.nsecsElapsed() / 1e6, stats(pressTimes), stats(paintTimes)};
}

QKeyEvent key(int code, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = QString())
{
    return QKeyEvent(QEvent::KeyPress, code, modifiers, text);
}

void report(QTextStream& out, const QString& what, const Timing& t)
{
    auto line = [](const Stats& s) {
        return QStringLiteral("median %1 us, 99th percentile %2 us, max %3 us")
            .arg(s.medianUs, 0, 'f', 1)
            .arg(s.p99Us, 0, 'f', 1)
            .arg(s.maxUs, 0, 'f', 1);
    };
    out << QStringLiteral("%1: %2 presses in %3 ms (%4 us a press with its repaint)\n")
               .arg(what)
               .arg(presses)
               .arg(t.totalMs, 0, 'f', 1)
               .arg(t.totalMs * 1000 / presses, 0, 'f', 1)
        << "  key handling: " << line(t.press) << "\n"
        << "  repaint:      " << line(t.repaint) << "\n";
    out.flush();
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream out(stdout);

    const qint64 size = qint64(64) << 20;
    QByteArray bytes(int(size), '\0');
    for (int i = 0; i < bytes.size(); i += 4096)
        bytes[i] = char(i >> 12);
    std::unique_ptr<QHexEditData> model(QHexEditData::fromMemory(bytes));

    QHexEdit view;
    view.resize(1280, 1024);
    view.show();
    QCoreApplication::processEvents();
    view.setData(model.get());
    auto* d = view.findChild<QHexEditPrivate*>();
    d->setFocus();
    QCoreApplication::processEvents();
    out << QStringLiteral("64 MiB model, %1 visible lines\n").arg(view.visibleLines());

    // Typing digits in insert mode in the middle of the buffer.
    view.setCursorPos(size / 2);
    QKeyEvent insertKey = key(Qt::Key_Insert);
    QApplication::sendEvent(d, &insertKey);
    const int stepsBefore = model->undoStack()->count();
    int digit = 0;
    const Timing typed = run(d, [&] {
        const QString text = QString::number(digit++ % 16, 16);
        return key(Qt::Key_0, Qt::NoModifier, text);
    });
    report(out, QStringLiteral("typing hex digits, insert mode"), typed);
    out << QStringLiteral("  length grew by %1 bytes; %2 undo steps for %3 digits\n")
               .arg(model->length() - size)
               .arg(model->undoStack()->count() - stepsBefore)
               .arg(presses);

    // Typing characters in insert mode: consecutive insertions merge. A click in the character
    // column gives it the keyboard.
    const int cw = QFontMetrics(d->font()).horizontalAdvance(QLatin1Char(' '));
    const QPoint inCharacters((view.addressWidth() + 1 + 48) * cw + 1, 1);
    QMouseEvent click(QEvent::MouseButtonPress, inCharacters, d->mapToGlobal(inCharacters), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(d, &click);
    view.setCursorPos(size / 4);
    const int charStepsBefore = model->undoStack()->count();
    int letter = 0;
    const Timing chars = run(d, [&] {
        const QChar ch(ushort('a' + letter++ % 26));
        return key(Qt::Key_A, Qt::NoModifier, QString(ch));
    });
    report(out, QStringLiteral("typing characters, insert mode"), chars);
    out << QStringLiteral("  %1 undo steps for %2 characters\n")
               .arg(model->undoStack()->count() - charStepsBefore)
               .arg(presses);
    // Back to the hexadecimal column.
    const QPoint inHex((view.addressWidth() + 2) * cw, 1);
    QMouseEvent hexClick(QEvent::MouseButtonPress, inHex, d->mapToGlobal(inHex), Qt::LeftButton,
                         Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(d, &hexClick);

    // Overwrite mode typing.
    QApplication::sendEvent(d, &insertKey);
    view.setCursorPos(size / 3);
    digit = 0;
    const Timing overwritten = run(d, [&] {
        const QString text = QString::number(digit++ % 16, 16);
        return key(Qt::Key_0, Qt::NoModifier, text);
    });
    report(out, QStringLiteral("typing hex digits, overwrite mode"), overwritten);

    // Cursor movement: right by digits, then down by lines (the view scrolls on every step).
    view.setCursorPos(size / 8);
    report(out, QStringLiteral("cursor right"), run(d, [] { return key(Qt::Key_Right); }));
    report(out, QStringLiteral("cursor down"), run(d, [] { return key(Qt::Key_Down); }));
    report(out, QStringLiteral("page down"), run(d, [] { return key(Qt::Key_PageDown); }));
    report(out, QStringLiteral("select down"), run(d, [] { return key(Qt::Key_Down, Qt::ShiftModifier); }));

    // Undoing everything typed, one press per step.
    QElapsedTimer timer;
    timer.start();
    int undone = 0;
    while (model->undoStack()->canUndo()) {
        QKeyEvent undo = key(Qt::Key_Z, Qt::ControlModifier);
        QApplication::sendEvent(d, &undo);
        ++undone;
    }
    d->repaint();
    out << QStringLiteral("undo of all %1 steps by key: %2 ms; length back to %3\n")
               .arg(undone)
               .arg(timer.nsecsElapsed() / 1e6, 0, 'f', 1)
               .arg(model->length());
    return 0;
}
