#pragma once

#include "backends/spidev/spidevaccess.h"

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace korvane {
}
using namespace korvane;

namespace korvane {
class SimulatedChip;
}
// The kernel's spidev driver as the backend sees it through SpidevAccess, with simulated chips on
// its chip selects. It behaves as the driver does where the backend can tell: a message whose
// transfers need more than the buffer size in either direction (each transfer rounded up to the
// DMA alignment, the totals of the whole message counted) is refused with EMSGSIZE; the speed
// asked is the speed read back; chip select is held from a message's first transfer to its end,
// except that after a transfer with cs_change that is not the message's last it goes high (the
// chip-select frame ends there) and low again before the next transfer. It is strict about what
// the driver would do but a correct backend never asks: a message before mode 0 and 8-bit words
// were set, a transfer that sends and receives at once or sends after it received in one frame,
// cs_change on a message's last transfer (the driver would leave chip select asserted after the
// message), an unknown request or descriptor. Those go into violations(), which a test must find
// empty.
class SpidevEmulator : public SpidevAccess
{
public:
    // A device node /dev/spidev<bus>.<chipSelect>.
    void addNode(const std::string& path, SimulatedChip* chip);
    void removeNode(const std::string& path);
    // Opening it fails with EACCES (the user is not in the group the node belongs to).
    void denyAccess(const std::string& path, bool denied = true);
    // What the driver takes (bufsiz) and what sysfs says (0: it cannot be read).
    void setBufferSize(int kernel, int reported);
    void setAlignment(int bytes) { alignment = bytes; }
    // After the given number of further messages the controller is gone: messages fail with
    // ESHUTDOWN and the nodes are not there until mend().
    void breakAfter(int messages);
    void mend() { messagesLeft = -1; }

    bool exists(const std::string& path) override;
    int open(const std::string& path) override;
    int ioctl(int fd, unsigned long request, void* argument) override;
    void close(int fd) override;
    int bufferSize() override { return reportedBufferSize; }

    const std::vector<std::string>& violations() const { return problems; }
    // Messages the driver refused as too long, and messages carried out.
    int refusedMessages() const { return refused; }
    int messages() const { return carried; }
    // Per message carried out: the byte counts of its transfers.
    const std::vector<std::vector<std::uint32_t>>& messageLog() const { return log; }
    // When set, each chip-select frame carried out appends the bytes sent in it.
    std::vector<std::vector<std::uint8_t>>* frameLog = nullptr;

    // Time as the driver spends it (benchmarks): called with messageNs as each message starts, with
    // each frame's bytes at the speed set before the chip sees the frame, and with csChangeNs for
    // each pause between frames.
    std::function<void(std::int64_t ns)> onTime;
    std::int64_t messageNs = 0;
    std::int64_t csChangeNs = 10000;
    std::uint32_t speedHz(const std::string& path) const;
    int openDescriptors() const { return static_cast<int>(descriptors.size()); }

private:
    struct Node
    {
        SimulatedChip* chip = nullptr;
        bool denied = false;
        bool modeSet = false;
        bool bitsSet = false;
        std::uint8_t mode = 3; // whatever the device tree left; the backend must set 0
        std::uint8_t bits = 8;
        std::uint32_t speedHz = 500000;
    };
    int message(Node& node, unsigned long request, void* argument);
    bool gone() const { return messagesLeft == 0; }

    std::map<std::string, Node> nodes;
    std::map<int, std::string> descriptors;
    int nextDescriptor = 100;
    int kernelBufferSize = 4096;
    int reportedBufferSize = 4096;
    int alignment = 128;
    int messagesLeft = -1;
    int refused = 0;
    int carried = 0;
    std::vector<std::string> problems;
    std::vector<std::vector<std::uint32_t>> log;
};
