#pragma once
// A row of the application's tables and lists: the window background with a hairline at its
// bottom (inset 16 points at each end), and when selected an accent-tinted rounded highlight,
// ringed by the focus ring while its list has the keyboard's focus.
// Rows host their cells as child widgets; item delegates can draw the same with the statics.

#include "NativeAppAppearance/Appearance.h"

#include <QWidget>

namespace Kivaro {

class KivaroTableRow final : public QWidget {
    Q_OBJECT
public:
    explicit KivaroTableRow(QWidget *parent = nullptr);

    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);
    // Drawn only while the row is selected as well.
    void setFocusRingShown(bool shown);

    static void drawBackground(QPainter &painter, const QRectF &bounds, NativeAppAppearance::Appearance appearance);
    static void drawSelection(QPainter &painter, const QRectF &bounds, NativeAppAppearance::Appearance appearance);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_selected = false;
    bool m_focusRing = false;
};

} // namespace Kivaro
