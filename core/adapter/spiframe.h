#pragma once

#include <climits>
#include <cstdint>

namespace korvane {

// One chip-select frame: sendCount bytes out, then receiveCount bytes in, chip select held across
// both.
struct SpiFrame
{
    const std::uint8_t* send = nullptr;
    int sendCount = 0;
    std::uint8_t* receive = nullptr;
    int receiveCount = 0;
};

// Whether count frames can be sent as they are: none negative, and every buffer there where bytes
// go to or come from it.
inline bool validFrames(const SpiFrame* frames, int count)
{
    if (count < 0 || (count > 0 && frames == nullptr))
        return false;
    for (int i = 0; i < count; ++i) {
        const SpiFrame& frame = frames[i];
        if (frame.sendCount < 0 || frame.receiveCount < 0 || (frame.sendCount > 0 && frame.send == nullptr) ||
            (frame.receiveCount > 0 && frame.receive == nullptr))
            return false;
    }
    return true;
}

// The largest frame an adapter takes. An instruction with its address must fit in maxSend; the
// SPI NOR engine splits reads and page programs to fit, and refuses before touching the chip what
// cannot be split.
//
// statusReadNs says how far apart status reads queued one behind the other in a batch reach the
// chip on this adapter (their bytes, the chip-select edges between them and the packets or line
// time that carry them), so that the engine can queue enough of them behind a page program to
// span its program time. 0 when the adapter cannot say.
struct SpiTransferLimits
{
    int maxSend = INT_MAX;    // bytes sent in one frame
    int maxReceive = INT_MAX; // bytes received in one frame
    std::int64_t statusReadNs = 0;

    bool unlimited() const { return maxSend == INT_MAX && maxReceive == INT_MAX; }
};

} // namespace korvane
