#pragma once
// The error the Tellumo modules raise: a domain string ("Tellumo.AI", "Tellumo.Capture"), a
// code within it, and the message, which is the error's description as it stands (these
// messages do not go through the application's string lookup).

#include <QByteArray>
#include <QString>

#include <exception>

namespace Tellumo {

class TellumoError final : public std::exception {
public:
    TellumoError(QString domain, int code, QString description)
        : m_domain(std::move(domain)), m_code(code), m_description(std::move(description)), m_utf8(m_description.toUtf8())
    {
    }

    const QString &domain() const { return m_domain; }
    int code() const { return m_code; }
    const QString &description() const { return m_description; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_domain;
    int m_code;
    QString m_description;
    QByteArray m_utf8;
};

} // namespace Tellumo
