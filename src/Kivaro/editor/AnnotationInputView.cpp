#include "Kivaro/editor/AnnotationInputView.h"

#include "NativeAppAppearance/AppearanceManager.h"

#include <QKeyEvent>

using namespace NativeAppAppearance;

namespace Kivaro {

AnnotationInputView::AnnotationInputView(const QString &text, QWidget *parent) : QPlainTextEdit(text, parent)
{
    QFont font = this->font();
    font.setPixelSize(14);
    setFont(font);
    setFrameShape(QFrame::NoFrame);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    setBackgroundVisible(false);
    setStyleSheet(QStringLiteral("QPlainTextEdit { background: transparent; }"));
    document()->setDocumentMargin(0);
    setViewportMargins(3, 5, 3, 5);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    applyAppearance();
    connect(&AppearanceManager::shared(), &AppearanceManager::effectiveAppearanceChanged, this, &AnnotationInputView::applyAppearance);
}

void AnnotationInputView::applyAppearance()
{
    const Appearance appearance = AppearanceManager::shared().effectiveAppearance(this);
    const QColor text = appearance == Appearance::dark ? QColor(Qt::white) : resolve(DynamicColor::label, appearance);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Base, Qt::transparent);
    setPalette(palette);
}

void AnnotationInputView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        if (const std::function<void()> call = cancel)
            call();
        return;
    }
    const bool isReturn = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (isReturn && (event->modifiers() & Qt::ControlModifier)) {
        if (const std::function<void()> call = commit)
            call();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

} // namespace Kivaro
