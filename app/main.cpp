// Plain C++ adapter headers first: Qt's "slots" keyword macro must not reach them.
#include "flash/adapter/simulatedadapter.h"

#include "app/mainwindow.h"
#include "common/clock.h"
#include "common/userinteraction.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    SystemClock clock;
    WidgetUserInteraction interaction;
    // No adapter hardware backend yet: the program drives a simulated adapter.
    auto adapter = createDefaultSimulatedAdapter(clock);
    MainWindow window(*adapter, interaction, clock);
    window.show();
    return application.exec();
}
