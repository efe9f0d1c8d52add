#pragma once
// The published update check ("--verify-updater", a launch mode of its own): the manifest on
// the update site must describe exactly the running build and pass the updater's rules, and a
// fresh updater must conclude that this installation is current. Its pictures of the update
// settings block ("installed-update-light.png", "installed-update-dark.png") are part of the
// check: a run that cannot take them fails. A pass writes "published-update.json" and prints
// "Kivaro production updater verification passed"; a failure prints
// "Kivaro production updater verification failed: <why>" and writes no "published-update.json".
//
// Main thread only.

#include "NativeAppUpdater/NativeBundle.h"
#include "NativeAppUpdater/NativeUpdateConfiguration.h"
#include "NativeAppUpdater/NativeUpdater.h"
#include "Platform/Async/Task.h"

#include <QJsonObject>
#include <QString>

#include <functional>
#include <optional>

namespace Kivaro::UpdateVerification {

inline constexpr const char *publishedPassLine = "Kivaro production updater verification passed";
inline constexpr const char *publishedFailurePrefix = "Kivaro production updater verification failed: ";

// The update settings scenario, a sub-run of the full suite, without the network: the
// application's update configuration is the released distribution's, the automatic-check
// switch starts off and is stored when turned on and off again (three updaters on a throw-away
// suite "kivaro-update-verification-<UUID>", removed on every way out), and the settings window
// shows the update block in the light and the dark appearance ("update-settings-light.png",
// "update-settings-dark.png"). Fails by throwing ShotError. `configuration` is the
// application's own; tests hand in others.
Platform::Task<void> run(QString output, NativeAppUpdater::NativeUpdateConfiguration configuration);
Platform::Task<void> run(QString output);

// What the check runs against. The application uses the defaults (its own configuration, the
// system's trust and the running bundle); tests inject a loopback server's.
struct PublishedCheckEnvironment {
    NativeAppUpdater::NativeUpdateConfiguration configuration;
    NativeAppUpdater::NativeUpdaterServices services;
    static PublishedCheckEnvironment application();
};

// The check itself: writes the pictures and returns the result record (not yet written);
// throws on the first failure. Its throw-away preference suite and settings window are gone
// when it returns or throws.
Platform::Task<QJsonObject> checkPublished(QString output, PublishedCheckEnvironment environment);

// The standalone run: the check in the run's folder, then the result, the line and the exit
// status. Never returns.
Platform::Task<void> verifyPublished(QString output);

// The description of an error as the check's failure line shows it.
QString describe(std::exception_ptr error);

} // namespace Kivaro::UpdateVerification
