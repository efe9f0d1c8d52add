// The offline verification command line of the test application and of the application's own
// entry, and the release tool as a release would run it.

#include "InstallerFixture.h"

#include "NativeAppUpdater/NativeUpdateArchiveVerification.h"
#include "NativeAppUpdater/NativeUpdatePolicy.h"

#include <QFile>

using namespace NativeAppUpdater;
using namespace UpdaterTesting;

namespace {

struct ProgramRun {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

class CommandLine : public InstallerFixture {
protected:
    // A signed release of build 2, written as a zip file; returns its path.
    QString releaseZip(const BundleRecipe &recipe = newRecipe())
    {
        QTemporaryDir build;
        const QByteArray zip = zipOf(makeBundle(build.path(), recipe));
        const QString path = m_root.path() + QStringLiteral("/Kivaro-%1.zip").arg(recipe.version);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(zip);
        m_digest = manifestFor(zip, recipe, QStringLiteral("https://127.0.0.1/x.zip")).sha256;
        return path;
    }

    // Runs a program with its temporary folder inside the test's folder.
    ProgramRun run(const QString &program, const QStringList &arguments)
    {
        QProcess process;
        QProcessEnvironment environment = applicationEnvironment(configFile(), markers());
        environment.insert(QStringLiteral("TMPDIR"), temporary());
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
        if (!process.waitForFinished(60'000))
            process.kill();
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2, process.readAllStandardOutput(),
                process.readAllStandardError()};
    }

    QString temporary()
    {
        const QString path = m_root.path() + QStringLiteral("/tmp");
        QDir().mkpath(path);
        return path;
    }

    QString m_digest;
};

} // namespace

TEST_F(CommandLine, AGoodArchivePassesOnStandardOutputAndLeavesNothingBehind)
{
    const QString zip = releaseZip();
    const ProgramRun result = run(testApplication(), {QStringLiteral("--verify-update-archive"), zip, QStringLiteral("2.0"), QStringLiteral("2"), m_digest});
    EXPECT_EQ(result.status, 0) << result.err.constData();
    EXPECT_EQ(result.out, QByteArray(NativeUpdateArchiveVerification::passLine) + '\n');
    EXPECT_EQ(result.err, QByteArray());
    EXPECT_EQ(QDir(temporary()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

TEST_F(CommandLine, FailuresGoToStandardErrorWithStatusOne)
{
    const QString zip = releaseZip();
    const ProgramRun letters = run(testApplication(), {QStringLiteral("--verify-update-archive"), zip, QStringLiteral("2.0"), QStringLiteral("two"), m_digest});
    EXPECT_EQ(letters.status, 1);
    EXPECT_EQ(letters.out, QByteArray());
    EXPECT_EQ(letters.err, QByteArray("UPDATE VERIFY FAILED: The update archive is damaged. Download it again.\n"));

    const ProgramRun otherVersion = run(testApplication(), {QStringLiteral("--verify-update-archive"), zip, QStringLiteral("2.1"), QStringLiteral("2"), m_digest});
    EXPECT_EQ(otherVersion.status, 1);
    EXPECT_EQ(otherVersion.err, QByteArray("UPDATE VERIFY FAILED: The update failed developer signature or notarization verification.\n"));
    // A failure after the staging folder was made removes it again.
    EXPECT_EQ(QDir(temporary()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());

    const ProgramRun missing = run(testApplication(), {QStringLiteral("--verify-update-archive"), zip + QStringLiteral(".none"),
                                                QStringLiteral("2.0"), QStringLiteral("2"), m_digest});
    EXPECT_EQ(missing.status, 1);
    // The cause in the user's words; the technical detail is not shown.
    EXPECT_EQ(missing.err, QByteArray("UPDATE VERIFY FAILED: The update files could not be handled: a file is missing\n"));
}

// The application's own entry (what main() calls first) refuses an archive signed with keys it
// does not pin, whatever the build's keys are.
TEST_F(CommandLine, TheApplicationEntryRefusesATestSignedArchive)
{
    const QString zip = releaseZip();
    const ProgramRun result = run(QStringLiteral(KIVARO_UPDATE_ENTRY),
                           {QStringLiteral("--verify-update-archive"), zip, QStringLiteral("2.0"), QStringLiteral("2"), m_digest});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, QByteArray());
    EXPECT_TRUE(result.err.startsWith("UPDATE VERIFY FAILED: ")) << result.err.constData();
    EXPECT_TRUE(result.err.endsWith("\n"));

    // Not an updater command line: the entry hands over to the application (status 3 here).
    EXPECT_EQ(run(QStringLiteral(KIVARO_UPDATE_ENTRY), {QStringLiteral("--verify")}).status, 3);
    // The installer mode with a target that is no bundle ends at once with 0 and touches nothing.
    const QStringList before = treeListing(m_root.path());
    EXPECT_EQ(run(QStringLiteral(KIVARO_UPDATE_ENTRY), {QStringLiteral("--native-update-helper"), m_root.path(), QStringLiteral("1")}).status, 0);
    EXPECT_EQ(treeListing(m_root.path()), before);
}

TEST_F(CommandLine, TheReleaseToolMakesAReleaseThatVerifies)
{
    const Keys &keys = Keys::shared();
    auto writeKey = [&](const QString &name, const Ed25519::KeyPair &pair) {
        const QString path = m_root.path() + QLatin1Char('/') + name;
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(Ed25519::toPem(pair));
        return path;
    };
    const QString signing = writeKey(QStringLiteral("team.pem"), keys.signing);
    const QString countersigning = writeKey(QStringLiteral("release.pem"), keys.countersigning);
    const QString build = m_root.path() + QStringLiteral("/build");
    QDir().mkpath(build + QStringLiteral("/bin"));
    ASSERT_TRUE(QFile::copy(testApplication(), build + QStringLiteral("/bin/kivaro")));
    QFile notes(m_root.path() + QStringLiteral("/notes.md"));
    notes.open(QIODevice::WriteOnly);
    notes.write("## 新功能\n- 更快的截图");
    notes.close();

    const QString output = m_root.path() + QStringLiteral("/release");
    const ProgramRun made = run(QStringLiteral(KIVARO_RELEASE_TOOL),
                         {QStringLiteral("bundle"), QStringLiteral("--input"), build, QStringLiteral("--output"), output,
                          QStringLiteral("--identifier"), QString::fromLatin1(bundleIdentifier), QStringLiteral("--team"),
                          QString::fromLatin1(teamIdentifier), QStringLiteral("--version"), QStringLiteral("3.0"), QStringLiteral("--build"),
                          QStringLiteral("3"), QStringLiteral("--signing-key"), signing, QStringLiteral("--countersigning-key"), countersigning,
                          QStringLiteral("--download-url"), QStringLiteral("https://127.0.0.1/Kivaro-3.0.zip"), QStringLiteral("--release-notes"),
                          notes.fileName()});
    ASSERT_EQ(made.status, 0) << made.err.constData();
    QFile manifestFile(output + QStringLiteral("/update.json"));
    ASSERT_TRUE(manifestFile.open(QIODevice::ReadOnly));
    const NativeUpdateManifest manifest = NativeUpdateManifest::decode(manifestFile.readAll());
    EXPECT_EQ(manifest.build, 3);
    EXPECT_EQ(manifest.releaseNotes, QStringLiteral("## 新功能\n- 更快的截图"));
    EXPECT_NO_THROW(NativeUpdatePolicy::validate(manifest, configuration()));
    const ProgramRun verified = run(testApplication(), {QStringLiteral("--verify-update-archive"), output + QStringLiteral("/Kivaro-3.0.zip"),
                                                 QStringLiteral("3.0"), QStringLiteral("3"), manifest.sha256});
    EXPECT_EQ(verified.status, 0) << verified.err.constData();

    const ProgramRun key = run(QStringLiteral(KIVARO_RELEASE_TOOL), {QStringLiteral("public-key"), signing});
    EXPECT_EQ(key.out.trimmed(), keys.signing.publicKey.toBase64());
    EXPECT_NE(run(QStringLiteral(KIVARO_RELEASE_TOOL), {QStringLiteral("bundle"), QStringLiteral("--input"), build}).status, 0);
}

// Releases that could never install are refused before anything is copied, with a message, and
// leave nothing behind: a sparse file far larger than an update may hold, a name in decomposed
// Unicode, a path too long once "Kivaro.app/" is put before it, a manifest clients refuse.
TEST_F(CommandLine, TheReleaseToolRefusesBuildsThatCouldNeverInstall)
{
    const Keys &keys = Keys::shared();
    auto writeKey = [&](const QString &name, const Ed25519::KeyPair &pair) {
        const QString path = m_root.path() + QLatin1Char('/') + name;
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(Ed25519::toPem(pair));
        return path;
    };
    const QString signing = writeKey(QStringLiteral("team.pem"), keys.signing);
    const QString countersigning = writeKey(QStringLiteral("release.pem"), keys.countersigning);
    int round = 0;
    const auto release = [&](const std::function<void(const QString &)> &spoil, const QString &version = QStringLiteral("3.0"),
                             const QString &downloadURL = QStringLiteral("https://127.0.0.1/Kivaro-3.0.zip")) {
        const QString build = m_root.path() + QStringLiteral("/build-%1").arg(++round);
        QDir().mkpath(build + QStringLiteral("/bin"));
        EXPECT_TRUE(QFile::copy(testApplication(), build + QStringLiteral("/bin/kivaro")));
        spoil(build);
        const QString output = m_root.path() + QStringLiteral("/release-%1").arg(round);
        const ProgramRun made = run(QStringLiteral(KIVARO_RELEASE_TOOL),
                                    {QStringLiteral("bundle"), QStringLiteral("--input"), build, QStringLiteral("--output"), output,
                                     QStringLiteral("--identifier"), QString::fromLatin1(bundleIdentifier), QStringLiteral("--team"),
                                     QString::fromLatin1(teamIdentifier), QStringLiteral("--version"), version, QStringLiteral("--build"),
                                     QStringLiteral("3"), QStringLiteral("--signing-key"), signing, QStringLiteral("--countersigning-key"),
                                     countersigning, QStringLiteral("--download-url"), downloadURL});
        EXPECT_NE(made.status, 0);
        EXPECT_EQ(QDir(output).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList()) << made.err.constData();
        return QString::fromUtf8(made.err);
    };
    // 8 GiB that take no room on disk.
    const QString sparse = release([](const QString &build) {
        QFile file(build + QStringLiteral("/share/huge.bin"));
        QDir().mkpath(QFileInfo(file).absolutePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(8ll << 30));
    });
    EXPECT_TRUE(sparse.contains(QStringLiteral("share/huge.bin is larger than an update may hold"))) << sparse.toStdString();
    const QString decomposed = release([](const QString &build) {
        QFile file(build + QStringLiteral("/share/cafe\u0301.txt"));
        QDir().mkpath(QFileInfo(file).absolutePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    });
    EXPECT_TRUE(decomposed.contains(QStringLiteral("decomposed Unicode"))) << decomposed.toStdString();
    // 1,020 bytes inside the build folder: fine there, too long inside "Kivaro.app/".
    const QString longPath = release([](const QString &build) {
        QString folder = build;
        for (int i = 0; i < 4; ++i)
            folder += QLatin1Char('/') + QString(200, QLatin1Char(char('a' + i)));
        QDir().mkpath(folder);
        QFile file(folder + QLatin1Char('/') + QString(1020 - 4 * 201, QLatin1Char('z')));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    });
    EXPECT_TRUE(longPath.contains(QStringLiteral("too long once Kivaro.app/"))) << longPath.toStdString();
    // A version no manifest may carry.
    const QString version = release([](const QString &) {}, QString(40, QLatin1Char('9')));
    EXPECT_TRUE(version.contains(QStringLiteral("--version"))) << version.toStdString();
    // A download address every client refuses: plain http, a scheme in capitals, no host.
    for (const char *address : {"http://127.0.0.1/Kivaro-3.0.zip", "HTTPS://127.0.0.1/Kivaro-3.0.zip", "https:///Kivaro-3.0.zip"}) {
        const QString url = release([](const QString &) {}, QStringLiteral("3.0"), QString::fromLatin1(address));
        EXPECT_TRUE(url.contains(QStringLiteral("--download-url"))) << address << ": " << url.toStdString();
        EXPECT_FALSE(QFileInfo::exists(m_root.path() + QStringLiteral("/release-%1/update.json").arg(round))) << address;
    }
    // A special file.
    const QString fifo = release([](const QString &build) {
        ASSERT_EQ(::mkfifo(QFile::encodeName(build + QStringLiteral("/bin/pipe")).constData(), 0600), 0);
    });
    EXPECT_TRUE(fifo.contains(QStringLiteral("special file"))) << fifo.toStdString();
    // A link leaving the bundle, refused only when the copied bundle is sealed: the copy goes.
    const QString link = release([](const QString &build) { ASSERT_TRUE(QFile::link(QStringLiteral("/etc/hostname"), build + QStringLiteral("/bin/host"))); });
    EXPECT_TRUE(link.startsWith(QStringLiteral("kivaro-release: "))) << link.toStdString();
}
