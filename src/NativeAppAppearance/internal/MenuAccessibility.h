#pragma once
// How the kit's menu controls read to assistive technologies: the pop-up button is a combo box
// that reports whether its menu is open (expanded) and opens it on the press action; the popover
// menu's list is a menu whose children are its rows; a row is a menu item, checked when it shows
// the check mark, selected when it is the pop-up's current choice, focused while highlighted.

namespace NativeAppAppearance {

// Installs the accessibility factory for these classes; later calls do nothing.
void installMenuAccessibility();

} // namespace NativeAppAppearance
