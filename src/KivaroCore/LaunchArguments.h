#pragma once
// The value of a launch option: the argument that follows the first exact occurrence of a flag.
// Flags without a value ("--verify") are tested for membership instead.
//
// The arguments are the process's own, as the system handed them to main(): QApplication
// removes the options it understands ("-reverse", "-style", "-platform", ...) from its copy, so
// QCoreApplication::arguments() is never used here. main() records argv before it creates the
// application object; without a record, the kernel's copy (/proc/self/cmdline) is read, which
// the application object does not change either.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace Kivaro::PrototypeVerification {

// Keeps a copy of main()'s arguments for every later lookup. Call it first in main(), before
// the application object exists and before other threads start. A null `argv` or an `argc` of
// 0 drops the copy, so lookups read the kernel's copy again.
void recordProcessArguments(int argc, const char *const *argv);

// Reads the process arguments afresh (program path first) on every call.
std::optional<QString> argument(const QString &flag);
std::optional<QString> argument(const QString &flag, const QStringList &arguments);
// The process arguments, program path first: the recorded copy, else the kernel's.
QStringList processArguments();
// The same arguments as the bytes the system handed over. processArguments() decodes them as
// the file-name encoding (UTF-8), which turns bytes that are no UTF-8 text into U+FFFD: a name
// that holds such bytes can only be told apart here.
QList<QByteArray> processArgumentBytes();
// True when `flag` is one of the process arguments.
bool hasFlag(const QString &flag);

} // namespace Kivaro::PrototypeVerification
