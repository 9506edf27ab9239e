// The CH347 backend through the conformance suite, over its emulator (a CH347F, chip on its
// second chip select), as --adapter ch347.
#include "tests/backends/ch347/ch347emulator.h"
#include "tests/backends/usb/usbrig.h"

#include <QCoreApplication>

using namespace korvane;

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    return runConformanceSuite(argc, argv, [](ConformanceChip which) {
        return std::make_unique<UsbRig>(std::make_unique<Ch347Emulator>(0x55de), QStringLiteral("ch347"), which,
                                        1);
    });
}
