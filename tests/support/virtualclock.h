#pragma once

#include "core/base/clock.h"

namespace korvane {
}
using namespace korvane;

// Test clock: sleep advances time at once, so long poll loops cost no real time.
class VirtualClock : public Clock
{
public:
    void sleep(int ms) override
    {
        ++sleepCount;
        totalSleptMs += ms;
        if (ms > 0)
            now += static_cast<std::int64_t>(ms) * 1000000;
    }
    std::int64_t nowNanoseconds() const override { return now; }

    void advanceNanoseconds(std::int64_t ns) { now += ns; }

    std::int64_t now = 0;
    int sleepCount = 0;
    std::int64_t totalSleptMs = 0;
};
