#include "Kivaro/verification/AppearanceVerification.h"

#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/editor/CanvasBackgroundView.h"
#include "Kivaro/editor/EditorController.h"
#include "Kivaro/shell/AppDelegate.h"
#include "Kivaro/verification/PrototypeVerification.h"
#include "Kivaro/verification/support/SavedAppearance.h"
#include "Kivaro/verification/support/VerificationChecks.h"
#include "Kivaro/voice-and-text/IntegratedTellumo.h"
#include "Kivaro/voice-and-text/VoiceFeedbackView.h"
#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/Markup/MarkupCanvas.h"

#include <QDir>
#include <QImage>
#include <QLayout>
#include <QPointer>

#include <chrono>
#include <optional>

namespace Kivaro::AppearanceVerification {

using namespace std::chrono_literals;
using NativeAppAppearance::Appearance;
using NativeAppAppearance::AppearanceManager;
using NativeAppAppearance::DynamicColor;

namespace {

const QString notFollowing = QStringLiteral("窗口背景未跟随主题切换");

using VerificationSupport::failWith;
using VerificationSupport::SavedAppearance;

// The colour the view itself paints at its centre, without its children.
QColor ownBackground(QWidget *view)
{
    if (!view || view->size().isEmpty())
        return QColor();
    QImage image(view->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    view->render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

Platform::Task<void> apply(Appearance appearance, EditorController *editor)
{
    AppearanceManager &manager = AppearanceManager::shared();
    manager.setApplicationAppearance(appearance);
    co_await Platform::sleep(300ms);
    CanvasBackgroundView *view = editor ? editor->view() : nullptr;
    if (!view)
        failWith(notFollowing);
    if (QLayout *layout = view->layout())
        layout->activate();
    const QColor expected = NativeAppAppearance::resolve(DynamicColor::windowBackground, manager.effectiveAppearance(view));
    if (manager.effectiveAppearance(view) != appearance)
        failWith(notFollowing);
    const QColor painted = ownBackground(view);
    if (!painted.isValid() || painted.rgba() != expected.rgba())
        failWith(notFollowing);
    QWidget *canvas = editor->document() ? editor->document()->canvas() : nullptr;
    if (!canvas || manager.effectiveAppearance(canvas) != appearance)
        failWith(notFollowing);
}

Platform::Task<void> picture(QWidget *view, const QString &output, const QString &name)
{
    return PrototypeVerification::snapshotAfterEvents(view, QDir(output).filePath(name));
}

} // namespace

Platform::Task<void> empty(EditorController *editor, QString output)
{
    SavedAppearance saved;
    co_await apply(Appearance::dark, editor);
    AppDelegate *delegate = AppDelegate::shared();
    Shell::ShortcutSettingsController *settings = delegate ? delegate->shortcutSettings() : nullptr;
    QWidget *window = settings ? settings->window() : nullptr;
    auto *kivaroWindow = qobject_cast<KivaroWindow *>(window);
    QWidget *content = kivaroWindow ? kivaroWindow->contentView() : window;
    if (!content)
        failWith(QStringLiteral("设置窗口缺失"));
    co_await picture(content, output, QStringLiteral("11-dark-settings.png"));
    co_await apply(Appearance::light, editor);
}

Platform::Task<void> content(EditorController *editor, QString output)
{
    SavedAppearance saved;
    QPointer<EditorController> guard(editor);
    const auto cleanUp = [guard] {
        if (!guard)
            return;
        if (VoiceFeedbackView *voice = guard->voiceFeedback())
            voice->dismiss();
        if (guard->tellumo() && guard->tellumo()->window())
            guard->tellumo()->window()->close();
    };
    try {
        if (!editor || !editor->document())
            failWith(notFollowing);
        const QByteArray before = co_await editor->document()->png(std::nullopt, false);
        co_await apply(Appearance::dark, editor);
        co_await picture(editor->view(), output, QStringLiteral("12-dark-editor.png"));

        VoiceFeedbackView *voice = editor->voiceFeedback();
        if (!voice)
            failWith(QStringLiteral("语音反馈视图不存在"));
        voice->recording([] { return 0.65; });
        co_await Platform::sleep(250ms);
        co_await picture(editor->view(), output, QStringLiteral("13-dark-recording.png"));

        voice->present(VoiceFeedbackView::Phase::failed, kivaroCopy(QStringLiteral("没能完成语音标注")),
                       QStringLiteral("识别未完成，请重试或输入文字"));
        voice->retryButton()->show();
        voice->textButton()->show();
        voice->cancelButton()->show();
        co_await Platform::sleep(150ms);
        co_await picture(editor->view(), output, QStringLiteral("14-dark-retry.png"));

        voice->dismiss();
        KivaroWindow *ai = editor->tellumo() ? editor->tellumo()->showSettings() : nullptr;
        co_await Platform::sleep(500ms);
        if (ai && ai->contentView())
            co_await picture(ai->contentView(), output, QStringLiteral("15-dark-ai-settings.png"));
        if (editor->tellumo() && editor->tellumo()->window())
            editor->tellumo()->window()->close();
        if (KivaroWindow *window = editor->window()) {
            window->show();
            window->raise();
            window->activateWindow();
        }
        co_await apply(Appearance::light, editor);
        co_await picture(editor->view(), output, QStringLiteral("16-light-restored.png"));
        const QByteArray after = co_await editor->document()->png(std::nullopt, false);
        if (after != before)
            failWith(QStringLiteral("切换主题改变了导出图片"));
    } catch (...) {
        cleanUp();
        throw;
    }
    cleanUp();
}

} // namespace Kivaro::AppearanceVerification
