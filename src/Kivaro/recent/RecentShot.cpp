#include "Kivaro/recent/RecentShot.h"

namespace Kivaro {

RecentShot RecentShot::named(const QString &folder, const QString &id)
{
    const QString base = folder + QLatin1Char('/') + id;
    return {id, base + QStringLiteral(".kivaro"), base + QStringLiteral(".png"), {}};
}

} // namespace Kivaro
