#pragma once
// A private folder that says whether its owner still runs: the owner holds an exclusive lock
// (flock) on a hidden lock file inside it for as long as its OwnedFolder lives, and the system
// drops the lock when the owning process ends, however it ends. Another process (another
// instance of the application, on another display) asks `isInUse` before it removes a folder it
// takes for a leftover.
//
// The folder appears under its name only with the lock already held: it is made under a
// staging name, locked, then renamed into place, so a sweep never sees a folder of a live owner
// unlocked.

#include <QString>

#include <memory>

namespace Platform {

class OwnedFolder final {
public:
    // Makes `path` (0700, and missing folders above it too) and holds it. Null with `error` set
    // when the folder cannot be made, or something (a link, a file, a folder) is already there.
    static std::unique_ptr<OwnedFolder> create(const QString &path, QString *error = nullptr);
    // Whether a running process holds the folder at `path`. A folder without a lock file, or
    // whose lock nobody holds, is not in use.
    static bool isInUse(const QString &path);

    // Releases the lock; the folder stays.
    ~OwnedFolder();
    OwnedFolder(const OwnedFolder &) = delete;
    OwnedFolder &operator=(const OwnedFolder &) = delete;

    QString path() const { return m_path; }

private:
    OwnedFolder(QString path, int lock) : m_path(std::move(path)), m_lock(lock) {}
    QString m_path;
    int m_lock;
};

} // namespace Platform
