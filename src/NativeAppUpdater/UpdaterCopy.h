#pragma once
// The updater's own text lookup, independent of the application's string table.
//
// Every text the updater shows is written in the code in Simplified Chinese and passes through
// `updaterCopy` before display: the source text itself, or its English or Traditional Chinese
// translation from the updater's two constant tables. Format strings are looked up first and
// filled afterwards (`updaterFormat`), so a filled text never misses its entry.
//
// The language is decided afresh at every call: English when the running bundle declares no
// localisations (a development build without a bundle included); otherwise from the user's first
// preferred language, after Linux's form ("zh_TW.UTF-8", "zh_HK@euro") is brought to a tag
// ("zh-tw", "zh-hk"): Traditional Chinese for tags carrying "hant", "-tw", "-hk" or "-mo",
// Simplified Chinese for other "zh" tags, English for everything else. Thread-safe.

#include <QString>
#include <QStringList>

#include <initializer_list>

namespace NativeAppUpdater {

enum class UpdaterLanguage { english, simplifiedChinese, traditionalChinese };

// The language to use now.
UpdaterLanguage currentUpdaterLanguage();
// The rule itself: whether the running bundle declares localisations, and the user's first
// preferred language as the system gives it (empty when there is none).
UpdaterLanguage updaterLanguageFor(bool bundleDeclaresLocalizations, const QString &firstPreferredLanguage);
// "zh_TW.UTF-8" -> "zh-tw": codeset and modifier dropped, "_" made "-", lower case.
QString normalizedLanguageTag(const QString &language);

// The display text of a source text; texts outside the tables come back unchanged.
QString updaterCopy(const QString &source);
QString updaterCopy(const QString &source, UpdaterLanguage language);

// Looks `format` up, then replaces each "%@" in turn by the next argument.
QString updaterFormat(const QString &format, std::initializer_list<QString> arguments);

// The tables' source texts in order (tests check that every text of the code has an entry).
QStringList updaterSourceTexts();

} // namespace NativeAppUpdater
