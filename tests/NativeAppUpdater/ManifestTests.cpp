// The manifest's JSON form, the acceptance policy, the changelog address and the version text.

#include "NativeAppUpdater/NativeAppVersion.h"
#include "NativeAppUpdater/NativeUpdateManifest.h"
#include "NativeAppUpdater/NativeUpdatePolicy.h"
#include "NativeAppUpdater/UpdaterCopy.h"

#include "Platform/PropertyList/PropertyList.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace NativeAppUpdater;
using Failure = NativeUpdatePolicy::Failure;

namespace {

NativeUpdateConfiguration configuration()
{
    return NativeUpdateConfiguration(QStringLiteral("kivaro"), QStringLiteral("Kivaro"), QStringLiteral("app.kivaro.Kivaro"),
                                     QStringLiteral("TESTTEAM01"), QUrl(QStringLiteral("https://updates.example.org/downloads/update.json")),
                                     {QStringLiteral("updates.example.org"), QStringLiteral("files.example.org")}, true);
}

NativeUpdateManifest goodManifest()
{
    NativeUpdateManifest manifest;
    manifest.schemaVersion = 1;
    manifest.product = QStringLiteral("kivaro");
    manifest.version = QStringLiteral("1.4");
    manifest.build = 42;
    manifest.downloadURL = QStringLiteral("https://files.example.org/Kivaro-1.4.zip");
    manifest.sha256 = QString(64, QLatin1Char('a'));
    return manifest;
}

std::optional<Failure> failureOf(const NativeUpdateManifest &manifest)
{
    try {
        NativeUpdatePolicy::validate(manifest, configuration());
        return std::nullopt;
    } catch (const NativeUpdatePolicy::Error &error) {
        return error.failure();
    }
}

QByteArray json(const QJsonObject &object)
{
    return QJsonDocument(object).toJson();
}

QJsonObject goodObject()
{
    return QJsonDocument::fromJson(goodManifest().encode()).object();
}

} // namespace

TEST(UpdateManifest, DecodesWhatItEncodesWithAndWithoutNotes)
{
    NativeUpdateManifest manifest = goodManifest();
    EXPECT_EQ(NativeUpdateManifest::decode(manifest.encode()), manifest);
    EXPECT_FALSE(goodObject().contains(QStringLiteral("releaseNotes")));
    manifest.releaseNotes = QStringLiteral("## 新功能\n- 更快");
    EXPECT_EQ(NativeUpdateManifest::decode(manifest.encode()), manifest);

    QJsonObject object = goodObject();
    object.insert(QStringLiteral("releaseNotes"), QJsonValue::Null);
    object.insert(QStringLiteral("channel"), QStringLiteral("beta")); // unknown keys are ignored
    EXPECT_EQ(NativeUpdateManifest::decode(json(object)).releaseNotes, std::nullopt);
}

TEST(UpdateManifest, RefusesMissingKeysWrongTypesAndOversizedDocuments)
{
    auto reasonOf = [](const QByteArray &bytes) -> std::optional<std::pair<ManifestDecodeError::Reason, QString>> {
        try {
            NativeUpdateManifest::decode(bytes);
            return std::nullopt;
        } catch (const ManifestDecodeError &error) {
            return std::pair{error.reason(), error.key()};
        }
    };
    QJsonObject object = goodObject();
    object.remove(QStringLiteral("sha256"));
    EXPECT_EQ(reasonOf(json(object)), std::pair(ManifestDecodeError::Reason::missingKey, QStringLiteral("sha256")));

    for (const auto &[key, value] : {std::pair{"build", QJsonValue(QStringLiteral("42"))}, std::pair{"build", QJsonValue(4.5)},
                                     std::pair{"schemaVersion", QJsonValue(true)}, std::pair{"version", QJsonValue(14)},
                                     std::pair{"releaseNotes", QJsonValue(QJsonArray())}, std::pair{"downloadURL", QJsonValue(QString())}}) {
        QJsonObject wrong = goodObject();
        wrong.insert(QLatin1String(key), value);
        EXPECT_EQ(reasonOf(json(wrong)), std::pair(ManifestDecodeError::Reason::wrongType, QString::fromLatin1(key))) << key;
    }
    EXPECT_EQ(reasonOf("[1, 2]")->first, ManifestDecodeError::Reason::notJson);
    EXPECT_EQ(reasonOf("{\"schemaVersion\": 1,")->first, ManifestDecodeError::Reason::notJson);
    EXPECT_EQ(reasonOf(QByteArray(NativeUpdateManifest::maxBytes + 1, ' '))->first, ManifestDecodeError::Reason::tooLarge);
    // A number beyond 64 bits is not an integer.
    EXPECT_EQ(reasonOf(json(goodObject()).replace("42", "184467440737095516160"))->first, ManifestDecodeError::Reason::wrongType);
}

TEST(UpdatePolicy, ReportsOnlyTheFirstFailureInOrder)
{
    NativeUpdateManifest manifest;
    manifest.schemaVersion = 2;
    manifest.product = QStringLiteral("other");
    manifest.downloadURL = QStringLiteral("ftp://nowhere");
    EXPECT_EQ(failureOf(manifest), Failure::invalidSchema);
    manifest.schemaVersion = 1;
    EXPECT_EQ(failureOf(manifest), Failure::wrongProduct);
    manifest.product = QStringLiteral("kivaro");
    EXPECT_EQ(failureOf(manifest), Failure::invalidVersion);
    EXPECT_EQ(failureOf(goodManifest()), std::nullopt);
}

TEST(UpdatePolicy, VersionAndBuildBounds)
{
    NativeUpdateManifest manifest = goodManifest();
    manifest.build = 0;
    EXPECT_EQ(failureOf(manifest), Failure::invalidVersion);
    manifest.build = 1;
    EXPECT_EQ(failureOf(manifest), std::nullopt);
    manifest.version.clear();
    EXPECT_EQ(failureOf(manifest), Failure::invalidVersion);
    manifest = goodManifest();
    manifest.product = QStringLiteral("Kivaro");
    EXPECT_EQ(failureOf(manifest), Failure::wrongProduct);
}

TEST(UpdatePolicy, TheVersionIsShortPlainText)
{
    NativeUpdateManifest manifest = goodManifest();
    for (const QString &version : QStringList{QStringLiteral("2.0"), QStringLiteral("10.14.2 beta 3"), QString(32, QLatin1Char('9')),
                                   QStringLiteral("2.0 (\u4e2d\u6587)"), QStringLiteral("<b>2</b>")}) {
        manifest.version = version;
        EXPECT_EQ(failureOf(manifest), std::nullopt) << version.toStdString();
    }
    // Far too long to show (900,000 digits once froze the prompt for minutes), control and
    // format characters, space at either end, half a surrogate pair.
    for (const QString &version : QStringList{QString(33, QLatin1Char('9')), QString(900'000, QLatin1Char('9')), QStringLiteral("2.0\n"),
                                   QStringLiteral("2\t0"), QStringLiteral(" 2.0"), QStringLiteral("2.0 "), QStringLiteral("2.0\u202e"),
                                   QStringLiteral("2") + QChar(0xD800)}) {
        manifest.version = version;
        EXPECT_EQ(failureOf(manifest), Failure::invalidVersion) << version.left(40).toStdString();
    }
    // And so is the whole manifest, decoded from the network.
    QJsonObject object = QJsonDocument::fromJson(goodManifest().encode()).object();
    object[QStringLiteral("version")] = QString(100'000, QLatin1Char('9'));
    EXPECT_EQ(failureOf(NativeUpdateManifest::decode(QJsonDocument(object).toJson())), Failure::invalidVersion);
}

TEST(UpdatePolicy, DownloadAddressMustBeHttpsOnAnAllowedHost)
{
    const std::pair<const char *, std::optional<Failure>> cases[] = {
        {"https://files.example.org/a.zip", std::nullopt},
        {"https://FILES.Example.org/a.zip", std::nullopt}, // the host is compared in lower case
        {"HTTPS://files.example.org/a.zip", Failure::invalidDownloadURL},
        {"http://files.example.org/a.zip", Failure::invalidDownloadURL},
        {"https:///a.zip", Failure::invalidDownloadURL},
        {"https://evil.example.org/a.zip", Failure::invalidDownloadURL},
        {"https://files.example.org.evil.org/a.zip", Failure::invalidDownloadURL},
        {"https://files.example.org@evil.org/a.zip", Failure::invalidDownloadURL},
        {"file:///tmp/a.zip", Failure::invalidDownloadURL},
    };
    for (const auto &[address, expected] : cases) {
        NativeUpdateManifest manifest = goodManifest();
        manifest.downloadURL = QString::fromLatin1(address);
        EXPECT_EQ(failureOf(manifest), expected) << address;
    }
}

TEST(UpdatePolicy, DigestIsSixtyFourAsciiHexDigits)
{
    const QString fullWidthDigit = QString(QChar(0xFF11));
    const std::pair<QString, std::optional<Failure>> cases[] = {
        {QString(64, QLatin1Char('A')), std::nullopt},
        {QString(63, QLatin1Char('a')), Failure::invalidChecksum},
        {QString(65, QLatin1Char('a')), Failure::invalidChecksum},
        {QString(63, QLatin1Char('a')) + QLatin1Char('g'), Failure::invalidChecksum},
        // Full-width digits are digits to Unicode, not to a digest compared byte for byte.
        {QString(63, QLatin1Char('a')) + fullWidthDigit, Failure::invalidChecksum},
        {QString(64, QChar(0xFF41)), Failure::invalidChecksum},
    };
    for (const auto &[digest, expected] : cases) {
        NativeUpdateManifest manifest = goodManifest();
        manifest.sha256 = digest;
        EXPECT_EQ(failureOf(manifest), expected) << digest.toStdString();
    }
}

TEST(UpdatePolicy, OnlyAGreaterBuildIsNewer)
{
    const NativeUpdateManifest manifest = goodManifest();
    EXPECT_TRUE(NativeUpdatePolicy::isNewer(manifest, 41));
    EXPECT_FALSE(NativeUpdatePolicy::isNewer(manifest, 42));
    EXPECT_FALSE(NativeUpdatePolicy::isNewer(manifest, 43));
}

TEST(UpdatePolicy, FailureTextsFollowTheUpdaterLanguage)
{
    const NativeUpdatePolicy::Error error(Failure::invalidChecksum);
    EXPECT_EQ(updaterCopy(QStringLiteral("更新包校验值无效。"), UpdaterLanguage::english), QStringLiteral("The update checksum is invalid."));
    // No bundle in the tests: the updater speaks English.
    EXPECT_EQ(error.localizedDescription(), QStringLiteral("The update checksum is invalid."));
}

TEST(UpdateConfiguration, ChangelogAddressPerLanguage)
{
    const NativeUpdateConfiguration config = configuration();
    const std::pair<const char *, const char *> cases[] = {
        {"en-US", "https://updates.example.org/changelog/"},
        {"", "https://updates.example.org/changelog/"},
        {"zh_Hant_TW", "https://updates.example.org/zh-tw/changelog/"},
        {"zh-HK", "https://updates.example.org/zh-tw/changelog/"},
        {"zh-Hans-CN", "https://updates.example.org/zh/changelog/"},
        {"ZH", "https://updates.example.org/zh/changelog/"},
        {"zh-Hans", "https://updates.example.org/zh/changelog/"},
    };
    for (const auto &[language, expected] : cases)
        EXPECT_EQ(config.changelogURL(QString::fromLatin1(language)).toString(), QString::fromLatin1(expected)) << language;

    NativeUpdateConfiguration deeper = config;
    deeper.manifestURL = QUrl(QStringLiteral("https://example.org/kivaro/downloads/update.json?x=1"));
    EXPECT_EQ(deeper.changelogURL(QStringLiteral("en")).toString(), QStringLiteral("https://example.org/kivaro/changelog/"));
}

TEST(AppVersion, MissingValuesShowAsDash)
{
    QTemporaryDir folder;
    auto bundleWith = [&](const QVariantMap &info) {
        QFile file(folder.path() + QStringLiteral("/Info.plist"));
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(Platform::encodePropertyList(info));
        file.close();
        return NativeBundle::open(folder.path());
    };
    EXPECT_EQ(NativeAppVersion::displayText(bundleWith({{QStringLiteral("CFBundleShortVersionString"), QStringLiteral("1.2")}})),
              QStringLiteral("Version 1.2 (—)"));
    EXPECT_EQ(NativeAppVersion::displayText(bundleWith({{QStringLiteral("CFBundleShortVersionString"), QStringLiteral("1.2")},
                                                        {QStringLiteral("CFBundleVersion"), qint64(7)}})),
              QStringLiteral("Version 1.2 (—)"));
    EXPECT_EQ(NativeAppVersion::displayText(std::nullopt), QStringLiteral("Version — (—)"));
}

TEST(BundleVersionText, ReadsSignedDecimalsOnly)
{
    EXPECT_EQ(parseDecimalInteger(QStringLiteral("42")), 42);
    EXPECT_EQ(parseDecimalInteger(QStringLiteral("+42")), 42);
    EXPECT_EQ(parseDecimalInteger(QStringLiteral("-9223372036854775808")), std::numeric_limits<qint64>::min());
    for (const char *bad : {"", "42 ", " 42", "4x", "+", "9223372036854775808", "１２"})
        EXPECT_EQ(parseDecimalInteger(QString::fromUtf8(bad)), std::nullopt) << bad;
}
