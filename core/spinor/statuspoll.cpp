#include "core/spinor/statuspoll.h"

#include "core/spinor/spinor.h"

namespace korvane {

PollResult pollUntilReady(const std::function<bool(std::uint8_t* status)>& readStatus,
                          const std::function<bool()>& wait)
{
    for (;;) {
        std::uint8_t status = 0xFF;
        if (!readStatus(&status))
            return PollResult::ReadFailed;
        if ((status & SpiNor::StatusBusy) == 0)
            return PollResult::Ready;
        if (!wait())
            return PollResult::Busy;
    }
}

} // namespace korvane
