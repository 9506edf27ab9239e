#pragma once

// The three hardware backends with their emulators, for tests of the front ends: each gives the
// --adapter form and the device access to build the registry from, the clock to run on, the chip
// on SPI1-CS0 (a GD25Q16), and ways to break the link.
#include "backends/deviceaccess.h"
#include "backends/serprog/serprogadapter.h"
#include "backends/simulated/simulatedchip.h"
#include "core/adapter/adapterregistry.h"
#include "tests/backends/emulators/serprogemulator.h"
#include "tests/backends/emulators/sharedclock.h"
#include "tests/backends/emulators/spidevemulator.h"
#include "tests/backends/plugin/pluginhooks.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace korvane {
}
using namespace korvane;

class HardwareRig
{
public:
    virtual ~HardwareRig() = default;
    virtual QString adapterForm() const = 0;
    virtual DeviceAccess access() { return {}; }
    virtual Clock& clock() = 0;
    virtual std::vector<std::uint8_t>& memory() = 0;
    // The other end goes away after that many further chip-select frames; -1 brings it back.
    virtual void breakAfter(int transfers) = 0;
    // The other end stops answering after that many; false where the backend cannot tell silence
    // from absence.
    virtual bool silenceAfter(int) { return false; }
    // Settles the backends of a registry made from adapterForm() for a test (short time-outs).
    virtual void prepare(AdapterRegistry&) {}
    // What a strict emulator saw that a correct backend never does.
    virtual QStringList violations() const { return {}; }
};

class SerprogHardwareRig : public HardwareRig
{
public:
    SerprogHardwareRig() : chip(createSimulatedChip("GD25Q16", sharedClock))
    {
        emulator.attachChip(0, chip.get());
    }
    QString adapterForm() const override
    {
        return QStringLiteral("serprog:") + QString::fromStdString(emulator.devicePath());
    }
    Clock& clock() override { return sharedClock; }
    std::vector<std::uint8_t>& memory() override { return chip->contents(); }
    void breakAfter(int transfers) override
    {
        if (transfers < 0)
            emulator.mend();
        else
            emulator.failAfter(transfers, SerprogEmulator::Failure::Gone);
    }
    bool silenceAfter(int transfers) override
    {
        emulator.failAfter(transfers, SerprogEmulator::Failure::Silent);
        return true;
    }
    void prepare(AdapterRegistry& registry) override
    {
        for (int i = 0; i < registry.backendCount(); ++i) {
            if (auto* serprog = dynamic_cast<SerprogAdapter*>(&registry.backend(i)))
                serprog->setTimeoutMs(200);
        }
    }
    QStringList violations() const override
    {
        QStringList out;
        for (const std::string& problem : emulator.violations())
            out << QString::fromStdString(problem);
        return out;
    }

    SharedVirtualClock sharedClock;
    std::unique_ptr<SimulatedChip> chip;
    SerprogEmulator emulator;
};

class SpidevHardwareRig : public HardwareRig
{
public:
    SpidevHardwareRig() : chip(createSimulatedChip("GD25Q16", virtualClock))
    {
        kernel.addNode("/dev/spidev0.0", chip.get());
    }
    QString adapterForm() const override { return QStringLiteral("spidev:/dev/spidev0.0"); }
    DeviceAccess access() override
    {
        DeviceAccess devices;
        devices.spidev = &kernel;
        return devices;
    }
    Clock& clock() override { return virtualClock; }
    std::vector<std::uint8_t>& memory() override { return chip->contents(); }
    void breakAfter(int transfers) override
    {
        if (transfers < 0)
            kernel.mend();
        else
            kernel.breakAfter(transfers);
    }
    QStringList violations() const override
    {
        QStringList out;
        for (const std::string& problem : kernel.violations())
            out << QString::fromStdString(problem);
        if (kernel.refusedMessages() != 0)
            out << QStringLiteral("a message refused as too long");
        return out;
    }

    SharedVirtualClock virtualClock;
    std::unique_ptr<SimulatedChip> chip;
    SpidevEmulator kernel;
};

class PluginHardwareRig : public HardwareRig
{
public:
    explicit PluginHardwareRig(const QString& path) : path(path), hooks(path) { hooks.reset(); }
    QString adapterForm() const override { return QStringLiteral("lib:") + path; }
    Clock& clock() override { return hooks; }
    std::vector<std::uint8_t>& memory() override { return hooks.chipMemory(0x00); }
    void breakAfter(int transfers) override { hooks.breakAfter(transfers); }

    QString path;
    PluginHooks hooks;
};
