#include "Kivaro/voice-and-text/internal/IntegratedTellumoSettings.h"

#include "Kivaro/controls/KivaroFieldStyle.h"
#include "Kivaro/controls/KivaroTabButton.h"
#include "KivaroCore/Localization.h"
#include "TellumoRuntime/TellumoAISettingsView.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

namespace Kivaro {

IntegratedTellumoSettings::IntegratedTellumoSettings(Tellumo::TellumoPreferences *preferences,
                                                     std::shared_ptr<Tellumo::PolishingSession> session, QWidget *parent)
    : QWidget(parent), m_aiTab(new KivaroTabButton(kivaroCopy("AI 润色"), QStringLiteral("sparkles"))),
      m_view(new Tellumo::TellumoAISettingsView(preferences, true, std::move(session)))
{
    m_aiTab->setSelected(true);
    connect(m_aiTab, &KivaroTabButton::clicked, this, [this] {
        m_selectedTab = 0;
        m_aiTab->setSelected(true);
    });
    for (QLineEdit *field : m_view->textFields())
        KivaroFieldStyle::apply(field);

    auto *tabs = new QHBoxLayout;
    tabs->setSpacing(8);
    tabs->addWidget(m_aiTab, 0, Qt::AlignVCenter);
    tabs->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(16);
    layout->addLayout(tabs);
    layout->addWidget(m_view, 1);
}

} // namespace Kivaro
