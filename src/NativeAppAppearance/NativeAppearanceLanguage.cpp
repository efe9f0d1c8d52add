#include "NativeAppAppearance/NativeAppearanceLanguage.h"

#include "KivaroCore/Localization.h"

namespace NativeAppAppearance {

NativeAppearanceLanguage::Value NativeAppearanceLanguage::from(const QString &language)
{
    return from(language, language == QLatin1String("system") ? Kivaro::StringTable::preferredLanguages() : QStringList());
}

NativeAppearanceLanguage::Value NativeAppearanceLanguage::from(const QString &language, const QStringList &preferredLanguages)
{
    QString code = language;
    if (language == QLatin1String("system"))
        code = preferredLanguages.isEmpty() ? QStringLiteral("en") : preferredLanguages.constFirst();
    code = code.toLower().replace(QLatin1Char('_'), QLatin1Char('-'));
    if (!code.startsWith(QLatin1String("zh")))
        return english;
    for (const char *traditional : {"hant", "-tw", "-hk", "-mo"}) {
        if (code.contains(QLatin1String(traditional)))
            return traditionalChinese;
    }
    return simplifiedChinese;
}

} // namespace NativeAppAppearance
