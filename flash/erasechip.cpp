#include "flash/erasechip.h"

#include "common/clock.h"
#include "flash/adapter/adapterlibrary.h"
#include "flash/operationframe.h"

namespace {

const char kTimeoutText[] = "擦除数据超时！";

class StatusPoller
{
public:
    explicit StatusPoller(OperationFrame& frame) : frame(frame), ctx(frame.context()) {}

    // False when the transfer failed: the status byte then still holds an older answer, which
    // must not be taken for the chip's state now.
    bool read()
    {
        const int result = ctx.adapter.spiWriteReadBytes(ctx.deviceIndex, ctx.selector,
                                                         &ctx.chip.Config.ReadStatus, 1, &status, 1, 0);
        ctx.clock.sleep(kEraseChipPollIntervalMs);
        return result == 0;
    }

    enum Wait
    {
        Ready,
        TimedOut,
        ReadFailed
    };

    // Polls until the busy bit is clear or the budget has run out; a failed read ends the wait.
    Wait waitReady(int budget)
    {
        for (;;) {
            frame.processEvents();
            if (!(status & 0x01))
                return Ready;
            if (!read())
                return ReadFailed;
            if (--budget == 0)
                return TimedOut;
        }
    }

    // Reads the status, then waits; true when the chip is ready. Otherwise the user has been told.
    bool readAndWait(int budget)
    {
        const Wait result = read() ? waitReady(budget) : ReadFailed;
        if (result == Ready)
            return true;
        if (result == TimedOut)
            frame.fail(QString::fromUtf8(kTimeoutText));
        else
            frame.fail();
        return false;
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
    if (!poller.readAndWait(kEraseChipReadyPolls))
        return false;

    // A chip that never got write enable or the erase command must not be reported as erased.
    const int dev = context.deviceIndex;
    const int sel = context.selector;
    if (context.adapter.spiWriteBytes(dev, sel, &context.chip.Config.WriteEnable, 1) != 0 ||
        context.adapter.spiWriteBytes(dev, sel, &context.chip.Config.EraseChip, 1) != 0) {
        frame.fail();
        return false;
    }

    if (!poller.readAndWait(kEraseChipFinishPolls))
        return false;
    frame.succeed();
    return true;
}
