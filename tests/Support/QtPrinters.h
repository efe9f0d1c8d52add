#pragma once
// Readable GoogleTest failure messages for common Qt values. Included into every test.

#include <QPointF>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <ostream>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList &list, std::ostream *out)
{
    *out << '{';
    for (qsizetype i = 0; i < list.size(); ++i)
        *out << (i ? ", \"" : "\"") << list[i].toStdString() << '"';
    *out << '}';
}
inline void PrintTo(const QPointF &p, std::ostream *out)
{
    *out << '(' << p.x() << ", " << p.y() << ')';
}
inline void PrintTo(const QRectF &r, std::ostream *out)
{
    *out << '(' << r.x() << ", " << r.y() << ", " << r.width() << " x " << r.height() << ')';
}
QT_END_NAMESPACE
