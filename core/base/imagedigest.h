#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QString>

#include <cstdint>
#include <memory>

namespace korvane {

// The SHA-256 and CRC-32 (zlib's, the common IEEE one) of bytes fed in pieces: the hashes both
// front ends show after a read, a write or a verify, and check an expected value against.
class ImageDigest
{
public:
    ImageDigest();
    ImageDigest(ImageDigest&&) noexcept;
    ImageDigest& operator=(ImageDigest&&) noexcept;
    ~ImageDigest();

    void add(const char* data, qint64 size);
    void add(const QByteArray& bytes) { add(bytes.constData(), bytes.size()); }

    // 64 and 8 lowercase hexadecimal digits, as sha256sum and crc32 print them.
    QString sha256() const;
    QString crc32() const;

    // The hashes of bytes in one piece.
    static ImageDigest of(const QByteArray& bytes);

private:
    std::unique_ptr<QCryptographicHash> sha;
    std::uint32_t crc = 0;
    mutable QString shaText;
};

// An expected hash as a user types it: hexadecimal digits of the right count, in any case, a 0x
// before a CRC-32 allowed. Returns it in the form sha256() and crc32() give, or an empty string
// when text is no such hash.
QString normalizedSha256(const QString& text);
QString normalizedCrc32(const QString& text);

} // namespace korvane
