#include "Kivaro/sharing/ShareRowButton.h"

#include "KivaroCore/Localization.h"

namespace Kivaro {

ShareRowButton::ShareRowButton(Invoke action, QWidget *parent) : KivaroButton(parent), invoke(std::move(action))
{
    const QString title = kivaroCopy("分享");
    setText(title);
    setToolTip(title);
    setAccessibleName(title);
    setAccessibleDescription(title);
    setSymbol(QStringLiteral("square.and.arrow.up"));
    setImagePosition(ImagePosition::leading);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(this, &QAbstractButton::clicked, this, [this] {
        // A copy: the action may replace `invoke` or delete the row that holds this button.
        const Invoke action = invoke;
        if (action)
            action(this);
    });
}

} // namespace Kivaro
