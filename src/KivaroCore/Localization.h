#pragma once
// The user-interface string lookup.
//
// Every text the application shows is written in the code as its Simplified Chinese source
// text, which is at once the key into the string table "Kivaro" and the text shown when the
// table has no entry. Each library ships its part of the table as resources
// (":/kivaro/strings/<language>/<library>.json", one JSON object from source text to
// translation, added with kivaro_add_string_tables); the language is the first of the user's preferred
// UI languages that has a table or is the source language. Missing tables and missing keys
// give the key back unchanged; nothing here fails.
//
// Call sites pass the literal source text directly, `kivaroCopy("选中窗口")`, so the table
// check in the tests can find every key.

#include <QLocale>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <initializer_list>

namespace Kivaro {

// One argument of kivaroFormat: any text or number.
class FormatArgument {
public:
    FormatArgument(const QString &text) : m_value(text) {}
    FormatArgument(const char *text) : m_value(QString::fromUtf8(text)) {}
    FormatArgument(QStringView text) : m_value(text.toString()) {}
    FormatArgument(int number) : m_value(qint64(number)) {}
    FormatArgument(long number) : m_value(qint64(number)) {}
    FormatArgument(long long number) : m_value(qint64(number)) {}
    FormatArgument(unsigned number) : m_value(quint64(number)) {}
    FormatArgument(unsigned long number) : m_value(quint64(number)) {}
    FormatArgument(unsigned long long number) : m_value(quint64(number)) {}
    FormatArgument(double number) : m_value(number) {}
    const QVariant &value() const { return m_value; }

private:
    QVariant m_value;
};

// The display text of a source text.
QString kivaroCopy(const QString &key);

// Looks `format` up like kivaroCopy, then fills its printf-style placeholders (%@, %d, %ld,
// %lld, %u, %lu, %f, %.1f, %s, %%, and positional forms such as %1$@) in order, using the
// current locale for numbers.
QString kivaroFormat(const QString &format, std::initializer_list<FormatArgument> arguments);
template <typename... Args>
QString kivaroFormat(const QString &format, const Args &...arguments)
{
    return kivaroFormat(format, {FormatArgument(arguments)...});
}

// A message of ours followed by what Qt or a library said about the failure, in the library's
// own words: "无法安全连接到 AI 服务：SSL handshake failed". `message` comes looked up and without
// closing punctuation. Every message that carries a library's text is put together here, so the
// user always reads first, in their language, what failed.
QString withLibraryDetail(const QString &message, const QString &detail);

// Fills printf-style placeholders without any lookup.
QString formatWithLocale(const QString &format, const QList<QVariant> &arguments, const QLocale &locale);

namespace StringTable {
// The language whose table is in use: "en", "zh-Hant" or "zh-Hans" (the source language).
QString language();
// The language chosen for a list of preferred languages, first match winning; English when
// nothing matches.
QString languageFor(const QStringList &preferred);
// The user's preferred UI languages: LANGUAGE, LC_ALL, LC_MESSAGES, LANG, then the system's.
QStringList preferredLanguages();
// Replaces the language chosen from the environment (tests, a verification run's "--locale").
// An empty text returns to the environment's choice.
void overrideLanguage(const QString &language);
// The table of a language as linked into this program; empty for the source language.
QHash<QString, QString> table(const QString &language);
} // namespace StringTable

} // namespace Kivaro
