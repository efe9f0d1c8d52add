#include "Kivaro/editor/HoldOverlay.h"

#include "Kivaro/document/AnnotationStyle.h"

namespace Kivaro {

HoldOverlay::HoldOverlay(QWidget *parent) : QWidget(parent), inkColor(AnnotationStyle::accent())
{
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::ClickFocus);
    setActive(true);
}

void HoldOverlay::setActive(bool active)
{
    m_active = active;
    setAttribute(Qt::WA_TransparentForMouseEvents, !active);
    if (active)
        setCursor(Qt::CrossCursor);
    else
        unsetCursor();
}

void HoldOverlay::cancel()
{
    m_holding = false;
    update();
    if (cancelled)
        cancelled();
}

} // namespace Kivaro
