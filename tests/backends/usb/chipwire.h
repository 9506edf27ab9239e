#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace korvane {
}
using namespace korvane;

namespace korvane {
class SimulatedChip;
}
// The SPI wires between an emulated programmer and simulated chips: chip selects, and bytes clocked
// in both directions at once, as the programmer's pins see them. Each frame (chip select low to
// high) becomes one transaction of the chip. Reads (9F, 05, 03, 0B) are answered byte by byte as
// they are clocked; any other instruction drives nothing and is carried out when chip select goes
// high, as real parts do.
class ChipWire
{
public:
    using Violation = std::function<void(const std::string&)>;
    explicit ChipWire(Violation violation) : violation(std::move(violation)) {}

    // The chip behind chip select line cs (null: nothing there).
    void attach(int cs, SimulatedChip* chip);

    // Chip select cs low. Taking a second one while one is low is a violation.
    void select(int cs);
    // Every chip select high: the frame ends.
    void release();
    int selected() const { return current; }

    // Clocks count bytes: mosi null sends 0xFF; miso null throws the answer away. Clocking with no
    // chip select low is a violation. An instruction the chip does not know (bits in the wrong
    // order, most likely) is one too.
    void clock(const std::uint8_t* mosi, std::uint8_t* miso, int count);

    // Frames begun so far.
    long long frames() const { return frameCount; }
    long long bytesClocked() const { return clocked; }
    // Called as each frame begins, with the number of frames before it.
    std::function<void(long long)> onFrameStart;
    // When set, each frame appends the bytes clocked out in it as it ends.
    std::vector<std::vector<std::uint8_t>>* frameLog = nullptr;

private:
    std::uint8_t answer(std::size_t position);

    Violation violation;
    std::vector<SimulatedChip*> chips;
    int current = -1;
    std::vector<std::uint8_t> mosiLog; // this frame's bytes
    std::size_t commandEnd = 0;        // after the last byte that was not 0xFF
    std::vector<std::uint8_t> answers; // the chip's answer after mosiLog[0, answersFor)
    std::size_t answersFor = SIZE_MAX;
    long long frameCount = 0;
    long long clocked = 0;
};
