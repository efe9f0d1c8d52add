#include "FuzzTargets.h"

#include "KivaroCore/RecognizedTextHistory.h"
#include "KivaroCore/RecognizedTextRecord.h"

#include <QDir>
#include <QFile>

namespace Kivaro::Fuzz {

namespace {

constexpr const char *kEntryId = "0F8FAD5B-D9CB-469F-A165-70867728950E";

} // namespace

// The bytes as an entry's file in a history folder beside one good entry: the history lists the
// good entry and, at most, a record the decoder accepts; an accepted record is written again
// the same way and reads back equal; appending to the folder stores the new entry.
int fuzzHistoryRecord(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<RecognizedTextRecord> decoded = RecognizedTextRecord::fromJson(bytes);
    if (decoded) {
        check(decoded->date.isValid() && decoded->date.timeSpec() == Qt::UTC, "a decoded date is a valid UTC time");
        const std::optional<RecognizedTextRecord> again = RecognizedTextRecord::fromJson(decoded->toJson());
        check(again.has_value() && *again == *decoded, "a decoded record is written and read back equal");
    }

    const QString folder = scratchFolder() + QStringLiteral("/history");
    QDir(folder).removeRecursively();
    check(QDir().mkpath(folder), "the history folder can be made");
    RecognizedTextHistory history(folder);
    const RecognizedTextRecord good{QStringLiteral("11111111-2222-4333-8444-555555555555"), QStringLiteral("保留 kept"), false,
                                    QDateTime::fromMSecsSinceEpoch(1'700'000'000'000, Qt::UTC)};
    QFile goodFile(folder + QLatin1Char('/') + good.id + QStringLiteral(".json"));
    check(goodFile.open(QIODevice::WriteOnly) && goodFile.write(good.toJson()) > 0, "the good entry can be written");
    goodFile.close();
    check(writeScratchFile(folder + QLatin1Char('/') + QLatin1String(kEntryId) + QStringLiteral(".json"), data, size), "the entry can be written");

    QList<RecognizedTextRecord> entries;
    try {
        entries = history.entries();
    } catch (const RecognizedTextHistoryError &) {
        check(false, "a folder of regular files lists without an error");
    }
    check(entries.contains(good), "the good entry is listed whatever lies beside it");
    const bool listed = entries.size() == 2;
    check(entries.size() == 1 || listed, "one file lists as at most one entry");
    if (listed) {
        const RecognizedTextRecord &other = entries[0] == good ? entries[1] : entries[0];
        check(decoded.has_value() && other == *decoded, "a listed entry is the record its file decodes to");
        check(other.id == QLatin1String(kEntryId) && !other.text.isEmpty(), "a listed entry carries its file's id and a text");
    }

    try {
        const RecognizedTextHistory::Appended appended = history.append(QStringLiteral("新的 new"), true, good.date.addSecs(-60));
        check(!appended.pruneFailure.has_value(), "pruning a small history succeeds");
        check(history.entries().contains(appended.record), "the appended entry is listed, even dated before the others");
    } catch (const RecognizedTextHistoryError &) {
        check(false, "appending to a writable history succeeds");
    }
    return 0;
}

} // namespace Kivaro::Fuzz
