#include "cli/commandline.h"
#include "core/base/clock.h"
#include "core/base/translation.h"

#include <QCoreApplication>
#include <QLocale>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvane-spi"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0.3"));
    // English, the source texts, unless the locale is Chinese.
    if (QLocale::system().language() == QLocale::Chinese)
        installTranslation(QStringLiteral("korvane-spi"), QStringLiteral("zh_CN"));
    SystemClock clock;
    CommandLine commandLine(clock);
    return commandLine.run(QCoreApplication::arguments());
}
