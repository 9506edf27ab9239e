#include "core/formats/intelhex.h"

#include "core/formats/recordtext.h"

#include <QCoreApplication>
#include <QIODevice>

#include <algorithm>

namespace korvane {

using namespace recordtext;

namespace {

enum RecordType : std::uint8_t
{
    Data = 0x00,
    EndOfFile = 0x01,
    ExtendedSegmentAddress = 0x02,
    StartSegmentAddress = 0x03,
    ExtendedLinearAddress = 0x04,
    StartLinearAddress = 0x05,
};

constexpr std::uint64_t kSegmentSize = 0x10000;

// One record after another: the extended address records in force apply to the data records.
class IntelHexParser
{
public:
    bool ended = false;

    bool line(const char* text, std::size_t length, std::uint64_t number, const DataSink& sink,
              ImageError* error)
    {
        if (text[0] != ':')
            return malformed(error, number, QT_TRANSLATE_NOOP("ImageError", "does not start with ':'"));
        const std::size_t digits = length - 1;
        if (digits < 10 || digits % 2 != 0 || digits / 2 > sizeof bytes)
            return malformed(error, number, QT_TRANSLATE_NOOP("ImageError", "wrong length"));
        if (!decodeHex(text + 1, digits / 2, bytes))
            return malformed(error, number, QT_TRANSLATE_NOOP("ImageError", "not a hexadecimal digit"));
        const std::size_t count = bytes[0];
        if (digits / 2 != count + 5)
            return malformed(error, number,
                             QT_TRANSLATE_NOOP("ImageError", "the length does not match the byte count"));
        std::uint8_t sum = 0;
        for (std::size_t i = 0; i < digits / 2; ++i)
            sum = std::uint8_t(sum + bytes[i]);
        if (sum != 0) {
            *error = ImageError::onLine(ImageError::BadChecksum, number);
            return false;
        }

        const std::uint64_t offset = std::uint64_t(bytes[1]) << 8 | bytes[2];
        const std::uint8_t type = bytes[3];
        const std::uint8_t* data = bytes + 4;
        const std::size_t expected[] = {count, 0, 2, 4, 2, 4};
        if (type <= StartLinearAddress && count != expected[type])
            return malformed(error, number, QT_TRANSLATE_NOOP("ImageError", "wrong byte count for its type"));
        switch (type) {
        case Data:
            if (segmented && offset + count > kSegmentSize) {
                const std::size_t first = std::size_t(kSegmentSize - offset);
                return sink(base + offset, data, first, number, error) &&
                       sink(base, data + first, count - first, number, error);
            }
            return sink(base + offset, data, count, number, error);
        case EndOfFile:
            ended = true;
            return true;
        case ExtendedSegmentAddress:
            base = (std::uint64_t(data[0]) << 8 | data[1]) << 4;
            segmented = true;
            return true;
        case ExtendedLinearAddress:
            base = (std::uint64_t(data[0]) << 8 | data[1]) << 16;
            segmented = false;
            return true;
        case StartSegmentAddress:
        case StartLinearAddress:
            return true;
        default:
            *error = ImageError::onLine(ImageError::UnknownRecord, number,
                                        QStringLiteral("%1").arg(type, 2, 16, QLatin1Char('0')).toUpper());
            return false;
        }
    }

private:
    std::uint64_t base = 0;
    bool segmented = false; // 02 addressing wraps within the 64 KiB segment, 04 does not
    std::uint8_t bytes[5 + 255];
};

} // namespace

bool readIntelHex(QIODevice& device, RecordImage* image, ImageError* error)
{
    return readRecords<IntelHexParser>(device, image, error);
}

bool readIntelHex(const char* text, std::size_t size, RecordImage* image, ImageError* error)
{
    TextDevice device(text, size);
    return readIntelHex(device, image, error);
}

bool writeIntelHex(QIODevice& device, std::uint64_t start, const std::uint8_t* data, std::size_t size,
                   int bytesPerRecord, QString* errorString)
{
    if (bytesPerRecord < 1 || bytesPerRecord > 255) {
        *errorString = QStringLiteral("records hold 1 to 255 bytes");
        return false;
    }
    if (start > (std::uint64_t(1) << 32) || size > (std::uint64_t(1) << 32) - start) {
        *errorString = QStringLiteral("the data reaches past 4 GiB");
        return false;
    }
    LineWriter out(device);
    auto record = [&out](std::uint8_t type, std::uint16_t offset, const std::uint8_t* bytes,
                         std::size_t count) {
        out.begin(":");
        std::uint8_t sum = std::uint8_t(count + (offset >> 8) + (offset & 0xFF) + type);
        out.hexByte(std::uint8_t(count));
        out.hexByte(std::uint8_t(offset >> 8));
        out.hexByte(std::uint8_t(offset & 0xFF));
        out.hexByte(type);
        for (std::size_t i = 0; i < count; ++i) {
            out.hexByte(bytes[i]);
            sum = std::uint8_t(sum + bytes[i]);
        }
        out.hexByte(std::uint8_t(-sum));
        return out.end();
    };

    std::uint64_t upper = 0; // the upper address bits in force: 0 until a record says otherwise
    std::size_t done = 0;
    while (done < size) {
        const std::uint64_t address = start + done;
        if (address >> 16 != upper) {
            upper = address >> 16;
            const std::uint8_t value[2] = {std::uint8_t(upper >> 8), std::uint8_t(upper)};
            if (!record(ExtendedLinearAddress, 0, value, 2))
                break;
        }
        // Aligned records, none across a 64 KiB boundary.
        std::size_t count =
            std::size_t(bytesPerRecord) - std::size_t(address % std::uint64_t(bytesPerRecord));
        count = std::min<std::size_t>(count, size - done);
        count = std::min<std::size_t>(count, std::size_t(kSegmentSize - (address & 0xFFFF)));
        if (!record(Data, std::uint16_t(address & 0xFFFF), data + done, count))
            break;
        done += count;
    }
    if (done == size)
        record(EndOfFile, 0, nullptr, 0);
    if (!out.flush()) {
        *errorString = out.errorString();
        return false;
    }
    return true;
}

} // namespace korvane
