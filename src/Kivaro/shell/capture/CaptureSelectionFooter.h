#pragma once
// The dark pill near the bottom of each capture overlay: a hint caption and the exit button.
//
// Always drawn in the dark appearance. A click on the pill outside the button is taken here, so
// it neither reaches the overlay below nor starts a selection. The button's action (and its
// Escape key equivalent) calls `cancel`. Geometry: the overlay view sets the frame; the button
// sits 110 x 32 points at the right end, 8 points from the right and bottom edges.

#include "Kivaro/controls/KivaroButton.h"

#include <QWidget>

#include <functional>

namespace Kivaro {

class CaptureSelectionFooter final : public QWidget {
    Q_OBJECT
public:
    explicit CaptureSelectionFooter(QWidget *parent = nullptr);

    KivaroButton *cancelButton() const { return m_cancelButton; }
    std::function<void()> cancel;

    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);

    // The button's action.
    void exitCapture();

    static QFont captionFont();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void layoutButton();

    KivaroButton *m_cancelButton;
    QString m_caption;
};

} // namespace Kivaro
