#include "flash/adapter/simulatedadapter.h"

#include "common/clock.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint32_t kMd5Size = 16;

std::size_t opIndex(AdapterOp op)
{
    for (std::size_t i = 0; i < std::size(kAllAdapterOps); ++i) {
        if (kAllAdapterOps[i] == op)
            return i;
    }
    return 0;
}

void copyText(char* field, std::size_t size, const char* text)
{
    std::memset(field, 0, size);
    std::strncpy(field, text, size - 1);
}

std::uint32_t packVersion(std::uint32_t major, std::uint32_t minor, std::uint32_t patch)
{
    return (major << 24) | (minor << 16) | (patch & 0xFFFF);
}

} // namespace

struct SimulatedAdapter::Device
{
    bool connected = false;
    bool open = false;
    bool upgradeMode = false;
    bool restarting = false;
    bool neverReappear = false;
    bool ignoreUpgradeJump = false;
    std::int64_t restartNs = std::int64_t{kDefaultRestartMs} * 1000000;
    std::int64_t backAtNs = 0; // on the clock: when a restart is over
    int restarts = 0;
    DEVICE_INFO info{};
    std::array<char, kDeviceFunctionsTextSize> functions{};
    // The application area and, per byte, whether it has been erased since it was last written.
    std::vector<std::uint8_t> area;
    std::vector<std::uint8_t> erased;
    // Whether the area holds an application that may be started: the one the adapter came with, or
    // an image whose MD5 check passed since the area was last changed.
    bool applicationValid = true;
    std::vector<std::uint8_t> checkedImage;
    std::vector<std::uint8_t> running;
    std::array<std::unique_ptr<SimulatedChip>, kSelectorSlots> chips;

    void ensureArea()
    {
        if (!area.empty())
            return;
        // The firmware the adapter came with: some code-like bytes, the rest of the area erased long ago
        // but not since this session started.
        area.assign(kApplicationAreaSize, 0xFF);
        std::uint32_t value = 0x2005F000u ^ info.SerialNumber[2];
        for (std::size_t i = 0; i < 48 * 1024; ++i) {
            value = value * 1664525u + 1013904223u;
            area[i] = static_cast<std::uint8_t>(value >> 24);
        }
        erased.assign(kApplicationAreaSize, 0);
    }
};

SimulatedAdapter::SimulatedAdapter(Clock& clock) : SpiNorEngine(clock)
{
    for (int handle = 0; handle < kMaxAdapters; ++handle) {
        auto dev = std::make_unique<Device>();
        DEVICE_INFO& info = dev->info;
        copyText(info.FirmwareName, sizeof info.FirmwareName, "SPI Flash Adapter");
        copyText(info.BuildDate, sizeof info.BuildDate, "2024-03-18 16:42:07");
        info.HardwareVersion = packVersion(1, 0, 0);
        info.FirmwareVersion = packVersion(1, 3, 10);
        info.SerialNumber[0] = 0x00350021;
        info.SerialNumber[1] = 0x3532510A;
        info.SerialNumber[2] = 0x38373530u + static_cast<std::uint32_t>(handle);
        info.ModeFlags = 0;
        const char text[] = "SPI flash read/write/erase; raw SPI transfers; firmware upgrade";
        std::memcpy(dev->functions.data(), text, sizeof text);
        devices[static_cast<std::size_t>(handle)] = std::move(dev);
    }
    log.reserve(1024);
}

SimulatedAdapter::~SimulatedAdapter()
{
    if (!imageDir.empty())
        saveImages();
}

namespace {

QString imagePath(const std::string& directory, int handle, int selector)
{
    return QDir(QString::fromLocal8Bit(directory.c_str()))
        .filePath(QStringLiteral("adapter%1-SPI%2-CS%3.bin")
                      .arg(handle)
                      .arg((selector & 0x0F) + 1)
                      .arg(selector >> 4));
}

} // namespace

int SimulatedAdapter::loadImages()
{
    int loaded = 0;
    if (imageDir.empty())
        return loaded;
    for (int handle = 0; handle < kMaxAdapters; ++handle) {
        for (int selector : kSpiSelectors) {
            SimulatedChip* target = chip(handle, selector);
            if (target == nullptr)
                continue;
            QFile file(imagePath(imageDir, handle, selector));
            if (!file.open(QIODevice::ReadOnly) || file.size() != static_cast<qint64>(target->size()))
                continue;
            auto& memory = target->contents();
            if (file.read(reinterpret_cast<char*>(memory.data()), file.size()) == file.size())
                ++loaded;
            else
                std::fill(memory.begin(), memory.end(), 0xFF);
        }
    }
    return loaded;
}

bool SimulatedAdapter::saveImages()
{
    if (imageDir.empty() || !QDir().mkpath(QString::fromLocal8Bit(imageDir.c_str())))
        return false;
    bool ok = true;
    for (int handle = 0; handle < kMaxAdapters; ++handle) {
        for (int selector : kSpiSelectors) {
            const SimulatedChip* source = chip(handle, selector);
            if (source == nullptr)
                continue;
            QSaveFile file(imagePath(imageDir, handle, selector));
            const auto& memory = source->contents();
            ok = file.open(QIODevice::WriteOnly) &&
                 file.write(reinterpret_cast<const char*>(memory.data()),
                            static_cast<qint64>(memory.size())) == static_cast<qint64>(memory.size()) &&
                 file.commit() && ok;
        }
    }
    return ok;
}

SimulatedAdapter::Device* SimulatedAdapter::device(int handle) const
{
    if (handle < 0 || handle >= kMaxAdapters)
        return nullptr;
    return devices[static_cast<std::size_t>(handle)].get();
}

SimulatedAdapter::Device* SimulatedAdapter::usableDevice(int handle) const
{
    Device* dev = device(handle);
    return dev && dev->connected && !dev->restarting && dev->open ? dev : nullptr;
}

AdapterCall* SimulatedAdapter::begin(AdapterOp op, int handle)
{
    AdapterCall* call = &scratchCall;
    if (logging) {
        log.emplace_back();
        call = &log.back();
    } else {
        scratchCall = AdapterCall{};
    }
    call->op = op;
    call->device = handle;
    return call;
}

bool SimulatedAdapter::injectedFailure(AdapterOp op)
{
    Faults& entry = faults[opIndex(op)];
    ++entry.calls;
    if (entry.always)
        return true;
    const auto it = std::find(entry.failingCalls.begin(), entry.failingCalls.end(), entry.calls);
    if (it == entry.failingCalls.end())
        return false;
    entry.failingCalls.erase(it);
    return true;
}

void SimulatedAdapter::failCall(AdapterOp op, int nth)
{
    Faults& entry = faults[opIndex(op)];
    entry.failingCalls.push_back(entry.calls + std::max(nth, 1));
}

void SimulatedAdapter::failAllCalls(AdapterOp op, bool fail)
{
    faults[opIndex(op)].always = fail;
}

void SimulatedAdapter::clearFaults()
{
    for (Faults& entry : faults) {
        entry.always = false;
        entry.failingCalls.clear();
    }
    failureCode = ErrorInjected;
    scanFailureResult = 0;
}

std::vector<AdapterCall> SimulatedAdapter::callsOf(AdapterOp op) const
{
    std::vector<AdapterCall> result;
    for (const AdapterCall& call : log) {
        if (call.op == op)
            result.push_back(call);
    }
    return result;
}

int SimulatedAdapter::countOf(AdapterOp op) const
{
    return static_cast<int>(
        std::count_if(log.begin(), log.end(), [op](const AdapterCall& call) { return call.op == op; }));
}

std::vector<AdapterOp> SimulatedAdapter::sequence() const
{
    std::vector<AdapterOp> result;
    result.reserve(log.size());
    for (const AdapterCall& call : log)
        result.push_back(call.op);
    return result;
}

// --- adapters

void SimulatedAdapter::setAdapterCount(int count)
{
    for (int handle = 0; handle < kMaxAdapters; ++handle)
        setConnected(handle, handle < count);
}

void SimulatedAdapter::setConnected(int handle, bool connected)
{
    Device* dev = device(handle);
    if (dev == nullptr || dev->connected == connected)
        return;
    dev->connected = connected;
    if (!connected) {
        dev->open = false;
        dev->restarting = false;
        forgetConfiguration(handle);
    }
}

bool SimulatedAdapter::isConnected(int handle) const
{
    const Device* dev = device(handle);
    return dev && dev->connected;
}

bool SimulatedAdapter::isOpen(int handle) const
{
    return usableDevice(handle) != nullptr;
}

SimulatedChip* SimulatedAdapter::attachChip(int handle, int selector, std::unique_ptr<SimulatedChip> newChip)
{
    Device* dev = device(handle);
    const int slot = selectorSlot(selector);
    if (dev == nullptr || slot < 0)
        return nullptr;
    auto& place = dev->chips[static_cast<std::size_t>(slot)];
    place = std::move(newChip);
    return place.get();
}

std::unique_ptr<SimulatedChip> SimulatedAdapter::detachChip(int handle, int selector)
{
    Device* dev = device(handle);
    const int slot = selectorSlot(selector);
    if (dev == nullptr || slot < 0)
        return nullptr;
    return std::move(dev->chips[static_cast<std::size_t>(slot)]);
}

SimulatedChip* SimulatedAdapter::chip(int handle, int selector) const
{
    const Device* dev = device(handle);
    const int slot = selectorSlot(selector);
    if (dev == nullptr || slot < 0)
        return nullptr;
    return dev->chips[static_cast<std::size_t>(slot)].get();
}

// --- firmware service settings

DEVICE_INFO SimulatedAdapter::deviceInfo(int handle) const
{
    const Device* dev = device(handle);
    if (dev == nullptr)
        return DEVICE_INFO{};
    DEVICE_INFO info = dev->info;
    info.ModeFlags = dev->upgradeMode ? (info.ModeFlags | 1u) : (info.ModeFlags & ~1u);
    return info;
}

void SimulatedAdapter::setDeviceInfo(int handle, const DEVICE_INFO& info)
{
    if (Device* dev = device(handle))
        dev->info = info;
}

void SimulatedAdapter::setFunctionsText(int handle, const char* text, int length)
{
    Device* dev = device(handle);
    if (dev == nullptr)
        return;
    dev->functions.fill(0);
    const int size = std::clamp(length, 0, kDeviceFunctionsTextSize);
    if (text != nullptr && size > 0)
        std::memcpy(dev->functions.data(), text, static_cast<std::size_t>(size));
}

void SimulatedAdapter::setFunctionsText(int handle, const std::string& text)
{
    setFunctionsText(handle, text.data(), static_cast<int>(std::min<std::size_t>(text.size(), 0x7FFFFFFF)));
}

bool SimulatedAdapter::inUpgradeMode(int handle) const
{
    const Device* dev = device(handle);
    return dev && dev->upgradeMode;
}

void SimulatedAdapter::setUpgradeMode(int handle, bool upgradeMode)
{
    if (Device* dev = device(handle))
        dev->upgradeMode = upgradeMode;
}

void SimulatedAdapter::setRestartTime(int handle, int milliseconds)
{
    if (Device* dev = device(handle))
        dev->restartNs = std::int64_t{std::max(milliseconds, 0)} * 1000000;
}

void SimulatedAdapter::setNeverReappear(int handle, bool never)
{
    if (Device* dev = device(handle))
        dev->neverReappear = never;
}

void SimulatedAdapter::setIgnoreUpgradeJump(int handle, bool ignore)
{
    if (Device* dev = device(handle))
        dev->ignoreUpgradeJump = ignore;
}

bool SimulatedAdapter::isRestarting(int handle) const
{
    const Device* dev = device(handle);
    return dev && dev->connected && !isBack(*dev);
}

bool SimulatedAdapter::isBack(const Device& dev) const
{
    return !dev.restarting || (!dev.neverReappear && clockSource.nowNanoseconds() >= dev.backAtNs);
}

int SimulatedAdapter::restartCount(int handle) const
{
    const Device* dev = device(handle);
    return dev ? dev->restarts : 0;
}

std::vector<std::uint8_t>& SimulatedAdapter::applicationArea(int handle)
{
    static std::vector<std::uint8_t> none;
    Device* dev = device(handle);
    if (dev == nullptr) {
        none.clear();
        return none;
    }
    dev->ensureArea();
    return dev->area;
}

const std::vector<std::uint8_t>& SimulatedAdapter::runningApplication(int handle) const
{
    static const std::vector<std::uint8_t> none;
    const Device* dev = device(handle);
    return dev ? dev->running : none;
}

bool SimulatedAdapter::firmwareRange(std::uint32_t start, std::uint64_t length) const
{
    return start >= kApplicationAddress &&
           static_cast<std::uint64_t>(start - kApplicationAddress) + length <= kApplicationAreaSize;
}

void SimulatedAdapter::restart(int handle, Device& dev, bool upgradeMode)
{
    dev.open = false;
    dev.restarting = true;
    dev.backAtNs = clockSource.nowNanoseconds() + dev.restartNs;
    dev.upgradeMode = upgradeMode;
    ++dev.restarts;
    forgetConfiguration(handle);
}

// --- the sixteen operations

int SimulatedAdapter::scanDevices(int* devices)
{
    AdapterCall* call = begin(AdapterOp::ScanDevices, -1);
    if (injectedFailure(AdapterOp::ScanDevices)) {
        call->injected = true;
        if (devices != nullptr) {
            for (int i = 0; i < std::min(scanFailureResult, kMaxAdapters); ++i)
                devices[i] = i;
        }
        call->result = scanFailureResult;
        return scanFailureResult;
    }
    int count = 0;
    for (int handle = 0; handle < kMaxAdapters; ++handle) {
        Device& dev = *this->devices[static_cast<std::size_t>(handle)];
        if (!dev.connected || !isBack(dev))
            continue;
        dev.restarting = false;
        if (devices != nullptr)
            devices[count] = handle;
        ++count;
    }
    call->result = count;
    return count;
}

bool SimulatedAdapter::openDevice(int handle)
{
    AdapterCall* call = begin(AdapterOp::OpenDevice, handle);
    if (injectedFailure(AdapterOp::OpenDevice)) {
        call->injected = true;
        return false;
    }
    Device* dev = device(handle);
    if (dev == nullptr || !dev->connected)
        return false;
    // Back on the bus once its restart time is over, even if nobody scanned meanwhile.
    if (!isBack(*dev))
        return false;
    dev->restarting = false;
    dev->open = true;
    call->result = 1;
    return true;
}

void SimulatedAdapter::closeDevice(int handle)
{
    AdapterCall* call = begin(AdapterOp::CloseDevice, handle);
    if (injectedFailure(AdapterOp::CloseDevice)) {
        call->injected = true;
        return;
    }
    Device* dev = device(handle);
    if (dev == nullptr || !dev->open)
        return;
    dev->open = false;
    forgetConfiguration(handle);
}

bool SimulatedAdapter::getDeviceInfo(int handle, DEVICE_INFO* info, char* functions)
{
    AdapterCall* call = begin(AdapterOp::GetDeviceInfo, handle);
    if (injectedFailure(AdapterOp::GetDeviceInfo)) {
        call->injected = true;
        return false;
    }
    const Device* dev = usableDevice(handle);
    if (dev == nullptr || info == nullptr || functions == nullptr)
        return false;
    *info = deviceInfo(handle);
    std::memcpy(functions, dev->functions.data(), dev->functions.size());
    call->result = 1;
    return true;
}

bool SimulatedAdapter::eraseFirmware(int handle, std::uint32_t startAddress, std::uint32_t endAddress)
{
    AdapterCall* call = begin(AdapterOp::EraseFirmware, handle);
    call->address = startAddress;
    call->endAddress = endAddress;
    call->count = endAddress - startAddress;
    if (injectedFailure(AdapterOp::EraseFirmware)) {
        call->injected = true;
        return false;
    }
    Device* dev = usableDevice(handle);
    if (dev == nullptr || !dev->upgradeMode || endAddress < startAddress ||
        !firmwareRange(startAddress, endAddress - startAddress))
        return false;
    dev->ensureArea();
    const std::size_t from = startAddress - kApplicationAddress;
    const std::size_t to = endAddress - kApplicationAddress;
    std::fill(dev->area.begin() + from, dev->area.begin() + to, 0xFF);
    std::fill(dev->erased.begin() + from, dev->erased.begin() + to, 1);
    dev->applicationValid = false;
    dev->checkedImage.clear();
    call->result = 1;
    return true;
}

bool SimulatedAdapter::writeFirmware(int handle, std::uint32_t address, const std::uint8_t* data,
                                     std::uint32_t count, int flag)
{
    AdapterCall* call = begin(AdapterOp::WriteFirmware, handle);
    call->address = address;
    call->count = count;
    call->flag = flag;
    if (injectedFailure(AdapterOp::WriteFirmware)) {
        call->injected = true;
        return false;
    }
    Device* dev = usableDevice(handle);
    // flag 1: image data; flag 0: the 16-byte MD5 value behind it.
    const bool validFlag = flag == 1 || (flag == 0 && count == kMd5Size);
    if (dev == nullptr || !dev->upgradeMode || !validFlag || (count > 0 && data == nullptr) ||
        !firmwareRange(address, count))
        return false;
    dev->ensureArea();
    const std::size_t from = address - kApplicationAddress;
    // Flash is written only where it has been erased since its last write.
    if (!std::all_of(dev->erased.begin() + from, dev->erased.begin() + from + count,
                     [](std::uint8_t e) { return e != 0; }))
        return false;
    if (count > 0)
        std::memcpy(dev->area.data() + from, data, count);
    std::fill(dev->erased.begin() + from, dev->erased.begin() + from + count, 0);
    dev->applicationValid = false;
    dev->checkedImage.clear();
    call->result = 1;
    return true;
}

void SimulatedAdapter::jumpToAddress(int handle, std::uint32_t address)
{
    AdapterCall* call = begin(AdapterOp::JumpToAddress, handle);
    call->address = address;
    if (injectedFailure(AdapterOp::JumpToAddress)) {
        call->injected = true;
        return;
    }
    Device* dev = usableDevice(handle);
    if (dev == nullptr)
        return;
    if (address == kUpgradeCodeAddress) {
        restart(handle, *dev, !dev->ignoreUpgradeJump);
    } else if (address == kApplicationAddress) {
        // Without a startable application the upgrade code keeps running after the restart.
        if (dev->applicationValid && !dev->checkedImage.empty())
            dev->running = dev->checkedImage;
        restart(handle, *dev, !dev->applicationValid);
    }
}

bool SimulatedAdapter::checkFirmwareMd5(int handle, std::uint32_t startAddress, std::uint32_t length)
{
    AdapterCall* call = begin(AdapterOp::CheckFirmwareMd5, handle);
    call->address = startAddress;
    call->count = length;
    if (injectedFailure(AdapterOp::CheckFirmwareMd5)) {
        call->injected = true;
        return false;
    }
    Device* dev = usableDevice(handle);
    if (dev == nullptr || !dev->upgradeMode || !firmwareRange(startAddress, std::uint64_t(length) + kMd5Size))
        return false;
    dev->ensureArea();
    const char* image =
        reinterpret_cast<const char*>(dev->area.data()) + (startAddress - kApplicationAddress);
    const QByteArray digest = QCryptographicHash::hash(
        QByteArray::fromRawData(image, static_cast<int>(length)), QCryptographicHash::Md5);
    if (std::memcmp(digest.constData(), image + length, kMd5Size) != 0)
        return false;
    if (startAddress == kApplicationAddress) {
        dev->applicationValid = true;
        dev->checkedImage.assign(image, image + length);
    }
    call->result = 1;
    return true;
}

bool SimulatedAdapter::checkFirmwareFile(const char* path)
{
    AdapterCall* call = begin(AdapterOp::CheckFirmwareFile, -1);
    if (path != nullptr)
        call->path = path;
    if (injectedFailure(AdapterOp::CheckFirmwareFile)) {
        call->injected = true;
        return false;
    }
    if (path == nullptr)
        return false;
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    if (size <= static_cast<qint64>(kMd5Size))
        return false;
    // Hash in pieces so that a large file costs no large buffer.
    QCryptographicHash hash(QCryptographicHash::Md5);
    qint64 remaining = size - kMd5Size;
    QByteArray piece;
    while (remaining > 0) {
        piece = file.read(std::min<qint64>(remaining, 1 << 16));
        if (piece.isEmpty())
            return false;
        hash.addData(piece);
        remaining -= piece.size();
    }
    const QByteArray stored = file.read(kMd5Size);
    if (stored.size() != static_cast<int>(kMd5Size) || stored != hash.result())
        return false;
    call->result = 1;
    return true;
}

int SimulatedAdapter::spiWriteBytes(int handle, int selector, const std::uint8_t* data, int count)
{
    AdapterCall* call = begin(AdapterOp::SpiWriteBytes, handle);
    call->selector = selector;
    call->count = static_cast<std::uint32_t>(count);
    if (logging && data != nullptr && count > 0)
        call->sent.assign(data, data + count);
    int result = failureCode;
    if (injectedFailure(AdapterOp::SpiWriteBytes))
        call->injected = true;
    else if (count < 0 || (count > 0 && data == nullptr) || selectorSlot(selector) < 0)
        result = ErrorArgument;
    else
        result = transfer(handle, selector, data, count, nullptr, 0);
    call->result = result;
    return result;
}

int SimulatedAdapter::spiWriteReadBytes(int handle, int selector, const std::uint8_t* sendData, int sendCount,
                                        std::uint8_t* receiveData, int receiveCount, int flag)
{
    AdapterCall* call = begin(AdapterOp::SpiWriteReadBytes, handle);
    call->selector = selector;
    call->count = static_cast<std::uint32_t>(sendCount);
    call->receiveCount = receiveCount;
    call->flag = flag;
    if (logging && sendData != nullptr && sendCount > 0)
        call->sent.assign(sendData, sendData + sendCount);
    int result = failureCode;
    if (injectedFailure(AdapterOp::SpiWriteReadBytes)) {
        call->injected = true;
    } else if (sendCount < 0 || receiveCount < 0 || (sendCount > 0 && sendData == nullptr) ||
               (receiveCount > 0 && receiveData == nullptr) || selectorSlot(selector) < 0) {
        result = ErrorArgument;
    } else {
        result = transfer(handle, selector, sendData, sendCount, receiveData, receiveCount);
        if (result == Ok && logging && receiveCount > 0)
            call->received.assign(receiveData, receiveData + receiveCount);
    }
    call->result = result;
    return result;
}

int SimulatedAdapter::flashInit(int handle, int selector, std::uint32_t clockHz, const SPIFlashConfig* config)
{
    AdapterCall* call = begin(AdapterOp::FlashInit, handle);
    call->selector = selector;
    call->clockHz = clockHz;
    if (config != nullptr)
        call->config = *config;
    const int result = injectedFailure(AdapterOp::FlashInit)
                           ? (call->injected = true, failureCode)
                           : SpiNorEngine::flashInit(handle, selector, clockHz, config);
    call->result = result;
    return result;
}

int SimulatedAdapter::flashReadId(int handle, int selector, std::uint8_t* buffer)
{
    AdapterCall* call = begin(AdapterOp::FlashReadId, handle);
    call->selector = selector;
    const int result = injectedFailure(AdapterOp::FlashReadId)
                           ? (call->injected = true, failureCode)
                           : SpiNorEngine::flashReadId(handle, selector, buffer);
    call->result = result;
    return result;
}

int SimulatedAdapter::flashEraseSectors(int handle, int selector, std::uint32_t firstSector,
                                        std::uint32_t count)
{
    AdapterCall* call = begin(AdapterOp::FlashEraseSectors, handle);
    call->selector = selector;
    call->address = firstSector;
    call->count = count;
    const int result = injectedFailure(AdapterOp::FlashEraseSectors)
                           ? (call->injected = true, failureCode)
                           : SpiNorEngine::flashEraseSectors(handle, selector, firstSector, count);
    call->result = result;
    return result;
}

int SimulatedAdapter::flashWrite(int handle, int selector, std::uint32_t address, const std::uint8_t* data,
                                 std::uint32_t count)
{
    AdapterCall* call = begin(AdapterOp::FlashWrite, handle);
    call->selector = selector;
    call->address = address;
    call->count = count;
    const int result = injectedFailure(AdapterOp::FlashWrite)
                           ? (call->injected = true, failureCode)
                           : SpiNorEngine::flashWrite(handle, selector, address, data, count);
    call->result = result;
    return result;
}

int SimulatedAdapter::flashRead(int handle, int selector, std::uint32_t address, std::uint8_t* buffer,
                                std::uint32_t count)
{
    AdapterCall* call = begin(AdapterOp::FlashRead, handle);
    call->selector = selector;
    call->address = address;
    call->count = count;
    const int result = injectedFailure(AdapterOp::FlashRead)
                           ? (call->injected = true, failureCode)
                           : SpiNorEngine::flashRead(handle, selector, address, buffer, count);
    call->result = result;
    return result;
}

// --- transport

int SimulatedAdapter::transfer(int handle, int selector, const std::uint8_t* send, int sendCount,
                               std::uint8_t* receive, int receiveCount)
{
    const Device* dev = usableDevice(handle);
    const int slot = selectorSlot(selector);
    if (dev == nullptr || slot < 0)
        return ErrorTransport;
    SimulatedChip* target = dev->chips[static_cast<std::size_t>(slot)].get();
    if (target == nullptr)
        return ErrorTransport;
    target->transfer(send, sendCount, receive, receiveCount);
    return Ok;
}

bool SimulatedAdapter::canConfigure(int handle) const
{
    return usableDevice(handle) != nullptr;
}

// --- the default

std::unique_ptr<SimulatedAdapter> createDefaultSimulatedAdapter(Clock& clock)
{
    auto adapter = std::make_unique<SimulatedAdapter>(clock);
    adapter->setAdapterCount(2);
    adapter->attachChip(0, 0x00, createSimulatedChip("W25Q64", clock));
    adapter->attachChip(0, 0x01, createSimulatedChip("MX25L25645G", clock));
    adapter->attachChip(1, 0x00, createSimulatedChip("GD25Q16", clock));
    return adapter;
}

bool attachSimulatedChips(SimulatedAdapter& adapter, Clock& clock, const std::string& list)
{
    struct Entry
    {
        int handle;
        int selector;
        std::unique_ptr<SimulatedChip> chip;
    };
    std::vector<Entry> entries;
    const QStringList items =
        QString::fromStdString(list).split(QRegularExpression(QStringLiteral("[,;]")), Qt::SkipEmptyParts);
    for (const QString& item : items) {
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("^\\s*(\\d):([0-9A-Fa-f]{1,2})\\s*=\\s*(\\S+)\\s*$"))
                .match(item);
        if (!match.hasMatch())
            return false;
        const int handle = match.captured(1).toInt();
        const int selector = match.captured(2).toInt(nullptr, 16);
        auto chip = createSimulatedChip(match.captured(3).toStdString(), clock);
        if (selectorSlot(selector) < 0 || chip == nullptr)
            return false;
        entries.push_back({handle, selector, std::move(chip)});
    }
    if (entries.empty())
        return false;
    int count = 0;
    for (int handle = 0; handle < kMaxAdapters; ++handle) {
        for (int selector : kSpiSelectors)
            adapter.detachChip(handle, selector);
    }
    for (Entry& entry : entries) {
        adapter.attachChip(entry.handle, entry.selector, std::move(entry.chip));
        count = std::max(count, entry.handle + 1);
    }
    adapter.setAdapterCount(count);
    return true;
}

std::unique_ptr<SimulatedAdapter> createSimulatedAdapterFromEnvironment(Clock& clock)
{
    auto adapter = createDefaultSimulatedAdapter(clock);
    const QByteArray chips = qgetenv("SPIFLASH_SIM_CHIPS");
    if (!chips.isEmpty() && !attachSimulatedChips(*adapter, clock, chips.toStdString()))
        qWarning("SPIFLASH_SIM_CHIPS not understood, keeping the default chips");
    const QByteArray directory = qgetenv("SPIFLASH_SIM_DIR");
    if (!directory.isEmpty()) {
        adapter->setImageDirectory(directory.toStdString());
        adapter->loadImages();
    }
    return adapter;
}
