#pragma once
// The launch modes of a verification run and the rules its folder follows, decided in main()
// before the application object exists.
//
// Modes: "--verify" (with at most one scenario flag, and no other flag that starts with
// "--verify-", which would be a misspelled scenario), "--ui-session" and "--verify-updater"; at
// most one of them per process. "--evidence-dir" must be followed by a folder, not by another
// flag, whose name is UTF-8 text (a run uses the folder under its decoded name). A named evidence folder is made when missing (0700) and must then be a real
// folder (not a symbolic link) owned by the user and writable by nobody else.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace Kivaro::PrototypeVerification {

// The scenario flags that "--verify" dispatches on, in the order the dispatch tests them.
const QStringList &scenarioFlags();

// Why the arguments (program path first) cannot start a run: a text for the usage line; nothing
// when they can.
std::optional<QString> launchUsageError(const QStringList &arguments);
// The same for the arguments as the system handed them over (processArgumentBytes()), which
// also tells a folder name that is no UTF-8 text from its lossy decoding.
std::optional<QString> launchUsageError(const QList<QByteArray> &arguments);

// True when the arguments hold "--verify", "--ui-session" or "--verify-updater".
bool isAnyVerificationMode(const QStringList &arguments);

// The name of the run, used in its fresh folder's name ("kivaro-<name>-XXXXXX"):
// "visibility", "quit-capture", "basics", ... for a scenario flag; "verification" for "--verify"
// alone and for "--ui-session"; "updater" for "--verify-updater".
QString runnerName(const QStringList &arguments);

// Makes `path` when it is missing (parents as needed, the folder itself 0700) and checks it:
// a folder, not a symbolic link, owned by this user, neither group- nor world-writable.
// Returns why it cannot be used; nothing when it can.
std::optional<QString> checkNamedFolder(const QString &path);

// Readies the run of a verification mode before anything reads preferences: checks a named
// evidence folder (or makes the fresh one), points XDG_CONFIG_HOME at "<run>/config",
// XDG_DATA_HOME at "<run>/data" and XDG_CACHE_HOME at "<run>/cache" (each made 0700), so that
// every preference domain, suite, desktop entry, cache and the key store of the run live under
// its folder, and for "--verify-updater" keeps its recent shots there too (KIVARO_DATA_DIR).
// Returns why the run cannot start; nothing when it can. Call it from main() before other
// threads start.
std::optional<QString> isolateRun(const QStringList &arguments);

// The user's own data folder ($XDG_DATA_HOME, else ~/.local/share) as it was before
// isolateRun() pointed the variable into the run's folder: a run reads (never writes) what the
// user installed there, such as a speech model.
QString userDataHome();

// The quit-during-capture run: set by its runner once it has seen the pending selection and
// posted the quit itself; the termination writes a pass only then.
void noteQuitPostedDuringCapture(bool posted = true);
bool quitPostedDuringCapture();

} // namespace Kivaro::PrototypeVerification
