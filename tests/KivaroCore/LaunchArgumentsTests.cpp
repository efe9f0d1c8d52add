#include "KivaroCore/LaunchArguments.h"

#include "Support/LaunchArgumentsScope.h"

#include <QCoreApplication>
#include <QProcess>

#include <gtest/gtest.h>

#include <vector>

using Kivaro::PrototypeVerification::argument;
namespace LaunchArguments = Kivaro::PrototypeVerification;

TEST(LaunchArguments, ValueFollowsTheFirstExactOccurrence)
{
    const QString flag = QStringLiteral("--evidence-dir");
    EXPECT_EQ(argument(flag, {QStringLiteral("kivaro"), flag, QStringLiteral("/a"), flag, QStringLiteral("/b")}), QStringLiteral("/a"));
    EXPECT_FALSE(argument(flag, {QStringLiteral("kivaro"), flag}).has_value());
    EXPECT_EQ(argument(flag, {QStringLiteral("kivaro"), flag, QStringLiteral("--verify")}), QStringLiteral("--verify"));
    EXPECT_FALSE(argument(flag, {QStringLiteral("kivaro"), QStringLiteral("--evidence-dir=/a")}).has_value());
    EXPECT_FALSE(argument(flag, {QStringLiteral("kivaro")}).has_value());
    EXPECT_EQ(argument(flag, {QStringLiteral("kivaro"), flag, QString()}), QString());
    EXPECT_EQ(argument(QStringLiteral("kivaro"), {QStringLiteral("kivaro"), QStringLiteral("x")}), QStringLiteral("x"))
        << "the program path takes part in the search";
}

// Run in a child process started by the next test, with Qt options among its arguments: it
// prints what the lookups see, from the copy main() recorded and from the kernel's copy.
TEST(LaunchArguments, DISABLED_ChildPrintsItsLookups)
{
    const auto print = [](const char *source) {
        const auto value = argument(QStringLiteral("--evidence-dir"));
        std::printf("%s: evidence-dir=%s verify=%d arguments=%s\n", source, value ? qPrintable(*value) : "(none)",
                    int(LaunchArguments::hasFlag(QStringLiteral("--verify"))),
                    qPrintable(LaunchArguments::processArguments().mid(1).join(QLatin1Char(' '))));
    };
    std::printf("application: %s\n", qPrintable(QCoreApplication::arguments().mid(1).join(QLatin1Char(' '))));
    print("recorded");
    LaunchArguments::recordProcessArguments(0, nullptr);
    print("kernel");
    std::fflush(stdout);
}

TEST(LaunchArguments, QtsOwnOptionsStayInTheArgumentsAsThePlatformGivesThem)
{
    QProcess child;
    child.setProgram(QCoreApplication::applicationFilePath());
    child.setArguments({QStringLiteral("--gtest_also_run_disabled_tests"), QStringLiteral("--gtest_filter=LaunchArguments.DISABLED_ChildPrintsItsLookups"),
                        QStringLiteral("--evidence-dir"), QStringLiteral("-reverse"), QStringLiteral("--verify")});
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start();
    ASSERT_TRUE(child.waitForFinished(30000));
    ASSERT_EQ(child.exitCode(), 0);
    const QString output = QString::fromLocal8Bit(child.readAllStandardOutput());
    const QString expected = QStringLiteral(": evidence-dir=-reverse verify=1 arguments=--gtest_also_run_disabled_tests "
                                            "--gtest_filter=LaunchArguments.DISABLED_ChildPrintsItsLookups --evidence-dir -reverse --verify\n");
    EXPECT_TRUE(output.contains(QStringLiteral("recorded") + expected)) << qPrintable(output);
    EXPECT_TRUE(output.contains(QStringLiteral("kernel") + expected)) << qPrintable(output);
    EXPECT_TRUE(output.contains(QStringLiteral("application: --evidence-dir --verify\n")))
        << "the application object drops the option it took, which is what the lookup must not see: " << qPrintable(output);
}

TEST(LaunchArguments, ARecordedCopyIsKeptWhateverHappensToArgvLater)
{
    const QStringList before = LaunchArguments::processArguments();
    ASSERT_FALSE(before.isEmpty());
    EXPECT_TRUE(before.first().endsWith(QStringLiteral("KivaroCoreTests")));

    char program[] = "kivaro", flag[] = "--evidence-dir", value[] = "/a", missing[] = "";
    std::vector<char *> argv{program, flag, value, nullptr};
    LaunchArguments::recordProcessArguments(3, argv.data());
    value[1] = 'b';
    argv[1] = missing;
    EXPECT_EQ(argument(QStringLiteral("--evidence-dir")), QStringLiteral("/a"));

    TestSupport::LaunchArgumentsScope::record(before);
    EXPECT_EQ(LaunchArguments::processArguments(), before);
}
