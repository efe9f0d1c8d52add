#pragma once
// Where a verified bundle waits for the installer.
//
// A staging folder is "<product>-update-<UUID>", created exclusively with mode 0700 and opened
// without following links, so nobody else can have made it or can look inside. Its root is the
// temporary folder, unless that folder cannot execute programs (mounted noexec: the installer
// runs from the staged bundle) or lies on another file system than the installed bundle (the
// installer would then have to copy the bundle); then the user's cache folder
// ($XDG_CACHE_HOME/kivaro/updates, private and this user's own) is used when it does better.

#include "NativeAppUpdater/internal/BundlePaths.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace NativeAppUpdater::detail {

struct StagingFolder {
    QString path;
    UniqueFd fd;
};

QString chooseStagingRoot(const std::optional<QString> &installedBundle);
// Throws UpdateFileError, also for a root that belongs to another user (unless it is a shared
// sticky folder such as /tmp), where every update would fail.
StagingFolder createStagingFolder(const QString &root, const QString &product);

// The roots chooseStagingRoot picks from.
QStringList stagingRoots();
// Removes the staging folders "<product>-update-*" below `roots` that are this user's, private
// and unchanged for `minimumAgeSeconds`: what an update that never installed left behind.
// Returns how many went.
int removeStaleStagingFolders(const QStringList &roots, const QString &product, qint64 minimumAgeSeconds);

// True when programs can run from the file system holding `path`.
bool allowsExecution(const QString &path);
// The device of the file system holding `path`, or nothing.
std::optional<quint64> deviceOf(const QString &path);

} // namespace NativeAppUpdater::detail
