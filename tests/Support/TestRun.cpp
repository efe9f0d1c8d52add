#include "Support/TestRun.h"

#include "Support/XvfbSession.h"

#include "KivaroCore/LaunchArguments.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string_view>

namespace TestSupport {

int runTests(int argc, char **argv)
{
    // Recorded first, as the application's main() does, before GoogleTest and QApplication
    // take their options out of argv.
    Kivaro::PrototypeVerification::recordProcessArguments(argc, argv);
    // A death test runs this executable again and ends it with exit(), which skips the folder's
    // removal; the child inherits its parent's folders through the environment instead.
    const bool deathTestChild = std::any_of(argv + 1, argv + argc, [](const char *argument) {
        return std::string_view(argument).starts_with("--gtest_internal_run_death_test");
    });
    std::optional<QTemporaryDir> home;
    if (!deathTestChild) {
        home.emplace(QDir::tempPath() + QStringLiteral("/kivaro-test-XXXXXX"));
        if (!home->isValid())
            return 2;
        for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
            const QString path = home->path() + QLatin1Char('/') + QString::fromLatin1(name);
            QDir().mkpath(path);
            qputenv(name, path.toLocal8Bit());
        }
        const QString runtime = home->path() + QStringLiteral("/runtime");
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    }
    qunsetenv("KIVARO_DATA_DIR");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Tests that check translated texts choose their language themselves.
    qputenv("LANGUAGE", "zh_CN");

    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

int runTestsOnOwnXServer(int argc, char **argv, QSize screen)
{
    XvfbSession xvfb(screen);
    if (!xvfb.isRunning()) {
        std::fprintf(stderr, "could not start an X server\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    return runTests(argc, argv);
}

} // namespace TestSupport
