// The updater's own text lookup: its language rule, with Linux's language names, and the
// completeness of its two tables against the texts of the code.

#include "NativeAppUpdater/NativeBundle.h"
#include "NativeAppUpdater/UpdaterCopy.h"
#include "NativeAppUpdater/UpdaterError.h"
#include "NativeAppUpdater/UpdateFetch.h"

#include <QNetworkReply>

#include <cerrno>

#include "Platform/PropertyList/PropertyList.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace NativeAppUpdater;

namespace {

// A running bundle that declares localisations, and LANGUAGE set, for the length of a test.
class LanguageScope {
public:
    LanguageScope(const QByteArray &language, bool declaresLocalizations)
        : m_saved(qgetenv("LANGUAGE"))
    {
        QVariantMap info{{QStringLiteral("CFBundleIdentifier"), QStringLiteral("app.kivaro.Kivaro")}};
        if (declaresLocalizations)
            info.insert(QStringLiteral("CFBundleLocalizations"), QVariantList{QStringLiteral("en"), QStringLiteral("zh-Hans")});
        QFile file(m_bundle.path() + QStringLiteral("/Info.plist"));
        file.open(QIODevice::WriteOnly);
        file.write(Platform::encodePropertyList(info));
        file.close();
        NativeBundle::overrideMain(m_bundle.path());
        qputenv("LANGUAGE", language);
    }
    ~LanguageScope()
    {
        NativeBundle::overrideMain(std::nullopt);
        qputenv("LANGUAGE", m_saved);
    }

private:
    QTemporaryDir m_bundle;
    QByteArray m_saved;
};

} // namespace

TEST(UpdaterLanguage, FollowsTheFirstPreferredLanguageWhenTheBundleDeclaresLocalizations)
{
    using L = UpdaterLanguage;
    const std::pair<const char *, L> cases[] = {
        {"zh-Hant-TW", L::traditionalChinese}, {"zh-HK", L::traditionalChinese}, {"zh-Hans-MO", L::traditionalChinese},
        {"zh-Hans-CN", L::simplifiedChinese},  {"ZH", L::simplifiedChinese},     {"en-US", L::english},
        {"", L::english},                      {"fr", L::english},
        // Linux's forms: underscore, codeset and modifier.
        {"zh_TW.UTF-8", L::traditionalChinese}, {"zh_HK@euro", L::traditionalChinese}, {"zh_CN.UTF-8", L::simplifiedChinese},
        {"C.UTF-8", L::english},
    };
    for (const auto &[language, expected] : cases)
        EXPECT_EQ(updaterLanguageFor(true, QString::fromLatin1(language)), expected) << language;
    EXPECT_EQ(updaterLanguageFor(false, QStringLiteral("zh_CN.UTF-8")), L::english);
    EXPECT_EQ(normalizedLanguageTag(QStringLiteral(" zh_TW.UTF-8")), QStringLiteral("zh-tw"));
}

TEST(UpdaterLanguage, ReadsTheRunningBundleAndTheEnvironmentAtEveryCall)
{
    {
        LanguageScope scope("zh_TW.UTF-8:en", true);
        EXPECT_EQ(updaterCopy(QStringLiteral("检查更新")), QStringLiteral("檢查更新"));
        qputenv("LANGUAGE", "en_GB");
        EXPECT_EQ(updaterCopy(QStringLiteral("检查更新")), QStringLiteral("Check for Updates"));
        qputenv("LANGUAGE", "zh_CN");
        EXPECT_EQ(updaterCopy(QStringLiteral("检查更新")), QStringLiteral("检查更新"));
    }
    {
        LanguageScope scope("zh_CN", false);
        EXPECT_EQ(updaterCopy(QStringLiteral("检查更新")), QStringLiteral("Check for Updates"));
    }
}

TEST(UpdaterCopy, LooksUpFormatsBeforeFillingThem)
{
    LanguageScope scope("en", true);
    EXPECT_EQ(updaterFormat(QStringLiteral("%@ 已经是最新版本。"), {QStringLiteral("Kivaro")}), QStringLiteral("Kivaro is up to date."));
    EXPECT_EQ(updaterFormat(QStringLiteral("%@ %@ 可更新"), {QStringLiteral("Kivaro"), QStringLiteral("2.0")}),
              QStringLiteral("Kivaro 2.0 is available"));
    EXPECT_EQ(updaterCopy(QStringLiteral("好")), QStringLiteral("OK"));
    EXPECT_EQ(updaterCopy(QStringLiteral("Permission denied")), QStringLiteral("Permission denied"));
}

// Failures show the cause in the user's language; the system's or Qt's English stays in the
// detail, which goes to the log.
TEST(UpdaterCopy, FailureCausesAreInTheUsersLanguage)
{
    const UpdateFileError full(QStringLiteral("cannot write update.zip: No space left on device"), ENOSPC);
    const UpdateFileError denied(QStringLiteral("cannot create the staging folder /x: Permission denied"), EACCES);
    const UpdateFileError plain(QStringLiteral("the staging folder /x is not private"));
    const UpdateNetworkError refused(UpdateNetworkError::Reason::other, QStringLiteral("Error transferring https://x - server replied: Not Found"),
                                     int(QNetworkReply::ContentNotFoundError));
    const UpdateNetworkError protocol(UpdateNetworkError::Reason::other, QStringLiteral("Protocol \"ftp\" is unknown"),
                                      int(QNetworkReply::ProtocolUnknownError));
    {
        LanguageScope scope("zh_CN.UTF-8", true);
        EXPECT_EQ(full.localizedDescription(), QStringLiteral("无法处理更新文件：磁盘空间不足"));
        EXPECT_EQ(denied.localizedDescription(), QStringLiteral("无法处理更新文件：没有写入权限"));
        EXPECT_EQ(plain.localizedDescription(), QStringLiteral("无法处理更新文件：文件操作失败"));
        EXPECT_EQ(refused.localizedDescription(), QStringLiteral("网络请求失败：服务器拒绝了请求"));
        EXPECT_EQ(protocol.localizedDescription(), QStringLiteral("网络请求失败：协议错误"));
    }
    {
        LanguageScope scope("zh_TW.UTF-8", true);
        EXPECT_EQ(full.localizedDescription(), QStringLiteral("無法處理更新檔案：磁碟空間不足"));
        EXPECT_EQ(refused.localizedDescription(), QStringLiteral("網路請求失敗：伺服器拒絕了請求"));
    }
    {
        LanguageScope scope("en_GB.UTF-8", true);
        EXPECT_EQ(full.localizedDescription(), QStringLiteral("The update files could not be handled: not enough disk space"));
        EXPECT_EQ(protocol.localizedDescription(), QStringLiteral("The network request failed: a protocol error"));
    }
    for (const UpdaterError *error : std::initializer_list<const UpdaterError *>{&full, &denied, &plain, &refused, &protocol}) {
        EXPECT_FALSE(error->localizedDescription().contains(error->detail())) << error->what();
        EXPECT_FALSE(error->detail().isEmpty());
    }
}

// Every text the updater's code looks up is in both tables (the tables are one list, so they
// cannot differ in their keys). The first thirty-five entries are the updater's fixed table
// (a few of them name texts no code of ours shows); every later one must be used.
TEST(UpdaterCopy, TablesCoverEveryTextOfTheCode)
{
    const QRegularExpression call(QStringLiteral(R"re(updater(?:Copy|Format)\(\s*(?:QStringLiteral\()?"((?:[^"\\]|\\.)*)")re"));
    QSet<QString> used;
    QDirIterator files(QStringLiteral(KIVARO_SOURCE_DIR "/src/NativeAppUpdater"), {QStringLiteral("*.cpp")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        for (auto it = call.globalMatch(QString::fromUtf8(file.readAll())); it.hasNext();)
            used.insert(it.next().captured(1));
    }
    const QStringList sources = updaterSourceTexts();
    const QSet<QString> table(sources.cbegin(), sources.cend());
    EXPECT_EQ(table.size(), sources.size()) << "a source text is listed twice";
    for (const QString &text : used)
        EXPECT_TRUE(table.contains(text)) << "no translation of " << text.toStdString();
    for (qsizetype i = 0; i < sources.size(); ++i) {
        const QString &text = sources[i];
        if (i >= 35) {
            EXPECT_TRUE(used.contains(text)) << "unused table entry " << text.toStdString();
        }
        for (UpdaterLanguage language : {UpdaterLanguage::english, UpdaterLanguage::traditionalChinese}) {
            const QString translated = updaterCopy(text, language);
            EXPECT_FALSE(translated.isEmpty());
            EXPECT_EQ(translated.count(QStringLiteral("%@")), text.count(QStringLiteral("%@"))) << text.toStdString();
        }
    }
    // The updater's texts proper come first, thirty-five of them, ending with the checksum text.
    ASSERT_GE(sources.size(), 35);
    EXPECT_EQ(sources[34], QStringLiteral("更新包校验值无效。"));
}
