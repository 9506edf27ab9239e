// The CH341A backend through the conformance suite, over its emulator, as --adapter ch341a.
#include "tests/backends/ch341a/ch341aemulator.h"
#include "tests/backends/usb/usbrig.h"

#include <QCoreApplication>

using namespace korvane;

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    return runConformanceSuite(argc, argv, [](ConformanceChip which) {
        return std::make_unique<UsbRig>(std::make_unique<Ch341aEmulator>(), QStringLiteral("ch341a"), which);
    });
}
