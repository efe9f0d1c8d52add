#include "KivaroCore/VerificationRun.h"

#include "KivaroCore/EvidenceFolder.h"
#include "KivaroCore/LaunchArguments.h"
#include "Platform/Files/PrivateFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace Kivaro::PrototypeVerification {

namespace {
bool g_quitPosted = false;
QString g_userDataHome;

QString currentDataHome()
{
    const QString variable = qEnvironmentVariable("XDG_DATA_HOME");
    if (!variable.isEmpty() && QDir::isAbsolutePath(variable))
        return variable;
    return QDir::homePath() + QStringLiteral("/.local/share");
}

// `bytes` as text where they are UTF-8 text, other bytes and control characters as "\xNN".
QString shownWithEscapes(const QByteArray &bytes)
{
    QString shown;
    for (qsizetype at = 0; at < bytes.size();) {
        const uchar lead = uchar(bytes.at(at));
        const qsizetype length = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc0 ? 2 : 1;
        const QByteArray character = bytes.mid(at, length);
        const QString decoded = QString::fromUtf8(character);
        if (lead >= 0x20 && lead != 0x7f && decoded.toUtf8() == character) {
            shown += decoded;
            at += length;
        } else {
            shown += QStringLiteral("\\x%1").arg(lead, 2, 16, QLatin1Char('0'));
            ++at;
        }
    }
    return shown;
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}
} // namespace

const QStringList &scenarioFlags()
{
    static const QStringList flags{
        QStringLiteral("--verify-icon"),       QStringLiteral("--verify-visibility"), QStringLiteral("--verify-quit-capture"),
        QStringLiteral("--verify-basics"),     QStringLiteral("--verify-annotation-tools"), QStringLiteral("--verify-privacy"),
        QStringLiteral("--verify-localization"), QStringLiteral("--verify-inline"), QStringLiteral("--verify-selection"),
        QStringLiteral("--capture-live"),
    };
    return flags;
}

bool isAnyVerificationMode(const QStringList &arguments)
{
    return arguments.contains(QStringLiteral("--verify")) || arguments.contains(QStringLiteral("--ui-session"))
        || arguments.contains(QStringLiteral("--verify-updater"));
}

std::optional<QString> launchUsageError(const QStringList &arguments)
{
    const QStringList options = arguments.mid(1);
    int modes = 0;
    for (const char *mode : {"--verify", "--ui-session", "--verify-updater"})
        if (options.contains(QLatin1String(mode)))
            ++modes;
    if (modes > 1)
        return QStringLiteral("choose one of --verify, --ui-session and --verify-updater");
    int scenarios = 0;
    for (const QString &flag : scenarioFlags())
        scenarios += int(options.count(flag));
    if (scenarios > 1)
        return QStringLiteral("--verify takes at most one scenario flag");
    if (options.contains(QStringLiteral("--verify")))
        for (const QString &option : options)
            if (option.startsWith(QStringLiteral("--verify-")) && !scenarioFlags().contains(option))
                return QStringLiteral("%1 is not a scenario of --verify").arg(option);
    for (const char *once : {"--verify", "--ui-session", "--verify-updater", "--evidence-dir"})
        if (options.count(QLatin1String(once)) > 1)
            return QStringLiteral("%1 is given more than once").arg(QLatin1String(once));
    const qsizetype folder = options.indexOf(QStringLiteral("--evidence-dir"));
    if (folder >= 0 && (folder + 1 >= options.size() || options.at(folder + 1).isEmpty() || options.at(folder + 1).startsWith(u'-')))
        return QStringLiteral("--evidence-dir must be followed by a folder");
    return std::nullopt;
}

std::optional<QString> launchUsageError(const QList<QByteArray> &arguments)
{
    QStringList decoded;
    for (const QByteArray &argument : arguments)
        decoded.append(QFile::decodeName(argument));
    if (const auto usage = launchUsageError(decoded))
        return usage;
    const qsizetype flag = arguments.indexOf(QByteArrayLiteral("--evidence-dir"), 1);
    if (flag < 0)
        return std::nullopt;
    const QByteArray &folder = arguments.at(flag + 1); // launchUsageError() saw a folder follow
    if (QFile::encodeName(QFile::decodeName(folder)) == folder)
        return std::nullopt;
    return QStringLiteral("the folder after --evidence-dir is not UTF-8 text: %1").arg(shownWithEscapes(folder));
}

QString runnerName(const QStringList &arguments)
{
    if (arguments.contains(QStringLiteral("--verify"))) {
        for (const QString &flag : scenarioFlags())
            if (arguments.contains(flag))
                return flag.startsWith(QStringLiteral("--verify-")) ? flag.mid(9) : flag.mid(2);
        return QStringLiteral("verification");
    }
    if (arguments.contains(QStringLiteral("--verify-updater")))
        return QStringLiteral("updater");
    return QStringLiteral("verification");
}

std::optional<QString> checkNamedFolder(const QString &path)
{
    const QString folder = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    const QByteArray native = QFile::encodeName(folder);
    struct stat info = {};
    if (::lstat(native.constData(), &info) != 0) {
        if (errno != ENOENT)
            return QStringLiteral("cannot use the evidence folder %1: %2").arg(folder, systemError(errno));
        const QString parent = QFileInfo(folder).path();
        if (!QDir().mkpath(parent))
            return QStringLiteral("cannot create the folders above the evidence folder %1").arg(folder);
        if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
            return QStringLiteral("cannot create the evidence folder %1: %2").arg(folder, systemError(errno));
        if (::lstat(native.constData(), &info) != 0)
            return QStringLiteral("cannot use the evidence folder %1: %2").arg(folder, systemError(errno));
    }
    if (S_ISLNK(info.st_mode))
        return QStringLiteral("the evidence folder %1 is a symbolic link").arg(folder);
    if (!S_ISDIR(info.st_mode))
        return QStringLiteral("the evidence folder %1 is not a folder").arg(folder);
    if (info.st_uid != ::geteuid())
        return QStringLiteral("the evidence folder %1 belongs to another user").arg(folder);
    if (info.st_mode & (S_IWGRP | S_IWOTH))
        return QStringLiteral("the evidence folder %1 is writable by others").arg(folder);
    return std::nullopt;
}

std::optional<QString> isolateRun(const QStringList &arguments)
{
    if (const auto named = argument(QStringLiteral("--evidence-dir"), arguments))
        if (const auto refused = checkNamedFolder(*named))
            return refused;
    const std::optional<QString> folder = evidenceFolder();
    if (!folder)
        return QStringLiteral("no evidence folder for the run");
    const QDir run(*folder);
    const std::pair<const char *, QString> homes[] = {
        {"XDG_CONFIG_HOME", run.filePath(QStringLiteral("config"))},
        {"XDG_DATA_HOME", run.filePath(QStringLiteral("data"))},
        {"XDG_CACHE_HOME", run.filePath(QStringLiteral("cache"))},
    };
    for (const auto &[variable, path] : homes)
        if (const auto error = Platform::ensurePrivateFolder(path))
            return *error;
    if (g_userDataHome.isEmpty())
        g_userDataHome = currentDataHome();
    for (const auto &[variable, path] : homes)
        qputenv(variable, QFile::encodeName(path));
    if (arguments.contains(QStringLiteral("--verify-updater")))
        qputenv("KIVARO_DATA_DIR", QFile::encodeName(QDir(*folder).filePath(QStringLiteral("recent-data"))));
    return std::nullopt;
}

QString userDataHome()
{
    return g_userDataHome.isEmpty() ? currentDataHome() : g_userDataHome;
}

void noteQuitPostedDuringCapture(bool posted)
{
    g_quitPosted = posted;
}

bool quitPostedDuringCapture()
{
    return g_quitPosted;
}

} // namespace Kivaro::PrototypeVerification
