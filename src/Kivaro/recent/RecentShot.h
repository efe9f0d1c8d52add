#pragma once
// One entry of the recent-shots store: a project file named by a UUID text and, beside it, a
// PNG preview of the same name (which need not exist). Paths are absolute file paths.

#include <QDateTime>
#include <QString>

namespace Kivaro {

struct RecentShot {
    QString id;         // the file name without extension, a UUID text
    QString projectURL; // id + ".kivaro" in the store's folder
    QString previewURL; // id + ".png" in the store's folder
    QDateTime date;     // the project file's modification time; an invalid QDateTime when unknown

    // An entry of `folder` named by `id`; the date is left for the caller.
    static RecentShot named(const QString &folder, const QString &id);

    friend bool operator==(const RecentShot &, const RecentShot &) = default;
};

} // namespace Kivaro
