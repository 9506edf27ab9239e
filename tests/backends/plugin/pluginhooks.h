#pragma once

#include "core/base/clock.h"

#include <QLibrary>

#include <cstdint>
#include <vector>

namespace korvane {
}
using namespace korvane;

// The test hooks of the simulated plug-in (tests/backends/plugin/simplugin.cpp), resolved from the
// same library the backend loaded: the chips, the clock and the link behind the library.
class PluginHooks : public Clock
{
public:
    explicit PluginHooks(const QString& path) : library(path)
    {
        if (!library.load())
            qFatal("%s", qPrintable(library.errorString()));
        reset = reinterpret_cast<void (*)()>(library.resolve("korvaneSimReset"));
        memory = reinterpret_cast<void* (*)(std::int32_t)>(library.resolve("korvaneSimChipMemory"));
        breakAfter = reinterpret_cast<void (*)(std::int32_t)>(library.resolve("korvaneSimBreakAfter"));
        sleeper = reinterpret_cast<void (*)(std::int32_t)>(library.resolve("korvaneSimSleep"));
        clockNow = reinterpret_cast<std::int64_t (*)()>(library.resolve("korvaneSimNow"));
        if (!reset || !memory || !breakAfter || !sleeper || !clockNow)
            qFatal("the simulated plug-in lacks its test hooks");
    }

    std::vector<std::uint8_t>& chipMemory(int selector)
    {
        return *static_cast<std::vector<std::uint8_t>*>(memory(selector));
    }

    // The library's own clock.
    void sleep(int ms) override { sleeper(ms); }
    std::int64_t nowNanoseconds() const override { return clockNow(); }

    void (*reset)() = nullptr;
    void* (*memory)(std::int32_t) = nullptr;
    void (*breakAfter)(std::int32_t) = nullptr;

private:
    QLibrary library;
    void (*sleeper)(std::int32_t) = nullptr;
    std::int64_t (*clockNow)() = nullptr;
};
