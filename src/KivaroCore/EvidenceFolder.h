#pragma once
// Where a verification run ("--verify", "--ui-session") keeps what it writes: its evidence, and
// its own preference domains and key in place of the user's.

#include <QString>

#include <optional>

namespace Kivaro::PrototypeVerification {

// True when the process arguments hold "--verify" or "--ui-session".
bool isVerificationRun();

// The folder named by "--evidence-dir" (as an absolute path); without one, a fresh private
// folder (0700) made for this run with mkdtemp, "<temporary folder>/kivaro-<run>-XXXXXX"
// (runnerName(): "kivaro-verification-XXXXXX" for the full suite and the session),
// whose path is printed on standard error when it is made. The fresh folder is made once per
// process (once per temporary folder, which tests change); nothing when it cannot be made.
// Main thread only.
std::optional<QString> evidenceFolder();

// Makes evidenceFolder() give `folder` while the temporary folder is `temporary`: a run that
// moves its temporary folder into its own folder (PrototypeVerification::isolateRun) keeps the
// folder it made.
void keepEvidenceFolder(const QString &temporary, const QString &folder);

} // namespace Kivaro::PrototypeVerification
