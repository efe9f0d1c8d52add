#pragma once
// Registers the two capture hot keys from their stored settings, the way launch and the
// settings window do.
//
// Each enabled binding is registered on its own: a refusal of the window hot key does not keep
// the region hot key from being registered (and the other way round). Every refusal is
// reported: the thrown ShotError carries one line per failed binding, window first. A binding
// reserves its Option variant unless that variant is the other mode's own enabled chord.

#include "Kivaro/shell/capture/GlobalShortcut.h"
#include "KivaroCore/CaptureShortcut.h"

namespace Kivaro::CaptureShortcutConfiguration {

// Throws ShotError "两种截图方式不能使用相同的快捷键。" before anything changes when both are
// enabled with equal bindings. Otherwise pauses both hot keys and registers each enabled one.
void configure(GlobalShortcut &windowShortcut, GlobalShortcut &regionShortcut, const CaptureShortcutPreferences &window,
               const CaptureShortcutPreferences &region);

// Whether `binding` should reserve its Option variant beside `other`.
bool reservesOptionVariant(const CaptureShortcutPreferences &binding, const CaptureShortcutPreferences &other);

} // namespace Kivaro::CaptureShortcutConfiguration
