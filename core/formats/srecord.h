#pragma once

#include "core/formats/recordimage.h"

#include <cstddef>
#include <cstdint>

class QIODevice;

namespace korvane {

// Motorola S-record: header (S0, skipped), data with 16-, 24- and 32-bit addresses (S1, S2, S3),
// record counts (S5, S6: must equal the data records before them) and the end records with the
// start address (S9, S8, S7). Every record's checksum is checked; an end record is required, and
// after it only blank lines. On failure error says which line is wrong.
//
// Reads the device from its start line by line, each record placed in image as it comes (which
// refuses data past its room), and stops at the first fault: a line longer than any record is
// malformed without being read whole.
bool readSRecord(QIODevice& device, RecordImage* image, ImageError* error);
// The same for text in memory.
bool readSRecord(const char* text, std::size_t size, RecordImage* image, ImageError* error);

// Writes an empty header, size bytes at start as data records of bytesPerRecord (1 to 250) bytes
// aligned to multiples of it, with the narrowest address that reaches the last byte (S1, S2 or
// S3), the record count where S5 or S6 can hold it, and the matching end record with start.
bool writeSRecord(QIODevice& device, std::uint64_t start, const std::uint8_t* data, std::size_t size,
                  int bytesPerRecord, QString* errorString);

} // namespace korvane
