#include "core/base/imagedigest.h"

#include <zlib.h>

#include <algorithm>

namespace korvane {

namespace {

// Both interfaces take an int's worth of bytes at a time.
constexpr qint64 kPiece = qint64(1) << 30;

QString hexDigits(const QString& text, int count)
{
    const QString digits = text.trimmed().toLower();
    if (digits.size() != count)
        return QString();
    for (const QChar c : digits) {
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
              (c >= QLatin1Char('a') && c <= QLatin1Char('f'))))
            return QString();
    }
    return digits;
}

} // namespace

ImageDigest::ImageDigest()
    : sha(std::make_unique<QCryptographicHash>(QCryptographicHash::Sha256)),
      crc(static_cast<std::uint32_t>(::crc32(0L, Z_NULL, 0)))
{
}

ImageDigest::ImageDigest(ImageDigest&&) noexcept = default;
ImageDigest& ImageDigest::operator=(ImageDigest&&) noexcept = default;
ImageDigest::~ImageDigest() = default;

void ImageDigest::add(const char* data, qint64 size)
{
    shaText.clear();
    while (size > 0) {
        const qint64 piece = std::min(size, kPiece);
        sha->addData(data, int(piece));
        crc = static_cast<std::uint32_t>(
            ::crc32(crc, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(piece)));
        data += piece;
        size -= piece;
    }
}

QString ImageDigest::sha256() const
{
    if (shaText.isEmpty())
        shaText = QString::fromLatin1(sha->result().toHex());
    return shaText;
}

QString ImageDigest::crc32() const
{
    return QStringLiteral("%1").arg(crc, 8, 16, QLatin1Char('0'));
}

ImageDigest ImageDigest::of(const QByteArray& bytes)
{
    ImageDigest digest;
    digest.add(bytes);
    return digest;
}

QString normalizedSha256(const QString& text)
{
    return hexDigits(text, 64);
}

QString normalizedCrc32(const QString& text)
{
    QString digits = text.trimmed();
    if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        digits = digits.mid(2);
    return hexDigits(digits, 8);
}

} // namespace korvane
