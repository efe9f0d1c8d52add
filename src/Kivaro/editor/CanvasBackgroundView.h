#pragma once
// A plain backdrop in the window background colour of its effective appearance: the editor's
// root view, and the background of the capture permission panel and the update prompt window.
// It resolves the colour at every paint, so a change of appearance recolours it at once.

#include <QWidget>

namespace Kivaro {

class CanvasBackgroundView : public QWidget {
    Q_OBJECT
public:
    explicit CanvasBackgroundView(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace Kivaro
