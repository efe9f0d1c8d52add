#pragma once
// Return and Enter press a focused button as Space does (QAbstractButton knows only Space), so
// that the control the focus ring marks acts on the key a keyboard user reaches for first. The
// focused button also takes Return from a window shortcut on that key: the focused action wins
// over the window's default one.
//
// Installed once per button; the handler is a child of the button and goes with it. A press
// with a modifier held (the keypad's aside) or on a disabled button passes on untouched; an
// auto-repeated press is taken and does nothing.

class QAbstractButton;

namespace NativeAppAppearance::NativeButtonKeys {

void install(QAbstractButton *button);

} // namespace NativeAppAppearance::NativeButtonKeys
