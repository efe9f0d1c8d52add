#include "Kivaro/controls/KivaroTabStyle.h"

#include "NativeAppAppearance/NativeDrawing.h"
#include "NativeAppAppearance/NativeFonts.h"
#include "NativeAppAppearance/NativeSymbols.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

using namespace NativeAppAppearance;

namespace Kivaro {

namespace {
QFont labelFont()
{
    return NativeFonts::system(13, QFont::Medium);
}
constexpr qreal symbolSide = 14;
constexpr qreal symbolGap = 6;
} // namespace

QSizeF KivaroTabStyle::sizeFor(const QString &label, bool hasSymbol) const
{
    const QFontMetricsF metrics(labelFont());
    const qreal content = std::ceil(metrics.horizontalAdvance(label)) + (hasSymbol ? symbolSide + symbolGap : 0);
    return {content + 28, std::ceil(qMax(metrics.height(), symbolSide)) + 18};
}

void KivaroTabStyle::paint(QPainter &painter, const QSizeF &size, const QString &label, const QString &symbol, bool pressed,
                           Appearance appearance) const
{
    const QColor accent = resolve(DynamicColor::controlAccent, appearance);
    const QRectF shape = QRectF(QPointF(0, 0), size).adjusted(0.5, 0.5, -0.5, -0.5);
    const double fill = selected ? 0.13 : pressed ? 0.08 : 0.0;
    NativeDrawing::fillRoundedRect(painter, shape, 9, withAlpha(accent, fill));
    if (selected)
        NativeDrawing::strokeRoundedRect(painter, shape, 9, withAlpha(accent, 0.25), 1);

    const QColor content = selected ? accent : resolve(DynamicColor::secondaryLabel, appearance);
    const bool hasSymbol = NativeSymbols::exists(symbol);
    const qreal textWidth = std::ceil(NativeDrawing::textWidth(label, labelFont()));
    const qreal contentWidth = textWidth + (hasSymbol ? symbolSide + symbolGap : 0);
    qreal x = (size.width() - contentWidth) / 2;
    if (hasSymbol) {
        NativeSymbols::draw(painter, symbol, QRectF(x, (size.height() - symbolSide) / 2, symbolSide, symbolSide), content);
        x += symbolSide + symbolGap;
    }
    NativeDrawing::drawText(painter, label, QRectF(x, 0, size.width() - x - 14 + 1, size.height()), labelFont(), content,
                            Qt::AlignLeft, Qt::ElideRight);
}

} // namespace Kivaro
