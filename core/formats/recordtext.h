#pragma once

// Helpers the Intel HEX and S-record code share: splitting text into lines, hexadecimal digits,
// and writing lines through a buffer. Not for use outside core/formats.

#include "core/formats/recordimage.h"

#include <QBuffer>
#include <QByteArray>
#include <QCoreApplication>
#include <QIODevice>
#include <QString>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

namespace korvane {

namespace recordtext {

// Reads a device line by line through a buffer of its own, never holding more than one line
// and a block of what follows it: lines end at LF, CRLF or a lone CR, blanks around a line are
// dropped, and a byte order mark some editors put in front of text is skipped. A line longer than
// kMaxLine bytes (more than any record holds) is reported as such without being read further.
class LineReader
{
public:
    static constexpr std::size_t kMaxLine = 1024;

    enum Result
    {
        Line,    // the next line, trimmed
        End,     // no more lines
        TooLong, // the next line runs on past kMaxLine bytes
        Failed,  // the device could not be read (errorString says why)
    };

    // Reads from the device's current position.
    explicit LineReader(QIODevice& device) : device(device), buffer(kBlock) {}

    Result next(const char** begin, std::size_t* length)
    {
        if (!started) {
            started = true;
            if (!fillTo(3))
                return Failed;
            if (stop - pos >= 3 && std::uint8_t(buffer[pos]) == 0xEF &&
                std::uint8_t(buffer[pos + 1]) == 0xBB && std::uint8_t(buffer[pos + 2]) == 0xBF)
                pos += 3;
        }
        // A CR that ended the last line at the end of the buffer may be the first half of a CRLF.
        if (afterCr) {
            afterCr = false;
            if (!fillTo(1))
                return Failed;
            if (pos != stop && buffer[pos] == '\n')
                ++pos;
        }
        std::size_t scanned = pos;
        for (;;) {
            while (scanned != stop && buffer[scanned] != '\n' && buffer[scanned] != '\r')
                ++scanned;
            if (scanned - pos > kMaxLine) {
                ++number;
                return TooLong;
            }
            if (scanned != stop || atEnd)
                break;
            const std::size_t seen = scanned - pos;
            if (!fillTo(stop - pos + 1))
                return Failed;
            scanned = pos + seen;
        }
        if (scanned == pos && scanned == stop)
            return End;
        ++number;
        std::size_t first = pos;
        std::size_t last = scanned;
        if (scanned != stop) {
            if (buffer[scanned] == '\r') {
                if (scanned + 1 != stop) {
                    if (buffer[scanned + 1] == '\n')
                        ++scanned;
                } else if (!atEnd) {
                    afterCr = true;
                }
            }
            ++scanned;
        }
        pos = scanned;
        while (first != last && isBlank(buffer[first]))
            ++first;
        while (last != first && isBlank(buffer[last - 1]))
            --last;
        *begin = buffer.data() + first;
        *length = last - first;
        return Line;
    }

    // The number (from 1) of the line next() returned last.
    std::uint64_t line() const { return number; }
    QString errorString() const { return device.errorString(); }

private:
    static constexpr std::size_t kBlock = 64 * 1024;
    static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\f' || c == '\v'; }

    // Reads until at least count bytes from pos are in the buffer or the device has no more;
    // false when it cannot be read. What was consumed is dropped first.
    bool fillTo(std::size_t count)
    {
        if (pos != 0) {
            std::memmove(buffer.data(), buffer.data() + pos, stop - pos);
            stop -= pos;
            pos = 0;
        }
        while (!atEnd && stop < count) {
            const qint64 got = device.read(buffer.data() + stop, qint64(buffer.size() - stop));
            if (got < 0)
                return false;
            if (got == 0)
                atEnd = true;
            stop += std::size_t(got);
        }
        return true;
    }

    QIODevice& device;
    std::vector<char> buffer;
    std::size_t pos = 0;  // the next unread byte
    std::size_t stop = 0; // one past the last byte read
    std::uint64_t number = 0;
    bool started = false;
    bool afterCr = false;
    bool atEnd = false;
};

// Text in memory as a device to read lines from (at most 2 GiB: tests, fuzzing, a file's head).
class TextDevice : public QBuffer
{
public:
    TextDevice(const char* text, std::size_t size)
        : raw(QByteArray::fromRawData(text, int(std::min<std::size_t>(size, INT_MAX))))
    {
        setBuffer(&raw);
        open(QIODevice::ReadOnly);
    }

private:
    QByteArray raw;
};

// Where a reader's data records go: false stops the reading, with error set when it is a fault.
using DataSink = std::function<bool(std::uint64_t address, const std::uint8_t* data, std::size_t size,
                                    std::uint64_t line, ImageError* error)>;

inline bool malformed(ImageError* error, std::uint64_t line, const char* why)
{
    *error = ImageError::onLine(ImageError::Malformed, line, QCoreApplication::translate("ImageError", why));
    return false;
}

// Whether a line is only what old editors leave at the end of a file: nothing, or Ctrl-Z.
inline bool isEndOfTextFiller(const char* line, std::size_t length)
{
    return length == 0 || (length == 1 && line[0] == '\x1A');
}

// Hands parser every line of the device that is not blank until its end record, then checks that
// only blank lines follow. Parser has line(text, length, number, sink, error) and ended.
template <typename Parser>
bool readLines(QIODevice& device, Parser& parser, const DataSink& sink, ImageError* error)
{
    LineReader lines(device);
    const char* line = nullptr;
    std::size_t length = 0;
    for (;;) {
        switch (lines.next(&line, &length)) {
        case LineReader::End:
            if (parser.ended)
                return true;
            *error = ImageError::onLine(ImageError::MissingEnd, lines.line());
            return false;
        case LineReader::Failed:
            *error = ImageError::onLine(ImageError::ReadFailed, lines.line(), lines.errorString());
            return false;
        case LineReader::TooLong:
            if (parser.ended) {
                *error = ImageError::onLine(ImageError::ContentAfterEnd, lines.line());
                return false;
            }
            return malformed(error, lines.line(), QT_TRANSLATE_NOOP("ImageError", "wrong length"));
        case LineReader::Line:
            break;
        }
        if (parser.ended) {
            if (isEndOfTextFiller(line, length))
                continue;
            *error = ImageError::onLine(ImageError::ContentAfterEnd, lines.line());
            return false;
        }
        if (length != 0 && !parser.line(line, length, lines.line(), sink, error))
            return false;
    }
}

// Reads the records of a device from its start into image. Records are checked as they come: the
// first fault ends the reading. For two records that give an address different bytes the earlier
// line is found by reading the device again up to the later one, so that nothing is kept per line.
template <typename Parser> bool readRecords(QIODevice& device, RecordImage* image, ImageError* error)
{
    if (!device.isSequential() && !device.seek(0)) {
        *error = ImageError::onLine(ImageError::ReadFailed, 0, device.errorString());
        return false;
    }
    Parser parser;
    const bool ok = readLines(
        device, parser,
        [image](std::uint64_t address, const std::uint8_t* data, std::size_t size, std::uint64_t line,
                ImageError* fault) { return image->add(address, data, size, line, fault); },
        error);
    if (ok || error->kind != ImageError::Overlap || device.isSequential() || !device.seek(0))
        return ok;
    const std::uint64_t later = error->line;
    const std::uint64_t address = error->address;
    Parser again;
    ImageError ignored;
    readLines(
        device, again,
        [&](std::uint64_t start, const std::uint8_t*, std::size_t size, std::uint64_t line, ImageError*) {
            if (line >= later)
                return false;
            if (address >= start && address - start < size) {
                error->otherLine = line;
                return false;
            }
            return true;
        },
        &ignored);
    return false;
}

inline int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Decodes pairs of hexadecimal digits into out; false at the first character that is not one.
inline bool decodeHex(const char* digits, std::size_t pairs, std::uint8_t* out)
{
    for (std::size_t i = 0; i < pairs; ++i) {
        const int high = hexValue(digits[2 * i]);
        const int low = hexValue(digits[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        out[i] = std::uint8_t(high << 4 | low);
    }
    return true;
}

// Collects lines and hands them to the device in large writes.
class LineWriter
{
public:
    explicit LineWriter(QIODevice& device) : device(device) { buffer.reserve(kChunk + 600); }

    // Starts a line with its leading characters.
    void begin(const char* lead) { buffer.append(lead); }
    void hexByte(std::uint8_t value)
    {
        static const char kDigits[] = "0123456789ABCDEF";
        buffer.append(kDigits[value >> 4]);
        buffer.append(kDigits[value & 15]);
    }
    // Ends the line; false once a write has failed.
    bool end()
    {
        buffer.append('\n');
        return buffer.size() < kChunk || flush();
    }
    // A short write is continued, so that a full disk shows as the failing write with its
    // reason rather than as a count that does not add up.
    bool flush()
    {
        qint64 done = 0;
        while (!failed && done < buffer.size()) {
            const qint64 written = device.write(buffer.constData() + done, buffer.size() - done);
            if (written <= 0)
                failed = true;
            else
                done += written;
        }
        buffer.clear();
        return !failed;
    }
    QString errorString() const { return device.errorString(); }

private:
    static constexpr int kChunk = 1 << 20;
    QIODevice& device;
    QByteArray buffer;
    bool failed = false;
};

} // namespace recordtext

} // namespace korvane
