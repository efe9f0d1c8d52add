#include "Kivaro/editor/AnnotationFloatingPanel.h"

#include "Kivaro/editor/AnnotationInputView.h"
#include "Kivaro/editor/AnnotationPanelWindow.h"
#include "Kivaro/editor/ClosureButton.h"

#include "Kivaro/controls/KivaroScroller.h"
#include "Kivaro/controls/KivaroSurface.h"
#include "Kivaro/controls/KivaroTextLabel.h"
#include "KivaroCore/Localization.h"
#include "Platform/Windows/WindowShape.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QWindow>

using namespace NativeAppAppearance;

namespace Kivaro {

namespace {

// The rounded background of the panel's content.
class FloatingPanelSurface final : public KivaroSurface {
public:
    explicit FloatingPanelSurface(QWidget *parent) : KivaroSurface(parent) { setRadius(12); }
};

constexpr QSize kTextSize(300, 164);
constexpr QSize kSupplementalSize(360, 116);
constexpr QSize kBareSize(270, 48);
constexpr int kInset = 14;
constexpr int kBottomClearance = 64;

} // namespace

AnnotationFloatingPanel::AnnotationFloatingPanel(QObject *parent) : QObject(parent), m_panel(std::make_unique<AnnotationPanelWindow>())
{
    m_panel->resize(kBareSize);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, &AnnotationFloatingPanel::applicationStateChanged);
}

AnnotationFloatingPanel::~AnnotationFloatingPanel()
{
    if (m_host)
        m_host->removeEventFilter(this);
}

QWidget *AnnotationFloatingPanel::panel() const
{
    return m_panel.get();
}

bool AnnotationFloatingPanel::isVisible() const
{
    return m_panel->isVisible();
}

QList<ClosureButton *> AnnotationFloatingPanel::toolButtons() const
{
    return m_surface ? m_surface->findChildren<ClosureButton *>(QStringLiteral("tool"), Qt::FindDirectChildrenOnly) : QList<ClosureButton *>();
}

void AnnotationFloatingPanel::show(QWidget *host, std::optional<QString> text, std::function<bool(const QString &)> commit,
                                   QWidget *supplemental, std::optional<DrawingTool> selectedTool, std::function<void(int)> tool)
{
    dismiss();
    if (!host)
        return;
    const QPointer<AnnotationFloatingPanel> self(this);
    m_panel->closeRequest = [self] {
        if (self)
            self->dismiss();
    };

    const bool withText = text.has_value() && bool(commit);
    const QSize size = text ? kTextSize : supplemental ? kSupplementalSize : kBareSize;
    // The previous showing's surface may hold the button whose click is running now.
    if (m_surface)
        m_surface->deleteLater();
    auto *surface = new FloatingPanelSurface(m_panel.get());
    surface->setGeometry(QRect(QPoint(0, 0), size));
    m_surface = surface;

    // The tool row.
    int x = 12;
    for (const DrawingTool each : DrawingTools::all()) {
        const int raw = DrawingTools::rawValue(each);
        auto *button = new ClosureButton(DrawingTools::symbol(each), DrawingTools::label(each), [self, tool, raw] {
            if (self)
                self->dismiss();
            if (tool)
                tool(raw);
        }, surface);
        button->setObjectName(QStringLiteral("tool"));
        button->setContentTintColor(selectedTool == each ? DynamicColor::controlAccent : DynamicColor::secondaryLabel);
        button->move(x, 8 + 2);
        x += 28 + 8;
    }
    auto *close = new ClosureButton(QStringLiteral("xmark"), kivaroCopy("取消"), [self] {
        if (self)
            self->dismiss();
    }, surface);
    close->setObjectName(QStringLiteral("tool"));
    close->setContentTintColor(DynamicColor::secondaryLabel);
    close->move(x, 8 + 2);

    if (withText) {
        auto *input = new AnnotationInputView(*text, surface);
        input->setGeometry(12, 46, 276, 76);
        input->setVerticalScrollBar(new KivaroScroller(Qt::Vertical));
        input->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        input->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        const QPointer<AnnotationInputView> field(input);
        input->commit = [self, field, commit] {
            if (!field)
                return;
            const QString typed = field->toPlainText();
            if (typed.trimmed().isEmpty())
                return;
            if (commit(typed) && self)
                self->dismiss();
        };
        input->cancel = [self] {
            if (self)
                self->dismiss();
        };
        auto *check = new ClosureButton(QStringLiteral("checkmark"), kivaroCopy("添加标注"), [field] {
            if (field && field->commit)
                field->commit();
        }, surface);
        check->setContentTintColor(DynamicColor::controlAccent);
        check->setGeometry(256, 128, 32, 28);
        QFont hintFont = QApplication::font();
        hintFont.setPixelSize(11);
        // The key the field commits with, named as the menus name their keys.
        auto *hint = new KivaroTextLabel(QKeySequence(Qt::CTRL | Qt::Key_Return).toString(QKeySequence::NativeText), hintFont,
                                         DynamicColor::secondaryLabel, 1, surface);
        const int hintWidth = hint->sizeHint().width();
        hint->setGeometry(252 - hintWidth, 133, hintWidth, 16);
        m_input = input;
    } else if (!text && supplemental) {
        supplemental->setParent(surface);
        supplemental->setGeometry(12, 44, 336, 64);
    }

    m_panel->resize(size);
    Platform::shapeToRoundedRect(m_panel.get(), 12);
    m_host = host;
    m_panel->winId();
    if (QWindow *handle = m_panel->windowHandle())
        handle->setTransientParent(host->window()->windowHandle());
    host->window()->installEventFilter(this);
    follow();
    surface->show();
    m_panel->setAttribute(Qt::WA_ShowWithoutActivating, !m_input);
    if (qApp->applicationState() == Qt::ApplicationActive || !m_input)
        m_panel->show();
    m_panel->raise();
    if (m_input) {
        m_panel->show();
        m_panel->activateWindow();
        m_input->setFocus(Qt::OtherFocusReason);
    }
}

void AnnotationFloatingPanel::dismiss()
{
    if (m_host) {
        if (QWidget *window = m_host->window())
            window->removeEventFilter(this);
        if (QWindow *handle = m_panel->windowHandle())
            handle->setTransientParent(nullptr);
    }
    m_host = nullptr;
    m_panel->hide();
    if (m_input) {
        m_input->commit = nullptr;
        m_input->cancel = nullptr;
        m_input->hide();
    }
    m_input = nullptr;
}

QPoint AnnotationFloatingPanel::placement(QPointF p, QSize size, QRect hostFrame)
{
    const QRectF inner = QRectF(hostFrame).adjusted(kInset, kInset, -kInset, -kInset);
    const qreal x = std::max(inner.left(), std::min(p.x() + kInset, inner.right() - size.width()));
    const qreal y = std::min(inner.bottom() - kBottomClearance - size.height(), std::max(p.y() + 12, inner.top()));
    return QPointF(x, y).toPoint();
}

void AnnotationFloatingPanel::follow()
{
    if (!m_host || !position)
        return;
    const std::optional<QPointF> p = position();
    if (!p)
        return;
    // QRect's right() and bottom() stop one short of the edge; the frame's true edges count.
    const QRect frame = m_host->window()->frameGeometry();
    m_panel->move(placement(*p, m_panel->size(), QRect(frame.topLeft(), frame.size())));
}

bool AnnotationFloatingPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (m_host && watched == m_host->window() && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        follow();
    return QObject::eventFilter(watched, event);
}

void AnnotationFloatingPanel::applicationStateChanged()
{
    if (!m_host)
        return;
    if (qApp->applicationState() == Qt::ApplicationActive) {
        m_panel->show();
        follow();
    } else {
        m_panel->hide();
    }
}

} // namespace Kivaro
