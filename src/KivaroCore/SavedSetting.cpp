#include "KivaroCore/SavedSetting.h"

#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"

namespace Kivaro {

void saveSetting(Platform::UserDefaults defaults, const QString &key, const QVariant &value)
{
    try {
        defaults.set(key, value);
    } catch (const Platform::DefaultsWriteError &error) {
        throw ShotError::message(kivaroFormat("设置无法保存：无法写入“%@”。", error.path()));
    }
}

} // namespace Kivaro
