#include "Kivaro/update/UpdateSettingsView.h"

#include "Kivaro/controls/KivaroLinkButton.h"
#include "Kivaro/controls/KivaroSeparator.h"
#include "Kivaro/controls/KivaroTextLabel.h"
#include "Kivaro/controls/KivaroToggle.h"
#include "KivaroCore/Localization.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeFonts.h"
#include "NativeAppAppearance/NativeCircularProgress.h"
#include "NativeAppAppearance/NativeSoftButton.h"
#include "NativeAppUpdater/NativeAppVersion.h"
#include "NativeAppUpdater/NativeUpdater.h"

#include <QBoxLayout>

using namespace NativeAppAppearance;
using NativeAppUpdater::NativeUpdater;

namespace Kivaro {

namespace {
// The settings' headline and caption fonts.
constexpr qreal headlineSize = 13;
constexpr qreal captionSize = 11;
} // namespace

UpdateSettingsView::UpdateSettingsView(NativeUpdater *updater, QWidget *parent) : QWidget(parent), m_updater(updater)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);

    auto *divider = new KivaroSeparator(this);
    divider->setFixedHeight(1);
    column->addWidget(divider);

    auto *header = new QHBoxLayout;
    auto *title = new KivaroTextLabel(kivaroCopy("软件更新"), NativeFonts::system(headlineSize, QFont::DemiBold), DynamicColor::label,
                                     KivaroTextLabel::allLines, this);
    m_version = new KivaroTextLabel(NativeAppUpdater::NativeAppVersion::displayText(NativeAppUpdater::NativeBundle::main()),
                                    NativeFonts::system(captionSize), DynamicColor::secondaryLabel, KivaroTextLabel::allLines, this);
    m_version->setObjectName(QStringLiteral("version"));
    header->addWidget(title, 0, Qt::AlignVCenter);
    header->addStretch(1);
    header->addWidget(m_version, 0, Qt::AlignVCenter);
    column->addLayout(header);

    m_toggle = new KivaroToggle(kivaroCopy("自动检查更新"), this);
    column->addWidget(m_toggle, 0, Qt::AlignLeft);

    auto *statusRow = new QHBoxLayout;
    m_status = new KivaroTextLabel(QString(), NativeFonts::system(captionSize), DynamicColor::secondaryLabel, KivaroTextLabel::allLines, this);
    m_status->setObjectName(QStringLiteral("status"));
    m_action = new NativeSoftButton(QString(), AppearanceManager::shared().color(DynamicColor::controlAccent, this), this);
    // Turning while the updater checks or downloads, beside the status it reports.
    m_spinner = new NativeCircularProgress(this);
    m_spinner->setObjectName(QStringLiteral("spinner"));
    m_spinner->hide();
    statusRow->addWidget(m_spinner, 0, Qt::AlignVCenter);
    statusRow->addWidget(m_status, 1, Qt::AlignVCenter);
    statusRow->addWidget(m_action, 0, Qt::AlignVCenter);
    column->addLayout(statusRow);

    m_history = new KivaroLinkButton(kivaroCopy("更新日志"), this);
    m_history->setObjectName(QStringLiteral("history"));
    m_history->setPointSize(captionSize);
    column->addWidget(m_history, 0, Qt::AlignLeft);

    connect(m_toggle, &KivaroToggle::toggled, this, [this](bool on) {
        if (m_updater)
            m_updater->setAutomaticallyChecksForUpdates(on);
    });
    connect(m_action, &NativeSoftButton::clicked, this, [this] {
        if (m_updater)
            m_updater->performPrimaryAction();
    });
    connect(m_history, &KivaroLinkButton::clicked, this, [this] {
        if (m_updater)
            m_updater->openUpdateHistory();
    });
    connect(&AppearanceManager::shared(), &AppearanceManager::effectiveAppearanceChanged, this,
            [this] { m_action->setAccent(AppearanceManager::shared().color(DynamicColor::controlAccent, this)); });
    if (m_updater) {
        connect(m_updater, &NativeUpdater::stateChanged, this, &UpdateSettingsView::refresh);
        connect(m_updater, &NativeUpdater::automaticallyChecksForUpdatesChanged, this, &UpdateSettingsView::refresh);
    }
    refresh();
}

QString UpdateSettingsView::versionText() const
{
    return m_version->text();
}

QString UpdateSettingsView::statusText() const
{
    return m_status->text();
}

void UpdateSettingsView::refresh()
{
    if (!m_updater)
        return;
    {
        const QSignalBlocker blocker(m_toggle);
        m_toggle->setChecked(m_updater->automaticallyChecksForUpdates());
    }
    m_status->setText(m_updater->statusText());
    m_action->setText(m_updater->actionTitle());
    m_action->setEnabled(!m_updater->actionDisabled());
    m_action->updateGeometry();
    m_spinner->setVisible(m_updater->actionDisabled());
}

} // namespace Kivaro
