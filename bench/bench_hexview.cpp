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

// Median milliseconds per full render of the view.
double paintMs(QHexEdit& view)
{
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    std::vector<double> times;
    for (int i = 0; i < paints; ++i) {
        QElapsedTimer timer;
        timer.start();
        view.render(&image);
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
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
        QImage warmUp(view.size(), QImage::Format_ARGB32_Premultiplied);
        view.render(&warmUp); // loads the glyphs once
        out << QStringLiteral("%1 bytes, %2 visible lines: full paint %3 ms (median of %4)\n")
                   .arg(model->length())
                   .arg(view.visibleLines())
                   .arg(paintMs(view), 0, 'f', 3)
                   .arg(paints);

        QElapsedTimer timer;
        timer.start();
        view.setCursorPos(model->length());
        QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
        view.render(&image);
        out << QStringLiteral("  jump to the last line and paint it: %1 ms (first visible offset %2)\n")
                   .arg(timer.nsecsElapsed() / 1e6, 0, 'f', 3)
                   .arg(view.visibleStartOffset());
        out << QStringLiteral("  full paint at the end: %1 ms\n").arg(paintMs(view), 0, 'f', 3);
        out.flush();
        view.setData(nullptr);
    }
    return 0;
}
