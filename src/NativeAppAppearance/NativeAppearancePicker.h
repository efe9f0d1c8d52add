#pragma once
// The settings block in which the user chooses the accent palette: a heading, a one-line
// explanation and a grid of the six palettes in three columns (10 points apart), each a tile
// with the palette's icon, title and a check mark on the chosen one. A click chooses the palette
// through the NativeAppAppearance it shows, which stores it and swaps the application icon;
// every picker on one appearance object follows the choice, wherever it was made.
// All texts are in the language `language` names ("system" or a code). When a choice cannot
// be stored, the check mark stays where it was and the explanation line says that the setting
// could not be saved, until a choice is stored.

#include "NativeAppAppearance/NativeAccentPalette.h"

#include <QList>
#include <QPointer>
#include <QWidget>

namespace NativeAppAppearance {

class AppearanceTile;
class NativeAppAppearance;

class NativeAppearancePicker final : public QWidget {
    Q_OBJECT
public:
    NativeAppearancePicker(NativeAppAppearance *appearance, const QString &language, QWidget *parent = nullptr);

    QString title() const;
    QString explanation() const;
    const QList<AppearanceTile *> &tiles() const { return m_tiles; }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void choose(NativeAccentPalette palette);
    void refresh();
    void layoutTiles();
    qreal headingHeight(int width) const;

    QPointer<NativeAppAppearance> m_appearance;
    QString m_language;
    QList<AppearanceTile *> m_tiles;
    bool m_saveFailed = false;
};

} // namespace NativeAppAppearance
