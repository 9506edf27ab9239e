// The FTDI backend through the conformance suite, over its emulator (an FT2232H, chip on GPIOL1),
// as --adapter ft2232h.
#include "tests/backends/ftdi/ftdiemulator.h"
#include "tests/backends/usb/usbrig.h"

#include <QCoreApplication>

using namespace korvane;

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    return runConformanceSuite(argc, argv, [](ConformanceChip which) {
        return std::make_unique<UsbRig>(std::make_unique<FtdiEmulator>(0x6010), QStringLiteral("ft2232h"),
                                        which, 2);
    });
}
