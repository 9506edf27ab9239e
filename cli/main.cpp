#include "cli/commandline.h"
#include "core/base/clock.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvane-spi"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0.3"));
    SystemClock clock;
    CommandLine commandLine(clock);
    return commandLine.run(QCoreApplication::arguments());
}
