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
