#include "Kivaro/controls/KivaroToggle.h"

#include "Kivaro/controls/KivaroToggleStyle.h"
#include "KivaroCore/Localization.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeButtonKeys.h"
#include "NativeAppAppearance/NativeDrawing.h"

#include <QPainter>

#include <cmath>

using namespace NativeAppAppearance;

namespace Kivaro {

KivaroToggle::KivaroToggle(const QString &label, QWidget *parent) : QAbstractButton(parent)
{
    setText(label);
    setCheckable(true);
    setFocusPolicy(Qt::TabFocus);
    NativeButtonKeys::install(this);
    setAccessibleDescription(accessibilityValue());
    connect(this, &QAbstractButton::toggled, this, [this] { setAccessibleDescription(accessibilityValue()); });
}

QString KivaroToggle::accessibilityValue() const
{
    return isChecked() ? kivaroCopy("开") : kivaroCopy("关");
}

QSize KivaroToggle::sizeHint() const
{
    const QSizeF size = KivaroToggleStyle::sizeFor(text());
    return {int(std::ceil(size.width() + focusMargin)), int(std::ceil(size.height()))};
}

void KivaroToggle::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const Appearance appearance = AppearanceManager::shared().effectiveAppearance(this);
    KivaroToggleStyle::paint(painter, size(), text(), isChecked(), isEnabled(), appearance);
    if (hasFocus())
        NativeDrawing::strokeFocusRing(painter, rect(), KivaroToggleStyle::trackHeight / 2, appearance);
}

} // namespace Kivaro
