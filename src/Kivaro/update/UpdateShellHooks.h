#pragma once
// What the application shell calls of the updater, step by step, so that its part stays a few
// lines:
//
//   main():          if (auto status = Kivaro::runUpdaterCommandLine(arguments)) return *status;
//                    (first, before the application object, any window or any preference work)
//   at launch:       auto updater = Kivaro::makeApplicationUpdater(delegate, [delegate] { delegate->requestTermination(); });
//                    auto prompts = new Kivaro::KivaroUpdatePrompts(delegate);
//                    Kivaro::installUpdatePrompts(*updater, prompts);
//                    Kivaro::startAutomaticUpdateChecks(*updater, arguments);
//   the menu item:   updater->checkForUpdates(true);
//   settings window: new Kivaro::UpdateSettingsView(updater, parent);

#include "NativeAppUpdater/NativeUpdater.h"

#include <QStringList>

#include <functional>

#include <memory>
#include <optional>

namespace Kivaro {

class KivaroUpdatePrompts;

// The installer mode ("--native-update-helper", then 0) and the offline verification
// ("--verify-update-archive", then 0 or 1) with the application's configuration; nothing for
// any other argument list. `arguments` are main()'s own, program path first.
std::optional<int> runUpdaterCommandLine(const QStringList &arguments);

// The application's updater: its configuration and the standard preferences. After "restart and
// update" it asks the application to end through `requestTermination` (the application's own
// request, which may refuse while work is unfinished); without one, QCoreApplication::quit.
NativeAppUpdater::NativeUpdater *makeApplicationUpdater(QObject *parent, std::function<void()> requestTermination = {});

// Makes `prompts` the updater's prompt presenter. Once `prompts` is gone, prompts are answered
// with false at once.
void installUpdatePrompts(NativeAppUpdater::NativeUpdater &updater, KivaroUpdatePrompts *prompts);

// Starts the automatic checks unless the arguments hold "--verify-updater" (the published
// update check runs its own instead).
void startAutomaticUpdateChecks(NativeAppUpdater::NativeUpdater &updater, const QStringList &arguments);

} // namespace Kivaro
