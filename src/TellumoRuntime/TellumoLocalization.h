#pragma once
// The polishing side's text lookup, which follows the language chosen in the Tellumo
// preferences rather than the system's.
//
// Keys are the Simplified Chinese texts themselves. The side ships its own tables, apart from
// the application's: ":/tellumo/strings/<language>.json" for "en" and "zh-Hant"; Simplified
// Chinese ("zh-Hans") is the source and needs none. A language with no table of its own
// ("system", "fr", "en-GB", ...) gets the table of the system's language, as the application's
// lookup chooses it. A missing entry gives the key back; nothing here fails.
//
// Call sites pass the literal key, `tellumoLocalized("API 根地址", language)`, so the table
// check in the tests finds every key; a key kept for later goes through tellumoKey
// (TellumoCore/TellumoError.h).

#include "KivaroCore/Localization.h"
#include "TellumoCore/TellumoError.h"

#include <QHash>
#include <QString>

#include <initializer_list>

namespace Tellumo {

QString tellumoLocalized(const QString &key, const QString &language);

// Looks `format` up for the language stored under "language" in the application's standard
// preferences ("system" when absent), then fills its placeholders (as kivaroFormat does) with
// the current locale.
QString tellumoLocalizedFormat(const QString &format, std::initializer_list<Kivaro::FormatArgument> arguments);
template <typename... Args>
QString tellumoLocalizedFormat(const QString &format, const Args &...arguments)
{
    return tellumoLocalizedFormat(format, {Kivaro::FormatArgument(arguments)...});
}

// The message of an error of the Tellumo modules in the user's language (looked up like
// tellumoLocalizedFormat), with the words of Qt or the library that failed after it.
QString tellumoErrorText(const TellumoError &error);

namespace TellumoStrings {
// The languages with a table of their own, the source language included.
QStringList languages();
// The table of a language as linked into this program; empty for the source language.
QHash<QString, QString> table(const QString &language);
} // namespace TellumoStrings

} // namespace Tellumo
