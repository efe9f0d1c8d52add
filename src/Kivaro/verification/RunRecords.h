#pragma once
// The names of the files each verification run writes into its folder, kept in this one place:
// a run removes its own names before it begins (the full suite those of every sub-run it
// awaits, the interactive session its records and traces), so that nothing an earlier run left
// in a reused folder can pass for this run's. A run that writes a new file adds its name here,
// and the removal follows without a second list to keep.
//
// Names only: files whose names a run makes up as it goes (the session's stamped evidence, the
// sharing check's history fixture) and the folders a run makes are not listed.
//
// Main thread only.

#include <QString>
#include <QStringList>

namespace Kivaro::RunRecords {

enum class Run {
    // Standalone runs ("--verify" with a scenario flag, "--verify-updater", "--ui-session").
    visibility,
    quitDuringCapture,
    basicWorkflow,
    icon,
    inlineCapture,
    annotationToolsAlone,
    privacy,
    localization,
    captureSelection,
    captureLive,
    publishedUpdate,
    session,
    // The full suite ("--verify" alone): its own files and those of every sub-run below.
    suite,
    // The sub-runs the suite awaits.
    appearance,
    captureWorkflow,
    textRecognition,
    voiceRetry,
    captureImprovements,
    sharing,
    menus,
    annotationTools,
    voiceInteraction,
    updatePrompt,
    updateSettings,
    captureCompletion,
    shortcuts,
};

// The names `run` writes, its result record included.
QStringList names(Run run);

// Removes each of `names` from `folder`. A symbolic link at a name is removed itself, never
// followed; a folder at a name stays (the run's write fails on it and says so). Nothing happens
// for an empty folder path.
void remove(const QString &folder, const QStringList &names);
inline void remove(const QString &folder, Run run)
{
    remove(folder, names(run));
}

} // namespace Kivaro::RunRecords
