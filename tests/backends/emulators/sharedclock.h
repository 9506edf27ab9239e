#pragma once

#include "core/base/clock.h"

#include <atomic>
#include <cstdint>

namespace korvane {
}
using namespace korvane;

// A virtual clock that a firmware thread may read while the test's thread sleeps on it: sleep
// advances time at once, as VirtualClock's does.
class SharedVirtualClock : public Clock
{
public:
    void sleep(int ms) override
    {
        if (ms > 0)
            now.fetch_add(static_cast<std::int64_t>(ms) * 1000000);
    }
    std::int64_t nowNanoseconds() const override { return now.load(); }

private:
    std::atomic<std::int64_t> now{0};
};
