#pragma once
// The value of a launch option: the argument that follows the first exact occurrence of a flag.
// Flags without a value ("--verify") are tested for membership instead.

#include <QString>
#include <QStringList>

#include <optional>

namespace Kivaro::PrototypeVerification {

// Reads the process arguments afresh (program path first) on every call.
std::optional<QString> argument(const QString &flag);
std::optional<QString> argument(const QString &flag, const QStringList &arguments);
// The process arguments, program path first.
QStringList processArguments();
// True when `flag` is one of the process arguments.
bool hasFlag(const QString &flag);

} // namespace Kivaro::PrototypeVerification
