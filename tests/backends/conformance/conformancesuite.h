#pragma once

#include "core/chip/chipinfo.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace korvane {
}
using namespace korvane;

namespace korvane {
class AdapterLibrary;
}
namespace korvane {
class Clock;
}
namespace korvane {
class SimulatedChip;
}
// The chips every backend is tried with: a 2 MiB part with 3-byte addresses, and a 32 MiB part
// that takes 4-byte addresses, block erases and status registers with protect bits.
enum class ConformanceChip
{
    Small, // GD25Q16, C8 40 15
    Large, // MX25L25645G, C2 20 19
};
// The simulated chip's model name and the record the front ends would choose for it.
const char* conformanceModel(ConformanceChip chip);
CHIP_INFO conformanceRecord(ConformanceChip chip);

// A backend under test, with the emulated chip behind it.
class ConformanceRig
{
public:
    virtual ~ConformanceRig() = default;
    // The adapter library as the front ends see it: the registry entry, the plug-in, ...
    virtual AdapterLibrary& library() = 0;
    virtual int deviceIndex() const { return 0; }
    virtual int selector() const { return 0; }
    virtual Clock& clock() = 0;
    // The emulated chip's record and memory array.
    virtual CHIP_INFO chip() const = 0;
    virtual std::vector<std::uint8_t>& memory() = 0;
    // After the given number of further chip-select-framed transfers, every transfer fails as the
    // hardware's would when unplugged or gone silent; -1 mends it.
    virtual void breakAfter(int transfers) = 0;
    // The emulated chip, where the test can reach it (to keep it busy or set its status
    // registers); null when it lives out of reach.
    virtual SimulatedChip* simulatedChip() { return nullptr; }
    // Where the emulator records the bytes it saw sent in each chip-select frame from now on; null
    // for a rig that cannot tell.
    virtual std::vector<std::vector<std::uint8_t>>* recordFrames() { return nullptr; }
};

// A rig with the given chip, or null when the backend cannot have it.
using RigFactory = std::function<std::unique_ptr<ConformanceRig>(ConformanceChip)>;

// What every backend must do, run on a fresh rig per case: detection, read, write, verify, erase,
// sector erase, and a failure in the middle of each that ends in a failure (never a success or a
// hang) after which the next operation works again.
class ConformanceSuite : public QObject
{
    Q_OBJECT

public:
    explicit ConformanceSuite(RigFactory factory) : factory(std::move(factory)) {}

private slots:
    void init();
    void cleanup();
    void detectsTheChip();
    void readsWhatTheChipHolds();
    void writesAcrossPagesAndVerifies();
    void erasesSectorsExactly();
    void erasesTheChip();
    void failureInTheMiddle_data();
    void failureInTheMiddle();
    void fourByteAddressesAcrossSixteenMiB();
    void erasesBlocksOfARange();
    void clearsProtectionBeforeAChange();
    void busyChipTimesOut_data();
    void busyChipTimesOut();
    void batchActsAsFramesOneByOne();
    void batchFailsInTheMiddle();

private:
    // The rig with the large chip, or a skip when the backend cannot have it.
    bool useLargeChip();

    RigFactory factory;
    std::unique_ptr<ConformanceRig> rig;
};

// Runs the suite as a test program's main.
int runConformanceSuite(int argc, char** argv, RigFactory factory);
