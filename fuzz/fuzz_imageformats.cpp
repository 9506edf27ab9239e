// libFuzzer target: the Intel HEX and S-record readers on any text, format detection on it, and
// for whatever is accepted, writing it out again and reading that back.

#include "core/formats/imageformat.h"
#include "core/formats/intelhex.h"
#include "core/formats/srecord.h"

#include <QBuffer>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace korvane;

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "image formats: %s\n", what);
        std::abort();
    }
}

// Keeps each input's image small: the span of a few records can reach 4 GiB.
constexpr std::uint64_t kFuzzSpan = std::uint64_t(1) << 20;

// The text one byte a read, so that every line end and byte order mark falls between reads.
class Trickle : public QIODevice
{
public:
    Trickle(const char* text, std::size_t size) : text(text), size(size) { open(ReadOnly | Unbuffered); }
    bool seek(qint64 to) override
    {
        offset = std::size_t(to);
        return QIODevice::seek(to);
    }

protected:
    qint64 readData(char* data, qint64 max) override
    {
        if (max < 1 || offset >= size)
            return 0;
        *data = text[offset++];
        return 1;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    const char* text;
    std::size_t size;
    std::size_t offset = 0;
};

void roundTrip(ImageFormat format, const char* text, std::size_t size)
{
    RecordImage image;
    ImageError error;
    const bool read = format == ImageFormat::IntelHex ? readIntelHex(text, size, &image, &error)
                                                      : readSRecord(text, size, &image, &error);
    check(read || error.kind != ImageError::None, "refused without a reason");
    {
        Trickle trickle(text, size);
        RecordImage again;
        ImageError againError;
        const bool same = readRecordFile(trickle, format, &again, &againError) == read &&
                          againError.kind == error.kind && againError.line == error.line &&
                          againError.otherLine == error.otherLine && again.heldBytes() == image.heldBytes();
        check(same, "read a byte at a time, the text reads otherwise");
    }
    if (!read)
        return;
    check(image.lowest() <= image.end() && image.end() <= (std::uint64_t(1) << 32),
          "span out of the address space");
    QByteArray bytes;
    if (!image.assemble(&bytes, &error, kFuzzSpan)) {
        check(error.kind == ImageError::Overlap || error.kind == ImageError::TooLarge ||
                  error.kind == ImageError::NoData,
              "assembly failed for another reason");
        return;
    }
    check(std::uint64_t(bytes.size()) == image.span(), "image is not its span");
    // The runs hold the image's bytes, and the gaps between them are 0xFF in it.
    std::vector<ImageSegment> runs;
    RecordImage taken = image;
    check(taken.takeSegments(&runs, &error), "no runs from an image that assembles");
    std::uint64_t held = 0;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const ImageSegment& run = runs[i];
        held += std::uint64_t(run.bytes.size());
        check(!run.bytes.isEmpty() && (i == 0 || runs[i - 1].start + runs[i - 1].bytes.size() < run.start),
              "runs empty, out of order or touching");
        check(bytes.mid(int(run.start - image.lowest()), run.bytes.size()) == run.bytes, "a run differs");
    }
    check(held == image.heldBytes() && bytes.count(char(0xFF)) >= int(bytes.size() - held),
          "runs miss bytes");

    for (int perRecord : {16, 32}) {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        QString writeError;
        check(writeRecordFile(out, format, image.lowest(),
                              reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                              std::size_t(bytes.size()), perRecord, &writeError),
              "cannot write what was read");
        const QByteArray again = out.data();
        check(sniffImageFormat(again.constData(), std::size_t(again.size()), true) == format,
              "written file is not recognised");
        RecordImage reread;
        check(format == ImageFormat::IntelHex
                  ? readIntelHex(again.constData(), std::size_t(again.size()), &reread, &error)
                  : readSRecord(again.constData(), std::size_t(again.size()), &reread, &error),
              "cannot read what was written");
        QByteArray rebuilt;
        check(reread.assemble(&rebuilt, &error, kFuzzSpan), "cannot assemble what was written");
        check(reread.lowest() == image.lowest() && rebuilt == bytes, "round trip changed the image");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const char* text = reinterpret_cast<const char*>(data);
    for (bool complete : {true, false})
        detectImageFormat(QStringLiteral("input.hex"), text, size, complete);
    roundTrip(ImageFormat::IntelHex, text, size);
    roundTrip(ImageFormat::SRecord, text, size);
    return 0;
}
