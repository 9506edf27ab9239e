#include "core/formats/srecord.h"

#include "core/formats/recordtext.h"

#include <QCoreApplication>
#include <QIODevice>

#include <algorithm>

namespace korvane {

using namespace recordtext;

namespace {

// Address bytes of each record type S0 to S9; 0 for the reserved S4.
constexpr int kAddressBytes[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

// One record after another, counting the data records for S5 and S6.
class SRecordParser
{
public:
    bool ended = false;

    bool line(const char* text, std::size_t length, std::uint64_t number, const DataSink& sink,
              ImageError* error)
    {
        if (text[0] != 'S')
            return malformed(error, number, QT_TRANSLATE_NOOP("ImageError", "does not start with 'S'"));
        if (length < 2 || text[1] < '0' || text[1] > '9')
            return malformed(error, number, QT_TRANSLATE_NOOP("ImageError", "no record type after 'S'"));
        const int type = text[1] - '0';
        const std::size_t digits = length - 2;
        if (digits < 2 || digits % 2 != 0 || digits / 2 > sizeof bytes)
            return malformed(error, number, QT_TRANSLATE_NOOP("ImageError", "wrong length"));
        if (!decodeHex(text + 2, digits / 2, bytes))
            return malformed(error, number, QT_TRANSLATE_NOOP("ImageError", "not a hexadecimal digit"));
        const std::size_t count = bytes[0];
        if (digits / 2 != count + 1)
            return malformed(error, number,
                             QT_TRANSLATE_NOOP("ImageError", "the length does not match the byte count"));
        std::uint8_t sum = 0;
        for (std::size_t i = 0; i < digits / 2; ++i)
            sum = std::uint8_t(sum + bytes[i]);
        if (sum != 0xFF) {
            *error = ImageError::onLine(ImageError::BadChecksum, number);
            return false;
        }
        const int addressBytes = kAddressBytes[type];
        if (addressBytes == 0) {
            *error = ImageError::onLine(ImageError::UnknownRecord, number, QStringLiteral("S%1").arg(type));
            return false;
        }
        if (count < std::size_t(addressBytes) + 1)
            return malformed(error, number, QT_TRANSLATE_NOOP("ImageError", "too short for its address"));
        std::uint64_t address = 0;
        for (int i = 0; i < addressBytes; ++i)
            address = address << 8 | bytes[1 + i];
        const std::uint8_t* data = bytes + 1 + addressBytes;
        const std::size_t dataSize = count - 1 - std::size_t(addressBytes);

        if (type >= 1 && type <= 3) {
            ++dataRecords;
            return sink(address, data, dataSize, number, error);
        }
        if (type == 5 || type == 6) {
            if (dataSize != 0)
                return malformed(error, number,
                                 QT_TRANSLATE_NOOP("ImageError", "a count record holds no data"));
            if (address != dataRecords) {
                *error = ImageError::onLine(ImageError::CountMismatch, number, QString::number(address));
                return false;
            }
        } else if (type >= 7) {
            if (dataSize != 0)
                return malformed(error, number,
                                 QT_TRANSLATE_NOOP("ImageError", "an end record holds no data"));
            ended = true;
        }
        return true;
    }

private:
    std::uint64_t dataRecords = 0;
    std::uint8_t bytes[1 + 255];
};

} // namespace

bool readSRecord(QIODevice& device, RecordImage* image, ImageError* error)
{
    return readRecords<SRecordParser>(device, image, error);
}

bool readSRecord(const char* text, std::size_t size, RecordImage* image, ImageError* error)
{
    TextDevice device(text, size);
    return readSRecord(device, image, error);
}

bool writeSRecord(QIODevice& device, std::uint64_t start, const std::uint8_t* data, std::size_t size,
                  int bytesPerRecord, QString* errorString)
{
    if (bytesPerRecord < 1 || bytesPerRecord > 250) {
        *errorString = QStringLiteral("records hold 1 to 250 bytes");
        return false;
    }
    const std::uint64_t end = start + size;
    if (start > (std::uint64_t(1) << 32) || size > (std::uint64_t(1) << 32) - start) {
        *errorString = QStringLiteral("the data reaches past 4 GiB");
        return false;
    }
    // S1/S9 reach 64 KiB, S2/S8 16 MiB, S3/S7 4 GiB; the end record carries start even without data.
    const std::uint64_t reach = std::max(end, start + 1);
    const int addressBytes = reach <= 0x10000 ? 2 : reach <= 0x1000000 ? 3 : 4;
    const char* dataType = addressBytes == 2 ? "S1" : addressBytes == 3 ? "S2" : "S3";
    const char* endType = addressBytes == 2 ? "S9" : addressBytes == 3 ? "S8" : "S7";

    LineWriter out(device);
    auto record = [&out](const char* type, int widths, std::uint64_t address, const std::uint8_t* bytes,
                         std::size_t count) {
        out.begin(type);
        const std::uint8_t length = std::uint8_t(widths + count + 1);
        std::uint8_t sum = length;
        out.hexByte(length);
        for (int shift = 8 * (widths - 1); shift >= 0; shift -= 8) {
            const std::uint8_t byte = std::uint8_t(address >> shift);
            out.hexByte(byte);
            sum = std::uint8_t(sum + byte);
        }
        for (std::size_t i = 0; i < count; ++i) {
            out.hexByte(bytes[i]);
            sum = std::uint8_t(sum + bytes[i]);
        }
        out.hexByte(std::uint8_t(~sum));
        return out.end();
    };

    bool ok = record("S0", 2, 0, nullptr, 0);
    std::uint64_t records = 0;
    std::size_t done = 0;
    while (ok && done < size) {
        const std::uint64_t address = start + done;
        std::size_t count =
            std::size_t(bytesPerRecord) - std::size_t(address % std::uint64_t(bytesPerRecord));
        count = std::min<std::size_t>(count, size - done);
        ok = record(dataType, addressBytes, address, data + done, count);
        done += count;
        ++records;
    }
    if (ok && records <= 0xFFFF)
        ok = record("S5", 2, records, nullptr, 0);
    else if (ok && records <= 0xFFFFFF)
        ok = record("S6", 3, records, nullptr, 0);
    if (ok)
        record(endType, addressBytes, start, nullptr, 0);
    if (!out.flush()) {
        *errorString = out.errorString();
        return false;
    }
    return true;
}

} // namespace korvane
