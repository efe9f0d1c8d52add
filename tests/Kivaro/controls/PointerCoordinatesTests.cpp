#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/controls/PointerCoordinates.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QTest>

#include <gtest/gtest.h>

using namespace Kivaro;

namespace {
class PointerCoordinatesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        view = new QWidget;
        window.setContentView(view);
        window.move(200, 100);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    KivaroWindow window{QRect(200, 100, 400, 300), KivaroWindow::Titled};
    QWidget *view = nullptr;
    // The content's centre in window coordinates: the content starts below the 32-point bar.
    const QPointF centre{200, 32 + 150};
};
} // namespace

TEST_F(PointerCoordinatesTest, EventsOfTheViewsWindowMapThroughTheWindow)
{
    PointerEvent event;
    event.window = &window;
    event.locationInWindow = QPointF(50, 72);
    EXPECT_EQ(PointerCoordinates::local(event, view), QPointF(50, 40));
}

TEST_F(PointerCoordinatesTest, OwnSyntheticEventsAtTheContentCentreUseTheLivePointer)
{
    const auto live = [this] { return QPointF(window.mapToGlobal(QPoint(10, 42))); };
    PointerEvent event;
    event.window = &window;
    event.sourceProcess = QCoreApplication::applicationPid();
    event.locationInWindow = centre + QPointF(0.5, -0.5);
    EXPECT_EQ(PointerCoordinates::local(event, view, live), QPointF(10, 10));

    event.locationInWindow = centre + QPointF(1.0, 0);
    EXPECT_EQ(PointerCoordinates::local(event, view, live), QPointF(201, 150));

    event.locationInWindow = centre;
    event.sourceProcess = QCoreApplication::applicationPid() + 1;
    EXPECT_EQ(PointerCoordinates::local(event, view, live), QPointF(200, 150));
}

TEST_F(PointerCoordinatesTest, EventsOfOtherWindowsMapThroughTheirGlobalPosition)
{
    QWidget other;
    PointerEvent event;
    event.window = &other;
    event.locationInWindow = QPointF(5, 5);
    event.globalLocation = QPointF(window.mapToGlobal(QPoint(100, 82)));
    EXPECT_EQ(PointerCoordinates::local(event, view), QPointF(100, 50));
    event.window = nullptr;
    EXPECT_EQ(PointerCoordinates::local(event, view), QPointF(100, 50));
    EXPECT_EQ(PointerCoordinates::local(event, nullptr), QPointF(0, 0));
}

TEST_F(PointerCoordinatesTest, FromAQtEventRecordsWindowAndOrigin)
{
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(3, 4), view->mapToGlobal(QPointF(3, 4)), Qt::LeftButton, Qt::LeftButton, {});
    const PointerEvent event = PointerEvent::from(press, view);
    EXPECT_EQ(event.window, &window);
    EXPECT_EQ(event.locationInWindow, QPointF(3, 36));
    EXPECT_FALSE(event.fromWindowSystem);
    EXPECT_EQ(PointerCoordinates::local(event, view), QPointF(3, 4));
}
