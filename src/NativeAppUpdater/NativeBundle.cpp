#include "NativeAppUpdater/NativeBundle.h"

#include "NativeAppUpdater/internal/BundlePaths.h"

#include "Platform/PropertyList/PropertyList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace NativeAppUpdater {

namespace {

struct MainOverride {
    QMutex mutex;
    std::optional<QString> path;
};

MainOverride &mainOverride()
{
    static MainOverride value;
    return value;
}

QString runningExecutable()
{
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    return QFile::decodeName(QByteArray(buffer, n));
}

} // namespace

std::optional<qint64> parseDecimalInteger(const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;
    qsizetype i = 0;
    bool negative = false;
    if (text[0] == QLatin1Char('+') || text[0] == QLatin1Char('-')) {
        negative = text[0] == QLatin1Char('-');
        i = 1;
    }
    if (i == text.size())
        return std::nullopt;
    // Accumulate negatively so that the smallest 64-bit value reads too.
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const int digit = c - u'0';
        if (value < (std::numeric_limits<qint64>::min() + digit) / 10)
            return std::nullopt;
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == std::numeric_limits<qint64>::min())
            return std::nullopt;
        value = -value;
    }
    return value;
}

std::optional<NativeBundle> NativeBundle::open(const QString &path)
{
    if (path.isEmpty())
        return std::nullopt;
    const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const auto bytes = detail::readSmallFile(clean + QLatin1Char('/') + QLatin1String(infoFileName), maxInfoBytes);
    if (!bytes)
        return std::nullopt;
    try {
        Platform::PropertyListLimits limits;
        limits.maxBytes = maxInfoBytes;
        limits.maxNodes = 10'000;
        const QVariant root = Platform::decodePropertyList(*bytes, limits);
        if (root.typeId() != QMetaType::QVariantMap)
            return std::nullopt;
        return NativeBundle(clean, root.toMap());
    } catch (const Platform::PropertyListError &) {
        return std::nullopt;
    }
}

std::optional<NativeBundle> NativeBundle::containing(const QString &executablePath)
{
    if (executablePath.isEmpty())
        return std::nullopt;
    const QString executable = QDir::cleanPath(executablePath);
    QDir folder = QFileInfo(executable).dir();
    // A bundle's executable lies at most a few folders deep ("bin/kivaro").
    for (int depth = 0; depth < 4; ++depth) {
        if (const auto bundle = open(folder.path())) {
            if (bundle->executablePath() == executable)
                return bundle;
        }
        if (!folder.cdUp())
            break;
    }
    return std::nullopt;
}

std::optional<NativeBundle> NativeBundle::main()
{
    {
        auto &forced = mainOverride();
        QMutexLocker lock(&forced.mutex);
        if (forced.path)
            return open(*forced.path);
    }
    return containing(runningExecutable());
}

void NativeBundle::overrideMain(const std::optional<QString> &path)
{
    auto &forced = mainOverride();
    QMutexLocker lock(&forced.mutex);
    forced.path = path;
}

std::optional<QString> NativeBundle::infoString(const QString &key) const
{
    const QVariant value = m_info.value(key);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

std::optional<QString> NativeBundle::executablePath() const
{
    const auto relative = infoString(QStringLiteral("CFBundleExecutable"));
    if (!relative || !detail::isCanonicalRelativePath(*relative))
        return std::nullopt;
    const QString path = m_path + QLatin1Char('/') + *relative;
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return path;
}

} // namespace NativeAppUpdater
