#include "FuzzTargets.h"

#include "KivaroCore/RecognizedTextHistory.h"
#include "KivaroCore/RecognizedTextRecord.h"

#include <QDir>

namespace Kivaro::Fuzz {

int fuzzTextHistoryRecord(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<RecognizedTextRecord> record = RecognizedTextRecord::fromJson(bytes);
    if (record) {
        const std::optional<RecognizedTextRecord> again = RecognizedTextRecord::fromJson(record->toJson());
        check(again.has_value(), "a decoded record encodes to a decodable one");
        check(again->id == record->id && again->polished == record->polished && again->date == record->date,
              "a record comes back with its id, flag and date");
        // Text that is not valid UTF-16 cannot pass through UTF-8 unchanged, in JSON or anywhere.
        if (QString::fromUtf8(record->text.toUtf8()) == record->text)
            check(again->text == record->text, "a record comes back with its text");
    }

    // The same bytes as an entry's file in a history folder.
    static const QString stem = QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF");
    const QString folder = scratchFolder() + QStringLiteral("/OCR");
    QDir().mkpath(folder);
    check(writeScratchFile(folder + QLatin1Char('/') + stem + QStringLiteral(".json"), data, size), "the entry file can be written");
    QList<RecognizedTextRecord> entries;
    try {
        entries = RecognizedTextHistory(folder).entries();
    } catch (const RecognizedTextHistoryError &) {
        check(false, "a folder with one file of any content lists without an error");
    }
    check(entries.size() <= 1, "one file is at most one entry");
    if (!entries.isEmpty()) {
        check(record.has_value() && entries.first() == *record, "the listed entry is the decoded record");
        check(entries.first().id == stem && !entries.first().text.isEmpty(), "a listed entry is named by its id and has text");
    }
    return 0;
}

} // namespace Kivaro::Fuzz
