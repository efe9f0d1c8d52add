#pragma once
// A wrapping text of the update prompt and settings block, drawn by itself in a dynamic colour
// (so it follows the window's appearance without a palette), wrapped at word boundaries and,
// for Chinese, between characters. Its height follows its width (heightForWidth).

#include "NativeAppAppearance/NativeColor.h"

#include <QFont>
#include <QWidget>

namespace Kivaro::detail {

class UpdateTextLabel final : public QWidget {
    Q_OBJECT
public:
    UpdateTextLabel(const QString &text, const QFont &font, NativeAppAppearance::NativeColor color, QWidget *parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString &text);
    QFont font() const { return m_font; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_text;
    QFont m_font;
    NativeAppAppearance::NativeColor m_color;
};

} // namespace Kivaro::detail
