#include "Kivaro/verification/CaptureCompletionVerification.h"

#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/controls/KivaroModes.h"
#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/editor/CanvasBackgroundView.h"
#include "Kivaro/editor/EditorController.h"
#include "Kivaro/shell/ShortcutSettingsController.h"
#include "Kivaro/shell/capture/GlobalShortcut.h"
#include "Kivaro/verification/PrototypeVerification.h"
#include "Kivaro/verification/RunRecords.h"
#include "Kivaro/verification/support/EvidenceFiles.h"
#include "Kivaro/verification/support/VerificationChecks.h"
#include "KivaroCore/CaptureModeShortcuts.h"
#include "KivaroCore/ShotError.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/Defaults/UserDefaults.h"
#include "Platform/Pasteboard/Pasteboard.h"
#include "Platform/Windows/WindowActivation.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QUuid>
#include <QWindow>

#include <chrono>
#include <optional>

#include <unistd.h>

namespace Kivaro::CaptureCompletionVerification {

using namespace std::chrono_literals;
using NativeAppAppearance::Appearance;
using NativeAppAppearance::AppearanceManager;

namespace {

const QString resultName = QStringLiteral("capture-completion-result.json");
const QString marker = QStringLiteral("preserve-existing-clipboard");

using VerificationSupport::failWith;

// The editor's window and the mode control, or a failure naming what is missing.
KivaroWindow *editorWindow(EditorController *editor)
{
    KivaroWindow *window = editor ? editor->window() : nullptr;
    if (!window || !editor->view() || editor->view()->window() != window || !editor->mode())
        failWith(QStringLiteral("Editor window missing"));
    return window;
}

struct Run {
    QPointer<EditorController> editor;
    QString suiteName;
    std::optional<Platform::UserDefaults> suite;
    std::shared_ptr<Platform::PrivatePasteboard> pasteboard;
    std::unique_ptr<GlobalShortcut> windowHotKey;
    std::unique_ptr<Shell::ShortcutSettingsController> controller;
    int segment = EditorController::selectSegment;

    // Gives everything back, in this order, and reports a suite that could not be removed.
    std::optional<QString> cleanUp()
    {
        std::optional<QString> error;
        try {
            Platform::UserDefaults::removePersistentDomain(suiteName);
        } catch (const std::exception &failure) {
            error = QStringLiteral("Capture completion preferences were not removed: ") + QString::fromUtf8(failure.what());
        }
        if (pasteboard)
            pasteboard->releaseGlobally();
        if (windowHotKey)
            windowHotKey->stop();
        if (controller && controller->settingsWindow())
            controller->settingsWindow()->close();
        if (editor) {
            editor->showEditor();
            if (editor->mode())
                editor->mode()->setSelectedSegment(segment);
            editor->updateMode();
        }
        return error;
    }
};

// The settings window on the screen: built, refreshed and in front with the keyboard.
Platform::Task<KivaroWindow *> showSettings(Shell::ShortcutSettingsController &controller)
{
    if (!controller.window())
        controller.makeWindow();
    KivaroWindow *window = controller.settingsWindow();
    if (!window || !window->contentView())
        failWith(QStringLiteral("Capture settings window missing"));
    CaptureCompletionSettings *switches = controller.completionSettings();
    if (!switches || !switches->opensEditor() || !switches->copiesImage())
        failWith(QStringLiteral("Capture completion settings missing"));
    controller.refresh();
    window->makeKeyAndOrderFront();
    Platform::bringForward(window);
    // The window manager maps it in its own time; the pictures fail on their own if it never does.
    for (int pass = 0; pass < 40 && !(window->windowHandle() && window->windowHandle()->isExposed()); ++pass)
        co_await Platform::sleep(50ms);
    co_return window;
}

Platform::Task<void> checks(Run &run, QString output, const CompletionStep &complete)
{
    Platform::UserDefaults &suite = *run.suite;

    if (CaptureCompletionPreferences::read(suite) != CaptureCompletionPreferences{false, true})
        failWith(QStringLiteral("Capture defaults must copy without opening the editor"));

    KivaroWindow *settings = co_await showSettings(*run.controller);
    for (const auto &[name, appearance] : {std::pair{QStringLiteral("light"), Appearance::light}, std::pair{QStringLiteral("dark"), Appearance::dark}}) {
        AppearanceManager::shared().setAppearance(settings, appearance);
        co_await Platform::sleep(200ms);
        PrototypeVerification::snapshot(settings->contentView(),
                                        QDir(output).filePath(QStringLiteral("capture-completion-settings-") + name + QStringLiteral(".png")));
    }

    CaptureCompletionSettings *switches = run.controller->completionSettings();
    if (!switches)
        failWith(QStringLiteral("Capture completion settings missing"));
    switches->opensEditor()->click();
    switches->copiesImage()->click();
    if (CaptureCompletionPreferences::read(suite) != CaptureCompletionPreferences{true, false})
        failWith(QStringLiteral("Capture settings buttons did not persist independently"));

    editorWindow(run.editor);
    const QByteArray reference = co_await run.editor->document()->png(std::nullopt, false);

    for (const bool opensEditor : {false, true})
        for (const bool copiesImage : {false, true}) {
            suite.set(QString::fromLatin1(CaptureCompletionPreferences::opensEditorKey), opensEditor);
            suite.set(QString::fromLatin1(CaptureCompletionPreferences::copiesImageKey), copiesImage);
            // Read back from the file, not from what this process holds of it.
            Platform::UserDefaults::forgetDomain(run.suiteName);
            const CaptureCompletionPreferences reopened =
                CaptureCompletionPreferences::read(Platform::UserDefaults::suite(run.suiteName));
            if (reopened != CaptureCompletionPreferences{opensEditor, copiesImage})
                failWith(QStringLiteral("Capture preferences did not survive reopening"));

            run.pasteboard->clearContents();
            if (!run.pasteboard->setString(marker))
                failWith(QStringLiteral("Capture completion pasteboard refused its marker text"));
            const long long changeCount = run.pasteboard->changeCount();

            co_await complete(run.editor, CaptureCompletionPreferences::read(suite), run.pasteboard);

            KivaroWindow *window = editorWindow(run.editor);
            if (window->isVisible() != opensEditor || run.editor->mode()->selectedSegment() != EditorController::selectSegment)
                failWith(QStringLiteral("Capture editor visibility or mode incorrect"));
            if (!copiesImage && (run.pasteboard->changeCount() != changeCount || run.pasteboard->string() != marker))
                failWith(QStringLiteral("Disabled capture copy changed the clipboard"));
            if (copiesImage && run.pasteboard->data(Platform::PasteboardType::png) != reference)
                failWith(QStringLiteral("Captured PNG was not copied"));
        }

    VerificationSupport::writeEvidence(QDir(output).filePath(resultName), QByteArray(passResult));
}

} // namespace

Platform::Task<void> run(EditorController *editor, QString output)
{
    return run(editor, std::move(output),
               [](EditorController *target, CaptureCompletionPreferences preferences, std::shared_ptr<Platform::Pasteboard> pasteboard) {
                   return target->finishImageCapture(preferences, std::move(pasteboard), std::nullopt);
               });
}

Platform::Task<void> run(EditorController *editor, QString output, CompletionStep complete)
{
    co_await Platform::yieldToEventLoop();
    // An earlier pass in this folder must not outlive a failure of this run.
    RunRecords::remove(output, RunRecords::Run::captureCompletion);

    Run state;
    state.editor = editor;
    editorWindow(editor);
    state.segment = editor->mode()->selectedSegment();
    state.suiteName = QString::fromLatin1(suitePrefix) + QUuid::createUuid().toString(QUuid::WithoutBraces);

    std::exception_ptr failure;
    try {
        state.suite = Platform::UserDefaults::suite(state.suiteName);
        state.pasteboard = Platform::Pasteboard::withUniqueName();
        state.windowHotKey = std::make_unique<GlobalShortcut>([] {});
        state.controller = std::make_unique<Shell::ShortcutSettingsController>(state.windowHotKey.get(), nullptr, nullptr,
                                                                               *state.suite, [] {});
        try {
            CaptureModeShortcuts::migrate(*state.suite);
        } catch (...) {
            // An empty suite reads the defaults all the same.
        }
        co_await checks(state, output, complete);
    } catch (...) {
        failure = std::current_exception();
    }
    const std::optional<QString> cleanUpError = state.cleanUp();
    if (failure)
        std::rethrow_exception(failure);
    if (cleanUpError) {
        ::unlink(QFile::encodeName(QDir(output).filePath(resultName)).constData());
        failWith(*cleanUpError);
    }
}

} // namespace Kivaro::CaptureCompletionVerification
