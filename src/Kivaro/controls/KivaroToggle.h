#pragma once
// A switch with its label (KivaroToggleStyle); the whole row is the button, so a click anywhere
// on it flips the switch. Its accessible value reads "On" or "Off" in the user's language. It is
// `focusMargin` points wider than its look, so that the focus ring around it clears the label.

#include <QAbstractButton>

namespace Kivaro {

class KivaroToggle final : public QAbstractButton {
    Q_OBJECT
public:
    explicit KivaroToggle(const QString &label, QWidget *parent = nullptr);

    static constexpr qreal focusMargin = 6;

    QString accessibilityValue() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool hitButton(const QPoint &position) const override { return rect().contains(position); }
};

} // namespace Kivaro
