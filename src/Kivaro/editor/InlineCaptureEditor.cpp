#include "Kivaro/editor/InlineCaptureEditor.h"

namespace Kivaro {

InlineCaptureEditor::InlineCaptureEditor(QObject *parent) : QObject(parent) {}

void InlineCaptureEditor::refresh()
{
    if (!m_window)
        return;
}

void InlineCaptureEditor::dismiss()
{
    if (!m_window)
        return;
    m_window->hide();
    m_window = nullptr;
}

} // namespace Kivaro
