// An adapter library loaded as a plug-in through the conformance suite: the simulated adapter built
// as a shared library (simplugin.cpp), reached as the front ends reach it, through the registry
// from "lib:PATH". The library does the flash work itself; the suite sees what it sees in-process.
#include "backends/backendtable.h"
#include "tests/backends/conformance/conformancesuite.h"
#include "tests/backends/plugin/pluginhooks.h"
#include "tests/support/testchips.h"
#include "tests/support/virtualclock.h"

#include <QCoreApplication>

using namespace korvane;

namespace {

class PluginRig : public ConformanceRig
{
public:
    PluginRig() : hooks(QStringLiteral(SIMPLUGIN_PATH))
    {
        hooks.reset();
        QString error;
        registry = createAdapterRegistry(hostClock, QStringLiteral("lib:" SIMPLUGIN_PATH), false, &error);
        if (!registry)
            qFatal("%s", qPrintable(error));
    }

    AdapterLibrary& library() override { return *registry; }
    Clock& clock() override { return hooks; }
    CHIP_INFO chip() const override { return conformanceRecord(ConformanceChip::Small); }
    std::vector<std::uint8_t>& memory() override { return hooks.chipMemory(0x00); }
    void breakAfter(int transfers) override { hooks.breakAfter(transfers); }

private:
    VirtualClock hostClock; // the registry's; the library keeps time on its own
    PluginHooks hooks;
    std::unique_ptr<AdapterRegistry> registry;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    // The library keeps its own chip, the small one.
    return runConformanceSuite(argc, argv, [](ConformanceChip which) {
        return which == ConformanceChip::Small ? std::make_unique<PluginRig>() : nullptr;
    });
}
