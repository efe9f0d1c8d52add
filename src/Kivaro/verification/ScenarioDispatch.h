#pragma once
// What a launch with "--verify" runs once launching has finished: exactly one runner, the first
// scenario flag present winning (PrototypeVerification::scenarioFlags()), the full suite
// without one. A scenario flag without "--verify" starts nothing.
//
// Main thread only.

#include <QString>
#include <QStringList>

namespace Kivaro {
class AppDelegate;
}

namespace Kivaro::Verification {

// The scenario flag that "--verify" selects among `arguments`: empty for the full suite, and
// nothing at all (a null string) without "--verify".
QString selectedScenario(const QStringList &arguments);

// The line main() writes on standard error when a verification run cannot start (its evidence
// folder refused or not made): the full suite's failure line for "--verify" alone, otherwise
// "kivaro: " and the reason; a line feed ends it.
QString launchRefusal(const QStringList &arguments, const QString &why);

// True when this version contains the runner of `flag` (as selectedScenario() gives it).
bool isBuilt(const QString &flag);

// Starts the launch's verification mode, if any: "--ui-session" creates the delegate's
// interactive session; "--verify-updater" starts the published update check and "--verify" its
// runner, each as a task on the main thread. Called by main() right after
// AppDelegate::applicationDidFinishLaunching().
void startLaunchRuns(AppDelegate &delegate);

} // namespace Kivaro::Verification
