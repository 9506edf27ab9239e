#include "app/windowlanguage.h"

#include <QCoreApplication>
#include <QLocale>
#include <QPointer>
#include <QSettings>
#include <QTranslator>

namespace korvane {

namespace {

const char kLanguageKey[] = "window/language";

// The installed English translation, owned by the application.
QPointer<QTranslator>& installed()
{
    static QPointer<QTranslator> translator;
    return translator;
}

// The Chinese texts of the core (why an operation failed), which are English in the source; the
// command line's catalog holds them.
QPointer<QTranslator>& coreChinese()
{
    static QPointer<QTranslator> translator;
    return translator;
}

void useCoreChinese(bool chinese)
{
    QPointer<QTranslator>& translator = coreChinese();
    if (!chinese) {
        if (translator) {
            QCoreApplication::removeTranslator(translator);
            delete translator.data();
        }
        return;
    }
    if (translator)
        return;
    auto* loaded = new QTranslator(QCoreApplication::instance());
    if (!loaded->load(QStringLiteral(":/translations/korvane-spi_zh_CN.qm")) || loaded->isEmpty() ||
        !QCoreApplication::installTranslator(loaded)) {
        delete loaded;
        return;
    }
    translator = loaded;
}

} // namespace

WindowLanguage rememberedLanguage(const QSettings& settings)
{
    const QString value = settings.value(QLatin1String(kLanguageKey)).toString();
    if (value == QLatin1String("zh_CN"))
        return WindowLanguage::Chinese;
    if (value == QLatin1String("en"))
        return WindowLanguage::English;
    // Absent, or a value this version does not know: follow the system.
    return WindowLanguage::System;
}

void rememberLanguage(QSettings& settings, WindowLanguage language)
{
    switch (language) {
    case WindowLanguage::System:
        settings.remove(QLatin1String(kLanguageKey));
        break;
    case WindowLanguage::Chinese:
        settings.setValue(QLatin1String(kLanguageKey), QStringLiteral("zh_CN"));
        break;
    case WindowLanguage::English:
        settings.setValue(QLatin1String(kLanguageKey), QStringLiteral("en"));
        break;
    }
    settings.sync();
}

bool speaksEnglish(WindowLanguage language, const QLocale& system)
{
    switch (language) {
    case WindowLanguage::Chinese:
        return false;
    case WindowLanguage::English:
        return true;
    case WindowLanguage::System:
        break;
    }
    return system.language() != QLocale::C && system.language() != QLocale::Chinese;
}

bool useEnglish(bool english)
{
    useCoreChinese(!english);
    QPointer<QTranslator>& translator = installed();
    if (!english) {
        if (translator) {
            QCoreApplication::removeTranslator(translator);
            delete translator.data();
        }
        return true;
    }
    if (translator)
        return true;
    auto* loaded = new QTranslator(QCoreApplication::instance());
    if (!loaded->load(QStringLiteral(":/translations/KorvaneSpiFlash_en.qm")) || loaded->isEmpty() ||
        !QCoreApplication::installTranslator(loaded)) {
        delete loaded;
        return false;
    }
    translator = loaded;
    return true;
}

bool englishInUse()
{
    return !installed().isNull();
}

bool setUpWindowLanguage(const QSettings& settings, const QLocale& system)
{
    const bool english = speaksEnglish(rememberedLanguage(settings), system);
    if (english && !useEnglish(true)) {
        qWarning("The English translation did not load; the window stays in Chinese.");
        return false;
    }
    if (!english)
        useEnglish(false);
    return english;
}

} // namespace korvane
