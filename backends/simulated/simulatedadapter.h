#pragma once

#include "backends/simulated/simulatedchip.h"
#include "core/adapter/firmwarelayout.h"
#include "core/spinor/deviceadapterlibrary.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvane {

class Clock;

// The simulated backend: up to ten simulated adapters (handles 0..9), each with the ten selector
// slots (SPI1/SPI2 x CS0..CS4) where simulated chips can be attached, and a simulated firmware
// service. Handles are fixed: an adapter keeps its index while others come and go.
//
// Failure rules: every SPI and flash operation needs the adapter connected and open, and a chip in
// the addressed slot (an empty slot fails, raw transfers included). Firmware erase, write and MD5
// check work only while the adapter runs its upgrade code. Tests wrap it in a RecordingAdapter for
// the call log and fault injection.
class SimulatedAdapter : public DeviceAdapterLibrary
{
public:
    static constexpr std::uint32_t kUpgradeCodeAddress = korvane::kUpgradeCodeAddress;
    static constexpr std::uint32_t kApplicationAddress = kFirmwareApplicationAddress;
    static constexpr std::uint32_t kApplicationAreaSize = 0x60000; // up to 0x08080000
    // How long a restarting adapter is gone from the bus, as a real one re-enumerates.
    static constexpr int kDefaultRestartMs = 1500;

    explicit SimulatedAdapter(Clock& clock);
    ~SimulatedAdapter() override;

    int scanDevices(int* devices) override;
    bool checkFirmwareFile(const char* path) override;

    // --- adapters
    // Connects adapters 0..count-1 and disconnects the others (their chips stay attached).
    void setAdapterCount(int count);
    void setConnected(int handle, bool connected);
    bool isConnected(int handle) const;
    // After this many more transfers every transfer fails as if the cable were pulled
    // (AdapterErrorNoDevice); -1 mends the link.
    void breakLinkAfter(int handle, int transfers);
    bool isOpen(int handle) const;

    // --- chips (selector: one of kSpiSelectors)
    // Returns the attached chip, or null (and drops the chip) for a bad handle or selector.
    SimulatedChip* attachChip(int handle, int selector, std::unique_ptr<SimulatedChip> chip);
    std::unique_ptr<SimulatedChip> detachChip(int handle, int selector);
    SimulatedChip* chip(int handle, int selector) const;

    // --- firmware service
    DEVICE_INFO deviceInfo(int handle) const; // as getDeviceInfo reports it now (mode bit included)
    void setDeviceInfo(int handle, const DEVICE_INFO& info);
    // Raw bytes of the functions text, up to kDeviceFunctionsTextSize (a full-length text has no NUL).
    void setFunctionsText(int handle, const char* text, int length);
    void setFunctionsText(int handle, const std::string& text);
    bool inUpgradeMode(int handle) const;
    void setUpgradeMode(int handle, bool upgradeMode); // as if the adapter had started that way
    // After a jump the adapter is gone for this long on the clock: missing from every scan and
    // refusing to open until then, whether or not anyone scans meanwhile.
    void setRestartTime(int handle, int milliseconds);
    // After the next jumps the adapter never shows up again.
    void setNeverReappear(int handle, bool never);
    // A jump to the upgrade code restarts the adapter but it comes back running the application.
    void setIgnoreUpgradeJump(int handle, bool ignore);
    // Gone from the bus after a jump and not back yet.
    bool isRestarting(int handle) const;
    int restartCount(int handle) const;
    // The application area (kApplicationAreaSize bytes from kApplicationAddress).
    std::vector<std::uint8_t>& applicationArea(int handle);
    // The image the adapter runs since it last started its application from a checked image; empty
    // while it runs the firmware it came with.
    const std::vector<std::uint8_t>& runningApplication(int handle) const;

    // --- chip images kept between runs
    // With a directory set, each chip lives in <directory>/adapter<handle>-SPI<port>-CS<cs>.bin
    // (ChipImage), its non-volatile status registers in the .status file of the same name. The
    // files are opened, and locked, when the chip is first used, and stay so until the chip is
    // detached, the directory changes or the adapter is destroyed. A chip takes its image if it
    // has the chip's exact size; a chip that already held data when it got its directory keeps
    // its data. Every program, erase and status write is in the files before its transfer
    // returns; one that cannot be stored fails the transfer with AdapterErrorStorage, and the chip
    // takes its file again at its next use. When the files cannot be opened every transfer to the
    // chip fails, with AdapterErrorInUse while another program holds them, AdapterErrorStorage
    // otherwise; failureDetail names the file and the system's reason.
    void setImageDirectory(const std::string& directory);
    const std::string& imageDirectory() const { return imageDir; }
    // Opens every chip's files not opened yet: the number of chips that took an image, -1 if a
    // file could not be opened.
    int loadImages();
    std::string failureDetail(int handle) override;

protected:
    AdapterDevice* device(int handle) const override;

private:
    class Device;
    Device* deviceAt(int handle) const;
    // Opens a chip's files if that is still to be done (an AdapterResult); *loaded (may be null):
    // whether the chip took its image.
    int openImage(int handle, int selector, bool* loaded);
    // Closes a slot's files; the chip there opens them at its next use.
    void forgetImage(int handle, int selector);

    Clock& clock;
    std::array<std::unique_ptr<Device>, kMaxAdapters> devices;
    std::string imageDir;
};

// The simulated adapter the program starts with: adapter 0 with a W25Q64 (EF 40 17, 8 MiB) on
// SPI1-CS0 and an MX25L25645G (C2 20 19, 32 MiB, 4-byte addressing) on SPI2-CS0, adapter 1 with a
// GD25Q16 (C8 40 15, 2 MiB) on SPI1-CS0, all erased.
std::unique_ptr<SimulatedAdapter> createDefaultSimulatedAdapter(Clock& clock);

// Replaces the chips of the adapter by a list such as "0:00=W25Q64,0:01=MX25L25645G,1:00=GD25Q16"
// (handle:selector in hex=model, separated by commas or semicolons; a model may carry the options of
// createSimulatedChip, "0:00=W25Q64+wp") and connects adapters 0 up to the
// highest handle named. A list with an unknown model or slot changes nothing and returns false.
bool attachSimulatedChips(SimulatedAdapter& adapter, Clock& clock, const std::string& list);

// Where the simulated chips' contents are kept between runs: SPIFLASH_SIM_DIR, or the user's state
// directory ($XDG_STATE_HOME, by default ~/.local/state, then korvane-spiflash/simulated).
std::string simulatedImageDirectory();

// The default adapter, changed by the environment: SPIFLASH_SIM_CHIPS (a list as above) replaces the
// chips; their contents are kept in simulatedImageDirectory().
std::unique_ptr<SimulatedAdapter> createSimulatedAdapterFromEnvironment(Clock& clock);

} // namespace korvane
