#pragma once
// The shortcut settings check of the full verification suite: on a throw-away preference suite
// and with real system-wide hot keys, the two capture modes are set, disabled, cleared, recorded
// from a key press and refused on occupied or shared chords independently of each other, and
// all of it survives building the settings controller anew.
//
// Evidence in `output`: "two-shortcuts-light.png", "two-shortcuts-dark.png",
// "06-shortcut-settings.png" and, after every check passed, "two-shortcuts-result.json".
//
// The application's own window hot key is paused while the check runs (its chord is the one
// under test); its binding is remembered and registered again on every way out, and a failure
// to do so fails the run. The suite and the three hot keys of the run are removed on every way
// out.
//
// Main thread only.

#include "Platform/Async/Task.h"

#include <QByteArray>
#include <QString>

namespace Kivaro::ShortcutVerification {

// The name prefix of the run's preference suite; a UUID follows.
inline constexpr char suitePrefix[] = "kivaro-shortcut-verification-";

// The bytes of "two-shortcuts-result.json".
inline constexpr char passText[] =
    "{\"status\":\"passed\",\"environment\":\"native-linux\",\"independentShortcuts\":true,\"bothMayBeUnset\":true,"
    "\"nativeKeyRecording\":true,\"optionChordPriority\":true,\"conflictRollback\":true}";
static_assert(sizeof(passText) - 1 == 175, "the result keeps its fixed length");
QByteArray passRecord();

Platform::Task<void> run(QString output);

} // namespace Kivaro::ShortcutVerification
