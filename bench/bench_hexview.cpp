// Paint cost of the hex view for a small and a 1 GiB model: painting must touch only the visible rows.
#include "qhexedit/qhexedit.h"
#include "qhexedit/qhexeditdata.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <memory>
#include <vector>

using namespace korvane;

namespace {

const int paints = 200;

QString makeFile(const QTemporaryDir& dir, const QString& name, qint64 size)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    // A few real bytes at both ends; the rest stays a hole in the sparse file.
    QByteArray head(4096, '\0');
    for (int i = 0; i < head.size(); ++i)
        head[i] = char(i * 7);
    file.write(head.left(int(qMin<qint64>(size, head.size()))));
    if (size > head.size()) {
        file.resize(size);
        file.seek(size - 256);
        file.write(head.left(256));
    }
    return path;
}

// An image like the screen the view is shown on, so fonts resolve the same.
QImage screenImage(const QWidget& view)
{
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    image.setDotsPerMeterX(qRound(view.logicalDpiX() / 0.0254));
    image.setDotsPerMeterY(qRound(view.logicalDpiY() / 0.0254));
    return image;
}

struct Timing
{
    double min;
    double median;
};

// Milliseconds per full render of the view.
Timing paintMs(QHexEdit& view)
{
    QImage image = screenImage(view);
    std::vector<double> times;
    for (int i = 0; i < paints; ++i) {
        QElapsedTimer timer;
        timer.start();
        view.render(&image);
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return {times.front(), times[times.size() / 2]};
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream out(stdout);

    QTemporaryDir dir(QStringLiteral("/tmp/bench_hexview-XXXXXX"));
    const QString small = makeFile(dir, QStringLiteral("small.bin"), 4096);
    const QString large = makeFile(dir, QStringLiteral("large.bin"), qint64(1) << 30);
    if (small.isEmpty() || large.isEmpty()) {
        out << "cannot create the sample files in /tmp\n";
        return 1;
    }

    QHexEdit view;
    view.resize(1280, 1024);
    view.show();
    QCoreApplication::processEvents();

    for (const QString& path : {small, large}) {
        std::unique_ptr<QHexEditData> model(QHexEditData::fromFile(path));
        view.setData(model.get());
        QCoreApplication::processEvents();
        QImage warmUp = screenImage(view);
        view.render(&warmUp); // loads the glyphs once
        const Timing start = paintMs(view);
        out << QStringLiteral("%1 bytes, %2 visible lines: full paint %3 ms median, %4 ms min (%5 paints)\n")
                   .arg(model->length())
                   .arg(view.visibleLines())
                   .arg(start.median, 0, 'f', 3)
                   .arg(start.min, 0, 'f', 3)
                   .arg(paints);

        QElapsedTimer timer;
        timer.start();
        view.setCursorPos(model->length());
        QImage image = screenImage(view);
        view.render(&image);
        out << QStringLiteral("  jump to the last line and paint it: %1 ms (first visible offset %2)\n")
                   .arg(timer.nsecsElapsed() / 1e6, 0, 'f', 3)
                   .arg(view.visibleStartOffset());
        const Timing end = paintMs(view);
        out << QStringLiteral("  full paint at the end: %1 ms median, %2 ms min\n")
                   .arg(end.median, 0, 'f', 3)
                   .arg(end.min, 0, 'f', 3);
        out.flush();
        // Optional: keep a picture of what was measured (argument = file name prefix).
        if (argc > 1)
            image.save(QStringLiteral("%1-%2.png").arg(QString::fromLocal8Bit(argv[1])).arg(model->length()));
        view.setData(nullptr);
    }
    return 0;
}
