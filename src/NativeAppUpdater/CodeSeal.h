#pragma once
// The seal of a bundle: a canonical, sorted list of every folder, regular file and symbolic link
// of the bundle (its "_CodeSignature" folder aside) with mode, size and SHA-256, headed by the
// identifier, team, version, build and executable it was sealed for. Signatures are made over
// its exact bytes, so the text form is canonical: parsing refuses anything `serialize` would not
// write back byte for byte.
//
//   KivaroSeal 1
//   identifier app.kivaro.Kivaro
//   team KVR8Q2T5LM
//   version 1.4
//   build 42
//   executable bin/kivaro
//   entries 3
//   d 755 - - bin
//   f 755 18432 <64 hex digits> bin/kivaro
//   l - - libfoo.so.1 lib/libfoo.so
//
// Texts and paths are percent-encoded UTF-8 (RFC 3986 unreserved characters and "/+@,=" stay).
// Paths are relative, without "." or ".." components; entries are in byte order of their paths.
// A parsed seal also holds these rules: every entry's parent is a sealed folder (never a link);
// folders are at least 0700 and files at least 0400, and nothing is group- or world-writable or
// carries set-id or sticky bits; a link's target is relative, resolves inside the bundle without
// passing through a link, and names a sealed file or folder; "Info.plist" and the executable are
// sealed regular files, the executable with its owner's execute bit. Counts, depth and sizes are
// bounded by the limits given.

#include "NativeAppUpdater/NativeUpdateConfiguration.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <stdexcept>

namespace NativeAppUpdater {

class SealError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct SealHeader {
    QString identifier;
    QString team;
    QString version;
    qint64 build = 0;
    QString executable;
    bool operator==(const SealHeader &) const = default;
};

struct SealEntry {
    enum class Type { directory, file, link };
    QString path;
    Type type = Type::file;
    int mode = 0;        // permission bits of folders and files; 0 for links
    qint64 size = 0;     // files
    QByteArray sha256;   // files: 32 raw bytes
    QString target;      // links
    bool operator==(const SealEntry &) const = default;
};

class CodeSeal final {
public:
    static constexpr const char *signatureFolder = "_CodeSignature";
    static constexpr const char *sealFile = "CodeResources";
    static constexpr const char *signatureFile = "CodeSignature";
    static constexpr const char *countersignatureFile = "CodeCountersignature";

    CodeSeal() = default;
    // Checks the rules above; throws SealError.
    CodeSeal(SealHeader header, QList<SealEntry> entries, const NativeUpdateLimits &limits = {});

    // Throws SealError.
    static CodeSeal parse(const QByteArray &bytes, const NativeUpdateLimits &limits = {});
    // Seals the bundle folder at `path` as it is on disk (the release tool). Throws SealError
    // for anything the rules refuse (a device file, a link leaving the bundle, a writable file).
    static CodeSeal ofFolder(const QString &path, const SealHeader &header, const NativeUpdateLimits &limits = {});

    QByteArray serialize() const;
    const SealHeader &header() const { return m_header; }
    const QList<SealEntry> &entries() const { return m_entries; }
    const SealEntry *find(const QString &path) const;
    qint64 totalFileBytes() const { return m_totalBytes; }

private:
    void check(const NativeUpdateLimits &limits);

    SealHeader m_header;
    QList<SealEntry> m_entries;
    QHash<QString, qsizetype> m_index;
    qint64 m_totalBytes = 0;
};

} // namespace NativeAppUpdater
