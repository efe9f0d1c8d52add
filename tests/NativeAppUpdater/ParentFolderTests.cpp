// Who may change what the folder holding the application holds, on fixed users and groups: the
// user "alice" (uid 1000) and her folder /home/alice/.local/opt.

#include "NativeAppUpdater/internal/ParentFolderCheck.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

using namespace NativeAppUpdater::detail;

namespace {

const QString opt = QStringLiteral("/home/alice/.local/opt");
const UserFacts alice{1000, "alice"};

std::optional<QString> refusal(mode_t mode, const std::optional<GroupFacts> &group, uid_t owner = 1000)
{
    return parentFolderRefusal(opt, FolderFacts{mode_t(S_IFDIR | mode), owner}, alice, group);
}

} // namespace

TEST(ParentFolderCheck, TheUsersOwnPrivateGroupMayWrite)
{
    // Debian's per-user group, as umask 002 leaves ~/.local/opt: alice's own, nobody else's.
    const GroupFacts own{"alice", {}, {"alice"}};
    EXPECT_EQ(refusal(0775, own), std::nullopt);
    EXPECT_EQ(refusal(0775, GroupFacts{"alice", {"alice"}, {"alice"}}), std::nullopt);
    // Nobody but the owner writes; a sticky folder; root's folder.
    const GroupFacts users{"users", {"bob"}, {}};
    EXPECT_EQ(refusal(0755, users), std::nullopt);
    EXPECT_EQ(refusal(01777, users), std::nullopt);
    EXPECT_EQ(refusal(0755, users, 0), std::nullopt);
}

TEST(ParentFolderCheck, SaysWhichFolderOtherUsersCouldChangeAndWhy)
{
    const struct {
        mode_t mode;
        std::optional<GroupFacts> group;
        uid_t owner;
        const char *why;
    } cases[] = {
        {0775, GroupFacts{"alice", {"bob"}, {"alice"}}, 1000, "the group \"alice\", which other users belong to (bob)"},
        {0775, GroupFacts{"alice", {}, {"alice", "carol"}}, 1000, "the group \"alice\", which other users belong to (carol)"},
        {0775, GroupFacts{"staff", {"alice"}, {}}, 1000, "the group \"staff\", which is not the user's own group"},
        {0775, std::nullopt, 1000, "writable by its group, which is not known"},
        {0757, GroupFacts{"alice", {}, {"alice"}}, 1000, "writable by everyone"},
        {0755, GroupFacts{"bob", {}, {"bob"}}, 1001, "belongs to another user"},
    };
    for (const auto &c : cases) {
        const auto why = refusal(c.mode, c.group, c.owner);
        ASSERT_NE(why, std::nullopt) << c.why;
        EXPECT_TRUE(why->contains(opt)) << why->toStdString();
        EXPECT_TRUE(why->contains(QString::fromUtf8(c.why))) << why->toStdString();
    }
    // A user without a name has no group of her own.
    EXPECT_NE(parentFolderRefusal(opt, FolderFacts{mode_t(S_IFDIR | 0775), 1000}, UserFacts{1000, {}}, GroupFacts{{}, {}, {}}),
              std::nullopt);
}
