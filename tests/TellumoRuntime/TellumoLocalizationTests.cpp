#include "TellumoRuntime/TellumoDefaultPrompt.h"
#include "TellumoRuntime/TellumoLocalization.h"

#include "TellumoCore/TextPolisher.h"
#include "TellumoCore/TextRecognizer.h"

#include "Platform/Defaults/UserDefaults.h"

#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace Tellumo;

namespace {

struct SystemLanguage {
    explicit SystemLanguage(const QString &language) { Kivaro::StringTable::overrideLanguage(language); }
    ~SystemLanguage() { Kivaro::StringTable::overrideLanguage({}); }
};

QJsonObject sourceTable(const QString &language)
{
    QFile file(QStringLiteral(KIVARO_SOURCE_DIR "/src/TellumoRuntime/resources/tellumo-strings/%1.json").arg(language));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    EXPECT_TRUE(document.isObject()) << error.errorString().toStdString();
    return document.object();
}

} // namespace

// The polishing side's tables hold exactly the keys its code looks up, and the program links
// them as they are in the source tree.
TEST(TellumoStringTables, CoverEveryKeyOfThePolishingSide)
{
    const QRegularExpression call(QStringLiteral(R"re(tellumo(?:Localized(?:Format)?|Key)\(\s*(?:QStringLiteral\(|u)?"((?:[^"\\]|\\.)*)")re"));
    QSet<QString> keys;
    QDirIterator files(QStringLiteral(KIVARO_SOURCE_DIR "/src"), {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        for (auto it = call.globalMatch(QString::fromUtf8(file.readAll())); it.hasNext();) {
            const QString key = it.next().captured(1);
            if (!key.isEmpty())
                keys.insert(key);
        }
    }
    ASSERT_GT(keys.size(), 20);
    for (const QString &language : {QStringLiteral("en"), QStringLiteral("zh-Hant")}) {
        const QJsonObject table = sourceTable(language);
        for (const QString &key : keys)
            EXPECT_TRUE(table.contains(key)) << qPrintable(language) << " lacks " << key.toStdString();
        for (auto it = table.begin(); it != table.end(); ++it) {
            EXPECT_TRUE(keys.contains(it.key())) << qPrintable(language) << " has unused " << it.key().toStdString();
            EXPECT_FALSE(it.value().toString().isEmpty()) << it.key().toStdString();
            EXPECT_EQ(it.key().count(u'%'), it.value().toString().count(u'%')) << "placeholders differ in " << it.key().toStdString();
        }
        EXPECT_EQ(TellumoStrings::table(language).size(), table.size()) << "the linked table differs from the source";
    }
}

TEST(TellumoLocalized, LanguagesWithoutTablesFollowTheSystemAndTheSourceLanguageGivesTheKey)
{
    SystemLanguage english(QStringLiteral("en"));
    EXPECT_EQ(tellumoLocalized(QStringLiteral("测试连接"), QStringLiteral("zh-Hant")), QStringLiteral("測試連線"));
    EXPECT_EQ(tellumoLocalized(QStringLiteral("测试连接"), QStringLiteral("en")), QStringLiteral("Test Connection"));
    EXPECT_EQ(tellumoLocalized(QStringLiteral("保存密钥失败：%@"), QStringLiteral("fr")), QStringLiteral("Could not save the key: %@"));
    EXPECT_EQ(tellumoLocalized(QStringLiteral("测试连接"), QStringLiteral("system")), QStringLiteral("Test Connection"));
    EXPECT_EQ(tellumoLocalized(QStringLiteral("保存密钥失败：%@"), QStringLiteral("zh-Hans")), QStringLiteral("保存密钥失败：%@"));
    EXPECT_EQ(tellumoLocalized(QStringLiteral("连接失败：网络不可用"), QStringLiteral("en")), QStringLiteral("连接失败：网络不可用"));
    SystemLanguage traditional(QStringLiteral("zh-TW"));
    EXPECT_EQ(tellumoLocalized(QStringLiteral("测试连接"), QStringLiteral("en-GB")), QStringLiteral("測試連線"));
}

TEST(TellumoLocalized, FormatsFollowTheLanguageOfTheApplicationsStandardPreferences)
{
    SystemLanguage system(QStringLiteral("zh-CN"));
    auto standard = Platform::UserDefaults::standard();
    EXPECT_EQ(tellumoLocalizedFormat("连接失败：%@", QStringLiteral("x")), QStringLiteral("连接失败：x"));
    standard.set(QStringLiteral("language"), QStringLiteral("en"));
    EXPECT_EQ(tellumoLocalizedFormat("连接失败：%@", QStringLiteral("x")), QStringLiteral("Connection failed: x"));
    standard.remove(QStringLiteral("language"));
}

// The recogniser's and the polisher's errors carry keys, looked up where they are shown: in
// English and Traditional Chinese nothing of the Simplified Chinese source is left.
TEST(TellumoErrorText, ErrorsOfTheCoreModulesReadInTheUsersLanguage)
{
    const auto errorOf = [](const std::function<void()> &action) {
        try {
            action();
        } catch (const TellumoError &error) {
            return error;
        }
        return TellumoError(QString(), 0, QStringLiteral("no error"));
    };
    const TellumoError empty = errorOf([] { TextRecognizer::recognizeNow(QImage()); });
    const TellumoError large = errorOf([] { TextRecognizer::recognizeNow(QImage(6400, 6400, QImage::Format_Mono)); });
    const TellumoError status = errorOf([] { TextPolisher::decodeResponse("{\"choices\": []}"); });
    EXPECT_EQ(large.code(), TextRecognizer::imageTooLarge);
    {
        SystemLanguage english(QStringLiteral("en"));
        EXPECT_EQ(tellumoErrorText(empty), QStringLiteral("The image for text recognition is empty."));
        EXPECT_EQ(tellumoErrorText(large),
                  QStringLiteral("The image for text recognition is larger than 40 million pixels. Select a smaller region."));
        EXPECT_EQ(tellumoErrorText(status), QStringLiteral("The AI service returned no text."));
    }
    {
        SystemLanguage traditional(QStringLiteral("zh-TW"));
        EXPECT_EQ(tellumoErrorText(empty), QStringLiteral("識字圖片為空。"));
        EXPECT_EQ(tellumoErrorText(status), QStringLiteral("AI 服務未傳回文字。"));
    }
    SystemLanguage simplified(QStringLiteral("zh-CN"));
    EXPECT_EQ(tellumoErrorText(empty), QStringLiteral("识字图片为空。"));
    EXPECT_EQ(empty.description(), QStringLiteral("识字图片为空。"));
}

TEST(TellumoDefaultPrompt, EachLanguageGetsItsDefaultByCaseSensitivePrefix)
{
    using namespace TellumoDefaultPrompt;
    EXPECT_EQ(english().size(), 662);
    EXPECT_TRUE(english().startsWith(QStringLiteral("You are a careful copy editor.")));
    EXPECT_EQ(all(), (QStringList{simplified(), traditional(), english()} + legacy()));

    for (const char *language : {"zh-Hant", "zh-Hant-TW", "zh-TW", "zh-HK"})
        EXPECT_EQ(forLanguage(QString::fromLatin1(language), {}), traditional()) << language;
    for (const char *language : {"zh-Hans", "zh-Hans-HK", "zh", "zh-CN"})
        EXPECT_EQ(forLanguage(QString::fromLatin1(language), {}), simplified()) << language;
    for (const char *language : {"en-GB", "ja", "ZH-Hant", "fr"})
        EXPECT_EQ(forLanguage(QString::fromLatin1(language), {}), english()) << language;

    const QString system = QStringLiteral("system");
    EXPECT_EQ(forLanguage(system, {QStringLiteral("zh-Hant-TW"), QStringLiteral("en")}), traditional());
    EXPECT_EQ(forLanguage(system, {QStringLiteral("zh_TW.UTF-8")}), traditional());
    EXPECT_EQ(forLanguage(system, {QStringLiteral("C"), QStringLiteral("en_US.UTF-8")}), english());
    EXPECT_EQ(forLanguage(system, {}), simplified());
    // The tests' environment prefers zh_CN.
    EXPECT_EQ(forLanguage(system), simplified());
}

TEST(TellumoDefaultPrompt, OnlyEarlierDefaultsAreMigrated)
{
    using namespace TellumoDefaultPrompt;
    EXPECT_EQ(migrate(legacy()[2], QStringLiteral("zh-Hant")), traditional());
    EXPECT_EQ(migrate(legacy()[0], QStringLiteral("en")), english());
    EXPECT_EQ(migrate(english(), QStringLiteral("zh-Hant")), english());
    const QString edited = legacy()[1] + u' ';
    EXPECT_EQ(migrate(edited, QStringLiteral("zh-Hans")), edited);
}
