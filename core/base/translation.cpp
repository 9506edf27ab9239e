#include "core/base/translation.h"

#include <QCoreApplication>
#include <QTranslator>

namespace korvane {

bool installTranslation(const QString& catalog, const QString& language)
{
    // Parented to the application, which outlives every text that uses it.
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(catalog + QLatin1Char('_') + language, QStringLiteral(":/translations")) ||
        translator->isEmpty() || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

} // namespace korvane
