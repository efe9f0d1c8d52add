#pragma once
// The colour-and-width row of the floating tool panel: three colours and three line widths.
// A choice reports the pair through `changed`; the editor makes it the colour and width of the
// next drawings and restyles the selected drawings with it (EditorDrawingActions.cpp).

#include <QColor>
#include <QList>
#include <QWidget>

#include <functional>

namespace NativeAppAppearance {
class NativePopupButton;
}

namespace Kivaro {

class DrawingStyleView final : public QWidget {
    Q_OBJECT
public:
    // Preselects the width row for `width` (at least 8: "8 px", at least 5: "5 px", else
    // "3 px") and the colour equal to `color` ("蓝色" when none is).
    DrawingStyleView(const QColor &color, qreal width, QWidget *parent = nullptr);

    NativeAppAppearance::NativePopupButton *color() const { return m_color; }
    NativeAppAppearance::NativePopupButton *width() const { return m_width; }
    std::function<void(const QColor &, qreal)> changed;

    // The three colours, in the order of the pop-up: the annotation accent, orange, pink.
    static const QList<QColor> &colors();
    static constexpr qreal widths[] = {3.0, 5.0, 8.0};

    // The pop-ups' action: reports the selected pair.
    void change();

private:
    NativeAppAppearance::NativePopupButton *m_color;
    NativeAppAppearance::NativePopupButton *m_width;
};

} // namespace Kivaro
