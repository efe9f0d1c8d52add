#include "Kivaro/verification/CaptureVerificationSupport.h"

#include "Kivaro/shell/capture/CaptureSelectionView.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/ScreenCapture/ScreenCoordinates.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWindow>

#include <chrono>

namespace Kivaro::CaptureVerificationSupport {

using namespace std::chrono_literals;

constexpr quint32 spaceKeysym = 0x20; // XK_space

namespace {

// A value as QJsonDocument writes it, indented by `depth` levels after its first line.
QByteArray valueText(const QJsonValue &value, bool indented, int depth)
{
    QByteArray text;
    if (value.isArray())
        text = QJsonDocument(value.toArray()).toJson(indented ? QJsonDocument::Indented : QJsonDocument::Compact);
    else if (value.isObject())
        text = QJsonDocument(value.toObject()).toJson(indented ? QJsonDocument::Indented : QJsonDocument::Compact);
    else {
        // A scalar: written as the only element of an array, then taken out of it.
        const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
        return wrapped.mid(1, wrapped.size() - 2);
    }
    if (!indented)
        return text;
    text.chop(1); // the document's final line feed
    const QByteArray pad(4 * depth, ' ');
    const QByteArray lineStart = QByteArray("\n").append(pad);
    text.replace(QByteArray("\n"), lineStart);
    return text;
}

} // namespace

QByteArray orderedJson(const Entries &entries, bool indented)
{
    QByteArray text = "{";
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QByteArray key = valueText(QJsonValue(entries[i].first), false, 0);
        if (indented)
            text += "\n    " + key + ": " + valueText(entries[i].second, true, 1);
        else
            text += key + ":" + valueText(entries[i].second, false, 0);
        if (i + 1 < entries.size())
            text += ",";
    }
    text += indented ? "\n}\n" : "}";
    return text;
}

std::unique_ptr<QMouseEvent> mouseEvent(const CaptureSelectionView &view, Mouse kind, QPointF viewPoint, Qt::KeyboardModifiers modifiers)
{
    const QPointF local = view.widgetPoint(viewPoint);
    QEvent::Type type = QEvent::MouseMove;
    Qt::MouseButton button = Qt::NoButton;
    Qt::MouseButtons buttons = Qt::NoButton;
    switch (kind) {
    case Mouse::down:
        type = QEvent::MouseButtonPress;
        button = Qt::LeftButton;
        buttons = Qt::LeftButton;
        break;
    case Mouse::up:
        type = QEvent::MouseButtonRelease;
        button = Qt::LeftButton;
        break;
    case Mouse::dragged:
        buttons = Qt::LeftButton;
        break;
    case Mouse::moved:
        break;
    }
    auto event = std::make_unique<QMouseEvent>(type, local, local, view.mapToGlobal(local), button, buttons, modifiers);
    event->setTimestamp(quint64(QDeadlineTimer::current().deadline()));
    return event;
}

std::unique_ptr<QKeyEvent> spaceEvent(bool down)
{
    return std::make_unique<QKeyEvent>(down ? QEvent::KeyPress : QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, 0, spaceKeysym, 0,
                                       QStringLiteral(" "));
}

QRect qtGeometry(const QRectF &modelFrame)
{
    return Platform::ScreenCoordinates::fromQtScreens().toQt(modelFrame).toRect();
}

QRectF modelFrame(const QWidget *window)
{
    return Platform::ScreenCoordinates::fromQtScreens().toModel(QRectF(window->frameGeometry()));
}

Platform::Task<std::optional<Platform::ShareableWindow>> findListed(Platform::ScreenSource &source, std::uint32_t windowID)
{
    for (int round = 0; round < 10; ++round) {
        for (const Platform::ShareableWindow &window : source.windows())
            if (window.windowID == windowID)
                co_return window;
        co_await Platform::sleep(100ms);
    }
    co_return std::nullopt;
}

Platform::Task<bool> showAtFront(QWidget *window)
{
    window->show();
    window->raise();
    window->activateWindow();
    for (int poll = 0; poll < 40; ++poll) {
        if (window->windowHandle() && window->windowHandle()->isExposed())
            co_return true;
        co_await Platform::sleep(50ms);
    }
    co_return false;
}

void WindowList::closeAll()
{
    for (const QPointer<QWidget> &window : std::as_const(m_windows))
        if (window) {
            window->close();
            delete window.data();
        }
    m_windows.clear();
}

} // namespace Kivaro::CaptureVerificationSupport
