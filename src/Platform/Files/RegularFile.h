#pragma once
// Reading a file that someone else may have put in our way, without blocking and within a
// bound: only a regular file is read. The file is opened without waiting (opening a FIFO would
// wait for a writer for ever, and a device such as /dev/zero reads without end), then looked
// at through its descriptor, so what is checked is what is read. Reading never maps the file
// (a file cut short while a mapping of it is read ends the process with SIGBUS): a file that
// shrinks meanwhile gives the bytes that were there, one that grows past the bound is too
// large.
//
// Errors are values; nothing throws. Safe to call from any thread.

#include <QByteArray>
#include <QString>

#include <optional>

namespace Platform {

// Whether a symbolic link at the path itself is followed; links among the folders above it
// always are.
enum class FollowLinks { No, Yes };

struct ReadFailure {
    enum class Kind {
        NotFound,       // nothing at the path, or a part of it is not a folder
        SymbolicLink,   // a link at the path, where links are not followed
        NotRegularFile, // a folder, FIFO, socket or device
        TooLarge,       // more bytes than the bound, when opened or while read
        IOError,        // anything else the system refused (permission, a read error, ...)
    };

    Kind kind = Kind::IOError;
    int systemError = 0; // errno where the system gave one, else 0

    // The system's text for systemError (in the user's locale), or a plain English sentence.
    QString description() const;
};

// A file's bytes, or why they could not be read.
struct FileBytes {
    QByteArray bytes;
    std::optional<ReadFailure> failure;

    bool ok() const { return !failure; }
};

// An open regular file, for a caller that needs its descriptor before or instead of reading it
// (to stream it, or to change its mode through the descriptor). Owns the descriptor.
class RegularFile final {
public:
    RegularFile(const QString &path, FollowLinks follow);
    ~RegularFile();
    RegularFile(const RegularFile &) = delete;
    RegularFile &operator=(const RegularFile &) = delete;

    // Why the file could not be opened; nothing when it is open.
    const std::optional<ReadFailure> &failure() const { return m_failure; }
    // -1 when the file could not be opened.
    int descriptor() const { return m_fd; }
    // The size and the permission bits (07777) when it was opened.
    qint64 size() const { return m_size; }
    uint permissions() const { return m_permissions; }

    // Reads from the current position to the end, at most `maxBytes` bytes (0 or more).
    FileBytes readAll(qint64 maxBytes);

private:
    int m_fd = -1;
    qint64 m_size = 0;
    uint m_permissions = 0;
    std::optional<ReadFailure> m_failure;
};

// The bytes of the regular file at `path`, at most `maxBytes` of them (0 or more).
FileBytes readRegularFile(const QString &path, qint64 maxBytes, FollowLinks follow);

} // namespace Platform
