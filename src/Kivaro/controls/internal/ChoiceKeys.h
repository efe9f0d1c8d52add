#pragma once
// Where a navigation key moves the single choice of a control among `count` items laid out
// along `orientations`: Left and Right step along a row, Up and Down along a column, Home and
// End go to the first and last item in both. From no choice (−1), a forward key chooses the
// first item and a backward one the last. Nothing for any other key, a key with a modifier
// (the keypad's aside) or no items; no wrapping past either end.

#include <Qt>

#include <optional>

class QKeyEvent;

namespace Kivaro::detail {

std::optional<int> steppedChoice(const QKeyEvent &key, int current, int count, Qt::Orientations orientations);

} // namespace Kivaro::detail
