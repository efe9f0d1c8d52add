#include "Kivaro/editor/InlineCaptureEditor.h"

namespace Kivaro {

InlineCaptureEditor::InlineCaptureEditor(QObject *parent) : QObject(parent) {}

void InlineCaptureEditor::refresh()
{
    // Only a shown inline editor has borrowed views to lay out, and nothing presents one yet.
}

void InlineCaptureEditor::dismiss()
{
    if (!m_window)
        return;
    m_window->hide();
    m_window = nullptr;
}

} // namespace Kivaro
