#include "backends/simulated/simulatedadapter.h"

#include "backends/simulated/chipimage.h"
#include "core/adapter/adapterresult.h"
#include "core/base/clock.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstring>

namespace korvane {

namespace {

void copyText(char* field, std::size_t size, const char* text)
{
    std::memset(field, 0, size);
    std::strncpy(field, text, size - 1);
}

std::uint32_t packVersion(std::uint32_t major, std::uint32_t minor, std::uint32_t patch)
{
    return (major << 24) | (minor << 16) | (patch & 0xFFFF);
}

QString imagePath(const std::string& directory, int handle, int selector)
{
    return QDir(QString::fromLocal8Bit(directory.c_str()))
        .filePath(QStringLiteral("adapter%1-SPI%2-CS%3.bin")
                      .arg(handle)
                      .arg((selector & 0x0F) + 1)
                      .arg(selector >> 4));
}

// The chip's non-volatile status registers, kept beside its image.
QString statusPath(const std::string& directory, int handle, int selector)
{
    QString path = imagePath(directory, handle, selector);
    path.chop(4);
    return path + QStringLiteral(".status");
}

bool firmwareRange(std::uint32_t start, std::uint64_t length)
{
    return start >= SimulatedAdapter::kApplicationAddress &&
           static_cast<std::uint64_t>(start - SimulatedAdapter::kApplicationAddress) + length <=
               SimulatedAdapter::kApplicationAreaSize;
}

} // namespace

class SimulatedAdapter::Device : public AdapterDevice, public AdapterFirmware
{
public:
    Device(SimulatedAdapter& owner, int handle) : owner(owner), handle(handle)
    {
        copyText(info.FirmwareName, sizeof info.FirmwareName, "SPI Flash Adapter");
        copyText(info.BuildDate, sizeof info.BuildDate, "2024-03-18 16:42:07");
        info.HardwareVersion = packVersion(1, 0, 0);
        info.FirmwareVersion = packVersion(1, 3, 10);
        info.SerialNumber[0] = 0x00350021;
        info.SerialNumber[1] = 0x3532510A;
        info.SerialNumber[2] = 0x38373530u + static_cast<std::uint32_t>(handle);
        info.ModeFlags = 0;
        const char text[] = "SPI flash read/write/erase; raw SPI transfers; firmware upgrade";
        std::memcpy(functions.data(), text, sizeof text);
    }

    // --- AdapterDevice

    AdapterIdentity identity() const override
    {
        char serial[32];
        std::snprintf(serial, sizeof serial, "%08X%08X%08X", info.SerialNumber[0], info.SerialNumber[1],
                      info.SerialNumber[2]);
        return AdapterIdentity{"sim", "Simulated adapter", "simulated adapter " + std::to_string(handle),
                               serial};
    }

    int open() override
    {
        // Back on the bus once its restart time is over, even if nobody scanned meanwhile.
        if (!connected || !isBack())
            return AdapterErrorNoDevice;
        restarting = false;
        isOpened = true;
        return AdapterOk;
    }

    void close() override { isOpened = false; }

    bool isOpen() const override { return connected && !restarting && isOpened; }

    int configure(int selector, std::uint32_t clockHz, std::uint32_t* actualHz) override
    {
        if (selectorSlot(selector) < 0)
            return AdapterErrorUnsupported;
        if (actualHz != nullptr)
            *actualHz = clockHz;
        return AdapterOk;
    }

    int transfer(int selector, const std::uint8_t* send, int sendCount, std::uint8_t* receive,
                 int receiveCount) override
    {
        const int slot = selectorSlot(selector);
        if (!isOpen() || slot < 0)
            return AdapterErrorTransport;
        if (transfersUntilBreak == 0)
            return AdapterErrorNoDevice;
        if (transfersUntilBreak > 0)
            --transfersUntilBreak;
        SimulatedChip* target = chips[static_cast<std::size_t>(slot)].get();
        if (target == nullptr)
            return AdapterErrorTransport;
        if (imagePending[static_cast<std::size_t>(slot)]) {
            if (const int opened = owner.openImage(handle, selector, nullptr))
                return opened;
        }
        target->transfer(send, sendCount, receive, receiveCount);
        // What the chip took is in its file before the transfer counts as done.
        if (target->hasChanges())
            return storeChanges(slot, *target);
        return AdapterOk;
    }

    int storeChanges(int slot, SimulatedChip& target)
    {
        ChipImage& file = images[static_cast<std::size_t>(slot)];
        if (!file.isOpen()) {
            target.takeChanges(); // nowhere to keep them
            return AdapterOk;
        }
        const int stored = file.store(target);
        if (stored != AdapterOk) {
            // Chip and file may differ now: the chip takes its file again at its next use.
            failure = file.error().toStdString();
            imagePending[static_cast<std::size_t>(slot)] = true;
            keepContents[static_cast<std::size_t>(slot)] = false;
        }
        return stored;
    }

    bool deviceInfo(DEVICE_INFO* out, char* text) override
    {
        *out = reportedInfo();
        std::memcpy(text, functions.data(), functions.size());
        return true;
    }

    AdapterFirmware* firmware() override { return this; }

    // --- AdapterFirmware

    bool eraseFirmware(std::uint32_t startAddress, std::uint32_t endAddress) override
    {
        if (!upgradeMode || endAddress < startAddress ||
            !firmwareRange(startAddress, endAddress - startAddress))
            return false;
        ensureArea();
        const std::size_t from = startAddress - kApplicationAddress;
        const std::size_t to = endAddress - kApplicationAddress;
        std::fill(area.begin() + from, area.begin() + to, 0xFF);
        std::fill(erased.begin() + from, erased.begin() + to, 1);
        applicationValid = false;
        checkedImage.clear();
        return true;
    }

    bool writeFirmware(std::uint32_t address, const std::uint8_t* data, std::uint32_t count,
                       int flag) override
    {
        // flag 1: image data; flag 0: the 16-byte MD5 value behind it.
        const bool validFlag = flag == 1 || (flag == 0 && count == kFirmwareMd5Size);
        if (!upgradeMode || !validFlag || (count > 0 && data == nullptr) || !firmwareRange(address, count))
            return false;
        ensureArea();
        const std::size_t from = address - kApplicationAddress;
        // Flash is written only where it has been erased since its last write.
        if (!std::all_of(erased.begin() + from, erased.begin() + from + count,
                         [](std::uint8_t e) { return e != 0; }))
            return false;
        if (count > 0)
            std::memcpy(area.data() + from, data, count);
        std::fill(erased.begin() + from, erased.begin() + from + count, 0);
        applicationValid = false;
        checkedImage.clear();
        return true;
    }

    void jumpToAddress(std::uint32_t address) override
    {
        if (address == kUpgradeCodeAddress) {
            restart(!ignoreUpgradeJump);
        } else if (address == kApplicationAddress) {
            // Without a startable application the upgrade code keeps running after the restart.
            if (applicationValid && !checkedImage.empty())
                running = checkedImage;
            restart(!applicationValid);
        }
    }

    bool checkFirmwareMd5(std::uint32_t startAddress, std::uint32_t length) override
    {
        if (!upgradeMode || !firmwareRange(startAddress, std::uint64_t(length) + kFirmwareMd5Size))
            return false;
        ensureArea();
        const char* image = reinterpret_cast<const char*>(area.data()) + (startAddress - kApplicationAddress);
        const QByteArray digest = QCryptographicHash::hash(
            QByteArray::fromRawData(image, static_cast<int>(length)), QCryptographicHash::Md5);
        if (std::memcmp(digest.constData(), image + length, kFirmwareMd5Size) != 0)
            return false;
        if (startAddress == kApplicationAddress) {
            applicationValid = true;
            checkedImage.assign(image, image + length);
        }
        return true;
    }

    // --- the simulation

    DEVICE_INFO reportedInfo() const
    {
        DEVICE_INFO result = info;
        result.ModeFlags = upgradeMode ? (result.ModeFlags | 1u) : (result.ModeFlags & ~1u);
        return result;
    }

    void restart(bool intoUpgradeCode)
    {
        isOpened = false;
        restarting = true;
        backAtNs = owner.clock.nowNanoseconds() + restartNs;
        upgradeMode = intoUpgradeCode;
        ++restarts;
    }

    // On the bus: not restarting, or its restart is over.
    bool isBack() const
    {
        return !restarting || (!neverReappear && owner.clock.nowNanoseconds() >= backAtNs);
    }

    // Whether a scan sees the adapter now.
    bool seenByScan()
    {
        if (!connected || !isBack())
            return false;
        restarting = false;
        return true;
    }

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

    SimulatedAdapter& owner;
    const int handle;
    bool connected = false;
    bool isOpened = false;
    bool upgradeMode = false;
    bool restarting = false;
    bool neverReappear = false;
    bool ignoreUpgradeJump = false;
    std::int64_t restartNs = std::int64_t{kDefaultRestartMs} * 1000000;
    std::int64_t backAtNs = 0;    // on the clock: when a restart is over
    int transfersUntilBreak = -1; // -1: the link holds
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
    // Per slot: the chip's file, open and locked while the chip is in use; whether it is still to
    // be opened (at the chip's next use); whether the chip's contents go to the file then rather
    // than come from it (a chip that held data before it had a file).
    std::array<ChipImage, kSelectorSlots> images;
    std::array<bool, kSelectorSlots> imagePending{};
    std::array<bool, kSelectorSlots> keepContents{};
    std::string failure; // why the last chip file failed
};

SimulatedAdapter::SimulatedAdapter(Clock& clock) : DeviceAdapterLibrary(clock), clock(clock)
{
    for (int handle = 0; handle < kMaxAdapters; ++handle)
        devices[static_cast<std::size_t>(handle)] = std::make_unique<Device>(*this, handle);
}

SimulatedAdapter::~SimulatedAdapter() = default;

SimulatedAdapter::Device* SimulatedAdapter::deviceAt(int handle) const
{
    if (handle < 0 || handle >= kMaxAdapters)
        return nullptr;
    return devices[static_cast<std::size_t>(handle)].get();
}

AdapterDevice* SimulatedAdapter::device(int handle) const
{
    return deviceAt(handle);
}

// --- chip images

void SimulatedAdapter::setImageDirectory(const std::string& directory)
{
    imageDir = directory;
    for (int handle = 0; handle < kMaxAdapters; ++handle) {
        for (int selector : kSpiSelectors)
            forgetImage(handle, selector);
    }
}

void SimulatedAdapter::forgetImage(int handle, int selector)
{
    Device* dev = deviceAt(handle);
    const int slot = selectorSlot(selector);
    if (dev == nullptr || slot < 0)
        return;
    const std::size_t at = static_cast<std::size_t>(slot);
    dev->images[at].close();
    // A chip that already holds data keeps it and gives it to its file; an untouched one takes its file.
    const SimulatedChip* held = dev->chips[at].get();
    dev->imagePending[at] = !imageDir.empty() && held != nullptr;
    dev->keepContents[at] = held != nullptr && held->hasContents();
}

int SimulatedAdapter::openImage(int handle, int selector, bool* loaded)
{
    bool taken = false;
    if (loaded != nullptr)
        *loaded = false;
    Device* dev = deviceAt(handle);
    const int slot = selectorSlot(selector);
    if (dev == nullptr || slot < 0 || !dev->imagePending[static_cast<std::size_t>(slot)])
        return AdapterOk;
    const std::size_t at = static_cast<std::size_t>(slot);
    SimulatedChip* target = dev->chips[at].get();
    const int opened =
        dev->images[at].open(imagePath(imageDir, handle, selector), statusPath(imageDir, handle, selector),
                             *target, dev->keepContents[at], &taken);
    if (opened != AdapterOk) {
        dev->failure = dev->images[at].error().toStdString();
        return opened;
    }
    dev->imagePending[at] = false;
    dev->failure.clear();
    if (loaded != nullptr)
        *loaded = taken;
    return AdapterOk;
}

int SimulatedAdapter::loadImages()
{
    int loaded = 0;
    for (int handle = 0; handle < kMaxAdapters; ++handle) {
        for (int selector : kSpiSelectors) {
            bool taken = false;
            if (openImage(handle, selector, &taken) != AdapterOk)
                return -1;
            loaded += taken ? 1 : 0;
        }
    }
    return loaded;
}

std::string SimulatedAdapter::failureDetail(int handle)
{
    const Device* dev = deviceAt(handle);
    return dev ? dev->failure : std::string();
}

// --- adapters

int SimulatedAdapter::scanDevices(int* indices)
{
    int count = 0;
    for (int handle = 0; handle < kMaxAdapters; ++handle) {
        if (!devices[static_cast<std::size_t>(handle)]->seenByScan())
            continue;
        if (indices != nullptr)
            indices[count] = handle;
        ++count;
    }
    return count;
}

void SimulatedAdapter::setAdapterCount(int count)
{
    for (int handle = 0; handle < kMaxAdapters; ++handle)
        setConnected(handle, handle < count);
}

void SimulatedAdapter::setConnected(int handle, bool connected)
{
    Device* dev = deviceAt(handle);
    if (dev == nullptr || dev->connected == connected)
        return;
    dev->connected = connected;
    if (!connected) {
        dev->isOpened = false;
        dev->restarting = false;
        forgetConfiguration(handle);
    }
}

void SimulatedAdapter::breakLinkAfter(int handle, int transfers)
{
    if (Device* dev = deviceAt(handle))
        dev->transfersUntilBreak = transfers < 0 ? -1 : transfers;
}

bool SimulatedAdapter::isConnected(int handle) const
{
    const Device* dev = deviceAt(handle);
    return dev && dev->connected;
}

bool SimulatedAdapter::isOpen(int handle) const
{
    const Device* dev = deviceAt(handle);
    return dev && dev->isOpen();
}

SimulatedChip* SimulatedAdapter::attachChip(int handle, int selector, std::unique_ptr<SimulatedChip> newChip)
{
    Device* dev = deviceAt(handle);
    const int slot = selectorSlot(selector);
    if (dev == nullptr || slot < 0)
        return nullptr;
    auto& place = dev->chips[static_cast<std::size_t>(slot)];
    place = std::move(newChip);
    forgetImage(handle, selector);
    return place.get();
}

std::unique_ptr<SimulatedChip> SimulatedAdapter::detachChip(int handle, int selector)
{
    Device* dev = deviceAt(handle);
    const int slot = selectorSlot(selector);
    if (dev == nullptr || slot < 0)
        return nullptr;
    std::unique_ptr<SimulatedChip> taken = std::move(dev->chips[static_cast<std::size_t>(slot)]);
    forgetImage(handle, selector);
    return taken;
}

SimulatedChip* SimulatedAdapter::chip(int handle, int selector) const
{
    const Device* dev = deviceAt(handle);
    const int slot = selectorSlot(selector);
    if (dev == nullptr || slot < 0)
        return nullptr;
    return dev->chips[static_cast<std::size_t>(slot)].get();
}

// --- firmware service settings

DEVICE_INFO SimulatedAdapter::deviceInfo(int handle) const
{
    const Device* dev = deviceAt(handle);
    return dev ? dev->reportedInfo() : DEVICE_INFO{};
}

void SimulatedAdapter::setDeviceInfo(int handle, const DEVICE_INFO& info)
{
    if (Device* dev = deviceAt(handle))
        dev->info = info;
}

void SimulatedAdapter::setFunctionsText(int handle, const char* text, int length)
{
    Device* dev = deviceAt(handle);
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
    const Device* dev = deviceAt(handle);
    return dev && dev->upgradeMode;
}

void SimulatedAdapter::setUpgradeMode(int handle, bool upgradeMode)
{
    if (Device* dev = deviceAt(handle))
        dev->upgradeMode = upgradeMode;
}

void SimulatedAdapter::setRestartTime(int handle, int milliseconds)
{
    if (Device* dev = deviceAt(handle))
        dev->restartNs = std::int64_t{std::max(milliseconds, 0)} * 1000000;
}

void SimulatedAdapter::setNeverReappear(int handle, bool never)
{
    if (Device* dev = deviceAt(handle))
        dev->neverReappear = never;
}

void SimulatedAdapter::setIgnoreUpgradeJump(int handle, bool ignore)
{
    if (Device* dev = deviceAt(handle))
        dev->ignoreUpgradeJump = ignore;
}

bool SimulatedAdapter::isRestarting(int handle) const
{
    const Device* dev = deviceAt(handle);
    return dev && dev->connected && !dev->isBack();
}

int SimulatedAdapter::restartCount(int handle) const
{
    const Device* dev = deviceAt(handle);
    return dev ? dev->restarts : 0;
}

std::vector<std::uint8_t>& SimulatedAdapter::applicationArea(int handle)
{
    static std::vector<std::uint8_t> none;
    Device* dev = deviceAt(handle);
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
    const Device* dev = deviceAt(handle);
    return dev ? dev->running : none;
}

bool SimulatedAdapter::checkFirmwareFile(const char* path)
{
    if (path == nullptr)
        return false;
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    if (size <= static_cast<qint64>(kFirmwareMd5Size))
        return false;
    // Hash in pieces so that a large file costs no large buffer.
    QCryptographicHash hash(QCryptographicHash::Md5);
    qint64 remaining = size - kFirmwareMd5Size;
    QByteArray piece;
    while (remaining > 0) {
        piece = file.read(std::min<qint64>(remaining, 1 << 16));
        if (piece.isEmpty())
            return false;
        hash.addData(piece);
        remaining -= piece.size();
    }
    const QByteArray stored = file.read(kFirmwareMd5Size);
    return stored.size() == static_cast<int>(kFirmwareMd5Size) && stored == hash.result();
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

std::string simulatedImageDirectory()
{
    const QByteArray directory = qgetenv("SPIFLASH_SIM_DIR");
    if (!directory.isEmpty())
        return directory.toStdString();
    QString state = QString::fromLocal8Bit(qgetenv("XDG_STATE_HOME"));
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return QDir(state).filePath(QStringLiteral("korvane-spiflash/simulated")).toStdString();
}

std::unique_ptr<SimulatedAdapter> createSimulatedAdapterFromEnvironment(Clock& clock)
{
    auto adapter = createDefaultSimulatedAdapter(clock);
    const QByteArray chips = qgetenv("SPIFLASH_SIM_CHIPS");
    if (!chips.isEmpty() && !attachSimulatedChips(*adapter, clock, chips.toStdString()))
        qWarning("SPIFLASH_SIM_CHIPS not understood, keeping the default chips");
    adapter->setImageDirectory(simulatedImageDirectory());
    return adapter;
}

} // namespace korvane
