#include "Platform/Sharing/DesktopApplications.h"

#include "Platform/Files/RegularFile.h"
#include "Platform/Sharing/internal/ProcessExitWatcher.h"

#include <QCollator>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

namespace {

// A mimeapps.list is small; anything this large is not one.
constexpr qint64 kMaxMimeAppsBytes = 1024 * 1024;

QStringList dataFolders()
{
    QStringList folders;
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (home.isEmpty() || !QDir::isAbsolutePath(home))
        home = QDir::homePath() + QStringLiteral("/.local/share");
    folders << home;
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dirs.isEmpty())
        dirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString &dir : dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        if (QDir::isAbsolutePath(dir))
            folders << dir;
    return folders;
}

QStringList configFolders()
{
    QStringList folders;
    QString home = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (home.isEmpty() || !QDir::isAbsolutePath(home))
        home = QDir::homePath() + QStringLiteral("/.config");
    folders << home;
    QString dirs = qEnvironmentVariable("XDG_CONFIG_DIRS");
    if (dirs.isEmpty())
        dirs = QStringLiteral("/etc/xdg");
    for (const QString &dir : dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        if (QDir::isAbsolutePath(dir))
            folders << dir;
    return folders;
}

} // namespace

// The default applications of mime types from every mimeapps.list, most important first.
QHash<QString, QStringList> DesktopApplications::defaultApplications() const
{
    QStringList files;
    for (const QString &folder : m_options.configFolders)
        files << folder + QStringLiteral("/mimeapps.list");
    for (const QString &folder : m_options.dataFolders)
        files << folder + QStringLiteral("/applications/mimeapps.list");
    QHash<QString, QStringList> defaults;
    for (const QString &path : files) {
        const FileBytes file = readRegularFile(path, kMaxMimeAppsBytes, FollowLinks::Yes);
        if (!file.ok())
            continue;
        bool inDefaults = false;
        for (const QByteArray &raw : file.bytes.split('\n')) {
            const QString line = QString::fromUtf8(raw).trimmed();
            if (line.startsWith(QLatin1Char('['))) {
                inDefaults = line == QStringLiteral("[Default Applications]");
                continue;
            }
            const qsizetype equals = line.indexOf(QLatin1Char('='));
            if (!inDefaults || equals <= 0)
                continue;
            QStringList &ids = defaults[line.left(equals).trimmed()];
            for (const QString &id : line.mid(equals + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts))
                if (!ids.contains(id.trimmed()))
                    ids << id.trimmed();
        }
    }
    return defaults;
}

namespace {

bool programExists(const QString &program)
{
    if (program.isEmpty())
        return false;
    if (QDir::isAbsolutePath(program)) {
        const QFileInfo info(program);
        return info.isFile() && info.isExecutable();
    }
    return !QStandardPaths::findExecutable(program).isEmpty();
}

// Why `program` could not start, read from the file system once the start has failed (QProcess
// tells only a text). `workingFolder` is where a relative path is looked up.
LaunchFailure launchFailure(const QString &program, const QString &workingFolder)
{
    QString path = program;
    if (!program.contains(QLatin1Char('/'))) {
        path = QStandardPaths::findExecutable(program);
        // findExecutable passes over files that cannot be run; the first of that name explains.
        const QStringList folders = qEnvironmentVariable("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts);
        for (auto folder = folders.cbegin(); path.isEmpty() && folder != folders.cend(); ++folder) {
            const QString candidate = QDir(*folder).filePath(program);
            if (QFileInfo::exists(candidate))
                path = candidate;
        }
        if (path.isEmpty())
            return LaunchFailure::programNotFound;
    } else if (QDir::isRelativePath(program)) {
        path = QDir(workingFolder).filePath(program);
    }
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::stat(native.constData(), &info) != 0) {
        if (errno == EACCES)
            return LaunchFailure::permissionDenied;
        return errno == ENOENT || errno == ENOTDIR ? LaunchFailure::programNotFound : LaunchFailure::other;
    }
    if (!S_ISREG(info.st_mode) || (info.st_mode & 0111) == 0)
        return LaunchFailure::notExecutable;
    if (::access(native.constData(), X_OK) != 0 && errno == EACCES)
        return LaunchFailure::permissionDenied;
    return LaunchFailure::other;
}

bool shownInDesktop(const DesktopEntry &entry)
{
    const QStringList current = qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    if (!entry.onlyShowIn.isEmpty()) {
        bool any = false;
        for (const QString &desktop : current)
            any = any || entry.onlyShowIn.contains(desktop);
        if (!any)
            return false;
    }
    for (const QString &desktop : current)
        if (entry.notShowIn.contains(desktop))
            return false;
    return true;
}

bool usable(const DesktopEntry &entry)
{
    if (!entry.isApplication || entry.hidden || entry.noDisplay || entry.terminal || entry.exec.isEmpty())
        return false;
    if (!entry.tryExec.isEmpty() && !programExists(entry.tryExec))
        return false;
    return shownInDesktop(entry);
}

} // namespace

DesktopApplications::DesktopApplications(Options options, QObject *parent) : QObject(parent), m_options(std::move(options))
{
    if (m_options.locales.isEmpty())
        m_options.locales = environmentLocales();
    if (m_options.dataFolders.isEmpty())
        m_options.dataFolders = dataFolders();
    if (m_options.configFolders.isEmpty())
        m_options.configFolders = configFolders();
}

DesktopApplications::~DesktopApplications() = default;

QStringList DesktopApplications::applicationFolders() const
{
    QStringList folders;
    for (const QString &folder : m_options.dataFolders)
        folders << folder + QStringLiteral("/applications");
    return folders;
}

QStringList DesktopApplications::environmentLocales()
{
    QStringList raw;
    const QString language = qEnvironmentVariable("LANGUAGE");
    if (!language.isEmpty())
        raw += language.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = qEnvironmentVariable(name);
        if (!value.isEmpty()) {
            raw << value;
            break;
        }
    }
    QStringList locales;
    for (QString entry : raw) {
        // lang_COUNTRY.ENCODING@MODIFIER: try lang_COUNTRY@MODIFIER, lang_COUNTRY, lang@MODIFIER, lang.
        QString modifier;
        const qsizetype at = entry.indexOf(QLatin1Char('@'));
        if (at >= 0) {
            modifier = entry.mid(at);
            entry.truncate(at);
        }
        const qsizetype dot = entry.indexOf(QLatin1Char('.'));
        if (dot >= 0)
            entry.truncate(dot);
        if (entry.isEmpty() || entry == QStringLiteral("C") || entry == QStringLiteral("POSIX"))
            continue;
        const QString lang = entry.section(QLatin1Char('_'), 0, 0);
        for (const QString &candidate : QStringList{entry + modifier, entry, lang + modifier, lang})
            if (!locales.contains(candidate))
                locales << candidate;
    }
    return locales;
}

QList<DesktopEntry> DesktopApplications::entries() const
{
    QList<DesktopEntry> found;
    QSet<QString> seen;
    for (const QString &folder : applicationFolders()) {
        QDirIterator it(folder, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QString id = path.mid(folder.size() + 1);
            id.replace(QLatin1Char('/'), QLatin1Char('-'));
            if (seen.contains(id))
                continue; // an earlier folder's entry of the same id overrides this one
            seen.insert(id);
            if (auto entry = DesktopEntry::parse(path, id, m_options.locales))
                found << *entry;
        }
    }
    return found;
}

std::optional<DesktopEntry> DesktopApplications::entry(const QString &id) const
{
    for (const DesktopEntry &candidate : entries())
        if (candidate.id == id)
            return candidate;
    return std::nullopt;
}

SharingService DesktopApplications::toService(const DesktopEntry &entry) const
{
    QIcon icon;
    if (QDir::isAbsolutePath(entry.icon)) {
        if (QFileInfo(entry.icon).isFile())
            icon = QIcon(entry.icon);
    } else if (!entry.icon.isEmpty()) {
        icon = QIcon::fromTheme(entry.icon);
    }
    // An entry without an icon, or whose icon cannot be found, shows the icon theme's generic
    // application icon, else our own: never a blank square.
    if (icon.isNull())
        icon = QIcon::fromTheme(QStringLiteral("application-x-executable"),
                                QIcon(QStringLiteral(":/kivaro/sharing/application.svg")));
    return {entry.id, entry.name.isEmpty() ? entry.id : entry.name, icon};
}

QList<SharingService> DesktopApplications::servicesFor(const QString &filePath)
{
    const QMimeDatabase database;
    const QMimeType type = database.mimeTypeForFile(filePath);
    QStringList names{type.name()};
    names += type.aliases();
    for (const QString &ancestor : type.allAncestors())
        if (ancestor != QStringLiteral("application/octet-stream"))
            names << ancestor;
    const auto matches = [&](const DesktopEntry &entry) {
        for (const QString &declared : entry.mimeTypes) {
            if (names.contains(declared))
                return true;
            if (declared.endsWith(QStringLiteral("/*")))
                for (const QString &name : names)
                    if (name.startsWith(declared.chopped(1)))
                        return true;
        }
        return false;
    };

    QList<DesktopEntry> candidates;
    for (const DesktopEntry &entry : entries())
        if (usable(entry) && matches(entry))
            candidates << entry;

    const QHash<QString, QStringList> defaults = defaultApplications();
    QStringList preferred;
    for (const QString &name : names)
        for (const QString &id : defaults.value(name))
            if (!preferred.contains(id))
                preferred << id;
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(candidates.begin(), candidates.end(), [&](const DesktopEntry &a, const DesktopEntry &b) {
        const qsizetype ra = preferred.indexOf(a.id), rb = preferred.indexOf(b.id);
        if ((ra >= 0) != (rb >= 0))
            return ra >= 0;
        if (ra >= 0)
            return ra < rb;
        const int byName = collator.compare(a.name, b.name);
        return byName != 0 ? byName < 0 : a.id < b.id;
    });

    QList<SharingService> services;
    for (const DesktopEntry &entry : candidates)
        services << toService(entry);
    return services;
}

std::optional<SharingService> DesktopApplications::service(const QString &name)
{
    const auto found = entry(name);
    if (!found || !usable(*found))
        return std::nullopt;
    return toService(*found);
}

void DesktopApplications::perform(const SharingService &service, const QString &filePath,
                                  std::function<void(std::optional<LaunchFailure>)> started, std::function<void()> ended)
{
    const auto report = [this, started](std::optional<LaunchFailure> error) {
        QTimer::singleShot(0, this, [started, error] { started(error); });
    };
    const auto found = entry(service.name);
    if (!found) {
        report(LaunchFailure::programNotFound);
        return;
    }
    const auto command = found->command(filePath);
    if (!command) {
        report(LaunchFailure::notExecutable);
        return;
    }
    QProcess process;
    process.setProgram(command->first());
    process.setArguments(command->mid(1));
    process.setWorkingDirectory(QDir::homePath());
    process.setStandardInputFile(QProcess::nullDevice());
    qint64 pid = 0;
    if (!process.startDetached(&pid)) {
        report(launchFailure(process.program(), process.workingDirectory()));
        return;
    }
    report(std::nullopt);
    auto watcher = std::make_unique<detail::ProcessExitWatcher>(pid_t(pid));
    detail::ProcessExitWatcher *raw = watcher.get();
    connect(raw, &detail::ProcessExitWatcher::exited, this, [this, raw, ended] {
        // Drop the watcher after this emission has returned.
        QTimer::singleShot(0, this, [this, raw] {
            std::erase_if(m_watchers, [raw](const auto &w) { return w.get() == raw; });
        });
        if (ended)
            ended();
    });
    m_watchers.push_back(std::move(watcher));
}

} // namespace Platform
