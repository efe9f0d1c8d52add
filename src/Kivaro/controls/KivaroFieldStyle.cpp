#include "Kivaro/controls/KivaroFieldStyle.h"

#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeDrawing.h"
#include "NativeAppAppearance/NativeFonts.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>

using namespace NativeAppAppearance;

namespace Kivaro {

namespace {
// Paints the field's background just before the line edit paints its text over it: an event
// filter sees the paint event while the widget is being painted, so drawing on it is allowed.
class FieldBackground final : public QObject {
public:
    using QObject::QObject;
    static FieldBackground *instance()
    {
        static QPointer<FieldBackground> filter;
        if (!filter)
            filter = new FieldBackground(QCoreApplication::instance());
        return filter;
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            auto *field = static_cast<QWidget *>(watched);
            QPainter painter(field);
            KivaroFieldStyle::paintBackground(painter, field->size(), AppearanceManager::shared().effectiveAppearance(field));
        }
        return false;
    }
};
} // namespace

void KivaroFieldStyle::apply(QLineEdit *field)
{
    if (!field)
        return;
    field->setFrame(false);
    field->setFont(NativeFonts::system(13));
    // QLineEdit keeps two points of its own on each side.
    field->setTextMargins(horizontalPadding - 2, verticalPadding - 1, horizontalPadding - 2, verticalPadding - 1);
    field->setAttribute(Qt::WA_TranslucentBackground);
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    field->setPalette(palette);
    field->removeEventFilter(FieldBackground::instance());
    field->installEventFilter(FieldBackground::instance());
}

void KivaroFieldStyle::paintBackground(QPainter &painter, const QSizeF &size, Appearance appearance)
{
    const QRectF shape = QRectF(QPointF(0, 0), size).adjusted(0.5, 0.5, -0.5, -0.5);
    const QColor primary = resolve(DynamicColor::label, appearance);
    NativeDrawing::fillRoundedRect(painter, shape, 8, withAlpha(primary, 0.04));
    NativeDrawing::strokeRoundedRect(painter, shape, 8, withAlpha(primary, 0.16), 1);
}

} // namespace Kivaro
