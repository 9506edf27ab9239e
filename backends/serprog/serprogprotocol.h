#pragma once

#include <cstdint>

namespace korvane {

// The serprog serial protocol (version 1): one command byte and its parameters from the host, ACK
// and the answer or NAK from the firmware; multibyte values little-endian, lengths 24-bit.
namespace Serprog {

constexpr std::uint8_t Ack = 0x06;
constexpr std::uint8_t Nak = 0x15;

constexpr std::uint8_t Nop = 0x00;
constexpr std::uint8_t QueryInterface = 0x01;    // ACK + 16-bit version
constexpr std::uint8_t QueryCommandMap = 0x02;   // ACK + 32 bytes, bit n = command n
constexpr std::uint8_t QueryName = 0x03;         // ACK + 16 bytes, NUL-padded
constexpr std::uint8_t QuerySerialBuffer = 0x04; // ACK + 16-bit size
constexpr std::uint8_t QueryBusTypes = 0x05;     // ACK + 8-bit mask
constexpr std::uint8_t QueryWriteMax = 0x08;     // ACK + 24-bit (0 = 2^24)
constexpr std::uint8_t SyncNop = 0x10;           // NAK + ACK
constexpr std::uint8_t QueryReadMax = 0x11;      // ACK + 24-bit (0 = 2^24)
constexpr std::uint8_t SetBusType = 0x12;        // 8-bit mask -> ACK / NAK
constexpr std::uint8_t SpiOperation = 0x13;  // 24-bit slen, 24-bit rlen, slen bytes -> ACK + rlen bytes / NAK
constexpr std::uint8_t SetSpiClock = 0x14;   // 32-bit Hz -> ACK + 32-bit Hz set / NAK
constexpr std::uint8_t SetPinState = 0x15;   // 8-bit, 0 drivers off -> ACK / NAK
constexpr std::uint8_t SetChipSelect = 0x16; // 8-bit chip select -> ACK / NAK

constexpr std::uint8_t BusSpi = 0x08;
constexpr std::uint16_t InterfaceVersion = 1;
constexpr int CommandMapSize = 32;
constexpr int NameSize = 16;
constexpr std::uint32_t MaxLength = (1u << 24) - 1; // what a 24-bit length field holds
constexpr int SpiOperationHeader = 7;               // command byte and the two lengths

inline bool hasCommand(const std::uint8_t (&map)[CommandMapSize], std::uint8_t command)
{
    return (map[command / 8] >> (command % 8)) & 1;
}

} // namespace Serprog

} // namespace korvane
