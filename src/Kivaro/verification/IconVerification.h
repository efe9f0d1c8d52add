#pragma once
// The application icon preview ("--verify --verify-icon"): shows the application's icon at 256,
// 64, 32 and 16 points in a window of the application's own style, once in the light and once
// in the dark appearance, and writes "icon-light.png" and "icon-dark.png" for a reviewer.
//
// Beyond the window picture's own checks it refuses an icon that is not there: no icon at all,
// or one whose pixels are all transparent, fails the run before any picture is taken, so a
// preview of nothing never passes. Pictures of an earlier run in the folder are removed first.
// A pass writes the two pictures and no record; a failure writes the failure record and its
// line ("Icon preview failed: …") and ends with status 1.

#include "Platform/Async/Task.h"

#include <QIcon>
#include <QString>

#include <optional>

namespace Kivaro {
class EditorController;
}

namespace Kivaro::IconVerification {

// Why `icon` cannot be previewed: missing, or fully transparent at 256 points; nothing when
// it can.
std::optional<QString> iconProblem(const QIcon &icon);

Platform::Task<void> run(EditorController *editor);

} // namespace Kivaro::IconVerification
