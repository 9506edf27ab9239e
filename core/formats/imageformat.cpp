#include "core/formats/imageformat.h"

#include "core/formats/intelhex.h"
#include "core/formats/recordtext.h"
#include "core/formats/srecord.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace korvane {

std::optional<ImageFormat> imageFormatFromName(const QString& name)
{
    const QString lower = name.trimmed().toLower();
    if (lower == QLatin1String("bin"))
        return ImageFormat::Binary;
    if (lower == QLatin1String("ihex"))
        return ImageFormat::IntelHex;
    if (lower == QLatin1String("srec"))
        return ImageFormat::SRecord;
    return std::nullopt;
}

QStringList imageFormatExtensions(ImageFormat format)
{
    switch (format) {
    case ImageFormat::Binary:
        return {QStringLiteral("bin")};
    case ImageFormat::IntelHex:
        return {QStringLiteral("hex"), QStringLiteral("ihex"), QStringLiteral("ihx")};
    case ImageFormat::SRecord:
        return {QStringLiteral("srec"), QStringLiteral("s19"), QStringLiteral("s28"), QStringLiteral("s37"),
                QStringLiteral("mot")};
    }
    return {};
}

std::optional<ImageFormat> imageFormatForFileName(const QString& fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    for (ImageFormat format : {ImageFormat::Binary, ImageFormat::IntelHex, ImageFormat::SRecord}) {
        if (imageFormatExtensions(format).contains(suffix))
            return format;
    }
    return std::nullopt;
}

std::optional<ImageFormat> sniffImageFormat(const char* text, std::size_t size, bool complete)
{
    // Only whole lines count: one cut off at the end of the sample proves nothing.
    if (!complete) {
        while (size > 0 && text[size - 1] != '\n' && text[size - 1] != '\r')
            --size;
    }
    recordtext::TextDevice device(text, size);
    recordtext::LineReader lines(device);
    const char* line = nullptr;
    std::size_t length = 0;
    while (lines.next(&line, &length) == recordtext::LineReader::Line) {
        if (length == 0)
            continue;
        RecordImage image;
        ImageError error;
        // The first record alone: the readers stop at the end of it, missing end record aside.
        if (readIntelHex(line, length, &image, &error) || error.kind == ImageError::MissingEnd)
            return ImageFormat::IntelHex;
        image.clear();
        if (readSRecord(line, length, &image, &error) || error.kind == ImageError::MissingEnd)
            return ImageFormat::SRecord;
        return std::nullopt;
    }
    return std::nullopt;
}

ImageFormat detectImageFormat(const QString& fileName, const char* head, std::size_t size, bool complete)
{
    const std::optional<ImageFormat> named = imageFormatForFileName(fileName);
    if (named == ImageFormat::Binary)
        return ImageFormat::Binary;
    const std::optional<ImageFormat> content = sniffImageFormat(head, size, complete);
    if (content)
        return *content;
    return named.value_or(ImageFormat::Binary);
}

bool readRecordFile(QIODevice& device, ImageFormat format, RecordImage* image, ImageError* error)
{
    image->clear();
    if (format == ImageFormat::IntelHex)
        return readIntelHex(device, image, error);
    if (format == ImageFormat::SRecord)
        return readSRecord(device, image, error);
    *error = ImageError::onLine(ImageError::ReadFailed, 0,
                                QCoreApplication::translate("ImageError", "not a record format"));
    return false;
}

bool writeRecordFile(QIODevice& device, ImageFormat format, std::uint64_t start, const std::uint8_t* data,
                     std::size_t size, int bytesPerRecord, QString* errorString)
{
    if (format == ImageFormat::IntelHex)
        return writeIntelHex(device, start, data, size, bytesPerRecord, errorString);
    if (format == ImageFormat::SRecord)
        return writeSRecord(device, start, data, size, bytesPerRecord, errorString);
    *errorString = QStringLiteral("not a record format");
    return false;
}

} // namespace korvane
