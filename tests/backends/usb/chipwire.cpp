#include "tests/backends/usb/chipwire.h"

#include "backends/simulated/simulatedchip.h"
#include "core/spinor/spinor.h"

#include <algorithm>
#include <cstdio>

using namespace korvane;

namespace {

bool answersAsClocked(std::uint8_t op)
{
    return op == SpiNor::ReadJedecId || op == SpiNor::ReadStatus1 || op == SpiNor::Read ||
           op == SpiNor::FastRead;
}

// Instructions the simulated parts know, and a few every SPI NOR part has.
bool knownInstruction(std::uint8_t op)
{
    static const std::uint8_t known[] = {0x9F, 0x05, 0x03, 0x0B, 0x06, 0x04, 0x01, 0x02, 0x20, 0x52,
                                         0xD8, 0xC7, 0x60, 0xB7, 0xE9, 0x35, 0x15, 0x5A, 0x90, 0xAB};
    return std::find(std::begin(known), std::end(known), op) != std::end(known);
}

std::string hex(int value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
    return text;
}

} // namespace

void ChipWire::attach(int cs, SimulatedChip* chip)
{
    if (cs >= static_cast<int>(chips.size()))
        chips.resize(static_cast<std::size_t>(cs) + 1, nullptr);
    chips[static_cast<std::size_t>(cs)] = chip;
}

void ChipWire::select(int cs)
{
    if (current >= 0 && current != cs) {
        violation("chip select " + std::to_string(cs) + " taken while " + std::to_string(current) +
                  " is still low");
        release();
    }
    if (current == cs)
        return;
    if (onFrameStart)
        onFrameStart(frameCount);
    ++frameCount;
    current = cs;
    mosiLog.clear();
    commandEnd = 0;
    answersFor = SIZE_MAX;
}

void ChipWire::release()
{
    if (current < 0)
        return;
    SimulatedChip* chip =
        current < static_cast<int>(chips.size()) ? chips[static_cast<std::size_t>(current)] : nullptr;
    if (chip && !mosiLog.empty() && !answersAsClocked(mosiLog[0]))
        chip->transfer(mosiLog.data(), static_cast<int>(mosiLog.size()), nullptr, 0);
    if (frameLog != nullptr)
        frameLog->push_back(mosiLog);
    current = -1;
    mosiLog.clear();
}

std::uint8_t ChipWire::answer(std::size_t position)
{
    SimulatedChip* chip =
        current < static_cast<int>(chips.size()) ? chips[static_cast<std::size_t>(current)] : nullptr;
    // Nothing drives MISO during the instruction byte, nor for instructions that answer nothing.
    if (chip == nullptr || mosiLog.empty() || !answersAsClocked(mosiLog[0]))
        return 0xFF;
    // A read: the chip saw mosiLog[0, commandEnd) and idle bytes since, which is what it would see
    // as the receive phase of that command. Answers are computed ahead, doubling, and only again
    // when a non-idle byte changed the command.
    const std::size_t offset = position - commandEnd;
    if (answersFor != commandEnd || offset >= answers.size()) {
        const std::size_t length = std::max<std::size_t>(64, 2 * (offset + 1));
        answers.assign(length, 0xFF);
        chip->transfer(mosiLog.data(), static_cast<int>(commandEnd), answers.data(),
                       static_cast<int>(length));
        answersFor = commandEnd;
    }
    return answers[offset];
}

void ChipWire::clock(const std::uint8_t* mosi, std::uint8_t* miso, int count)
{
    if (count <= 0)
        return;
    if (current < 0) {
        violation(std::to_string(count) + " byte(s) clocked with no chip select low");
        if (miso)
            std::fill(miso, miso + count, 0xFF);
        return;
    }
    for (int i = 0; i < count; ++i) {
        const std::uint8_t out = mosi ? mosi[i] : 0xFF;
        if (mosiLog.empty() && !knownInstruction(out))
            violation("instruction " + hex(out) + " is none a SPI NOR chip knows (bit order?)");
        const std::uint8_t in = answer(mosiLog.size());
        mosiLog.push_back(out);
        if (out != 0xFF)
            commandEnd = mosiLog.size();
        if (miso)
            miso[i] = in;
    }
    clocked += count;
}
