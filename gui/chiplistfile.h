#pragma once

#include "core/chip/chiplist.h"

class QWidget;

namespace korvane {

class UserInteraction;

extern const char kChipListWarningTitle[]; // title of the open/save warning

// Reads the database's valid records into chips. When it cannot be opened or read, or its size is
// not a whole number of records, shows the warning "不能打开文件 %1:\n%2." with parent and returns
// false; chips is then untouched, and missing tells whether the file was simply not there. Records
// with impossible geometry are left out of chips without a word and go to *invalid when given:
// the caller says so (warnInvalidChipRecords) and keeps them when it writes the file back.
bool loadChipList(QWidget* parent, UserInteraction& ui, QList<CHIP_INFO>& chips,
                  const QString& path = QString::fromLatin1(kChipListFileName), bool* missing = nullptr,
                  QList<InvalidChipRecord>* invalid = nullptr);

// Writes the database: chips sorted, then kept (the file's invalid records) as they are, and sorts
// chips in place once it is written. On failure shows the same warning; chips and the old file stay
// as they were. Returns true when the file was written.
bool saveChipList(QWidget* parent, UserInteraction& ui, QList<CHIP_INFO>& chips,
                  const QString& path = QString::fromLatin1(kChipListFileName),
                  const QList<CHIP_INFO>& kept = {});

// What is wrong with a record, in the window's language ("SectorSize 为 3，不是2的幂").
QString chipRecordFaultMessage(const SPIFlashConfig& config, ChipRecordFault fault);

// The one warning about the records of path that were left out: how many, the first one's number
// and fault. Nothing when invalid is empty.
void warnInvalidChipRecords(QWidget* parent, UserInteraction& ui, const QString& path,
                            const QList<InvalidChipRecord>& invalid);

} // namespace korvane
