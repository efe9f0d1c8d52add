// The full suite's run, its second half with the sub-runs, and its two summaries.

#include "Kivaro/verification/PrototypeSuite.h"

#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/editor/CanvasBackgroundView.h"
#include "Kivaro/editor/EditorController.h"
#include "Kivaro/verification/AnnotationToolsVerification.h"
#include "Kivaro/verification/AppearanceVerification.h"
#include "Kivaro/verification/CaptureCompletionVerification.h"
#include "Kivaro/verification/CaptureImprovementsVerification.h"
#include "Kivaro/verification/CaptureWorkflowVerification.h"
#include "Kivaro/verification/MenuVerification.h"
#include "Kivaro/verification/PrototypeVerification.h"
#include "Kivaro/verification/RunRecords.h"
#include "Kivaro/verification/support/EvidenceFiles.h"
#include "Kivaro/verification/SharingVerification.h"
#include "Kivaro/verification/ShortcutVerification.h"
#include "Kivaro/verification/TextRecognitionVerification.h"
#include "Kivaro/verification/UpdatePromptVerification.h"
#include "Kivaro/verification/UpdateVerification.h"
#include "Kivaro/verification/VoiceInteractionVerification.h"
#include "Kivaro/verification/VoiceRetryVerification.h"
#include "KivaroCore/LaunchArguments.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/Markup/Markup.h"
#include "Platform/Markup/MarkupCanvas.h"
#include "Platform/Pasteboard/Pasteboard.h"
#include "TellumoCore/ScreenRegionCapture.h"

#include <QApplication>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLayout>

#include <chrono>
#include <cstdio>

namespace Kivaro::PrototypeVerification {

using namespace std::chrono_literals;

const QStringList &suiteRecords()
{
    static const QStringList names = RunRecords::names(RunRecords::Run::suite);
    return names;
}

QByteArray passingSummary(const QStringList &checks, bool speechFixture, bool screenRecordingPermission)
{
    // QJsonObject keeps its keys sorted.
    const QJsonObject summary{
        {QStringLiteral("status"), QStringLiteral("passed")},
        {QStringLiteral("environment"), QStringLiteral("native-linux")},
        {QStringLiteral("checks"), QJsonArray::fromStringList(checks)},
        {QStringLiteral("microphoneVerified"), false},
        {QStringLiteral("realMouseInteractionVerified"), false},
        {QStringLiteral("speechFixture"), speechFixture},
        {QStringLiteral("screenRecordingPermission"), screenRecordingPermission},
        {QStringLiteral("minimumOS"), QStringLiteral("Debian 12 / Qt 6.4")},
    };
    return QJsonDocument(summary).toJson(QJsonDocument::Indented);
}

QByteArray failedSummary(const QStringList &checks, const QString &error)
{
    const QJsonObject summary{
        {QStringLiteral("status"), QStringLiteral("failed")},
        {QStringLiteral("checks"), QJsonArray::fromStringList(checks)},
        {QStringLiteral("error"), error},
    };
    return QJsonDocument(summary).toJson(QJsonDocument::Indented);
}

namespace detail {

namespace {

Platform::Markup canvasMarkup(const ShotDocument *document)
{
    const Platform::MarkupCanvas *canvas = document->canvas();
    return canvas && canvas->markup() ? *canvas->markup() : Platform::Markup(QRectF());
}

// Sets the content size of the editor's window; nothing when the view has no window.
void resizeEditor(EditorController *editor, const QSize &size)
{
    QWidget *view = editor->view();
    auto *window = view ? qobject_cast<KivaroWindow *>(view->window()) : nullptr;
    if (window && window != view)
        window->setContentSize(size);
}

void layOut(QWidget *view)
{
    if (!view)
        return;
    QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    if (QLayout *layout = view->layout())
        layout->activate();
}

} // namespace

Platform::Task<void> secondHalf(SuiteRun &run)
{
    EditorController *editor = run.editor;
    ShotDocument *document = editor->document();
    const QString output = run.output;

    snapshot(editor->view(), run.path(QStringLiteral("02-annotated.png")));

    // The third element's text, set on the canvas itself, then saved and read back.
    Platform::Markup markup = canvasMarkup(document);
    if (markup.subelements().size() > 2) {
        Platform::MarkupElement third = markup.subelements().at(2);
        if (Platform::ShapeElement *shape = third.shape()) {
            shape->attributedText = Platform::AttributedText(QString::fromUtf8(editedNote));
            markup.subelements().updateOrAppend(third);
        }
    }
    document->canvas()->setMarkup(markup);
    const QString roundTrip = run.path(QStringLiteral("roundtrip.kivaro"));
    co_await document->save(roundTrip);
    const std::optional<ShotState> saved = document->savedState();
    require(!saved || *saved == document->state(), QStringLiteral("saved-state"));
    document->open(roundTrip);
    bool persisted = false;
    const Platform::Markup reopened = canvasMarkup(document);
    for (const Platform::MarkupElement &element : reopened.subelements())
        if (const Platform::ShapeElement *shape = element.shape(); shape && shape->attributedText.string() == QString::fromUtf8(editedNote))
            persisted = true;
    require(persisted, QStringLiteral("edit-persistence"));
    run.checks.append(QString::fromUtf8(SuiteCheck::projectRoundTrip));

    const QByteArray png = co_await document->png(std::nullopt, false);
    VerificationSupport::writeEvidence(run.path(QStringLiteral("03-export.png")), png);
    const QImage exported = QImage::fromData(png, "PNG");
    if (exported.isNull())
        throw ShotError::message(QStringLiteral("PNG 解码失败"));
    require(exported.width() == 960 && exported.height() == 600, QStringLiteral("export-original-pixels"));
    const QColor corner = exported.pixelColor(26, 26).toRgb();
    require(corner.isValid() && corner.redF() > corner.blueF() + 0.2, QStringLiteral("export-upright"));

    run.pasteboard = Platform::Pasteboard::withUniqueName();
    co_await editor->copy(run.pasteboard);
    require(run.pasteboard->data(Platform::PasteboardType::png).has_value(), QStringLiteral("clipboard-png"));
    run.checks.append(QString::fromUtf8(SuiteCheck::exportAndPasteboard));

    co_await CaptureWorkflowVerification::run(editor, output);
    run.checks.append(QString::fromUtf8(SuiteCheck::captureWorkflow));

    co_await TextRecognitionVerification::run(editor, output);
    run.checks.append(QString::fromUtf8(SuiteCheck::textRecognition));

    if (const std::optional<QString> fixture = argument(QStringLiteral("--speech-fixture"))) {
        co_await VoiceRetryVerification::run(editor, *fixture, output);
        run.checks.append(QString::fromUtf8(SuiteCheck::voiceRetry));
    }

    const Platform::MarkupCanvas *canvas = document->canvas();
    require(canvas && canvas->contentVisibleFrame().width() > 0, QStringLiteral("visible-frame"));
    resizeEditor(editor, QSize(760, 540));
    layOut(editor->view());
    document->fit();
    co_await Platform::sleep(300ms);
    snapshot(editor->view(), run.path(QStringLiteral("04-small-window.png")));
    run.checks.append(QString::fromUtf8(SuiteCheck::smallWindow));

    co_await CaptureImprovementsVerification::run(editor, output);
    co_await SharingVerification::run(editor, output);
    co_await MenuVerification::run(editor, output);
    co_await AnnotationToolsVerification::run(editor, output);
    run.checks.append(QString::fromUtf8(SuiteCheck::annotationTools));
    run.checks.append(QString::fromUtf8(SuiteCheck::sharing));

    co_await VoiceInteractionVerification::run(editor, output);
    run.checks.append(QString::fromUtf8(SuiteCheck::voiceInteraction));

    co_await UpdatePromptVerification::run(output);
    co_await UpdateVerification::run(output);
    run.checks.append(QString::fromUtf8(SuiteCheck::updater));

    co_await CaptureCompletionVerification::run(editor, output);
    run.checks.append(QString::fromUtf8(SuiteCheck::captureCompletion));

    co_await Platform::sleep(350ms);
    co_await ShortcutVerification::run(output);
    run.checks.append(QString::fromUtf8(SuiteCheck::shortcuts));

    resizeEditor(editor, QSize(1080, 760));
    document->fit();
    co_await AppearanceVerification::content(editor, output);
    run.checks.append(QString::fromUtf8(SuiteCheck::contentAppearance));
}

} // namespace detail

Platform::Task<void> run(EditorController *editor)
{
    const StandaloneRun standalone(QString::fromUtf8(suiteFailurePrefix), suiteRecords());
    detail::SuiteRun suite;
    suite.editor = editor;
    std::exception_ptr failure;
    try {
        suite.output = standalone.requireFolder();
        co_await Platform::sleep(700ms);
        co_await detail::startUp(suite);
        co_await detail::annotation(suite);
        co_await detail::secondHalf(suite);
        const bool fixture = argument(QStringLiteral("--speech-fixture")).has_value();
        standalone.write(QStringLiteral("summary.json"),
                         passingSummary(suite.checks, fixture, Tellumo::ScreenRegionCapture::permissionGranted()));
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        if (suite.pasteboard)
            suite.pasteboard->releaseGlobally();
        const QString error = describe(failure);
        standalone.fail(error, failedSummary(suite.checks, error));
    }
    const QByteArray line = QByteArray(suitePassPrefix) + QFile::encodeName(suite.output) + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    StandaloneRun::end(0);
}

} // namespace Kivaro::PrototypeVerification
