#include "cli/progressline.h"

#include "cli/terminaltext.h"
#include "core/base/clock.h"

#include <QCoreApplication>

#include <algorithm>

#include <unistd.h>

namespace korvane {

namespace {

constexpr std::int64_t kRedrawNs = 100'000'000; // ten lines a second at most

QString sizeText(double bytes)
{
    if (bytes >= 1024.0 * 1024.0)
        return QStringLiteral("%1 MiB").arg(bytes / (1024.0 * 1024.0), 0, 'f', 1);
    if (bytes >= 1024.0)
        return QStringLiteral("%1 KiB").arg(bytes / 1024.0, 0, 'f', 1);
    return QStringLiteral("%1 B").arg(bytes, 0, 'f', 0);
}

QString durationText(double seconds)
{
    const auto whole = static_cast<long long>(seconds + 0.5);
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

QString upgradeStepText(UpgradeStep step)
{
    switch (step) {
    case UpgradeStep::FindingDevice:
        return QCoreApplication::translate("ProgressLine", "finding the adapter");
    case UpgradeStep::OpeningDevice:
        return QCoreApplication::translate("ProgressLine", "opening the adapter");
    case UpgradeStep::ReadingInfo:
        return QCoreApplication::translate("ProgressLine", "reading its information");
    case UpgradeStep::EnteringUpgradeMode:
        return QCoreApplication::translate("ProgressLine", "restarting it into its upgrade code");
    case UpgradeStep::CheckingFile:
        return QCoreApplication::translate("ProgressLine", "checking the firmware file");
    case UpgradeStep::Erasing:
        return QCoreApplication::translate("ProgressLine", "erasing the old firmware");
    case UpgradeStep::Writing:
        break;
    }
    return QCoreApplication::translate("ProgressLine", "writing the new firmware");
}

} // namespace

ProgressLine::ProgressLine(Clock& clock, bool enabled, std::FILE* out)
    : clock(clock), enabled(enabled && terminalAttached(out)), out(out)
{
}

ProgressLine::~ProgressLine()
{
    end();
}

bool ProgressLine::terminalAttached(std::FILE* out)
{
    return isatty(fileno(out)) == 1;
}

void ProgressLine::begin(const QString& what, std::int64_t units, bool countsBytes)
{
    end();
    action = what;
    total = units;
    bytes = countsBytes;
    done = 0;
    startNs = clock.nowNanoseconds();
    lastDrawNs = 0;
    draw(true);
}

void ProgressLine::end()
{
    if (shown) {
        draw(true);
        std::fputc('\n', out);
        std::fflush(out);
        shown = false;
    }
}

void ProgressLine::advanced(std::int64_t units)
{
    done = units;
    draw(done == total);
}

void ProgressLine::waiting()
{
    draw(false);
}

void ProgressLine::stepStarted(UpgradeStep step, int value)
{
    action = upgradeStepText(step);
    if (value >= 0)
        done = value;
    total = 100;
    bytes = false;
    draw(true);
}

void ProgressLine::blockWritten(int value)
{
    done = value;
    draw(false);
}

void ProgressLine::draw(bool force)
{
    if (!enabled)
        return;
    const std::int64_t now = clock.nowNanoseconds();
    if (!force && now - lastDrawNs < kRedrawNs)
        return;
    lastDrawNs = now;
    const double seconds = static_cast<double>(now - startNs) / 1e9;
    QString line = action;
    if (total > 0) {
        const int percent = static_cast<int>(100 * done / total);
        if (bytes) {
            line += QStringLiteral("  %1 / %2  %3%").arg(sizeText(done), sizeText(total)).arg(percent, 3);
            if (seconds > 0.05 && done > 0) {
                const double rate = done / seconds;
                line += QStringLiteral("  ") +
                        QCoreApplication::translate("ProgressLine", "%1/s  %2 left")
                            .arg(sizeText(rate), durationText(static_cast<double>(total - done) / rate));
            }
        } else {
            line += QStringLiteral("  %1 / %2  %3%").arg(done).arg(total).arg(percent, 3);
        }
    } else {
        line += QStringLiteral("  %1").arg(durationText(seconds));
    }
    // Pad over what a longer line left behind, in columns: a Chinese character takes two.
    line += QString(std::max(0, 78 - terminalWidth(line)), QLatin1Char(' '));
    std::fprintf(out, "\r%s", terminalBytes(line).constData());
    std::fflush(out);
    shown = true;
}

} // namespace korvane
