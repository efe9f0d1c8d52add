#pragma once
// A text drawn by the label itself in a dynamic colour (so it follows the window's appearance
// without a palette), wrapped at word boundaries and, for Chinese, between characters. With
// `maxLines` above 0 it shows at most that many lines, the last one elided at the end when the
// text is longer; with 0 it shows every line. Its height follows its width (heightForWidth)
// unless it holds a single line.

#include "NativeAppAppearance/NativeColor.h"

#include <QFont>
#include <QWidget>

namespace Kivaro {

class KivaroTextLabel final : public QWidget {
    Q_OBJECT
public:
    static constexpr int allLines = 0;

    KivaroTextLabel(const QString &text, const QFont &font, NativeAppAppearance::NativeColor color, int maxLines,
                    QWidget *parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString &text);
    NativeAppAppearance::NativeColor textColor() const { return m_color; }
    void setTextColor(NativeAppAppearance::NativeColor color);
    QFont font() const { return m_font; }
    int maxLines() const { return m_maxLines; }
    // The width a wrapping label asks for at most (its size hint), so that a layout gives it the
    // height of the lines it wraps into there; 0 asks for the text's natural width.
    void setWrapWidth(int width);

    // The lines as drawn in `width` points; with `maxLines` above 0 the last one is elided when
    // the text does not fit. A line feed in the text starts a new line.
    static QStringList layoutLines(const QString &text, const QFont &font, qreal width, int maxLines);
    static qreal lineHeight(const QFont &font);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return m_maxLines != 1; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_text;
    QFont m_font;
    NativeAppAppearance::NativeColor m_color;
    int m_maxLines;
    int m_wrapWidth = 0;
};

} // namespace Kivaro
