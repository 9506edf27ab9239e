#pragma once

#include <cstdint>

// One chip select's worth of an adapter: what the SPI NOR engine needs and nothing more.
class SpiTransport
{
public:
    virtual ~SpiTransport() = default;
    // One transfer framed by chip select: sends sendCount bytes, then clocks in receiveCount
    // bytes. An AdapterResult code (0 on success).
    virtual int transfer(const std::uint8_t* send, int sendCount, std::uint8_t* receive,
                         int receiveCount) = 0;
};
