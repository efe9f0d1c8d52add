#pragma once
// The pointer as the X server reports it (QueryPointer on Qt's own connection, one round trip
// per call): the button mask and the root position. Needs the xcb platform; without it every
// answer is "no button" at the origin.

#include "Platform/Pointer/PointerSource.h"

namespace Platform {

class X11PointerSource final : public PointerSource {
public:
    Qt::MouseButtons pressedButtons() override;
    QPoint location() override;
};

} // namespace Platform
