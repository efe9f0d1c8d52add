// The first half of the full suite: start-up, reopening, the empty and sample documents, the
// loaded picture, then the locked base image, the linked note, undo and redo.

#include "Kivaro/verification/PrototypeSuite.h"

#include "Kivaro/controls/KivaroModes.h"
#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/document/SampleImage.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/editor/CanvasBackgroundView.h"
#include "Kivaro/editor/EditorController.h"
#include "Kivaro/editor/InlineCaptureEditor.h"
#include "Kivaro/editor/VoiceAnnotation.h"
#include "Kivaro/recent/RecentShots.h"
#include "Kivaro/shell/AppDelegate.h"
#include "Kivaro/shell/ShortcutSettingsController.h"
#include "Kivaro/verification/AppearanceVerification.h"
#include "Kivaro/verification/PrototypeVerification.h"
#include "KivaroCore/LaunchArguments.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/Markup/Markup.h"
#include "Platform/Markup/MarkupCanvas.h"
#include "Platform/Markup/UndoManager.h"

#include <QFileInfo>

#include <chrono>
#include <cstdio>

namespace Kivaro::PrototypeVerification {

using namespace std::chrono_literals;

QString expectedWord(const QString &locale)
{
    return locale == QStringLiteral("zh-CN") ? QStringLiteral("保存") : QStringLiteral("save");
}

QString detail::SuiteRun::path(const QString &name) const
{
    return output + u'/' + name;
}

namespace detail {

namespace {

// Only the settings window shows; the editor has its window, hidden.
bool settingsOnly(EditorController *editor, const QWidget *settings)
{
    const QWidget *view = editor ? static_cast<QWidget *>(editor->view()) : nullptr;
    const QWidget *window = view ? view->window() : nullptr;
    return settings && settings->isVisible() && window && window != view && !window->isVisible();
}

QString rectangle(const QRectF &rect)
{
    return QStringLiteral("(%1, %2, %3, %4)")
        .arg(rect.x(), 0, 'f', 1)
        .arg(rect.y(), 0, 'f', 1)
        .arg(rect.width(), 0, 'f', 1)
        .arg(rect.height(), 0, 'f', 1);
}

// The window, view, canvas and visible frames, for whoever reads the run's output.
void printLayout(EditorController *editor)
{
    QWidget *view = editor->view();
    QWidget *window = view && view->window() != view ? view->window() : nullptr;
    Platform::MarkupCanvas *canvas = editor->document()->canvas();
    const QString line = QStringLiteral("LAYOUT: window=") + (window ? rectangle(QRectF(window->geometry())) : QStringLiteral("nil"))
        + QStringLiteral(" view=") + rectangle(view ? QRectF(view->geometry()) : QRectF())
        + QStringLiteral(" canvas=") + rectangle(canvas ? QRectF(canvas->geometry()) : QRectF())
        + QStringLiteral(" visible=") + rectangle(canvas ? canvas->contentVisibleFrame() : QRectF()) + u'\n';
    const QByteArray bytes = line.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

qsizetype elementCount(const ShotDocument *document)
{
    return document->markup().subelements().size();
}

} // namespace

Platform::Task<void> startUp(SuiteRun &run)
{
    EditorController *editor = run.editor;
    if (!editor || !editor->document() || !editor->recent())
        throw ShotError::message(QStringLiteral("The application has no editor to drive"));
    ShotDocument *document = editor->document();

    require(!document->hasImage(), QStringLiteral("empty-startup"));

    AppDelegate *delegate = AppDelegate::shared();
    Shell::ShortcutSettingsController *controller = delegate ? delegate->shortcutSettings() : nullptr;
    KivaroWindow *settings = controller ? controller->settingsWindow() : nullptr;
    QWidget *content = settings ? settings->contentView() : nullptr;
    if (!content)
        throw ShotError::message(QStringLiteral("启动设置窗口缺失"));

    require(settingsOnly(editor, settings), QStringLiteral("settings-only-startup"));
    snapshot(content, run.path(QStringLiteral("00-startup-settings.png")));

    settings->close();
    co_await Platform::sleep(400ms);
    // Reopening: what a second launch hands to this instance, with no window visible.
    delegate->applicationShouldHandleReopen(false);
    require(settingsOnly(editor, settings), QStringLiteral("dock-reopens-settings"));

    co_await editor->recent()->flush(document);
    require(editor->recent()->entries().isEmpty(), QStringLiteral("empty-not-archived"));

    co_await AppearanceVerification::empty(editor, run.output);

    editor->loadSample();
    for (int poll = 0; poll < 100; ++poll) {
        if (!editor->busy())
            break;
        co_await Platform::sleep(20ms);
    }
    require(document->isSample() && !editor->busy(), QStringLiteral("manual-sample-action"));

    co_await editor->recent()->flush(document);
    require(editor->recent()->entries().isEmpty(), QStringLiteral("sample-not-archived"));

    QWidget *editorWindow = editor->view()->window();
    require(editorWindow && editorWindow != editor->view() && editorWindow->isVisible() && !settings->isVisible(),
            QStringLiteral("image-opens-editor-only"));

    // From here on the picture is an ordinary shot of the user's.
    document->load(SampleImage::make(), false);
    document->fit();
    co_await Platform::sleep(200ms);

    printLayout(editor);
    require(editor->view()->width() >= 760, QStringLiteral("window-minimum-width"));
    snapshot(editor->view(), run.path(QStringLiteral("01-editor.png")));
}

Platform::Task<void> annotation(SuiteRun &run)
{
    EditorController *editor = run.editor;
    ShotDocument *document = editor->document();

    require(elementCount(document) == 1, QStringLiteral("locked-image"));
    const Platform::MarkupElement base = document->markup().subelements().at(0);
    require(base.image() && base.image()->allowedInteractions == Platform::MarkupInteractions(),
            QStringLiteral("locked-image-interactions"));
    run.checks.append(QString::fromUtf8(SuiteCheck::startUp));

    QString text;
    if (const std::optional<QString> fixture = argument(QStringLiteral("--speech-fixture"))) {
        const QString locale = argument(QStringLiteral("--locale")).value_or(QStringLiteral("en-US"));
        VoiceAnnotation *voice = editor->voice();
        if (!voice)
            throw ShotError::message(QStringLiteral("语音语言未准备完成"));
        co_await voice->prepare(locale, false);
        const std::optional<QString> prepared = voice->preparedLocale();
        if (!prepared)
            throw ShotError::message(QStringLiteral("语音语言未准备完成"));
        text = co_await voice->transcribe(QFileInfo(*fixture).absoluteFilePath(), *prepared);
        const QString word = expectedWord(locale);
        require(text.toLower().contains(word), QStringLiteral("speech-fixture-content"));
        run.checks.append(QString::fromUtf8(SuiteCheck::speechFixture) + word);
    } else {
        text = QString::fromUtf8(syntheticNote);
        run.checks.append(QString::fromUtf8(SuiteCheck::syntheticText));
    }

    editor->annotate(text, QPointF(834, 505));
    require(elementCount(document) == 3, QStringLiteral("arrow-and-bubble"));
    bool editable = false;
    const Platform::Markup annotated = document->markup();
    for (const Platform::MarkupElement &element : annotated.subelements())
        if (const Platform::ShapeElement *shape = element.shape(); shape && shape->attributedText.string() == text)
            editable = true;
    require(editable, QStringLiteral("editable-text"));
    const std::optional<ShotState> saved = document->savedState();
    require(saved && document->state() != *saved, QStringLiteral("unsaved-changes"));
    run.checks.append(QString::fromUtf8(SuiteCheck::arrowAndBubble));

    Platform::UndoManager *undo = document->canvas()->undoManager();
    if (!undo)
        throw ShotError::message(QStringLiteral("the canvas has no undo manager"));
    while (undo->groupingLevel() > 0)
        undo->endUndoGrouping();
    undo->undo();
    require(elementCount(document) == 1, QStringLiteral("undo"));
    undo->redo();
    require(elementCount(document) == 3, QStringLiteral("redo"));
    run.checks.append(QString::fromUtf8(SuiteCheck::undoRedo));

    editor->setActiveDrawingTool(std::nullopt);
    if (!editor->mode())
        throw ShotError::message(QStringLiteral("the editor has no mode control"));
    editor->mode()->setSelectedSegment(EditorController::selectSegment);
    editor->updateMode();
    co_await Platform::sleep(400ms);
}

} // namespace detail

} // namespace Kivaro::PrototypeVerification
