#pragma once
// The key kept in a private file: the key's UTF-8 bytes in a 0600 file (written atomically,
// never through a symbolic link) inside a 0700 folder. The desktop's key store falls back to it
// where no Secret Service answers; a verification run keeps its key in one under the evidence
// folder. A file that is not private any more is made private again when it is read.

#include "TellumoRuntime/AIKeyStore.h"

namespace Tellumo {

class PrivateFileKeyStore final : public AIKeyStore {
public:
    // Larger files are not keys of ours.
    static constexpr qint64 maxFileBytes = 64 * 1024;

    explicit PrivateFileKeyStore(QString path);

    // "$XDG_DATA_HOME/kivaro/keys/app.tellumo.Tellumo.ai.openai-compatible-key", with
    // "~/.local/share" when XDG_DATA_HOME is unset or not absolute; resolved on every call.
    static QString defaultPath();

    const QString &path() const { return m_path; }

    Platform::Task<void> write(QString key) override;
    Platform::Task<std::optional<QString>> read() override;
    Platform::Task<void> remove() override;
    // Its own file, always.
    QString keyFile() const override { return m_path; }

    // The same operations without a task, for callers already inside one.
    void writeNow(const QString &key) const;
    std::optional<QString> readNow() const;
    void removeNow() const;

private:
    QString m_path;
};

} // namespace Tellumo
