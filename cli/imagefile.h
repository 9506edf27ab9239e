#pragma once

#include "core/formats/imageformat.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

namespace korvane {

// Chip image files for the commands that take or make one: raw binary, Intel HEX and S-record.
// Messages are English, for "korvane-spi: <message>".

// What a command puts on the chip or compares it with: the runs of bytes the file holds, where
// they go on the chip, in address order. A raw file is one run; a record file has one for each
// stretch of addresses its records fill, and what lies between them is not the file's.
struct InputImage
{
    std::vector<ImageSegment> segments;
    ImageFormat format = ImageFormat::Binary;

    // The lowest address and one past the highest.
    std::uint32_t start() const { return segments.empty() ? 0 : std::uint32_t(segments.front().start); }
    std::uint64_t end() const
    {
        return segments.empty() ? 0 : segments.back().start + std::uint64_t(segments.back().bytes.size());
    }
    // The bytes held, gaps not counted.
    std::int64_t heldBytes() const;
};

// What 32-bit addresses reach: the room for an image read before the chip is known.
constexpr std::int64_t kImageAddressSpace = std::int64_t(1) << 32;

// Reads path for a chip of chipSize bytes, as format or, without one, as its name and content say.
// Raw bytes go to address (0 without one); a record file's bytes to address when one is given,
// else to the file's own lowest address. Refuses a missing, irregular or empty file, a faulty
// record file (naming the line; it is read no further than that), and data that does not fit
// between its start and the end of the chip (a record file as soon as a record reaches past it),
// all before the chip is touched.
bool readImageFile(const QString& path, std::optional<ImageFormat> format,
                   std::optional<std::uint32_t> address, std::int64_t chipSize, InputImage* image,
                   QString* error);

// The file name that stands for standard output.
bool isStandardOutput(const QString& path);
// Whether path can take a file a command writes: standard output, nothing yet, or a regular file
// (a symlink to one too). Otherwise error says what is there.
bool checkOutputFile(const QString& path, QString* error);

// The format a file written to path gets: the given one, else the one its extension names, else raw.
ImageFormat outputImageFormat(const QString& path, std::optional<ImageFormat> format);

// Writes size bytes that belong at start to path in format, records of bytesPerRecord bytes,
// through a temporary file that replaces path only when complete; "-" writes them to out, flushed
// and checked.
bool writeImageFile(const QString& path, ImageFormat format, std::uint32_t start, const std::uint8_t* data,
                    std::int64_t size, int bytesPerRecord, std::FILE* out, QString* error);

// "raw binary", "Intel HEX", "S-record".
QString imageFormatTitle(ImageFormat format);

} // namespace korvane
