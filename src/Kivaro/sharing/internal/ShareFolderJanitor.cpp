#include "Kivaro/sharing/internal/ShareFolderJanitor.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>

namespace Kivaro::detail {

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

void ShareFolderJanitor::removeFolder(const QString &folder)
{
    if (!isShareFolder(folder))
        return;
    // removeRecursively deletes links themselves and does not descend through them.
    QDir(folder).removeRecursively();
}

} // namespace Kivaro::detail
