#pragma once
// A fake installation for the installer's tests: an installed test bundle in a temporary
// "Applications" folder, staged newer bundles made by the real preparation, and the test
// application's configuration and start markers.

#include "UpdaterTestSupport.h"

#include "NativeAppUpdater/NativeBundle.h"
#include "NativeAppUpdater/NativeUpdateInstaller.h"

#include "Support/TaskTesting.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

class InstallerFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir().mkpath(markers());
        QDir().mkpath(staging());
        UpdaterTesting::writeApplicationConfiguration(configFile(), UpdaterTesting::configuration());
        m_installed = UpdaterTesting::makeBundle(applications(), installedRecipe());
    }
    void TearDown() override
    {
        for (QProcess *process : std::as_const(m_sleepers)) {
            process->kill();
            process->waitForFinished(2000);
            delete process;
        }
        UpdaterTesting::endTestProcesses(markers());
    }

    static UpdaterTesting::BundleRecipe installedRecipe() { return {}; }
    static UpdaterTesting::BundleRecipe newRecipe(UpdaterTesting::Behaviour behaviour = UpdaterTesting::Behaviour::stay)
    {
        UpdaterTesting::BundleRecipe recipe;
        recipe.version = QStringLiteral("2.0");
        recipe.build = 2;
        recipe.behaviour = behaviour;
        return recipe;
    }

    QString applications() const { return m_root.path() + QStringLiteral("/Applications"); }
    QString markers() const { return m_root.path() + QStringLiteral("/markers"); }
    QString staging() const { return m_root.path() + QStringLiteral("/staging"); }
    QString configFile() const { return m_root.path() + QStringLiteral("/config.json"); }

    // A verified newer bundle, staged as the updater stages it.
    QString stage(const UpdaterTesting::BundleRecipe &recipe, const QString &root = {})
    {
        QTemporaryDir build;
        const QByteArray zip = UpdaterTesting::zipOf(UpdaterTesting::makeBundle(build.path(), recipe));
        NativeAppUpdater::NativeUpdateInstaller::PrepareOptions options;
        options.stagingRoot = root.isEmpty() ? staging() : root;
        options.installedBundle = m_installed;
        return NativeAppUpdater::NativeUpdateInstaller::prepare(
            zip, UpdaterTesting::manifestFor(zip, recipe, QStringLiteral("https://127.0.0.1/Kivaro.zip")), UpdaterTesting::configuration(),
            options);
    }

    // Starts the staged bundle's own executable in the installer mode.
    QProcess *startInstaller(const QString &staged, const QString &target, const QString &pid)
    {
        auto *process = new QProcess;
        process->setProcessEnvironment(UpdaterTesting::applicationEnvironment(configFile(), markers()));
        process->setProcessChannelMode(QProcess::ForwardedChannels);
        process->start(staged + QStringLiteral("/bin/kivaro"), {QStringLiteral("--native-update-helper"), target, pid});
        return process;
    }

    // Runs the installer mode to its end; its exit status.
    int runInstaller(const QString &staged, const QString &target, const QString &pid, int timeoutMs = 60'000)
    {
        std::unique_ptr<QProcess> process(startInstaller(staged, target, pid));
        if (!process->waitForFinished(timeoutMs)) {
            process->kill();
            process->waitForFinished();
            return -1;
        }
        return process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -2;
    }

    // A process that ends after `seconds` (or lives for a minute).
    qint64 startSleeper(const QString &seconds)
    {
        auto *process = new QProcess;
        process->start(QStringLiteral("sleep"), {seconds});
        process->waitForStarted();
        m_sleepers << process;
        return process->processId();
    }

    // The id of a process that has ended already.
    static qint64 endedProcess()
    {
        QProcess process;
        process.start(QStringLiteral("true"), {});
        process.waitForFinished();
        return process.processId() ? process.processId() : 999'999;
    }

    QString installedVersion() const
    {
        const auto bundle = NativeAppUpdater::NativeBundle::open(m_installed);
        return bundle ? bundle->infoString(QStringLiteral("CFBundleShortVersionString")).value_or(QString()) : QString();
    }
    // The test's folder less the start markers, which the started applications write.
    QStringList allButMarkers() const
    {
        return UpdaterTesting::treeListing(m_root.path()).filter(QRegularExpression(QStringLiteral("^(?!markers/)")));
    }
    QStringList hiddenSiblings() const { return QDir(applications()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).filter(QRegularExpression(QStringLiteral("^\\."))); }
    QList<qint64> marked(const char *prefix) const { return UpdaterTesting::markedProcesses(markers(), QString::fromLatin1(prefix)); }
    bool waitForMarker(const char *prefix, int timeoutMs = 10'000) const
    {
        return TestSupport::waitUntil([&] { return !marked(prefix).isEmpty(); }, timeoutMs);
    }

    QTemporaryDir m_root;
    QString m_installed;
    QList<QProcess *> m_sleepers;
};
