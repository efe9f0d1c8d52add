#pragma once
// Qt's own texts in the user's language: the buttons, labels and column titles of Qt's dialogs
// (the file panels, the message boxes) and its context menus. Debian ships Qt's translations in
// qt6-translations-l10n under QLibraryInfo::TranslationsPath; English, the language Qt is
// written in, needs none.

#include <QString>

namespace Platform {

// Installs Qt's translation of `language`, a tag as the string tables name their languages
// ("zh-Hans", "zh-Hant", "en"), in place of any installed earlier. True when a translation is in
// use; when none is installed for the language Qt speaks English, as it does for "en".
bool installQtTranslations(const QString &language);

} // namespace Platform
