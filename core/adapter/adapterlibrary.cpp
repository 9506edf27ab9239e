#include "core/adapter/adapterlibrary.h"

namespace korvane {

const char* adapterOpName(AdapterOp op)
{
    switch (op) {
    case AdapterOp::ScanDevices:
        return "scanDevices";
    case AdapterOp::OpenDevice:
        return "openDevice";
    case AdapterOp::CloseDevice:
        return "closeDevice";
    case AdapterOp::GetDeviceInfo:
        return "getDeviceInfo";
    case AdapterOp::EraseFirmware:
        return "eraseFirmware";
    case AdapterOp::WriteFirmware:
        return "writeFirmware";
    case AdapterOp::JumpToAddress:
        return "jumpToAddress";
    case AdapterOp::CheckFirmwareMd5:
        return "checkFirmwareMd5";
    case AdapterOp::CheckFirmwareFile:
        return "checkFirmwareFile";
    case AdapterOp::SpiWriteBytes:
        return "spiWriteBytes";
    case AdapterOp::SpiWriteReadBytes:
        return "spiWriteReadBytes";
    case AdapterOp::FlashInit:
        return "flashInit";
    case AdapterOp::FlashReadId:
        return "flashReadId";
    case AdapterOp::FlashEraseSectors:
        return "flashEraseSectors";
    case AdapterOp::FlashWrite:
        return "flashWrite";
    case AdapterOp::FlashRead:
        return "flashRead";
    }
    return "?";
}

AdapterIdentity AdapterLibrary::identity(int)
{
    return AdapterIdentity{};
}

bool AdapterLibrary::hasFirmwareUpgrade(int)
{
    return true;
}

std::uint32_t AdapterLibrary::effectiveClockHz(int, int)
{
    return 0;
}

int AdapterLibrary::openError(int)
{
    return 0;
}

std::string AdapterLibrary::failureDetail(int)
{
    return {};
}

SpiTransferLimits AdapterLibrary::transferLimits(int, int)
{
    return SpiTransferLimits{};
}

int AdapterLibrary::spiTransferFrames(int handle, int selector, const SpiFrame* frames, int count)
{
    for (int i = 0; i < count; ++i) {
        const SpiFrame& frame = frames[i];
        const int result =
            frame.receiveCount == 0
                ? spiWriteBytes(handle, selector, frame.send, frame.sendCount)
                : spiWriteReadBytes(handle, selector, frame.send, frame.sendCount, frame.receive,
                                    frame.receiveCount, 0);
        if (result != 0)
            return result;
    }
    return 0;
}

} // namespace korvane
