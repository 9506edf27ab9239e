#pragma once

#include <cstdint>

namespace korvane {

// Time as the program sees it: sleeping between status polls and measuring how long an
// operation took. Plain C++ so that adapter backends can measure busy times on it too.
class Clock
{
public:
    virtual ~Clock() = default;

    virtual void sleep(int ms) = 0;
    // Monotonic time in nanoseconds from an arbitrary origin.
    virtual std::int64_t nowNanoseconds() const = 0;

    double secondsSince(std::int64_t startNanoseconds) const
    {
        return static_cast<double>(nowNanoseconds() - startNanoseconds) / 1e9;
    }
};

// The real clock: a monotonic timer and a blocking sleep.
class SystemClock : public Clock
{
public:
    SystemClock();
    ~SystemClock() override;
    void sleep(int ms) override;
    std::int64_t nowNanoseconds() const override;

private:
    struct Impl;
    Impl* impl;
};

} // namespace korvane
