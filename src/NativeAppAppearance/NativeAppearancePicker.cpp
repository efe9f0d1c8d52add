#include "NativeAppAppearance/NativeAppearancePicker.h"

#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeAppAppearance.h"
#include "NativeAppAppearance/NativeFonts.h"
#include "NativeAppAppearance/internal/AppearanceTexts.h"
#include "NativeAppAppearance/internal/AppearanceTile.h"
#include "Platform/Defaults/UserDefaults.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace NativeAppAppearance {

namespace {
constexpr int columns = 3;
constexpr int gap = 10;
constexpr int sectionSpacing = 14;
constexpr int headingSpacing = 4;

QRectF wrapped(const QFont &font, const QString &text, qreal width)
{
    return QFontMetricsF(font).boundingRect(QRectF(0, 0, qMax<qreal>(1, width), 10000), Qt::TextWordWrap, text);
}
} // namespace

NativeAppearancePicker::NativeAppearancePicker(NativeAppAppearance *appearance, const QString &language, QWidget *parent)
    : QWidget(parent), m_appearance(appearance), m_language(language)
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    for (const NativeAccentPalette &palette : NativeAccentPalette::allCases()) {
        auto *tile = new AppearanceTile(palette, this);
        connect(tile, &QAbstractButton::clicked, this, [this, palette] {
            if (m_appearance)
                choose(palette);
        });
        m_tiles << tile;
    }
    if (appearance)
        connect(appearance, &NativeAppAppearance::selectionChanged, this, &NativeAppearancePicker::refresh);
    refresh();
}

QString NativeAppearancePicker::title() const
{
    return AppearanceTexts::pickerTitle(NativeAppearanceLanguage::from(m_language));
}

QString NativeAppearancePicker::explanation() const
{
    const auto language = NativeAppearanceLanguage::from(m_language);
    return m_saveFailed ? AppearanceTexts::saveFailed(language) : AppearanceTexts::pickerExplanation(language);
}

void NativeAppearancePicker::choose(NativeAccentPalette palette)
{
    bool failed = false;
    try {
        m_appearance->select(palette);
    } catch (const Platform::DefaultsWriteError &) {
        failed = true;
    }
    if (failed == m_saveFailed)
        return;
    m_saveFailed = failed;
    updateGeometry();
    layoutTiles();
    update();
}

void NativeAppearancePicker::refresh()
{
    const auto language = NativeAppearanceLanguage::from(m_language);
    for (AppearanceTile *tile : std::as_const(m_tiles)) {
        const NativeAccentPalette palette = tile->palette();
        const bool selected = m_appearance && m_appearance->selection() == palette;
        const QString title = palette.title(m_language);
        tile->setState(title, m_appearance ? m_appearance->icon(palette) : QImage(), selected,
                       title + AppearanceTexts::tileLabelSuffix(language), AppearanceTexts::tileValue(language, selected));
    }
}

qreal NativeAppearancePicker::headingHeight(int width) const
{
    return std::ceil(wrapped(NativeFonts::system(13), title(), width).height()) + headingSpacing
        + std::ceil(wrapped(NativeFonts::system(11), explanation(), width).height());
}

int NativeAppearancePicker::heightForWidth(int width) const
{
    const int rows = int((m_tiles.size() + columns - 1) / columns);
    return int(headingHeight(width)) + sectionSpacing + rows * AppearanceTile::tileHeight + qMax(0, rows - 1) * gap;
}

QSize NativeAppearancePicker::sizeHint() const
{
    return {480, heightForWidth(480)};
}

void NativeAppearancePicker::layoutTiles()
{
    const qreal tileWidth = qMax<qreal>(10, (width() - (columns - 1) * gap) / qreal(columns));
    const int top = int(headingHeight(width())) + sectionSpacing;
    for (int i = 0; i < m_tiles.size(); ++i) {
        const int row = i / columns;
        const int column = i % columns;
        const int x = int(std::round(column * (tileWidth + gap)));
        const int nextX = int(std::round((column + 1) * (tileWidth + gap) - gap));
        m_tiles.at(i)->setGeometry(x, top + row * (AppearanceTile::tileHeight + gap), nextX - x, AppearanceTile::tileHeight);
    }
}

void NativeAppearancePicker::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutTiles();
}

void NativeAppearancePicker::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const Appearance appearance = AppearanceManager::shared().effectiveAppearance(this);
    const QFont titleFont = NativeFonts::system(13);
    const QFont explanationFont = NativeFonts::system(11);
    const QRectF titleRect = wrapped(titleFont, title(), width());
    painter.setFont(titleFont);
    painter.setPen(resolve(DynamicColor::label, appearance));
    painter.drawText(QRectF(0, 0, width(), titleRect.height()), Qt::TextWordWrap, title());
    painter.setFont(explanationFont);
    painter.setPen(resolve(DynamicColor::secondaryLabel, appearance));
    painter.drawText(QRectF(0, std::ceil(titleRect.height()) + headingSpacing, width(), 10000), Qt::TextWordWrap, explanation());
}

} // namespace NativeAppAppearance
