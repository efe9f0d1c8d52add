#pragma once
// The installer mode: the verified new bundle's own executable, started as
//   <program> --native-update-helper <installed bundle> <process id>
// waits for the old application to end, swaps the bundles and starts the new application.
// `runIfRequested` is the first thing main() calls; it returns true when it ran the mode (main
// then ends with status 0) and false for any other argument list.
//
// What it does, in order; nothing is printed:
//  1. The target must be a real folder (not a link) owned by this user, named as the
//     application's bundle, holding a bundle with the configured identifier and nothing its seal
//     does not list, and not the bundle the installer itself runs from. Otherwise nothing is
//     touched and nothing is started.
//  2. An exclusive lock on the target's parent folder: a second installer for the same place
//     gives up at once and starts nothing. A target whose build is not older than the
//     installer's own (replaced by hand while the update waited) is left as it is: once the old
//     process ended (step 3's wait) the installed application is started again.
//  3. The old process is waited for through a pidfd, at most 20 seconds. A process id of 0 or
//     less cannot be waited for (it names groups of processes) and counts as "cannot replace".
//  4. The target is checked again, with its parent's write permission (no other user may write
//     there unless the folder is sticky); the installer's own
//     bundle is verified again (signatures, seal and files) and brought beside the target as a
//     hidden sibling, renamed when it lies on the same file system and copied otherwise; the
//     sibling is verified once more, through the handle on its folder, which must be the one
//     found under its name before and under the target's name after the swap.
//  5. renameat2(RENAME_EXCHANGE) swaps the two folders in one step; the old bundle stays as the
//     hidden backup "." + name + ".previous-" + UUID.
//  6. The new application is started and watched for a few seconds. If it cannot start, or dies
//     by a signal or with a non-zero status in that time, the swap is exchanged back, the new
//     bundle removed and the old application started again. Only once the new one runs is the
//     backup removed, entry by entry as its seal lists them (anything else stays). Once installed
//     or rolled back, the staging folder the installer's bundle came from is removed.
// On a failure after step 1 (time-out, a refused check) the installed application is started
// again, as it was. A file system without RENAME_EXCHANGE refuses the swap; nothing moves.

#include "NativeAppUpdater/NativeUpdateConfiguration.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace NativeAppUpdater {

// How long the installer waits for the old process, and watches the new one.
struct NativeInstallTiming {
    int parentWaitMs = 20'000;
    int watchMs = 3'000;
};

class NativeUpdateHelper final {
public:
    static constexpr const char *argument = "--native-update-helper";

    enum class Outcome { installed, rolledBack, refusedTarget, notOlder, busy, cannotReplace, timedOut, failed };

    using Timing = NativeInstallTiming;

    static bool runIfRequested(const QStringList &arguments, const NativeUpdateConfiguration &configuration);
    // The mode itself, for a target and a process id.
    static Outcome install(const QString &installedApplication, qint64 parentPid, const NativeUpdateConfiguration &configuration,
                           const Timing &timing = {});
    // Reads a process id as the command line gives it: an optional sign and digits, 32 bits.
    static std::optional<qint32> parseProcessId(const QString &text);

    NativeUpdateHelper() = delete;
};

} // namespace NativeAppUpdater
