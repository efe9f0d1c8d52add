// Text recognition from the editor: the shot's text (privacy masks blacked out) recognised on the
// device, polished through the AI service when asked, put on the pasteboard and kept in the
// recognised-text history; the history window and sharing one of its texts as a file.
//
// The pasteboard is written once, at the end, after recognition and polishing have both
// succeeded: every failure before that leaves the user's clipboard as it was. The write is not
// preceded by a clear either, so a refused write keeps the old contents too.

#include "Kivaro/editor/EditorController.h"

#include "Kivaro/editor/CompactStatusLabel.h"
#include "Kivaro/editor/InlineCaptureEditor.h"
#include "Kivaro/editor/internal/ErrorText.h"

#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/recent/RecentShots.h"
#include "Kivaro/sharing/SharePresenter.h"
#include "Kivaro/voice-and-text/IntegratedTellumo.h"
#include "Kivaro/voice-and-text/TextHistoryWindow.h"
#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/Pasteboard/Pasteboard.h"
#include "TellumoCore/TextRecognizer.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QImageReader>
#include <QtConcurrent/QtConcurrentRun>

using namespace Platform;

namespace Kivaro {

namespace {

// The rendering decoded on a worker; a null image when it does not decode.
QImage decodeRendering(const QByteArray &png)
{
    QBuffer buffer;
    buffer.setData(png);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    return reader.read();
}

Task<QImage> awaitImage(QFuture<QImage> decoding)
{
    QImage image = co_await future(decoding);
    co_return image;
}

// Not a coroutine itself: the worker's copy of the bytes is made here, outside any coroutine
// frame, as the renderer does with its bitmap.
Task<QImage> decodeOnWorker(const QByteArray &png)
{
    return awaitImage(QtConcurrent::run([png] { return decodeRendering(png); }));
}

} // namespace

RecognizedTextHistory &EditorController::textHistory()
{
    if (!m_textHistory)
        m_textHistory.emplace(QDir(m_recent->directory()).filePath(QString::fromLatin1(RecognizedTextHistory::kFolderName)));
    return *m_textHistory;
}

// ---- the menu actions ------------------------------------------------------------------------

void EditorController::recognizeImageText()
{
    startRecognition(false);
}

void EditorController::recognizePolishedText()
{
    startRecognition(true);
}

void EditorController::startRecognition(bool polish)
{
    if (m_busy || !m_document->hasImage())
        return;
    setBusy(true);
    status()->setProgressText(polish ? kivaroCopy("正在识字并润色…") : kivaroCopy("正在识字…"));
    Platform::start(recognizing(this, polish), this);
}

Task<void> EditorController::recognizing(QPointer<EditorController> self, bool polish)
{
    if (!self)
        co_return;
    std::exception_ptr error;
    try {
        co_await self->copyRecognizedText(polish, self->m_services.pasteboard);
    } catch (...) {
        error = std::current_exception();
    }
    if (!self)
        co_return;
    if (error) {
        if (!isCancellation(error))
            self->show(error);
    } else {
        self->status()->setStringValue(self->recognizedTextStatus(polish ? kivaroCopy("已复制润色文字") : kivaroCopy("已复制识别文字")));
        self->m_inlineEditor->dismiss();
        if (self->m_window)
            self->m_window->hide();
    }
    self->setBusy(false);
}

void EditorController::captureText()
{
    captureRegion(CaptureIntent::text, std::nullopt, std::nullopt);
}

void EditorController::capturePolishedText()
{
    captureRegion(CaptureIntent::polishedText, std::nullopt, std::nullopt);
}

void EditorController::showTellumoSettings()
{
    m_tellumo->showSettings();
}

QString EditorController::recognizedTextStatus(const QString &success) const
{
    return m_textHistoryNotice.isEmpty() ? success : success + QStringLiteral(" · ") + m_textHistoryNotice;
}

// ---- recognising and copying -----------------------------------------------------------------

Task<void> EditorController::copyRecognizedText(bool polish, std::shared_ptr<Pasteboard> to)
{
    return copyingRecognizedText(this, polish, std::move(to));
}

Task<void> EditorController::copyingRecognizedText(QPointer<EditorController> self, bool polish, std::shared_ptr<Pasteboard> to)
{
    if (!self)
        throw CancellationError();
    self->m_textHistoryNotice.clear();
    QString text = co_await recognizingText(self);
    if (!self)
        throw CancellationError();
    if (polish) {
        // The bridge is the controller's child: it lives as long as `self` does.
        text = co_await self->m_tellumo->polish(text);
        if (!self)
            throw CancellationError();
    }
    co_await checkCancellation();
    if (!to->setString(text))
        throw ShotError::message(kivaroCopy("文字复制失败。"));

    RecognizedTextHistory::Appended appended;
    try {
        appended = self->textHistory().append(text, polish, QDateTime::currentDateTimeUtc());
    } catch (const RecognizedTextHistoryError &error) {
        throw ShotError::message(kivaroFormat("文字已复制，但识字记录保存失败：%@", error.description()));
    } catch (...) {
        throw ShotError::message(kivaroFormat("文字已复制，但识字记录保存失败：%@", detail::errorText(std::current_exception())));
    }
    // The entry is stored; only the oldest ones are still there. The copy succeeded, and the
    // user is told what did not happen.
    if (appended.pruneFailure)
        self->m_textHistoryNotice = kivaroFormat("旧的识字记录未能清理：%@", appended.pruneFailure->description());
}

Task<QString> EditorController::recognizedText()
{
    return recognizingText(this);
}

Task<QString> EditorController::recognizingText(QPointer<EditorController> self)
{
    if (!self)
        throw CancellationError();
    if (!self->m_document->hasImage())
        throw ShotError::message(kivaroCopy("请先截图或打开图片。"));
    // The whole picture is read: a picture beyond what the recogniser reads is refused as such
    // (the recogniser's own refusal asks for a smaller region, the renderer's speaks of export).
    const QRectF bounds = self->m_document->state().markup.bounds();
    if (bounds.width() * bounds.height() > double(Tellumo::TextRecognizer::maxPixels))
        throw ShotError::message(kivaroCopy("图片太大，无法识字。"));
    QByteArray png = co_await self->m_document->png(std::nullopt, true);
    // Decoded on a worker, like the recognition itself: a large shot must not stall the window.
    QImage image = co_await decodeOnWorker(png);
    png.clear();
    if (image.isNull())
        throw ShotError::message(kivaroCopy("无法读取识字图片。"));
    const QString text = co_await Tellumo::TextRecognizer::recognize(image);
    if (!self)
        throw CancellationError();
    if (text.isEmpty())
        throw ShotError::message(kivaroCopy("未识别到文字，原剪贴板已保留。"));
    co_return text;
}

// ---- the history window and sharing ------------------------------------------------------------

void EditorController::showTextHistory()
{
    if (m_busy)
        return;
    QList<RecognizedTextRecord> records;
    try {
        records = textHistory().entries();
    } catch (...) {
        show(std::current_exception());
        return;
    }
    const QPointer<EditorController> weak(this);
    m_textHistoryWindow->show(records, [weak](const RecognizedTextRecord &record, QWidget *anchor) {
        if (weak)
            weak->shareText(record, anchor);
    });
}

void EditorController::shareText(const RecognizedTextRecord &record, QWidget *anchor)
{
    if (m_busy)
        return;
    QString file;
    try {
        file = SharePresenter::prepare(record.text.toUtf8(), QStringLiteral("Kivaro-OCR.txt"));
    } catch (...) {
        show(std::current_exception());
        return;
    }
    const QPointer<EditorController> self(this);
    m_sharing->present(file, anchor, [self](std::exception_ptr failure) {
        if (self && failure)
            self->show(failure);
    });
}

} // namespace Kivaro
