#include "Kivaro/verification/ScenarioDispatch.h"

#include "Kivaro/shell/AppDelegate.h"
#include "Kivaro/verification/ApplicationVisibilityVerification.h"
#include "Kivaro/verification/BasicWorkflowVerification.h"
#include "Kivaro/verification/CaptureLiveVerification.h"
#include "Kivaro/verification/CaptureSelectionVerification.h"
#include "Kivaro/verification/AnnotationToolsVerification.h"
#include "Kivaro/verification/IconVerification.h"
#include "Kivaro/verification/InlineCaptureVerification.h"
#include "Kivaro/verification/LocalizationVerification.h"
#include "Kivaro/verification/PrivacyVerification.h"
#include "Kivaro/verification/PrototypeSuite.h"
#include "Kivaro/verification/PrototypeVerification.h"
#include "Kivaro/verification/UIVerificationSession.h"
#include "Kivaro/verification/UpdateVerification.h"
#include "KivaroCore/EvidenceFolder.h"
#include "KivaroCore/LaunchArguments.h"
#include "KivaroCore/VerificationRun.h"
#include "Platform/Async/Awaitables.h"

#include <QPointer>

namespace Kivaro::Verification {

namespace {

Platform::Task<void> runScenario(QPointer<AppDelegate> delegate, QString flag)
{
    co_await Platform::yieldToEventLoop();
    EditorController *editor = delegate ? delegate->editor() : nullptr;
    if (flag == QStringLiteral("--verify-visibility"))
        co_await ApplicationVisibilityVerification::run(editor);
    else if (flag == QStringLiteral("--verify-quit-capture"))
        co_await BasicWorkflowVerification::quitDuringCapture(editor);
    else if (flag == QStringLiteral("--verify-basics"))
        co_await BasicWorkflowVerification::run(editor);
    else if (flag == QStringLiteral("--verify-selection"))
        co_await CaptureSelectionVerification::run(editor);
    else if (flag == QStringLiteral("--capture-live"))
        co_await CaptureLiveVerification::run(editor);
    else if (flag == QStringLiteral("--verify-icon"))
        co_await IconVerification::run(editor);
    else if (flag == QStringLiteral("--verify-inline"))
        co_await InlineCaptureVerification::run(editor);
    else if (flag == QStringLiteral("--verify-annotation-tools"))
        co_await AnnotationToolsVerification::standalone(editor);
    else if (flag == QStringLiteral("--verify-privacy"))
        co_await PrivacyVerification::run(editor);
    else if (flag == QStringLiteral("--verify-localization"))
        co_await LocalizationVerification::run(editor);
    else
        co_await PrototypeVerification::run(editor); // no scenario flag: the full suite
}

} // namespace

QString selectedScenario(const QStringList &arguments)
{
    if (!arguments.contains(QStringLiteral("--verify")))
        return QString();
    for (const QString &flag : PrototypeVerification::scenarioFlags())
        if (arguments.contains(flag))
            return flag;
    return QStringLiteral("");
}

QString launchRefusal(const QStringList &arguments, const QString &why)
{
    const QString flag = selectedScenario(arguments);
    if (!flag.isNull() && flag.isEmpty())
        return QString::fromUtf8(PrototypeVerification::suiteFailurePrefix) + why + u'\n';
    return QStringLiteral("kivaro: ") + why + u'\n';
}

bool isBuilt(const QString &flag)
{
    return (!flag.isNull() && flag.isEmpty()) || PrototypeVerification::scenarioFlags().contains(flag);
}

void startLaunchRuns(AppDelegate &delegate)
{
    // One mode per launch (main() refused the others before any window).
    if (PrototypeVerification::hasFlag(QStringLiteral("--ui-session"))) {
        if (!delegate.uiSession())
            delegate.setUiSession(new UIVerificationSession(delegate.editor(), &delegate, &delegate));
        return;
    }
    if (PrototypeVerification::hasFlag(QStringLiteral("--verify-updater"))) {
        const std::optional<QString> folder = PrototypeVerification::evidenceFolder();
        if (!folder) {
            PrototypeVerification::StandaloneRun run(QString::fromUtf8(UpdateVerification::publishedFailurePrefix), {});
            run.fail(QStringLiteral("no evidence folder"));
        }
        Platform::start(UpdateVerification::verifyPublished(*folder), &delegate);
        return;
    }
    const QString flag = selectedScenario(PrototypeVerification::processArguments());
    if (flag.isNull())
        return;
    Platform::start(runScenario(QPointer<AppDelegate>(&delegate), flag), &delegate);
}

} // namespace Kivaro::Verification
