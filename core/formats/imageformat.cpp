#include "core/formats/imageformat.h"

#include "core/formats/intelhex.h"
#include "core/formats/recordtext.h"
#include "core/formats/srecord.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

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
    recordtext::LineScanner lines(text, size);
    const char* line = nullptr;
    std::size_t length = 0;
    while (lines.next(&line, &length)) {
        if (length == 0)
            continue;
        // Only a whole line counts: one cut off at the end of the sample proves nothing.
        if (!complete && line + length == text + size)
            return std::nullopt;
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

bool readRecordFile(QFile& file, ImageFormat format, RecordImage* image, ImageError* error)
{
    image->clear();
    const qint64 size = file.size();
    if (size > kMaxRecordFileSize) {
        *error = ImageError::onLine(
            ImageError::ReadFailed, 0,
            QCoreApplication::translate("ImageError", "%1 bytes is too large for a record file").arg(size));
        return false;
    }
    // Mapped where the system allows, so that a large file is not copied first.
    QByteArray copy;
    const char* text = nullptr;
    if (size > 0) {
        if (uchar* mapped = file.map(0, size))
            text = reinterpret_cast<const char*>(mapped);
        else if (file.seek(0)) {
            copy = file.read(size);
            text = copy.constData();
            if (copy.size() != size) {
                *error = ImageError::onLine(ImageError::ReadFailed, 0, file.errorString());
                return false;
            }
        }
    }
    if (size > 0 && text == nullptr) {
        *error = ImageError::onLine(ImageError::ReadFailed, 0, file.errorString());
        return false;
    }
    const std::size_t length = std::size_t(size);
    bool ok = false;
    if (format == ImageFormat::IntelHex)
        ok = readIntelHex(text ? text : "", length, image, error);
    else if (format == ImageFormat::SRecord)
        ok = readSRecord(text ? text : "", length, image, error);
    else
        *error = ImageError::onLine(ImageError::ReadFailed, 0,
                                    QCoreApplication::translate("ImageError", "not a record format"));
    if (copy.isEmpty() && text != nullptr)
        file.unmap(reinterpret_cast<uchar*>(const_cast<char*>(text)));
    return ok;
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
