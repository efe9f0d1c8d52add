// The kivaro executable.

#include "Kivaro/sharing/SharePresenter.h"
#include "Kivaro/shell/AppDelegate.h"
#include "Kivaro/shell/KivaroApplication.h"
#include "Kivaro/shell/SingleInstance.h"
#include "Kivaro/shell/TerminationSignals.h"
#include "Kivaro/update/KivaroUpdatePrompts.h"
#include "Kivaro/update/UpdateShellHooks.h"
#include "KivaroCore/LaunchArguments.h"
#include "KivaroCore/Localization.h"
#include "KivaroCore/VerificationRun.h"
#include "Platform/ScreenCapture/X11ScreenSource.h"
#include "Kivaro/verification/ScenarioDispatch.h"
#include "Kivaro/voice-and-text/OnDeviceVoiceAnnotation.h"
#include "Platform/Dialogs/QtTranslations.h"

#include <QPointer>
#include <QSessionManager>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

int main(int argc, char **argv)
{
    using namespace Kivaro;
    PrototypeVerification::recordProcessArguments(argc, argv);
    // The updater's command-line modes (installer, offline archive check) come first, before any
    // window, display or preference work, and end the process with their own status.
    if (const std::optional<int> status = runUpdaterCommandLine(PrototypeVerification::processArguments()))
        return *status;

    // A verification run: one mode, a folder that is its own, and the user's preferences,
    // history and key store out of its reach, all settled before any window or preference.
    const QStringList launch = PrototypeVerification::processArguments();
    if (const auto usage = PrototypeVerification::launchUsageError(PrototypeVerification::processArgumentBytes())) {
        std::fprintf(stderr,
                     "kivaro: %s\nusage: kivaro [--verify [--verify-<scenario>] | --ui-session | --verify-updater] "
                     "[--evidence-dir FOLDER]\n",
                     usage->toLocal8Bit().constData());
        return 1;
    }
    if (PrototypeVerification::isAnyVerificationMode(launch)) {
        if (const auto refused = PrototypeVerification::isolateRun(launch)) {
            std::fputs(Verification::launchRefusal(launch, *refused).toLocal8Bit().constData(), stderr);
            return 1;
        }
    }

    // Qt's xcb plugin ends the process with an abort when it cannot connect: the display is
    // tried here first, so that the user reads which display could not be reached.
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform.startsWith("xcb")) {
        const QByteArray display = qgetenv("DISPLAY");
        if (display.isEmpty()) {
            std::fputs("kivaro: no X display (DISPLAY is not set). Kivaro runs in an X11 session; start it from one, "
                       "or set DISPLAY.\n",
                       stderr);
            return 1;
        }
        if (!Platform::X11ScreenSource::displayAnswers()) {
            std::fprintf(stderr,
                         "kivaro: cannot reach the X display \"%s\" named by DISPLAY. Kivaro runs in an X11 session; start "
                         "it from one, or set DISPLAY to a display that is running.\n",
                         display.constData());
            return 1;
        }
    }
    if (platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", "xcb");

    KivaroApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kivaro"));
    QApplication::setDesktopFileName(QStringLiteral("app.kivaro.Kivaro"));
    QApplication::setQuitOnLastWindowClosed(false);
    // Qt's own dialogs (open, save, export) in the language our own texts are shown in.
    Platform::installQtTranslations(StringTable::language());

    // Verification runs neither serve nor hand off: they must run beside the user's instance.
    const bool verification = PrototypeVerification::isAnyVerificationMode(launch);
    std::unique_ptr<SingleInstance> instance;
    if (!verification) {
        const SingleInstance::Location where = SingleInstance::location(qEnvironmentVariable("DISPLAY"));
        if (where.path.isEmpty()) {
            std::fprintf(stderr, "kivaro: %s\n", where.refusal.toLocal8Bit().constData());
            return 1;
        }
        instance = std::make_unique<SingleInstance>(where.path);
        switch (instance->claim()) {
        case SingleInstance::Claim::handedOff:
            return 0;
        case SingleInstance::Claim::busy:
            // Nothing was handed over: an instance the user cannot reach is running.
            std::fprintf(stderr, "kivaro: %s\n", SingleInstance::busyMessage().toLocal8Bit().constData());
            return 1;
        case SingleInstance::Claim::serving:
        case SingleInstance::Claim::alone:
            break;
        }
        // Recording folders an earlier run left behind (it ended without cancelling its voice
        // work). Only the instance that serves: a second launch hands off and must not touch the
        // folder of the running one, nor must a verification run beside it.
        removeLeftoverRecordingFolders();
    }

    AppDelegate::Services services;
    services.editor.voice = std::make_shared<OnDeviceVoiceAnnotation>();
    auto owned = std::make_unique<AppDelegate>(std::move(services));
    AppDelegate &delegate = *owned;
    application.setDelegate(&delegate);
    // The updater and its prompt window live with the delegate; its configuration reads the
    // arguments, so "--verify" and "--ui-session" turn it off. Its quit for "restart and update"
    // is the delegate's own, which refuses while the editor is busy.
    delegate.setUpdater(makeApplicationUpdater(&delegate, delegate.terminationRequest()), new KivaroUpdatePrompts(&delegate));
    if (instance)
        QObject::connect(instance.get(), &SingleInstance::reopenRequested, &delegate,
                         [&delegate] { delegate.applicationShouldHandleReopen(false); });
    const QPointer<AppDelegate> guarded(&delegate);
    TerminationSignals termination([guarded] {
        if (guarded)
            guarded->terminateForSignal();
        else
            std::_Exit(0); // a signal while the last events run: the process is ending anyway
    });
    // The end of the session ends the process like SIGTERM: one bounded attempt to save.
    QObject::connect(&application, &QGuiApplication::commitDataRequest, &delegate, [&delegate](QSessionManager &) {
        delegate.terminateForSignal();
    });
    QObject::connect(&application, &QGuiApplication::applicationStateChanged, &delegate, [&delegate](Qt::ApplicationState state) {
        if (state == Qt::ApplicationInactive)
            delegate.applicationDidResignActive();
    });
    QTimer::singleShot(0, &delegate, [&delegate, verification] {
        delegate.applicationDidFinishLaunching();
        // Share folders of an earlier run that ended without removing them (killed, crashed):
        // only the instance that serves sweeps them, as it does the recording folders.
        if (!verification && delegate.editor())
            delegate.editor()->sharing()->removeLeftoverFolders();
        Verification::startLaunchRuns(delegate);
    });
    const int status = QApplication::exec();
    // The delegate's objects go first; the tasks they owned were cancelled and unwind from the
    // event loop, which runs a last time for them.
    owned.reset();
    for (int round = 0; round < 8; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    std::fflush(stdout);
    return status;
}
