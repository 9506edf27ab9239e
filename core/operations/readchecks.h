#pragma once

#include "core/operations/flashoperations.h"

#include <cstdint>

namespace korvane {

class AdapterLibrary;

// Reads that check what they read. Both work in blocks of kMaxFlashTransfer bytes on an adapter
// the opening steps have prepared.

// Reads the range into out, then once more, comparing block by block. ReadMismatch with the number
// of differing bytes and the first one's address when the two differ (out keeps the first read):
// a bad contact or a clock too fast for the wiring. Progress counts both reads: 0 to 2 x length.
OperationResult readFlashTwice(AdapterLibrary& adapter, const FlashTarget& target, std::uint32_t start,
                               std::uint8_t* out, std::uint32_t length, OperationProgress& progress);

// Whether every byte of the range reads 0xFF. NotBlank with the number of bytes that do not and
// the first one's address.
OperationResult blankCheck(AdapterLibrary& adapter, const FlashTarget& target, std::uint32_t start,
                           std::uint32_t length, OperationProgress& progress);

} // namespace korvane
