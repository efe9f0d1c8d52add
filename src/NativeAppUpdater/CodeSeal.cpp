#include "NativeAppUpdater/CodeSeal.h"

#include "NativeAppUpdater/internal/BundlePaths.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace NativeAppUpdater {

namespace {

constexpr const char *magic = "KivaroSeal 1";

QByteArray encoded(const QString &text)
{
    return QUrl::toPercentEncoding(text, "/+@,=");
}

QString decoded(const QByteArray &text)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(text));
}

[[noreturn]] void refuse(const QString &why)
{
    throw SealError(why.toStdString());
}

bool isIdentifierText(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9._-]{1,255}$"));
    return pattern.match(text).hasMatch();
}

bool isVersionText(const QString &text)
{
    if (text.isEmpty() || text.size() > 255)
        return false;
    return std::none_of(text.cbegin(), text.cend(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

QString parentOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash);
}

// Walks a link's target from the link's folder; returns the sealed path it names, or an empty
// text when it leaves the bundle, passes through a link or names nothing sealed.
QString resolveLink(const CodeSeal &seal, const SealEntry &link)
{
    const QByteArray target = link.target.toUtf8();
    if (target.isEmpty() || target.size() > 1024 || target.startsWith('/') || target.contains('\0'))
        return {};
    QStringList at = parentOf(link.path).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const QStringList steps = link.target.split(QLatin1Char('/'));
    for (qsizetype i = 0; i < steps.size(); ++i) {
        const QString &step = steps[i];
        if (step.isEmpty())
            return {};
        if (step == QLatin1String("."))
            continue;
        if (step == QLatin1String("..")) {
            if (at.isEmpty())
                return {};
            at.removeLast();
            continue;
        }
        at << step;
        const SealEntry *entry = seal.find(at.join(QLatin1Char('/')));
        if (!entry || entry->type == SealEntry::Type::link)
            return {};
        if (i + 1 < steps.size() && entry->type != SealEntry::Type::directory)
            return {};
    }
    return at.join(QLatin1Char('/'));
}

void collect(int dirFd, const QString &prefix, int depth, const NativeUpdateLimits &limits, QList<SealEntry> &entries)
{
    QList<detail::SealedName> names;
    if (const QString why = detail::listSealedFolder(dirFd, prefix, depth, limits.depth, names); !why.isEmpty())
        refuse(why);
    for (const auto &[name, path] : std::as_const(names)) {
        if (entries.size() >= limits.entries)
            refuse(QStringLiteral("too many entries"));
        struct stat info {};
        if (::fstatat(dirFd, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            refuse(QStringLiteral("cannot inspect ") + path);
        SealEntry entry;
        entry.path = path;
        if (S_ISDIR(info.st_mode)) {
            entry.type = SealEntry::Type::directory;
            entry.mode = int(info.st_mode & 07777);
            entries << entry;
            detail::UniqueFd child = detail::openDirectoryAt(dirFd, name);
            if (!child)
                refuse(QStringLiteral("cannot open ") + path);
            collect(child.get(), path, depth + 1, limits, entries);
        } else if (S_ISREG(info.st_mode)) {
            entry.type = SealEntry::Type::file;
            entry.mode = int(info.st_mode & 07777);
            detail::UniqueFd file(::openat(dirFd, name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
            const auto digest = file ? detail::sha256OfDescriptor(file.get(), limits.fileBytes, &entry.size) : std::nullopt;
            if (!digest)
                refuse(QStringLiteral("cannot read ") + path);
            entry.sha256 = *digest;
            entries << entry;
        } else if (S_ISLNK(info.st_mode)) {
            entry.type = SealEntry::Type::link;
            QByteArray target(4096, Qt::Uninitialized);
            const ssize_t n = ::readlinkat(dirFd, name.constData(), target.data(), size_t(target.size()));
            if (n <= 0 || n >= target.size())
                refuse(QStringLiteral("cannot read the link ") + path);
            target.truncate(n);
            entry.target = QFile::decodeName(target);
            entries << entry;
        } else {
            refuse(QStringLiteral("not a folder, file or link: ") + path);
        }
    }
}

} // namespace

CodeSeal::CodeSeal(SealHeader header, QList<SealEntry> entries, const NativeUpdateLimits &limits)
    : m_header(std::move(header)), m_entries(std::move(entries))
{
    check(limits);
}

void CodeSeal::check(const NativeUpdateLimits &limits)
{
    if (!isIdentifierText(m_header.identifier) || !isIdentifierText(m_header.team))
        refuse(QStringLiteral("malformed identifier or team"));
    if (!isVersionText(m_header.version) || m_header.build < 1)
        refuse(QStringLiteral("malformed version or build"));
    if (!detail::isCanonicalRelativePath(m_header.executable))
        refuse(QStringLiteral("malformed executable path"));
    if (m_entries.size() > limits.entries)
        refuse(QStringLiteral("too many entries"));

    m_index.clear();
    m_totalBytes = 0;
    QByteArray previous;
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        const SealEntry &entry = m_entries[i];
        const QByteArray key = entry.path.toUtf8();
        if (!detail::isCanonicalRelativePath(entry.path))
            refuse(QStringLiteral("malformed path ") + entry.path);
        if (i > 0 && !(previous < key))
            refuse(QStringLiteral("entries out of order or repeated at ") + entry.path);
        previous = key;
        if (entry.path.count(QLatin1Char('/')) + 1 > limits.depth)
            refuse(QStringLiteral("nested too deeply: ") + entry.path);
        if (entry.path.section(QLatin1Char('/'), 0, 0) == QLatin1String(signatureFolder))
            refuse(QStringLiteral("the signature folder cannot be sealed"));
        const QString parent = parentOf(entry.path);
        if (!parent.isEmpty()) {
            const auto it = m_index.constFind(parent);
            if (it == m_index.cend() || m_entries[*it].type != SealEntry::Type::directory)
                refuse(QStringLiteral("parent is not a sealed folder: ") + entry.path);
        }
        const bool writableByOthers = entry.mode & 022;
        switch (entry.type) {
        case SealEntry::Type::directory:
            if (entry.mode < 0 || entry.mode > 0777 || (entry.mode & 0700) != 0700 || writableByOthers || entry.size != 0
                || !entry.sha256.isEmpty() || !entry.target.isEmpty())
                refuse(QStringLiteral("unacceptable folder entry ") + entry.path);
            break;
        case SealEntry::Type::file:
            if (entry.mode < 0 || entry.mode > 0777 || !(entry.mode & 0400) || writableByOthers || entry.sha256.size() != 32
                || !entry.target.isEmpty())
                refuse(QStringLiteral("unacceptable file entry ") + entry.path);
            if (entry.size < 0 || entry.size > limits.fileBytes)
                refuse(QStringLiteral("file too large: ") + entry.path);
            m_totalBytes += entry.size;
            if (m_totalBytes > limits.unpackedBytes)
                refuse(QStringLiteral("bundle too large"));
            break;
        case SealEntry::Type::link:
            if (entry.mode != 0 || entry.size != 0 || !entry.sha256.isEmpty())
                refuse(QStringLiteral("unacceptable link entry ") + entry.path);
            break;
        }
        m_index.insert(entry.path, i);
    }
    for (const SealEntry &entry : std::as_const(m_entries)) {
        if (entry.type == SealEntry::Type::link && resolveLink(*this, entry).isEmpty())
            refuse(QStringLiteral("link leaves the bundle or names nothing sealed: ") + entry.path);
    }
    const SealEntry *info = find(QStringLiteral("Info.plist"));
    if (!info || info->type != SealEntry::Type::file)
        refuse(QStringLiteral("Info.plist is not sealed"));
    const SealEntry *executable = find(m_header.executable);
    if (!executable || executable->type != SealEntry::Type::file || !(executable->mode & 0100))
        refuse(QStringLiteral("the executable is not a sealed executable file"));
}

const SealEntry *CodeSeal::find(const QString &path) const
{
    const auto it = m_index.constFind(path);
    return it == m_index.cend() ? nullptr : &m_entries[*it];
}

QByteArray CodeSeal::serialize() const
{
    QByteArray out;
    out.reserve(256 + m_entries.size() * 120);
    out += magic;
    out += '\n';
    out += "identifier " + encoded(m_header.identifier) + '\n';
    out += "team " + encoded(m_header.team) + '\n';
    out += "version " + encoded(m_header.version) + '\n';
    out += "build " + QByteArray::number(m_header.build) + '\n';
    out += "executable " + encoded(m_header.executable) + '\n';
    out += "entries " + QByteArray::number(m_entries.size()) + '\n';
    for (const SealEntry &entry : m_entries) {
        switch (entry.type) {
        case SealEntry::Type::directory:
            out += "d " + QByteArray::number(entry.mode, 8) + " - - ";
            break;
        case SealEntry::Type::file:
            out += "f " + QByteArray::number(entry.mode, 8) + ' ' + QByteArray::number(entry.size) + ' ' + entry.sha256.toHex() + ' ';
            break;
        case SealEntry::Type::link:
            out += "l - - " + encoded(entry.target) + ' ';
            break;
        }
        out += encoded(entry.path) + '\n';
    }
    return out;
}

CodeSeal CodeSeal::parse(const QByteArray &bytes, const NativeUpdateLimits &limits)
{
    if (bytes.size() > limits.sealBytes)
        refuse(QStringLiteral("seal too large"));
    if (!bytes.endsWith('\n'))
        refuse(QStringLiteral("seal not terminated"));
    const QList<QByteArray> lines = bytes.left(bytes.size() - 1).split('\n');
    if (lines.size() < 7 || lines[0] != magic)
        refuse(QStringLiteral("not a seal"));
    auto field = [&](int index, const char *name) {
        const QByteArray prefix = QByteArray(name) + ' ';
        if (!lines[index].startsWith(prefix))
            refuse(QStringLiteral("seal header lacks ") + QLatin1String(name));
        return lines[index].mid(prefix.size());
    };
    SealHeader header;
    header.identifier = decoded(field(1, "identifier"));
    header.team = decoded(field(2, "team"));
    header.version = decoded(field(3, "version"));
    bool ok = false;
    header.build = field(4, "build").toLongLong(&ok);
    if (!ok)
        refuse(QStringLiteral("malformed build"));
    header.executable = decoded(field(5, "executable"));
    const qint64 count = field(6, "entries").toLongLong(&ok);
    if (!ok || count < 0 || count > limits.entries || count != lines.size() - 7)
        refuse(QStringLiteral("entry count does not match"));

    QList<SealEntry> entries;
    entries.reserve(count);
    for (qsizetype i = 7; i < lines.size(); ++i) {
        const QList<QByteArray> parts = lines[i].split(' ');
        if (parts.size() != 5)
            refuse(QStringLiteral("malformed entry line"));
        SealEntry entry;
        entry.path = decoded(parts[4]);
        const QByteArray &kind = parts[0];
        if (kind == "d" || kind == "f") {
            entry.type = kind == "d" ? SealEntry::Type::directory : SealEntry::Type::file;
            entry.mode = parts[1].toInt(&ok, 8);
            if (!ok)
                refuse(QStringLiteral("malformed mode"));
            if (entry.type == SealEntry::Type::file) {
                entry.size = parts[2].toLongLong(&ok);
                if (!ok || parts[3].size() != 64)
                    refuse(QStringLiteral("malformed file entry"));
                entry.sha256 = QByteArray::fromHex(parts[3]);
            }
        } else if (kind == "l") {
            entry.type = SealEntry::Type::link;
            entry.target = decoded(parts[3]);
        } else {
            refuse(QStringLiteral("unknown entry kind"));
        }
        entries << entry;
    }
    CodeSeal seal(header, entries, limits);
    if (seal.serialize() != bytes)
        refuse(QStringLiteral("seal is not in canonical form"));
    return seal;
}

CodeSeal CodeSeal::ofFolder(const QString &path, const SealHeader &header, const NativeUpdateLimits &limits)
{
    detail::UniqueFd root = detail::openDirectoryPath(path);
    if (!root)
        refuse(QStringLiteral("cannot open the bundle ") + path);
    QList<SealEntry> entries;
    collect(root.get(), QString(), 1, limits, entries);
    std::sort(entries.begin(), entries.end(), [](const SealEntry &a, const SealEntry &b) { return a.path.toUtf8() < b.path.toUtf8(); });
    return CodeSeal(header, entries, limits);
}

} // namespace NativeAppUpdater
