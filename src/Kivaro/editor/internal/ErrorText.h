#pragma once
// The text the editor shows for an error: a ShotError's message, the message of a markup
// decoding error, a Tellumo error's description, a file error as "<file>: <system text>";
// anything else as its what() text.

#include <QString>

#include <exception>

namespace Kivaro::detail {

QString errorText(std::exception_ptr error);

} // namespace Kivaro::detail
