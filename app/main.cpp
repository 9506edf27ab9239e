#include "app/mainwindow.h"
#include "core/base/clock.h"
#include "gui/userinteraction.h"
#include "backends/simulated/simulatedadapter.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    SystemClock clock;
    WidgetUserInteraction interaction;
    // No adapter hardware backend yet: the program drives a simulated adapter (its chips can be
    // chosen through the environment, see backends/simulated/README.md).
    auto adapter = createSimulatedAdapterFromEnvironment(clock);
    MainWindow window(*adapter, interaction, clock);
    window.show();
    return application.exec();
}
