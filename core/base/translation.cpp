#include "core/base/translation.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

namespace {

bool installFrom(QTranslator* translator)
{
    if (translator->isEmpty() || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

} // namespace

bool installTranslation(const QString& catalog, const QLocale& locale)
{
    // Parented to the application, which outlives every window and text that uses it.
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(locale, catalog, QStringLiteral("_"), QStringLiteral(":/translations"))) {
        delete translator;
        return false;
    }
    return installFrom(translator);
}

bool installTranslation(const QString& catalog, const QString& language)
{
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(catalog + QLatin1Char('_') + language, QStringLiteral(":/translations"))) {
        delete translator;
        return false;
    }
    return installFrom(translator);
}
