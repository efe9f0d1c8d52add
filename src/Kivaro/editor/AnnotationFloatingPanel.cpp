#include "Kivaro/editor/AnnotationFloatingPanel.h"

#include <QWidget>

namespace Kivaro {

AnnotationFloatingPanel::AnnotationFloatingPanel(QObject *parent)
    : QObject(parent), m_panel(std::make_unique<QWidget>(nullptr, Qt::Tool | Qt::FramelessWindowHint))
{
}

AnnotationFloatingPanel::~AnnotationFloatingPanel() = default;

bool AnnotationFloatingPanel::isVisible() const
{
    return m_panel->isVisible();
}

void AnnotationFloatingPanel::dismiss()
{
    m_panel->hide();
    if (m_input) {
        m_input->deleteLater();
        m_input = nullptr;
    }
}

void AnnotationFloatingPanel::follow()
{
    if (!isVisible() || !position)
        return;
    if (const std::optional<QPointF> at = position())
        m_panel->move(at->toPoint());
}

} // namespace Kivaro
