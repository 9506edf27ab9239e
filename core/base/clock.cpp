#include "core/base/clock.h"

#include <QElapsedTimer>
#include <QThread>

namespace korvane {

struct SystemClock::Impl
{
    QElapsedTimer timer;
};

SystemClock::SystemClock() : impl(new Impl)
{
    impl->timer.start();
}

SystemClock::~SystemClock()
{
    delete impl;
}

void SystemClock::sleep(int ms)
{
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}

std::int64_t SystemClock::nowNanoseconds() const
{
    return impl->timer.nsecsElapsed();
}

} // namespace korvane
