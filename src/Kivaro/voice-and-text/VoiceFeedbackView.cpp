#include "Kivaro/voice-and-text/VoiceFeedbackView.h"

#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/controls/KivaroTextLabel.h"
#include "Kivaro/voice-and-text/internal/VoiceWaveform.h"
#include "KivaroCore/Localization.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeFonts.h"
#include "NativeAppAppearance/NativePopupButton.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHBoxLayout>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>

using namespace NativeAppAppearance;

namespace Kivaro {

namespace {

constexpr int kTickMilliseconds = 100;
constexpr double kOrbitStep = 0.18; // radians per tick
constexpr long long kWarningSeconds = 55;

std::chrono::milliseconds steadyNow()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
}

// Assistive technologies see the panel as a group, named by its headline and detail.
QAccessibleInterface *panelAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String(VoiceFeedbackView::staticMetaObject.className()) && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Grouping);
    return nullptr;
}

} // namespace

VoiceFeedbackView::VoiceFeedbackView(QWidget *parent)
    : KivaroSurface(parent),
      m_retryButton(new KivaroButton(kivaroCopy("重试"), this)),
      m_textButton(new KivaroButton(kivaroCopy("改用文字"), this)),
      m_cancelButton(new KivaroButton(kivaroCopy("取消"), this)),
      m_language(new NativePopupButton(this)),
      m_headline(new KivaroTextLabel(QString(), NativeFonts::system(13, QFont::DemiBold), DynamicColor::label, 1, this)),
      m_detail(new KivaroTextLabel(QString(), NativeFonts::system(12), DynamicColor::secondaryLabel, 2, this)),
      m_meter(new VoiceWaveform(this)),
      m_clock(steadyNow)
{
    static const bool accessible = (QAccessible::installFactory(panelAccessible), true);
    Q_UNUSED(accessible);
    m_language->addItem(kivaroCopy("普通话"), 0);
    m_language->addItem(QStringLiteral("English"), 1); // a language's own name, never translated
    m_language->setFixedWidth(104);

    constexpr int kTextWidth = 370;
    m_detail->setWrapWidth(kTextWidth);
    auto *textColumn = new QWidget(this);
    textColumn->setMaximumWidth(kTextWidth);
    auto *texts = new QVBoxLayout(textColumn);
    texts->setContentsMargins(0, 0, 0, 0);
    texts->setSpacing(4);
    texts->addWidget(m_headline, 0, Qt::AlignLeft);
    texts->addWidget(m_detail);

    auto *controls = new QHBoxLayout;
    controls->setSpacing(6);
    controls->addWidget(m_language);
    controls->addWidget(m_retryButton);
    controls->addWidget(m_textButton);
    controls->addWidget(m_cancelButton);

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(14, 12, 14, 12);
    row->setSpacing(12);
    row->addWidget(m_meter, 0, Qt::AlignVCenter);
    row->addWidget(textColumn, 0, Qt::AlignVCenter);
    // Extra width goes between the texts and the controls: the meter and the texts stay at the
    // leading edge, the controls at the trailing one.
    row->addStretch(1);
    row->addLayout(controls);

    dismiss();
}

VoiceFeedbackView::~VoiceFeedbackView() = default;

void VoiceFeedbackView::present(Phase phase, const QString &title, const QString &subtitle)
{
    stopTimer();
    m_phase = phase;
    m_headline->setText(title);
    m_headline->setTextColor(DynamicColor::label);
    m_detail->setText(subtitle);
    for (QWidget *control : {static_cast<QWidget *>(m_retryButton), static_cast<QWidget *>(m_textButton),
                             static_cast<QWidget *>(m_cancelButton), static_cast<QWidget *>(m_language)})
        control->hide();
    m_meter->setLevel(0);
    m_meter->setRecording(phase == Phase::recording);
    m_meter->setProcessing(phase == Phase::preparing || phase == Phase::processing);
    setAccessibleName(title + QStringLiteral(". ") + subtitle);
    if (phase == Phase::hidden) {
        // The hidden phase is never on screen.
        dismiss();
        return;
    }
    show();
    if (m_meter->state().processing && !AppearanceManager::shared().reducesMotion()) {
        m_timer = new QTimer(this);
        m_timer->setInterval(kTickMilliseconds);
        connect(m_timer, &QTimer::timeout, this, &VoiceFeedbackView::tickAnimation);
        m_timer->start();
    }
    update();
}

void VoiceFeedbackView::recording(std::function<double()> level)
{
    present(Phase::recording, kivaroCopy("正在录音 · 松手生成标注"), recordingDetail(0));
    m_cancelButton->show();
    m_level = std::move(level);
    m_recordingStart = m_clock();
    m_timer = new QTimer(this);
    m_timer->setInterval(kTickMilliseconds);
    connect(m_timer, &QTimer::timeout, this, &VoiceFeedbackView::tickRecording);
    m_timer->start();
}

void VoiceFeedbackView::dismiss()
{
    stopTimer();
    m_phase = Phase::hidden;
    hide();
    m_meter->setProcessing(false);
}

void VoiceFeedbackView::hideEvent(QHideEvent *event)
{
    KivaroSurface::hideEvent(event);
    Q_EMIT hidden();
}

bool VoiceFeedbackView::isTimerRunning() const
{
    return m_timer && m_timer->isActive();
}

void VoiceFeedbackView::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock(steadyNow);
}

QString VoiceFeedbackView::recordingHeadline(long long seconds)
{
    return kivaroFormat("正在录音 %@s · 松手生成标注", QString::number(seconds));
}

QString VoiceFeedbackView::recordingDetail(long long seconds)
{
    if (seconds < kWarningSeconds)
        return kivaroCopy("说出问题，例如：“这个按钮点了没反应”");
    return kivaroCopy("即将达到 60 秒，马上完成录音");
}

void VoiceFeedbackView::stopTimer()
{
    if (m_timer) {
        m_timer->stop();
        m_timer->deleteLater();
        m_timer = nullptr;
    }
    m_level = nullptr;
}

void VoiceFeedbackView::tickRecording()
{
    // Whole seconds, truncated; a clock that goes backwards reads as 0.
    const long long seconds = std::max<long long>(0, (m_clock() - m_recordingStart).count() / 1000);
    m_headline->setText(recordingHeadline(seconds));
    m_meter->setLevel(m_level ? m_level() : 0.0);
    m_detail->setText(recordingDetail(seconds));
}

void VoiceFeedbackView::tickAnimation()
{
    m_meter->setProgressPhase(m_meter->state().progressPhase + kOrbitStep);
}

} // namespace Kivaro
