#pragma once

#include "core/formats/recordimage.h"

#include <cstddef>
#include <cstdint>

class QIODevice;

namespace korvane {

// Intel HEX: data records (00), end of file (01), extended segment (02) and linear (04) address,
// and the start address records (03, 05), which say nothing about the data and are skipped.
// Every record's checksum is checked; the end record is required, and after it only blank lines.
// On failure image holds what was read so far and error says which line is wrong.
//
// Reads the device from its start line by line, each record placed in image as it comes (which
// refuses data past its room), and stops at the first fault: a line longer than any record is
// malformed without being read whole.
bool readIntelHex(QIODevice& device, RecordImage* image, ImageError* error);
// The same for text in memory.
bool readIntelHex(const char* text, std::size_t size, RecordImage* image, ImageError* error);

// Writes size bytes at start as data records of bytesPerRecord (1 to 255) bytes, aligned to
// multiples of it, an extended linear address record wherever the upper 16 address bits change,
// and the end record. Fails when the data would reach past 4 GiB or the device will not take it.
bool writeIntelHex(QIODevice& device, std::uint64_t start, const std::uint8_t* data, std::size_t size,
                   int bytesPerRecord, QString* errorString);

} // namespace korvane
