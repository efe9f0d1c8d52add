#include "Kivaro/shell/CaptureShortcutRow.h"

#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/controls/KivaroTextLabel.h"
#include "KivaroCore/Localization.h"
#include "NativeAppAppearance/NativeFonts.h"

#include <QHBoxLayout>

namespace Kivaro {

using NativeAppAppearance::DynamicColor;

CaptureShortcutRow::CaptureShortcutRow(CaptureSelectionMode mode, CaptureShortcutPreferences preferences,
                                       std::function<void(bool)> recordingChanged, QWidget *parent)
    : QWidget(parent)
    , m_recorder(new ShortcutRecorder(this))
    , m_clear(new KivaroButton(this))
    , m_mode(mode)
    , m_preferences(preferences)
{
    m_recorder->recordingChanged = std::move(recordingChanged);
    m_recorder->setFixedWidth(recorderWidth);
    m_recorder->setAccessibleName(CaptureSelectionModes::title(mode));
    m_recorder->changed = [this](CaptureShortcut binding) {
        if (changed)
            changed(CaptureShortcutPreferences{binding, true});
    };
    connect(m_recorder, &QAbstractButton::clicked, this, &CaptureShortcutRow::record);

    m_clear->setSymbol(QStringLiteral("xmark.circle.fill"));
    m_clear->setImagePosition(KivaroButton::ImagePosition::imageOnly);
    m_clear->setContentTintColor(DynamicColor::secondaryLabel);
    m_clear->setFixedSize(20, 24);
    m_clear->setToolTip(kivaroCopy(QStringLiteral("清除快捷键")));
    // Two rows, two clear buttons: each is named after its mode.
    m_clear->setAccessibleName(kivaroFormat(QStringLiteral("清除“%@”的快捷键"), CaptureSelectionModes::title(mode)));
    connect(m_clear, &QAbstractButton::clicked, this, &CaptureShortcutRow::removeBinding);

    auto *title = new KivaroTextLabel(CaptureSelectionModes::title(mode), NativeAppAppearance::NativeFonts::system(13),
                                      DynamicColor::label, 1, this);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(title, 0, Qt::AlignVCenter | Qt::AlignLeft);
    layout->addStretch(1);
    layout->addWidget(m_recorder, 0, Qt::AlignVCenter);
    layout->addSpacing(8);
    layout->addWidget(m_clear, 0, Qt::AlignVCenter);
    setFixedHeight(rowHeight);
    refresh(preferences);
}

QSize CaptureShortcutRow::sizeHint() const
{
    return {QWidget::sizeHint().width(), rowHeight};
}

void CaptureShortcutRow::refresh(const CaptureShortcutPreferences &preferences)
{
    m_preferences = preferences;
    m_recorder->binding = preferences.binding;
    if (!m_recorder->recording)
        m_recorder->setTitle(preferences.enabled ? preferences.binding.title() : kivaroCopy(QStringLiteral("未设置")));
    m_clear->setEnabled(preferences.enabled);
}

void CaptureShortcutRow::record()
{
    if (!m_recorder->isEnabled() || m_recorder->recording)
        return;
    m_recorder->recording = true;
    m_recorder->setTitle(kivaroCopy(QStringLiteral("按下组合键…")));
    m_recorder->setFocus(Qt::MouseFocusReason);
    if (m_recorder->recordingChanged)
        m_recorder->recordingChanged(true);
}

void CaptureShortcutRow::removeBinding()
{
    if (m_recorder->recording)
        m_recorder->cancel();
    if (changed)
        changed(CaptureShortcutPreferences{m_preferences.binding, false});
}

} // namespace Kivaro
