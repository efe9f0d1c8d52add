#include "NativeAppUpdater/UpdateArchive.h"

#include "NativeAppUpdater/NativeUpdateInstaller.h"
#include "NativeAppUpdater/internal/BundlePaths.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHash>
#include <QSet>

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace NativeAppUpdater::UpdateArchive {

namespace {

using detail::UniqueFd;

[[noreturn]] void refuse(const QString &why)
{
    throw NativeUpdateInstaller::Error(NativeUpdateInstaller::Failure::invalidApplication, why);
}

struct ArchiveFree {
    void operator()(archive *a) const { archive_read_free(a); }
};
using Archive = std::unique_ptr<archive, ArchiveFree>;

QString archiveError(archive *a)
{
    const char *text = archive_error_string(a);
    return text ? QString::fromUtf8(text) : QStringLiteral("unknown error");
}

// A reader of the zip's central directory (the seekable reader): one consistent list of
// entries, whatever the local headers claim.
Archive openZip(const QByteArray &zip)
{
    Archive a(archive_read_new());
    if (!a || archive_read_support_format_zip_seekable(a.get()) != ARCHIVE_OK)
        refuse(QStringLiteral("cannot set up the archive reader"));
    if (archive_read_open_memory(a.get(), zip.constData(), size_t(zip.size())) != ARCHIVE_OK)
        refuse(QStringLiteral("the archive cannot be read: ") + archiveError(a.get()));
    return a;
}

// The next entry, or null at the end; a damaged archive, a warning included, refuses.
archive_entry *nextEntry(archive *a, qint64 &count, qint64 maxEntries)
{
    archive_entry *entry = nullptr;
    const int result = archive_read_next_header(a, &entry);
    if (result == ARCHIVE_EOF)
        return nullptr;
    if (result != ARCHIVE_OK)
        refuse(QStringLiteral("the archive cannot be read: ") + archiveError(a));
    if (++count > maxEntries)
        refuse(QStringLiteral("the archive holds too many entries"));
    return entry;
}

QString entryPath(archive_entry *entry)
{
    if (const char *utf8 = archive_entry_pathname_utf8(entry))
        return QString::fromUtf8(utf8);
    refuse(QStringLiteral("an entry's name cannot be read"));
}

// Hands the current entry's data to `take` block by block, and refuses an unreadable entry.
template <typename Take>
void forEachBlock(archive *a, Take take)
{
    char buffer[1 << 16];
    for (;;) {
        const la_ssize_t n = archive_read_data(a, buffer, sizeof buffer);
        if (n < 0)
            refuse(QStringLiteral("an entry cannot be read: ") + archiveError(a));
        if (n == 0)
            return;
        take(buffer, qsizetype(n));
    }
}

// Reads at most `maxBytes` of the current entry's data.
QByteArray readData(archive *a, qint64 maxBytes)
{
    QByteArray data;
    forEachBlock(a, [&](const char *block, qsizetype size) {
        if (data.size() + size > maxBytes)
            refuse(QStringLiteral("an entry is larger than allowed"));
        data.append(block, size);
    });
    return data;
}

struct EntryName {
    QString relative; // below the bundle; empty for the bundle folder itself
};

// Splits "<bundle>/<relative>[/]" and refuses anything else.
EntryName splitPath(const QString &raw, bool isDirectory, const QString &bundleName)
{
    QString path = raw;
    if (path.startsWith(QLatin1Char('/')))
        refuse(QStringLiteral("absolute path in the archive: ") + raw);
    if (isDirectory && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    if (path.isEmpty() || !detail::isCanonicalRelativePath(path))
        refuse(QStringLiteral("malformed or escaping path in the archive: ") + raw);
    if (path == bundleName)
        return {};
    if (!path.startsWith(bundleName + QLatin1Char('/')))
        refuse(QStringLiteral("entry outside the bundle: ") + raw);
    return {path.mid(bundleName.size() + 1)};
}

class Extraction {
public:
    Extraction(const CodeSeal &seal, const NativeCodeSignature::SignatureFiles &files, int rootFd, const NativeUpdateLimits &limits)
        : m_seal(seal), m_files(files), m_root(rootFd), m_limits(limits)
    {
    }

    void take(archive *a, archive_entry *entry, const QString &bundleName)
    {
        const mode_t type = archive_entry_filetype(entry);
        if (archive_entry_is_encrypted(entry))
            refuse(QStringLiteral("encrypted entry: ") + entryPath(entry));
        if (archive_entry_hardlink(entry))
            refuse(QStringLiteral("hard link: ") + entryPath(entry));
        if (archive_entry_mode(entry) & (S_ISUID | S_ISGID))
            refuse(QStringLiteral("set-id bit: ") + entryPath(entry));
        if (type != AE_IFREG && type != AE_IFDIR && type != AE_IFLNK)
            refuse(QStringLiteral("special file: ") + entryPath(entry));
        const QString relative = splitPath(entryPath(entry), type == AE_IFDIR, bundleName).relative;
        if (m_seen.contains(relative))
            refuse(QStringLiteral("duplicate entry: ") + (relative.isEmpty() ? bundleName : relative));
        m_seen.insert(relative);
        if (relative.isEmpty()) {
            if (type != AE_IFDIR)
                refuse(QStringLiteral("the bundle is not a folder"));
            return;
        }

        const QString signatureFolder = QLatin1String(CodeSeal::signatureFolder);
        if (relative == signatureFolder) {
            if (type != AE_IFDIR)
                refuse(QStringLiteral("the signature folder is not a folder"));
            makeFolder(relative);
            return;
        }
        if (relative.startsWith(signatureFolder + QLatin1Char('/'))) {
            takeSignatureFile(a, relative, type);
            return;
        }

        const SealEntry *sealed = m_seal.find(relative);
        if (!sealed)
            refuse(QStringLiteral("unsealed entry: ") + relative);
        switch (sealed->type) {
        case SealEntry::Type::directory:
            if (type != AE_IFDIR)
                refuse(QStringLiteral("expected a folder: ") + relative);
            makeFolder(relative);
            break;
        case SealEntry::Type::file:
            if (type != AE_IFREG)
                refuse(QStringLiteral("expected a file: ") + relative);
            writeFile(a, relative, *sealed);
            break;
        case SealEntry::Type::link: {
            if (type != AE_IFLNK)
                refuse(QStringLiteral("expected a link: ") + relative);
            const char *target = archive_entry_symlink_utf8(entry);
            if (!target || QString::fromUtf8(target) != sealed->target)
                refuse(QStringLiteral("link target differs from the seal: ") + relative);
            auto [parent, name] = parentOf(relative);
            if (::symlinkat(QFile::encodeName(sealed->target).constData(), parent.get(), name.constData()) != 0)
                refuse(QStringLiteral("cannot create the link ") + relative + QStringLiteral(": ") + detail::errnoText(errno));
            break;
        }
        }
    }

    void finish()
    {
        for (const SealEntry &entry : m_seal.entries()) {
            if (!m_seen.contains(entry.path))
                refuse(QStringLiteral("sealed entry missing from the archive: ") + entry.path);
        }
        for (const char *name : {CodeSeal::sealFile, CodeSeal::signatureFile, CodeSeal::countersignatureFile}) {
            if (!m_seen.contains(QLatin1String(CodeSeal::signatureFolder) + QLatin1Char('/') + QLatin1String(name)))
                refuse(QStringLiteral("signature file missing: ") + QLatin1String(name));
        }
        // Folders were made 0700 to be filled; they get their sealed modes last, deepest first.
        QList<QString> folders = m_folders;
        std::sort(folders.begin(), folders.end(), [](const QString &a, const QString &b) { return a.count(u'/') > b.count(u'/'); });
        for (const QString &folder : std::as_const(folders)) {
            const SealEntry *sealed = m_seal.find(folder);
            const mode_t mode = sealed ? mode_t(sealed->mode) : 0755;
            auto [parent, name] = parentOf(folder);
            UniqueFd fd = detail::openDirectoryAt(parent.get(), name);
            if (!fd || ::fchmod(fd.get(), mode) != 0)
                refuse(QStringLiteral("cannot set the mode of ") + folder);
        }
        if (::fchmod(m_root, 0755) != 0)
            refuse(QStringLiteral("cannot set the mode of the bundle"));
    }

private:
    // The folder that holds `relative`, opened without following links; folders the archive
    // has not listed yet are made when the seal lists them (zips need not list folders first).
    std::pair<UniqueFd, QByteArray> parentOf(const QString &relative)
    {
        const QStringList components = relative.split(QLatin1Char('/'));
        UniqueFd folder(::fcntl(m_root, F_DUPFD_CLOEXEC, 0));
        QString walked;
        for (qsizetype i = 0; i + 1 < components.size(); ++i) {
            walked = walked.isEmpty() ? components[i] : walked + QLatin1Char('/') + components[i];
            const QByteArray name = QFile::encodeName(components[i]);
            UniqueFd next = detail::openDirectoryAt(folder.get(), name);
            if (!next && errno == ENOENT && isSealedFolder(walked)) {
                if (::mkdirat(folder.get(), name.constData(), 0700) != 0)
                    refuse(QStringLiteral("cannot create ") + walked + QStringLiteral(": ") + detail::errnoText(errno));
                m_folders << walked;
                next = detail::openDirectoryAt(folder.get(), name);
            }
            if (!next)
                refuse(QStringLiteral("cannot open the folder ") + walked + QStringLiteral(" (a link in the way?)"));
            folder = std::move(next);
        }
        return {std::move(folder), QFile::encodeName(components.last())};
    }

    bool isSealedFolder(const QString &path) const
    {
        if (path == QLatin1String(CodeSeal::signatureFolder))
            return true;
        const SealEntry *entry = m_seal.find(path);
        return entry && entry->type == SealEntry::Type::directory;
    }

    void makeFolder(const QString &relative)
    {
        auto [parent, name] = parentOf(relative);
        if (::mkdirat(parent.get(), name.constData(), 0700) == 0) {
            m_folders << relative;
            return;
        }
        // Made already on the way to an earlier entry; anything else in its place is refused.
        struct stat info {};
        if (errno != EEXIST || ::fstatat(parent.get(), name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(info.st_mode)
            || !m_folders.contains(relative))
            refuse(QStringLiteral("cannot create the folder ") + relative);
    }

    UniqueFd createFile(const QString &relative, std::pair<UniqueFd, QByteArray> &where)
    {
        UniqueFd file(::openat(where.first.get(), where.second.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!file)
            refuse(QStringLiteral("cannot create ") + relative + QStringLiteral(": ") + detail::errnoText(errno));
        return file;
    }

    static void writeAll(int fd, const char *data, qsizetype size, const QString &relative)
    {
        for (qsizetype done = 0; done < size;) {
            const ssize_t n = ::write(fd, data + done, size_t(size - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                refuse(QStringLiteral("cannot write ") + relative + QStringLiteral(": ") + detail::errnoText(errno));
            done += n;
        }
    }

    void writeFile(archive *a, const QString &relative, const SealEntry &sealed)
    {
        auto where = parentOf(relative);
        UniqueFd file = createFile(relative, where);
        QCryptographicHash hash(QCryptographicHash::Sha256);
        qint64 size = 0;
        forEachBlock(a, [&](const char *block, qsizetype n) {
            size += n;
            m_unpacked += n;
            // Stop decompressing at the first byte beyond the sealed size or the total cap.
            if (size > sealed.size)
                refuse(QStringLiteral("file larger than sealed: ") + relative);
            if (m_unpacked > m_limits.unpackedBytes)
                refuse(QStringLiteral("the archive unpacks to more than allowed"));
            hash.addData(QByteArrayView(block, n));
            writeAll(file.get(), block, n, relative);
        });
        if (size != sealed.size || hash.result() != sealed.sha256)
            refuse(QStringLiteral("file contents differ from the seal: ") + relative);
        if (::fchmod(file.get(), mode_t(sealed.mode)) != 0)
            refuse(QStringLiteral("cannot set the mode of ") + relative);
    }

    void takeSignatureFile(archive *a, const QString &relative, mode_t type)
    {
        const QString name = relative.section(QLatin1Char('/'), 1);
        const QByteArray *expected = nullptr;
        if (name == QLatin1String(CodeSeal::sealFile))
            expected = &m_files.seal;
        else if (name == QLatin1String(CodeSeal::signatureFile))
            expected = &m_files.signature;
        else if (name == QLatin1String(CodeSeal::countersignatureFile))
            expected = &m_files.countersignature;
        if (!expected || type != AE_IFREG)
            refuse(QStringLiteral("unexpected entry in the signature folder: ") + relative);
        const QByteArray data = readData(a, expected->size());
        if (data != *expected)
            refuse(QStringLiteral("signature file differs from the one verified: ") + relative);
        auto where = parentOf(relative);
        UniqueFd file = createFile(relative, where);
        writeAll(file.get(), data.constData(), data.size(), relative);
        if (::fchmod(file.get(), 0644) != 0)
            refuse(QStringLiteral("cannot set the mode of ") + relative);
    }

    const CodeSeal &m_seal;
    const NativeCodeSignature::SignatureFiles &m_files;
    int m_root;
    const NativeUpdateLimits &m_limits;
    QSet<QString> m_seen;
    QList<QString> m_folders;
    qint64 m_unpacked = 0;
};

// Entries beyond the sealed ones: the bundle folder, the signature folder and its three files.
constexpr qint64 unsealedEntries = 5;

} // namespace

NativeCodeSignature::SignatureFiles readSignatureFiles(const QByteArray &zip, const QString &bundleName, const NativeUpdateLimits &limits)
{
    Archive a = openZip(zip);
    const QString prefix = bundleName + QLatin1Char('/') + QLatin1String(CodeSeal::signatureFolder) + QLatin1Char('/');
    QHash<QString, QByteArray> found;
    qint64 count = 0;
    while (archive_entry *entry = nextEntry(a.get(), count, limits.entries + unsealedEntries)) {
        const QString path = entryPath(entry);
        if (!path.startsWith(prefix))
            continue;
        const QString name = path.mid(prefix.size());
        qint64 cap = 0;
        if (name == QLatin1String(CodeSeal::sealFile))
            cap = limits.sealBytes;
        else if (name == QLatin1String(CodeSeal::signatureFile) || name == QLatin1String(CodeSeal::countersignatureFile))
            cap = 64;
        else
            continue;
        if (archive_entry_is_encrypted(entry))
            refuse(QStringLiteral("encrypted entry: ") + path);
        if (archive_entry_filetype(entry) != AE_IFREG)
            refuse(QStringLiteral("unacceptable signature entry ") + path);
        if (found.contains(name))
            refuse(QStringLiteral("duplicate entry: ") + path);
        found.insert(name, readData(a.get(), cap));
    }
    if (found.size() != 3)
        refuse(QStringLiteral("the archive holds no signed bundle named ") + bundleName);
    return {found.value(QLatin1String(CodeSeal::sealFile)), found.value(QLatin1String(CodeSeal::signatureFile)),
            found.value(QLatin1String(CodeSeal::countersignatureFile))};
}

void extractSealedBundle(const QByteArray &zip, const QString &bundleName, const CodeSeal &seal,
                         const NativeCodeSignature::SignatureFiles &files, int folderFd, const NativeUpdateLimits &limits)
{
    const QByteArray rootName = QFile::encodeName(bundleName);
    if (::mkdirat(folderFd, rootName.constData(), 0700) != 0)
        refuse(QStringLiteral("cannot create the bundle folder: ") + detail::errnoText(errno));
    UniqueFd root = detail::openDirectoryAt(folderFd, rootName);
    if (!root)
        refuse(QStringLiteral("cannot open the bundle folder"));
    Archive a = openZip(zip);
    Extraction extraction(seal, files, root.get(), limits);
    qint64 count = 0;
    while (archive_entry *entry = nextEntry(a.get(), count, limits.entries + unsealedEntries))
        extraction.take(a.get(), entry, bundleName);
    extraction.finish();
}

} // namespace NativeAppUpdater::UpdateArchive
