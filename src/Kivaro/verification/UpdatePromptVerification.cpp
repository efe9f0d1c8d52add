#include "Kivaro/verification/UpdatePromptVerification.h"

#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/update/KivaroUpdatePrompts.h"
#include "Kivaro/verification/PrototypeVerification.h"
#include "Kivaro/verification/support/EvidenceFiles.h"
#include "Kivaro/verification/support/SavedAppearance.h"
#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppUpdater/NativeUpdatePrompt.h"
#include "Platform/Async/Awaitables.h"

#include <QApplication>
#include <QDir>

#include <memory>
#include <optional>

namespace Kivaro::UpdatePromptVerification {

Platform::Task<void> run(QString output)
{
    const VerificationSupport::SavedAppearance restore;
    auto prompts = std::make_unique<KivaroUpdatePrompts>();
    NativeAppUpdater::NativeUpdatePrompt prompt;
    prompt.title = kivaroCopy(QStringLiteral("软件更新"));
    prompt.detail = kivaroCopy(QStringLiteral("已准备好"));
    prompt.releaseNotes = QString::fromUtf8(releaseNotes);
    prompt.primary = kivaroCopy(QStringLiteral("检查更新"));
    prompt.secondary = kivaroCopy(QStringLiteral("稍后"));

    struct Variant {
        const char *name;
        NativeAppAppearance::Appearance appearance;
        bool confirm;
    };
    for (const Variant &variant : {Variant{"light", NativeAppAppearance::Appearance::light, true},
                                   Variant{"dark", NativeAppAppearance::Appearance::dark, false}}) {
        NativeAppAppearance::AppearanceManager::shared().setApplicationAppearance(variant.appearance);
        auto box = std::make_shared<std::optional<bool>>();
        prompts->present(prompt, [box](bool answer) { *box = answer; });
        co_await Platform::sleep(std::chrono::milliseconds(500));
        KivaroWindow *window = prompts->window();
        QWidget *content = window ? window->contentView() : nullptr;
        if (!window || !content)
            throw ShotError::message(QStringLiteral("Custom update prompt missing"));
        PrototypeVerification::snapshot(content, QDir(output).filePath(QStringLiteral("custom-update-prompt-%1.png").arg(QLatin1String(variant.name))));
        if (KivaroButton *button = variant.confirm ? prompts->confirm() : prompts->later())
            button->click();
        if (!box->has_value() || **box != variant.confirm || prompts->window() || QApplication::activeModalWidget())
            throw ShotError::message(QStringLiteral("Custom prompt action or dismissal failed"));
        co_await Platform::sleep(std::chrono::milliseconds(450));
    }
    VerificationSupport::writeEvidence(QDir(output).filePath(QStringLiteral("custom-update-prompt-result.json")), QByteArray(resultText));
}

} // namespace Kivaro::UpdatePromptVerification
