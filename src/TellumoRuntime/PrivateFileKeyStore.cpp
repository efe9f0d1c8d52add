#include "TellumoRuntime/PrivateFileKeyStore.h"

#include "TellumoRuntime/AIKeychain.h"
#include "TellumoRuntime/TellumoLocalization.h"

#include "Platform/Files/PrivateFiles.h"
#include "Platform/Files/RegularFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace Tellumo {

namespace {

AIKeychainError fileError(const QString &description)
{
    return AIKeychainError(AIKeychainError::Code::failed, description);
}

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

PrivateFileKeyStore::PrivateFileKeyStore(QString path) : m_path(QDir::cleanPath(std::move(path))) {}

QString PrivateFileKeyStore::defaultPath()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/kivaro/keys/") + QLatin1String(AIKeychain::service) + u'.' + QLatin1String(AIKeychain::account);
}

void PrivateFileKeyStore::writeNow(const QString &key) const
{
    const QString folder = QFileInfo(m_path).path();
    if (const auto error = Platform::ensurePrivateFolder(folder))
        throw fileError(Kivaro::withLibraryDetail(tellumoLocalizedFormat("无法保存密钥文件"), *error));
    if (const auto error = Platform::writePrivateFile(m_path, key.toUtf8(), Platform::StaleTemporaries::remove))
        throw fileError(Kivaro::withLibraryDetail(tellumoLocalizedFormat("无法保存密钥文件"), *error));
}

std::optional<QString> PrivateFileKeyStore::readNow() const
{
    const QString folder = QFileInfo(m_path).path();
    if (Platform::isSymbolicLink(folder))
        throw fileError(Kivaro::withLibraryDetail(tellumoLocalizedFormat("无法读取密钥文件"), tellumoLocalizedFormat("“%@”是符号链接", folder)));
    const auto unreadable = [](const QString &reason) { return fileError(Kivaro::withLibraryDetail(tellumoLocalizedFormat("无法读取密钥文件"), reason)); };
    const QString notAKeyFile = tellumoLocalizedFormat("“%@”不是密钥文件", m_path);
    Platform::RegularFile file(m_path, Platform::FollowLinks::No);
    if (const auto &failure = file.failure()) {
        switch (failure->kind) {
        case Platform::ReadFailure::Kind::NotFound:
            return std::nullopt;
        case Platform::ReadFailure::Kind::SymbolicLink:
            throw unreadable(tellumoLocalizedFormat("“%@”是符号链接", m_path));
        case Platform::ReadFailure::Kind::NotRegularFile:
            throw unreadable(notAKeyFile);
        default:
            throw unreadable(failure->description());
        }
    }
    if (file.size() > maxFileBytes)
        throw unreadable(notAKeyFile);
    if ((file.permissions() & 077) != 0 && ::fchmod(file.descriptor(), S_IRUSR | S_IWUSR) != 0)
        throw unreadable(errnoText(errno));
    const Platform::FileBytes bytes = file.readAll(maxFileBytes);
    if (!bytes.ok())
        throw unreadable(bytes.failure->kind == Platform::ReadFailure::Kind::TooLarge ? notAKeyFile : bytes.failure->description());
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString key = decoder.decode(bytes.bytes);
    if (decoder.hasError())
        throw AIKeychainError(AIKeychainError::Code::invalidData, tellumoLocalizedFormat("钥匙串中保存的 API Key 不是有效的文字。"));
    return key;
}

void PrivateFileKeyStore::removeNow() const
{
    const QByteArray name = QFile::encodeName(m_path);
    if (::unlink(name.constData()) != 0 && errno != ENOENT && errno != ENOTDIR)
        throw fileError(Kivaro::withLibraryDetail(tellumoLocalizedFormat("无法删除密钥文件"), errnoText(errno)));
}

Platform::Task<void> PrivateFileKeyStore::write(QString key)
{
    writeNow(key);
    co_return;
}

Platform::Task<std::optional<QString>> PrivateFileKeyStore::read()
{
    co_return readNow();
}

Platform::Task<void> PrivateFileKeyStore::remove()
{
    removeNow();
    co_return;
}

} // namespace Tellumo
