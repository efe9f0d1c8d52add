#include "TellumoRuntime/PrivateFileKeyStore.h"

#include "TellumoRuntime/AIKeychain.h"
#include "TellumoRuntime/TellumoLocalization.h"

#include "Platform/Files/PrivateFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
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

// Closes a descriptor when the scope ends.
struct Descriptor {
    int fd;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

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
        throw fileError(tellumoLocalizedFormat("无法保存密钥文件：%@", *error));
    if (const auto error = Platform::writePrivateFile(m_path, key.toUtf8()))
        throw fileError(tellumoLocalizedFormat("无法保存密钥文件：%@", *error));
}

std::optional<QString> PrivateFileKeyStore::readNow() const
{
    const QString folder = QFileInfo(m_path).path();
    if (Platform::isSymbolicLink(folder))
        throw fileError(tellumoLocalizedFormat("无法读取密钥文件：%@", folder + QStringLiteral(" is a symbolic link")));
    const QByteArray name = QFile::encodeName(m_path);
    Descriptor file{::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK)};
    if (file.fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return std::nullopt;
        throw fileError(tellumoLocalizedFormat("无法读取密钥文件：%@", error == ELOOP ? m_path + QStringLiteral(" is a symbolic link") : errnoText(error)));
    }
    struct stat status {};
    if (::fstat(file.fd, &status) != 0)
        throw fileError(tellumoLocalizedFormat("无法读取密钥文件：%@", errnoText(errno)));
    if (!S_ISREG(status.st_mode) || status.st_size > maxFileBytes)
        throw fileError(tellumoLocalizedFormat("无法读取密钥文件：%@", m_path + QStringLiteral(" is not a key file")));
    if ((status.st_mode & 077) != 0 && ::fchmod(file.fd, S_IRUSR | S_IWUSR) != 0)
        throw fileError(tellumoLocalizedFormat("无法读取密钥文件：%@", errnoText(errno)));
    QByteArray bytes(qsizetype(status.st_size), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(file.fd, bytes.data() + done, size_t(bytes.size() - done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw fileError(tellumoLocalizedFormat("无法读取密钥文件：%@", errnoText(errno)));
        if (got == 0)
            break;
        done += got;
    }
    bytes.truncate(done);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString key = decoder.decode(bytes);
    if (decoder.hasError())
        throw AIKeychainError(AIKeychainError::Code::invalidData, tellumoLocalizedFormat("钥匙串中保存的 API Key 不是有效的文字。"));
    return key;
}

void PrivateFileKeyStore::removeNow() const
{
    const QByteArray name = QFile::encodeName(m_path);
    if (::unlink(name.constData()) != 0 && errno != ENOENT && errno != ENOTDIR)
        throw fileError(tellumoLocalizedFormat("无法删除密钥文件：%@", errnoText(errno)));
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
