#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

// Why a record file was refused. line is the file's line (from 1) the fault is on; for an overlap
// it is the later of the two lines and otherLine the earlier one.
struct ImageError
{
    enum Kind
    {
        None,
        Malformed,       // not a record of the format: characters, length, field sizes
        BadChecksum,     // the record's checksum does not match its bytes
        UnknownRecord,   // a record type the format does not define
        AddressOverflow, // data beyond the 4 GiB address space
        CountMismatch,   // an S-record count that is not the number of data records before it
        Overlap,         // two records give different bytes for one address
        ContentAfterEnd, // something other than blank lines after the end record
        MissingEnd,      // no end record: the file may have been cut short
        NoData,          // no data record at all
        TooLarge,        // from the lowest to the highest address is more than can be held
        ReadFailed,      // the file itself could not be read (detail says why)
    };
    Kind kind = None;
    std::uint64_t line = 0;
    std::uint64_t otherLine = 0;
    std::uint64_t address = 0;
    std::uint64_t endAddress = 0; // TooLarge: one past the highest address
    QString detail;

    static ImageError onLine(Kind kind, std::uint64_t line, const QString& detail = QString())
    {
        ImageError error;
        error.kind = kind;
        error.line = line;
        error.detail = detail;
        return error;
    }
};

// English, for the command line: "line 12: bad checksum".
QString imageErrorText(const ImageError& error);

// The data records of an Intel HEX or S-record file, as read: where each one's bytes go and the
// line it came from. Nothing is placed until assemble(), which fills the gaps and finds
// overlapping records; the span can be checked first without building anything.
class RecordImage
{
public:
    // At most this many bytes from the lowest to the highest address are assembled.
    static constexpr std::uint64_t kMaxSpan = std::uint64_t(1) << 30;

    bool isEmpty() const { return records.empty(); }
    // The lowest address with data, and one past the highest; both 0 when empty.
    std::uint64_t lowest() const { return low; }
    std::uint64_t end() const { return high; }
    std::uint64_t span() const { return high - low; }
    std::size_t recordCount() const { return records.size(); }

    // Adds bytes at address from the given line. Fails (AddressOverflow) when they reach past 4 GiB.
    bool add(std::uint64_t address, const std::uint8_t* data, std::size_t size, std::uint64_t line,
             ImageError* error);

    // The bytes from lowest() to end(), 0xFF where no record gives one. Refuses a span over
    // maxSpan (TooLarge) and records that give one address different bytes (Overlap); the same
    // bytes given twice are fine.
    bool assemble(QByteArray* out, ImageError* error, std::uint64_t maxSpan = kMaxSpan) const;

    void clear();

private:
    struct Record
    {
        std::uint64_t address;
        std::uint64_t offset; // in pool
        std::uint64_t line;
        std::uint32_t size;
    };
    std::vector<Record> records;
    std::vector<std::uint8_t> pool;
    std::uint64_t low = 0;
    std::uint64_t high = 0;
    bool sorted = true; // records are in address order as added
};
