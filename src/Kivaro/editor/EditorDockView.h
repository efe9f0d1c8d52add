#pragma once
// The rounded container of the editor's bottom controls (and of the inline editor's). Only a
// surface: the editor lays its controls out inside it.

#include "Kivaro/controls/KivaroSurface.h"

namespace Kivaro {

class EditorDockView final : public KivaroSurface {
    Q_OBJECT
public:
    using KivaroSurface::KivaroSurface;
};

} // namespace Kivaro
