#pragma once
// Hands one file to the applications of the desktop that open its type.
//
// `prepare` writes the bytes into a private folder of their own ("Kivaro-share-<UUID>" in the
// temporary folder, 0700; the file 0600, written atomically). `present` shows the services as
// a menu of the shared popover menu anchored at a view, starts the one the user picks with the
// file, and calls the completion exactly once on the main thread: with nothing when the menu
// closed without a choice or the chosen application has started, with the error (a
// ShotError) when it could not start. That is later, from the event loop, except when the
// anchor is gone or not on screen: then no menu opens and the completion runs before
// `present` returns. A started application reads the file whenever it likes, so its folder is
// removed only once its process has exited and at least `retention` has passed since the
// share ended; other folders go `removalDelay` after the share ended. Only share folders made
// by `prepare` are removed: a file presented from anywhere else keeps its folder. When the
// application ends, `removeAllFolders()` removes every share folder at once, whatever its
// application still does: a shared shot never outlives the process that shared it. Folders of
// a run that ended without it (killed, crashed) are swept by `removeLeftoverFolders()` at the
// next launch.
//
// The service registry is given (the desktop's applications, or a fixed list in tests) and can
// be looked up by name through `services()`. Main thread only.

#include "Kivaro/sharing/ShareSession.h"

#include "Platform/Sharing/SharingServices.h"

#include <QHash>
#include <QObject>
#include <QUuid>

#include <chrono>
#include <exception>
#include <functional>
#include <memory>

class QWidget;

namespace Kivaro {

namespace detail {
class ShareFolderJanitor;
}

class SharePresenter final : public QObject {
    Q_OBJECT
public:
    struct Options {
        // After a share that reached no application (dismissed, cancelled, failed to start).
        std::chrono::milliseconds removalDelay{1000};
        // The least time a started application has to read the file.
        std::chrono::milliseconds retention{std::chrono::minutes(1)};
    };
    using Completion = std::function<void(std::exception_ptr)>;

    explicit SharePresenter(std::shared_ptr<Platform::SharingServices> services, QObject *parent = nullptr);
    SharePresenter(std::shared_ptr<Platform::SharingServices> services, Options options, QObject *parent = nullptr);
    ~SharePresenter() override;

    Platform::SharingServices &services() const { return *m_services; }
    const Options &options() const { return m_options; }

    // Writes `data` as `filename` (a plain name, no folder) into a new private share folder and
    // returns the file's path. Throws FileError; a failed write leaves no folder behind.
    static QString prepare(const QByteArray &data, const QString &filename);
    void present(const QString &file, QWidget *anchor, Completion completion);
    // Ends every share whose menu is still open, without a choice; shares whose application was
    // chosen are left to it.
    void cancelPickers();

    // The shares in progress, by identity (no particular order).
    const QHash<QUuid, ShareSession *> &sessions() const { return m_sessions; }
    // The file of every share in progress.
    QStringList activeFiles() const;
    // Share folders whose removal is still waiting.
    QStringList pendingRemovals() const;

    // The application is ending: ends every share whose menu is still open and removes every
    // share folder this presenter made, now, also the folder of an application that was
    // started and may still be reading it.
    void removeAllFolders();

    // Removes "Kivaro-share-<UUID>" folders of this user in the temporary folder that are older
    // than `retention` and not this presenter's own: what an earlier run left when it ended
    // before its shares' applications did. The age keeps a verification run launched beside
    // the user's instance from pulling a file from under an application that just got it.
    // Returns how many were removed.
    int removeLeftoverFolders();

private:
    friend class ShareSession;

    std::shared_ptr<Platform::SharingServices> m_services;
    Options m_options;
    QHash<QUuid, ShareSession *> m_sessions;
    detail::ShareFolderJanitor *m_janitor;
};

} // namespace Kivaro
