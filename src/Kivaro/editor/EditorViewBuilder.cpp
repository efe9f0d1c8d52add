// The editor window's content: built once, with the controller, and wired to it.

#include "Kivaro/editor/EditorController.h"

#include "Kivaro/editor/AnnotationFloatingPanel.h"
#include "Kivaro/editor/CanvasBackgroundView.h"
#include "Kivaro/editor/CompactStatusLabel.h"
#include "Kivaro/editor/EditorDockView.h"
#include "Kivaro/editor/HoldOverlay.h"
#include "Kivaro/editor/InlineCaptureEditor.h"
#include "Kivaro/editor/LinkedBubbleInteraction.h"
#include "Kivaro/editor/TransparencyGridView.h"
#include "Kivaro/editor/VoiceAnnotation.h"
#include "Kivaro/editor/internal/EditorLayout.h"
#include "Kivaro/editor/internal/EditorViews.h"
#include "Kivaro/editor/internal/RoundedCornerMask.h"

#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/controls/KivaroModes.h"
#include "Kivaro/controls/KivaroSeparator.h"
#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/recent/RecentShots.h"
#include "Kivaro/voice-and-text/VoiceFeedbackView.h"
#include "KivaroCore/Localization.h"
#include "NativeAppAppearance/NativeMenuRow.h"
#include "NativeAppAppearance/NativePopupButton.h"

#include <QHBoxLayout>
#include <QShortcut>

using namespace NativeAppAppearance;

namespace Kivaro {

using detail::EditorLayout;
using detail::EditorViews;
using detail::RoundedCornerMask;

namespace {

constexpr qreal kCanvasHostRadius = 10;
constexpr qreal kDockRadius = 16;

KivaroButton *iconButton(const QString &title, const QString &symbol)
{
    auto *button = new KivaroButton;
    button->setSymbol(symbol);
    button->setImagePosition(KivaroButton::ImagePosition::imageOnly);
    button->setToolTip(title);
    button->setAccessibleName(title);
    button->setFixedSize(30, 30);
    return button;
}

KivaroSeparator *divider()
{
    auto *line = new KivaroSeparator;
    line->setFixedSize(1, 20);
    return line;
}

} // namespace

void EditorController::loadView()
{
    EditorViews &v = *m_views;
    v.root = new CanvasBackgroundView;
    v.root->resize(EditorLayout::preferredSize);

    v.mode = new KivaroModes({kivaroCopy("语音标注"), kivaroCopy("文字标注"), kivaroCopy("编辑"), kivaroCopy("马赛克")}, v.root);
    const struct {
        QString title;
        bool labelled;
        const char *symbol;
    } segments[] = {
        {kivaroCopy("语音标注"), true, "mic"},
        {kivaroCopy("文字标注"), false, "text.bubble"},
        {kivaroCopy("选择与编辑"), false, "cursorarrow"},
        {kivaroCopy("隐私马赛克"), false, "square.grid.3x3.fill"},
    };
    for (int k = 0; k < 4; ++k) {
        v.mode->setLabel(k, segments[k].labelled ? segments[k].title : QString());
        v.mode->setSymbol(k, QString::fromLatin1(segments[k].symbol));
        v.mode->setWidth(k, segments[k].labelled ? 94 : 34);
        v.mode->setSegmentToolTip(k, segments[k].title);
        v.mode->setImageDescription(k, segments[k].title);
    }
    v.mode->setSelectedSegment(selectSegment);
    connect(v.mode, &KivaroModes::activated, this, [this] { modeChanged(); });

    // The canvas host: the checkerboard behind the picture. Above it the surround (the
    // checkerboard around the picture), then the canvas, then the overlay. The surround lies
    // beneath the canvas rather than over it, so the selection handles the canvas draws past
    // the picture's edge stay visible.
    v.canvasHost = new TransparencyGridView(v.root);
    v.surround = new TransparencyGridView(v.canvasHost);
    v.surround->setExcluding([self = QPointer<EditorController>(this)] { return self ? self->surroundExclusion() : QRectF(); });
    Platform::MarkupCanvas *canvas = m_document->canvas();
    canvas->setParent(v.canvasHost);
    canvas->setDrawsBackdrop(false);
    v.overlay = new HoldOverlay(v.canvasHost);
    v.corners = new RoundedCornerMask(kCanvasHostRadius, v.canvasHost);

    v.dock = new EditorDockView(v.root);
    v.dock->setRadius(kDockRadius);
    v.dock->setBorderWidth(0.5);
    v.grain = new NativePopupButton;
    v.grain->addItem(kivaroCopy("细 · 12 px"), 12);
    v.grain->addItem(kivaroCopy("中 · 24 px"), 24);
    v.grain->addItem(kivaroCopy("粗 · 40 px"), 40);
    v.grain->addItem(kivaroCopy("特粗 · 64 px"), 64);
    v.grain->setToolTip(kivaroCopy("颗粒大小 · 应用于当前截图的所有马赛克"));
    connect(v.grain, &NativePopupButton::activated, this, [this] { changeMosaicGrain(); });

    v.markupTools = iconButton(kivaroCopy("标注工具"), QStringLiteral("paintbrush.pointed"));
    connect(v.markupTools, &KivaroButton::clicked, this, [this] { showMarkupTools(); });
    v.more = iconButton(kivaroCopy("更多"), QStringLiteral("ellipsis"));
    v.more->setObjectName(QStringLiteral("showMore:")); // named after its action, as the menu run looks for it
    connect(v.more, &KivaroButton::clicked, this, [this] { showMore(m_views->more); });
    v.exportButton = iconButton(kivaroCopy("保存 PNG"), QStringLiteral("square.and.arrow.down"));
    connect(v.exportButton, &KivaroButton::clicked, this, [this] { exportPNG(); });
    v.shareButton = iconButton(kivaroCopy("分享"), QStringLiteral("square.and.arrow.up"));
    connect(v.shareButton, &KivaroButton::clicked, this, [this] { shareImage(m_views->shareButton); });
    v.copyButton = iconButton(kivaroCopy("复制并收起") + QStringLiteral("  ")
                                      + NativeMenuRow::shortcutText(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C)),
                               QStringLiteral("checkmark"));
    v.copyButton->setContentTintColor(DynamicColor::systemBlue);
    connect(v.copyButton, &KivaroButton::clicked, this, [this] { copyImage(); });

    auto *stack = new QHBoxLayout(v.dock);
    stack->setSpacing(8);
    stack->setContentsMargins(12, 8, 12, 8);
    const QList<QWidget *> items = {v.mode, v.grain, divider(), v.markupTools, v.more, divider(), v.exportButton, v.shareButton, v.copyButton};
    for (QWidget *item : items)
        stack->addWidget(item, 0, Qt::AlignVCenter);
    // The mode control was made before the canvas joined the view: Tab goes from the picture
    // to the dock, left to right, as on the screen.
    QWidget::setTabOrder(canvas, v.mode);
    QWidget::setTabOrder(v.mode, v.grain);

    v.status = new CompactStatusLabel(v.root);
    v.voiceFeedback = new VoiceFeedbackView(v.root);

    m_window = new KivaroWindow(QRect(QPoint(0, 0), EditorLayout::preferredSize),
                                KivaroWindow::Titled | KivaroWindow::Closable | KivaroWindow::Miniaturizable | KivaroWindow::Resizable);
    m_window->setTitle(QStringLiteral("Kivaro[*]"));
    m_window->setContentView(v.root);
    m_window->setContentMinSize(EditorLayout::minimumSize);
    m_window->installEventFilter(this);
    v.root->installEventFilter(this);
    v.escape = new QShortcut(QKeySequence(Qt::Key_Escape), m_window, [this] { cancelOperation(); }, Qt::WindowShortcut);

    installCallbacks();
    updateCanvasVisibility();
    const QPointer<EditorController> self(this);
    m_linkedInteraction = new LinkedBubbleInteraction(
        m_document, v.overlay,
        [self] {
            return self && !self->m_busy && self->mode()->selectedSegment() == selectSegment && !self->m_activeDrawingTool &&
                   !self->m_retargeting;
        },
        [self](const AnnotationLink &link) {
            if (self)
                self->showTextEditor(link.anchor, link);
        },
        [self] {
            if (self)
                self->m_annotationPanel->follow();
        },
        this);
    m_linkedInteraction->refused = [self](std::exception_ptr error) {
        if (self)
            self->show(error);
    };
    updateMode();
    setBusy(false);
}

void EditorController::installCallbacks()
{
    const QPointer<EditorController> self(this);
    m_document->didChange = [self] {
        if (self)
            self->documentDidChange();
    };
    m_recent->didFail = [self](std::exception_ptr error) {
        if (self)
            self->scheduledWriteFailed(error);
    };
    // A completed write ends what a failed one left: the shot is archived after all.
    m_recent->didSave = [self] {
        if (!self)
            return;
        self->m_archiveFailureShown.reset();
        self->m_errorForNextShow.reset();
    };
    HoldOverlay *hold = overlay();
    hold->setPointerSource(m_services.pointer);
    hold->began = [self](QPointF point) {
        if (self)
            self->begin(point);
    };
    hold->ended = [self] {
        if (self)
            self->end();
    };
    hold->completedDrag = [self](QPointF from, QPointF to) {
        if (self)
            self->completeDrawing(from, to);
    };
    hold->completedFreehand = [self](const QList<QPointF> &points) {
        if (self)
            self->completeFreehand(points);
    };
    m_annotationPanel->position = [self]() -> std::optional<QPointF> {
        return self ? self->floatingPanelPosition() : std::nullopt;
    };
    hold->cancelled = [self] {
        if (self)
            self->cancelVoice();
    };
    hold->completedRectangle = [self](QRectF rect) {
        if (self)
            self->addMask(rect);
    };
    connect(voiceFeedback()->language(), &NativePopupButton::activated, this, [this] { changeVoiceLanguageControl(); });
    connect(voiceFeedback()->cancelButton(), &KivaroButton::clicked, this, [this] { cancelVoiceAction(); });
    connect(voiceFeedback()->retryButton(), &KivaroButton::clicked, this, [this] { retryVoice(); });
    connect(voiceFeedback()->textButton(), &KivaroButton::clicked, this, [this] { typeVoiceFallback(); });
    // An input opened ahead of a press is closed with the panel: no microphone stays open
    // while nobody can record.
    connect(voiceFeedback(), &VoiceFeedbackView::hidden, this, [this] {
        if (m_voice)
            m_voice->releaseInput();
    });
    if (m_voice) {
        // A note that reaches the length limit ends as if released.
        m_voice->didReachLimit = [self] {
            if (self)
                self->end();
        };
    }

    Platform::MarkupCanvas *canvas = m_document->canvas();
    connect(canvas, &Platform::MarkupCanvas::markupChanged, this, [this] {
        if (m_window)
            m_window->setWindowModified(m_document->hasUnsavedChanges());
        nativeMarkupChanged();
    });
    connect(canvas, &Platform::MarkupCanvas::selectionChanged, this, [this] {
        if (m_annotationPanel->isVisible() && !m_annotationPanel->input())
            showFloatingTools();
    });
    connect(canvas, &Platform::MarkupCanvas::contentVisibleFrameChanged, this, [this] {
        transparencySurround()->update();
        m_annotationPanel->follow();
    });
}

void EditorController::layoutView()
{
    EditorViews &v = *m_views;
    // The dock hugs its controls, which change with the mode (the grain pop-up).
    v.dock->layout()->invalidate();
    // While the inline editor has borrowed the views, it places them.
    if (m_inlineEditor->isShown()) {
        viewDidLayout();
        return;
    }
    const EditorLayout layout =
        EditorLayout::place(v.root->size(), v.dock->layout()->sizeHint(), v.voiceFeedback->sizeHint(), m_canvasBottomGap);
    layoutCanvasHost(layout.canvasHost, true);
    v.dock->setGeometry(layout.dock);
    v.status->setGeometry(layout.status);
    v.voiceFeedback->setGeometry(layout.voicePanel);
    viewDidLayout();
}

void EditorController::layoutCanvasHost(const QRect &frame, bool roundedCorners)
{
    EditorViews &v = *m_views;
    v.canvasHost->setGeometry(frame);
    const QRect inside(QPoint(0, 0), frame.size());
    v.surround->setGeometry(inside);
    m_document->canvas()->setGeometry(inside);
    v.overlay->setGeometry(inside);
    v.corners->setGeometry(inside);
    v.corners->setVisible(roundedCorners);
}

// The voice panel's size follows its content (a phase's texts and controls): placed again
// whenever its preferred size changes.
void EditorController::placeVoicePanel()
{
    // While the inline editor has borrowed the views, it places them.
    if (m_inlineEditor->isShown())
        return;
    EditorViews &v = *m_views;
    const EditorLayout layout =
        EditorLayout::place(v.root->size(), v.dock->layout()->sizeHint(), v.voiceFeedback->sizeHint(), m_canvasBottomGap);
    v.voiceFeedback->setGeometry(layout.voicePanel);
}

// The part of the surround the picture covers, in the surround's coordinates.
QRectF EditorController::surroundExclusion() const
{
    const Platform::MarkupCanvas *canvas = m_document->canvas();
    const QRectF visible = canvas->contentVisibleFrame();
    const QRectF bounds = m_document->markup().bounds();
    const QSizeF size = transparencySurround()->size();
    if (!(visible.width() > 0) || !(visible.height() > 0))
        return {};
    return QRectF((bounds.x() - visible.x()) / visible.width() * size.width(), (bounds.y() - visible.y()) / visible.height() * size.height(),
                  bounds.width() / visible.width() * size.width(), bounds.height() / visible.height() * size.height());
}

} // namespace Kivaro
