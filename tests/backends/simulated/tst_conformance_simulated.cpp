// The simulated backend through the conformance suite, as the front ends reach it: through the
// adapter registry.
#include "backends/simulated/simulatedadapter.h"
#include "core/adapter/adapterregistry.h"
#include "tests/backends/conformance/conformancesuite.h"
#include "tests/support/testchips.h"
#include "tests/support/virtualclock.h"

#include <QCoreApplication>

using namespace korvane;

namespace {

class SimulatedRig : public ConformanceRig
{
public:
    explicit SimulatedRig(ConformanceChip which) : which(which)
    {
        auto backend = std::make_unique<SimulatedAdapter>(virtualClock);
        simulation = backend.get();
        simulation->setAdapterCount(1);
        chipUnderTest = simulation->attachChip(0, 0x00, createSimulatedChip(conformanceModel(which), virtualClock));
        registry.add(std::move(backend));
    }

    AdapterLibrary& library() override { return registry; }
    Clock& clock() override { return virtualClock; }
    CHIP_INFO chip() const override { return conformanceRecord(which); }
    std::vector<std::uint8_t>& memory() override { return chipUnderTest->contents(); }
    SimulatedChip* simulatedChip() override { return chipUnderTest; }
    void breakAfter(int transfers) override { simulation->breakLinkAfter(0, transfers); }

private:
    ConformanceChip which;
    VirtualClock virtualClock;
    AdapterRegistry registry;
    SimulatedAdapter* simulation = nullptr;
    SimulatedChip* chipUnderTest = nullptr;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    return runConformanceSuite(argc, argv, [](ConformanceChip which) { return std::make_unique<SimulatedRig>(which); });
}
