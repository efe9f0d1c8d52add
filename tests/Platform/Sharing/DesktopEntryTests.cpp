#include "Platform/Sharing/DesktopEntry.h"

#include <gtest/gtest.h>

using Platform::DesktopEntry;

TEST(DesktopEntry, ReadsTheEntryGroupWithLocalisedNamesAndLists)
{
    const QString text = QStringLiteral(
        "# comment\n"
        "[Desktop Action New]\nName=Not this\nExec=wrong\n"
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Viewer\n"
        "Name[zh_TW]=檢視器\n"
        "Name[zh]=查看器\n"
        "Name = Second occurrence is ignored\n"
        "Exec=viewer %F\n"
        "MimeType=image/png;text/x-odd\\;name;\n"
        "NoDisplay=false\n"
        "Terminal=true\n");
    const auto entry = DesktopEntry::parseText(text, QStringLiteral("viewer.desktop"), {QStringLiteral("zh_CN"), QStringLiteral("zh")});
    ASSERT_TRUE(entry.has_value());
    EXPECT_TRUE(entry->isApplication);
    EXPECT_EQ(entry->name, QStringLiteral("查看器"));
    EXPECT_EQ(entry->exec, QStringLiteral("viewer %F"));
    EXPECT_EQ(entry->mimeTypes, (QStringList{QStringLiteral("image/png"), QStringLiteral("text/x-odd;name")}));
    EXPECT_FALSE(entry->noDisplay);
    EXPECT_TRUE(entry->terminal);
    EXPECT_EQ(DesktopEntry::parseText(text, {}, {})->name, QStringLiteral("Viewer"));
    EXPECT_FALSE(DesktopEntry::parseText(QStringLiteral("Name=x\nExec=y\n"), {}, {}).has_value());
}

TEST(DesktopEntry, ExecLinesExpandForOneFile)
{
    DesktopEntry entry;
    entry.name = QStringLiteral("Viewer");
    entry.icon = QStringLiteral("viewer-icon");
    entry.path = QStringLiteral("/apps/viewer.desktop");
    const QString file = QStringLiteral("/tmp/Kivaro-share-X/Kivaro 1.png");

    entry.exec = QStringLiteral("viewer --open %f");
    EXPECT_EQ(entry.command(file), (QStringList{QStringLiteral("viewer"), QStringLiteral("--open"), file}));
    entry.exec = QStringLiteral("viewer %U");
    EXPECT_EQ(entry.command(file), (QStringList{QStringLiteral("viewer"), QStringLiteral("file:///tmp/Kivaro-share-X/Kivaro%201.png")}));
    entry.exec = QStringLiteral("\"/opt/my app/run\" %i --name=%c --entry %k 100%% %d");
    EXPECT_EQ(entry.command(file), (QStringList{QStringLiteral("/opt/my app/run"), QStringLiteral("--icon"), QStringLiteral("viewer-icon"),
                                                QStringLiteral("--name=Viewer"), QStringLiteral("--entry"),
                                                QStringLiteral("/apps/viewer.desktop"), QStringLiteral("100%"), file}))
        << "without a file code the file is appended";
    entry.exec = QStringLiteral("sh -c \"echo \\\"quoted\\\" \\$HOME\" %f");
    EXPECT_EQ(entry.command(file), (QStringList{QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("echo \"quoted\" $HOME"), file}));
    entry.exec = QStringLiteral("viewer \"unterminated %f");
    EXPECT_FALSE(entry.command(file).has_value());
    entry.exec = QStringLiteral("   ");
    EXPECT_FALSE(entry.command(file).has_value());
}
