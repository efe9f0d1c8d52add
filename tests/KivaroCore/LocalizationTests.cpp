#include "KivaroCore/Localization.h"

#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace Kivaro;

namespace {
struct LanguageScope {
    explicit LanguageScope(const QString &language) { StringTable::overrideLanguage(language); }
    ~LanguageScope() { StringTable::overrideLanguage({}); }
};
} // namespace

TEST(StringLookup, SourceLanguageAndMissingKeysGiveTheKeyBackAndFormatsFillIt)
{
    LanguageScope scope(QStringLiteral("zh-CN"));
    EXPECT_EQ(kivaroCopy("选中窗口"), QStringLiteral("选中窗口"));
    EXPECT_EQ(kivaroFormat("%@ 已被系统或其他应用占用，请换一组快捷键。", u"⌃⌥⌘4"),
              QStringLiteral("⌃⌥⌘4 已被系统或其他应用占用，请换一组快捷键。"));
    LanguageScope english(QStringLiteral("en-US"));
    EXPECT_EQ(kivaroCopy("选中窗口"), QStringLiteral("Select Window"));
    EXPECT_EQ(kivaroCopy("一句没有译文的话"), QStringLiteral("一句没有译文的话"));
    EXPECT_EQ(kivaroCopy(""), QString());
}

TEST(StringLookup, PlaceholdersFollowTheLocaleAndNeverInventText)
{
    const QLocale german(QLocale::German, QLocale::Germany), english(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(formatWithLocale(QStringLiteral("%.1f%%"), {12.34}, german), QStringLiteral("12,3%"));
    EXPECT_EQ(formatWithLocale(QStringLiteral("%d / %ld / %lld / %u"), {qint64(-3), qint64(1234567), qint64(5), quint64(7)}, german),
              QStringLiteral("-3 / 1234567 / 5 / 7"));
    EXPECT_EQ(formatWithLocale(QStringLiteral("%2$@ then %1$@"), {QStringLiteral("a"), QStringLiteral("b")}, english),
              QStringLiteral("b then a"));
    EXPECT_EQ(formatWithLocale(QStringLiteral("%03d|%-3d|%3d"), {qint64(7), qint64(7), qint64(7)}, english), QStringLiteral("007|7  |  7"));
    EXPECT_EQ(formatWithLocale(QStringLiteral("%@ and %@"), {QStringLiteral("one")}, english), QStringLiteral("one and "));
    EXPECT_EQ(formatWithLocale(QStringLiteral("100%"), {}, english), QStringLiteral("100%"));
}

TEST(StringLookup, LanguageComesFromTheFirstPreferredLanguageWithATable)
{
    EXPECT_EQ(StringTable::languageFor({QStringLiteral("de_DE.UTF-8"), QStringLiteral("zh_TW")}), QStringLiteral("zh-Hant"));
    EXPECT_EQ(StringTable::languageFor({QStringLiteral("zh_HK.UTF-8")}), QStringLiteral("zh-Hant"));
    EXPECT_EQ(StringTable::languageFor({QStringLiteral("zh-Hant-CN")}), QStringLiteral("zh-Hant"));
    EXPECT_EQ(StringTable::languageFor({QStringLiteral("zh_CN.UTF-8"), QStringLiteral("en")}), QStringLiteral("zh-Hans"));
    EXPECT_EQ(StringTable::languageFor({QStringLiteral("C"), QStringLiteral("en_GB@euro")}), QStringLiteral("en"));
}

namespace {
// All parts of one language's table in the source tree, whichever program links them.
QHash<QString, QString> sourceTable(const QString &language, QStringList &problems)
{
    QHash<QString, QString> entries;
    QDirIterator files(QStringLiteral(KIVARO_SOURCE_DIR "/src"), {QStringLiteral("*.json")}, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        if (!path.contains(QStringLiteral("/resources/strings/") + language + QLatin1Char('/')))
            continue;
        QFile file(path);
        QJsonParseError error{};
        const QJsonDocument document = file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll(), &error) : QJsonDocument();
        if (!document.isObject()) {
            problems << path + QStringLiteral(": ") + error.errorString();
            continue;
        }
        const QJsonObject object = document.object();
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (entries.contains(it.key()) && entries.value(it.key()) != it.value().toString())
                problems << path + QStringLiteral(": conflicting translations of ") + it.key();
            entries.insert(it.key(), it.value().toString());
        }
    }
    return entries;
}
} // namespace

// Every source text written in the code has an entry in both tables, and the tables hold
// nothing but texts of the code (a stale entry usually means a key drifted by a glyph).
TEST(StringTables, CoverEverySourceTextOfTheCode)
{
    const QRegularExpression call(QStringLiteral(R"re(kivaro(?:Copy|Format)\(\s*(?:QStringLiteral\(|u)?"((?:[^"\\]|\\.)*)")re"));
    QSet<QString> keys;
    QDirIterator files(QStringLiteral(KIVARO_SOURCE_DIR "/src"), {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        for (auto it = call.globalMatch(QString::fromUtf8(file.readAll())); it.hasNext();) {
            QString key = it.next().captured(1);
            key.replace(QStringLiteral("\\n"), QStringLiteral("\n")).replace(QStringLiteral("\\\""), QStringLiteral("\""));
            if (!key.isEmpty())
                keys.insert(key);
        }
    }
    ASSERT_FALSE(keys.isEmpty());
    for (const QString &language : {QStringLiteral("en"), QStringLiteral("zh-Hant")}) {
        QStringList problems;
        const auto table = sourceTable(language, problems);
        EXPECT_TRUE(problems.isEmpty()) << problems.join(QLatin1Char('\n')).toStdString();
        for (const QString &key : keys)
            EXPECT_TRUE(table.contains(key)) << qPrintable(language) << " lacks " << key.toStdString();
        for (auto it = table.cbegin(); it != table.cend(); ++it) {
            EXPECT_TRUE(keys.contains(it.key())) << qPrintable(language) << " has unused " << it.key().toStdString();
            EXPECT_FALSE(it.value().isEmpty()) << "empty translation of " << it.key().toStdString();
            EXPECT_EQ(it.key().count(QLatin1Char('%')), it.value().count(QLatin1Char('%')))
                << "placeholders differ in " << it.key().toStdString();
        }
    }
}
