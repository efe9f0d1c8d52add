#pragma once
// The content of the AI settings window: a row of tab buttons (one, "AI 润色", always
// selected) above the AI settings view in its custom presentation, whose text fields get the
// application's field look. Inset by 20 points, 16 points between the rows.

#include <QWidget>

#include <memory>

namespace Tellumo {
class PolishingSession;
class TellumoAISettingsView;
class TellumoPreferences;
} // namespace Tellumo

namespace Kivaro {

class KivaroTabButton;

class IntegratedTellumoSettings final : public QWidget {
    Q_OBJECT
public:
    IntegratedTellumoSettings(Tellumo::TellumoPreferences *preferences, std::shared_ptr<Tellumo::PolishingSession> session,
                              QWidget *parent = nullptr);

    int selectedTab() const { return m_selectedTab; }
    KivaroTabButton *aiTab() const { return m_aiTab; }
    Tellumo::TellumoAISettingsView *settingsView() const { return m_view; }

private:
    int m_selectedTab = 0;
    KivaroTabButton *m_aiTab;
    Tellumo::TellumoAISettingsView *m_view;
};

} // namespace Kivaro
