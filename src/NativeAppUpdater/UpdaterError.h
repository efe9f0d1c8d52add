#pragma once
// The base of every error the updater reports to the user. Its description is looked up through
// `updaterCopy` when it is asked for, so it follows the updater's language at that moment; the
// detail is a technical line for logs and tests (never shown in the interface).

#include <QByteArray>
#include <QString>

#include <exception>

namespace NativeAppUpdater {

class UpdaterError : public std::exception {
public:
    virtual QString localizedDescription() const = 0;
    const QString &detail() const { return m_detail; }
    const char *what() const noexcept override { return m_what.constData(); }

protected:
    explicit UpdaterError(QString detail) : m_detail(std::move(detail)), m_what(m_detail.toUtf8()) {}

private:
    QString m_detail;
    QByteArray m_what;
};

// A file operation of the updater failed (creating, writing or moving staged files). The
// description names the cause in the user's language, from the system's error number when one
// is known (no space left, no permission, a missing file); the detail stays technical.
class UpdateFileError final : public UpdaterError {
public:
    explicit UpdateFileError(QString detail, int systemError = 0) : UpdaterError(std::move(detail)), m_systemError(systemError) {}
    int systemError() const { return m_systemError; }
    QString localizedDescription() const override;

private:
    int m_systemError;
};

} // namespace NativeAppUpdater
