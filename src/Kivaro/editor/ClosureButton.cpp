#include "Kivaro/editor/ClosureButton.h"

namespace Kivaro {

ClosureButton::ClosureButton(const QString &symbol, const QString &title, std::function<void()> invoke_, QWidget *parent)
    : KivaroButton(parent), invoke(std::move(invoke_))
{
    setSymbol(symbol);
    setImagePosition(ImagePosition::imageOnly);
    setToolTip(title);
    setAccessibleName(title);
    setFixedSize(28, 28);
    connect(this, &KivaroButton::clicked, this, &ClosureButton::invokeAction);
}

void ClosureButton::invokeAction()
{
    // A copy: the callback may rebuild the panel and with it this button's callback.
    if (const std::function<void()> call = invoke)
        call();
}

} // namespace Kivaro
