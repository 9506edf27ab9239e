#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <map>
#include <vector>

namespace korvane {

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

// A run of bytes a record file holds, at its address.
struct ImageSegment
{
    std::uint64_t start = 0;
    QByteArray bytes;
};

// The data of an Intel HEX or S-record file as it is read: which bytes each address holds. Records
// are placed as they come, in pages of the address space, so that what is held never costs much
// more than the bytes themselves, whatever the order of the records; a record that gives a held
// address other bytes is refused at once (Overlap; the reader names the earlier line).
class RecordImage
{
public:
    // At most this many bytes from the lowest to the highest address are assembled.
    static constexpr std::uint64_t kMaxSpan = std::uint64_t(1) << 30;

    // What becomes of data past the room: refused at the first record that reaches there
    // (TooLarge, naming that line and the extent so far), or no longer held while its extent is
    // still followed to the end of the file, so that the caller can say how far the file reaches
    // (assemble() and segments() then refuse it).
    enum class PastRoom
    {
        Refuse,
        Measure,
    };

    // Holds data only within room bytes: from address 0 on, or, when placed (the data goes to
    // another address than its own), from its lowest address on. Set before anything is added.
    void setRoom(std::uint64_t room, bool placed, PastRoom past = PastRoom::Refuse);

    bool isEmpty() const { return !hasData; }
    // The lowest address with data, and one past the highest; both 0 when empty.
    std::uint64_t lowest() const { return low; }
    std::uint64_t end() const { return high; }
    std::uint64_t span() const { return high - low; }
    // How many addresses hold a byte.
    std::uint64_t heldBytes() const { return held; }
    // Whether the data reaches past the room set.
    bool pastRoom() const;

    // Adds bytes at address from the given line. Fails (AddressOverflow) when they reach past
    // 4 GiB, (Overlap) when a byte differs from one held for its address, (TooLarge) past a
    // refusing room.
    bool add(std::uint64_t address, const std::uint8_t* data, std::size_t size, std::uint64_t line,
             ImageError* error);

    // The bytes from lowest() to end(), 0xFF where no record gives one. Refuses a span over
    // maxSpan or data past the room (TooLarge), and an empty image (NoData).
    bool assemble(QByteArray* out, ImageError* error, std::uint64_t maxSpan = kMaxSpan) const;
    // Moves the runs of held bytes out, in address order, and leaves the image empty. Refuses data
    // past the room, a run over kMaxSpan (TooLarge) and an empty image (NoData).
    bool takeSegments(std::vector<ImageSegment>* out, ImageError* error);

    void clear();

private:
    static constexpr int kPageBits = 12;
    static constexpr std::uint64_t kPageSize = std::uint64_t(1) << kPageBits;
    struct Page
    {
        std::uint8_t bytes[kPageSize];
        std::uint64_t heldMask[kPageSize / 64] = {};
        bool holds(std::size_t offset) const { return heldMask[offset / 64] >> (offset % 64) & 1; }
    };
    // Calls run(start, length, bytes) for each run of held bytes within one page, in address order.
    template <typename Run>
    static void forEachRun(const std::pair<const std::uint64_t, Page>& entry, Run run);
    bool refuseTooLarge(ImageError* error, std::uint64_t line) const;

    std::map<std::uint64_t, Page> pages; // by page number
    std::uint64_t low = 0;
    std::uint64_t high = 0;
    std::uint64_t held = 0;
    bool hasData = false;
    std::uint64_t room = std::uint64_t(1) << 32;
    bool placed = false;
    PastRoom past = PastRoom::Refuse;
    bool dropped = false; // measured past the room: nothing more is held
};

} // namespace korvane
