#pragma once
// The editor's one doorway to the polishing modules: it opens the Tellumo preferences on the
// right preferences domain, polishes recognised text through the AI service with the stored
// key, and shows the AI settings window.
//
// The editor creates one at start-up and keeps it as long as it lives. The preferences and the
// window are made on first use and kept; the window is hidden, not destroyed, when the user
// closes it, and every `showSettings` gives it a fresh settings view, which reads the
// preferences again. A verification run ("--verify" or "--ui-session" among the arguments) uses
// the preferences domain "kivaro-tellumo-verification", kept in the evidence folder's
// "preferences" (verificationPreferencesFolder()), and never asks the key store whether a key is
// stored when the preferences are made.
//
// Main thread only. `polish` suspends while the key store and the service answer.

#include "Kivaro/controls/KivaroWindow.h"
#include "Platform/Async/Task.h"
#include "TellumoCore/PolishingSession.h"
#include "TellumoRuntime/AIKeyStore.h"
#include "TellumoRuntime/TellumoAISettingsView.h"
#include "TellumoRuntime/TellumoPreferences.h"

#include <QObject>
#include <QPointer>
#include <QSize>

#include <memory>

namespace Kivaro {

class IntegratedTellumo final : public QObject {
    Q_OBJECT
public:
    static constexpr QSize settingsContentSize{600, 580};

    // Without a key store, the process's (AIKeychain::forProcess); without a session, the
    // application's shared one.
    explicit IntegratedTellumo(std::shared_ptr<Tellumo::AIKeyStore> keyStore = {}, std::shared_ptr<Tellumo::PolishingSession> session = {},
                               QObject *parent = nullptr);
    ~IntegratedTellumo() override;

    // The AI settings window; null until the first `showSettings`.
    KivaroWindow *window() const { return m_window; }
    // The settings view the window shows now; null until the first `showSettings`.
    Tellumo::TellumoAISettingsView *settingsView() const { return m_settingsView; }
    const std::shared_ptr<Tellumo::AIKeyStore> &keyStore() const { return m_keyStore; }

    // The preferences, made on the first call. Never throws: a domain that cannot be written
    // shows in the preferences' `settingsError`.
    Tellumo::TellumoPreferences *prepare();
    // "<evidence folder>/preferences"; empty when the run has no evidence folder, so that its
    // suite cannot be written (the settings say so) and the user's folder is never used.
    static QString verificationPreferencesFolder();

    // The polished text of `text`. Without a stored key it shows the settings window and throws
    // ShotError "请先在 AI 设置中保存 API Key。" (looked up) before any request. A key-store
    // failure (Tellumo::AIKeychainError) and the request's errors (Tellumo::TellumoError of
    // TextPolisher) pass through unchanged; a cancelled task throws CancellationError and the
    // result is dropped. The address, model and prompt are read when the request starts.
    Platform::Task<QString> polish(QString text);

    // Shows the settings window with a fresh view on the AI tab, brings it forward and returns it.
    KivaroWindow *showSettings();

private:
    static Platform::Task<QString> polishing(QPointer<IntegratedTellumo> self, QString text);

    std::shared_ptr<Tellumo::AIKeyStore> m_keyStore;
    std::shared_ptr<Tellumo::PolishingSession> m_session;
    QPointer<Tellumo::TellumoPreferences> m_preferences;
    QPointer<KivaroWindow> m_window;
    QPointer<Tellumo::TellumoAISettingsView> m_settingsView;
};

} // namespace Kivaro
