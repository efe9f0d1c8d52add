#pragma once
// A 28 × 28 symbol button of the floating panel that runs a callback when clicked. The title
// is its tool tip and accessible name; only the symbol is drawn.

#include "Kivaro/controls/KivaroButton.h"

#include <functional>

namespace Kivaro {

class ClosureButton final : public KivaroButton {
    Q_OBJECT
public:
    ClosureButton(const QString &symbol, const QString &title, std::function<void()> invoke, QWidget *parent = nullptr);

    std::function<void()> invoke;
    void invokeAction();
};

} // namespace Kivaro
