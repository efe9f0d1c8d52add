#include "Platform/Defaults/UserDefaults.h"

#include "Platform/Files/PrivateFiles.h"
#include "Platform/Files/RegularFile.h"
#include "Platform/PropertyList/PropertyList.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <map>

#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace Platform {

DefaultsWriteError::DefaultsWriteError(QString path, const QString &reason)
    : std::runtime_error(reason.toStdString()), m_path(std::move(path))
{
}

namespace {

// Preferences are small; anything larger is not ours.
constexpr qsizetype kMaxDomainBytes = 16 * 1024 * 1024;

bool isNumber(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

bool isSupported(const QVariant &value, int depth = 0)
{
    if (depth > 32)
        return false;
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::QString:
    case QMetaType::QByteArray:
    case QMetaType::QDateTime:
    case QMetaType::QStringList:
        return true;
    case QMetaType::QVariantList:
        for (const QVariant &item : value.toList())
            if (!isSupported(item, depth + 1))
                return false;
        return true;
    case QMetaType::QVariantMap:
        for (const QVariant &item : value.toMap())
            if (!isSupported(item, depth + 1))
                return false;
        return true;
    default:
        return isNumber(value);
    }
}

// Position after optional leading white space and sign; `negative` tells the sign.
qsizetype skipSpaceAndSign(QStringView text, bool &negative)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    return i;
}

bool stringIsTrue(QStringView text)
{
    bool negative = false;
    qsizetype i = skipSpaceAndSign(text, negative);
    while (i < text.size() && text[i] == u'0')
        ++i;
    if (i >= text.size())
        return false;
    const QChar c = text[i];
    return c == u'Y' || c == u'y' || c == u'T' || c == u't' || (c >= u'1' && c <= u'9');
}

qint64 leadingInteger(QStringView text)
{
    bool negative = false;
    qsizetype i = skipSpaceAndSign(text, negative);
    qint64 value = 0;
    for (; i < text.size() && text[i].isDigit() && text[i].unicode() < 128; ++i) {
        const int digit = text[i].unicode() - u'0';
        if (value > (std::numeric_limits<qint64>::max() - digit) / 10)
            return negative ? std::numeric_limits<qint64>::min() : std::numeric_limits<qint64>::max();
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

// What is on disk for a domain: no file, a file that cannot be read as ours, or its bytes.
struct DomainFile {
    bool exists = false;
    std::optional<QByteArray> bytes;
};

// Reads a domain file only when it is a regular file of at most kMaxDomainBytes and not a
// symbolic link; anything else that is there is a file that cannot be read as ours.
DomainFile readDomainFile(const QString &path)
{
    FileBytes file = readRegularFile(path, kMaxDomainBytes, FollowLinks::No);
    if (file.ok())
        return {true, std::move(file.bytes)};
    return {file.failure->kind != ReadFailure::Kind::NotFound, std::nullopt};
}

double leadingReal(QStringView text)
{
    const QByteArray latin = text.toString().trimmed().toLatin1();
    char *end = nullptr;
    const double value = std::strtod(latin.constData(), &end);
    return end == latin.constData() ? 0.0 : value;
}

} // namespace

namespace detail {

class DefaultsStore {
public:
    DefaultsStore(QString domain, QString folder) : m_domain(std::move(domain)), m_folder(std::move(folder))
    {
        if (hasFolder())
            load();
    }

    QString domain() const { return m_domain; }
    QString path() const { return m_folder + QLatin1Char('/') + m_domain + QStringLiteral(".plist"); }
    const QVariantMap &values() const { return m_values; }
    bool fileWasReadable() const { return m_readable; }
    DefaultsNotifier *notifier() { return &m_notifier; }

    bool set(const QString &key, const QVariant &value)
    {
        QVariantMap changed = m_values;
        changed.insert(key, value);
        if (!commit(std::move(changed)))
            return false;
        Q_EMIT m_notifier.changed(key);
        return true;
    }
    void remove(const QString &key)
    {
        if (!m_values.contains(key))
            return;
        QVariantMap changed = m_values;
        changed.remove(key);
        commit(std::move(changed));
        Q_EMIT m_notifier.changed(key);
    }
    void removeFile()
    {
        if (hasFolder() && ::unlink(QFile::encodeName(path()).constData()) != 0 && errno != ENOENT)
            throw DefaultsWriteError(path(), QStringLiteral("cannot remove %1: %2").arg(path(), QString::fromLocal8Bit(std::strerror(errno))));
        m_values.clear();
        m_unreadableFileOnDisk = false;
        m_readable = false;
    }

private:
    void load()
    {
        DomainFile file = readDomainFile(path());
        if (!file.exists)
            return;
        m_unreadableFileOnDisk = true;
        if (!file.bytes)
            return;
        try {
            const QVariant root = decodePropertyList(*file.bytes, PropertyListLimits{kMaxDomainBytes});
            if (root.typeId() != QMetaType::QVariantMap)
                return;
            m_values = root.toMap();
            m_readable = true;
            m_unreadableFileOnDisk = false;
        } catch (const PropertyListError &) {
        }
    }

    // Writes `values` as the domain and only then keeps them: after a failed write the store
    // holds what the file holds. False when `values` hold something the encoder refuses.
    bool commit(QVariantMap values)
    {
        QByteArray bytes;
        try {
            bytes = encodePropertyList(values);
        } catch (const PropertyListError &) {
            return false;
        }
        if (auto error = write(bytes))
            throw DefaultsWriteError(path(), *error);
        m_values = std::move(values);
        m_readable = true;
        return true;
    }

    bool hasFolder() const { return QDir::isAbsolutePath(m_folder); }

    std::optional<QString> write(const QByteArray &bytes)
    {
        if (!hasFolder())
            return QStringLiteral("no folder to keep %1 in").arg(m_domain);
        if (auto error = ensurePrivateFolder(m_folder))
            return error;
        if (m_unreadableFileOnDisk) {
            const QString aside = path() + QStringLiteral(".corrupt");
            QFile::remove(aside);
            if (!QFile::rename(path(), aside))
                return QStringLiteral("cannot move the unreadable %1 aside").arg(path());
            m_unreadableFileOnDisk = false;
        }
        // The preference folder is the application's own.
        return writePrivateFile(path(), bytes, StaleTemporaries::remove);
    }

    QString m_domain;
    QString m_folder;
    QVariantMap m_values;
    bool m_readable = false;
    bool m_unreadableFileOnDisk = false;
    DefaultsNotifier m_notifier;
};

} // namespace detail

namespace {

// Main-thread only. Stores live for the process: a domain is read once.
std::map<QString, std::shared_ptr<detail::DefaultsStore>> &stores()
{
    static std::map<QString, std::shared_ptr<detail::DefaultsStore>> all;
    return all;
}

std::shared_ptr<detail::DefaultsStore> storeFor(const QString &domain, const QString &folder = UserDefaults::folder())
{
    const QString key = folder + QLatin1Char('/') + domain;
    auto &all = stores();
    auto it = all.find(key);
    if (it == all.end())
        it = all.emplace(key, std::make_shared<detail::DefaultsStore>(domain, folder)).first;
    return it->second;
}

bool isValidDomainName(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && name != QStringLiteral(".") && name != QStringLiteral("..");
}

} // namespace

QString UserDefaults::folder()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return QDir::cleanPath(base + QStringLiteral("/kivaro"));
}

UserDefaults UserDefaults::standard()
{
    return UserDefaults(storeFor(QString::fromLatin1(standardDomain)));
}

UserDefaults UserDefaults::suite(const QString &name)
{
    // A name that could escape the folder is kept in memory under a harmless file name.
    const QString safe = isValidDomainName(name) ? name : QStringLiteral("invalid-suite");
    return UserDefaults(storeFor(safe));
}

UserDefaults UserDefaults::suite(const QString &name, const QString &folder)
{
    const QString safe = isValidDomainName(name) ? name : QStringLiteral("invalid-suite");
    return UserDefaults(storeFor(safe, QDir::isAbsolutePath(folder) ? QDir::cleanPath(folder) : QString()));
}

std::optional<QVariantMap> UserDefaults::persistentDomain(const QString &name)
{
    if (!isValidDomainName(name))
        return std::nullopt;
    auto store = storeFor(name);
    if (!store->fileWasReadable())
        return std::nullopt;
    return store->values();
}

void UserDefaults::removePersistentDomain(const QString &name)
{
    if (!isValidDomainName(name))
        return;
    storeFor(name)->removeFile();
}

void UserDefaults::forgetDomain(const QString &name)
{
    stores().erase(folder() + QLatin1Char('/') + name); // the key of storeFor()
}

UserDefaults::UserDefaults(std::shared_ptr<detail::DefaultsStore> store) : m_store(std::move(store)) {}

QString UserDefaults::domain() const
{
    return m_store->domain();
}

bool UserDefaults::contains(const QString &key) const
{
    return m_store->values().contains(key);
}

QVariant UserDefaults::object(const QString &key) const
{
    return m_store->values().value(key);
}

std::optional<QByteArray> UserDefaults::data(const QString &key) const
{
    const QVariant value = object(key);
    if (value.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    return value.toByteArray();
}

std::optional<QString> UserDefaults::string(const QString &key) const
{
    const QVariant value = object(key);
    if (value.typeId() == QMetaType::QString)
        return value.toString();
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    if (isNumber(value))
        return value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float ? QString::number(value.toDouble(), 'g', 17)
                                                                                         : QString::number(value.toLongLong());
    return std::nullopt;
}

std::optional<QVariantList> UserDefaults::array(const QString &key) const
{
    const QVariant value = object(key);
    if (value.typeId() != QMetaType::QVariantList && value.typeId() != QMetaType::QStringList)
        return std::nullopt;
    return value.toList();
}

std::optional<QVariantMap> UserDefaults::dictionary(const QString &key) const
{
    const QVariant value = object(key);
    if (value.typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    return value.toMap();
}

bool UserDefaults::boolean(const QString &key) const
{
    const QVariant value = object(key);
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (isNumber(value))
        return value.toDouble() != 0.0;
    if (value.typeId() == QMetaType::QString)
        return stringIsTrue(value.toString());
    return false;
}

qint64 UserDefaults::integer(const QString &key) const
{
    const QVariant value = object(key);
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? 1 : 0;
    if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float) {
        const double real = value.toDouble();
        if (!(real == real) || real >= 9.2e18 || real <= -9.2e18)
            return 0;
        return static_cast<qint64>(real);
    }
    if (isNumber(value))
        return value.toLongLong();
    if (value.typeId() == QMetaType::QString)
        return leadingInteger(value.toString());
    return 0;
}

double UserDefaults::real(const QString &key) const
{
    const QVariant value = object(key);
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? 1.0 : 0.0;
    if (isNumber(value))
        return value.toDouble();
    if (value.typeId() == QMetaType::QString)
        return leadingReal(value.toString());
    return 0.0;
}

QVariantMap UserDefaults::dictionaryRepresentation() const
{
    return m_store->values();
}

bool UserDefaults::set(const QString &key, const QVariant &value)
{
    return isSupported(value) && m_store->set(key, value);
}

void UserDefaults::remove(const QString &key)
{
    m_store->remove(key);
}

DefaultsNotifier *UserDefaults::notifier() const
{
    return m_store->notifier();
}

} // namespace Platform
