#pragma once
// The offline verification command line:
//   <program> --verify-update-archive <zip> <version> <build> <sha256>
// verifies the archive exactly as a download is verified (NativeUpdateInstaller::prepare, with
// a manifest built from the arguments and the configuration's product), prints
// "UPDATE VERIFY PASS: ..." on standard output and returns 0, or writes "UPDATE VERIFY FAILED: "
// and the error's description on standard error and returns 1. A passing run removes its
// staging folder. For any other argument list it returns nothing and main() goes on.

#include "NativeAppUpdater/NativeUpdateConfiguration.h"

#include <QStringList>

#include <optional>

namespace NativeAppUpdater {

class NativeUpdateArchiveVerification final {
public:
    static constexpr const char *argument = "--verify-update-archive";
    static constexpr const char *passLine = "UPDATE VERIFY PASS: checksum, app identity, Developer ID signature and notarization";

    static std::optional<int> runIfRequested(const NativeUpdateConfiguration &configuration, const QStringList &arguments);

    NativeUpdateArchiveVerification() = delete;
};

} // namespace NativeAppUpdater
