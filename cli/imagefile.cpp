#include "cli/imagefile.h"

#include "core/base/fileaccess.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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
    if (*format == ImageFormat::Binary) {
        const std::uint32_t start = address.value_or(0);
        if (std::int64_t(start) + info.size() > chipSize)
            return refuse(error, ImageFileText::tr(
                                     "%1 (%2 bytes) does not fit between %3 and the end of the %4-byte chip")
                                     .arg(path)
                                     .arg(info.size())
                                     .arg(hexAddress(start))
                                     .arg(chipSize));
        image->start = start;
        image->bytes = file.readAll();
        if (file.error() != QFileDevice::NoError || image->bytes.size() != info.size())
            return refuse(error, ImageFileText::tr("cannot read %1: %2").arg(path, file.errorString()));
        return true;
    }

    RecordImage records;
    ImageError fault;
    if (!readRecordFile(file, *format, &records, &fault))
        return refuse(error, ImageFileText::tr("%1 is no valid %2 file: %3")
                                 .arg(path, imageFormatTitle(*format), imageErrorText(fault)));
    if (records.isEmpty())
        return refuse(error, ImageFileText::tr("%1 holds no data").arg(path));
    // Checked on the addresses alone, before the image is built.
    const std::uint64_t start = address ? *address : records.lowest();
    if (start + records.span() > std::uint64_t(std::max<std::int64_t>(chipSize, 0))) {
        const QString where =
            address ? ImageFileText::tr(", placed at %1,").arg(hexAddress(start)) : QString();
        return refuse(error,
                      ImageFileText::tr("%1: the data from %2 to %3%4 does not fit the %5-byte chip")
                          .arg(path, hexAddress(records.lowest()), hexAddress(records.end() - 1), where)
                          .arg(chipSize));
    }
    if (!records.assemble(&image->bytes, &fault))
        return refuse(error, ImageFileText::tr("%1 is no valid %2 file: %3")
                                 .arg(path, imageFormatTitle(*format), imageErrorText(fault)));
    image->start = std::uint32_t(start);
    return true;
}

ImageFormat outputImageFormat(const QString& path, std::optional<ImageFormat> format)
{
    if (format)
        return *format;
    return imageFormatForFileName(path).value_or(ImageFormat::Binary);
}

bool writeImageFile(const QString& path, ImageFormat format, std::uint32_t start, const std::uint8_t* data,
                    std::int64_t size, int bytesPerRecord, QString* error)
{
    // Only a whole file replaces the old one; unbuffered, so that a failing write says why.
    QString why;
    bool ok = false;
    if (format == ImageFormat::Binary) {
        ok = writeFileAtomically(path, reinterpret_cast<const char*>(data), size, &why);
    } else {
        QSaveFile file(path);
        ok = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
             writeRecordFile(file, format, start, data, std::size_t(size), bytesPerRecord, &why) &&
             file.commit();
        if (!ok && why.isEmpty())
            why = file.errorString();
    }
    return ok || refuse(error, ImageFileText::tr("cannot write %1: %2").arg(path, why));
}
