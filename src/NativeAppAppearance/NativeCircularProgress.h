#pragma once
// The indeterminate spinner (NativeCircularProgressStyle): a 12-point circle in a fixed square
// that holds its stroke, still until it is first shown, then turning while it is shown.

#include <QWidget>

class QVariantAnimation;

namespace NativeAppAppearance {

class NativeCircularProgress final : public QWidget {
    Q_OBJECT
public:
    explicit NativeCircularProgress(QWidget *parent = nullptr);

    bool isRotating() const;
    qreal rotation() const { return m_rotation; }
    QSize sizeHint() const override;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QVariantAnimation *m_animation = nullptr;
    qreal m_rotation = 0;
};

} // namespace NativeAppAppearance
