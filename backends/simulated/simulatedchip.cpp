#include "backends/simulated/simulatedchip.h"

#include "core/base/clock.h"
#include "core/base/largebuffer.h"
#include "core/spinor/spinor.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint32_t kSixteenMiB = 16u << 20;

} // namespace

SimulatedChip::SimulatedChip(Clock& clock, std::vector<std::uint8_t> jedecId, std::uint32_t size,
                             std::uint32_t pageSize)
    : SimulatedChip(clock, std::move(jedecId), size, pageSize, size > kSixteenMiB)
{
}

SimulatedChip::SimulatedChip(Clock& clock, std::vector<std::uint8_t> jedecId, std::uint32_t size,
                             std::uint32_t pageSize, bool supports4ByteAddressing)
    : clock(clock), id(std::move(jedecId)), page(std::max<std::uint32_t>(pageSize, 1)),
      has4ByteMode(supports4ByteAddressing)
{
    if (id.size() > 16)
        id.resize(16);
    // Whole pages only, so that a page never runs past the end of the array.
    const std::uint64_t pages =
        std::max<std::uint64_t>((static_cast<std::uint64_t>(size) + page - 1) / page, 1);
    memorySize = static_cast<std::uint32_t>(std::min<std::uint64_t>(pages * page, 0xFFFFFFFFu / page * page));
}

std::vector<std::uint8_t>& SimulatedChip::array() const
{
    if (memory.empty()) {
        memory.reserve(memorySize);
        adviseHugePages(memory.data(), memorySize);
        memory.assign(memorySize, 0xFF);
    }
    return memory;
}

bool SimulatedChip::isBusy() const
{
    if (keptBusy)
        return true;
    if (busyUntilNs == 0)
        return false;
    if (clock.nowNanoseconds() < busyUntilNs)
        return true;
    busyUntilNs = 0;
    return false;
}

std::uint8_t SimulatedChip::status() const
{
    return static_cast<std::uint8_t>(statusBits | (writeEnableLatch ? kStatusWriteEnabled : 0) |
                                     (isBusy() ? kStatusBusy : 0));
}

void SimulatedChip::setBusyFor(std::int64_t ns)
{
    busyUntilNs = 0;
    startBusy(ns);
}

void SimulatedChip::startBusy(std::int64_t ns)
{
    // A busy time of 0 leaves the chip ready at once; the clock is not consulted then.
    if (ns > 0)
        busyUntilNs = std::max<std::int64_t>(clock.nowNanoseconds() + ns, 1);
}

std::uint32_t SimulatedChip::wrap(std::uint64_t address) const
{
    return static_cast<std::uint32_t>(address % memorySize);
}

void SimulatedChip::readOut(std::uint32_t address, std::uint8_t* out, std::size_t count) const
{
    // The read address runs on past the end of the array into its start, as on real parts.
    while (count > 0) {
        const std::size_t run = std::min<std::size_t>(count, memory.size() - address);
        std::memcpy(out, memory.data() + address, run);
        out += run;
        count -= run;
        address = 0;
    }
}

void SimulatedChip::program(std::uint32_t address, const std::uint8_t* send, int sendCount, int header,
                            std::uint64_t dataCount)
{
    const std::uint32_t base = address - address % page;
    const std::uint32_t offset = address % page;
    // The page buffer keeps the last page-size bytes clocked in; each wraps inside the page.
    const std::uint64_t first = dataCount > page ? dataCount - page : 0;
    // Bytes clocked in after the send phase are 0xFF and leave the array as it is.
    const std::uint64_t sentData = sendCount > header ? static_cast<std::uint64_t>(sendCount - header) : 0;
    const std::uint64_t last = std::min(dataCount, sentData);
    std::uint8_t* pageStart = memory.data() + base;
    std::uint64_t k = first;
    while (k < last) {
        const std::uint32_t index = static_cast<std::uint32_t>((offset + k) % page);
        const std::uint64_t run = std::min<std::uint64_t>(last - k, page - index);
        const std::uint8_t* src = send + header + k;
        std::uint8_t* dst = pageStart + index;
        for (std::uint64_t i = 0; i < run; ++i)
            dst[i] &= src[i];
        k += run;
    }
    ++programs;
}

void SimulatedChip::eraseRange(std::uint32_t address, std::uint32_t blockSize)
{
    const std::uint32_t base = blockSize >= memory.size() ? 0 : address - address % blockSize;
    const std::size_t end = std::min<std::size_t>(static_cast<std::size_t>(base) + blockSize, memory.size());
    std::memset(memory.data() + base, 0xFF, end - base);
    ++erases;
}

void SimulatedChip::transfer(const std::uint8_t* send, int sendCount, std::uint8_t* receive, int receiveCount)
{
    if (send == nullptr || sendCount < 0)
        sendCount = 0;
    // Bytes clocked in count for the command even when the caller keeps none of them.
    const std::uint64_t total =
        static_cast<std::uint64_t>(sendCount) + static_cast<std::uint64_t>(std::max(receiveCount, 0));
    if (receive == nullptr || receiveCount < 0)
        receiveCount = 0;
    // What the chip drives on MISO unless a command says otherwise: nothing, so the line reads high.
    int driven = 0;
    auto mosi = [&](int position) -> std::uint8_t { return position < sendCount ? send[position] : 0xFF; };
    auto address = [&](int width) {
        std::uint32_t value = 0;
        for (int i = 1; i <= width; ++i)
            value = (value << 8) | mosi(i);
        return value;
    };

    if (sendCount > 0 && (send[0] == SpiNor::ReadStatus1 || !isBusy())) {
        array();
        const std::uint8_t op = send[0];
        const int width = addressBytes();
        switch (op) {
        case SpiNor::ReadStatus1: {
            const std::uint8_t value = status();
            std::fill(receive, receive + receiveCount, value);
            driven = receiveCount;
            break;
        }
        case SpiNor::ReadJedecId:
            // Received byte j is clock position sendCount + j; the ID starts at position 1.
            for (int j = 0; j < receiveCount; ++j) {
                const std::size_t index = static_cast<std::size_t>(sendCount) + j - 1;
                receive[j] = index < id.size() ? id[index] : 0xFF;
            }
            driven = receiveCount;
            break;
        case SpiNor::Read:
        case SpiNor::FastRead: {
            const int header = 1 + width + (op == SpiNor::FastRead ? 1 : 0);
            const std::uint32_t start = wrap(address(width));
            // Receive positions still inside the command read high; data follows the header.
            const int idle = std::min(receiveCount, std::max(header - sendCount, 0));
            std::fill(receive, receive + idle, 0xFF);
            if (receiveCount > idle) {
                const std::uint64_t skipped = static_cast<std::uint64_t>(sendCount + idle - header);
                readOut(wrap(start + skipped), receive + idle, static_cast<std::size_t>(receiveCount - idle));
            }
            driven = receiveCount;
            break;
        }
        case SpiNor::WriteEnable:
            if (total == 1)
                writeEnableLatch = true;
            break;
        case SpiNor::WriteDisable:
            if (total == 1)
                writeEnableLatch = false;
            break;
        case SpiNor::WriteStatus1:
            if (writeEnableLatch && total == 2) {
                statusBits = mosi(1) & 0xFC;
                ++statusWrites;
                writeEnableLatch = false;
                startBusy(busyTiming.writeStatusNs);
            }
            break;
        case SpiNor::PageProgram: {
            const int header = 1 + width;
            if (writeEnableLatch && total > static_cast<std::uint64_t>(header)) {
                program(wrap(address(width)), send, sendCount, header, total - header);
                writeEnableLatch = false;
                startBusy(busyTiming.pageProgramNs);
            }
            break;
        }
        case SpiNor::SectorErase4K:
        case SpiNor::BlockErase32K:
        case SpiNor::BlockErase64K:
            if (writeEnableLatch && total == static_cast<std::uint64_t>(1 + width)) {
                const std::uint32_t block = op == SpiNor::SectorErase4K   ? 0x1000
                                            : op == SpiNor::BlockErase32K ? 0x8000
                                                                          : 0x10000;
                eraseRange(wrap(address(width)), block);
                writeEnableLatch = false;
                startBusy(busyTiming.sectorEraseNs);
            }
            break;
        case SpiNor::ChipErase:
        case SpiNor::ChipEraseAlt:
            if (writeEnableLatch && total == 1) {
                std::fill(memory.begin(), memory.end(), 0xFF);
                ++erases;
                writeEnableLatch = false;
                startBusy(busyTiming.chipEraseNs);
            }
            break;
        case SpiNor::Enter4ByteMode:
        case SpiNor::Exit4ByteMode:
            if (has4ByteMode && total == 1)
                fourByteMode = op == SpiNor::Enter4ByteMode;
            break;
        default:
            break;
        }
    }
    if (driven < receiveCount)
        std::fill(receive + driven, receive + receiveCount, 0xFF);
}

const std::vector<SimulatedChipModel>& simulatedChipModels()
{
    static const std::vector<SimulatedChipModel> models = {
        {"W25Q16", {0xEF, 0x40, 0x15}, 2u << 20},       {"W25Q32", {0xEF, 0x40, 0x16}, 4u << 20},
        {"W25Q64", {0xEF, 0x40, 0x17}, 8u << 20},       {"W25Q128", {0xEF, 0x40, 0x18}, 16u << 20},
        {"W25Q256", {0xEF, 0x40, 0x19}, 32u << 20},     {"MX25L6433F", {0xC2, 0x20, 0x17}, 8u << 20},
        {"MX25L12835F", {0xC2, 0x20, 0x18}, 16u << 20}, {"MX25L25645G", {0xC2, 0x20, 0x19}, 32u << 20},
        {"GD25Q16", {0xC8, 0x40, 0x15}, 2u << 20},      {"GD25Q32", {0xC8, 0x40, 0x16}, 4u << 20},
        {"GD25Q64", {0xC8, 0x40, 0x17}, 8u << 20},      {"GD25Q128", {0xC8, 0x40, 0x18}, 16u << 20},
    };
    return models;
}

std::unique_ptr<SimulatedChip> createSimulatedChip(const std::string& modelName, Clock& clock)
{
    auto lower = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
        return text;
    };
    const std::string wanted = lower(modelName);
    for (const SimulatedChipModel& model : simulatedChipModels()) {
        if (lower(model.name) == wanted)
            return std::make_unique<SimulatedChip>(
                clock, std::vector<std::uint8_t>(model.jedecId, model.jedecId + 3), model.size);
    }
    return nullptr;
}
