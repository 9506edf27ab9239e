#include "gui/erasechip.h"

#include "core/base/clock.h"
#include "core/adapter/adapterlibrary.h"
#include "gui/operationframe.h"

namespace {

const char kTimeoutText[] = "擦除数据超时！";

class StatusPoller
{
public:
    explicit StatusPoller(OperationFrame& frame) : frame(frame), ctx(frame.context()) {}

    void read()
    {
        ctx.adapter.spiWriteReadBytes(ctx.deviceIndex, ctx.selector, &ctx.chip.Config.ReadStatus, 1, &status,
                                      1, 0);
        ctx.clock.sleep(kEraseChipPollIntervalMs);
    }

    // Polls until the busy bit is clear; false when the budget ran out first.
    bool waitReady(int budget)
    {
        for (;;) {
            frame.processEvents();
            if (!(status & 0x01))
                return true;
            read();
            if (--budget == 0)
                return false;
        }
    }

    std::uint8_t status = 0xFF;

private:
    OperationFrame& frame;
    const OperationContext& ctx;
};

} // namespace

bool eraseChip(const OperationContext& context)
{
    OperationFrame frame(context, FlashOperation::EraseChip);
    if (!frame.open())
        return false;
    frame.startProgress(0);

    StatusPoller poller(frame);
    poller.status = 0xFF;
    poller.read();
    if (!poller.waitReady(kEraseChipReadyPolls)) {
        frame.fail(QString::fromUtf8(kTimeoutText));
        return false;
    }

    // A chip that never got write enable or the erase command must not be reported as erased.
    const int dev = context.deviceIndex;
    const int sel = context.selector;
    if (context.adapter.spiWriteBytes(dev, sel, &context.chip.Config.WriteEnable, 1) != 0 ||
        context.adapter.spiWriteBytes(dev, sel, &context.chip.Config.EraseChip, 1) != 0) {
        frame.fail();
        return false;
    }

    poller.read();
    if (!poller.waitReady(kEraseChipFinishPolls)) {
        frame.fail(QString::fromUtf8(kTimeoutText));
        return false;
    }
    frame.succeed();
    return true;
}
