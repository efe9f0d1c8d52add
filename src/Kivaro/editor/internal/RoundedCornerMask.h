#pragma once
// Rounds the corners of the view it covers: paints the colour behind that view (the window
// background) outside a rounded rectangle of its bounds, antialiased, and lets every click
// through. Qt widgets cannot clip their children to a rounded shape except with an aliased
// mask, so the canvas host gets its 10-point corners from this view laid over its children.

#include <QWidget>

namespace Kivaro::detail {

class RoundedCornerMask final : public QWidget {
    Q_OBJECT
public:
    explicit RoundedCornerMask(qreal radius, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    qreal m_radius;
};

} // namespace Kivaro::detail
