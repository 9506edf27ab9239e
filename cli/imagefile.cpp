#include "cli/imagefile.h"

#include "core/base/fileaccess.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

namespace korvane {

namespace {

// Translated in the context "CommandLine".
class ImageFileText
{
    Q_DECLARE_TR_FUNCTIONS(CommandLine)
};

QString hexAddress(std::uint64_t address)
{
    return QStringLiteral("0x%1").arg(address, 6, 16, QLatin1Char('0'));
}

bool refuse(QString* error, const QString& message)
{
    *error = message;
    return false;
}

} // namespace

QString imageFormatTitle(ImageFormat format)
{
    switch (format) {
    case ImageFormat::Binary:
        return ImageFileText::tr("raw binary");
    case ImageFormat::IntelHex:
        return ImageFileText::tr("Intel HEX");
    case ImageFormat::SRecord:
        return ImageFileText::tr("S-record");
    }
    return QString();
}

std::int64_t InputImage::heldBytes() const
{
    std::int64_t count = 0;
    for (const ImageSegment& segment : segments)
        count += segment.bytes.size();
    return count;
}

bool readImageFile(const QString& path, std::optional<ImageFormat> format,
                   std::optional<std::uint32_t> address, std::int64_t chipSize, InputImage* image,
                   QString* error)
{
    const QFileInfo info(path);
    if (!info.exists())
        return refuse(error, ImageFileText::tr("cannot open %1: no such file").arg(path));
    // A FIFO or device would block or never end.
    if (!info.isFile())
        return refuse(error, ImageFileText::tr("%1 is not a regular file").arg(path));
    if (info.size() == 0)
        return refuse(error, ImageFileText::tr("%1 is empty").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(error, ImageFileText::tr("cannot open %1: %2").arg(path, file.errorString()));

    if (!format) {
        const QByteArray head = file.peek(qint64(kImageSniffSize));
        format =
            detectImageFormat(path, head.constData(), std::size_t(head.size()), head.size() == info.size());
    }
    image->format = *format;
    image->segments.clear();
    const std::uint64_t room = std::uint64_t(std::max<std::int64_t>(chipSize, 0));
    if (*format == ImageFormat::Binary) {
        const std::uint32_t start = address.value_or(0);
        if (std::uint64_t(start) + std::uint64_t(info.size()) > room)
            return refuse(error, ImageFileText::tr(
                                     "%1 (%2 bytes) does not fit between %3 and the end of the %4-byte chip")
                                     .arg(path)
                                     .arg(info.size())
                                     .arg(hexAddress(start))
                                     .arg(chipSize));
        ImageSegment whole;
        whole.start = start;
        whole.bytes = file.readAll();
        if (file.error() != QFileDevice::NoError || whole.bytes.size() != info.size())
            return refuse(error, ImageFileText::tr("cannot read %1: %2").arg(path, file.errorString()));
        image->segments.push_back(std::move(whole));
        return true;
    }

    // Only what fits the chip is held: a record that reaches past it ends the reading.
    RecordImage records;
    records.setRoom(address ? (room > *address ? room - *address : 0) : room, address.has_value());
    ImageError fault;
    const bool read = readRecordFile(file, *format, &records, &fault);
    if (!read && fault.kind == ImageError::TooLarge) {
        const QString where =
            address ? ImageFileText::tr(", placed at %1,").arg(hexAddress(*address)) : QString();
        return refuse(error,
                      ImageFileText::tr("%1: the data from %2 to %3%4 does not fit the %5-byte chip")
                          .arg(path, hexAddress(fault.address), hexAddress(fault.endAddress - 1), where)
                          .arg(chipSize));
    }
    if (!read)
        return refuse(error, ImageFileText::tr("%1 is no valid %2 file: %3")
                                 .arg(path, imageFormatTitle(*format), imageErrorText(fault)));
    if (records.isEmpty())
        return refuse(error, ImageFileText::tr("%1 holds no data").arg(path));
    const std::uint64_t lowest = records.lowest();
    if (!records.takeSegments(&image->segments, &fault))
        return refuse(error, ImageFileText::tr("%1 is no valid %2 file: %3")
                                 .arg(path, imageFormatTitle(*format), imageErrorText(fault)));
    // Moved as a whole, so that the lowest address lands on the one given.
    if (address) {
        for (ImageSegment& segment : image->segments)
            segment.start = segment.start - lowest + *address;
    }
    return true;
}

bool isStandardOutput(const QString& path)
{
    return path == QLatin1String("-");
}

bool checkOutputFile(const QString& path, QString* error)
{
    QString reason;
    if (isStandardOutput(path) || isReplaceableFile(path, &reason))
        return true;
    // Those who name a device or a pipe mostly want the bytes to go on somewhere else.
    return refuse(error, QFileInfo(path).isDir()
                             ? reason
                             : ImageFileText::tr("%1; to write to standard output use -").arg(reason));
}

ImageFormat outputImageFormat(const QString& path, std::optional<ImageFormat> format)
{
    if (format)
        return *format;
    return imageFormatForFileName(path).value_or(ImageFormat::Binary);
}

namespace {

bool writeImage(QIODevice& device, ImageFormat format, std::uint32_t start, const std::uint8_t* data,
                std::int64_t size, int bytesPerRecord, QString* error)
{
    if (format != ImageFormat::Binary)
        return writeRecordFile(device, format, start, data, std::size_t(size), bytesPerRecord, error);
    // Short writes are continued, so that a full disk shows as the failing write with its reason.
    const char* bytes = reinterpret_cast<const char*>(data);
    while (size > 0) {
        const qint64 written = device.write(bytes, size);
        if (written <= 0)
            return false;
        bytes += written;
        size -= written;
    }
    return true;
}

} // namespace

bool writeImageFile(const QString& path, ImageFormat format, std::uint32_t start, const std::uint8_t* data,
                    std::int64_t size, int bytesPerRecord, std::FILE* out, QString* error)
{
    if (isStandardOutput(path)) {
        // Flushed and checked here: a full disk or a closed pipe must not pass for success.
        QFile file;
        QString why;
        bool ok =
            file.open(out, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle) &&
            writeImage(file, format, start, data, size, bytesPerRecord, &why);
        if (!ok && why.isEmpty())
            why = file.errorString();
        if (ok && (std::fflush(out) != 0 || std::ferror(out))) {
            why = qt_error_string(errno);
            ok = false;
        }
        return ok || refuse(error, ImageFileText::tr("cannot write to standard output: %1").arg(why));
    }
    // Only a whole file replaces the old one; unbuffered, so that a failing write says why.
    QString why;
    const bool ok = writeFileAtomically(
        path,
        [&](QIODevice& file, QString* reason) {
            return writeImage(file, format, start, data, size, bytesPerRecord, reason);
        },
        &why);
    return ok || refuse(error, ImageFileText::tr("cannot write %1: %2").arg(path, why));
}

} // namespace korvane
