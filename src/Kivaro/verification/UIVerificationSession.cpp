#include "Kivaro/verification/UIVerificationSession.h"

#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/document/SampleImage.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/editor/CanvasBackgroundView.h"
#include "Kivaro/editor/CompactStatusLabel.h"
#include "Kivaro/editor/EditorController.h"
#include "Kivaro/editor/VoiceAnnotation.h"
#include "KivaroCore/PointerTrace.h"
#include "Kivaro/shell/AppDelegate.h"
#include "Kivaro/shell/capture/CaptureIntent.h"
#include "Kivaro/shell/capture/GlobalShortcut.h"
#include "Kivaro/verification/PrototypeVerification.h"
#include "Kivaro/verification/RunRecords.h"
#include "Kivaro/verification/support/EvidenceFiles.h"
#include "KivaroCore/EvidenceFolder.h"
#include "KivaroCore/LaunchArguments.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/Files/PrivateFiles.h"
#include "Platform/Markup/MarkupCanvas.h"
#include "TellumoCore/ScreenRegionCapture.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <unistd.h>

namespace Kivaro {

using PrototypeVerification::argument;
using PrototypeVerification::hasFlag;

namespace {

// The synthetic target offers no closing: a close request from the window manager is refused.
class TargetWindow final : public QWidget {
public:
    TargetWindow() : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint) {}

protected:
    void closeEvent(QCloseEvent *event) override { event->ignore(); }
};

bool isShown(QWidget *window)
{
    return window && window->isVisible() && !window->isMinimized();
}

} // namespace

UIVerificationSession::UIVerificationSession(EditorController *editor, AppDelegate *delegate, QObject *parent)
    : QObject(parent), m_editor(editor), m_delegate(delegate)
{
    // The run's folder: the named one main() checked, or the fresh private one; never a fixed
    // name in the shared temporary folder.
    if (const auto folder = PrototypeVerification::evidenceFolder())
        if (!Platform::ensurePrivateFolder(*folder))
            m_output = *folder;
    // An earlier session's records and traces in a reused folder go first: its microphone check
    // must not pass for this session's, nor its trace lines run on into this session's.
    RunRecords::remove(m_output, RunRecords::Run::session);
    if (!m_output.isEmpty())
        Platform::writePrivateFile(QDir(m_output).filePath(QStringLiteral("process.pid")), QByteArray::number(qint64(::getpid())));

    if (const auto image = argument(QStringLiteral("--ui-image")); image && m_editor) {
        QImage decoded;
        try {
            decoded = Tellumo::ScreenRegionCapture::decodeCapture(*image);
        } catch (...) {
            decoded = QImage();
        }
        if (!decoded.isNull()) {
            m_editor->document()->load(decoded, true);
            m_editor->showEditor();
            Platform::start(baseline(QPointer<UIVerificationSession>(this)), this);
        }
    }

    if (hasFlag(QStringLiteral("--verify-share-action"))) {
        QPointer<EditorController> editorRef = m_editor;
        QTimer::singleShot(1000, this, [editorRef] {
            // copyImage() itself does nothing without an image or while the editor is busy.
            if (editorRef)
                editorRef->copyImage();
        });
    }

    m_menu = new QMenu(QStringLiteral("验证"));
    m_menu->setObjectName(QStringLiteral("verificationMenu"));
    m_menu->addAction(QStringLiteral("显示合成截图目标"), QKeySequence(Qt::CTRL | Qt::Key_T), this, &UIVerificationSession::showTarget);
    m_menu->addAction(QStringLiteral("保存验证证据"), QKeySequence(Qt::CTRL | Qt::Key_E), this, &UIVerificationSession::saveEvidence);
    m_menu->addAction(QStringLiteral("验证麦克风"), QKeySequence(Qt::CTRL | Qt::Key_M), this, &UIVerificationSession::checkMicrophone);
    if (m_delegate)
        m_delegate->appendMainMenu(m_menu);
}

UIVerificationSession::~UIVerificationSession()
{
    delete m_targetWindow.data();
    delete m_menu;
}

void UIVerificationSession::write(const QString &name, const QByteArray &bytes) const
{
    if (m_output.isEmpty())
        throw ShotError::message(QStringLiteral("no evidence folder"));
    // Nothing goes into a folder that was replaced by a link or opened to others since the start.
    if (!Kivaro::detail::PointerTrace::isValidFolder(m_output))
        throw ShotError::message(QStringLiteral("the evidence folder %1 is not a private folder of this user").arg(m_output));
    VerificationSupport::writeEvidence(QDir(m_output).filePath(name), bytes);
}

Platform::Task<void> UIVerificationSession::baseline(QPointer<UIVerificationSession> self)
{
    co_await Platform::yieldToEventLoop();
    if (!self || !self->m_editor)
        co_return;
    try {
        const QByteArray png = co_await self->m_editor->document()->png(std::nullopt, false);
        if (self)
            self->write(QStringLiteral("ui-baseline.png"), png);
    } catch (...) {
        // The baseline is a convenience: without it the session goes on.
    }
}

void UIVerificationSession::showTarget()
{
    if (!m_targetWindow) {
        auto *window = new TargetWindow;
        window->setObjectName(QStringLiteral("verificationTarget"));
        window->setWindowTitle(QStringLiteral("Kivaro 合成截图目标"));
        window->setFixedSize(960, 600);
        auto *layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        auto *picture = new QLabel(window);
        picture->setAlignment(Qt::AlignCenter);
        picture->setPixmap(QPixmap::fromImage(SampleImage::make().scaled(960, 600, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
        layout->addWidget(picture);
        window->move(180, 180);
        m_targetWindow = window;
    }
    if (m_targetWindow->isMinimized())
        m_targetWindow->showNormal();
    m_targetWindow->show();
    m_targetWindow->raise();
    m_targetWindow->activateWindow();
}

QString UIVerificationSession::nextStamp()
{
    return QString::number(QDateTime::currentSecsSinceEpoch()) + u'-' + QString::number(++m_saves);
}

void UIVerificationSession::saveEvidence()
{
    Platform::start(save(QPointer<UIVerificationSession>(this)), this);
}

QJsonObject UIVerificationSession::stateRecord() const
{
    EditorController *editor = m_editor;
    ShotDocument *document = editor ? editor->document() : nullptr;
    const Platform::MarkupCanvas *canvas = document ? document->canvas() : nullptr;
    const std::optional<Platform::Markup> markup = canvas ? canvas->markup() : std::nullopt;
    const QRectF bounds = markup ? markup->bounds() : QRectF();

    QJsonArray anchors;
    int intact = 0;
    if (document) {
        for (const AnnotationLink &link : document->links()) {
            anchors.append(QJsonObject{{QStringLiteral("x"), link.anchor.x()}, {QStringLiteral("y"), link.anchor.y()}});
            if (markup && markup->subelements().shape(link.bubbleID) && markup->subelements().shape(link.arrowID))
                ++intact;
        }
    }
    QJsonArray texts;
    if (markup)
        for (const Platform::MarkupElement &element : markup->subelements().elements())
            if (const Platform::ShapeElement *shape = element.shape())
                texts.append(shape->attributedText.string());
    QWidget *window = editor && editor->view() ? editor->view()->window() : nullptr;
    QString intent;
    switch (CaptureIntents::read(Platform::UserDefaults::standard())) {
    case CaptureIntent::image: intent = QStringLiteral("image"); break;
    case CaptureIntent::text: intent = QStringLiteral("text"); break;
    case CaptureIntent::polishedText: intent = QStringLiteral("polishedText"); break;
    }
    return QJsonObject{
        {QStringLiteral("hasImage"), document && document->hasImage()},
        {QStringLiteral("windowVisible"), window && window->isVisible()},
        {QStringLiteral("imageWidth"), bounds.width()},
        {QStringLiteral("imageHeight"), bounds.height()},
        {QStringLiteral("captureIntent"), intent},
        {QStringLiteral("links"), document ? int(document->links().size()) : 0},
        {QStringLiteral("intactLinks"), intact},
        {QStringLiteral("masks"), document ? int(document->masks().size()) : 0},
        {QStringLiteral("busy"), editor && editor->busy()},
        {QStringLiteral("captureShortcut"), GlobalShortcut::menuTitle(CaptureSelectionMode::window)},
        {QStringLiteral("texts"), texts},
        {QStringLiteral("status"), editor && editor->status() ? editor->status()->stringValue() : QString()},
        {QStringLiteral("anchors"), anchors},
    };
}

Platform::Task<void> UIVerificationSession::save(QPointer<UIVerificationSession> self)
{
    co_await Platform::yieldToEventLoop();
    if (!self || !self->m_editor)
        co_return;
    QPointer<EditorController> editor = self->m_editor;
    try {
        // 1. The folder, checked again: a folder that went away or was replaced is an error.
        if (self->m_output.isEmpty())
            throw ShotError::message(QStringLiteral("no evidence folder"));
        if (!QFileInfo::exists(self->m_output) && !QFileInfo(self->m_output).isSymLink())
            if (const auto error = Platform::ensurePrivateFolder(self->m_output))
                throw ShotError::message(*error);
        if (!Kivaro::detail::PointerTrace::isValidFolder(self->m_output))
            throw ShotError::message(QStringLiteral("the evidence folder %1 is not a private folder of this user").arg(self->m_output));
        const QString stamp = self->nextStamp();
        const QDir folder(self->m_output);
        // 2. The settings window.
        AppDelegate *delegate = self->m_delegate ? self->m_delegate.data() : AppDelegate::shared();
        if (delegate && delegate->shortcutSettings())
            if (QWidget *settings = delegate->shortcutSettings()->window(); isShown(settings))
                PrototypeVerification::snapshot(settings, folder.filePath(QStringLiteral("settings-%1.png").arg(stamp)));
        // 3. The export.
        if (editor->document()->hasImage()) {
            const QByteArray png = co_await editor->document()->png(std::nullopt, false);
            if (!self || !editor)
                co_return;
            self->write(QStringLiteral("export-%1.png").arg(stamp), png);
        }
        // 4. The state.
        const QJsonObject state = self->stateRecord();
        self->write(QStringLiteral("state-%1.json").arg(stamp), QJsonDocument(state).toJson(QJsonDocument::Indented));
        // 5. The editor window.
        QWidget *window = editor->view() ? editor->view()->window() : nullptr;
        if (window && window->isVisible())
            PrototypeVerification::snapshot(editor->view(), folder.filePath(QStringLiteral("ui-%1.png").arg(stamp)));
        editor->status()->setStringValue(QStringLiteral("验证证据已保存。"));
    } catch (...) {
        if (editor)
            editor->show(std::current_exception());
    }
}

void UIVerificationSession::checkMicrophone()
{
    if (!m_editor || m_editor->busy())
        return;
    m_editor->setBusy(true);
    Platform::start(microphone(QPointer<UIVerificationSession>(this)), this);
}

Platform::Task<void> UIVerificationSession::microphone(QPointer<UIVerificationSession> self)
{
    QPointer<EditorController> editor = self ? self->m_editor : nullptr;
    if (!editor)
        co_return;
    bool passed = false;
    try {
        VoiceAnnotation *voice = editor->voice();
        if (!voice)
            throw ShotError::message(QStringLiteral("麦克风检查需要语音标注，此版本没有语音标注"));
        co_await voice->prepare(QStringLiteral("zh-CN"), true);
        if (!editor)
            co_return;
        voice->begin();
        editor->status()->setProgressText(QStringLiteral("正在验证麦克风，8 秒后结束。"));
        co_await Platform::sleep(std::chrono::seconds(8));
        if (!editor)
            co_return;
        const QString transcript = co_await voice->finish();
        if (!editor || !self)
            co_return;
        editor->annotate(transcript, QPointF(831, 495));
        const QJsonObject record{
            {QStringLiteral("status"), QStringLiteral("passed")},
            {QStringLiteral("transcript"), transcript},
            {QStringLiteral("microphoneVerified"), true},
            {QStringLiteral("realMouseInteractionVerified"), false},
        };
        self->write(QStringLiteral("microphone-check.json"), QJsonDocument(record).toJson(QJsonDocument::Compact));
        passed = true;
    } catch (...) {
        if (editor) {
            if (VoiceAnnotation *voice = editor->voice())
                voice->cancel();
            editor->show(std::current_exception());
        }
    }
    if (editor)
        editor->setBusy(false);
    if (passed && self)
        self->saveEvidence();
}

} // namespace Kivaro
