#include "NativeAppAppearance/AppearanceManager.h"

#include "NativeAppAppearance/internal/SystemAppearancePortal.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace NativeAppAppearance {

namespace {
constexpr const char *appearanceProperty = "_nativeAppearance";
}

AppearanceManager &AppearanceManager::shared()
{
    // Owned by the application object, so it goes away with it and is rebuilt if a test
    // creates a new one.
    static QPointer<AppearanceManager> instance;
    if (!instance) {
        instance = new AppearanceManager();
        if (QCoreApplication::instance())
            instance->setParent(QCoreApplication::instance());
    }
    return *instance;
}

AppearanceManager::AppearanceManager()
{
    // Qt 6.4 announces a palette or theme change only as an event to the application object
    // (QGuiApplication::paletteChanged is deprecated, a colour-scheme signal came with 6.5), and
    // the kit does not own that object: a filter on it is the one way to hear of the change.
    if (QCoreApplication::instance())
        QCoreApplication::instance()->installEventFilter(this);
    m_portal = new SystemAppearancePortal(this);
    connect(m_portal, &SystemAppearancePortal::changed, this, &AppearanceManager::refreshSystemAppearance);
    connect(m_portal, &SystemAppearancePortal::changed, this, &AppearanceManager::refreshMotion);
    m_system = readSystemAppearance().value_or(Appearance::light);
}

void AppearanceManager::setApplicationAppearance(std::optional<Appearance> appearance)
{
    if (m_application == appearance)
        return;
    m_application = appearance;
    announceChange(nullptr);
}

std::optional<Appearance> AppearanceManager::appearance(const QWidget *widget)
{
    if (!widget)
        return std::nullopt;
    const QVariant value = widget->property(appearanceProperty);
    if (!value.isValid())
        return std::nullopt;
    return appearanceFromName(value.toString());
}

void AppearanceManager::setAppearance(QWidget *widget, std::optional<Appearance> appearance)
{
    if (!widget || AppearanceManager::appearance(widget) == appearance)
        return;
    widget->setProperty(appearanceProperty, appearance ? QVariant(appearanceName(*appearance)) : QVariant());
    announceChange(widget);
}

Appearance AppearanceManager::systemAppearance() const
{
    return m_system;
}

Appearance AppearanceManager::effectiveApplicationAppearance() const
{
    return m_application.value_or(m_system);
}

Appearance AppearanceManager::effectiveAppearance(const QWidget *widget) const
{
    for (const QWidget *w = widget; w; w = w->parentWidget()) {
        if (const auto own = appearance(w))
            return *own;
    }
    return effectiveApplicationAppearance();
}

QPalette AppearanceManager::palette(Appearance appearance)
{
    const auto c = [appearance](DynamicColor role) { return resolve(role, appearance); };
    QPalette p;
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool disabled = group == QPalette::Disabled;
        const QColor text = disabled ? c(DynamicColor::disabledControlText) : c(DynamicColor::label);
        p.setColor(group, QPalette::Window, c(DynamicColor::windowBackground));
        p.setColor(group, QPalette::WindowText, text);
        p.setColor(group, QPalette::Base, c(DynamicColor::controlBackground));
        p.setColor(group, QPalette::AlternateBase, c(DynamicColor::windowBackground));
        p.setColor(group, QPalette::Text, text);
        p.setColor(group, QPalette::Button, c(DynamicColor::windowBackground));
        p.setColor(group, QPalette::ButtonText, text);
        p.setColor(group, QPalette::PlaceholderText, c(DynamicColor::secondaryLabel));
        p.setColor(group, QPalette::Highlight, c(DynamicColor::controlAccent));
        p.setColor(group, QPalette::HighlightedText, Qt::white);
        p.setColor(group, QPalette::Link, c(DynamicColor::controlAccent));
        p.setColor(group, QPalette::ToolTipBase, c(DynamicColor::controlBackground));
        p.setColor(group, QPalette::ToolTipText, c(DynamicColor::label));
        p.setColor(group, QPalette::Mid, c(DynamicColor::separator));
    }
    return p;
}

void AppearanceManager::adoptPalette(QWidget *window)
{
    if (!window)
        return;
    m_adopted.removeAll(nullptr);
    if (!m_adopted.contains(window))
        m_adopted.append(window);
    applyPalette(window);
}

void AppearanceManager::applyPalette(QWidget *window) const
{
    window->setPalette(palette(effectiveAppearance(window)));
}

void AppearanceManager::setSystemAppearanceSource(std::function<std::optional<Appearance>()> source)
{
    m_source = std::move(source);
    refreshSystemAppearance();
}

void AppearanceManager::refreshSystemAppearance()
{
    const Appearance now = readSystemAppearance().value_or(Appearance::light);
    if (now == m_system)
        return;
    m_system = now;
    announceChange(nullptr);
}

void AppearanceManager::setSystemAnimationSource(std::function<std::optional<bool>()> source)
{
    m_animationSource = std::move(source);
    refreshMotion();
}

void AppearanceManager::refreshMotion()
{
    const std::optional<bool> animations = m_animationSource ? m_animationSource() : m_portal ? m_portal->animationsEnabled() : std::nullopt;
    const bool reduces = !animations.value_or(true);
    if (reduces == m_reducesMotion)
        return;
    m_reducesMotion = reduces;
    Q_EMIT reducesMotionChanged();
}

std::optional<Appearance> AppearanceManager::readSystemAppearance() const
{
    if (m_source) {
        if (const auto chosen = m_source())
            return chosen;
    } else {
        if (const auto portal = m_portal ? m_portal->preference() : std::nullopt)
            return portal;
        const QString gtkTheme = qEnvironmentVariable("GTK_THEME");
        if (gtkTheme.endsWith(QLatin1String(":dark"), Qt::CaseInsensitive))
            return Appearance::dark;
    }
    // Nothing here ever sets the application palette, so it is still the platform theme's.
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return std::nullopt;
    return QGuiApplication::palette().color(QPalette::Window).lightness() < 128 ? Appearance::dark : Appearance::light;
}

void AppearanceManager::announceChange(QWidget *scope)
{
    // A view's own setting reaches only the view and what lies inside it (child windows
    // included): other windows, full-screen overlays among them, are left alone.
    const auto inScope = [scope](const QWidget *widget) {
        if (!scope)
            return true;
        for (const QWidget *w = widget; w; w = w->parentWidget())
            if (w == scope)
                return true;
        return false;
    };
    m_adopted.removeAll(nullptr);
    for (const auto &window : std::as_const(m_adopted))
        if (inScope(window))
            applyPalette(window);
    Q_EMIT effectiveAppearanceChanged();
    if (scope)
        scope->update();
    if (qobject_cast<QApplication *>(QCoreApplication::instance())) {
        for (QWidget *top : QApplication::topLevelWidgets())
            if (inScope(top))
                top->update();
    }
}

bool AppearanceManager::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == QCoreApplication::instance()
        && (event->type() == QEvent::ApplicationPaletteChange || event->type() == QEvent::ThemeChange))
        refreshSystemAppearance();
    return QObject::eventFilter(watched, event);
}

} // namespace NativeAppAppearance
