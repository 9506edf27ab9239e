#pragma once

#include <climits>
#include <cstdint>

// One chip-select frame: sendCount bytes out, then receiveCount bytes in, chip select held across
// both.
struct SpiFrame
{
    const std::uint8_t* send = nullptr;
    int sendCount = 0;
    std::uint8_t* receive = nullptr;
    int receiveCount = 0;
};

// The largest frame an adapter takes. An instruction with its address must fit in maxSend; the
// SPI NOR engine splits reads and page programs to fit, and refuses before touching the chip what
// cannot be split.
struct SpiTransferLimits
{
    int maxSend = INT_MAX;    // bytes sent in one frame
    int maxReceive = INT_MAX; // bytes received in one frame

    bool unlimited() const { return maxSend == INT_MAX && maxReceive == INT_MAX; }
};
