#pragma once
// A one-point outline drawn over the edge of a frameless window, so that it stays apart from a
// window of the same colour behind it when the window system draws no frame or shadow.

#include <QWidget>

namespace Kivaro {

class WindowOutline final : public QWidget {
    Q_OBJECT
public:
    explicit WindowOutline(QWidget *window);

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace Kivaro
