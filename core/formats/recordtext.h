#pragma once

// Helpers the Intel HEX and S-record code share: splitting text into lines, hexadecimal digits,
// and writing lines through a buffer. Not for use outside core/formats.

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace recordtext {

// Lines end at LF, CRLF or a lone CR. Blanks around a line are dropped.
class LineScanner
{
public:
    LineScanner(const char* text, std::size_t size) : pos(text), stop(text + size)
    {
        // A byte order mark some editors put in front of text.
        if (size >= 3 && std::uint8_t(text[0]) == 0xEF && std::uint8_t(text[1]) == 0xBB &&
            std::uint8_t(text[2]) == 0xBF)
            pos += 3;
    }

    // The next line, trimmed; false at the end of the text.
    bool next(const char** begin, std::size_t* length)
    {
        if (pos == stop)
            return false;
        ++number;
        const char* start = pos;
        while (pos != stop && *pos != '\n' && *pos != '\r')
            ++pos;
        const char* finish = pos;
        if (pos != stop) {
            if (*pos == '\r' && pos + 1 != stop && pos[1] == '\n')
                ++pos;
            ++pos;
        }
        while (start != finish && isBlank(*start))
            ++start;
        while (finish != start && isBlank(finish[-1]))
            --finish;
        *begin = start;
        *length = std::size_t(finish - start);
        return true;
    }

    // The number (from 1) of the line next() returned last.
    std::uint64_t line() const { return number; }

private:
    static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\f' || c == '\v'; }

    const char* pos;
    const char* const stop;
    std::uint64_t number = 0;
};

// Whether a line is only what old editors leave at the end of a file: nothing, or Ctrl-Z.
inline bool isEndOfTextFiller(const char* line, std::size_t length)
{
    return length == 0 || (length == 1 && line[0] == '\x1A');
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
