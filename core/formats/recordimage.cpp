#include "core/formats/recordimage.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstring>

namespace korvane {

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

void RecordImage::setRoom(std::uint64_t bytes, bool placedElsewhere, PastRoom pastRoom)
{
    room = bytes;
    placed = placedElsewhere;
    past = pastRoom;
}

bool RecordImage::pastRoom() const
{
    return hasData && (placed ? high - low > room : high > room);
}

bool RecordImage::refuseTooLarge(ImageError* error, std::uint64_t line) const
{
    *error = ImageError::onLine(ImageError::TooLarge, line);
    error->address = low;
    error->endAddress = high;
    return false;
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
    low = hasData ? std::min(low, address) : address;
    high = hasData ? std::max<std::uint64_t>(high, address + size) : address + size;
    hasData = true;
    if (!dropped && pastRoom()) {
        if (past == PastRoom::Refuse)
            return refuseTooLarge(error, line);
        // The file is refused anyway: hold nothing more, but follow how far it reaches.
        dropped = true;
        pages.clear();
        held = 0;
    }
    if (dropped)
        return true;

    Page* page = nullptr;
    std::uint64_t pageNumber = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint64_t at = address + i;
        if (page == nullptr || at >> kPageBits != pageNumber) {
            pageNumber = at >> kPageBits;
            page = &pages[pageNumber];
        }
        const std::size_t offset = std::size_t(at & (kPageSize - 1));
        if (page->holds(offset)) {
            if (page->bytes[offset] != data[i]) {
                *error = ImageError::onLine(ImageError::Overlap, line);
                error->address = at;
                return false;
            }
            continue;
        }
        page->bytes[offset] = data[i];
        page->heldMask[offset / 64] |= std::uint64_t(1) << (offset % 64);
        ++held;
    }
    return true;
}

template <typename Run>
void RecordImage::forEachRun(const std::pair<const std::uint64_t, Page>& entry, Run run)
{
    const Page& page = entry.second;
    const std::uint64_t base = entry.first << kPageBits;
    std::size_t offset = 0;
    while (offset < kPageSize) {
        if (page.heldMask[offset / 64] == 0) {
            offset += 64;
            continue;
        }
        if (!page.holds(offset)) {
            ++offset;
            continue;
        }
        std::size_t stop = offset + 1;
        while (stop < kPageSize && page.holds(stop))
            ++stop;
        run(base + offset, stop - offset, page.bytes + offset);
        offset = stop;
    }
}

bool RecordImage::assemble(QByteArray* out, ImageError* error, std::uint64_t maxSpan) const
{
    if (!hasData) {
        *error = ImageError::onLine(ImageError::NoData, 0);
        return false;
    }
    const std::uint64_t length = span();
    if (dropped || length > maxSpan || length > kMaxSpan)
        return refuseTooLarge(error, 0);
    QByteArray image(static_cast<int>(length), char(0xFF));
    char* bytes = image.data();
    for (const auto& entry : pages) {
        forEachRun(entry, [&](std::uint64_t start, std::size_t count, const std::uint8_t* data) {
            std::memcpy(bytes + (start - low), data, count);
        });
    }
    *out = image;
    return true;
}

bool RecordImage::takeSegments(std::vector<ImageSegment>* out, ImageError* error)
{
    if (!hasData) {
        *error = ImageError::onLine(ImageError::NoData, 0);
        return false;
    }
    if (dropped)
        return refuseTooLarge(error, 0);
    // First where the runs are and how long, joined across pages; then each page is copied into
    // its run and let go, so that the bytes are held about once throughout.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> runs;
    for (const auto& entry : pages) {
        forEachRun(entry, [&](std::uint64_t start, std::size_t count, const std::uint8_t*) {
            if (!runs.empty() && runs.back().first + runs.back().second == start)
                runs.back().second += count;
            else
                runs.emplace_back(start, count);
        });
    }
    for (const auto& run : runs) {
        if (run.second > kMaxSpan)
            return refuseTooLarge(error, 0);
    }
    std::vector<ImageSegment> result(runs.size());
    for (std::size_t i = 0; i < runs.size(); ++i) {
        result[i].start = runs[i].first;
        result[i].bytes.resize(static_cast<int>(runs[i].second));
    }
    std::size_t index = 0;
    for (auto entry = pages.begin(); entry != pages.end(); entry = pages.erase(entry)) {
        forEachRun(*entry, [&](std::uint64_t start, std::size_t count, const std::uint8_t* data) {
            while (start >= result[index].start + std::uint64_t(result[index].bytes.size()))
                ++index;
            std::memcpy(result[index].bytes.data() + (start - result[index].start), data, count);
        });
    }
    clear();
    *out = std::move(result);
    return true;
}

void RecordImage::clear()
{
    pages.clear();
    low = high = held = 0;
    hasData = false;
    dropped = false;
}

} // namespace korvane
