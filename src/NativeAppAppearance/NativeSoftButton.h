#pragma once
// A push button in the soft tinted look (NativeSoftButtonStyle) with the accent it is given.
// Tab reaches it and draws the focus ring over it; Space and Return press it (NativeButtonKeys).

#include "NativeAppAppearance/NativeSoftButtonStyle.h"

#include <QAbstractButton>

namespace NativeAppAppearance {

class NativeSoftButton final : public QAbstractButton {
    Q_OBJECT
public:
    explicit NativeSoftButton(const QString &title, const QColor &accent, QWidget *parent = nullptr);

    NativeSoftButtonStyle style() const { return m_style; }
    void setAccent(const QColor &accent);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    NativeSoftButtonStyle m_style;
};

} // namespace NativeAppAppearance
