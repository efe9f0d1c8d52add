#pragma once
// The application's one user-facing error. Its text has already gone through the string
// lookup; the editor shows it as it stands. Errors of the platform (file access, decoding)
// are other exception types and pass through unchanged.

#include <QString>

#include <exception>

namespace Kivaro {

class ShotError final : public std::exception {
public:
    // The single case: a message already looked up with kivaroCopy or kivaroFormat.
    static ShotError message(QString text) { return ShotError(std::move(text)); }

    const QString &text() const { return m_text; }
    // The error's description is its text.
    QString description() const { return m_text; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    explicit ShotError(QString text) : m_text(std::move(text)), m_utf8(m_text.toUtf8()) {}
    QString m_text;
    QByteArray m_utf8;
};

} // namespace Kivaro
