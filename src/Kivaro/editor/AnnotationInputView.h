#pragma once
// The text field of the floating panel: plain text, Ctrl+Return commits (the menu modifier of
// the application's own windows), Esc cancels, Return alone starts a new line. Its text is
// white in the dark appearance and the label colour in the light one.

#include <QPlainTextEdit>

#include <functional>

namespace Kivaro {

class AnnotationInputView final : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit AnnotationInputView(const QString &text, QWidget *parent = nullptr);

    std::function<void()> commit;
    std::function<void()> cancel;

    // Picks the text colour for the effective appearance.
    void applyAppearance();

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

} // namespace Kivaro
