#include "KivaroCore/RecognizedTextRecord.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <cmath>

namespace Kivaro {

namespace {

// 2001-01-01 00:00:00 UTC in milliseconds since 1970-01-01 00:00:00 UTC.
constexpr qint64 kReferenceMilliseconds = 978'307'200'000;
// About 100,000 years either way, well inside what QDateTime and a qint64 of milliseconds hold.
constexpr double kMaxSeconds = 3.1e12;

void appendJsonString(QByteArray &out, const QString &text)
{
    out += '"';
    for (const char c : text.toUtf8()) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                out += "\\u00";
                out += QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0');
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

} // namespace

double RecognizedTextRecord::referenceSeconds(const QDateTime &date)
{
    return double(date.toMSecsSinceEpoch() - kReferenceMilliseconds) / 1000.0;
}

std::optional<QDateTime> RecognizedTextRecord::fromReferenceSeconds(double seconds)
{
    if (!std::isfinite(seconds) || std::abs(seconds) > kMaxSeconds)
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(std::llround(seconds * 1000.0) + kReferenceMilliseconds, Qt::UTC);
}

QByteArray RecognizedTextRecord::toJson() const
{
    QByteArray out = "{\"id\":";
    appendJsonString(out, id);
    out += ",\"text\":";
    appendJsonString(out, text);
    out += ",\"polished\":";
    out += polished ? "true" : "false";
    out += ",\"date\":";
    out += QByteArray::number(referenceSeconds(date), 'g', QLocale::FloatingPointShortest);
    out += '}';
    return out;
}

std::optional<RecognizedTextRecord> RecognizedTextRecord::fromJson(const QByteArray &json)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue id = object.value(QLatin1String("id")), text = object.value(QLatin1String("text")),
                     polished = object.value(QLatin1String("polished")), date = object.value(QLatin1String("date"));
    if (!id.isString() || !text.isString() || !polished.isBool() || !date.isDouble())
        return std::nullopt;
    const std::optional<QDateTime> when = fromReferenceSeconds(date.toDouble());
    if (!when)
        return std::nullopt;
    return RecognizedTextRecord{id.toString(), text.toString(), polished.toBool(), *when};
}

} // namespace Kivaro
