#include "Kivaro/editor/InlineCaptureEditor.h"

#include "Kivaro/editor/AnnotationFloatingPanel.h"
#include "Kivaro/editor/CanvasBackgroundView.h"
#include "Kivaro/editor/CompactStatusLabel.h"
#include "Kivaro/editor/EditorController.h"
#include "Kivaro/editor/EditorDockView.h"
#include "Kivaro/editor/TransparencyGridView.h"

#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/shell/capture/RegionCapture.h"
#include "Kivaro/voice-and-text/VoiceFeedbackView.h"
#include "KivaroCore/Localization.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "Platform/Windows/WindowActivation.h"
#include "Platform/Windows/WindowDesktops.h"
#include "Platform/Windows/WindowsAbove.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLayout>
#include <QPainter>
#include <QPainterPath>
#include <QShortcut>

#include <functional>

using namespace NativeAppAppearance;

namespace Kivaro {

namespace {

// The frozen screen, dimmed: black, the screen's image scaled into the bounds, black at 0.42.
class InlineCaptureBackground final : public QWidget {
public:
    InlineCaptureBackground(QImage screenshot, QWidget *parent) : QWidget(parent), m_screenshot(std::move(screenshot))
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFocusPolicy(Qt::StrongFocus);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::black);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(rect()), m_screenshot);
        painter.fillRect(rect(), QColor::fromRgbF(0, 0, 0, 0.42f));
    }

private:
    QImage m_screenshot;
};

// The inline window: Escape, Ctrl+W and the window manager's close all ask to leave.
//
// Ctrl+W is no shortcut of this window: in the application the Window menu's "关闭窗口" is an
// application-wide Ctrl+W, and two shortcuts on one key make Qt fire neither. That item closes
// the active window, which lands in closeEvent here; without the menus the key reaches
// keyPressEvent.
class InlineCaptureWindow final : public QWidget {
public:
    std::function<void()> exitCapture;

    InlineCaptureWindow()
        : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    {
        setAttribute(Qt::WA_DeleteOnClose, false);
        setWindowTitle(QStringLiteral("Kivaro"));
        const auto leave = [this] {
            if (exitCapture)
                exitCapture();
        };
        new QShortcut(QKeySequence(Qt::Key_Escape), this, leave, Qt::WindowShortcut);
    }

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_W)) {
            close();
            return;
        }
        QWidget::keyPressEvent(event);
    }
    void closeEvent(QCloseEvent *event) override
    {
        // Closing goes through the editor's close check, which hides this window itself.
        event->ignore();
        if (exitCapture)
            exitCapture();
    }
};

// The exit button: white title and symbol on a black rounded plate, whatever the appearance.
class InlineExitButton final : public KivaroButton {
public:
    using KivaroButton::KivaroButton;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath plate;
        plate.addRoundedRect(QRectF(rect()), 9, 9);
        painter.fillPath(plate, QColor::fromRgbF(0, 0, 0, 0.82f));
        KivaroButton::paint(painter, look(), Appearance::dark);
    }
};

QRectF flipped(const QRectF &r, qreal height)
{
    return QRectF(r.x(), height - r.y() - r.height(), r.width(), r.height());
}

QRect aligned(const QRectF &r)
{
    return QRect(qRound(r.x()), qRound(r.y()), qRound(r.width()), qRound(r.height()));
}

} // namespace

InlineCaptureEditor::InlineCaptureEditor(QObject *parent) : QObject(parent), m_exitButton(new InlineExitButton)
{
    m_exitButton->setText(kivaroCopy("退出标注"));
    m_exitButton->setSymbol(QStringLiteral("xmark"));
    m_exitButton->setImagePosition(KivaroButton::ImagePosition::leading);
    m_exitButton->setContentTintColor(NativeColor(QColor(Qt::white)));
    m_exitButton->setAccessibleName(kivaroCopy("退出标注"));
    m_exitButton->setToolTip(QStringLiteral("Esc"));
    AppearanceManager::shared().setAppearance(m_exitButton, Appearance::dark);
    connect(m_exitButton, &KivaroButton::clicked, this, [this] {
        if (m_editor)
            m_editor->exitInlineCapture();
    });
}

InlineCaptureEditor::~InlineCaptureEditor()
{
    // The button lives in the inline window while it is shown; otherwise it is ours.
    if (!m_exitButton->parent())
        delete m_exitButton;
    delete m_window.data();
}

QWidget *InlineCaptureEditor::background() const
{
    return m_window ? m_window->findChild<InlineCaptureBackground *>() : nullptr;
}

InlineCaptureEditor::Layout InlineCaptureEditor::layout(QRectF f, QSizeF b, QSizeF dockFitting, QSizeF voiceFitting)
{
    Layout out;
    out.canvasHost = f;
    const qreal w = qMin(qMax<qreal>(360, dockFitting.width()), b.width() - 24);
    const qreal h = qMax<qreal>(52, dockFitting.height());
    const qreal x = qMin(qMax<qreal>(12, f.center().x() - w / 2), b.width() - w - 12);
    qreal y = f.top() - h - 16 >= 12 ? f.top() - h - 16 : f.bottom() + 16; // y up: top() is minY
    y = qMin(qMax<qreal>(12, y), b.height() - h - 12);
    out.dock = QRectF(x, y, w, h);
    out.status = QRectF(x, qMax<qreal>(0, y - 22), w, 18);
    const qreal v = qMax<qreal>(78, voiceFitting.height());
    out.voicePanel = QRectF(x, qMin(qMax<qreal>(12, y + h + 8), b.height() - v - 12), w, v);
    out.exitButton = QRectF(qMin(qMax<qreal>(12, f.right() - exitButtonSize.width()), b.width() - 126),
                            qMin(qMax<qreal>(12, f.bottom() + 8), b.height() - 44), exitButtonSize.width(), exitButtonSize.height());
    return out;
}

void InlineCaptureEditor::present(EditorController *editor, const CapturePlacement &placement)
{
    dismiss();
    if (!editor)
        return;
    m_editor = editor;
    m_placement = placement;
    if (QWidget *editorWindow = editor->window())
        editorWindow->hide();

    const QRect screen = aligned(editor->capture()->screenSource().coordinates().toQt(placement.screen));
    auto *window = new InlineCaptureWindow;
    window->setGeometry(screen);
    window->setMinimumSize(screen.size());
    window->setMaximumSize(screen.size());
    auto *background = new InlineCaptureBackground(placement.background, window);
    background->setGeometry(QRect(QPoint(0, 0), screen.size()));
    const QPointer<EditorController> owner(editor);
    window->exitCapture = [owner] {
        if (owner)
            owner->exitInlineCapture();
    };

    m_moved = {editor->canvasHost(), editor->dock(), editor->status(), editor->voiceFeedback()};
    m_wasShown.clear();
    for (const QPointer<QWidget> &view : m_moved) {
        m_wasShown.append(!view->isHidden());
        view->setParent(background);
        view->setVisible(m_wasShown.last());
    }
    editor->status()->setPlated(true);
    m_exitButton->setParent(background);
    m_exitButton->show();

    m_window = window;
    refresh();
    // The windows opened from in-place editing (settings, history, panels) open in front of it.
    new Platform::WindowsAbove(window);
    Platform::showOnEveryDesktop(window);
    Platform::bringForward(window);
    background->setFocus(Qt::ActiveWindowFocusReason);
}

void InlineCaptureEditor::refresh()
{
    if (m_refreshing || !m_editor || !m_placement || !m_window)
        return;
    m_refreshing = true;
    EditorController *editor = m_editor;
    const QSizeF bounds = m_window->size();
    // The captured rectangle in the window's y-up points: both rectangles are global model
    // points, so the difference of their origins is the rectangle's place on its screen.
    const QRectF capture = m_placement->frame.translated(-m_placement->screen.topLeft());
    editor->dock()->layout()->activate();
    const Layout placed = layout(capture, bounds, editor->dock()->layout()->sizeHint(), editor->voiceFeedback()->sizeHint());
    const qreal height = bounds.height();
    editor->layoutCanvasHost(aligned(flipped(placed.canvasHost, height)), false);
    editor->dock()->setGeometry(aligned(flipped(placed.dock, height)));
    editor->status()->setGeometry(aligned(flipped(placed.status, height)));
    editor->voiceFeedback()->setGeometry(aligned(flipped(placed.voicePanel, height)));
    m_exitButton->setGeometry(aligned(flipped(placed.exitButton, height)));
    m_exitButton->raise();

    // The picture exactly over the captured rectangle, at the captured size.
    ShotDocument *document = editor->document();
    const std::optional<Platform::Markup> &markup = document->canvas()->markup();
    const QRectF bounded = markup ? markup->bounds() : QRectF();
    if (bounded.width() > 0) {
        document->canvas()->setZoomScale(capture.width() / bounded.width());
        document->canvas()->setContentVisibleFrame(bounded);
    }
    m_refreshing = false;
}

void InlineCaptureEditor::dismiss()
{
    if (!m_window)
        return;
    QPointer<QWidget> window = m_window;
    m_window = nullptr;
    EditorController *editor = m_editor;
    if (editor)
        editor->annotationPanel()->dismiss();
    static_cast<InlineCaptureWindow *>(window.data())->exitCapture = nullptr;
    window->hide();

    m_exitButton->hide();
    m_exitButton->setParent(nullptr);
    for (int k = 0; k < m_moved.size(); ++k) {
        QWidget *view = m_moved.at(k);
        if (!view)
            continue;
        view->setParent(editor ? static_cast<QWidget *>(editor->view()) : nullptr);
        view->setVisible(m_wasShown.value(k));
    }
    m_moved.clear();
    m_wasShown.clear();
    if (editor)
        editor->status()->setPlated(false);
    m_placement.reset();
    window->deleteLater();
    m_editor = nullptr;
    if (editor) {
        editor->layoutView();
        editor->document()->fit();
    }
}

} // namespace Kivaro
