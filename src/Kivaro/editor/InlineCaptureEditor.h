#pragma once
// Annotating a fresh capture in place: a borderless window over the captured screen that
// borrows the editor's canvas host, dock, status line and voice panel and gives them back when
// it ends. The editor owns one for its whole life.
//
// The editor already calls it wherever in-place editing affects it: `refresh()` after a mode
// change or a layout, `dismiss()` before the editor's window comes back, and `window()` to know
// whether in-place editing is open. Presenting it belongs to the capture completion; until that
// is wired nothing opens it, so `window()` stays null and both calls do nothing.

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace Kivaro {

class InlineCaptureEditor final : public QObject {
    Q_OBJECT
public:
    explicit InlineCaptureEditor(QObject *parent = nullptr);

    // The inline window while in-place editing is open, else null.
    QWidget *window() const { return m_window; }
    bool isShown() const { return m_window != nullptr; }

    // Lays the borrowed views out again; nothing while not shown.
    void refresh();
    // Ends in-place editing and gives the views back; nothing while not shown.
    void dismiss();

private:
    QPointer<QWidget> m_window;
};

} // namespace Kivaro
