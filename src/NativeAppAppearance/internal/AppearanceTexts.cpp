#include "NativeAppAppearance/internal/AppearanceTexts.h"

namespace NativeAppAppearance::AppearanceTexts {

namespace {
QString pick(NativeAppearanceLanguage::Value language, const char *english, const char *simplified, const char *traditional)
{
    switch (language) {
    case NativeAppearanceLanguage::simplifiedChinese: return QString::fromUtf8(simplified);
    case NativeAppearanceLanguage::traditionalChinese: return QString::fromUtf8(traditional);
    case NativeAppearanceLanguage::english: break;
    }
    return QString::fromUtf8(english);
}
} // namespace

QString pickerTitle(NativeAppearanceLanguage::Value language)
{
    return pick(language, "Icon & Accent Color", "图标与高亮色", "圖示與強調色");
}

QString pickerExplanation(NativeAppearanceLanguage::Value language)
{
    return pick(language, "Update the app icon and the color of buttons, switches, and selected states together.",
                "同步更改应用图标，以及按钮、开关和选中状态的颜色。", "同步更改 App 圖示，以及按鈕、開關和選取狀態的顏色。");
}

QString tileLabelSuffix(NativeAppearanceLanguage::Value language)
{
    return pick(language, " icon color", "图标颜色", "圖示顏色");
}

QString tileValue(NativeAppearanceLanguage::Value language, bool selected)
{
    return selected ? pick(language, "Selected", "已选择", "已選取") : pick(language, "Not selected", "未选择", "未選取");
}

QString saveFailed(NativeAppearanceLanguage::Value language)
{
    return pick(language, "The setting could not be saved.", "设置无法保存。", "設定無法儲存。");
}

} // namespace NativeAppAppearance::AppearanceTexts
