// The serprog backend through the conformance suite, as the front ends reach it: the registry from
// an --adapter form, a real pseudo-terminal, and an emulated firmware on the other end that reads
// in parts of 4096 bytes and has a 64-byte serial buffer. The link breaks by the device going away
// (the tty hangs up and its node disappears) and mends by it coming back.
#include "backends/backendtable.h"
#include "backends/serprog/serprogadapter.h"
#include "backends/simulated/simulatedchip.h"
#include "tests/backends/conformance/conformancesuite.h"
#include "tests/backends/emulators/serprogemulator.h"
#include "tests/backends/emulators/sharedclock.h"
#include "tests/support/testchips.h"

#include <QCoreApplication>
#include <QTest>

using namespace korvane;

namespace {

SerprogFirmware conformanceFirmware()
{
    SerprogFirmware firmware;
    firmware.readMax = 4096;
    firmware.serialBuffer = 64;
    return firmware;
}

class SerprogRig : public ConformanceRig
{
public:
    explicit SerprogRig(ConformanceChip which)
        : which(which), chipUnderTest(createSimulatedChip(conformanceModel(which), virtualClock)),
          emulator(conformanceFirmware())
    {
        emulator.attachChip(0, chipUnderTest.get());
        QString error;
        registry = createAdapterRegistry(
            virtualClock, QStringLiteral("serprog:%1").arg(QString::fromStdString(emulator.devicePath())),
            false, &error);
        if (!registry)
            qFatal("%s", qPrintable(error));
        dynamic_cast<SerprogAdapter&>(registry->backend(0)).setTimeoutMs(500);
    }

    ~SerprogRig() override
    {
        registry.reset();
        for (const std::string& problem : emulator.violations())
            QTest::qFail(problem.c_str(), __FILE__, __LINE__);
    }

    AdapterLibrary& library() override { return *registry; }
    Clock& clock() override { return virtualClock; }
    CHIP_INFO chip() const override { return conformanceRecord(which); }
    std::vector<std::uint8_t>& memory() override { return chipUnderTest->contents(); }
    SimulatedChip* simulatedChip() override { return chipUnderTest.get(); }
    void breakAfter(int transfers) override
    {
        if (transfers < 0)
            emulator.mend();
        else
            emulator.failAfter(transfers, SerprogEmulator::Failure::Gone);
    }
    std::vector<std::vector<std::uint8_t>>* recordFrames() override
    {
        emulator.setFrameLog(&frames);
        return &frames;
    }

private:
    ConformanceChip which;
    SharedVirtualClock virtualClock;
    std::vector<std::vector<std::uint8_t>> frames; // outlives the emulator's thread
    std::unique_ptr<SimulatedChip> chipUnderTest;
    SerprogEmulator emulator;
    std::unique_ptr<AdapterRegistry> registry;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    return runConformanceSuite(argc, argv, [](ConformanceChip which) { return std::make_unique<SerprogRig>(which); });
}
