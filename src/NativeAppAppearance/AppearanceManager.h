#pragma once
// The application's light and dark appearance.
//
// Three levels decide how a view draws, the nearest winning: a setting on the view or one of
// its ancestors (a window's appearance), the application's setting, and the system's
// preference. The system's preference is read from the desktop's settings portal where one
// answers ("color-scheme"), else from GTK_THEME's ":dark" suffix, else from the lightness of
// the platform palette. Nothing here touches QApplication's palette: windows that want stock Qt
// widgets to follow the appearance adopt the palette of their effective appearance.
//
// The same portal says whether the desktop animates ("enable-animations"); where it says no,
// `reducesMotion` is true and views leave out their decorative animation. Without an answer
// the desktop is taken to animate.
//
// When an effective appearance may have changed, `effectiveAppearanceChanged` is emitted and
// the views it may concern are scheduled for a repaint (every top-level widget after an
// application or system change; after a view's own setting, that view and what lies inside it),
// so views that resolve their colours while painting need no code of their own.
//
// This is the one process-wide object of the kit besides the shared menu: it stands for the
// appearance state the window system keeps for the whole application.

#include "NativeAppAppearance/Appearance.h"

#include <QObject>
#include <QPalette>
#include <QPointer>

#include <functional>
#include <optional>

class QWidget;

namespace NativeAppAppearance {

class SystemAppearancePortal;

class AppearanceManager final : public QObject {
    Q_OBJECT
public:
    static AppearanceManager &shared();

    // The application's setting; nothing means "follow the system".
    std::optional<Appearance> applicationAppearance() const { return m_application; }
    void setApplicationAppearance(std::optional<Appearance> appearance);

    // A view's or window's own setting (not inherited); nothing means "inherit".
    static std::optional<Appearance> appearance(const QWidget *widget);
    void setAppearance(QWidget *widget, std::optional<Appearance> appearance);

    Appearance systemAppearance() const;
    Appearance effectiveApplicationAppearance() const;
    // The nearest setting of `widget` or its ancestors, else the application's; a null widget
    // gets the application's.
    Appearance effectiveAppearance(const QWidget *widget) const;
    QColor color(DynamicColor role, const QWidget *widget) const { return resolve(role, effectiveAppearance(widget)); }

    // A palette for stock Qt widgets in an appearance.
    static QPalette palette(Appearance appearance);
    // Gives `window` the palette of its effective appearance now and after every change.
    void adoptPalette(QWidget *window);

    // Replaces how the system's preference is read (tests); a function returning nothing falls
    // through to the palette lightness. An empty function restores the desktop sources.
    void setSystemAppearanceSource(std::function<std::optional<Appearance>()> source);
    // Reads the system's preference again and announces a change when there is one.
    void refreshSystemAppearance();

    // Whether the desktop asks for reduced motion (animations switched off).
    bool reducesMotion() const { return m_reducesMotion; }
    // Replaces how the desktop's animation setting is read (tests): the function says whether
    // animations are on, nothing meaning unknown (animations on). An empty function restores
    // the portal.
    void setSystemAnimationSource(std::function<std::optional<bool>()> source);

Q_SIGNALS:
    void effectiveAppearanceChanged();
    void reducesMotionChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    AppearanceManager();
    std::optional<Appearance> readSystemAppearance() const;
    void refreshMotion();
    // `scope`: the view whose own setting changed; null for the application or the system.
    void announceChange(QWidget *scope);
    void applyPalette(QWidget *window) const;

    std::optional<Appearance> m_application;
    Appearance m_system = Appearance::light;
    std::function<std::optional<Appearance>()> m_source;
    bool m_reducesMotion = false;
    std::function<std::optional<bool>()> m_animationSource;
    SystemAppearancePortal *m_portal = nullptr;
    QList<QPointer<QWidget>> m_adopted;
};

} // namespace NativeAppAppearance
