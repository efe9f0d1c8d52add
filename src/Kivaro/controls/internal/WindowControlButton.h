#pragma once
// One of the three round window-control buttons of the title bar. It is live (coloured, with
// its glyph, enabled) when its window allows its action: close always, minimise with the
// miniaturizable bit, zoom with the resizable bit; otherwise a faint grey disc that does nothing.

#include "Kivaro/controls/KivaroButton.h"

#include <QPointer>

namespace Kivaro {

class KivaroWindow;

class WindowControlButton final : public KivaroButton {
    Q_OBJECT
public:
    enum class Kind { close, miniaturize, zoom };

    WindowControlButton(Kind kind, NativeAppAppearance::DynamicColor color, KivaroWindow *window, QWidget *parent);

    Kind kind() const { return m_kind; }
    bool isLive() const;
    // The button's action on its window.
    void invoke();

    static void paint(QPainter &painter, Kind kind, const QColor &disc, bool live, bool pressed,
                      NativeAppAppearance::Appearance appearance);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Kind m_kind;
    NativeAppAppearance::DynamicColor m_color;
    QPointer<KivaroWindow> m_window;
};

} // namespace Kivaro
