#include "core/formats/recordimage.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstring>
#include <numeric>

namespace {

class ImageErrorText
{
    Q_DECLARE_TR_FUNCTIONS(ImageError)
};

constexpr std::uint64_t kAddressSpace = std::uint64_t(1) << 32;

QString hexText(std::uint64_t value)
{
    return QStringLiteral("0x") + QStringLiteral("%1").arg(value, 8, 16, QLatin1Char('0')).toUpper();
}

} // namespace

QString imageErrorText(const ImageError& error)
{
    const QString at = ImageErrorText::tr("line %1: ").arg(error.line);
    switch (error.kind) {
    case ImageError::None:
        return QString();
    case ImageError::Malformed:
        return at + ImageErrorText::tr("not a valid record") +
               (error.detail.isEmpty() ? QString() : ImageErrorText::tr(" (%1)").arg(error.detail));
    case ImageError::BadChecksum:
        return at + ImageErrorText::tr("bad checksum");
    case ImageError::UnknownRecord:
        return at + ImageErrorText::tr("unknown record type %1").arg(error.detail);
    case ImageError::AddressOverflow:
        return at + ImageErrorText::tr("data beyond the 4 GiB address space");
    case ImageError::CountMismatch:
        return at + ImageErrorText::tr("the record count %1 is not the number of data records before it")
                        .arg(error.detail);
    case ImageError::Overlap:
        return at + ImageErrorText::tr("different data than line %1 for address %2")
                        .arg(error.otherLine)
                        .arg(hexText(error.address));
    case ImageError::ContentAfterEnd:
        return at + ImageErrorText::tr("more records after the end record");
    case ImageError::MissingEnd:
        return ImageErrorText::tr("no end record: the file may be incomplete");
    case ImageError::NoData:
        return ImageErrorText::tr("no data records");
    case ImageError::TooLarge:
        return ImageErrorText::tr("the data from %1 to %2 spans %3 bytes, more than can be held")
            .arg(hexText(error.address), hexText(error.endAddress - 1))
            .arg(error.endAddress - error.address);
    case ImageError::ReadFailed:
        return error.detail;
    }
    return QString();
}

bool RecordImage::add(std::uint64_t address, const std::uint8_t* data, std::size_t size, std::uint64_t line,
                      ImageError* error)
{
    if (size == 0)
        return true;
    if (address >= kAddressSpace || size > kAddressSpace - address) {
        *error = ImageError::onLine(ImageError::AddressOverflow, line);
        error->address = address;
        return false;
    }
    if (records.empty()) {
        low = address;
        high = address + size;
    } else {
        sorted = sorted && address >= records.back().address;
        low = std::min(low, address);
        high = std::max<std::uint64_t>(high, address + size);
    }
    records.push_back(Record{address, pool.size(), line, static_cast<std::uint32_t>(size)});
    pool.insert(pool.end(), data, data + size);
    return true;
}

bool RecordImage::assemble(QByteArray* out, ImageError* error, std::uint64_t maxSpan) const
{
    if (records.empty()) {
        *error = ImageError::onLine(ImageError::NoData, 0);
        return false;
    }
    const std::uint64_t length = span();
    if (length > maxSpan || length > kMaxSpan) {
        *error = ImageError::onLine(ImageError::TooLarge, 0);
        error->address = low;
        error->endAddress = high;
        return false;
    }

    // Files list their records in address order almost always; sort only when they do not.
    std::vector<std::uint32_t> order;
    if (!sorted) {
        order.resize(records.size());
        std::iota(order.begin(), order.end(), 0u);
        std::stable_sort(order.begin(), order.end(), [this](std::uint32_t a, std::uint32_t b) {
            return records[a].address < records[b].address;
        });
    }

    QByteArray image(static_cast<int>(length), char(0xFF));
    auto* bytes = reinterpret_cast<std::uint8_t*>(image.data());
    // Walking by start address, everything from a record's start to coveredEnd is already placed,
    // all of it by owner: the record reaching furthest so far starts no later than this one.
    std::uint64_t coveredEnd = low;
    const Record* owner = nullptr;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const Record& record = records[sorted ? i : order[i]];
        const std::uint8_t* data = pool.data() + record.offset;
        const std::uint64_t recordEnd = record.address + record.size;
        std::uint64_t done = 0;
        if (record.address < coveredEnd) {
            done = std::min(recordEnd, coveredEnd) - record.address;
            const std::uint8_t* placed = bytes + (record.address - low);
            if (std::memcmp(placed, data, done) != 0) {
                std::uint64_t k = 0;
                while (placed[k] == data[k])
                    ++k;
                *error = ImageError::onLine(ImageError::Overlap, std::max(record.line, owner->line));
                error->otherLine = std::min(record.line, owner->line);
                error->address = record.address + k;
                return false;
            }
        }
        if (done < record.size)
            std::memcpy(bytes + (record.address + done - low), data + done, record.size - done);
        if (recordEnd > coveredEnd) {
            coveredEnd = recordEnd;
            owner = &record;
        }
    }
    *out = image;
    return true;
}

void RecordImage::clear()
{
    records.clear();
    pool.clear();
    low = high = 0;
    sorted = true;
}
