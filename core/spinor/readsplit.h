#pragma once

#include <cstdint>

// A flash read an adapter cannot take in one chip-select frame is carried out as several, each
// starting with the read command again at the address where the one before stopped: an SPI NOR
// chip streams its array from any address. The transport backends whose frames are bounded (a
// serprog firmware's read length, the spidev buffer) learn the chip's read command from flashInit
// and split only transfers that are exactly that command.
struct ReadCommand
{
    std::uint8_t opcode = 0;
    int addressBytes = 0; // 0: unknown, nothing is split

    // Whether send is this command with its address (sendCount = 1 + addressBytes); *address
    // receives the address.
    bool matches(const std::uint8_t* send, int sendCount, std::uint32_t* address) const
    {
        if (addressBytes < 1 || addressBytes > 4 || sendCount != 1 + addressBytes || send == nullptr ||
            send[0] != opcode)
            return false;
        std::uint32_t value = 0;
        for (int i = 1; i <= addressBytes; ++i)
            value = (value << 8) | send[i];
        *address = value;
        return true;
    }

    // The command for address into out (5 bytes at most); its length.
    int encode(std::uint32_t address, std::uint8_t* out) const
    {
        out[0] = opcode;
        for (int i = 0; i < addressBytes; ++i)
            out[1 + i] = static_cast<std::uint8_t>(address >> (8 * (addressBytes - 1 - i)));
        return 1 + addressBytes;
    }
};
