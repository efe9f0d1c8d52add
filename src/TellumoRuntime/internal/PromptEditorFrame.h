#pragma once
// The prompt editor of the settings column: the editor inset by 8 points inside a rounded
// rectangle (radius 8) tinted with the label colour at 0.04, so the tint covers the inset. The
// editor itself draws no frame, background or scroll bars.

#include <QWidget>

class QPlainTextEdit;

namespace Tellumo {

class PromptEditorFrame final : public QWidget {
public:
    static constexpr int inset = 8;
    static constexpr int minimumHeight = 130;

    explicit PromptEditorFrame(QPlainTextEdit *editor, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace Tellumo
