// The spidev backend through the conformance suite, as the front ends reach it (the registry from an
// --adapter form), over the kernel's driver as emulated behind the device-call seam: a 4096-byte
// buffer with 128-byte alignment. The link breaks by the controller going away.
#include "backends/backendtable.h"
#include "backends/simulated/simulatedchip.h"
#include "tests/backends/conformance/conformancesuite.h"
#include "tests/backends/emulators/spidevemulator.h"
#include "tests/support/testchips.h"
#include "tests/support/virtualclock.h"

#include <QCoreApplication>
#include <QTest>

using namespace korvane;

namespace {

class SpidevRig : public ConformanceRig
{
public:
    explicit SpidevRig(ConformanceChip which)
        : which(which), chipUnderTest(createSimulatedChip(conformanceModel(which), virtualClock))
    {
        kernel.addNode("/dev/spidev0.0", chipUnderTest.get());
        DeviceAccess access;
        access.spidev = &kernel;
        QString error;
        registry = createAdapterRegistry(virtualClock, QStringLiteral("spidev:/dev/spidev0.0"), false, &error,
                                         access);
        if (!registry)
            qFatal("%s", qPrintable(error));
    }

    ~SpidevRig() override
    {
        registry.reset();
        for (const std::string& problem : kernel.violations())
            QTest::qFail(problem.c_str(), __FILE__, __LINE__);
        if (kernel.refusedMessages() != 0)
            QTest::qFail("the driver refused a message as too long", __FILE__, __LINE__);
        if (kernel.openDescriptors() != 0)
            QTest::qFail("descriptors left open", __FILE__, __LINE__);
    }

    AdapterLibrary& library() override { return *registry; }
    Clock& clock() override { return virtualClock; }
    CHIP_INFO chip() const override { return conformanceRecord(which); }
    std::vector<std::uint8_t>& memory() override { return chipUnderTest->contents(); }
    SimulatedChip* simulatedChip() override { return chipUnderTest.get(); }
    void breakAfter(int transfers) override
    {
        if (transfers < 0)
            kernel.mend();
        else
            kernel.breakAfter(transfers);
    }
    std::vector<std::vector<std::uint8_t>>* recordFrames() override
    {
        kernel.frameLog = &frames;
        return &frames;
    }

private:
    ConformanceChip which;
    VirtualClock virtualClock;
    std::unique_ptr<SimulatedChip> chipUnderTest;
    SpidevEmulator kernel;
    std::unique_ptr<AdapterRegistry> registry;
    std::vector<std::vector<std::uint8_t>> frames;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    return runConformanceSuite(argc, argv, [](ConformanceChip which) { return std::make_unique<SpidevRig>(which); });
}
