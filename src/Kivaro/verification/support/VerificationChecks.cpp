#include "Kivaro/verification/support/VerificationChecks.h"

#include "KivaroCore/ShotError.h"

namespace Kivaro::VerificationSupport {

void failWith(const QString &message)
{
    throw ShotError::message(message);
}

void failWith(const char *message)
{
    throw ShotError::message(QString::fromUtf8(message));
}

void check(bool condition, const QString &message)
{
    if (!condition)
        failWith(message);
}

void check(bool condition, const char *message)
{
    if (!condition)
        failWith(message);
}

void check(bool condition, const char *prefix, const char *name)
{
    if (!condition)
        failWith(QString::fromUtf8(prefix) + QString::fromUtf8(name));
}

QString quoted(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == u'"' || c == u'\\')
            out += u'\\';
        if (c == u'\n')
            out += QStringLiteral("\\n");
        else if (c == u'\t')
            out += QStringLiteral("\\t");
        else if (c == u'\r')
            out += QStringLiteral("\\r");
        else if (c.unicode() < 0x20)
            out += QStringLiteral("\\u{%1}").arg(c.unicode(), 0, 16);
        else
            out += c;
    }
    return out + u'"';
}

QString arrayNotation(const QStringList &texts)
{
    QStringList items;
    for (const QString &text : texts)
        items.append(quoted(text));
    return u'[' + items.join(QStringLiteral(", ")) + u']';
}

} // namespace Kivaro::VerificationSupport
