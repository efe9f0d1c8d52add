#pragma once
// The one-line description the shell shows for an error: a ShotError's text, a preference
// write failure as the setting that could not be saved, anything else as its what() text.

#include <QString>

#include <exception>

namespace Kivaro::Shell::detail {

QString errorDescription(std::exception_ptr error);

} // namespace Kivaro::Shell::detail
