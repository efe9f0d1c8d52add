#pragma once
// Qt reports a modifier key's own press and release as key events; the capture's views and
// monitors treat those as a change of the held modifiers (what the Option switch listens to),
// never as a key of their own.

#include <Qt>

namespace Kivaro::detail {

inline bool isModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
        return true;
    default:
        return false;
    }
}

} // namespace Kivaro::detail
