#pragma once
// The file-system side of the recent-shots store, all synchronous: readying the folder,
// listing its entries and deleting one. Errors are ShotError for a folder that is a link or
// not a folder, FileError with the system's description for everything else.

#include "Kivaro/recent/RecentShot.h"

#include <QList>

namespace Kivaro::RecentFolder {

// Creates `folder` (and missing parents) with mode 0700, or makes an existing one 0700.
void prepare(const QString &folder);

// The entries of `folder`, newest first (equal dates by id). Only regular files, not links,
// named "<UUID>.kivaro" count. A folder that does not exist lists as empty. Listing also
// removes what interrupted work left: a "<UUID>.png" regular file without its project, and
// temporaries "<UUID>.kivaro.XXXXXX" / "<UUID>.png.XXXXXX" unchanged for over a minute.
QList<RecentShot> list(const QString &folder);

// Deletes the entry's project file, then its preview when one is there. A folder sitting at
// the preview's path is not ours to delete and stays.
void remove(const RecentShot &shot);

} // namespace Kivaro::RecentFolder
