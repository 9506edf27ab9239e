#pragma once

#include <QByteArray>
#include <QString>

namespace korvane {

// The bytes that show text on the terminal: the locale's encoding where it can hold the text,
// UTF-8 otherwise. A Chinese locale that is set but not generated (Debian's default) leaves the
// C library, and with it the locale's encoding, at ASCII.
QByteArray terminalBytes(const QString& text);

// The columns text takes on a terminal: two for East Asian wide characters (CJK ideographs,
// kana, hangul, full-width forms), one for the others.
int terminalWidth(const QString& text);

} // namespace korvane
