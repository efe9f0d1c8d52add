#pragma once
// A pointer whose state the caller sets: the stand-in for the X server under Qt's offscreen
// platform. `shared()` is the one instance `PointerSource::forPlatform()` hands out there, so a
// test or a verification scenario can press and release "the" mouse for every poller at once.

#include "Platform/Pointer/PointerSource.h"

namespace Platform {

class InProcessPointerSource final : public PointerSource {
public:
    static std::shared_ptr<InProcessPointerSource> shared();

    Qt::MouseButtons pressedButtons() override { return m_buttons; }
    QPoint location() override { return m_location; }

    void setPressedButtons(Qt::MouseButtons buttons) { m_buttons = buttons; }
    void setLocation(QPoint location) { m_location = location; }

private:
    Qt::MouseButtons m_buttons = Qt::NoButton;
    QPoint m_location;
};

} // namespace Platform
