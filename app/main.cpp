#include "app/adapterchoice.h"
#include "app/mainwindow.h"
#include "app/windowlanguage.h"
#include "backends/backendtable.h"
#include "core/base/clock.h"
#include "core/base/version.h"
#include "gui/userinteraction.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLocale>
#include <QMessageBox>
#include <QSettings>

using namespace korvane;

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    // Settings live in ~/.config/Korvane/KorvaneSpiFlash.conf.
    QApplication::setOrganizationName(QStringLiteral("Korvane"));
    QApplication::setApplicationName(QStringLiteral("KorvaneSpiFlash"));
    QApplication::setApplicationVersion(QString::fromLatin1(kProgramVersion));

    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption adapterOption(
        QStringList{QStringLiteral("A"), QStringLiteral("adapter")},
        QStringLiteral("Which adapters to use, remembered for the next start (default: every adapter found, "
                       "then the simulated one; --adapter \"\" goes back to it):\n") +
            adapterFormsHelp(),
        QStringLiteral("adapter"));
    parser.addOption(adapterOption);
    parser.process(application);

    // The language is settled before any window or message box is built; the command line's
    // help stays English.
    QSettings settings(QStringLiteral("Korvane"), QStringLiteral("KorvaneSpiFlash"));
    setUpWindowLanguage(settings, QLocale::system());

    SystemClock clock;
    WidgetUserInteraction interaction;
    // Without hardware the simulated adapter is there to try the program; its chips can be chosen
    // through the environment (see backends/simulated/README.md).
    WindowAdapters adapters =
        openWindowAdapters(clock, settings, parser.isSet(adapterOption), parser.value(adapterOption));
    if (!adapters.registry) {
        QMessageBox::critical(nullptr, QStringLiteral("Korvane SPI Flash Program"), adapters.error);
        return 2;
    }
    if (!adapters.notice.isEmpty())
        QMessageBox::warning(nullptr, QStringLiteral("Korvane SPI Flash Program"), adapters.notice);
    MainWindow window(*adapters.registry, interaction, clock);
    window.rememberChoices(&settings);
    window.show();
    return application.exec();
}
