// Preparing a downloaded archive: the digest, the signatures from the very bytes that were
// hashed, and every kind of hostile archive the tests can make. Nothing outside the staging
// folder is ever written.

#include "UpdaterTestSupport.h"

#include "NativeAppUpdater/NativeCodeSignature.h"
#include "NativeAppUpdater/NativeUpdateInstaller.h"
#include "NativeAppUpdater/UpdateArchive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <elf.h>
#include <sys/stat.h>

using namespace NativeAppUpdater;
using namespace UpdaterTesting;
using Failure = NativeUpdateInstaller::Failure;
using NativeReleaseTool::ZipEntry;

namespace {

constexpr const char *downloadAddress = "https://127.0.0.1/Kivaro-2.0.zip";

struct Outcome {
    std::optional<Failure> failure;
    QString detail;
    QString staged;
};

class Prepare : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir().mkpath(stagingRoot());
        QDir().mkpath(m_folder.path() + QStringLiteral("/outside"));
        m_recipe.version = QStringLiteral("2.0");
        m_recipe.build = 2;
    }

    QString stagingRoot() const { return m_folder.path() + QStringLiteral("/staging"); }

    // Signs a bundle of `recipe` and returns its zip entries.
    QList<ZipEntry> entries(const BundleRecipe &recipe, const Keys &keys = Keys::shared())
    {
        QTemporaryDir folder;
        return NativeReleaseTool::entriesOfFolder(makeBundle(folder.path(), recipe, keys));
    }

    Outcome prepare(const QByteArray &zip, NativeUpdateManifest manifest, const NativeUpdateConfiguration &config = configuration())
    {
        NativeUpdateInstaller::PrepareOptions options;
        options.stagingRoot = stagingRoot();
        options.installedBundle = m_folder.path();
        try {
            return {std::nullopt, {}, NativeUpdateInstaller::prepare(zip, manifest, config, options)};
        } catch (const NativeUpdateInstaller::Error &error) {
            return {error.failure(), error.detail(), {}};
        }
    }

    Outcome prepare(const QByteArray &zip, const BundleRecipe &recipe, const NativeUpdateConfiguration &config = configuration())
    {
        return prepare(zip, manifestFor(zip, recipe, QString::fromLatin1(downloadAddress)), config);
    }

    Outcome prepareEntries(const QList<ZipEntry> &list, const NativeUpdateConfiguration &config = configuration())
    {
        return prepare(NativeReleaseTool::writeZip(list), m_recipe, config);
    }

    static ZipEntry &entry(QList<ZipEntry> &list, const QString &path)
    {
        for (ZipEntry &item : list) {
            if (item.path == path)
                return item;
        }
        throw std::runtime_error("no such entry");
    }

    // Everything in the test folder but the staging folders.
    QStringList outsideStaging() const
    {
        QStringList listing = treeListing(m_folder.path());
        listing.removeIf([](const QString &line) { return line.startsWith(QLatin1String("staging")); });
        return listing;
    }

    QTemporaryDir m_folder;
    BundleRecipe m_recipe;
};

void expectRefused(const Outcome &outcome, Failure failure, const char *detail)
{
    EXPECT_EQ(outcome.failure, failure) << outcome.detail.toStdString();
    EXPECT_TRUE(outcome.detail.contains(QLatin1String(detail))) << outcome.detail.toStdString();
}

} // namespace

TEST_F(Prepare, StagesAVerifiedBundleInAPrivateFolder)
{
    const QByteArray zip = NativeReleaseTool::writeZip(entries(m_recipe));
    const Outcome outcome = prepare(zip, m_recipe);
    ASSERT_EQ(outcome.failure, std::nullopt) << outcome.detail.toStdString();
    const QFileInfo staged(outcome.staged);
    EXPECT_EQ(staged.fileName(), QStringLiteral("Kivaro.app"));
    const QFileInfo staging(staged.absolutePath());
    EXPECT_EQ(staging.absolutePath(), stagingRoot());
    EXPECT_TRUE(staging.fileName().startsWith(QLatin1String("kivaro-update-")));
    struct stat info {};
    ::stat(QFile::encodeName(staging.absoluteFilePath()).constData(), &info);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    ::stat(QFile::encodeName(staging.absoluteFilePath() + QStringLiteral("/update.zip")).constData(), &info);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    ::lstat(QFile::encodeName(outcome.staged + QStringLiteral("/bin/kivaro")).constData(), &info);
    EXPECT_EQ(info.st_mode & 07777, 0755u);
    EXPECT_EQ(QFile::symLinkTarget(outcome.staged + QStringLiteral("/lib/libkivaro-test.so")),
              outcome.staged + QStringLiteral("/lib/libkivaro-test.so.1"));
    EXPECT_NO_THROW(NativeCodeSignature::verifyBundle(outcome.staged, configuration(), {QStringLiteral("2.0"), 2}));
    // A second preparation gets a folder of its own.
    EXPECT_NE(QFileInfo(prepare(zip, m_recipe).staged).absolutePath(), staging.absoluteFilePath());
}

TEST_F(Prepare, DigestDecidesFirstAndLetterCaseDoesNotMatter)
{
    const QByteArray zip = NativeReleaseTool::writeZip(entries(m_recipe));
    NativeUpdateManifest manifest = manifestFor(zip, m_recipe, QString::fromLatin1(downloadAddress));
    manifest.sha256 = manifest.sha256.toUpper();
    EXPECT_EQ(prepare(zip, manifest).failure, std::nullopt);

    NativeUpdateManifest wrong = manifest;
    wrong.sha256[0] = wrong.sha256[0] == QLatin1Char('0') ? QLatin1Char('1') : QLatin1Char('0');
    expectRefused(prepare(zip, wrong), Failure::invalidArchive, "SHA-256");
    // Full-width digits compare equal to nothing.
    NativeUpdateManifest fullWidth = manifest;
    for (QChar &c : fullWidth.sha256) {
        if (c.isDigit())
            c = QChar(0xFF10 + c.digitValue());
    }
    ASSERT_NE(fullWidth.sha256, manifest.sha256);
    EXPECT_EQ(prepare(zip, fullWidth).failure, Failure::invalidArchive);
    // Refused before any staging folder exists.
    EXPECT_EQ(QDir(stagingRoot()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
}

TEST_F(Prepare, FailsClosedWithoutReleaseKeys)
{
    NativeUpdateConfiguration keyless = configuration();
    keyless.trust = {};
    const QByteArray zip = NativeReleaseTool::writeZip(entries(m_recipe));
    EXPECT_EQ(prepare(zip, m_recipe, keyless).failure, Failure::noReleaseKeys);
    keyless.trust.signingKeys = {Keys::shared().signing.publicKey};
    EXPECT_EQ(prepare(zip, m_recipe, keyless).failure, Failure::noReleaseKeys);
}

TEST_F(Prepare, IdentityAndSignatureRefusals)
{
    const QStringList before = outsideStaging();
    {
        QList<ZipEntry> list = entries(m_recipe);
        for (ZipEntry &item : list)
            item.path.prepend(QStringLiteral("sub/"));
        list.prepend({QStringLiteral("sub"), SealEntry::Type::directory, 0755, {}, {}});
        expectRefused(prepareEntries(list), Failure::invalidApplication, "no signed bundle");
    }
    {
        BundleRecipe recipe = m_recipe;
        recipe.build = 42;
        recipe.infoBuild = QStringLiteral("42 ");
        const QByteArray zip = NativeReleaseTool::writeZip(entries(recipe));
        expectRefused(prepare(zip, recipe), Failure::invalidApplication, "another build");
    }
    {
        BundleRecipe recipe = m_recipe;
        recipe.identifier = QStringLiteral("app.other.Thing");
        expectRefused(prepareEntries(entries(recipe)), Failure::invalidApplication, "another identifier");
    }
    {
        BundleRecipe recipe = m_recipe;
        recipe.team = QStringLiteral("OTHERTEAM9");
        expectRefused(prepareEntries(entries(recipe)), Failure::invalidApplication, "another team");
    }
    {
        BundleRecipe recipe = m_recipe;
        recipe.version = QStringLiteral("2.1");
        const QByteArray zip = NativeReleaseTool::writeZip(entries(recipe));
        expectRefused(prepare(zip, manifestFor(zip, m_recipe, QString::fromLatin1(downloadAddress))), Failure::invalidApplication,
                      "another version");
    }
    {
        QList<ZipEntry> list = entries(m_recipe);
        list.removeIf([](const ZipEntry &item) { return item.path.contains(QLatin1String("_CodeSignature")); });
        expectRefused(prepareEntries(list), Failure::invalidApplication, "no signed bundle");
    }
    expectRefused(prepareEntries(entries(m_recipe, Keys{Ed25519::generate(), Keys::shared().countersigning})),
                  Failure::invalidApplication, "signing key");
    expectRefused(prepareEntries(entries(m_recipe, Keys{Keys::shared().signing, Ed25519::generate()})), Failure::invalidApplication,
                  "countersignature");
    {
        BundleRecipe recipe = m_recipe;
        recipe.executable = QByteArray("#!/bin/sh\necho not ours\n");
        expectRefused(prepareEntries(entries(recipe)), Failure::invalidApplication, "ELF");
    }
    {
        QFile application(testApplication());
        ASSERT_TRUE(application.open(QIODevice::ReadOnly));
        QByteArray foreign = application.readAll();
        Elf64_Ehdr elf;
        std::memcpy(&elf, foreign.constData(), sizeof elf);
        elf.e_machine = elf.e_machine == EM_AARCH64 ? EM_X86_64 : EM_AARCH64;
        std::memcpy(foreign.data(), &elf, sizeof elf);
        BundleRecipe recipe = m_recipe;
        recipe.executable = foreign;
        expectRefused(prepareEntries(entries(recipe)), Failure::invalidApplication, "ELF");
    }
    {
        QByteArray zip = NativeReleaseTool::writeZip(entries(m_recipe));
        zip.truncate(zip.size() / 2);
        expectRefused(prepare(zip, m_recipe), Failure::invalidApplication, "cannot be read");
        QByteArray flipped = NativeReleaseTool::writeZip(entries(m_recipe));
        for (qsizetype i = flipped.size() - 200; i < flipped.size() - 100; ++i)
            flipped[i] = char(~flipped[i]);
        EXPECT_EQ(prepare(flipped, m_recipe).failure, Failure::invalidApplication);
    }
    EXPECT_EQ(outsideStaging(), before);
}

TEST_F(Prepare, UnpacksOnlyWhatTheSealNames)
{
    const QStringList before = outsideStaging();
    const QString outside = m_folder.path() + QStringLiteral("/outside");
    const QList<ZipEntry> good = entries(m_recipe);
    const QString library = QStringLiteral("Kivaro.app/lib/libkivaro-test.so.1");

    auto changed = [&](std::function<void(QList<ZipEntry> &)> change) {
        QList<ZipEntry> list = good;
        change(list);
        return prepareEntries(list);
    };
    expectRefused(changed([&](auto &l) { entry(l, library).data = "tampered"; }), Failure::invalidApplication, "differ");
    expectRefused(changed([&](auto &l) { l << ZipEntry{QStringLiteral("Kivaro.app/lib/evil.so"), SealEntry::Type::file, 0644, "x", {}}; }),
                  Failure::invalidApplication, "unsealed entry");
    expectRefused(changed([&](auto &l) { entry(l, QStringLiteral("Kivaro.app/bin/kivaro")).mode = 04755; }),
                  Failure::invalidApplication, "set-id");
    expectRefused(changed([&](auto &l) { l << ZipEntry{QStringLiteral("Kivaro.app/../outside/x"), SealEntry::Type::file, 0644, "x", {}}; }),
                  Failure::invalidApplication, "escaping path");
    expectRefused(changed([&](auto &l) { l << ZipEntry{outside + QStringLiteral("/abs"), SealEntry::Type::file, 0644, "x", {}}; }),
                  Failure::invalidApplication, "absolute path");
    expectRefused(changed([&](auto &l) {
                      l << ZipEntry{QStringLiteral("Kivaro.app/lib/out"), SealEntry::Type::link, 0777, {}, outside};
                  }),
                  Failure::invalidApplication, "unsealed entry");
    expectRefused(changed([&](auto &l) { entry(l, QStringLiteral("Kivaro.app/lib/libkivaro-test.so")).target = QStringLiteral("../../.."); }),
                  Failure::invalidApplication, "link target differs");
    // A link where the seal has a folder, then a file through it.
    expectRefused(changed([&](auto &l) {
                      l.removeIf([](const ZipEntry &item) { return item.path.startsWith(QLatin1String("Kivaro.app/share")); });
                      l.insert(1, ZipEntry{QStringLiteral("Kivaro.app/share"), SealEntry::Type::link, 0777, {}, outside});
                      l << ZipEntry{QStringLiteral("Kivaro.app/share/behaviour"), SealEntry::Type::file, 0644, "stay", {}};
                  }),
                  Failure::invalidApplication, "expected a folder");
    expectRefused(changed([&](auto &l) { l << entry(l, library); }), Failure::invalidApplication, "duplicate entry");
    expectRefused(changed([&](auto &l) { l.removeIf([&](const ZipEntry &item) { return item.path == library; }); }),
                  Failure::invalidApplication, "missing from the archive");
    expectRefused(prepare(NativeReleaseTool::writeZip(good, "secret"), m_recipe), Failure::invalidApplication, "encrypted");
    EXPECT_EQ(QDir(outside).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden), QStringList());
    EXPECT_EQ(outsideStaging(), before);
}

TEST_F(Prepare, BombsStopAtTheSealedSizeAndTheCaps)
{
    // A small sealed file replaced by 64 MiB of zeros (a few kilobytes compressed): reading stops
    // at the first byte beyond the sealed size.
    QList<ZipEntry> list = entries(m_recipe);
    const qsizetype plain = NativeReleaseTool::writeZip(list).size();
    entry(list, QStringLiteral("Kivaro.app/share/behaviour")).data = QByteArray(64 * 1024 * 1024, '\0');
    const QByteArray bomb = NativeReleaseTool::writeZip(list);
    EXPECT_LT(bomb.size(), plain + 512 * 1024);
    expectRefused(prepare(bomb, m_recipe), Failure::invalidApplication, "larger than sealed");

    // A bundle whose sealed contents exceed the (lowered) caps is refused from its seal alone.
    BundleRecipe big = m_recipe;
    big.extraFiles.insert(QStringLiteral("share/zeros"), QByteArray(4 * 1024 * 1024, '\0'));
    const QByteArray zip = NativeReleaseTool::writeZip(entries(big));
    NativeUpdateConfiguration lowered = configuration();
    lowered.limits.unpackedBytes = QFileInfo(testApplication()).size() + 2 * 1024 * 1024;
    expectRefused(prepare(zip, big, lowered), Failure::invalidApplication, "bundle too large");
    NativeUpdateConfiguration fewEntries = configuration();
    fewEntries.limits.entries = 4;
    expectRefused(prepare(zip, big, fewEntries), Failure::invalidApplication, "too many entries");
    // No file of the bombs' sizes was written.
    for (const QString &line : treeListing(stagingRoot()))
        EXPECT_LT(line.section(QLatin1Char(' '), 2, 2).toLongLong(), QFileInfo(testApplication()).size() + 1024 * 1024) << line.toStdString();
}

TEST_F(Prepare, SignatureFilesInTheArchiveMustBeTheOnesVerified)
{
    QList<ZipEntry> list = entries(m_recipe);
    // A second, different seal after the first: the archive reader refuses the repetition.
    ZipEntry seal = entry(list, QStringLiteral("Kivaro.app/_CodeSignature/CodeResources"));
    seal.data += "d 755 - - extra\n";
    list << seal;
    expectRefused(prepareEntries(list), Failure::invalidApplication, "duplicate entry");
}
