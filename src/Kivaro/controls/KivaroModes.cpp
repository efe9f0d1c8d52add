#include "Kivaro/controls/KivaroModes.h"

#include "Kivaro/controls/internal/ChoiceKeys.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeDrawing.h"
#include "NativeAppAppearance/NativeFonts.h"
#include "NativeAppAppearance/NativeSymbols.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QToolTip>

#include <cmath>

using namespace NativeAppAppearance;

namespace Kivaro {

namespace {

QFont labelFont()
{
    return NativeFonts::system(12, QFont::Medium);
}

// One segment, as assistive technologies see it: a radio button inside the control's group.
class SegmentAccessible final : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    SegmentAccessible(KivaroModes *control, int index) : m_control(control), m_index(index) {}

    bool isValid() const override { return m_control && m_index < m_control->segmentCount(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_control ? m_control->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(m_control.data()); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text kind) const override
    {
        if (!isValid())
            return {};
        const QString description = m_control->imageDescription(m_index);
        switch (kind) {
        case QAccessible::Name: {
            const QString label = m_control->label(m_index).value_or(QString());
            return !label.isEmpty() ? label : !description.isEmpty() ? description : m_control->segmentToolTip(m_index);
        }
        case QAccessible::Description:
            return description;
        default:
            return {};
        }
    }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect local = m_control->segmentRect(m_index).toAlignedRect();
        return QRect(m_control->mapToGlobal(local.topLeft()), local.size());
    }
    QAccessible::Role role() const override { return QAccessible::RadioButton; }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        state.checkable = true;
        state.checked = m_control->selectedSegment() == m_index;
        state.disabled = !m_control->isEnabled();
        state.invisible = !m_control->isVisible();
        return state;
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this) : nullptr;
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString &name) override
    {
        if (name == pressAction() && isValid())
            m_control->clickSegment(m_index);
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    QPointer<KivaroModes> m_control;
    int m_index;
};

// The control: a group whose children are its segments, made when first asked for.
class ModesAccessible final : public QAccessibleWidget {
public:
    explicit ModesAccessible(KivaroModes *control) : QAccessibleWidget(control, QAccessible::Grouping) {}
    ~ModesAccessible() override
    {
        for (const QAccessible::Id id : std::as_const(m_segments))
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return control()->segmentCount(); }
    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        if (const auto known = m_segments.constFind(index); known != m_segments.constEnd())
            return QAccessible::accessibleInterface(*known);
        auto *segment = new SegmentAccessible(control(), index);
        m_segments.insert(index, QAccessible::registerAccessibleInterface(segment));
        return segment;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        for (auto it = m_segments.constBegin(); it != m_segments.constEnd(); ++it)
            if (QAccessible::accessibleInterface(it.value()) == child)
                return it.key() < childCount() ? it.key() : -1;
        return -1;
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        return child(control()->segmentAt(control()->mapFromGlobal(QPoint(x, y))));
    }

private:
    KivaroModes *control() const { return static_cast<KivaroModes *>(widget()); }

    mutable QHash<int, QAccessible::Id> m_segments;
};

QAccessibleInterface *modesAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String(KivaroModes::staticMetaObject.className()) && object && object->isWidgetType())
        return new ModesAccessible(static_cast<KivaroModes *>(object));
    return nullptr;
}

} // namespace

KivaroModes::KivaroModes(QWidget *parent) : QWidget(parent)
{
    static const bool accessible = (QAccessible::installFactory(modesAccessible), true);
    Q_UNUSED(accessible);
    // Like the buttons: clicking does not take the focus, Tab does.
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

KivaroModes::KivaroModes(const QStringList &labels, QWidget *parent) : KivaroModes(parent)
{
    for (const QString &label : labels)
        m_segments.append({label, {}, 0, {}, {}});
}

void KivaroModes::setSegmentCount(int count)
{
    m_segments.resize(qMax(0, count));
    if (m_selected >= m_segments.size())
        m_selected = -1;
    changed();
}

std::optional<QString> KivaroModes::label(int segment) const
{
    return valid(segment) ? std::optional<QString>(m_segments.at(segment).label) : std::nullopt;
}

void KivaroModes::setLabel(int segment, const QString &label)
{
    if (!valid(segment))
        return;
    m_segments[segment].label = label;
    changed();
}

QString KivaroModes::symbol(int segment) const
{
    return valid(segment) ? m_segments.at(segment).symbol : QString();
}

void KivaroModes::setSymbol(int segment, const QString &symbol)
{
    if (!valid(segment))
        return;
    m_segments[segment].symbol = symbol;
    changed();
}

qreal KivaroModes::width(int segment) const
{
    return valid(segment) ? m_segments.at(segment).width : 0;
}

void KivaroModes::setWidth(int segment, qreal width)
{
    if (!valid(segment))
        return;
    m_segments[segment].width = qMax<qreal>(0, width);
    changed();
}

QString KivaroModes::segmentToolTip(int segment) const
{
    return valid(segment) ? m_segments.at(segment).toolTip : QString();
}

void KivaroModes::setSegmentToolTip(int segment, const QString &toolTip)
{
    if (valid(segment))
        m_segments[segment].toolTip = toolTip;
}

QString KivaroModes::imageDescription(int segment) const
{
    return valid(segment) ? m_segments.at(segment).imageDescription : QString();
}

void KivaroModes::setImageDescription(int segment, const QString &description)
{
    if (valid(segment))
        m_segments[segment].imageDescription = description;
}

void KivaroModes::setSelectedSegment(int segment)
{
    const int chosen = valid(segment) ? segment : -1;
    if (chosen == m_selected)
        return;
    m_selected = chosen;
    update();
    if (chosen >= 0 && QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::Selection);
        event.setChild(chosen);
        QAccessible::updateAccessibility(&event);
    }
}

qreal KivaroModes::effectiveWidth(int segment) const
{
    if (!valid(segment))
        return 0;
    const Segment &s = m_segments.at(segment);
    if (s.width > 0)
        return s.width;
    return s.label.isEmpty() ? 34 : std::ceil(NativeDrawing::textWidth(s.label, labelFont())) + 44;
}

QRectF KivaroModes::segmentRect(int segment) const
{
    if (!valid(segment))
        return {};
    qreal x = 0;
    for (int i = 0; i < segment; ++i)
        x += effectiveWidth(i);
    return {x, 0, effectiveWidth(segment), qreal(height())};
}

int KivaroModes::segmentAt(const QPointF &point) const
{
    if (point.y() < 0 || point.y() >= height())
        return -1;
    qreal x = 0;
    for (int i = 0; i < m_segments.size(); ++i) {
        const qreal w = effectiveWidth(i);
        if (point.x() >= x && point.x() < x + w)
            return i;
        x += w;
    }
    return -1;
}

void KivaroModes::clickSegment(int segment)
{
    if (!isEnabled() || !valid(segment))
        return;
    setSelectedSegment(segment);
    Q_EMIT activated(segment);
}

QSize KivaroModes::sizeHint() const
{
    qreal total = 0;
    for (int i = 0; i < m_segments.size(); ++i)
        total += effectiveWidth(i);
    return {int(std::ceil(total)), 34};
}

KivaroModes::Look KivaroModes::look() const
{
    Look look;
    look.size = size();
    look.selected = m_selected;
    look.enabled = isEnabled();
    look.focused = hasFocus();
    for (int i = 0; i < m_segments.size(); ++i) {
        Segment s = m_segments.at(i);
        s.width = effectiveWidth(i);
        look.segments << s;
    }
    return look;
}

void KivaroModes::paint(QPainter &painter, const Look &look, Appearance appearance)
{
    const qreal h = look.size.height();
    qreal x = 0;
    for (int i = 0; i < look.segments.size(); ++i) {
        const Segment &segment = look.segments.at(i);
        const qreal w = segment.width;
        QColor content;
        if (i == look.selected) {
            NativeDrawing::fillRoundedRect(painter, QRectF(x + 2, 2, w - 4, h - 4), 8,
                                           withAlpha(resolve(DynamicColor::controlAccent, appearance), 0.13));
            content = resolve(look.enabled ? DynamicColor::controlAccent : DynamicColor::disabledControlText, appearance);
        } else {
            content = resolve(look.enabled ? DynamicColor::secondaryLabel : DynamicColor::disabledControlText, appearance);
        }
        if (!segment.symbol.isEmpty()) {
            const qreal imageX = segment.label.isEmpty() ? x + (w - 16) / 2 : x + 10;
            NativeSymbols::draw(painter, segment.symbol, QRectF(imageX, (h - 16) / 2, 16, 16), content);
        }
        if (!segment.label.isEmpty())
            NativeDrawing::drawText(painter, segment.label, QRectF(x + 32, (h - 17) / 2, w - 36, 18), labelFont(), content, Qt::AlignLeft,
                                    Qt::ElideRight);
        x += w;
    }
    if (look.focused) {
        qreal left = 0;
        for (int i = 0; i < look.selected && i < look.segments.size(); ++i)
            left += look.segments.at(i).width;
        const bool one = look.selected >= 0 && look.selected < look.segments.size();
        const QRectF ring = one ? QRectF(left, 0, look.segments.at(look.selected).width, h) : QRectF(QPointF(0, 0), look.size);
        // Around the selection's fill, which is inset 2 with radius 8.
        NativeDrawing::strokeFocusRing(painter, ring, 9, appearance);
    }
}

void KivaroModes::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paint(painter, look(), AppearanceManager::shared().effectiveAppearance(this));
}

void KivaroModes::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_pressed = segmentAt(event->position());
    event->accept();
}

void KivaroModes::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const int pressed = m_pressed;
    m_pressed = -1;
    if (pressed >= 0 && segmentAt(event->position()) == pressed)
        clickSegment(pressed);
    event->accept();
}

void KivaroModes::keyPressEvent(QKeyEvent *event)
{
    const std::optional<int> target = detail::steppedChoice(*event, m_selected, segmentCount(), Qt::Horizontal | Qt::Vertical);
    if (!target) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (*target != m_selected)
        clickSegment(*target);
}

bool KivaroModes::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QString tip = segmentToolTip(segmentAt(help->pos()));
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, this);
        return true;
    }
    return QWidget::event(event);
}

void KivaroModes::changed()
{
    updateGeometry();
    update();
}

} // namespace Kivaro
