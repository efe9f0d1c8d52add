#pragma once
// Whether other users could rename or replace what the folder holding the installed application
// holds (and with it the application the installer swaps and starts).
//
// A folder passes when it belongs to this user or to root and either nobody but its owner may
// write to it, or it is sticky (as /tmp), or only its group may write and that group is the
// user's own private group: named as the user, with no member but the user and nobody else's
// primary group (Debian's per-user groups, where umask 002 makes ~/.local/opt 0775). The rule
// works on plain facts so that it can be checked with any users and groups; the system's facts
// come from the user and group databases (a directory service that does not enumerate its
// users hides their primary groups from that check).

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <sys/types.h>

namespace NativeAppUpdater::detail {

struct FolderFacts {
    mode_t mode = 0;
    uid_t owner = 0;
};

struct UserFacts {
    uid_t uid = 0;
    QByteArray name;
};

// What the group databases say of the folder's group.
struct GroupFacts {
    QByteArray name;
    QList<QByteArray> members;        // listed in the group's entry
    QList<QByteArray> primaryMembers; // users whose own entry names the group
};

// Why other users could change what the folder at `path` holds, naming the folder, or nothing
// when they cannot. `group` is nothing when the folder's group is unknown.
std::optional<QString> parentFolderRefusal(const QString &path, const FolderFacts &folder, const UserFacts &user,
                                           const std::optional<GroupFacts> &group);

// The same for a folder on disk, for this process's effective user; a folder that cannot be
// inspected is refused. Reads the user and group databases: main thread only.
std::optional<QString> parentFolderRefusal(const QString &path);

} // namespace NativeAppUpdater::detail
