#pragma once

#include "core/chip/chipinfo.h"

#include <QList>
#include <QString>
#include <QStringList>

class QIODevice;

namespace korvane {

// The chip database, relative to the process's current directory.
extern const char kChipListFileName[]; // "./ChipListData.dat"

// Names are read up to the first NUL, never past their 64-byte field, and decoded as UTF-8.
QString chipManufacturer(const CHIP_INFO& chip);
QString chipModelName(const CHIP_INFO& chip);

// Stores text as UTF-8 with its NUL and zero fill. Refuses (returns false, field untouched) text of
// more than 63 bytes of UTF-8, so a name is never stored cut or without its NUL.
bool setChipName(char (&field)[kChipNameFieldSize], const QString& text);
int chipNameUtf8Length(const QString& text);

// "%d MByte", "%d Byte" or "%d KByte" for a byte count; the shifts drop the remainder.
QString formatChipSize(std::int32_t n);

// Distinct manufacturer names in order of first appearance (exact, case-sensitive).
QStringList distinctManufacturers(const QList<CHIP_INFO>& chips);

// The three leading ID bytes as one number, first byte highest.
std::uint32_t chipIdKey(const std::uint8_t* id);
// Every record whose three leading ID bytes are the chip's, in list order.
QList<CHIP_INFO> chipsWithId(const QList<CHIP_INFO>& chips, const std::uint8_t* id);
// Whether two records describe the same chip to the adapter: size, page and sector size, every
// instruction and address width (names and ID aside).
bool sameChipGeometry(const CHIP_INFO& a, const CHIP_INFO& b);

// Whether a record's model name names the wanted model: the whole name or one of its
// '/'-separated alternatives equals it, in any case, where a '.' in the record stands for any one
// character ("W25Q128.V" names W25Q128FV).
bool modelNameMatches(const QString& recordName, const QString& wanted);

// Sorts by manufacturer name, lower-cased, compared as UTF-16 code units. Equal keys keep
// their relative order.
void sortChipList(QList<CHIP_INFO>& chips);

// A database larger than this (some six million records) is refused rather than read.
constexpr qint64 kMaxChipListFileSize = qint64(1) << 30;

// The largest chip a record may describe: PageSize x NumPages, taken in 64 bits.
constexpr std::int64_t kMaxChipRecordSize = std::int64_t(1) << 32;

// The first rule a record's geometry breaks, in the order they are checked. A record that breaks
// one describes no chip the program could drive: erasing or writing by its sizes would work on
// nonsense, so the readers leave it out.
enum class ChipRecordFault
{
    None,
    PageSizeNotPositive, // PageSize zero or negative
    PageSizeNotPowerOfTwo,
    SectorSizeNotPositive,
    SectorSizeNotPowerOfTwo,
    SectorSmallerThanPage,
    NumPagesNotPositive,
    SizeTooLarge,      // PageSize x NumPages past kMaxChipRecordSize
    ReadDataAddrBytes, // not 3 or 4
    WritePageAddrBytes,
    EraseSectorAddrBytes,
    IDLengthTooLarge, // more than the 16 FlashID bytes; 0 means "any chip" and is valid
};

ChipRecordFault chipRecordFault(const SPIFlashConfig& config);
// The field, its value and what is wrong with it ("SectorSize 3 is not a power of two"), in
// English; korvane-spi's catalog translates it. Empty for ChipRecordFault::None.
QString chipRecordFaultText(const SPIFlashConfig& config, ChipRecordFault fault);

// A record left out on reading, kept byte for byte so that a writer can put it back.
struct InvalidChipRecord
{
    int number = 0; // from 1, in file order
    ChipRecordFault fault = ChipRecordFault::None;
    CHIP_INFO chip{};
};

// Every record of a file in file order again: the valid ones as read and the invalid ones at their
// numbers.
QList<CHIP_INFO> chipsInFileOrder(const QList<CHIP_INFO>& valid, const QList<InvalidChipRecord>& invalid);

// Plain file access without user interaction. A file whose size is not a whole number of records
// is refused whole: it is not a chip list, or a damaged one. Of the records, chips gets the valid
// ones in file order; the others go to *invalid (when given) with their numbers and faults. Only a
// regular file is read, and only whole: a read that brings fewer bytes than the file holds fails.
// missing tells whether there was no file at all. Writing goes through a temporary file that
// replaces the target only when complete, so a failed write leaves the old file as it was.
bool readChipListFile(const QString& path, QList<CHIP_INFO>& chips, QString* errorString,
                      bool* missing = nullptr, QList<InvalidChipRecord>* invalid = nullptr);
bool writeChipListFile(const QString& path, const QList<CHIP_INFO>& chips, QString* errorString);
// The records of size bytes read from device; fails when fewer arrive.
bool readChipList(QIODevice& device, qint64 size, QList<CHIP_INFO>& chips, QString* errorString,
                  QList<InvalidChipRecord>* invalid = nullptr);

} // namespace korvane
