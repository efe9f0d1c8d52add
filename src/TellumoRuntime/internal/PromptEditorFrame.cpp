#include "TellumoRuntime/internal/PromptEditorFrame.h"

#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeDrawing.h"

#include <QPainter>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace Tellumo {

using namespace NativeAppAppearance;

PromptEditorFrame::PromptEditorFrame(QPlainTextEdit *editor, QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(inset, inset, inset, inset);
    layout->addWidget(editor);
    editor->setFrameShape(QFrame::NoFrame);
    editor->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    editor->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The frame's tint shows through: the editor's own base colour is clear.
    QPalette palette = editor->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    editor->setPalette(palette);
    setMinimumHeight(minimumHeight);
}

void PromptEditorFrame::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QColor label = AppearanceManager::shared().color(DynamicColor::label, this);
    NativeDrawing::fillRoundedRect(painter, QRectF(rect()), 8, withAlpha(label, 0.04));
}

} // namespace Tellumo
