#pragma once
// An invisible strip along one edge or corner of a frameless, resizable window: it shows the
// resize cursor and hands a press to the window system's resize request.

#include <QWidget>

namespace Kivaro {

class WindowResizeGrip final : public QWidget {
    Q_OBJECT
public:
    WindowResizeGrip(Qt::Edges edges, QWidget *window);

    Qt::Edges edges() const { return m_edges; }
    // Places the strip along its edge of the parent window.
    void place();
    static QRect stripRect(Qt::Edges edges, const QSize &window);
    static constexpr int thickness = 4;
    static constexpr int corner = 10;

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    Qt::Edges m_edges;
};

} // namespace Kivaro
