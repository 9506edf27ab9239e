#include "cli/commandline.h"
#include "core/base/clock.h"
#include "core/base/translation.h"
#include "core/base/version.h"

#include <QCoreApplication>
#include <QLocale>

#include <csignal>

using namespace korvane;

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvane-spi"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kProgramVersion));
    // English, the source texts, unless the locale is Chinese.
    if (QLocale::system().language() == QLocale::Chinese)
        installTranslation(QStringLiteral("korvane-spi"), QStringLiteral("zh_CN"));
    // A reader that goes away makes writing fail with a message, instead of ending the program.
    std::signal(SIGPIPE, SIG_IGN);
    SystemClock clock;
    CommandLine commandLine(clock);
    return commandLine.closeOutput(commandLine.run(QCoreApplication::arguments()));
}
