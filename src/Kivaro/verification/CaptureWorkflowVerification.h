#pragma once
// The capture workflow sub-run of the full verification suite: on the editor's document as the
// suite leaves it (one text bubble linked to its arrow, one other element, no privacy masks, a
// real shot) it checks, in one pass and in this order, that
// - a moved bubble keeps its arrow on the anchor, re-pointing rebuilds the arrow, and the
//   project file keeps links, anchors and element identities;
// - deleting a linked bubble removes bubble, arrow and link in one undo step, and a text edit
//   keeps bubble and arrow and is one undo step;
// - a project of the older shape (raw markup data) still opens;
// - a privacy mask exports as opaque, non-black mosaic and survives saving and reopening;
// - the recent shots save project and preview (0600), a resumed entry is not duplicated, the
//   history keeps 20 entries and leaves foreign files alone.
//
// It returns when every check passed and throws ShotError at the first failure ("断言失败：" and
// the check's identity, or a text naming what was missing). Progress lines "CHECK <label>" go to
// standard error. Files in `output`: "05-redacted.png", "linked-and-masked.kivaro" and the folder
// "retention-test"; earlier copies of the two files are removed first, and nothing is written
// through a symbolic link.
//
// The history checks use the editor's recent shots only when their folder lies inside `output`
// (as it does in a verification run); otherwise a store of the run's own in
// "<output>/recent-data". The user's history is never written or pruned.

#include "Platform/Async/Task.h"

#include <QString>

namespace Kivaro {
class EditorController;
}

namespace Kivaro::CaptureWorkflowVerification {

Platform::Task<void> run(EditorController *editor, QString output);

} // namespace Kivaro::CaptureWorkflowVerification
