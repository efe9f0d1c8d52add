#pragma once
// Removes share folders when nothing needs them any more. A folder handed to no application
// goes after a fixed delay; a folder handed to a started application goes once both its
// process has exited and the retention time has passed, whichever comes last (the exit may be
// reported before the retention starts: the share's start and exit reports are separate).
//
// Only share folders are ever scheduled or removed (see isShareFolder): a share handed a file
// from anywhere else leaves that file's folder alone.
//
// Destroying the janitor removes at once the folders that were only waiting for their delay
// (nobody reads them); folders of applications still running stay for the next launch's sweep.

#include <QHash>
#include <QObject>
#include <QStringList>

#include <chrono>

class QTimer;

namespace Kivaro::detail {

class ShareFolderJanitor final : public QObject {
    Q_OBJECT
public:
    explicit ShareFolderJanitor(QObject *parent = nullptr);
    ~ShareFolderJanitor() override;

    void removeAfter(const QString &folder, std::chrono::milliseconds delay);
    void removeAfterExit(const QString &folder, std::chrono::milliseconds retention);
    void processExited(const QString &folder);
    // Removes every folder still waiting, now, and forgets them: the application is ending.
    void removeAllNow();

    QStringList pending() const { return m_entries.keys(); }
    bool isPending(const QString &folder) const { return m_entries.contains(folder); }

    // Whether `folder` is named "Kivaro-share-<UUID>" and sits right in the temporary folder:
    // the only folders this class ever removes, whatever path a caller handed to a share.
    static bool isShareFolder(const QString &folder);
    // Removes a share folder of this user and what it holds. Links are removed, never
    // followed: a share folder's name that is a link, or any link inside, leaves its target as it
    // was, even when the tree is changed while it is removed. True when the folder is gone.
    static bool removeFolder(const QString &folder);

private:
    struct Entry {
        QTimer *timer = nullptr;
        bool waitsForExit = false;
        bool exited = false;
        bool retained = false;
    };
    Entry &entry(const QString &folder);
    void restartTimer(Entry &entry, const QString &folder, std::chrono::milliseconds delay);
    void removeWhenDue(const QString &folder);

    QHash<QString, Entry> m_entries;
};

} // namespace Kivaro::detail
