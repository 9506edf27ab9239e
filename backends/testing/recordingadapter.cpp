#include "backends/testing/recordingadapter.h"

#include "core/adapter/adapterresult.h"

#include <algorithm>

namespace korvane {

namespace {

std::size_t opIndex(AdapterOp op)
{
    for (std::size_t i = 0; i < std::size(kAllAdapterOps); ++i) {
        if (kAllAdapterOps[i] == op)
            return i;
    }
    return 0;
}

} // namespace

RecordingAdapter::RecordingAdapter(AdapterLibrary& inner) : wrapped(inner), failureCode(AdapterErrorInjected)
{
    log.reserve(1024);
}

AdapterCall* RecordingAdapter::begin(AdapterOp op, int handle)
{
    AdapterCall* call = &scratchCall;
    if (logging) {
        log.emplace_back();
        call = &log.back();
    } else {
        scratchCall = AdapterCall{};
    }
    call->op = op;
    call->device = handle;
    return call;
}

bool RecordingAdapter::injectedFailure(AdapterOp op)
{
    Faults& entry = faults[opIndex(op)];
    ++entry.calls;
    if (entry.always)
        return true;
    const auto it = std::find(entry.failingCalls.begin(), entry.failingCalls.end(), entry.calls);
    if (it == entry.failingCalls.end())
        return false;
    entry.failingCalls.erase(it);
    return true;
}

void RecordingAdapter::failCall(AdapterOp op, int nth)
{
    Faults& entry = faults[opIndex(op)];
    entry.failingCalls.push_back(entry.calls + std::max(nth, 1));
}

void RecordingAdapter::failAllCalls(AdapterOp op, bool fail)
{
    faults[opIndex(op)].always = fail;
}

void RecordingAdapter::clearFaults()
{
    for (Faults& entry : faults) {
        entry.always = false;
        entry.failingCalls.clear();
    }
    failureCode = AdapterErrorInjected;
    scanFailureResult = 0;
}

std::vector<AdapterCall> RecordingAdapter::callsOf(AdapterOp op) const
{
    std::vector<AdapterCall> result;
    for (const AdapterCall& call : log) {
        if (call.op == op)
            result.push_back(call);
    }
    return result;
}

int RecordingAdapter::countOf(AdapterOp op) const
{
    return static_cast<int>(
        std::count_if(log.begin(), log.end(), [op](const AdapterCall& call) { return call.op == op; }));
}

std::vector<AdapterOp> RecordingAdapter::sequence() const
{
    std::vector<AdapterOp> result;
    result.reserve(log.size());
    for (const AdapterCall& call : log)
        result.push_back(call.op);
    return result;
}

int RecordingAdapter::scanDevices(int* devices)
{
    AdapterCall* call = begin(AdapterOp::ScanDevices, -1);
    if (injectedFailure(AdapterOp::ScanDevices)) {
        call->injected = true;
        if (devices != nullptr) {
            for (int i = 0; i < std::min(scanFailureResult, kMaxAdapters); ++i)
                devices[i] = i;
        }
        call->result = scanFailureResult;
        return scanFailureResult;
    }
    call->result = wrapped.scanDevices(devices);
    return call->result;
}

bool RecordingAdapter::openDevice(int handle)
{
    AdapterCall* call = begin(AdapterOp::OpenDevice, handle);
    if (injectedFailure(AdapterOp::OpenDevice)) {
        call->injected = true;
        return false;
    }
    const bool result = wrapped.openDevice(handle);
    call->result = result;
    return result;
}

void RecordingAdapter::closeDevice(int handle)
{
    AdapterCall* call = begin(AdapterOp::CloseDevice, handle);
    if (injectedFailure(AdapterOp::CloseDevice)) {
        call->injected = true;
        return;
    }
    wrapped.closeDevice(handle);
}

bool RecordingAdapter::getDeviceInfo(int handle, DEVICE_INFO* info, char* functions)
{
    AdapterCall* call = begin(AdapterOp::GetDeviceInfo, handle);
    if (injectedFailure(AdapterOp::GetDeviceInfo)) {
        call->injected = true;
        return false;
    }
    const bool result = wrapped.getDeviceInfo(handle, info, functions);
    call->result = result;
    return result;
}

bool RecordingAdapter::eraseFirmware(int handle, std::uint32_t startAddress, std::uint32_t endAddress)
{
    AdapterCall* call = begin(AdapterOp::EraseFirmware, handle);
    call->address = startAddress;
    call->endAddress = endAddress;
    call->count = endAddress - startAddress;
    if (injectedFailure(AdapterOp::EraseFirmware)) {
        call->injected = true;
        return false;
    }
    const bool result = wrapped.eraseFirmware(handle, startAddress, endAddress);
    call->result = result;
    return result;
}

bool RecordingAdapter::writeFirmware(int handle, std::uint32_t address, const std::uint8_t* data,
                                     std::uint32_t count, int flag)
{
    AdapterCall* call = begin(AdapterOp::WriteFirmware, handle);
    call->address = address;
    call->count = count;
    call->flag = flag;
    if (injectedFailure(AdapterOp::WriteFirmware)) {
        call->injected = true;
        return false;
    }
    const bool result = wrapped.writeFirmware(handle, address, data, count, flag);
    call->result = result;
    return result;
}

void RecordingAdapter::jumpToAddress(int handle, std::uint32_t address)
{
    AdapterCall* call = begin(AdapterOp::JumpToAddress, handle);
    call->address = address;
    if (injectedFailure(AdapterOp::JumpToAddress)) {
        call->injected = true;
        return;
    }
    wrapped.jumpToAddress(handle, address);
}

bool RecordingAdapter::checkFirmwareMd5(int handle, std::uint32_t startAddress, std::uint32_t length)
{
    AdapterCall* call = begin(AdapterOp::CheckFirmwareMd5, handle);
    call->address = startAddress;
    call->count = length;
    if (injectedFailure(AdapterOp::CheckFirmwareMd5)) {
        call->injected = true;
        return false;
    }
    const bool result = wrapped.checkFirmwareMd5(handle, startAddress, length);
    call->result = result;
    return result;
}

bool RecordingAdapter::checkFirmwareFile(const char* path)
{
    AdapterCall* call = begin(AdapterOp::CheckFirmwareFile, -1);
    if (path != nullptr)
        call->path = path;
    if (injectedFailure(AdapterOp::CheckFirmwareFile)) {
        call->injected = true;
        return false;
    }
    const bool result = wrapped.checkFirmwareFile(path);
    call->result = result;
    return result;
}

int RecordingAdapter::spiWriteBytes(int handle, int selector, const std::uint8_t* data, int count)
{
    AdapterCall* call = begin(AdapterOp::SpiWriteBytes, handle);
    call->selector = selector;
    call->count = static_cast<std::uint32_t>(count);
    if (logging && data != nullptr && count > 0)
        call->sent.assign(data, data + count);
    int result = failureCode;
    if (injectedFailure(AdapterOp::SpiWriteBytes))
        call->injected = true;
    else
        result = wrapped.spiWriteBytes(handle, selector, data, count);
    call->result = result;
    return result;
}

int RecordingAdapter::spiWriteReadBytes(int handle, int selector, const std::uint8_t* sendData, int sendCount,
                                        std::uint8_t* receiveData, int receiveCount, int flag)
{
    AdapterCall* call = begin(AdapterOp::SpiWriteReadBytes, handle);
    call->selector = selector;
    call->count = static_cast<std::uint32_t>(sendCount);
    call->receiveCount = receiveCount;
    call->flag = flag;
    if (logging && sendData != nullptr && sendCount > 0)
        call->sent.assign(sendData, sendData + sendCount);
    int result = failureCode;
    if (injectedFailure(AdapterOp::SpiWriteReadBytes)) {
        call->injected = true;
    } else {
        result =
            wrapped.spiWriteReadBytes(handle, selector, sendData, sendCount, receiveData, receiveCount, flag);
        if (result == 0 && logging && receiveData != nullptr && receiveCount > 0)
            call->received.assign(receiveData, receiveData + receiveCount);
    }
    call->result = result;
    return result;
}

int RecordingAdapter::flashInit(int handle, int selector, std::uint32_t clockHz, const SPIFlashConfig* config)
{
    AdapterCall* call = begin(AdapterOp::FlashInit, handle);
    call->selector = selector;
    call->clockHz = clockHz;
    if (config != nullptr)
        call->config = *config;
    const int result = injectedFailure(AdapterOp::FlashInit)
                           ? (call->injected = true, failureCode)
                           : wrapped.flashInit(handle, selector, clockHz, config);
    call->result = result;
    return result;
}

int RecordingAdapter::flashReadId(int handle, int selector, std::uint8_t* buffer)
{
    AdapterCall* call = begin(AdapterOp::FlashReadId, handle);
    call->selector = selector;
    const int result = injectedFailure(AdapterOp::FlashReadId)
                           ? (call->injected = true, failureCode)
                           : wrapped.flashReadId(handle, selector, buffer);
    call->result = result;
    return result;
}

int RecordingAdapter::flashEraseSectors(int handle, int selector, std::uint32_t firstSector,
                                        std::uint32_t count)
{
    AdapterCall* call = begin(AdapterOp::FlashEraseSectors, handle);
    call->selector = selector;
    call->address = firstSector;
    call->count = count;
    const int result = injectedFailure(AdapterOp::FlashEraseSectors)
                           ? (call->injected = true, failureCode)
                           : wrapped.flashEraseSectors(handle, selector, firstSector, count);
    call->result = result;
    return result;
}

int RecordingAdapter::flashWrite(int handle, int selector, std::uint32_t address, const std::uint8_t* data,
                                 std::uint32_t count)
{
    AdapterCall* call = begin(AdapterOp::FlashWrite, handle);
    call->selector = selector;
    call->address = address;
    call->count = count;
    const int result = injectedFailure(AdapterOp::FlashWrite)
                           ? (call->injected = true, failureCode)
                           : wrapped.flashWrite(handle, selector, address, data, count);
    call->result = result;
    return result;
}

int RecordingAdapter::flashRead(int handle, int selector, std::uint32_t address, std::uint8_t* buffer,
                                std::uint32_t count)
{
    AdapterCall* call = begin(AdapterOp::FlashRead, handle);
    call->selector = selector;
    call->address = address;
    call->count = count;
    const int result = injectedFailure(AdapterOp::FlashRead)
                           ? (call->injected = true, failureCode)
                           : wrapped.flashRead(handle, selector, address, buffer, count);
    call->result = result;
    return result;
}

} // namespace korvane
