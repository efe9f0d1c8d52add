#pragma once
// The checks of the verification runners and the texts their failures quote. A failed check
// throws ShotError with its message, which the runner's frame writes into its failure record;
// nothing here writes or ends anything.

#include <QString>
#include <QStringList>

namespace Kivaro::VerificationSupport {

// The prefixes some runners put before a check's name.
inline constexpr char assertionFailed[] = "断言失败：";
inline constexpr char verificationFailed[] = "验证失败：";

// Throws ShotError `message` (UTF-8 for the narrow form).
[[noreturn]] void failWith(const QString &message);
[[noreturn]] void failWith(const char *message);

// Throws ShotError `message` when `condition` is false.
void check(bool condition, const QString &message);
void check(bool condition, const char *message);
// The same with the message `prefix` followed by `name` (both UTF-8).
void check(bool condition, const char *prefix, const char *name);

// `text` in straight double quotes, with a backslash before each double quote and backslash and
// the control characters written out (\n, \t, \r, \u{hex}), so that a quoted text cannot be
// taken for the end of its quotes.
QString quoted(const QString &text);
// The standard array notation of `texts`: a left square bracket, each text quoted(), separated
// by a comma and a blank, a right square bracket.
QString arrayNotation(const QStringList &texts);

} // namespace Kivaro::VerificationSupport
