#pragma once

#include "core/formats/recordimage.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <optional>

class QIODevice;

namespace korvane {

// How a chip image is stored in a file: raw bytes, or the text records of Intel HEX or Motorola
// S-record, which carry their own addresses.
enum class ImageFormat
{
    Binary,
    IntelHex,
    SRecord,
};

// "bin", "ihex", "srec": the names the command line takes.
std::optional<ImageFormat> imageFormatFromName(const QString& name);
// The file name extensions of each format, without the dot.
QStringList imageFormatExtensions(ImageFormat format);
// The format a file name's extension names (case ignored); nothing for any other extension.
std::optional<ImageFormat> imageFormatForFileName(const QString& fileName);
// What the text says it is: Intel HEX or S-record when its first line that is not blank is a whole
// record of that format with a good checksum; nothing otherwise. complete tells whether the text is
// the whole file: if not, a line that runs to its end may be cut off and proves nothing.
std::optional<ImageFormat> sniffImageFormat(const char* text, std::size_t size, bool complete);
// The format to read a file as, from its name and its first bytes. ".bin" is always raw. Content
// that is plainly a record format decides; otherwise the extension of a record format does (so
// that a damaged file is reported as such), and anything else is raw binary.
ImageFormat detectImageFormat(const QString& fileName, const char* head, std::size_t size, bool complete);
// How many bytes of a file detectImageFormat wants to see.
constexpr std::size_t kImageSniffSize = 1024;

// Reads the records of an Intel HEX or S-record file from an open file (or other device), from its
// start, line by line: a fault ends the reading at its line, and data past the room image->setRoom
// gave is refused or left out as it says. The file is never held whole.
bool readRecordFile(QIODevice& device, ImageFormat format, RecordImage* image, ImageError* error);
// Writes size bytes at start in a record format; bytesPerRecord is 16 or 32 in practice.
bool writeRecordFile(QIODevice& device, ImageFormat format, std::uint64_t start, const std::uint8_t* data,
                     std::size_t size, int bytesPerRecord, QString* errorString);

} // namespace korvane
