#include "Kivaro/verification/CaptureSelectionVerification.h"

#include "Kivaro/document/SampleImage.h"
#include "Kivaro/editor/CanvasBackgroundView.h"
#include "Kivaro/editor/EditorController.h"
#include "Kivaro/shell/capture/CaptureSelectionView.h"
#include "Kivaro/verification/CaptureVerificationSupport.h"
#include "Kivaro/verification/PrototypeVerification.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/ScreenCapture/ScreenSource.h"

#include <QGuiApplication>
#include <QJsonArray>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>

#include <chrono>
#include <memory>

namespace Kivaro::CaptureSelectionVerification {

using namespace std::chrono_literals;
using namespace CaptureVerificationSupport;

const QStringList &checkNames()
{
    static const QStringList names{
        QStringLiteral("overlapping targets"),
        QStringLiteral("window drag"),
        QStringLiteral("release hit test"),
        QStringLiteral("stray release"),
        QStringLiteral("negative-origin screen boundary"),
        QStringLiteral("each screen highlights its part"),
        QStringLiteral("clipped outline"),
        QStringLiteral("40 pointer moves"),
        QStringLiteral("mouse exit"),
        QStringLiteral("Option gesture reset"),
        QStringLiteral("region drag"),
        QStringLiteral("Shift square"),
        QStringLiteral("Space move"),
        QStringLiteral("Space release stability"),
        QStringLiteral("edge magnifier"),
    };
    return names;
}

const QStringList &pictureNames()
{
    static const QStringList names{
        QStringLiteral("overlapping-front"),   QStringLiteral("drag-back"),         QStringLiteral("repeated-switch"),
        QStringLiteral("cleared-outline"),     QStringLiteral("region-after-switch"), QStringLiteral("precision-square"),
        QStringLiteral("precision-move"),      QStringLiteral("magnifier-screen-edge"),
    };
    return names;
}

QByteArray passSummary()
{
    return orderedJson({{QStringLiteral("status"), QStringLiteral("passed")},
                        {QStringLiteral("environment"), QStringLiteral("native-linux")},
                        {QStringLiteral("checks"), QJsonArray::fromStringList(checkNames())},
                        {QStringLiteral("multiMonitorLayout"), QStringLiteral("synthetic")},
                        {QStringLiteral("physicalMouseVerified"), false}},
                       true);
}

namespace {

const QRectF screenFrame(0, 0, 960, 600);
const QRectF leftScreenFrame(-960, 0, 960, 600);
constexpr Qt::KeyboardModifiers shift = Qt::ShiftModifier;

void expect(bool condition, const char *rule)
{
    if (!condition)
        throw ShotError::message(QStringLiteral("Capture selection failed: ") + QString::fromUtf8(rule));
}

// Exact equality, without Qt's fuzzy comparison of rectangles.
bool same(const QRectF &a, const QRectF &b)
{
    return a.x() == b.x() && a.y() == b.y() && a.width() == b.width() && a.height() == b.height();
}

bool isEmpty(const QRectF &rect)
{
    return !(rect.width() > 0 && rect.height() > 0);
}

// A fixture window: titled and closable, at `frame` (model points, content rectangle).
QWidget *fixtureWindow(const QString &title, const QRectF &frame)
{
    auto *window = new QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    window->setWindowTitle(title);
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->setGeometry(qtGeometry(frame));
    window->setAutoFillBackground(true);
    return window;
}

} // namespace

Platform::Task<void> run(EditorController *editor)
{
    QStringList records{QStringLiteral("summary.json")};
    for (const QString &name : pictureNames())
        records.append(name + QStringLiteral(".png"));
    const PrototypeVerification::StandaloneRun standalone(QStringLiteral("Capture selection verification failed: "), records);
    WindowList windows;
    try {
        standalone.requireFolder();
        if (editor && editor->view() && editor->view()->window())
            editor->view()->window()->hide();

        // The fixture windows: the back one first, so that the front one lies over it.
        QWidget *back = windows.add(fixtureWindow(QStringLiteral("Back target"), QRectF(100, 100, 800, 480)));
        back->show();
        back->raise();
        QWidget *front = windows.add(fixtureWindow(QStringLiteral("Front target"), QRectF(260, 180, 420, 260)));
        front->show();
        front->raise();
        front->activateWindow();
        co_await Platform::sleep(300ms);

        const std::shared_ptr<Platform::ScreenSource> source = Platform::makeScreenSource();
        const std::optional<Platform::ShareableWindow> frontListed = co_await findListed(*source, std::uint32_t(front->winId()));
        const std::optional<Platform::ShareableWindow> backListed = co_await findListed(*source, std::uint32_t(back->winId()));
        if (!frontListed || !backListed)
            throw ShotError::message(QStringLiteral("Capture selection fixture windows unavailable"));
        const QList<CaptureWindowTarget> overlap{{*frontListed, QRectF(260, 180, 420, 260)}, {*backListed, QRectF(100, 100, 800, 480)}};
        const QList<CaptureWindowTarget> boundary{{*backListed, QRectF(-100, 120, 500, 400)}};
        const QImage sample = SampleImage::make();

        // The primary surface is the host window itself.
        auto *primary = windows.add(new CaptureSelectionView(sample, screenFrame, overlap, CaptureSelectionMode::window, false));
        primary->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
        primary->setWindowTitle(QStringLiteral("Selection regression"));
        primary->resize(960, 600);
        if (QScreen *screen = QGuiApplication::primaryScreen())
            primary->move(screen->availableGeometry().center() - QPoint(480, 300));
        const auto second = std::make_unique<CaptureSelectionView>(sample, leftScreenFrame, overlap, CaptureSelectionMode::window, false);
        QPointer<CaptureSelectionView> primaryRef(primary);
        QPointer<CaptureSelectionView> secondRef(second.get());
        primary->pointerMoved = [primaryRef, secondRef](QPointF global) {
            if (primaryRef)
                primaryRef->updateSelection(global);
            if (secondRef)
                secondRef->updateSelection(global);
        };
        if (!co_await showAtFront(primary))
            throw ShotError::message(QStringLiteral("Capture selection host window was never shown"));

        const auto shot = [&](const QString &name) {
            PrototypeVerification::snapshot(primary, standalone.path(name + QStringLiteral(".png")));
        };
        const auto send = [&](Mouse kind, QPointF at, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
            const auto event = mouseEvent(*primary, kind, at, modifiers);
            switch (kind) {
            case Mouse::down: primary->mouseDown(*event); break;
            case Mouse::up: primary->mouseUp(*event); break;
            case Mouse::dragged: primary->mouseDragged(*event); break;
            case Mouse::moved: primary->mouseMoved(*event); break;
            }
        };
        const auto selectedID = [&]() -> std::optional<std::uint32_t> {
            if (!primary->selectedWindow())
                return std::nullopt;
            return primary->selectedWindow()->windowID;
        };

        // The window picks.
        send(Mouse::moved, {400, 300});
        expect(selectedID() == frontListed->windowID, "overlap selects front window");
        shot(QStringLiteral("overlapping-front"));

        send(Mouse::down, {400, 300});
        send(Mouse::dragged, {800, 500});
        expect(selectedID() == backListed->windowID, "drag updates window highlight");
        shot(QStringLiteral("drag-back"));

        auto captured = std::make_shared<QList<std::uint32_t>>();
        primary->finish = [captured](QRectF, std::optional<Platform::ShareableWindow> window) {
            if (window)
                captured->append(window->windowID);
        };
        send(Mouse::up, {400, 300});
        expect(*captured == QList<std::uint32_t>{frontListed->windowID}, "release resolves final pointer target");

        send(Mouse::up, {800, 500});
        expect(captured->size() == 1, "stray release cannot capture");

        {
            CaptureSelectionView left(sample, leftScreenFrame, boundary, CaptureSelectionMode::window, false);
            CaptureSelectionView right(sample, screenFrame, boundary, CaptureSelectionMode::window, false);
            // A window across both screens is outlined whole: each screen shows its part,
            // wherever on the window the pointer is.
            for (const QPointF point : {QPointF(-50, 200), QPointF(50, 200), QPointF(-50, 200)}) {
                left.updateSelection(point);
                right.updateSelection(point);
                expect(left.selection() == QRectF(860, 120, 100, 400) && right.selection() == QRectF(0, 120, 400, 400),
                       "each screen outlines its part");
                expect(left.bounds().contains(left.selection()) && right.bounds().contains(right.selection()),
                       "window outline clips to screen");
            }
        }

        for (int i = 0; i < 40; ++i) {
            send(Mouse::moved, i % 2 == 0 ? QPointF(400, 300) : QPointF(800, 500));
            primary->repaint();
        }
        shot(QStringLiteral("repeated-switch"));

        primary->mouseExited();
        expect(isEmpty(primary->selection()) && !primary->selectedWindow(), "exit clears stale outline");
        shot(QStringLiteral("cleared-outline"));

        // The region gestures.
        send(Mouse::down, {400, 300});
        primary->setOption(true);
        send(Mouse::up, {800, 500});
        expect(isEmpty(primary->selection()) && captured->size() == 1, "Option switch cancels in-progress gesture");

        send(Mouse::down, {120, 100});
        send(Mouse::up, {640, 350});
        expect(primary->selection().width() == 520 && primary->selection().height() == 250, "new region gesture succeeds");
        shot(QStringLiteral("region-after-switch"));

        send(Mouse::down, {100, 100});
        send(Mouse::dragged, {340, 220}, shift);
        expect(same(primary->selection(), QRectF(100, 100, 240, 240)), "Shift square");
        shot(QStringLiteral("precision-square"));

        primary->keyDown(*spaceEvent(true));
        send(Mouse::dragged, {370, 240}, shift);
        expect(same(primary->selection(), QRectF(130, 120, 240, 240)), "Space moves without resizing");
        shot(QStringLiteral("precision-move"));

        primary->keyUp(*spaceEvent(false));
        send(Mouse::up, {370, 240}, shift);
        expect(same(primary->selection(), QRectF(130, 120, 240, 240)), "Space release does not jump");

        send(Mouse::moved, {1, 1});
        shot(QStringLiteral("magnifier-screen-edge"));
    } catch (...) {
        windows.closeAll();
        standalone.fail(std::current_exception());
    }
    const QByteArray summary = passSummary();
    windows.closeAll();
    standalone.pass(summary);
}

} // namespace Kivaro::CaptureSelectionVerification
