#pragma once
// The sharing check of the full verification suite, on the running editor: a full-size PNG
// export keeps its size and its privacy mask, a recent-shots share renders the whole annotated
// project, a recognised-text share file holds the text unchanged, and each of the three share
// entry points (the editor's share button, a recent-shots row, a recognised-text row) opens the
// application's share menu for exactly one temporary file with the right bytes, which
// cancelling deletes.
//
// No nearby-transfer service exists on this desktop. The services a share menu offers are the
// desktop's applications for the file's type; the run writes a designated receiver, a desktop
// entry taking PNG and plain text, into "$XDG_DATA_HOME/applications" and requires the menus to
// offer it. XDG_DATA_HOME must lie inside `output` (the run's own folder), so that the entry is
// never among the user's applications; the entry is removed on every way out. The result says
// that the receiver stood in and that no transfer to a recipient was verified.
//
// Evidence in `output`: the history fixture (<id>.kivaro, <id>.png), "share-editor-*.png",
// "share-history-*.png", "share-ocr-*.png" (light, dark), "share-picker-state.json",
// "share-menu.png", "share-menu-dark.png", "share-history-menu.png", "share-ocr-menu.png" and,
// after every check passed, "sharing-result.json". The application appearance is put back on
// every way out.
//
// Main thread only.

#include "Kivaro/verification/ShareMenuCapture.h"
#include "Platform/Async/Task.h"

#include <QByteArray>
#include <QString>

namespace Kivaro {
class EditorController;
}

namespace Kivaro::SharingVerification {

// The fixture text: two lines, 47 bytes in UTF-8.
QString fixtureText();
// The receiver's desktop entry id and the title it shows in a share menu.
inline constexpr char receiverId[] = "kivaro-verification-receiver.desktop";
inline constexpr char receiverTitle[] = "Kivaro Verification Receiver";

// The bytes of "sharing-result.json".
QByteArray passRecord();

Platform::Task<void> run(EditorController *editor, QString output);

} // namespace Kivaro::SharingVerification
