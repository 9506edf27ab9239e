#include "backends/simulated/simulatedchip.h"

#include "core/base/clock.h"
#include "core/base/largebuffer.h"
#include "core/spinor/spinor.h"

#include <algorithm>
#include <cstring>

namespace korvane {

namespace {

constexpr std::uint32_t kSixteenMiB = 16u << 20;
constexpr std::uint32_t kSfdpTableAddress = 0x80;
constexpr int kSfdpTableDwords = 16;

void putDword(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

int log2Floor(std::uint64_t value)
{
    int n = 0;
    while (value > 1) {
        value >>= 1;
        ++n;
    }
    return n;
}

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
    std::uint8_t key[3] = {0xFF, 0xFF, 0xFF};
    std::copy(id.begin(), id.begin() + std::min<std::size_t>(id.size(), 3), key);
    layout = statusLayoutFor(key);
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
    return static_cast<std::uint8_t>((statusValues[0] & 0xFC) | (writeEnableLatch ? kStatusWriteEnabled : 0) |
                                     (isBusy() ? kStatusBusy : 0));
}

std::uint8_t SimulatedChip::statusRegister(int index) const
{
    if (index < 0 || index >= layout.registerCount)
        return 0xFF;
    return index == 0 ? static_cast<std::uint8_t>(statusValues[0] & 0xFC) : statusValues[index];
}

std::uint8_t SimulatedChip::nonVolatileStatus(int index) const
{
    if (index < 0 || index >= layout.registerCount)
        return 0xFF;
    return index == 0 ? static_cast<std::uint8_t>(lasting[0] & 0xFC) : lasting[index];
}

void SimulatedChip::setStatusRegister(int index, std::uint8_t value)
{
    if (index < 0 || index >= layout.registerCount)
        return;
    if (index == 0)
        value &= 0xFC;
    statusValues[index] = lasting[index] = value;
}

void SimulatedChip::powerCycle()
{
    std::copy(lasting, lasting + kMaxStatusRegisters, statusValues);
    writeEnableLatch = false;
    volatileArmed = false;
    fourByteMode = false;
}

bool SimulatedChip::statusWritable() const
{
    bool quad = false;
    switch (layout.scheme) {
    case ProtectionScheme::Bp4ConfigTb:
        quad = (statusValues[0] & SpiNor::StatusQeInSr1) != 0;
        break;
    case ProtectionScheme::Bp3TbSecCmp:
    case ProtectionScheme::Bp4TbCmp:
        if (statusValues[1] & SpiNor::Status2Srl)
            return false;
        quad = (statusValues[1] & SpiNor::Status2Qe) != 0;
        break;
    case ProtectionScheme::Unknown:
        break;
    }
    // With QE set /WP is a data line and protects nothing.
    return !((statusValues[0] & SpiNor::StatusSrp) && wpLow && !quad);
}

Protection SimulatedChip::protection() const
{
    StatusLayout rules = layout;
    // A chip of no known family still protects, as the common three-bit parts do.
    if (!rules.known())
        rules.scheme = ProtectionScheme::Bp3TbSecCmp;
    return protectionOf(rules, statusValues, layout.registerCount, memorySize);
}

bool SimulatedChip::isProtected(std::uint64_t start, std::uint64_t end) const
{
    return protection().overlaps(start, end);
}

int SimulatedChip::registerReadBy(std::uint8_t opcode) const
{
    for (int i = 1; i < layout.registerCount; ++i) {
        if (layout.registers[i].readOpcode == opcode)
            return i;
    }
    return -1;
}

int SimulatedChip::registerWrittenBy(std::uint8_t opcode) const
{
    for (int i = 1; i < layout.registerCount; ++i) {
        if (layout.registers[i].writeOpcode == opcode)
            return i;
    }
    return -1;
}

void SimulatedChip::writeStatus(int index, std::uint8_t value, bool volatileOnly)
{
    const std::uint8_t mask = layout.registers[index].writableMask;
    statusValues[index] = static_cast<std::uint8_t>((statusValues[index] & ~mask) | (value & mask));
    if (!volatileOnly) {
        lasting[index] = static_cast<std::uint8_t>((lasting[index] & ~mask) | (value & mask));
        changes.status = true;
    }
}

std::vector<std::uint8_t> SimulatedChip::sfdpTable() const
{
    if (!sfdpPresent)
        return {};
    std::vector<std::uint8_t> table(kSfdpTableAddress + 4 * kSfdpTableDwords, 0xFF);
    // Header: signature, revision 1.6, one parameter header, legacy access protocol.
    const std::uint8_t header[] = {'S', 'F', 'D', 'P', 6, 1, 0, 0xFF};
    std::copy(std::begin(header), std::end(header), table.begin());
    // The basic flash parameter table's header: ID FF00, revision 1.6, 16 words at 0x80.
    const std::uint8_t parameter[] = {0x00, 6, 1, kSfdpTableDwords, kSfdpTableAddress, 0, 0, 0xFF};
    std::copy(std::begin(parameter), std::end(parameter), table.begin() + 8);

    std::uint32_t words[kSfdpTableDwords] = {};
    const std::uint32_t addressing = has4ByteMode ? 1 : 0;
    // 4 KiB erase with 20, page buffer of 64 bytes or more, reserved bits set.
    words[0] = 0xFF800000u | addressing << 17 | std::uint32_t(SpiNor::SectorErase4K) << 8 | 0xE5;
    const std::uint64_t bits = std::uint64_t(memorySize) * 8;
    words[1] = bits <= 0x80000000u ? static_cast<std::uint32_t>(bits - 1) : 0x80000000u | log2Floor(bits);
    words[7] = std::uint32_t(SpiNor::BlockErase32K) << 24 | 15u << 16 |
               std::uint32_t(SpiNor::SectorErase4K) << 8 | 12;
    words[8] = std::uint32_t(SpiNor::BlockErase64K) << 8 | 16;
    words[10] = std::uint32_t(log2Floor(page)) << 4;
    // Quad enable: bit 1 of SR2 written by a two-byte 01, or bit 6 of SR1.
    const std::uint32_t qer = layout.scheme == ProtectionScheme::Bp4ConfigTb ? 2
                              : layout.registerCount >= 2                    ? 4
                                                                             : 0;
    words[14] = qer << 20;
    words[15] = layout.volatileWriteEnable ? 0x08 : 0x01;
    for (int i = 0; i < kSfdpTableDwords; ++i)
        putDword(table, kSfdpTableAddress + 4 * i, words[i]);
    return table;
}

SimulatedChip::Changes SimulatedChip::takeChanges()
{
    const Changes taken = changes;
    changes = Changes{};
    return taken;
}

void SimulatedChip::changed(std::uint32_t begin, std::uint32_t end)
{
    if (changes.end <= changes.begin) {
        changes.begin = begin;
        changes.end = end;
    } else {
        changes.begin = std::min(changes.begin, begin);
        changes.end = std::max(changes.end, end);
    }
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
    if (first < last)
        changed(base, base + page);
    ++programs;
}

void SimulatedChip::eraseRange(std::uint32_t address, std::uint32_t blockSize)
{
    const std::uint32_t base = blockSize >= memory.size() ? 0 : address - address % blockSize;
    const std::size_t end = std::min<std::size_t>(static_cast<std::size_t>(base) + blockSize, memory.size());
    std::memset(memory.data() + base, 0xFF, end - base);
    changed(base, static_cast<std::uint32_t>(end));
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
    if (mute) {
        std::fill(receive, receive + receiveCount, restingByte);
        return;
    }
    // What the chip drives on MISO unless a command says otherwise: nothing, so the line reads high.
    int driven = 0;
    auto mosi = [&](int position) -> std::uint8_t { return position < sendCount ? send[position] : 0xFF; };
    auto address = [&](int width) {
        std::uint32_t value = 0;
        for (int i = 1; i <= width; ++i)
            value = (value << 8) | mosi(i);
        return value;
    };

    const bool statusRead = sendCount > 0 && (send[0] == SpiNor::ReadStatus1 || registerReadBy(send[0]) > 0);
    if (sendCount > 0 && (statusRead || !isBusy())) {
        array();
        const std::uint8_t op = send[0];
        const int width = addressBytes();
        // 50 counts for the status write right behind it only.
        const bool volatileWrite = volatileArmed;
        volatileArmed = false;
        switch (op) {
        case SpiNor::ReadStatus1: {
            const std::uint8_t value = status();
            std::fill(receive, receive + receiveCount, value);
            driven = receiveCount;
            break;
        }
        case SpiNor::ReadStatus2:
        case SpiNor::ReadStatus3: {
            const int index = registerReadBy(op);
            if (index > 0) {
                std::fill(receive, receive + receiveCount, statusValues[index]);
                driven = receiveCount;
            }
            break;
        }
        case SpiNor::VolatileStatusWriteEnable:
            if (layout.volatileWriteEnable && total == 1)
                volatileArmed = true;
            break;
        case SpiNor::ReadSfdp: {
            const int header = 1 + SpiNor::SfdpAddressBytes + SpiNor::SfdpDummyBytes;
            const std::vector<std::uint8_t> table = sfdpTable();
            if (table.empty())
                break;
            std::uint64_t at = address(SpiNor::SfdpAddressBytes);
            for (int j = 0; j < receiveCount; ++j) {
                const int position = sendCount + j;
                receive[j] = position < header ? 0xFF
                             : at + (position - header) < table.size()
                                 ? table[static_cast<std::size_t>(at + (position - header))]
                                 : 0xFF;
            }
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
        case SpiNor::WriteStatus2:
        case SpiNor::WriteStatus3: {
            const int index = op == SpiNor::WriteStatus1 ? 0 : registerWrittenBy(op);
            // 01 takes a second byte for the next register where there is one.
            const bool secondByte = op == SpiNor::WriteStatus1 && total == 3 && layout.registerCount >= 2;
            if (index < 0 || !(writeEnableLatch || volatileWrite) || !(total == 2 || secondByte))
                break;
            if (statusWritable()) {
                writeStatus(index, mosi(1), volatileWrite);
                if (secondByte)
                    writeStatus(1, mosi(2), volatileWrite);
                if (!volatileWrite)
                    startBusy(busyTiming.writeStatusNs);
            }
            writeEnableLatch = false;
            break;
        }
        case SpiNor::PageProgram: {
            const int header = 1 + width;
            if (writeEnableLatch && total > static_cast<std::uint64_t>(header)) {
                const std::uint32_t at = wrap(address(width));
                writeEnableLatch = false;
                if (isProtected(at - at % page, at - at % page + page)) {
                    ++refused;
                    break;
                }
                program(at, send, sendCount, header, total - header);
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
                const std::uint32_t at = wrap(address(width));
                const std::uint64_t base = block >= memorySize ? 0 : at - at % block;
                writeEnableLatch = false;
                if (isProtected(base, base + block)) {
                    ++refused;
                    break;
                }
                eraseRange(at, block);
                const std::int64_t own = block == 0x8000    ? busyTiming.blockErase32kNs
                                         : block == 0x10000 ? busyTiming.blockErase64kNs
                                                            : -1;
                startBusy(own >= 0 ? own : busyTiming.sectorEraseNs);
            }
            break;
        case SpiNor::ChipErase:
        case SpiNor::ChipEraseAlt:
            if (writeEnableLatch && total == 1) {
                writeEnableLatch = false;
                // A chip erase is not carried out while any part is protected.
                if (protection().any) {
                    ++refused;
                    break;
                }
                std::fill(memory.begin(), memory.end(), 0xFF);
                changed(0, memorySize);
                ++erases;
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
    // Options after the model: "+wp" holds /WP low, "+nosfdp" leaves the SFDP table out, "+nopower"
    // and "+misolow" make a chip that does not answer.
    const std::size_t plus = modelName.find('+');
    if (plus != std::string::npos) {
        auto chip = createSimulatedChip(modelName.substr(0, plus), clock);
        std::size_t from = plus + 1;
        while (chip && from <= modelName.size()) {
            const std::size_t next = std::min(modelName.find('+', from), modelName.size());
            const std::string option = modelName.substr(from, next - from);
            if (option == "wp")
                chip->setWriteProtectPin(true);
            else if (option == "nosfdp")
                chip->setHasSfdp(false);
            else if (option == "nopower")
                chip->setSilent(true, 0xFF);
            else if (option == "misolow")
                chip->setSilent(true, 0x00);
            else
                chip.reset();
            from = next + 1;
        }
        return chip;
    }
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

} // namespace korvane
