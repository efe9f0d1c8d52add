#pragma once
// The small share button of list rows (recent shots, recognised text): titled "分享" with the
// share symbol before the title, the same text as tool tip and accessible name. Pressing it
// calls `invoke` with the button, which the caller uses as the share menu's anchor. It keeps
// its natural width and never stretches with its row.

#include "Kivaro/controls/KivaroButton.h"

#include <functional>

namespace Kivaro {

class ShareRowButton final : public KivaroButton {
    Q_OBJECT
public:
    using Invoke = std::function<void(ShareRowButton *)>;

    explicit ShareRowButton(Invoke invoke, QWidget *parent = nullptr);

    Invoke invoke;
};

} // namespace Kivaro
