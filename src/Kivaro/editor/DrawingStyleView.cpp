#include "Kivaro/editor/DrawingStyleView.h"

#include "Kivaro/document/AnnotationStyle.h"
#include "KivaroCore/Localization.h"
#include "NativeAppAppearance/NativePopupButton.h"

#include <QHBoxLayout>

using namespace NativeAppAppearance;

namespace Kivaro {

const QList<QColor> &DrawingStyleView::colors()
{
    // The accent, and the desktop's usual orange and pink (sRGB).
    static const QList<QColor> shared = {AnnotationStyle::accent().isValid() ? AnnotationStyle::accent() : QColor(Qt::blue),
                                         QColor::fromRgbF(1.0f, 0.584f, 0.0f), QColor::fromRgbF(1.0f, 0.176f, 0.333f)};
    return shared;
}

DrawingStyleView::DrawingStyleView(const QColor &color, qreal width, QWidget *parent)
    : QWidget(parent), m_color(new NativePopupButton), m_width(new NativePopupButton)
{
    m_color->addItem(kivaroCopy("蓝色"));
    m_color->addItem(kivaroCopy("橙色"));
    m_color->addItem(kivaroCopy("粉色"));
    m_width->addItems({QStringLiteral("3 px"), QStringLiteral("5 px"), QStringLiteral("8 px")});
    m_width->selectItemAt(width >= 8 ? 2 : width >= 5 ? 1 : 0);
    const qsizetype index = colors().indexOf(color);
    m_color->selectItemAt(index < 0 ? 0 : int(index));
    m_color->setAccessibleName(kivaroCopy("标注颜色"));
    m_width->setAccessibleName(kivaroCopy("线条粗细"));

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    for (NativePopupButton *popup : {m_color, m_width}) {
        popup->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        row->addWidget(popup, 1);
    }
    connect(m_color, &NativePopupButton::activated, this, &DrawingStyleView::change);
    connect(m_width, &NativePopupButton::activated, this, &DrawingStyleView::change);
}

void DrawingStyleView::change()
{
    if (!changed)
        return;
    const int colorIndex = std::clamp(m_color->indexOfSelectedItem(), 0, 2);
    const int widthIndex = std::clamp(m_width->indexOfSelectedItem(), 0, 2);
    changed(colors().at(colorIndex), widths[widthIndex]);
}

} // namespace Kivaro
