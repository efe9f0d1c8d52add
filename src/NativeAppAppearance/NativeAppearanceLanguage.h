#pragma once
// The language of the kit's own texts (palette titles, the picker), chosen from a language
// string: "system" means the user's first preferred language ("en" when there is none). Codes
// are read case-insensitively, with Linux's underscores taken as hyphens ("zh_TW.UTF-8"): any
// code starting "zh" is Chinese, Traditional when it mentions "hant", "-tw", "-hk" or "-mo",
// Simplified otherwise; everything else is English.

#include <QString>
#include <QStringList>

namespace NativeAppAppearance {

class NativeAppearanceLanguage final {
public:
    enum Value { english, simplifiedChinese, traditionalChinese };

    static Value from(const QString &language);
    // With an explicit list of preferred languages, most preferred first.
    static Value from(const QString &language, const QStringList &preferredLanguages);

    NativeAppearanceLanguage() = delete;
};

} // namespace NativeAppAppearance
