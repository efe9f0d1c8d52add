#pragma once
// One entry of the recognised-text history: the text the user copied through text recognition,
// whether AI polishing produced it, and when.
//
// Its file form is one compact JSON object with the keys in this order:
//   {"id":"<UUID>","text":"…","polished":false,"date":<seconds since 2001-01-01 00:00 UTC>}
// Readers match keys by name, need all four with these types and ignore others.

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace Kivaro {

struct RecognizedTextRecord {
    QString id;       // upper-case canonical UUID text; also the stem of its file name
    QString text;     // exactly as it was copied (not trimmed)
    bool polished = false;
    QDateTime date;   // UTC, millisecond precision

    bool operator==(const RecognizedTextRecord &other) const = default;

    QByteArray toJson() const;
    // Nothing when `json` is not such an object, or its date is not a finite time within
    // ±100,000 years (what QDateTime holds).
    static std::optional<RecognizedTextRecord> fromJson(const QByteArray &json);

    // Seconds since 2001-01-01 00:00:00 UTC, the file form's time.
    static double referenceSeconds(const QDateTime &date);
    static std::optional<QDateTime> fromReferenceSeconds(double seconds);
};

} // namespace Kivaro
