#include "Kivaro/recent/RecentShots.h"

#include "Kivaro/recent/internal/RecentFolder.h"

#include "Kivaro/document/FileError.h"
#include "Kivaro/document/LinkedAnnotations.h"
#include "Kivaro/document/ProjectArchive.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/document/ShotRenderer.h"

#include "KivaroCore/EvidenceFolder.h"
#include "KivaroCore/LaunchArguments.h"
#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/Files/PrivateFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QRegularExpression>
#include <QUuid>

namespace Kivaro {

using Platform::CancellationError;
using Platform::Task;

namespace {

constexpr int kMaxRetakes = 3;

QString newSessionID()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

Task<void> debouncedWrite(QPointer<RecentShots> store, QPointer<ShotDocument> document)
{
    try {
        co_await Platform::sleep(RecentShots::kDebounce);
        if (!store || !document)
            co_return;
        co_await store->flush(document);
    } catch (const CancellationError &) {
        // A newer change, a new session or the store's end replaced this write.
    } catch (...) {
        if (store && store->didFail)
            store->didFail(std::current_exception());
    }
}

} // namespace

// Cleaned: with a trailing "/" (KIVARO_DATA_DIR=/x/link/) lstat would follow a link at the
// folder's place instead of refusing it.
RecentShots::RecentShots(std::optional<QString> directory, QObject *parent)
    : QObject(parent),
      m_directory(QDir::cleanPath(directory ? *directory
                                            : defaultDirectory(PrototypeVerification::processArguments(), QProcessEnvironment::systemEnvironment()))),
      m_sessionID(newSessionID())
{
}

RecentShots::~RecentShots()
{
    m_pending.cancel();
}

QString RecentShots::defaultDirectory(const QStringList &arguments, const QProcessEnvironment &environment)
{
    if (arguments.contains(QStringLiteral("--verify")) || arguments.contains(QStringLiteral("--ui-session"))) {
        // Without a named folder, the run's own fresh folder; never a fixed name in the shared
        // temporary folder, and never the user's history when no folder could be made.
        std::optional<QString> evidence = PrototypeVerification::argument(QStringLiteral("--evidence-dir"), arguments);
        if (!evidence)
            evidence = PrototypeVerification::evidenceFolder();
        return QDir(evidence.value_or(QStringLiteral("/dev/null"))).filePath(QStringLiteral("recent-data"));
    }
    const QString variable = environment.value(QStringLiteral("KIVARO_DATA_DIR"));
    if (!variable.isEmpty())
        return variable;
    QString dataHome = environment.value(QStringLiteral("XDG_DATA_HOME"));
    if (dataHome.isEmpty() || !QDir::isAbsolutePath(dataHome))
        dataHome = environment.value(QStringLiteral("HOME"), QDir::homePath()) + QStringLiteral("/.local/share");
    return dataHome + QStringLiteral("/Kivaro/Recent");
}

bool RecentShots::isEntryID(const QString &text)
{
    static const QRegularExpression uuid(QStringLiteral("^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$"));
    return uuid.match(text).hasMatch();
}

void RecentShots::beginSession()
{
    ++m_generation;
    m_pending.cancel();
    m_sessionID = newSessionID();
}

void RecentShots::resumeSession(const QString &id)
{
    if (!isEntryID(id))
        return;
    ++m_generation;
    m_pending.cancel();
    m_sessionID = id;
}

void RecentShots::schedule(ShotDocument *document)
{
    m_pending.cancel();
    m_pending = Platform::start(debouncedWrite(QPointer<RecentShots>(this), QPointer<ShotDocument>(document)), this);
}

// Not a coroutine itself: the task may first run after a queued start, when the store or the
// document may be gone. Both are held weakly from the call on, and the session is the one of
// the call.
Task<void> RecentShots::flush(ShotDocument *document)
{
    return flushing(this, document, document != nullptr, m_generation, m_sessionID);
}

Task<void> RecentShots::flushing(QPointer<RecentShots> self, QPointer<ShotDocument> shot, bool given, qint64 generation, QString id)
{
    if (!self || (given && !shot))
        throw CancellationError();
    if (!shot || !shot->hasImage() || shot->isSample())
        co_return;

    enum class Checkpoint { proceed, stale, retake };
    ShotState snapshot = shot->state();
    if (self->m_written && self->m_written->id == id && self->m_written->state == snapshot) {
        const RecentShot entry = RecentShot::named(self->m_directory, id);
        if (QFileInfo::exists(entry.projectURL) && QFileInfo::exists(entry.previewURL))
            co_return;
    }
    int retakes = 0;
    // After every suspension: the session must be the same and the document unchanged since
    // the snapshot the awaited work was made from.
    const auto checkpoint = [&]() -> Checkpoint {
        if (!self || !shot)
            throw CancellationError();
        if (self->m_generation != generation)
            return Checkpoint::stale;
        if (shot->state() == snapshot)
            return Checkpoint::proceed;
        if (retakes == kMaxRetakes)
            throw ShotError::message(kivaroCopy("标注仍在变化，请结束编辑后重新保存。"));
        ++retakes;
        snapshot = shot->state();
        return Checkpoint::retake;
    };

    ShotState reconciled;
    QByteArray archive;
    QByteArray preview;
    for (;;) {
        // One consistency pass per snapshot: the archive and the preview are made from it.
        reconciled = LinkedAnnotations::reconcile(snapshot);
        archive = co_await ProjectArchive::encode(reconciled);
        co_await Platform::checkCancellation();
        Checkpoint step = checkpoint();
        if (step == Checkpoint::stale)
            co_return;
        if (step == Checkpoint::retake)
            continue;
        preview = co_await ShotRenderer::png(reconciled, kPreviewMaxDimension, false);
        co_await Platform::checkCancellation();
        step = checkpoint();
        if (step == Checkpoint::stale)
            co_return;
        if (step == Checkpoint::proceed)
            break;
    }
    self->persist(archive, preview, id);
    self->m_written = Written{id, snapshot};
}

void RecentShots::persist(const QByteArray &archive, const QByteArray &preview, const QString &id)
{
    m_written.reset(); // a write that fails half way leaves an entry of neither state
    RecentFolder::prepare(m_directory);
    const RecentShot entry = RecentShot::named(m_directory, id);
    if (const auto error = Platform::writePrivateFile(entry.projectURL, archive, Platform::StaleTemporaries::remove))
        throw FileError(entry.projectURL, *error);
    if (const auto error = Platform::writePrivateFile(entry.previewURL, preview, Platform::StaleTemporaries::remove))
        throw FileError(entry.previewURL, *error);
    prune(id);
    if (didSave)
        didSave();
}

// Keeps the newest entries by date, but never the entry just written: its date is the clock's
// now, and files carrying later dates (copied in, written under another clock) must not push
// it out. It counts toward the limit, so the folder still ends with at most 20.
void RecentShots::prune(const QString &keep)
{
    const QList<RecentShot> shots = RecentFolder::list(m_directory);
    int room = kMaxEntries;
    for (const RecentShot &shot : shots)
        if (shot.id == keep)
            --room;
    for (const RecentShot &shot : shots) {
        if (shot.id == keep)
            continue;
        if (room > 0) {
            --room;
            continue;
        }
        RecentFolder::remove(shot);
    }
}

QList<RecentShot> RecentShots::entries() const
{
    return RecentFolder::list(m_directory);
}

} // namespace Kivaro
