#pragma once
// The launch modes of a verification run and the rules its folder follows, decided in main()
// before the application object exists.
//
// Modes: "--verify" (with at most one scenario flag, and no other flag that starts with
// "--verify-", which would be a misspelled scenario), "--ui-session" and "--verify-updater"; at
// most one of them per process. "--evidence-dir" must be followed by a folder, not by another
// flag, whose name is UTF-8 text (a run uses the folder under its decoded name). A named
// evidence folder is made when missing (0700) and must then be a real folder (not a symbolic
// link) owned by the user and writable by nobody else, below folders in which nobody else can
// rename it (the run writes its evidence by path).

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
// a folder, not a symbolic link, owned by this user, neither group- nor world-writable; and no
// folder above it writable by others (or by a group not the user's own) without the sticky bit,
// as /tmp has it.
// Returns why it cannot be used; nothing when it can.
std::optional<QString> checkNamedFolder(const QString &path);

// Readies the run of a verification mode before anything reads preferences: checks a named
// evidence folder (or makes the fresh one), points XDG_CONFIG_HOME at "<run>/config",
// XDG_DATA_HOME at "<run>/data", XDG_CACHE_HOME at "<run>/cache" and TMPDIR at "<run>/tmp"
// (each made 0700), so that every preference domain, suite, desktop entry, cache, temporary
// file and the key store of the run live under its folder, and nothing the run sweeps lies
// outside it; for "--verify-updater" it keeps its recent shots there too (KIVARO_DATA_DIR).
// evidenceFolder() keeps giving the run's folder.
// Returns why the run cannot start; nothing when it can. Call it from main() before other
// threads start.
std::optional<QString> isolateRun(const QStringList &arguments);

// The user's own data folder ($XDG_DATA_HOME, else ~/.local/share) as it was before
// isolateRun() pointed the variable into the run's folder: a run reads (never writes) what the
// user installed there, such as a speech model.
QString userDataHome();

// The quit-during-capture run: set by its runner once it has seen the pending selection and its
// quit key was taken by the menu; the termination writes the pass record only then.
inline constexpr char quitDuringCapturePass[] = "{\"status\":\"passed\",\"quitDuringCapture\":true,\"captureCleanedUp\":true}";
static_assert(sizeof(quitDuringCapturePass) - 1 == 68, "the record keeps its fixed length");
void noteQuitPostedDuringCapture(bool posted = true);
bool quitPostedDuringCapture();

} // namespace Kivaro::PrototypeVerification
