#include "Kivaro/voice-and-text/IntegratedTellumo.h"

#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/voice-and-text/internal/IntegratedTellumoSettings.h"
#include "KivaroCore/EvidenceFolder.h"
#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/Defaults/UserDefaults.h"
#include "TellumoCore/TextPolisher.h"
#include "TellumoRuntime/AIKeychain.h"
#include "TellumoRuntime/TellumoAISettingsView.h"
#include "TellumoRuntime/TellumoPreferences.h"

#include <QDir>

namespace Kivaro {

using namespace Tellumo;

IntegratedTellumo::IntegratedTellumo(std::shared_ptr<AIKeyStore> keyStore, std::shared_ptr<PolishingSession> session, QObject *parent)
    : QObject(parent), m_keyStore(keyStore ? std::move(keyStore) : AIKeychain::forProcess()),
      m_session(session ? std::move(session) : PolishingSession::shared())
{
}

IntegratedTellumo::~IntegratedTellumo()
{
    delete m_window.data();
}

QString IntegratedTellumo::verificationPreferencesFolder()
{
    const auto evidence = PrototypeVerification::evidenceFolder();
    return evidence ? QDir(*evidence).filePath(QStringLiteral("preferences")) : QString();
}

TellumoPreferences *IntegratedTellumo::prepare()
{
    if (m_preferences)
        return m_preferences;
    const bool verifying = PrototypeVerification::isVerificationRun();
    // A verification run keeps its suite under its evidence folder, never beside the user's.
    const Platform::UserDefaults defaults =
        verifying ? Platform::UserDefaults::suite(QString::fromLatin1(TellumoPreferences::verificationSuite), verificationPreferencesFolder())
                  : Platform::UserDefaults::suite(QString::fromLatin1(TellumoPreferences::suite));
    m_preferences = new TellumoPreferences(defaults, !verifying, m_keyStore, this);
    return m_preferences;
}

Platform::Task<QString> IntegratedTellumo::polish(QString text)
{
    return polishing(this, std::move(text));
}

Platform::Task<QString> IntegratedTellumo::polishing(QPointer<IntegratedTellumo> self, QString text)
{
    if (!self)
        throw Platform::CancellationError();
    self->prepare();
    const std::shared_ptr<AIKeyStore> store = self->m_keyStore;
    const std::optional<QString> key = co_await store->read();
    if (!self)
        throw Platform::CancellationError();
    if (!key) {
        self->showSettings();
        throw ShotError::message(kivaroCopy("请先在 AI 设置中保存 API Key。"));
    }
    const TellumoPreferences *preferences = self->prepare();
    QString polished = co_await TextPolisher::polish(text, preferences->aiBaseURL(), preferences->aiModel(), preferences->polishPrompt(), *key,
                                                     self->m_session);
    co_await Platform::checkCancellation();
    co_return polished;
}

KivaroWindow *IntegratedTellumo::showSettings()
{
    TellumoPreferences *preferences = prepare();
    auto *content = new IntegratedTellumoSettings(preferences, m_session);
    m_settingsView = content->settingsView();
    if (!m_window) {
        m_window = new KivaroWindow(QRect(QPoint(0, 0), settingsContentSize), KivaroWindow::Titled | KivaroWindow::Closable);
        m_window->setTitle(kivaroCopy("识字与 AI 润色 · Tellumo"));
        m_window->setContentView(content);
        m_window->center();
    } else {
        // The old view goes later; a connection test it started is cancelled with it.
        m_window->setContentView(content);
    }
    m_window->makeKeyAndOrderFront();
    return m_window;
}

} // namespace Kivaro
