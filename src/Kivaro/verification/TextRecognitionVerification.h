#pragma once
// The text recognition check of the full verification suite, on the editor's real document:
// the shared recogniser reads a drawn fixture of two lines, the editor's copy-text action puts
// the readable line (and never the masked one) on a private pasteboard, an image without text
// leaves that pasteboard as it was, and the AI settings window opens.
//
// Evidence in `output`: "before-ocr.kivaro" (the document as it was), "synthetic-ocr.txt",
// "synthetic-ocr.png", "07-ocr-redacted.png" and "08-tellumo-settings.png". The document is
// restored from "before-ocr.kivaro" on every way out (with no file location, announced), the
// private pasteboard released before that. The recognised texts the editor records go to its
// history under its recent-shots folder, which a verification run keeps in the run's folder.
//
// Main thread only.

#include "Platform/Async/Task.h"

#include <QImage>
#include <QString>

namespace Kivaro {
class EditorController;
}

namespace Kivaro::TextRecognitionVerification {

// The drawn fixture: 960 x 600, white, "Confidential 739182" over "公开笔记 Public note 246810".
QImage fixture();
// Where the mask goes: over the first line.
inline constexpr QRectF maskRect{50, 90, 700, 100};

Platform::Task<void> run(EditorController *editor, QString output);

} // namespace Kivaro::TextRecognitionVerification
