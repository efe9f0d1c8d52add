#pragma once
// The floating panel's window: frameless, a tool window of its host, transparent around its
// rounded surface. A close request only calls `closeRequest`; the window itself stays.

#include <QWidget>

#include <functional>

namespace Kivaro {

class AnnotationPanelWindow final : public QWidget {
    Q_OBJECT
public:
    AnnotationPanelWindow();

    std::function<void()> closeRequest;

protected:
    void closeEvent(QCloseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};

} // namespace Kivaro
