#pragma once
// One palette of the appearance picker: the palette's icon, its title and a check mark on the
// chosen one, on a tinted rounded tile that takes a click anywhere.

#include "NativeAppAppearance/Appearance.h"
#include "NativeAppAppearance/NativeAccentPalette.h"

#include <QAbstractButton>
#include <QImage>

namespace NativeAppAppearance {

class AppearanceTile final : public QAbstractButton {
    Q_OBJECT
public:
    AppearanceTile(NativeAccentPalette palette, QWidget *parent);

    NativeAccentPalette palette() const { return m_palette; }
    void setState(const QString &title, const QImage &icon, bool selected, const QString &accessibleName, const QString &accessibleValue);
    bool isSelected() const { return m_selected; }

    static constexpr int tileHeight = 56;
    static void paint(QPainter &painter, const QSizeF &size, NativeAccentPalette palette, const QString &title, const QImage &icon,
                      bool selected, Appearance appearance);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    NativeAccentPalette m_palette;
    QString m_title;
    QImage m_icon;
    bool m_selected = false;
};

} // namespace NativeAppAppearance
