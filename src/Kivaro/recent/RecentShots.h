#pragma once
// The most recent shots, kept on disk without the user saving them.
//
// Each editing session (one captured or reopened shot) has an identity that names two files in
// the store's folder: "<id>.kivaro", the project file of the reconciled document, and
// "<id>.png", a preview whose longest side is at most 320 pixels. `schedule` writes the
// document 0.65 s after the last of a burst of changes; `flush` writes it now. After each write
// the folder keeps the newest 20 entries by modification date, the session just written always
// among them. Files that are not entries (other names, links, sub-folders such as "OCR") are
// neither listed nor deleted, except the store's own leftovers of interrupted work, removed
// whenever the folder is listed or written: a preview whose project is gone, and stale
// temporaries of the atomic writes.
//
// Stale writes never land: a write remembers the session identity and generation when it
// starts, and after every suspension gives up quietly when the generation has moved on
// (`beginSession`, `resumeSession`). A document that keeps changing while it is encoded is
// taken again at most three times, then the write fails with ShotError.
//
// Errors: ShotError for the refusals above and for a folder that is a symbolic link or not a
// folder; FileError (unchanged file-system errors) for creating, writing, listing or deleting.
// Main thread only. Nothing touches the disk before the first write.

#include "Kivaro/recent/RecentShot.h"

#include "Platform/Async/Task.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QProcessEnvironment>

#include <chrono>
#include <exception>
#include <functional>
#include <optional>

namespace Kivaro {

class ShotDocument;

class RecentShots final : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxEntries = 20;
    static constexpr int kPreviewMaxDimension = 320;
    static constexpr std::chrono::milliseconds kDebounce{650};

    // `directory` when given, otherwise defaultDirectory() of this process; cleaned (QDir::cleanPath).
    explicit RecentShots(std::optional<QString> directory = std::nullopt, QObject *parent = nullptr);
    ~RecentShots() override;

    // The folder without an explicit one, first match winning:
    //   1. in a verification run ("--verify" or "--ui-session" among the arguments): the
    //      "--evidence-dir" folder (else the run's fresh folder, PrototypeVerification::
    //      evidenceFolder()) plus "recent-data";
    //   2. KIVARO_DATA_DIR when set and not empty;
    //   3. $XDG_DATA_HOME (default ~/.local/share) plus "Kivaro/Recent".
    // A verification run must never write into or prune the user's real history, so its folder
    // wins over the variable, which may be set in the user's environment.
    static QString defaultDirectory(const QStringList &arguments, const QProcessEnvironment &environment);

    const QString &directory() const { return m_directory; }
    const QString &sessionID() const { return m_sessionID; }
    qint64 generation() const { return m_generation; }
    // The scheduled write; a cancelled handle stays here until the next schedule.
    const Platform::TaskHandle<void> &pending() const { return m_pending; }

    // Called after every completed write.
    std::function<void()> didSave;
    // Receives the errors of scheduled writes (never a CancellationError).
    std::function<void(std::exception_ptr)> didFail;

    // A new session: the next write makes a new entry.
    void beginSession();
    // Continues the entry `id`; a text that is not a UUID changes nothing.
    void resumeSession(const QString &id);
    // Writes `document` 0.65 s after the last call; the document is held weakly.
    void schedule(ShotDocument *document);
    // Writes `document` now, unless it holds no image or the sample. Ends with
    // CancellationError when the store or the document is gone before it first runs.
    Platform::Task<void> flush(ShotDocument *document);
    // The entries, newest first; empty when the folder does not exist.
    QList<RecentShot> entries() const;

    // Whether `text` names an entry: a UUID in its 36-character form, either letter case.
    static bool isEntryID(const QString &text);

private:
    static Platform::Task<void> flushing(QPointer<RecentShots> self, QPointer<ShotDocument> shot, bool given, qint64 generation, QString id);
    void persist(const QByteArray &archive, const QByteArray &preview, const QString &id);
    void prune(const QString &keep);

    QString m_directory;
    Platform::TaskHandle<void> m_pending;
    QString m_sessionID;
    qint64 m_generation = 0;
};

} // namespace Kivaro
