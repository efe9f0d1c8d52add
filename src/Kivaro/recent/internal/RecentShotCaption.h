#pragma once
// Text of the recent-shots window. An entry caption reads its first line (the date) in the
// label colour and the lines after it smaller in the secondary colour; a hint is one line in
// the secondary colour. Lines that do not fit are elided at the end.

#include "NativeAppAppearance/Appearance.h"

#include <QWidget>

namespace Kivaro::detail {

class RecentShotCaption final : public QWidget {
    Q_OBJECT
public:
    enum class Style { entry, hint };

    RecentShotCaption(const QString &text, Style style, QWidget *parent = nullptr);

    const QString &text() const { return m_text; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    static void paint(QPainter &painter, const QRectF &bounds, const QString &text, Style style,
                      NativeAppAppearance::Appearance appearance);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_text;
    Style m_style;
};

} // namespace Kivaro::detail
