#pragma once
// The segmented mode switch: one selected segment among several, each with an optional symbol
// and label, drawn without frame, track or dividers. A click on an enabled control selects the
// segment under the pointer and emits `activated`, as the user's choice; `setSelectedSegment`
// selects silently.
//
// The keyboard reaches the control with Tab, as one stop; then Left and Up, Right and Down, Home
// and End choose the previous, next, first and last segment as a click would (no wrapping).
// While it has the focus, the focus ring surrounds the selected segment (the whole control when
// none is).
//
// A segment's width is what the caller set; a segment without a width (0) measures its label
// in the 12-point font + 44, or 34 without a label. `sizeHint` is the sum of the widths × 34.
//
// Assistive technologies see the control as a group of radio buttons, one per segment: named by
// its label (else its image's description, else its tool tip), described by its image's
// description, checked when selected, disabled with the control, pressed to choose it.

#include "NativeAppAppearance/Appearance.h"

#include <QList>
#include <QWidget>

#include <optional>

namespace Kivaro {

class KivaroModes final : public QWidget {
    Q_OBJECT
public:
    struct Segment {
        QString label;
        QString symbol;
        qreal width = 0;
        QString toolTip;
        // What the segment's image shows, for assistive technologies.
        QString imageDescription;
    };
    struct Look {
        QSizeF size;
        QList<Segment> segments; // widths resolved
        int selected = -1;
        bool enabled = true;
        bool focused = false;
    };

    explicit KivaroModes(QWidget *parent = nullptr);
    explicit KivaroModes(const QStringList &labels, QWidget *parent = nullptr);

    int segmentCount() const { return int(m_segments.size()); }
    void setSegmentCount(int count);
    // Nothing for an index outside the segments.
    std::optional<QString> label(int segment) const;
    void setLabel(int segment, const QString &label);
    QString symbol(int segment) const;
    void setSymbol(int segment, const QString &symbol);
    // The width the caller set (0: measured).
    qreal width(int segment) const;
    void setWidth(int segment, qreal width);
    QString segmentToolTip(int segment) const;
    void setSegmentToolTip(int segment, const QString &toolTip);
    QString imageDescription(int segment) const;
    void setImageDescription(int segment, const QString &description);

    int selectedSegment() const { return m_selected; }
    void setSelectedSegment(int segment);

    qreal effectiveWidth(int segment) const;
    QRectF segmentRect(int segment) const;
    // The segment under a point of the control, or −1.
    int segmentAt(const QPointF &point) const;
    // What a click on `segment` does: select it and emit `activated` (nothing when disabled).
    void clickSegment(int segment);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    Look look() const;
    static void paint(QPainter &painter, const Look &look, NativeAppAppearance::Appearance appearance);

Q_SIGNALS:
    void activated(int segment);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool event(QEvent *event) override;

private:
    bool valid(int segment) const { return segment >= 0 && segment < m_segments.size(); }
    void changed();

    QList<Segment> m_segments;
    int m_selected = -1;
    int m_pressed = -1;
};

} // namespace Kivaro
