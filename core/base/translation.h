#pragma once

#include <QString>

class QLocale;

// The programs' texts in other languages are compiled into them as resources,
// ":/translations/<catalog>_<language>.qm" (KorvaneSpiFlash_en, korvane-spi_zh_CN).

// Installs the translation of catalog for the locale's language on the application, if the program
// has one; false leaves the source texts.
bool installTranslation(const QString& catalog, const QLocale& locale);
// Installs the named translation ("en", "zh_CN"); false when there is none.
bool installTranslation(const QString& catalog, const QString& language);
