#pragma once
// The appearance picker's own texts in the kit's three languages.

#include "NativeAppAppearance/NativeAppearanceLanguage.h"

#include <QString>

namespace NativeAppAppearance::AppearanceTexts {

QString pickerTitle(NativeAppearanceLanguage::Value language);
QString pickerExplanation(NativeAppearanceLanguage::Value language);
// Follows a palette's title in a tile's accessible name ("Ocean icon color", "海蓝图标颜色").
QString tileLabelSuffix(NativeAppearanceLanguage::Value language);
QString tileValue(NativeAppearanceLanguage::Value language, bool selected);
// Shown in place of the explanation after a choice could not be stored.
QString saveFailed(NativeAppearanceLanguage::Value language);

} // namespace NativeAppAppearance::AppearanceTexts
