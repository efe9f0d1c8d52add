#include "KivaroCore/EvidenceFolder.h"

#include "KivaroCore/LaunchArguments.h"
#include "KivaroCore/VerificationRun.h"

#include <QDir>
#include <QFile>
#include <QHash>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace Kivaro::PrototypeVerification {

bool isVerificationRun()
{
    return hasFlag(QStringLiteral("--verify")) || hasFlag(QStringLiteral("--ui-session"));
}

namespace {

QHash<QString, QString> &madeFolders() // by temporary folder
{
    static QHash<QString, QString> made;
    return made;
}

} // namespace

void keepEvidenceFolder(const QString &temporary, const QString &folder)
{
    madeFolders().insert(temporary, folder);
}

std::optional<QString> evidenceFolder()
{
    if (const auto named = argument(QStringLiteral("--evidence-dir")))
        return QDir::cleanPath(QDir::current().absoluteFilePath(*named));
    QHash<QString, QString> &made = madeFolders();
    const QString temporary = QDir::tempPath(); // empty when the folder named by TMPDIR does not exist
    if (!QDir::isAbsolutePath(temporary)) {
        std::fprintf(stderr, "kivaro: no temporary folder for the verification evidence\n");
        std::fflush(stderr);
        return std::nullopt;
    }
    if (const auto it = made.constFind(temporary); it != made.cend())
        return *it;
    QByteArray pattern = QFile::encodeName(temporary + QStringLiteral("/kivaro-") + runnerName(processArguments()) + QStringLiteral("-XXXXXX"));
    if (!::mkdtemp(pattern.data())) {
        std::fprintf(stderr, "kivaro: no evidence folder could be made in %s: %s\n", QFile::encodeName(temporary).constData(),
                     std::strerror(errno));
        std::fflush(stderr);
        return std::nullopt;
    }
    const QString folder = QFile::decodeName(pattern);
    std::fprintf(stderr, "kivaro: verification evidence in %s\n", pattern.constData());
    std::fflush(stderr);
    made.insert(temporary, folder);
    return folder;
}

} // namespace Kivaro::PrototypeVerification
