#include "KivaroCore/LaunchArguments.h"

#include <gtest/gtest.h>

using Kivaro::PrototypeVerification::argument;

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

TEST(LaunchArguments, ProcessArgumentsAreReadFromTheRunningProcess)
{
    const QStringList arguments = Kivaro::PrototypeVerification::processArguments();
    ASSERT_FALSE(arguments.isEmpty());
    EXPECT_TRUE(arguments.first().endsWith(QStringLiteral("KivaroCoreTests")));
}
