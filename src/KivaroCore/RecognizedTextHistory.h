#pragma once
// The recognised-text history: the texts the user copied through text recognition, kept in one
// private folder (mode 0700; "OCR" under the recent-shots folder in the application), one JSON
// file per entry named "<id>.json" (mode 0600, written atomically). The newest 20 are kept.
//
// No cache: every call reads or writes the disk, synchronously, on the calling thread (the
// main thread in the application). Constructing the history touches no file; the folder is
// created by the first append.
//
// Reading is forgiving and bounded: only regular files (not links) named "<UUID>.json" (the
// extension in lower case) count, larger than 2,000,000 bytes are skipped before a byte is
// read, and a file that does not decode, whose inner id is not its name, or whose text is empty
// is skipped too. Such items are never reported and never deleted.
//
// Errors are RecognizedTextHistoryError: code 517 for a text that is empty once trimmed or
// longer than 1,000,000 UTF-8 bytes, 258 for a folder that is a symbolic link or not a folder,
// and fileSystem for what the file system refused (its description names the path and the
// reason).

#include "KivaroCore/RecognizedTextRecord.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <exception>
#include <functional>
#include <optional>

namespace Kivaro {

class RecognizedTextHistoryError final : public std::exception {
public:
    enum Code : int { fileSystem = 1, notAFolder = 258, invalidText = 517 };

    RecognizedTextHistoryError(Code code, QString description);

    Code code() const { return m_code; }
    // In the user's language for the first two codes; the system's words for file errors.
    const QString &description() const { return m_description; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    Code m_code;
    QString m_description;
    QByteArray m_utf8;
};

class RecognizedTextHistory final {
public:
    static constexpr int kMaxEntries = 20;
    static constexpr qint64 kMaxTextBytes = 1'000'000;
    static constexpr qint64 kMaxFileBytes = 2'000'000;
    // The history's folder under the recent-shots folder.
    static constexpr const char *kFolderName = "OCR";

    // Removes an entry's file when pruning: unlink(2) unless given. Returns 0 or an errno value.
    // Tests give one that fails.
    using RemoveFile = std::function<int(const QString &path)>;

    explicit RecognizedTextHistory(QString directory, RemoveFile removeFile = {});

    const QString &directory() const { return m_directory; }

    struct Appended {
        RecognizedTextRecord record;
        // Set when the record was stored but removing the entries beyond the newest 20 failed:
        // the entry exists, and the folder holds more than 20 until a later append prunes it.
        std::optional<RecognizedTextHistoryError> pruneFailure;
    };

    // Stores `text` (untrimmed) as a new entry with a fresh id, then removes the oldest entries
    // beyond 20; the new entry is never among them, whatever its date. Throws when nothing was
    // stored.
    [[nodiscard]] Appended append(const QString &text, bool polished, const QDateTime &date);

    // The valid entries, newest first; equal dates put the greater id first. A folder that does
    // not exist lists as empty.
    QList<RecognizedTextRecord> entries() const;

private:
    void prepareFolder() const;
    std::optional<RecognizedTextHistoryError> prune(const QString &keep) const;
    QString fileOf(const QString &id) const;

    QString m_directory;
    RemoveFile m_removeFile;
};

} // namespace Kivaro
