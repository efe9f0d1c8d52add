// Quitting, reopening and losing activation.

#include "Kivaro/shell/AppDelegate.h"

#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/editor/HoldOverlay.h"
#include "Kivaro/editor/InlineCaptureEditor.h"
#include "Kivaro/editor/VoiceAnnotation.h"
#include "Kivaro/recent/RecentShots.h"
#include "Kivaro/sharing/SharePresenter.h"
#include "Kivaro/shell/ShortcutSettingsController.h"
#include "Kivaro/shell/capture/GlobalShortcut.h"
#include "Kivaro/shell/capture/RegionCapture.h"
#include "Kivaro/shell/internal/ShellErrors.h"
#include "KivaroCore/LaunchArguments.h"
#include "KivaroCore/VerificationRun.h"
#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/Dialogs/AlertPresenter.h"
#include "Platform/Dialogs/QtAlertPresenter.h"
#include "Platform/Files/PrivateFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace Kivaro {

using Platform::CancellationError;
using Platform::Task;
using Platform::TaskHandle;

namespace {
bool isRunning(const TaskHandle<void> &task)
{
    return task && !task.isFinished();
}
} // namespace

void AppDelegate::terminate()
{
    if (m_terminated || m_terminationPending)
        return;
    switch (applicationShouldTerminate()) {
    case TerminateReply::cancel:
        return;
    case TerminateReply::now:
        finishTermination();
        return;
    case TerminateReply::later:
        m_terminationPending = true;
        return;
    }
}

TerminateReply AppDelegate::applicationShouldTerminate()
{
    if (!m_editor)
        return TerminateReply::now;
    const TaskHandle<void> capture = m_editor->captureTask();
    const bool capturing = isRunning(capture);
    if (m_editor->busy() && !capturing) {
        m_editor->show(std::make_exception_ptr(ShotError::message(kivaroCopy(QStringLiteral("请先完成当前操作，或按 Esc 取消语音。")))));
        return TerminateReply::cancel;
    }
    if (capturing)
        capture.cancel();
    m_quitTask = Platform::start(quitting(this, capturing ? capture : TaskHandle<void>()), this);
    return TerminateReply::later;
}

Task<void> AppDelegate::quitting(QPointer<AppDelegate> self, TaskHandle<void> capture)
{
    if (capture) {
        try {
            co_await capture;
        } catch (...) {
            // It ended; how does not matter here.
        }
    }
    if (!self || !self->m_editor)
        co_return;
    std::exception_ptr failure;
    try {
        co_await self->m_editor->recent()->flush(self->m_editor->document());
    } catch (const CancellationError &) {
        // Cancelled by a forced quit (a signal, the end of the session): the forced quit writes
        // the shot itself and ends the process when that is done; a write that never happened
        // is no success to end on.
        if (self && !self->m_forcedQuit && !self->m_terminated)
            self->replyToApplicationShouldTerminate(false);
        co_return;
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self || self->m_terminated)
        co_return;
    if (!failure) {
        self->stopForTermination();
        self->replyToApplicationShouldTerminate(true);
        co_return;
    }
    EditorController *editor = self->m_editor;
    editor->showEditor();
    if (!self->m_quitWriteFailureShown) {
        self->m_quitWriteFailureShown = true;
        editor->show(failure);
        self->replyToApplicationShouldTerminate(false);
        co_return;
    }
    // The error was shown on an earlier attempt and the write fails still: ask once, so that a
    // broken history folder can never keep the application from quitting.
    std::shared_ptr<Platform::AlertPresenter> alerts = self->m_services.alerts;
    if (!alerts) {
        alerts = std::make_shared<Platform::QtAlertPresenter>();
        self->m_services.alerts = alerts;
    }
    Platform::Alert alert;
    alert.message = kivaroCopy(QStringLiteral("截图无法保存到最近截图。仍要退出吗？"));
    alert.informativeText = Shell::detail::errorDescription(failure);
    alert.buttons = {kivaroCopy(QStringLiteral("取消")), kivaroCopy(QStringLiteral("不保存并退出"))};
    alert.cancelButton = 0;
    alert.style = Platform::AlertStyle::warning;
    const Platform::AlertResponse response = co_await alerts->present(editor->window(), alert);
    if (!self || self->m_terminated)
        co_return;
    if (response.button == 1) {
        self->stopForTermination();
        self->replyToApplicationShouldTerminate(true);
    } else {
        self->replyToApplicationShouldTerminate(false);
    }
}

void AppDelegate::stopForTermination()
{
    if (m_editor) {
        m_editor->recent()->pending().cancel();
        if (VoiceAnnotation *voice = m_editor->voice())
            voice->cancel();
    }
    if (m_shortcut)
        m_shortcut->stop();
    if (m_alternateShortcut)
        m_alternateShortcut->stop();
}

void AppDelegate::replyToApplicationShouldTerminate(bool shouldTerminate)
{
    m_terminationPending = false;
    if (shouldTerminate)
        finishTermination();
}

void AppDelegate::finishTermination()
{
    if (m_terminated)
        return;
    m_terminated = true;
    applicationWillTerminate();
    if (m_editor) {
        m_editor->setAllowsClose(true);
        // Every way of ending passes here (the quit item, a signal, the end of the session, an
        // update's restart): what was shared goes with the application.
        m_editor->sharing()->removeAllFolders();
    }
    Q_EMIT terminated();
    QCoreApplication::exit(m_exitStatus);
}

void AppDelegate::applicationWillTerminate()
{
    using PrototypeVerification::argument;
    const std::optional<QString> evidence = argument(QStringLiteral("--evidence-dir"));
    if (!PrototypeVerification::hasFlag(QStringLiteral("--verify-quit-capture")) || !evidence)
        return;
    const QString summary = QDir(*evidence).filePath(QStringLiteral("summary.json"));
    // Every failure leaves its record and its line, never an earlier pass.
    const auto failure = [&](const QString &why) {
        const QByteArray record = QJsonDocument(QJsonObject{{QStringLiteral("status"), QStringLiteral("failed")},
                                                            {QStringLiteral("error"), why}})
                                      .toJson(QJsonDocument::Compact);
        if (Platform::writePrivateFile(summary, record))
            ::unlink(QFile::encodeName(summary).constData());
        const QByteArray line = (QStringLiteral("Quit during capture verification failed: ") + why + u'\n').toUtf8();
        std::fflush(stdout);
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        std::fflush(stderr);
        m_exitStatus = 1;
    };
    if (m_editor
        && (isRunning(m_editor->captureTask()) || (m_editor->capture() && m_editor->capture()->isRunning()) || m_editor->busy())) {
        failure(QStringLiteral("the capture was still running when the application ended"));
        ::_exit(1);
    }
    // The pass says that a quit during a waiting capture ended cleanly: only the scenario's own
    // quit, posted while its overlay waited, is that quit.
    if (!PrototypeVerification::quitPostedDuringCapture()) {
        failure(QStringLiteral("the application ended without the scenario's quit during its capture"));
        return;
    }
    if (const auto error = Platform::writePrivateFile(
            summary, QByteArrayLiteral("{\"status\":\"passed\",\"quitDuringCapture\":true,\"captureCleanedUp\":true}")))
        failure(*error);
}

void AppDelegate::terminateForSignal()
{
    if (m_terminated)
        return;
    if (m_forcedQuit) {
        // Asked again while the one attempt to save still runs: end now.
        finishTermination();
        return;
    }
    m_forcedQuit = true;
    m_quitTask.cancel();
    TaskHandle<void> capture;
    if (m_editor && isRunning(m_editor->captureTask())) {
        capture = m_editor->captureTask();
        capture.cancel();
    }
    QPointer<AppDelegate> self(this);
    QTimer::singleShot(forcedSaveLimit, this, [self] {
        if (self)
            self->finishTermination();
    });
    Platform::start(forcedQuitting(this, capture), this);
}

Task<void> AppDelegate::forcedQuitting(QPointer<AppDelegate> self, TaskHandle<void> capture)
{
    if (capture) {
        try {
            co_await capture;
        } catch (...) {
        }
    }
    if (!self)
        co_return;
    if (self->m_editor) {
        try {
            co_await self->m_editor->recent()->flush(self->m_editor->document());
        } catch (...) {
            // One attempt only: the process ends whether or not the shot could be written.
        }
    }
    if (!self)
        co_return;
    self->stopForTermination();
    self->finishTermination();
}

bool AppDelegate::applicationShouldHandleReopen(bool)
{
    showSettings();
    return true;
}

void AppDelegate::applicationDidResignActive()
{
    if (m_editor && m_editor->anchor())
        m_editor->overlay()->cancel();
}

} // namespace Kivaro
