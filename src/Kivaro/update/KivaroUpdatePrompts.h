#pragma once
// The application's own update prompt window, installed as the updater's prompt presenter: the
// prompt's title, detail line, optional Markdown release notes in a scrolling area, and one or
// two buttons, in the application's window style. The answer goes back through the completion:
// true for the primary button (also Return), false for the secondary one, for closing the window
// and for a prompt replaced by a newer one.
//
// At most one prompt window exists. Every way out clears the fields (window, buttons, completion)
// before the completion runs, so a completion may present the next prompt at once; the window is
// closed and deleted later. The completion runs exactly once. Texts are shown as given.

#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/controls/KivaroWindow.h"
#include "NativeAppUpdater/NativeUpdatePrompt.h"

#include <QObject>
#include <QPointer>

#include <functional>

namespace Kivaro {

class KivaroUpdatePrompts final : public QObject {
    Q_OBJECT
public:
    static constexpr int width = 480;
    static constexpr int heightWithNotes = 400;
    static constexpr int heightWithoutNotes = 240;

    explicit KivaroUpdatePrompts(QObject *parent = nullptr);
    ~KivaroUpdatePrompts() override;

    // Answers a prompt still open with false and closes it, then shows this one.
    void present(const NativeAppUpdater::NativeUpdatePrompt &prompt, std::function<void(bool)> completion);

    // The button actions.
    void accept();
    void cancel();

    // The window now shown and its buttons; null when no prompt is open.
    KivaroWindow *window() const { return m_window; }
    KivaroButton *confirm() const { return m_confirm; }
    KivaroButton *later() const { return m_later; }
    bool hasPendingCompletion() const { return bool(m_completion); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void finish(bool accepted);

    QPointer<KivaroWindow> m_window;
    QPointer<KivaroButton> m_confirm;
    QPointer<KivaroButton> m_later;
    std::function<void(bool)> m_completion;
};

} // namespace Kivaro
