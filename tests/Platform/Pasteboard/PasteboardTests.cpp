#include "Platform/Pasteboard/Pasteboard.h"

#include <gtest/gtest.h>

using namespace Platform;

namespace {

const QByteArray kPng = QByteArray::fromHex("89504e470d0a1a0a0000000d4948445200000001") + QByteArray(3, '\0');

struct Released {
    std::shared_ptr<PrivatePasteboard> pasteboard;
    ~Released() { pasteboard->releaseGlobally(); }
};

} // namespace

TEST(PrivatePasteboard, WritesReplaceTheWholeContentsAndCountOnce)
{
    Released scope{Pasteboard::withUniqueName()};
    Pasteboard &pasteboard = *scope.pasteboard;
    EXPECT_EQ(pasteboard.changeCount(), 0);
    EXPECT_TRUE(pasteboard.types().isEmpty());
    EXPECT_FALSE(pasteboard.string());

    ASSERT_TRUE(pasteboard.setContents({{PasteboardType::png, kPng}, {PasteboardType::plainText, "caption"}}));
    EXPECT_EQ(pasteboard.changeCount(), 1);
    EXPECT_EQ(pasteboard.types(), (QStringList{PasteboardType::png, PasteboardType::plainText}));
    EXPECT_EQ(pasteboard.data(PasteboardType::png), kPng);

    // Text alone replaces everything: no PNG is left behind from the previous write.
    ASSERT_TRUE(pasteboard.setString(QStringLiteral("截图 ✓ 😀")));
    EXPECT_EQ(pasteboard.changeCount(), 2);
    EXPECT_EQ(pasteboard.types(), QStringList{PasteboardType::plainText});
    EXPECT_FALSE(pasteboard.data(PasteboardType::png));
    EXPECT_EQ(pasteboard.string(), QStringLiteral("截图 ✓ 😀"));
    EXPECT_EQ(pasteboard.data(PasteboardType::plainText), QStringLiteral("截图 ✓ 😀").toUtf8());

    // The same contents again is still a write.
    ASSERT_TRUE(pasteboard.setString(QStringLiteral("截图 ✓ 😀")));
    EXPECT_EQ(pasteboard.changeCount(), 3);
}

TEST(PrivatePasteboard, ClearingCountsEvenWhenEmptyAndEmptyContentsClear)
{
    Released scope{Pasteboard::withUniqueName()};
    Pasteboard &pasteboard = *scope.pasteboard;
    pasteboard.clearContents();
    EXPECT_EQ(pasteboard.changeCount(), 1);
    ASSERT_TRUE(pasteboard.setString(QStringLiteral("x")));
    ASSERT_TRUE(pasteboard.setContents({}));
    EXPECT_EQ(pasteboard.changeCount(), 3);
    EXPECT_TRUE(pasteboard.types().isEmpty());
    // An empty text is a text, not nothing.
    ASSERT_TRUE(pasteboard.setString(QString()));
    EXPECT_EQ(pasteboard.string(), QString());
}

TEST(PrivatePasteboard, ARefusedWriteLeavesContentsAndCountAsTheyWere)
{
    Released scope{Pasteboard::withUniqueName()};
    PrivatePasteboard &pasteboard = *scope.pasteboard;
    ASSERT_TRUE(pasteboard.setString(QStringLiteral("previous clipboard")));

    pasteboard.setRefusesWrites(true);
    EXPECT_FALSE(pasteboard.setContents({{PasteboardType::png, kPng}}));
    EXPECT_FALSE(pasteboard.setString(QStringLiteral("other")));
    EXPECT_EQ(pasteboard.changeCount(), 1);
    EXPECT_EQ(pasteboard.string(), QStringLiteral("previous clipboard"));
    EXPECT_FALSE(pasteboard.data(PasteboardType::png));

    // A nameless type is refused whole, even beside a good one.
    pasteboard.setRefusesWrites(false);
    EXPECT_FALSE(pasteboard.setContents({{PasteboardType::png, kPng}, {QString(), "x"}}));
    EXPECT_EQ(pasteboard.changeCount(), 1);
    EXPECT_EQ(pasteboard.types(), QStringList{PasteboardType::plainText});
}

TEST(PasteboardRegistry, ANameGivesTheSameObjectUntilReleased)
{
    auto first = Pasteboard::named(QStringLiteral("kivaro-test-shared"));
    auto again = Pasteboard::named(QStringLiteral("kivaro-test-shared"));
    EXPECT_EQ(first, again);
    ASSERT_TRUE(first->setString(QStringLiteral("kept")));
    EXPECT_EQ(Pasteboard::named(QStringLiteral("kivaro-test-shared"))->string(), QStringLiteral("kept"));

    first->releaseGlobally();
    auto fresh = Pasteboard::named(QStringLiteral("kivaro-test-shared"));
    EXPECT_NE(fresh, first);
    EXPECT_EQ(fresh->changeCount(), 0);
    EXPECT_FALSE(fresh->string());
    // The released object still works for whoever holds it, and releasing it again does not
    // drop the newer pasteboard of the same name.
    EXPECT_EQ(first->string(), QStringLiteral("kept"));
    first->releaseGlobally();
    EXPECT_EQ(Pasteboard::named(QStringLiteral("kivaro-test-shared")), fresh);
    fresh->releaseGlobally();
}

TEST(PasteboardRegistry, UniqueNamesDifferAndAreRegistered)
{
    Released a{Pasteboard::withUniqueName()};
    Released b{Pasteboard::withUniqueName()};
    EXPECT_NE(a.pasteboard->name(), b.pasteboard->name());
    EXPECT_EQ(Pasteboard::named(a.pasteboard->name()), a.pasteboard);
    ASSERT_TRUE(a.pasteboard->setString(QStringLiteral("a")));
    EXPECT_FALSE(b.pasteboard->string());
}

// Under the offscreen platform QClipboard keeps its contents inside the process; what matters
// here is the bookkeeping around it. The X11 test reads the real selection from another client.
TEST(GeneralPasteboard, WritesGoThroughTheClipboardOnceAndCountOnce)
{
    auto general = generalPasteboard();
    EXPECT_EQ(general, generalPasteboard());
    EXPECT_EQ(general->name(), QStringLiteral("general"));
    const long long before = general->changeCount();

    ASSERT_TRUE(general->setContents({{PasteboardType::png, kPng}, {PasteboardType::plainText, "caption"}}));
    EXPECT_EQ(general->changeCount(), before + 1);
    EXPECT_EQ(general->data(PasteboardType::png), kPng);
    EXPECT_TRUE(general->types().contains(PasteboardType::png));

    ASSERT_TRUE(general->setString(QStringLiteral("只有文字")));
    EXPECT_EQ(general->changeCount(), before + 2);
    EXPECT_FALSE(general->data(PasteboardType::png));
    EXPECT_EQ(general->string(), QStringLiteral("只有文字"));

    general->clearContents();
    EXPECT_EQ(general->changeCount(), before + 3);
    EXPECT_FALSE(general->string());
    EXPECT_FALSE(general->setContents({{QString(), "x"}}));
    EXPECT_EQ(general->changeCount(), before + 3);
}

TEST(GeneralPasteboard, PrivatePasteboardsNeverTouchIt)
{
    auto general = generalPasteboard();
    ASSERT_TRUE(general->setString(QStringLiteral("system")));
    const long long count = general->changeCount();
    Released scope{Pasteboard::named(QStringLiteral("general"))};
    ASSERT_TRUE(scope.pasteboard->setContents({{PasteboardType::png, kPng}}));
    scope.pasteboard->clearContents();
    EXPECT_EQ(general->changeCount(), count);
    EXPECT_EQ(general->string(), QStringLiteral("system"));
}
