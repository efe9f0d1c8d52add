#pragma once
// The error the Tellumo modules raise: a domain string ("Tellumo.AI", "Tellumo.Capture"), a
// code within it, and the message.
//
// The modules of TellumoCore look up no texts: a message is a key of the polishing side's string
// tables (its Simplified Chinese text, passed through tellumoKey so the table check finds it)
// with printf-style arguments ("%@"), turned into the user's language where it is shown
// (TellumoRuntime's tellumoErrorText). A failure that Qt or a library described keeps that
// description as `detail`, in the library's own words; it is shown after our message, never in
// its place.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

#include <exception>

namespace Tellumo {

// Marks a key that is kept first and looked up when it is shown; returns it unchanged.
inline QString tellumoKey(const char *key)
{
    return QString::fromUtf8(key);
}

class TellumoError final : public std::exception {
public:
    TellumoError(QString domain, int code, QString key, QList<QVariant> arguments = {}, QString detail = {});

    const QString &domain() const { return m_domain; }
    int code() const { return m_code; }
    const QString &key() const { return m_key; }
    const QList<QVariant> &arguments() const { return m_arguments; }
    // What Qt or a library said about the failure; empty for the modules' own refusals.
    const QString &detail() const { return m_detail; }
    // The message in the source language with the detail after it: for logs and tests, never
    // shown to the user (see tellumoErrorText).
    const QString &description() const { return m_description; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_domain;
    int m_code;
    QString m_key;
    QList<QVariant> m_arguments;
    QString m_detail;
    QString m_description;
    QByteArray m_utf8;
};

} // namespace Tellumo
