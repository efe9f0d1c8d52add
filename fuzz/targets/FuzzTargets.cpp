#include "FuzzTargets.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace Kivaro::Fuzz {

std::span<const Target> targets()
{
    static constexpr Target all[] = {
        {"PropertyList", fuzzPropertyList}, {"Preferences", fuzzPreferences}, {"Project", fuzzProject},
        {"Markup", fuzzMarkup},             {"Image", fuzzImage},             {"Capture", fuzzCapture},
        {"DesktopEntry", fuzzDesktopEntry}, {"PolishingResponse", fuzzPolishingResponse},
        {"UpdateManifest", fuzzUpdateManifest}, {"UpdateArchive", fuzzUpdateArchive},
        {"TextHistoryRecord", fuzzTextHistoryRecord},
    };
    return all;
}

QString scratchFolder()
{
    static QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/kivaro-fuzz-XXXXXX"));
    if (!folder.isValid()) {
        std::fprintf(stderr, "cannot create a scratch folder in %s\n", qPrintable(QDir::tempPath()));
        std::abort();
    }
    return folder.path();
}

bool writeScratchFile(const QString &path, const uint8_t *data, size_t size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size) && file.flush();
}

bool sameValue(const QVariant &a, const QVariant &b)
{
    if (a.typeId() != b.typeId())
        return false;
    switch (a.typeId()) {
    case QMetaType::Double: {
        const double x = a.toDouble(), y = b.toDouble();
        return x == y || (std::isnan(x) && std::isnan(y));
    }
    case QMetaType::QVariantList: {
        const QVariantList x = a.toList(), y = b.toList();
        if (x.size() != y.size())
            return false;
        for (qsizetype i = 0; i < x.size(); ++i)
            if (!sameValue(x[i], y[i]))
                return false;
        return true;
    }
    case QMetaType::QVariantMap: {
        const QVariantMap x = a.toMap(), y = b.toMap();
        if (x.keys() != y.keys())
            return false;
        for (auto it = x.cbegin(); it != x.cend(); ++it)
            if (!sameValue(it.value(), y.value(it.key())))
                return false;
        return true;
    }
    default:
        return a == b;
    }
}

void check(bool condition, const char *promise)
{
    if (condition)
        return;
    std::fprintf(stderr, "\n==== broken promise: %s\n", promise);
    std::fflush(stderr);
    std::abort();
}

} // namespace Kivaro::Fuzz
