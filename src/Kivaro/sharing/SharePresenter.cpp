#include "Kivaro/sharing/SharePresenter.h"

#include "Kivaro/sharing/internal/ShareFolderJanitor.h"

#include "Kivaro/document/FileError.h"
#include "NativeAppAppearance/NativeMenu.h"
#include "Platform/Files/PrivateFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QPointer>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>

namespace Kivaro {

namespace {

const QString kFolderPrefix = QStringLiteral("Kivaro-share-");

bool isPlainFileName(const QString &name)
{
    return !name.isEmpty() && name != QStringLiteral(".") && name != QStringLiteral("..") && !name.contains(QLatin1Char('/'))
        && !name.contains(QChar(0));
}

} // namespace

SharePresenter::SharePresenter(std::shared_ptr<Platform::SharingServices> services, QObject *parent)
    : SharePresenter(std::move(services), Options{}, parent)
{
}

SharePresenter::SharePresenter(std::shared_ptr<Platform::SharingServices> services, Options options, QObject *parent)
    : QObject(parent), m_services(std::move(services)), m_options(options), m_janitor(new detail::ShareFolderJanitor(this))
{
    Q_ASSERT(m_services);
}

SharePresenter::~SharePresenter()
{
    // Sessions first: an unfinished one removes its folder itself, and must still find the
    // janitor's bookkeeping untouched.
    const auto sessions = m_sessions;
    m_sessions.clear();
    qDeleteAll(sessions);
}

QString SharePresenter::prepare(const QByteArray &data, const QString &filename)
{
    if (!isPlainFileName(filename))
        throw FileError(filename, QStringLiteral("not a plain file name"));
    const QString folder = QDir::tempPath() + QLatin1Char('/') + kFolderPrefix + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    const QByteArray native = QFile::encodeName(folder);
    // No intermediate folders: the temporary folder exists, and a fresh name must not exist.
    if (::mkdir(native.constData(), 0700) != 0)
        throw FileError(folder, QString::fromLocal8Bit(std::strerror(errno)));
    if (::chmod(native.constData(), 0700) != 0) { // the umask may have taken bits away; never added
        const int error = errno;
        detail::ShareFolderJanitor::removeFolder(folder);
        throw FileError(folder, QString::fromLocal8Bit(std::strerror(error)));
    }
    const QString file = folder + QLatin1Char('/') + filename;
    if (const auto error = Platform::writePrivateFile(file, data)) {
        detail::ShareFolderJanitor::removeFolder(folder);
        throw FileError(file, *error);
    }
    return file;
}

void SharePresenter::present(const QString &file, QWidget *anchor, Completion completion)
{
    const QUuid id = QUuid::createUuid();
    const QPointer<SharePresenter> self(this);
    auto *session = new ShareSession(*this, file, anchor, [self, id, completion](std::exception_ptr error) {
        if (self)
            if (ShareSession *ended = self->m_sessions.take(id))
                ended->deleteLater();
        if (completion)
            completion(error);
    });
    m_sessions.insert(id, session);
    session->show();
}

void SharePresenter::cancelPickers()
{
    QList<QPointer<ShareSession>> open;
    for (ShareSession *session : std::as_const(m_sessions))
        if (!session->hasChosenService())
            open << session;
    for (const QPointer<ShareSession> &session : open) {
        if (!session)
            continue;
        if (session->menu() && NativeAppAppearance::NativeMenu::shared().menuStack().contains(session->menu()))
            NativeAppAppearance::NativeMenu::shared().close(); // runs the menu's dismissal, which ends it
        if (session && !session->isCompleted())
            session->finish(nullptr);
    }
}

void SharePresenter::removeAllFolders()
{
    cancelPickers();
    m_janitor->removeAllNow();
    // A chosen application that has not reported its start yet: its folder is in no list.
    for (const ShareSession *session : std::as_const(m_sessions))
        detail::ShareFolderJanitor::removeFolder(session->folder());
}

QStringList SharePresenter::activeFiles() const
{
    QStringList files;
    for (const ShareSession *session : m_sessions)
        files << session->file();
    return files;
}

QStringList SharePresenter::pendingRemovals() const
{
    return m_janitor->pending();
}

int SharePresenter::removeLeftoverFolders()
{
    QStringList ours = m_janitor->pending();
    for (const ShareSession *session : std::as_const(m_sessions))
        ours << session->folder();
    const QDir temporary(QDir::tempPath());
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const qint64 minimumAge = std::chrono::duration_cast<std::chrono::seconds>(m_options.retention).count();
    int removed = 0;
    for (const QString &entry : temporary.entryList({kFolderPrefix + QLatin1Char('*')}, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System)) {
        const QString folder = temporary.filePath(entry);
        if (!detail::ShareFolderJanitor::isShareFolder(folder) || ours.contains(folder))
            continue;
        struct stat info {};
        if (::lstat(QFile::encodeName(folder).constData(), &info) != 0 || now - qint64(info.st_mtim.tv_sec) < minimumAge)
            continue;
        // Links and folders of other users are refused there.
        if (detail::ShareFolderJanitor::removeFolder(folder))
            ++removed;
    }
    return removed;
}

} // namespace Kivaro
