#include "Kivaro/verification/TextRecognitionVerification.h"

#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/document/LinkedAnnotations.h"
#include "Kivaro/document/ProjectArchive.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/editor/CanvasBackgroundView.h"
#include "Kivaro/editor/EditorController.h"
#include "Kivaro/verification/PrototypeVerification.h"
#include "Kivaro/verification/support/EvidenceFiles.h"
#include "Kivaro/voice-and-text/IntegratedTellumo.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/Pasteboard/Pasteboard.h"
#include "TellumoCore/TextRecognizer.h"

#include <QDir>
#include <QFontDatabase>
#include <QPainter>
#include <QPointer>

#include <chrono>
#include <memory>

namespace Kivaro::TextRecognitionVerification {

using namespace std::chrono_literals;
using PrototypeVerification::require;

namespace {

const QString sentinel = QStringLiteral("previous clipboard");

void writeEvidence(const QString &output, const QString &name, const QByteArray &bytes)
{
    VerificationSupport::writeEvidence(QDir(output).filePath(name), bytes);
}

QImage blank()
{
    QImage image(960, 600, QImage::Format_RGBA8888_Premultiplied);
    image.fill(Qt::white);
    return image;
}

Platform::Task<void> picture(QWidget *view, const QString &output, const QString &name)
{
    return PrototypeVerification::snapshotAfterEvents(view, QDir(output).filePath(name));
}

// The steps between saving the document and putting it back.
Platform::Task<void> checks(EditorController *editor, QString output, std::shared_ptr<Platform::PrivatePasteboard> &pasteboard)
{
    ShotDocument *document = editor->document();
    const QString read = co_await Tellumo::TextRecognizer::recognize(fixture());
    require(read.contains(QStringLiteral("739182")) && read.contains(QStringLiteral("246810")), QStringLiteral("shared-vision-fixture"));

    document->load(fixture(), false);
    co_await document->addMask(maskRect);

    pasteboard = Platform::Pasteboard::withUniqueName();
    co_await editor->copyRecognizedText(false, pasteboard);
    const QString copied = pasteboard->string().value_or(QString());
    writeEvidence(output, QStringLiteral("synthetic-ocr.txt"), copied.toUtf8());
    writeEvidence(output, QStringLiteral("synthetic-ocr.png"), co_await document->png(std::nullopt, false));
    require(copied.contains(QStringLiteral("246810")) && copied.contains(QStringLiteral("公开")), QStringLiteral("shared-ocr-clipboard"));
    require(!copied.contains(QStringLiteral("739182")), QStringLiteral("redaction-before-ocr"));
    co_await picture(editor->view(), output, QStringLiteral("07-ocr-redacted.png"));

    document->load(blank(), false);
    pasteboard->clearContents();
    pasteboard->setString(sentinel);
    try {
        co_await editor->copyRecognizedText(false, pasteboard);
    } catch (...) {
        // Nothing to read is expected to be refused; what counts is the pasteboard.
    }
    require(pasteboard->string() == sentinel, QStringLiteral("empty-ocr-preserves-clipboard"));

    KivaroWindow *settings = editor->tellumo() ? editor->tellumo()->showSettings() : nullptr;
    co_await Platform::sleep(300ms);
    if (settings && settings->contentView())
        co_await picture(settings->contentView(), output, QStringLiteral("08-tellumo-settings.png"));
    if (editor->tellumo() && editor->tellumo()->window())
        editor->tellumo()->window()->close();
}

} // namespace

QImage fixture()
{
    QImage image(960, 600, QImage::Format_RGBA8888);
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(36);
    painter.setFont(font);
    painter.setPen(Qt::black);
    // The drawing points are given from the bottom-left corner.
    painter.drawText(QPointF(80, 600 - 450), QStringLiteral("Confidential 739182"));
    painter.drawText(QPointF(80, 600 - 200), QStringLiteral("公开笔记 Public note 246810"));
    painter.end();
    return image;
}

Platform::Task<void> run(EditorController *editor, QString output)
{
    if (!editor || !editor->document())
        throw ShotError::message(QStringLiteral("编辑器不可用"));
    QPointer<EditorController> guard(editor);
    const QString saved = QDir(output).filePath(QStringLiteral("before-ocr.kivaro"));
    const ShotState state = LinkedAnnotations::reconcile(editor->document()->state());
    writeEvidence(output, QStringLiteral("before-ocr.kivaro"), co_await ProjectArchive::encode(state));

    std::shared_ptr<Platform::PrivatePasteboard> pasteboard;
    std::exception_ptr failure;
    try {
        co_await checks(editor, output, pasteboard);
    } catch (...) {
        failure = std::current_exception();
    }
    if (pasteboard)
        pasteboard->releaseGlobally();
    if (guard && guard->document()) {
        ShotDocument *document = guard->document();
        try {
            document->open(saved);
            document->setFileURL(std::nullopt);
            if (document->didChange)
                document->didChange();
        } catch (...) {
            // The run's own result stands; the document keeps what the run left in it.
        }
    }
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace Kivaro::TextRecognitionVerification
