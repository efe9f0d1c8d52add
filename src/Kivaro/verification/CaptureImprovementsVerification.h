#pragma once
// The capture improvements sub-run of the full verification suite, on the application's own
// editor and document. In order: the settings and editor shortcut routing, the privacy mosaic
// (coarse opaque blocks, black for recognition, re-cut on a grain change that is one undo step,
// kept by the project file, patch and mask moved and resized together, the association kept
// through a deletion), the friendly annotations (centred single line, left-aligned multi-line
// and wrapped text, the 3-point arrow in the bubble's colour), every value of the grain pop-up,
// and the capture overlay's window highlight, Option switching and region drag. Writes its
// pictures, "mosaic.kivaro" and, once every check passed, "capture-improvements.json" into the
// suite's folder; an earlier copy of each is removed first.
//
// Each stretch is an entry point of its own (the suite calls `run`). A failed check throws
// ShotError "验证失败：<check>".

#include "Platform/Async/Task.h"

#include <QImage>
#include <QString>
#include <QStringList>

namespace Kivaro {
class EditorController;
}

namespace Kivaro::CaptureImprovementsVerification {

// The file names this sub-run writes, in the order they appear.
const QStringList &evidenceNames();
// The result record, byte for byte.
QByteArray passRecord();
// The striped fixture picture of the mosaic checks (960 x 600).
QImage stripes();

Platform::Task<void> run(EditorController *editor, QString output);

// The stretches, in the order `run` calls them.
Platform::Task<void> shortcutRouting(EditorController *editor, QString output);
Platform::Task<void> mosaic(EditorController *editor, QString output);
Platform::Task<void> friendlyAnnotations(EditorController *editor, QString output);
Platform::Task<void> grainPopup(EditorController *editor, QString output);
Platform::Task<void> selection(EditorController *editor, QString output, QImage image);
Platform::Task<void> friendlyEvidence(EditorController *editor, QString output);

} // namespace Kivaro::CaptureImprovementsVerification
