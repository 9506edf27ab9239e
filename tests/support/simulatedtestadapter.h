#pragma once

#include "backends/simulated/simulatedadapter.h"
#include "backends/testing/recordingadapter.h"

#include <memory>

namespace korvane {
}
using namespace korvane;

// The simulated adapter behind the call log and fault injection, as most tests use it: adapter
// calls and the recorder through this object, the simulation's own controls (chips, connections,
// firmware) through sim().
class SimulatedTestAdapter : public RecordingAdapter
{
public:
    explicit SimulatedTestAdapter(std::unique_ptr<SimulatedAdapter> simulation)
        : RecordingAdapter(*simulation), simulation(std::move(simulation))
    {
    }
    explicit SimulatedTestAdapter(Clock& clock)
        : SimulatedTestAdapter(std::make_unique<SimulatedAdapter>(clock))
    {
    }

    SimulatedAdapter& sim() const { return *simulation; }

private:
    std::unique_ptr<SimulatedAdapter> simulation;
};

// The program's default simulation (two adapters, three chips) behind a recorder.
inline std::unique_ptr<SimulatedTestAdapter> createDefaultTestAdapter(Clock& clock)
{
    return std::make_unique<SimulatedTestAdapter>(createDefaultSimulatedAdapter(clock));
}
