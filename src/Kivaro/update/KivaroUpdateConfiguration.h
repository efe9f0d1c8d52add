#pragma once
// The application's own update configuration: product "kivaro", application "Kivaro", the
// release identifiers, the manifest on the update site and its two download hosts, and the
// release keys pinned at build time (KIVARO_UPDATE_SIGNING_KEYS and
// KIVARO_UPDATE_COUNTERSIGNING_KEYS).
//
// Updating is enabled only for the release bundle (the running bundle's identifier equals the
// release identifier exactly) and only when the process arguments hold neither "--verify" nor
// "--ui-session" as a whole argument: development builds and verification runs never check,
// download or install. A build without keys of both kinds is a development build too: the
// updater made from its configuration never checks or downloads (see NativeUpdater.h).

#include "NativeAppUpdater/NativeUpdateConfiguration.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace Kivaro {

// The released distribution, as the configuration and the verification scenarios know it.
struct ReleaseDistribution {
    static constexpr const char *manifestURL = "https://updates.kivaro.app/downloads/update.json";
    static constexpr const char *updateHost = "updates.kivaro.app";
    static constexpr const char *downloadHost = "downloads.kivaro.app";
    static constexpr const char *bundleIdentifier = "app.kivaro.Kivaro";
    static constexpr const char *teamIdentifier = "KVR8Q2T5LM";
};

// Built afresh on each call from the running bundle and the process arguments.
NativeAppUpdater::NativeUpdateConfiguration kivaroUpdateConfiguration();
// The same for a given bundle identifier (none: no bundle) and argument list.
NativeAppUpdater::NativeUpdateConfiguration kivaroUpdateConfiguration(const std::optional<QString> &mainBundleIdentifier,
                                                                     const QStringList &arguments);

} // namespace Kivaro
