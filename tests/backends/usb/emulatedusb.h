#pragma once

#include "backends/usb/usbbus.h"
#include "tests/backends/usb/chipwire.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace korvane {
}
using namespace korvane;

// A programmer's USB side as an emulator sees it: whole bulk transfers in, answers out, with the
// faults tests ask for. Strict: whatever the real chip would not take is recorded as a violation
// and fails the transfer that carried it.
class EmulatedUsbDevice
{
public:
    // An IN transfer's answer: bytes, or one of these.
    static constexpr int kNothingYet = -1000; // nothing to send (yet)

    explicit EmulatedUsbDevice(UsbDeviceDescription description);
    virtual ~EmulatedUsbDevice();

    UsbDeviceDescription description;
    ChipWire wire;

    // --- the protocol, as the subclass speaks it
    virtual int interfaceNumber() const { return 0; }
    virtual int maxPacketSize() const = 0;
    // A whole OUT transfer (the subclass splits it into packets). AdapterResult.
    virtual int bulkOut(std::uint8_t endpoint, const std::uint8_t* data, int length) = 0;
    // Fills an IN transfer of up to length bytes: the bytes moved, or kNothingYet.
    virtual int bulkIn(std::uint8_t endpoint, std::uint8_t* data, int length) = 0;
    // What answers a request for which nothing will ever come: a violation by default (the host
    // waits for what it never asked for); a device that answers with status bytes says so here.
    virtual int idleIn(std::uint8_t endpoint, std::uint8_t* data, int length);
    virtual int control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                        std::uint16_t index, std::uint8_t* data, std::uint16_t length);
    // Back to how the device powers up.
    virtual void powerUp() {}

    // A frame begins on chip select line cs: false when the device is unplugged instead (the
    // caller stops with AdapterErrorNoDevice).
    bool beginFrame(int cs);
    // Answers queued for the host are dropped when it opens the device anew.
    virtual void discardOutput() {}

    // --- what went wrong
    void violation(const std::string& text);
    const std::vector<std::string>& violations() const { return recorded; }
    std::string violationText() const;

    // --- faults
    // After this many more frames the device is unplugged (as seen when the next frame would
    // begin); -1 plugs it in again (it enumerates anew, with a new address).
    void unplugAfterFrames(int frames);
    // Unplugged now / plugged in again.
    void unplug();
    void plugIn();
    bool plugged() const { return isPlugged; }
    // After this many more frames the device stops answering IN transfers (they time out); -1
    // mends it.
    void goSilentAfterFrames(int frames);
    bool silent() const { return isSilent; }
    // Answer bytes the device queued for the host and those it sent (status bytes not counted):
    // what a timing model needs to know which answer came from which command.
    long long answerBytesQueued = 0;
    long long answerBytesSent = 0;

    // Opening is refused for lack of permission.
    bool denyAccess = false;
    // Claiming the interface fails (another program holds it).
    bool interfaceBusy = false;
    int opens = 0;
    bool claimed = false;

private:
    std::vector<std::string> recorded;
    bool isPlugged = true;
    bool isSilent = false;
    long long unplugAtFrame = -1;
    long long silentAtFrame = -1;
};

// Several emulated devices on one bus. Asynchronous transfers run when they are waited for: every
// queued OUT transfer is delivered in order, and IN transfers are answered in order as the device
// has something to say, so answers never come before the request that causes them.
class EmulatedUsbBus : public UsbBus
{
public:
    EmulatedUsbBus();
    ~EmulatedUsbBus() override;

    // The bus keeps the device; returns it.
    EmulatedUsbDevice* add(std::unique_ptr<EmulatedUsbDevice> device);
    const std::vector<std::unique_ptr<EmulatedUsbDevice>>& attached() const { return devices_; }

    std::vector<UsbDeviceDescription> devices() override;
    std::unique_ptr<UsbDeviceHandle> open(const UsbDeviceDescription& device, int* result) override;

    // Every violation of every device, one per line; empty when all went by the rules.
    std::string violations() const;

    // Called for every transfer as it ends (the timing model hooks in here).
    struct TransferEvent
    {
        EmulatedUsbDevice* device;
        std::uint8_t endpoint;
        int length;            // asked for
        int moved;             // bytes moved
        int result;            // AdapterResult
        long long submittedAt; // ticket order
    };
    std::function<void(const TransferEvent&)> onTransfer;
    // Called when the host starts to wait for a transfer, before it runs.
    std::function<void(EmulatedUsbDevice*)> onWait;
    // Called as a transfer is queued (its order), and when the host got a transfer it waited for.
    std::function<void(EmulatedUsbDevice*, std::uint8_t endpoint, long long order)> onSubmit;
    std::function<void(long long order)> onWaitDone;
    // Called as an OUT transfer is about to reach the device (its order and length).
    std::function<void(long long order, int length)> onDeliver;
    // Counts of transfers, by kind, since the bus was made.
    long long outTransfers = 0;
    long long inTransfers = 0;
    long long submitted = 0;
    // The most IN transfers one handle had queued at once: how far ahead the host asks for answers.
    long long maxQueued = 0;
    long long openHandles = 0;

private:
    std::vector<std::unique_ptr<EmulatedUsbDevice>> devices_;
};
