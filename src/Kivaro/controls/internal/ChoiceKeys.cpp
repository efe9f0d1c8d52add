#include "Kivaro/controls/internal/ChoiceKeys.h"

#include <QKeyEvent>

namespace Kivaro::detail {

std::optional<int> steppedChoice(const QKeyEvent &key, int current, int count, Qt::Orientations orientations)
{
    if (count <= 0 || (key.modifiers() & ~Qt::KeypadModifier))
        return std::nullopt;
    const int last = count - 1;
    const bool row = orientations.testFlag(Qt::Horizontal);
    const bool column = orientations.testFlag(Qt::Vertical);
    const int k = key.key();
    if ((row && k == Qt::Key_Left) || (column && k == Qt::Key_Up))
        return current < 0 ? last : qMax(0, current - 1);
    if ((row && k == Qt::Key_Right) || (column && k == Qt::Key_Down))
        return current < 0 ? 0 : qMin(last, current + 1);
    if (k == Qt::Key_Home)
        return 0;
    if (k == Qt::Key_End)
        return last;
    return std::nullopt;
}

} // namespace Kivaro::detail
