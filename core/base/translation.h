#pragma once

#include <QString>

namespace korvane {

// The programs' texts in other languages are compiled into them as resources,
// ":/translations/<catalog>_<language>.qm".

// Installs the named translation ("zh_CN") of catalog ("korvane-spi") on the application; false
// when the program has none, which leaves the source texts.
bool installTranslation(const QString& catalog, const QString& language);

} // namespace korvane
