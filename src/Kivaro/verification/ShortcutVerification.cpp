#include "Kivaro/verification/ShortcutVerification.h"

#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/shell/AppDelegate.h"
#include "Kivaro/shell/CaptureShortcutRow.h"
#include "Kivaro/shell/ShortcutSettingsController.h"
#include "Kivaro/shell/capture/CaptureIntent.h"
#include "Kivaro/shell/capture/GlobalShortcut.h"
#include "Kivaro/shell/capture/ShortcutRecorder.h"
#include "Kivaro/verification/PrototypeVerification.h"
#include "Kivaro/verification/support/EvidenceFiles.h"
#include "Kivaro/verification/support/VerificationChecks.h"
#include "KivaroCore/CaptureModeShortcuts.h"
#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/Defaults/UserDefaults.h"
#include "Platform/Keys/KeyTable.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QPointer>
#include <QUuid>
#include <QWindow>

#include <chrono>
#include <memory>
#include <optional>

#include <unistd.h>

namespace Kivaro::ShortcutVerification {

using namespace std::chrono_literals;
using NativeAppAppearance::Appearance;
using NativeAppAppearance::AppearanceManager;

namespace {

const CaptureShortcut first{23, 0x1900, QStringLiteral("5")};
const CaptureShortcut occupied{26, 0x1900, QStringLiteral("7")};
const CaptureShortcut regionChord{22, 0x1100, QStringLiteral("6")};
const CaptureShortcut recorded{28, 0x1100, QStringLiteral("8")};
const CaptureShortcut optionChord{28, 0x1900, QStringLiteral("8")};

using VerificationSupport::failWith;

bool holds(const GlobalShortcut &hotKey, const CaptureShortcut &chord)
{
    return hotKey.registeredBinding() && *hotKey.registeredBinding() == chord;
}

bool isFree(const GlobalShortcut &hotKey)
{
    return !hotKey.registeredBinding();
}

CaptureShortcut stored(CaptureSelectionMode mode, const Platform::UserDefaults &suite)
{
    return CaptureModeShortcuts::read(mode, suite).binding;
}

CaptureShortcutPreferences on(const CaptureShortcut &chord)
{
    return {chord, true};
}

// An apply that should be refused: an acceptance fails with `accepted`; a refusal that did not
// leave the expected state passes its own error on; a refusal that did is what was wanted.
void expectRefused(Shell::ShortcutSettingsController &controller, const CaptureShortcutPreferences &setting,
                   CaptureSelectionMode mode, const std::function<bool()> &expected, const QString &accepted)
{
    std::exception_ptr refusal;
    try {
        controller.apply(setting, mode);
    } catch (...) {
        refusal = std::current_exception();
    }
    if (!refusal)
        failWith(accepted);
    if (!expected())
        std::rethrow_exception(refusal);
}

// The application's own window hot key, paused while the run holds its chords.
class PausedApplicationHotKey final {
public:
    void pause()
    {
        AppDelegate *delegate = AppDelegate::shared();
        if (!delegate || !delegate->shortcutSettings() || !delegate->shortcutSettings()->shortcut())
            return;
        m_hotKey = delegate->shortcutSettings()->shortcut();
        m_binding = m_hotKey->registeredBinding();
        m_reservesOption = m_hotKey->reservesOptionVariant();
        m_hotKey->pause();
    }
    // Registers the remembered binding again; the error text when that failed.
    std::optional<QString> restore()
    {
        if (!m_binding)
            return std::nullopt;
        const CaptureShortcut binding = *m_binding;
        m_binding.reset();
        if (!m_hotKey)
            return QStringLiteral("应用快捷键恢复失败：") + binding.title();
        try {
            m_hotKey->registerBinding(binding, m_reservesOption);
        } catch (...) {
            return QStringLiteral("应用快捷键恢复失败：") + PrototypeVerification::describe(std::current_exception());
        }
        return std::nullopt;
    }

private:
    QPointer<GlobalShortcut> m_hotKey;
    std::optional<CaptureShortcut> m_binding;
    bool m_reservesOption = true;
};

struct Run {
    QString suiteName;
    std::optional<Platform::UserDefaults> suite;
    std::unique_ptr<GlobalShortcut> window;
    std::unique_ptr<GlobalShortcut> region;
    std::unique_ptr<GlobalShortcut> blocking;
    std::unique_ptr<Shell::ShortcutSettingsController> controller;
    std::unique_ptr<Shell::ShortcutSettingsController> reopened;
    PausedApplicationHotKey application;

    void cleanUp()
    {
        for (GlobalShortcut *hotKey : {window.get(), region.get(), blocking.get()})
            if (hotKey)
                hotKey->stop();
        Platform::UserDefaults::removePersistentDomain(suiteName);
    }
};

// A key press as the window system delivers it: posted to the end of the window's queue, then
// the queued key events handed on until none is left.
void typeIntoWindow(QWidget *window, const CaptureShortcut &chord, std::uint32_t hotKeyMask)
{
    const Platform::KeyInfo *key = Platform::Keys::byKeyCode(chord.keyCode);
    QWindow *handle = window ? window->windowHandle() : nullptr;
    if (!key || !handle)
        failWith(QStringLiteral("Native key input did not restore an unset shortcut"));
    auto *event = new QKeyEvent(QEvent::KeyPress, key->qtKey, Platform::Keys::qtFromHotKeyMask(hotKeyMask), 0, key->keysym,
                                0, chord.keyName, false);
    QCoreApplication::postEvent(handle, event);
    QCoreApplication::sendPostedEvents(handle, QEvent::KeyPress);
}

Platform::Task<void> checks(Run &run, QString output)
{
    Shell::ShortcutSettingsController &controller = *run.controller;
    GlobalShortcut &window = *run.window;
    GlobalShortcut &region = *run.region;
    const auto W = CaptureSelectionMode::window;
    const auto R = CaptureSelectionMode::region;

    try {
        CaptureModeShortcuts::migrate(*run.suite);
    } catch (...) {
        // An empty suite reads the defaults all the same.
    }

    controller.apply(on(first), W);
    if (!holds(window, first) || stored(W, *run.suite) != first)
        failWith(QStringLiteral("快捷键未生效或未保存"));

    run.blocking->registerBinding(occupied, true);
    expectRefused(controller, on(occupied), W, [&] { return holds(window, first) && stored(W, *run.suite) == first; },
                  QStringLiteral("占用的快捷键被错误接受"));

    controller.apply({first, false}, W);
    if (!isFree(window))
        failWith(QStringLiteral("快捷键停用失败"));
    controller.apply(on(first), W);

    run.application.pause();
    controller.apply(on(CaptureShortcut::standard()), W);
    if (!holds(window, CaptureShortcut::standard()) || CaptureModeShortcuts::read(W, *run.suite) != on(CaptureShortcut::standard()))
        failWith(QStringLiteral("默认快捷键恢复失败"));

    controller.applyCaptureIntent(CaptureIntent::text);
    if (CaptureIntents::read(*run.suite) != CaptureIntent::text)
        failWith(QStringLiteral("识字快捷键动作未保存"));
    controller.applyCaptureIntent(CaptureIntent::polishedText);
    if (CaptureIntents::read(*run.suite) != CaptureIntent::polishedText)
        failWith(QStringLiteral("润色快捷键动作未保存"));
    controller.applyCaptureIntent(CaptureIntent::image);

    controller.show();
    co_await Platform::sleep(200ms);
    KivaroWindow *settings = controller.settingsWindow();
    QWidget *content = settings ? settings->contentView() : nullptr;
    if (!content || !controller.windowRow() || !controller.regionRow())
        failWith(QStringLiteral("快捷键设置窗口未打开"));

    controller.apply(on(regionChord), R);
    if (!holds(region, regionChord) || !holds(window, CaptureShortcut::standard()))
        failWith(QStringLiteral("Independent region shortcut did not register"));

    expectRefused(controller, on(CaptureShortcut::standard()), R,
                  [&] { return holds(region, regionChord) && holds(window, CaptureShortcut::standard()); },
                  QStringLiteral("Duplicate shortcuts accepted"));

    controller.regionRow()->clear()->click();
    if (!isFree(region) || !holds(window, CaptureShortcut::standard())
        || controller.regionRow()->recorder()->text() != kivaroCopy(QStringLiteral("未设置")))
        failWith(QStringLiteral("Clearing region affected window capture"));

    controller.windowRow()->clear()->click();
    if (!isFree(window) || CaptureModeShortcuts::read(W, *run.suite).enabled || CaptureModeShortcuts::read(R, *run.suite).enabled)
        failWith(QStringLiteral("Both shortcuts could not be left unset"));

    controller.windowRow()->recorder()->click();
    if (!controller.windowRow()->recorder()->recording)
        failWith(QStringLiteral("Native key input did not restore an unset shortcut"));
    typeIntoWindow(settings, recorded, HotKeyMask::control | HotKeyMask::command);
    if (!holds(window, recorded) || controller.windowRow()->recorder()->recording || controller.regionRow()->recorder()->recording)
        failWith(QStringLiteral("Native key input did not restore an unset shortcut"));

    controller.apply(on(optionChord), R);
    if (!holds(window, recorded) || !holds(region, optionChord))
        failWith(QStringLiteral("Explicit Option shortcut conflicted with implicit switching"));

    for (const auto &[name, appearance] : {std::pair{QStringLiteral("light"), Appearance::light}, std::pair{QStringLiteral("dark"), Appearance::dark}}) {
        if (controller.settingsWindow())
            AppearanceManager::shared().setAppearance(controller.settingsWindow(), appearance);
        co_await Platform::sleep(250ms);
        co_await PrototypeVerification::snapshotAfterEvents(content, QDir(output).filePath(QStringLiteral("two-shortcuts-") + name + QStringLiteral(".png")));
    }
    controller.regionRow()->clear()->click();
    co_await PrototypeVerification::snapshotAfterEvents(content, QDir(output).filePath(QStringLiteral("06-shortcut-settings.png")));

    run.reopened = std::make_unique<Shell::ShortcutSettingsController>(run.window.get(), run.region.get(), nullptr, *run.suite,
                                                                       [] {});
    try {
        CaptureModeShortcuts::migrate(run.reopened->defaults());
    } catch (...) {
    }
    if (stored(W, run.reopened->defaults()) != recorded || CaptureModeShortcuts::read(R, run.reopened->defaults()).enabled)
        failWith(QStringLiteral("Independent preferences did not survive reopening"));
}

} // namespace

QByteArray passRecord()
{
    return QByteArray(passText);
}

Platform::Task<void> run(QString output)
{
    co_await Platform::yieldToEventLoop();
    Run state;
    state.suiteName = QString::fromLatin1(suitePrefix) + QUuid::createUuid().toString(QUuid::WithoutBraces);
    try {
        state.suite = Platform::UserDefaults::suite(state.suiteName);
    } catch (...) {
        failWith(QStringLiteral("隔离设置不可用"));
    }
    state.window = std::make_unique<GlobalShortcut>([] {});
    state.region = std::make_unique<GlobalShortcut>([] {});
    state.blocking = std::make_unique<GlobalShortcut>([] {});
    state.controller = std::make_unique<Shell::ShortcutSettingsController>(state.window.get(), state.region.get(), nullptr,
                                                                           *state.suite, [] {});
    std::exception_ptr failure;
    try {
        co_await checks(state, output);
        VerificationSupport::writeEvidence(QDir(output).filePath(QStringLiteral("two-shortcuts-result.json")), passRecord());
        if (KivaroWindow *window = state.controller->settingsWindow())
            window->close();
    } catch (...) {
        failure = std::current_exception();
    }
    state.cleanUp();
    // The application's own hot key comes back on every way out; without it the run cannot pass.
    const std::optional<QString> restoreError = state.application.restore();
    if (failure)
        std::rethrow_exception(failure);
    if (restoreError) {
        ::unlink(QFile::encodeName(QDir(output).filePath(QStringLiteral("two-shortcuts-result.json"))).constData());
        failWith(*restoreError);
    }
}

} // namespace Kivaro::ShortcutVerification
