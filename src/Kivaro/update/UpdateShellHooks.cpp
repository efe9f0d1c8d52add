#include "Kivaro/update/UpdateShellHooks.h"

#include "Kivaro/update/KivaroUpdateConfiguration.h"
#include "Kivaro/update/KivaroUpdatePrompts.h"
#include "NativeAppUpdater/NativeBundle.h"
#include "NativeAppUpdater/NativeUpdateArchiveVerification.h"
#include "NativeAppUpdater/NativeUpdateHelper.h"

#include "Platform/Defaults/UserDefaults.h"

#include <QPointer>

namespace Kivaro {

using namespace NativeAppUpdater;

std::optional<int> runUpdaterCommandLine(const QStringList &arguments)
{
    const auto bundle = NativeBundle::main();
    const NativeUpdateConfiguration configuration = kivaroUpdateConfiguration(bundle ? bundle->bundleIdentifier() : std::nullopt, arguments);
    if (NativeUpdateHelper::runIfRequested(arguments, configuration))
        return 0;
    return NativeUpdateArchiveVerification::runIfRequested(configuration, arguments);
}

NativeUpdater *makeApplicationUpdater(QObject *parent, std::function<void()> requestTermination)
{
    NativeUpdaterServices services;
    services.requestTermination = std::move(requestTermination);
    return new NativeUpdater(kivaroUpdateConfiguration(), Platform::UserDefaults::standard(), std::move(services), parent);
}

void installUpdatePrompts(NativeUpdater &updater, KivaroUpdatePrompts *prompts)
{
    QPointer<KivaroUpdatePrompts> guard(prompts);
    updater.setPromptPresenter([guard](const NativeUpdatePrompt &prompt, std::function<void(bool)> completion) {
        if (guard)
            guard->present(prompt, std::move(completion));
        else
            completion(false);
    });
}

void startAutomaticUpdateChecks(NativeUpdater &updater, const QStringList &arguments)
{
    if (!arguments.contains(QStringLiteral("--verify-updater")))
        updater.startAutomaticChecks();
}

} // namespace Kivaro
