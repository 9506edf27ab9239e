#pragma once

#include "core/operations/firmwareoperations.h"
#include "core/operations/flashoperations.h"

#include <QString>

#include <cstdint>
#include <cstdio>

namespace korvane {

class Clock;

// The progress of one operation as a line on standard error, rewritten in place: what is being
// done, how far it got, the rate and the time left. Silent when standard error is not a terminal
// or progress was switched off.
class ProgressLine : public OperationProgress, public UpgradeProgress
{
public:
    ProgressLine(Clock& clock, bool enabled, std::FILE* out = stderr);
    ~ProgressLine() override;

    // Starts a line for total units (bytes, or sectors when unit is not "bytes"); 0 for work
    // without a measure (a chip erase).
    void begin(const QString& action, std::int64_t total, bool bytes = true);
    // Ends the line (a newline once something was shown).
    void end();

    void advanced(std::int64_t done) override;
    void waiting() override;
    void stepStarted(UpgradeStep step, int value) override;
    void blockWritten(int value) override;

    // Whether standard error is a terminal the line can be drawn on.
    static bool terminalAttached(std::FILE* out);

private:
    void draw(bool force);

    Clock& clock;
    const bool enabled;
    std::FILE* out;
    QString action;
    std::int64_t total = 0;
    std::int64_t done = 0;
    bool bytes = true;
    bool shown = false;
    std::int64_t startNs = 0;
    std::int64_t lastDrawNs = 0;
};

} // namespace korvane
