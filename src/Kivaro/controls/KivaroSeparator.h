#pragma once
// A hairline view: fills its bounds with the separator colour. Callers give it its size
// (a 1 × 20 divider, a full-width rule).

#include <QWidget>

namespace Kivaro {

class KivaroSeparator final : public QWidget {
    Q_OBJECT
public:
    explicit KivaroSeparator(QWidget *parent = nullptr);
    QSize sizeHint() const override { return {1, 1}; }

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace Kivaro
