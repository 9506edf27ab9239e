#pragma once

#include "core/spinor/spitransport.h"

namespace korvane {

class AdapterLibrary;

// The raw SPI transfers of an adapter library (spiWriteBytes, spiWriteReadBytes) on one handle and
// selector, as the SPI NOR engine's transport: how the operations drive instructions the sixteen
// operations have no call for (chip and block erase, status registers, SFDP, 4-byte mode) on any
// backend, a plug-in library included.
class LibraryTransport : public SpiTransport
{
public:
    LibraryTransport(AdapterLibrary& adapter, int deviceIndex, int selector)
        : adapter(adapter), deviceIndex(deviceIndex), selector(selector)
    {
    }

    int transfer(const std::uint8_t* send, int sendCount, std::uint8_t* receive, int receiveCount) override;
    int transferFrames(const SpiFrame* frames, int count) override;
    SpiTransferLimits limits() const override;

private:
    AdapterLibrary& adapter;
    const int deviceIndex;
    const int selector;
};

} // namespace korvane
