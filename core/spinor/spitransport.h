#pragma once

#include "core/adapter/spiframe.h"

#include <cstdint>

namespace korvane {

// One chip select's worth of an adapter: what the SPI NOR engine needs and nothing more.
class SpiTransport
{
public:
    virtual ~SpiTransport() = default;
    // One transfer framed by chip select: sends sendCount bytes, then clocks in receiveCount
    // bytes. An AdapterResult code (0 on success).
    virtual int transfer(const std::uint8_t* send, int sendCount, std::uint8_t* receive,
                         int receiveCount) = 0;
    // Several frames in a row, stopping at the first that fails. Transports that can queue them
    // send them in one go, so that an instruction and the status reads behind it cost one round
    // trip.
    virtual int transferFrames(const SpiFrame* frames, int count)
    {
        for (int i = 0; i < count; ++i) {
            if (const int result =
                    transfer(frames[i].send, frames[i].sendCount, frames[i].receive, frames[i].receiveCount))
                return result;
        }
        return 0;
    }
    // The largest frame the transport takes.
    virtual SpiTransferLimits limits() const { return SpiTransferLimits{}; }
    // Whether the last frame on this chip select was a status read that found the chip ready, with
    // nothing sent since: a chip does not turn busy by itself, so it still is, and a command may
    // start without asking again. A transport that cannot tell says no.
    virtual bool chipKnownReady() const { return false; }
};

} // namespace korvane
