#include "NativeAppUpdater/internal/ParentFolderCheck.h"

#include "NativeAppUpdater/internal/BundlePaths.h"

#include <QFile>
#include <QStringList>

#include <cerrno>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace NativeAppUpdater::detail {

namespace {

QString others(const QList<QByteArray> &names, const QByteArray &user)
{
    QStringList list;
    for (const QByteArray &name : names) {
        if (name != user && !list.contains(QString::fromUtf8(name)))
            list << QString::fromUtf8(name);
    }
    return list.join(QStringLiteral(", "));
}

// Why the group may not write there, or nothing when it is the user's private group.
std::optional<QString> groupRefusal(const UserFacts &user, const std::optional<GroupFacts> &group)
{
    if (!group)
        return QStringLiteral("it is writable by its group, which is not known");
    const QString name = QString::fromUtf8(group->name);
    if (user.name.isEmpty() || group->name != user.name)
        return QStringLiteral("it is writable by the group \"%1\", which is not the user's own group").arg(name);
    const QString members = others(group->members + group->primaryMembers, user.name);
    if (!members.isEmpty())
        return QStringLiteral("it is writable by the group \"%1\", which other users belong to (%2)").arg(name, members);
    return std::nullopt;
}

} // namespace

std::optional<QString> parentFolderRefusal(const QString &path, const FolderFacts &folder, const UserFacts &user,
                                           const std::optional<GroupFacts> &group)
{
    const QString where = QStringLiteral("the folder holding the application, ") + path + QStringLiteral(", ");
    if (folder.owner != user.uid && folder.owner != 0)
        return where + QStringLiteral("belongs to another user");
    if (folder.mode & S_ISVTX)
        return std::nullopt;
    if (folder.mode & S_IWOTH)
        return where + QStringLiteral("can be changed by other users: it is writable by everyone");
    if (!(folder.mode & S_IWGRP))
        return std::nullopt;
    if (const auto why = groupRefusal(user, group))
        return where + QStringLiteral("can be changed by other users: ") + *why;
    return std::nullopt;
}

std::optional<QString> parentFolderRefusal(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return QStringLiteral("cannot inspect the folder holding the application, %1: %2").arg(path, errnoText(errno));
    if (!S_ISDIR(info.st_mode))
        return QStringLiteral("the folder holding the application, %1, is not a folder").arg(path);
    UserFacts user{::geteuid(), {}};
    if (const passwd *entry = ::getpwuid(user.uid))
        user.name = entry->pw_name;
    std::optional<GroupFacts> facts;
    if (const struct group *entry = ::getgrgid(info.st_gid)) {
        facts = GroupFacts{entry->gr_name, {}, {}};
        for (char **member = entry->gr_mem; member && *member; ++member)
            facts->members << QByteArray(*member);
        // Who has it as their own group is only in the users' entries.
        ::setpwent();
        while (const passwd *account = ::getpwent()) {
            if (account->pw_gid == info.st_gid)
                facts->primaryMembers << QByteArray(account->pw_name);
        }
        ::endpwent();
    }
    return parentFolderRefusal(path, {info.st_mode, info.st_uid}, user, facts);
}

} // namespace NativeAppUpdater::detail
