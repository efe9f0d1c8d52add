#include "Kivaro/sharing/internal/ShareFolderJanitor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>

#include <cerrno>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Kivaro::detail {

namespace {

// Deeper than anything a share writes; bounds the descriptors a hostile tree can make us hold.
constexpr int kMaximumDepth = 32;

// Empties the folder open as `folder` (the descriptor is taken over and closed). Every entry is
// reached relative to its folder's descriptor and never through a link, so renaming a part of
// the tree, or swapping it for a link, while this runs cannot lead it outside the tree.
void removeContents(int folder, int depth)
{
    DIR *listing = ::fdopendir(folder);
    if (!listing) {
        ::close(folder);
        return;
    }
    while (const dirent *entry = ::readdir(listing)) {
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        if (::unlinkat(folder, name, 0) == 0 || (errno != EISDIR && errno != EPERM))
            continue; // removed, or gone, or not ours to remove
        if (depth >= kMaximumDepth)
            continue;
        const int inner = ::openat(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (inner < 0)
            continue;
        removeContents(inner, depth + 1);
        ::unlinkat(folder, name, AT_REMOVEDIR);
    }
    ::closedir(listing); // closes `folder`
}

} // namespace

ShareFolderJanitor::ShareFolderJanitor(QObject *parent) : QObject(parent) {}

ShareFolderJanitor::~ShareFolderJanitor()
{
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it)
        if (!it->waitsForExit)
            removeFolder(it.key());
}

ShareFolderJanitor::Entry &ShareFolderJanitor::entry(const QString &folder)
{
    return m_entries[folder];
}

void ShareFolderJanitor::restartTimer(Entry &entry, const QString &folder, std::chrono::milliseconds delay)
{
    if (!entry.timer) {
        entry.timer = new QTimer(this);
        entry.timer->setSingleShot(true);
        connect(entry.timer, &QTimer::timeout, this, [this, folder] {
            auto it = m_entries.find(folder);
            if (it == m_entries.end())
                return;
            it->retained = true;
            removeWhenDue(folder);
        });
    }
    entry.timer->start(delay);
}

void ShareFolderJanitor::removeAfter(const QString &folder, std::chrono::milliseconds delay)
{
    if (!isShareFolder(folder))
        return;
    Entry &e = entry(folder);
    e.waitsForExit = false;
    e.retained = false;
    restartTimer(e, folder, delay);
}

void ShareFolderJanitor::removeAfterExit(const QString &folder, std::chrono::milliseconds retention)
{
    if (!isShareFolder(folder))
        return;
    Entry &e = entry(folder);
    e.waitsForExit = true;
    e.retained = false;
    restartTimer(e, folder, retention);
}

void ShareFolderJanitor::processExited(const QString &folder)
{
    if (!isShareFolder(folder))
        return;
    entry(folder).exited = true;
    removeWhenDue(folder);
}

void ShareFolderJanitor::removeAllNow()
{
    const QHash<QString, Entry> entries = std::exchange(m_entries, {});
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        delete it->timer;
        removeFolder(it.key());
    }
}

void ShareFolderJanitor::removeWhenDue(const QString &folder)
{
    auto it = m_entries.find(folder);
    if (it == m_entries.end() || !it->retained || (it->waitsForExit && !it->exited))
        return;
    if (it->timer)
        it->timer->deleteLater();
    m_entries.erase(it);
    removeFolder(folder);
}

bool ShareFolderJanitor::isShareFolder(const QString &folder)
{
    static const QRegularExpression name(QStringLiteral("^Kivaro-share-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
    const QFileInfo info(QDir::cleanPath(folder));
    return info.isAbsolute() && info.path() == QDir::cleanPath(QDir::tempPath()) && name.match(info.fileName()).hasMatch();
}

bool ShareFolderJanitor::removeFolder(const QString &folder)
{
    if (!isShareFolder(folder))
        return false;
    const QFileInfo info(QDir::cleanPath(folder));
    const int parent = ::open(QFile::encodeName(info.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0)
        return false;
    const QByteArray name = QFile::encodeName(info.fileName());
    // QDir::removeRecursively would follow the name when it is a link and empty the link's
    // target. Only a real folder of this user is opened; what is removed afterwards is reached
    // through that open folder, and the last step removes a folder only, never a link.
    bool removed = false;
    const int opened = ::openat(parent, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat status {};
    if (opened >= 0 && ::fstat(opened, &status) == 0 && status.st_uid == ::getuid()) {
        removeContents(opened, 1);
        removed = ::unlinkat(parent, name.constData(), AT_REMOVEDIR) == 0;
    } else if (opened >= 0) {
        ::close(opened);
    }
    ::close(parent);
    return removed;
}

} // namespace Kivaro::detail
