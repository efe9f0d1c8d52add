#pragma once
// The default polish prompts: the current ones in Simplified Chinese, Traditional Chinese and
// English, and the short prompts of earlier versions, which are only recognised (and replaced),
// never offered.

#include <QString>
#include <QStringList>

namespace Tellumo::TellumoDefaultPrompt {

const QString &simplified();
const QString &traditional();
const QString &english();
// The earlier defaults: simplified, traditional, English.
const QStringList &legacy();
// The three current defaults followed by the three earlier ones: the prompts that count as not
// edited by the user.
const QStringList &all();

// The current default for a language identifier or "system" (the user's first preferred
// language; Simplified Chinese when there is none). "zh-Hant", "zh-TW" and "zh-HK" prefixes get
// the traditional prompt, any other "zh" prefix the simplified one, everything else English;
// the prefix tests are case-sensitive.
QString forLanguage(const QString &language);
QString forLanguage(const QString &language, const QStringList &preferredLanguages);

// One of the earlier defaults becomes the current default of `language`; any other prompt
// stays as it is.
QString migrate(const QString &prompt, const QString &language);

} // namespace Tellumo::TellumoDefaultPrompt
