#include "Kivaro/voice-and-text/VoiceFeedbackView.h"

#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/controls/KivaroTextLabel.h"
#include "Kivaro/voice-and-text/internal/VoiceWaveform.h"
#include "KivaroCore/Localization.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativePopupButton.h"
#include "Support/TaskTesting.h"

#include <QDir>
#include <QPainter>
#include <QScopeGuard>

#include <gtest/gtest.h>

#include <cmath>

using namespace Kivaro;
using namespace NativeAppAppearance;
using namespace std::chrono_literals;
using Phase = VoiceFeedbackView::Phase;
using TestSupport::waitUntil;

namespace {

const QString kExample = QStringLiteral("说出问题，例如：“这个按钮点了没反应”");
const QString kWarning = QStringLiteral("即将达到 60 秒，马上完成录音");

class VoiceFeedbackViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        view.setClock([this] { return now; });
        view.resize(view.sizeHint());
    }

    bool controlsHidden() const
    {
        return view.retryButton()->isHidden() && view.textButton()->isHidden() && view.cancelButton()->isHidden() && view.language()->isHidden();
    }

    // Waits for the next tick of the view's timer to show through `changed`.
    bool nextTick(const std::function<bool()> &changed) { return waitUntil(changed, 2000); }

    std::chrono::milliseconds now{1'000'000};
    VoiceFeedbackView view;
};

} // namespace

TEST_F(VoiceFeedbackViewTest, StartsHiddenWithItsControls)
{
    EXPECT_EQ(view.phase(), Phase::hidden);
    EXPECT_TRUE(view.isHidden());
    EXPECT_FALSE(view.isTimerRunning());
    EXPECT_EQ(view.language()->itemTitles(), (QStringList{QStringLiteral("普通话"), QStringLiteral("English")}));
    EXPECT_EQ(view.language()->width(), 104);
    EXPECT_EQ(view.retryButton()->text(), QStringLiteral("重试"));
    EXPECT_EQ(view.textButton()->text(), QStringLiteral("改用文字"));
    EXPECT_EQ(view.cancelButton()->text(), QStringLiteral("取消"));
    EXPECT_EQ(view.meter()->size(), QSize(38, 34));
}

TEST_F(VoiceFeedbackViewTest, PresentShowsThePhaseWithItsTextsAndHidesEveryControl)
{
    view.present(Phase::failed, QStringLiteral("没能完成语音标注"), QStringLiteral("没有听清"));
    view.headline()->setTextColor(DynamicColor::systemRed);
    view.retryButton()->show();
    view.textButton()->show();
    view.cancelButton()->show();
    view.language()->show();

    view.present(Phase::ready, QStringLiteral("按住问题位置讲话"), QStringLiteral("松手生成箭头和文字 · Esc 取消"));
    EXPECT_EQ(view.phase(), Phase::ready);
    EXPECT_FALSE(view.isHidden());
    EXPECT_EQ(view.headline()->text(), QStringLiteral("按住问题位置讲话"));
    EXPECT_EQ(view.detail()->text(), QStringLiteral("松手生成箭头和文字 · Esc 取消"));
    EXPECT_EQ(view.headline()->textColor(), NativeColor(DynamicColor::label));
    EXPECT_TRUE(controlsHidden());
    EXPECT_EQ(view.accessibleName(), QStringLiteral("按住问题位置讲话. 松手生成箭头和文字 · Esc 取消"));
    const VoiceWaveform::State meter = view.meter()->state();
    EXPECT_EQ(meter.level, 0);
    EXPECT_FALSE(meter.recording);
    EXPECT_FALSE(meter.processing);
    EXPECT_FALSE(view.isTimerRunning());

    // The hidden phase is never on screen.
    view.present(Phase::hidden, QString(), QString());
    EXPECT_TRUE(view.isHidden());
    EXPECT_EQ(view.phase(), Phase::hidden);
}

TEST_F(VoiceFeedbackViewTest, PreparingAndProcessingAnimateTheMeterUnlessTheDesktopSwitchedAnimationsOff)
{
    AppearanceManager &appearance = AppearanceManager::shared();
    std::optional<bool> animations; // the desktop's enable-animations; unknown: no portal answered
    appearance.setSystemAnimationSource([&] { return animations; });
    const auto restore = qScopeGuard([&] { appearance.setSystemAnimationSource({}); });
    for (Phase phase : {Phase::preparing, Phase::processing}) {
        view.present(phase, QStringLiteral("正在准备语音…"), QString());
        EXPECT_TRUE(view.meter()->state().processing);
        ASSERT_TRUE(view.isTimerRunning());
        ASSERT_TRUE(nextTick([&] { return view.meter()->state().progressPhase > 0; }));
        EXPECT_NEAR(view.meter()->state().progressPhase, 0.18, 1e-9);
        ASSERT_TRUE(nextTick([&] { return view.meter()->state().progressPhase > 0.2; }));
        EXPECT_NEAR(view.meter()->state().progressPhase, 0.36, 1e-9);
        view.dismiss();
        EXPECT_FALSE(view.isTimerRunning());
        EXPECT_FALSE(view.meter()->state().processing);
        view.meter()->setProgressPhase(0);
    }

    animations = false;
    appearance.setSystemAnimationSource([&] { return animations; });
    view.present(Phase::processing, QStringLiteral("正在识别…"), QString());
    EXPECT_TRUE(view.meter()->state().processing); // the ring and the dot still show
    EXPECT_FALSE(view.isTimerRunning());
    EXPECT_FALSE(waitUntil([&] { return view.meter()->state().progressPhase != 0; }, 250));

    animations = true;
    appearance.setSystemAnimationSource([&] { return animations; });
    view.present(Phase::preparing, QStringLiteral("正在准备语音…"), QString());
    EXPECT_TRUE(view.isTimerRunning()) << "switched on again, the next phase animates";
}

TEST_F(VoiceFeedbackViewTest, TheRecordingClockCountsWholeSecondsAndWarnsFrom55)
{
    double level = 0.5;
    view.recording([&] { return level; });
    EXPECT_EQ(view.phase(), Phase::recording);
    EXPECT_EQ(view.headline()->text(), QStringLiteral("正在录音 · 松手生成标注"));
    EXPECT_EQ(view.detail()->text(), kExample);
    EXPECT_FALSE(view.cancelButton()->isHidden());
    EXPECT_TRUE(view.retryButton()->isHidden());
    EXPECT_TRUE(view.meter()->state().recording);
    EXPECT_FALSE(view.meter()->state().processing);

    ASSERT_TRUE(nextTick([&] { return view.headline()->text() != QStringLiteral("正在录音 · 松手生成标注"); }));
    EXPECT_EQ(view.headline()->text(), QStringLiteral("正在录音 0s · 松手生成标注"));
    EXPECT_EQ(view.meter()->state().level, 0.5);

    const struct {
        std::chrono::milliseconds elapsed;
        QString headline;
        QString detail;
    } steps[] = {{999ms, QStringLiteral("正在录音 0s · 松手生成标注"), kExample},
                 {54'900ms, QStringLiteral("正在录音 54s · 松手生成标注"), kExample},
                 {55'000ms, QStringLiteral("正在录音 55s · 松手生成标注"), kWarning},
                 {61'500ms, QStringLiteral("正在录音 61s · 松手生成标注"), kWarning}};
    const std::chrono::milliseconds start = now;
    for (const auto &step : steps) {
        now = start + step.elapsed;
        level = step.elapsed.count() / 100000.0;
        ASSERT_TRUE(nextTick([&] { return view.meter()->state().level == level; }));
        EXPECT_EQ(view.headline()->text(), step.headline);
        EXPECT_EQ(view.detail()->text(), step.detail);
    }

    // Levels outside 0...1 do not stretch the bars.
    level = std::nan("");
    ASSERT_TRUE(nextTick([&] { return view.meter()->state().level == 0; }));
    level = 7;
    ASSERT_TRUE(nextTick([&] { return view.meter()->state().level == 1; }));
}

TEST_F(VoiceFeedbackViewTest, PresentAndDismissStopTheRecordingClock)
{
    int reads = 0;
    view.recording([&] { return ++reads, 0.2; });
    ASSERT_TRUE(nextTick([&] { return reads > 0; }));
    view.present(Phase::processing, QStringLiteral("正在识别…"), QString());
    EXPECT_EQ(view.headline()->text(), QStringLiteral("正在识别…"));
    EXPECT_FALSE(view.meter()->state().recording);
    const int readsAtPresent = reads;
    now += 10s;
    ASSERT_TRUE(nextTick([&] { return view.meter()->state().progressPhase > 0; })); // the animation ticks instead
    EXPECT_EQ(reads, readsAtPresent);
    EXPECT_EQ(view.headline()->text(), QStringLiteral("正在识别…"));

    view.recording([&] { return ++reads, 0.2; });
    view.dismiss();
    EXPECT_TRUE(view.isHidden());
    EXPECT_EQ(view.phase(), Phase::hidden);
    EXPECT_FALSE(view.isTimerRunning());
    const int readsAtDismiss = reads;
    EXPECT_FALSE(waitUntil([&] { return reads != readsAtDismiss; }, 250));
}

TEST_F(VoiceFeedbackViewTest, TextsFollowTheStringTable)
{
    StringTable::overrideLanguage(QStringLiteral("en"));
    EXPECT_EQ(VoiceFeedbackView::recordingHeadline(12), QStringLiteral("Recording 12s · Release to Add Note"));
    EXPECT_EQ(VoiceFeedbackView::recordingDetail(55), QStringLiteral("Almost 60 seconds, finish recording now"));
    VoiceFeedbackView english;
    EXPECT_EQ(english.language()->itemTitles(), (QStringList{QStringLiteral("Mandarin"), QStringLiteral("English")}));
    StringTable::overrideLanguage(QStringLiteral("zh-Hant"));
    EXPECT_EQ(VoiceFeedbackView::recordingHeadline(3), QStringLiteral("正在錄音 3s · 放開生成標註"));
    StringTable::overrideLanguage({});
}

TEST(VoiceWaveform, BarsFollowTheLevelWhileRecordingAndRestOtherwise)
{
    const QSizeF size(38, 34);
    VoiceWaveform::State state;
    state.recording = true;
    const auto heights = [&] {
        QList<double> result;
        for (const QRectF &bar : VoiceWaveform::bars(state, size))
            result.append(bar.height());
        return result;
    };
    EXPECT_EQ(heights(), (QList<double>{5, 5, 5, 5, 5}));
    state.level = 1;
    EXPECT_EQ(heights(), (QList<double>{18, 28, 35, 25, 16}));
    state.recording = false;
    EXPECT_EQ(heights(), (QList<double>{8, 15, 23, 15, 8}));
    const auto bars = VoiceWaveform::bars(state, size);
    EXPECT_EQ(bars[0], QRectF(2, 13, 4, 8));
    EXPECT_EQ(bars[4], QRectF(30, 13, 4, 8));

    state.progressPhase = M_PI / 2;
    EXPECT_NEAR(VoiceWaveform::dotCentre(state, size).x(), 19, 1e-9);
    EXPECT_NEAR(VoiceWaveform::dotCentre(state, size).y(), 31, 1e-9);
}

TEST(VoiceWaveform, RecordingDrawsRedBarsAndProcessingAddsTheOrbitingDot)
{
    const auto draw = [](const VoiceWaveform::State &state, Appearance appearance) {
        QImage image(38, 34, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        VoiceWaveform::paint(painter, state, image.size(), appearance);
        return image;
    };
    VoiceWaveform::State state;
    state.recording = true;
    state.level = 1;
    EXPECT_EQ(draw(state, Appearance::dark).pixelColor(16, 17).rgb(), resolve(DynamicColor::systemRed, Appearance::dark).rgb());
    state = {};
    EXPECT_EQ(draw(state, Appearance::light).pixelColor(16, 17).rgb(), resolve(DynamicColor::controlAccent, Appearance::light).rgb());
    EXPECT_EQ(draw(state, Appearance::light).pixelColor(35, 17).alpha(), 0);
    state.processing = true; // phase 0: the dot sits at the right, 16 points from the middle
    EXPECT_EQ(draw(state, Appearance::light).pixelColor(35, 17).rgb(), resolve(DynamicColor::controlAccent, Appearance::light).rgb());
}

// The panel as a user sees it, in both appearances at 2x. Set KIVARO_TEST_SNAPSHOTS to a folder
// to keep the pictures.
TEST(VoiceFeedbackViewLook, DrawsItsSurfaceInEachAppearance)
{
    for (Appearance appearance : {Appearance::light, Appearance::dark}) {
        for (Phase phase : {Phase::ready, Phase::preparing, Phase::recording, Phase::processing, Phase::failed, Phase::success}) {
            VoiceFeedbackView view;
            AppearanceManager::shared().setAppearance(&view, appearance);
            if (phase == Phase::recording) {
                view.recording([] { return 0.6; });
                view.meter()->setLevel(0.6); // as after the first tick
            } else if (phase == Phase::ready) {
                view.present(phase, QStringLiteral("按住问题位置讲话"), QStringLiteral("松手生成箭头和文字 · Esc 取消"));
                view.language()->show();
            } else if (phase == Phase::failed) {
                view.present(phase, QStringLiteral("没能完成语音标注"),
                             QStringLiteral("没有识别到语音内容。请靠近麦克风，再按住问题位置说一遍；也可以改用文字标注。"));
                view.retryButton()->show();
                view.textButton()->show();
                view.cancelButton()->show();
            } else if (phase == Phase::preparing) {
                view.present(phase, QStringLiteral("正在准备语音…"), QStringLiteral("正在下载语音模型… 42%"));
                view.cancelButton()->show();
                view.meter()->setProgressPhase(0.4);
            } else if (phase == Phase::success) {
                view.present(phase, QStringLiteral("标注已生成，再说一处？"), QStringLiteral("松手生成箭头和文字 · Esc 取消"));
                view.language()->show();
            } else {
                view.present(phase, QStringLiteral("正在生成标注…"), QStringLiteral("语音在本机识别，箭头会指向刚才按住的位置"));
                view.cancelButton()->show();
                view.meter()->setProgressPhase(0.9);
            }
            view.resize(view.sizeHint().expandedTo(QSize(560, 0)));
            QImage image(view.size() * 2 + QSize(48, 48), QImage::Format_ARGB32_Premultiplied);
            image.setDevicePixelRatio(2);
            image.fill(appearance == Appearance::dark ? QColor(30, 30, 32) : QColor(236, 236, 238));
            view.render(&image, QPoint(12, 12), QRegion(), QWidget::DrawChildren);

            // The surface inside its outline has the window background of its appearance.
            const QColor inside = image.pixelColor(2 * (12 + view.width() / 2), 2 * (12 + 4));
            EXPECT_EQ(inside.rgb(), resolve(DynamicColor::windowBackground, appearance).rgb());
            const QString folder = qEnvironmentVariable("KIVARO_TEST_SNAPSHOTS");
            if (!folder.isEmpty()) {
                QDir().mkpath(folder);
                image.save(QStringLiteral("%1/voice-%2-%3.png").arg(folder, appearanceName(appearance)).arg(int(phase)));
            }
        }
    }
}
