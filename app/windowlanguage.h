#pragma once

#include <QString>

class QLocale;
class QSettings;

namespace korvane {

// The window's texts are Chinese in the source; an English translation is compiled in. Which of
// the two the window speaks is the user's choice in 帮助 → 语言/Language, remembered in the settings
// ("window/language": "zh_CN" or "en"; absent: follow the system).
enum class WindowLanguage
{
    System,
    Chinese,
    English
};

WindowLanguage rememberedLanguage(const QSettings& settings);
void rememberLanguage(QSettings& settings, WindowLanguage language);

// Whether the window speaks English for a choice on a system with the given locale. Following the
// system, a Chinese locale and the C/POSIX locale (no LANG set, as in CI) keep the Chinese texts.
bool speaksEnglish(WindowLanguage language, const QLocale& system);

// Installs the English translation on the application, or removes it (and installs the Chinese
// texts of the core, which are English in the source, where the program has them). Decided before the window
// is built: texts already shown do not change. False when English was asked for and the
// translation would not load.
bool useEnglish(bool english);
// Whether the English translation is installed.
bool englishInUse();

// At start, before the window is built: the remembered choice, or else the system's locale, decides.
// True when the window speaks English.
bool setUpWindowLanguage(const QSettings& settings, const QLocale& system);

} // namespace korvane
