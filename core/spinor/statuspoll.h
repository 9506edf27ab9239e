#pragma once

#include <cstdint>
#include <functional>

namespace korvane {

// The outcome of waiting for a chip's busy bit to clear.
enum class PollResult
{
    Ready,     // the busy bit read clear
    Busy,      // the wait's bound was reached while the chip was still busy
    ReadFailed // a status read failed
};

// Waits for the busy bit (bit 0 of the status register) to clear: reads the status, and while it
// is busy asks wait() whether to go on (wait sleeps, counts and bounds as its caller needs) and
// reads again. Every wait in the program for a program, erase or status write ends here.
//
// readStatus: one status read into *status; false when the read failed.
PollResult pollUntilReady(const std::function<bool(std::uint8_t* status)>& readStatus,
                          const std::function<bool()>& wait);

} // namespace korvane
