#pragma once
// Writing one of the user's settings on behalf of an action of theirs.

#include "Platform/Defaults/UserDefaults.h"

#include <QString>
#include <QVariant>

namespace Kivaro {

// Stores `value` under `key`. When the preferences cannot be written, throws
// ShotError("设置无法保存：无法写入“<file>”。") and the preferences read as before.
void saveSetting(Platform::UserDefaults defaults, const QString &key, const QVariant &value);

} // namespace Kivaro
