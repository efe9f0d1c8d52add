#include "Platform/Dialogs/internal/DialogWaits.h"

namespace Platform::detail {

DialogDisposer::~DialogDisposer()
{
    if (m_dialog) {
        m_dialog->hide();
        m_dialog->deleteLater();
    }
}

Task<int> openAndWait(QDialog *dialog, std::function<void()> shown)
{
    QPointer<QDialog> guard(dialog);
    dialog->open();
    QMetaObject::invokeMethod(
        dialog,
        [shown = std::move(shown)] {
            if (shown)
                shown();
        },
        Qt::QueuedConnection);
    // done() rather than close(): a message box without an escape button ignores a close.
    auto finished = Platform::signal(dialog, &QDialog::finished, [guard] {
        if (guard)
            guard->done(QDialog::Rejected);
    });
    co_return co_await finished;
}

} // namespace Platform::detail
