#pragma once
// The application's chosen accent palette, kept in the user's preferences, with an application
// icon per palette from a builder the application provides (for example a recoloured copy of
// its icon, NativeIconRecoloring). Icons are built at most once per palette and kept.
//
// Creating one installs the kit's menu styling (once per process). The selection starts from
// the stored raw value under `defaultsKey`, or the default palette; nothing is written at
// creation and the application icon is left alone until `applyApplicationIcon()` or a
// `select` of another palette. Selecting the current palette again changes nothing.
//
// Note for callers inside namespace NativeAppAppearance: this class has the namespace's name;
// qualify kit types there without the namespace prefix.

#include "NativeAppAppearance/NativeAccentPalette.h"
#include "Platform/Defaults/UserDefaults.h"

#include <QHash>
#include <QImage>
#include <QObject>

#include <functional>

namespace NativeAppAppearance {

class NativeAppAppearance final : public QObject {
    Q_OBJECT
public:
    using IconBuilder = std::function<QImage(NativeAccentPalette)>;

    NativeAppAppearance(NativeAccentPalette defaultPalette, const QString &defaultsKey, const Platform::UserDefaults &defaults,
                        IconBuilder iconBuilder, QObject *parent = nullptr);

    NativeAccentPalette selection() const { return m_selection; }
    QString defaultsKey() const { return m_defaultsKey; }
    QColor accent() const { return m_selection.color(); }
    QImage applicationIcon() { return icon(m_selection); }
    QImage icon(NativeAccentPalette palette);

    // Stores the palette, then publishes it and swaps the application icon. Throws
    // Platform::DefaultsWriteError when it cannot be stored; nothing changes then.
    void select(NativeAccentPalette palette);
    void applyApplicationIcon();

Q_SIGNALS:
    // Before the selection changes (still the old value), then after.
    void selectionWillChange();
    void selectionChanged(NativeAccentPalette palette);

private:
    NativeAccentPalette m_selection;
    QString m_defaultsKey;
    Platform::UserDefaults m_defaults;
    IconBuilder m_iconBuilder;
    QHash<NativeAccentPalette, QImage> m_icons;
};

} // namespace NativeAppAppearance
