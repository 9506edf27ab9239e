#pragma once

#include "core/chip/chiplist.h"

class QWidget;
class UserInteraction;

extern const char kChipListWarningTitle[]; // title of the open/save warning

// Reads the database into chips. When it cannot be opened or read, shows the warning
// "不能打开文件 %1:\n%2." with parent and returns false; chips is then untouched, and missing tells
// whether the file was simply not there.
bool loadChipList(QWidget* parent, UserInteraction& ui, QList<CHIP_INFO>& chips,
                  const QString& path = QString::fromLatin1(kChipListFileName), bool* missing = nullptr);

// Writes the database sorted, and sorts chips in place once it is written. On failure shows the
// same warning; chips and the old file stay as they were. Returns true when the file was written.
bool saveChipList(QWidget* parent, UserInteraction& ui, QList<CHIP_INFO>& chips,
                  const QString& path = QString::fromLatin1(kChipListFileName));
