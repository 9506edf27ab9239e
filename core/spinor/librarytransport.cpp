#include "core/spinor/librarytransport.h"

#include "core/adapter/adapterlibrary.h"

namespace korvane {

int LibraryTransport::transfer(const std::uint8_t* send, int sendCount, std::uint8_t* receive, int receiveCount)
{
    // An instruction with nothing to read goes as a plain write, as the adapter's own callers do.
    if (receiveCount == 0)
        return adapter.spiWriteBytes(deviceIndex, selector, send, sendCount);
    return adapter.spiWriteReadBytes(deviceIndex, selector, send, sendCount, receive, receiveCount, 0);
}

int LibraryTransport::transferFrames(const SpiFrame* frames, int count)
{
    return adapter.spiTransferFrames(deviceIndex, selector, frames, count);
}

SpiTransferLimits LibraryTransport::limits() const
{
    return adapter.transferLimits(deviceIndex, selector);
}

} // namespace korvane
