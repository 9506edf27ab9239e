#pragma once

#include "core/formats/imageformat.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

// Chip image files for the commands that take or make one: raw binary, Intel HEX and S-record.
// Messages are English, for "korvane-spi: <message>".

// What a command puts on the chip or compares it with.
struct InputImage
{
    QByteArray bytes;
    std::uint32_t start = 0;
    ImageFormat format = ImageFormat::Binary;
};

// Reads path for a chip of chipSize bytes, as format or, without one, as its name and content say.
// Raw bytes go to address (0 without one); a record file's bytes to address when one is given,
// else to the file's own lowest address, with gaps filled with 0xFF. Refuses a missing, irregular
// or empty file, a faulty record file (naming the line), and data that does not fit between its
// start and the end of the chip, all before the chip is touched.
bool readImageFile(const QString& path, std::optional<ImageFormat> format,
                   std::optional<std::uint32_t> address, std::int64_t chipSize, InputImage* image,
                   QString* error);

// The format a file written to path gets: the given one, else the one its extension names, else raw.
ImageFormat outputImageFormat(const QString& path, std::optional<ImageFormat> format);

// Writes size bytes that belong at start to path in format, records of bytesPerRecord bytes,
// through a temporary file that replaces path only when complete.
bool writeImageFile(const QString& path, ImageFormat format, std::uint32_t start, const std::uint8_t* data,
                    std::int64_t size, int bytesPerRecord, QString* error);

// "raw binary", "Intel HEX", "S-record".
QString imageFormatTitle(ImageFormat format);
