#pragma once

namespace korvane {

// Result codes of the adapter library's SPI and flash operations: 0 is success, anything else a
// failure. Backends return these so that the caller can tell a chip that stayed busy from a
// transfer that failed or an adapter that is gone.
enum AdapterResult : int
{
    AdapterOk = 0,
    AdapterErrorArgument = -1,      // bad handle, selector, pointer or count
    AdapterErrorNotConfigured = -2, // no flashInit for this handle and selector
    AdapterErrorTransport = -3,     // the transfer failed (adapter not open, no chip, ...)
    AdapterErrorTimeout = -4,       // the chip stayed busy past the bound
    AdapterErrorConfig = -5,        // the chip record cannot serve this operation
    AdapterErrorRange = -6,         // the range runs past the chip or past what its addresses reach
    AdapterErrorInjected = -7,      // a test made the call fail
    AdapterErrorNoDevice = -8,      // the adapter is gone (unplugged)
    AdapterErrorAccess = -9,        // no permission to open the adapter
    AdapterErrorUnsupported = -10,  // the adapter lacks what was asked (a chip select, a service)
    AdapterErrorProtocol = -11,     // the adapter answered something that makes no sense
    AdapterErrorTimedOut = -12,     // the adapter did not answer in time
    AdapterErrorInUse = -13,        // another program holds the adapter (or the simulated chip)
    AdapterErrorStorage = -14,      // what was written could not be kept (the simulated chip's file)
    AdapterErrorFrameLimit = -15,   // the instruction does not fit the adapter's largest transfer
    AdapterErrorWrongDevice = -16,  // the device node is not of the backend's kind (a file, not a
                                    // serial port; a device of another driver, not spidev)
    AdapterErrorWriteEnable = -17,  // the chip did not take write enable
};

// One line of English for a result code ("the chip stayed busy too long"); codes that are not
// listed get "adapter error".
const char* adapterResultText(int code);

} // namespace korvane
