#include "Kivaro/shell/capture/CaptureShortcutConfiguration.h"

#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"

#include <QStringList>

namespace Kivaro::CaptureShortcutConfiguration {

bool reservesOptionVariant(const CaptureShortcutPreferences &binding, const CaptureShortcutPreferences &other)
{
    return !(other.enabled && other.binding.keyCode == binding.binding.keyCode
             && other.binding.modifiers == (binding.binding.modifiers | HotKeyMask::option));
}

void configure(GlobalShortcut &windowShortcut, GlobalShortcut &regionShortcut, const CaptureShortcutPreferences &window,
               const CaptureShortcutPreferences &region)
{
    if (window.enabled && region.enabled && window.binding == region.binding)
        throw ShotError::message(kivaroCopy("两种截图方式不能使用相同的快捷键。"));
    windowShortcut.pause();
    regionShortcut.pause();

    QStringList failures;
    const auto registerOne = [&failures](GlobalShortcut &shortcut, const CaptureShortcutPreferences &preferences,
                                         const CaptureShortcutPreferences &other) {
        if (!preferences.enabled)
            return;
        try {
            shortcut.registerBinding(preferences.binding, reservesOptionVariant(preferences, other));
        } catch (const ShotError &error) {
            failures.append(error.text());
        }
    };
    registerOne(windowShortcut, window, region);
    registerOne(regionShortcut, region, window);
    if (!failures.isEmpty())
        throw ShotError::message(failures.join(QLatin1Char('\n')));
}

} // namespace Kivaro::CaptureShortcutConfiguration
