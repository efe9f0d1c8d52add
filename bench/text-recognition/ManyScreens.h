#pragma once
// The memory of a resident application that reads screen after screen: one process prewarms the
// recogniser and then decodes and reads many varied screens in turn, exactly as the application
// reads a capture, printing its peak resident memory after each. The screens are ones the error
// benchmark's corpus does not hold (other sizes, faces and themes, and the browser, release-notes
// and terminal scenes), so that the figures are not tuned to it.

#include <QString>

namespace ManyScreens {

// Renders the screens into `folder`, measures them in a child process and prints the figures.
// Returns the process's exit status.
int measure(const QString &folder, int passes);

// The child: reads the screens listed in `listPath` (lines "picture<TAB>expected text file"),
// `passes` times over, and prints one line per screen.
int child(const QString &listPath, int passes);

} // namespace ManyScreens
