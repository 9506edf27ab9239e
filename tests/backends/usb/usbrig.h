#pragma once

#include "backends/backendtable.h"
#include "backends/simulated/simulatedchip.h"
#include "core/adapter/adapterregistry.h"
#include "tests/backends/conformance/conformancesuite.h"
#include "tests/backends/usb/emulatedusb.h"
#include "tests/support/testchips.h"
#include "tests/support/virtualclock.h"

#include <QTest>

#include <memory>

namespace korvane {
}
using namespace korvane;

// A USB backend over its emulator with a conformance chip on one chip select, as the front ends reach it:
// through the registry the --adapter form builds. A violation the emulator saw fails the test
// that was running when the rig goes.
class UsbRig : public ConformanceRig
{
public:
    UsbRig(std::unique_ptr<EmulatedUsbDevice> emulator, const QString& form,
           ConformanceChip which = ConformanceChip::Small, int chipSelect = 0)
        : which(which), cs(chipSelect)
    {
        device = bus.add(std::move(emulator));
        chipUnderTest = createSimulatedChip(conformanceModel(which), virtualClock);
        device->wire.attach(cs, chipUnderTest.get());
        DeviceAccess access;
        access.usb = &bus;
        QString error;
        registry = createAdapterRegistry(virtualClock, form, false, &error, access);
        if (!registry)
            qFatal("no registry for %s: %s", qPrintable(form), qPrintable(error));
    }
    ~UsbRig() override
    {
        registry.reset();
        const std::string violations = bus.violations();
        if (!violations.empty())
            QTest::qFail(("the emulator saw protocol violations:\n" + violations).c_str(), __FILE__,
                         __LINE__);
    }

    AdapterLibrary& library() override { return *registry; }
    int selector() const override { return cs << 4; }
    Clock& clock() override { return virtualClock; }
    CHIP_INFO chip() const override { return conformanceRecord(which); }
    std::vector<std::uint8_t>& memory() override { return chipUnderTest->contents(); }
    SimulatedChip* simulatedChip() override { return chipUnderTest.get(); }
    void breakAfter(int transfers) override { device->unplugAfterFrames(transfers); }
    std::vector<std::vector<std::uint8_t>>* recordFrames() override
    {
        device->wire.frameLog = &frames;
        return &frames;
    }

    VirtualClock virtualClock;
    EmulatedUsbBus bus;
    EmulatedUsbDevice* device = nullptr;
    std::unique_ptr<SimulatedChip> chipUnderTest;
    std::unique_ptr<AdapterRegistry> registry;
    ConformanceChip which;
    std::vector<std::vector<std::uint8_t>> frames;
    int cs;
};
