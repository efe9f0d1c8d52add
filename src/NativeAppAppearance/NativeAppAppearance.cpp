#include "NativeAppAppearance/NativeAppAppearance.h"

#include "NativeAppAppearance/NativeMenuStyle.h"

#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>

namespace NativeAppAppearance {

NativeAppAppearance::NativeAppAppearance(NativeAccentPalette defaultPalette, const QString &defaultsKey,
                                         const Platform::UserDefaults &defaults, IconBuilder iconBuilder, QObject *parent)
    : QObject(parent), m_selection(defaultPalette), m_defaultsKey(defaultsKey), m_defaults(defaults), m_iconBuilder(std::move(iconBuilder))
{
    NativeMenuStyle::install();
    m_selection = NativeAccentPalette::current(defaultPalette, m_defaultsKey, m_defaults);
}

QImage NativeAppAppearance::icon(NativeAccentPalette palette)
{
    const auto cached = m_icons.constFind(palette);
    if (cached != m_icons.constEnd())
        return *cached;
    const QImage built = m_iconBuilder ? m_iconBuilder(palette) : QImage();
    m_icons.insert(palette, built);
    return built;
}

void NativeAppAppearance::select(NativeAccentPalette palette)
{
    if (palette == m_selection)
        return;
    m_defaults.set(m_defaultsKey, palette.rawValue());
    Q_EMIT selectionWillChange();
    m_selection = palette;
    Q_EMIT selectionChanged(palette);
    applyApplicationIcon();
}

void NativeAppAppearance::applyApplicationIcon()
{
    const QImage image = icon(m_selection);
    if (!image.isNull() && qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        QGuiApplication::setWindowIcon(QIcon(QPixmap::fromImage(image)));
}

} // namespace NativeAppAppearance
