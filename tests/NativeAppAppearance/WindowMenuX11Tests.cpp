// The Window menu's list of the application's windows under a window manager (openbox on the
// test's X server): it names the open, titled windows, checks the active one, and choosing one
// brings it forward, as the window manager reports through _NET_ACTIVE_WINDOW. With
// KIVARO_LOOK_DIR set, the open menu is saved there in light and dark.

#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeMenuStyle.h"
#include "NativeAppAppearance/NativeWindowMenu.h"

#include "Platform/ScreenCapture/X11TestDisplay.h"
#include "Support/ClientProcess.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

using namespace NativeAppAppearance;
using TestSupport::pollUntil;

namespace {

class WindowMenuX11Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char *missing = TestSupport::missingForXdotool())
            GTEST_SKIP() << missing;
        ASSERT_TRUE(display.isValid());
        ASSERT_TRUE(display.startWindowManager());
        NativeMenuStyle::install();
        windowMenu = NativeWindowMenu::install(&mainMenu, [](const QString &text) { return text; });
        alpha.setWindowTitle(QStringLiteral("Alpha notes"));
        alpha.setGeometry(80, 80, 360, 240);
        beta.setWindowTitle(QStringLiteral("Beta & sketch[*]"));
        beta.setWindowModified(true);
        beta.setGeometry(520, 80, 360, 240);
        palette.setWindowFlag(Qt::Tool);
        palette.setWindowTitle(QStringLiteral("Palette"));
        palette.setGeometry(80, 400, 160, 120);
        hidden.setWindowTitle(QStringLiteral("Hidden"));
        alpha.show();
        ASSERT_TRUE(pollUntil([&] { return activeWindow() == xcb_window_t(alpha.winId()); }));
        palette.show();
        beta.show();
        ASSERT_TRUE(pollUntil([&] { return activeWindow() == xcb_window_t(beta.winId()) && QApplication::activeWindow() == &beta; }));
    }
    void TearDown() override
    {
        windowMenu = nullptr;
        display.stopWindowManager();
        AppearanceManager::shared().setApplicationAppearance(std::nullopt);
    }

    xcb_window_t activeWindow()
    {
        xcb_connection_t *c = display.connection();
        xcb_get_property_reply_t *reply =
            xcb_get_property_reply(c, xcb_get_property(c, 0, display.root(), display.atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 0, 1), nullptr);
        xcb_window_t window = XCB_WINDOW_NONE;
        if (reply && xcb_get_property_value_length(reply) == 4)
            window = *static_cast<const xcb_window_t *>(xcb_get_property_value(reply));
        std::free(reply);
        return window;
    }
    void open()
    {
        windowMenu->popup(QPoint(300, 420));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(windowMenu));
        QTest::qWait(200); // the menu's pointer and keyboard grabs settle
    }
    // The menu's entries as the user reads them: titles, "—" for a separator, "✓" before the
    // checked one.
    QStringList entries() const
    {
        QStringList result;
        for (const QAction *action : windowMenu->actions())
            result << (action->isSeparator() ? QStringLiteral("—")
                                             : (action->isChecked() ? QStringLiteral("✓ ") : QString()) + action->text());
        return result;
    }
    QAction *entry(const QString &text) const
    {
        for (QAction *action : windowMenu->actions())
            if (action->text() == text)
                return action;
        return nullptr;
    }
    void look(const QString &name)
    {
        const QString folder = qEnvironmentVariable("KIVARO_LOOK_DIR");
        if (!folder.isEmpty())
            QGuiApplication::primaryScreen()->grabWindow(0).save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
    }

    TestSupport::X11TestDisplay display;
    QMenu mainMenu;
    QMenu *windowMenu = nullptr;
    QWidget alpha, beta, palette, hidden;
};

} // namespace

TEST_F(WindowMenuX11Test, ListsTheOpenTitledWindowsAndBringsTheChosenOneForward)
{
    AppearanceManager::shared().setApplicationAppearance(Appearance::light);
    open();
    EXPECT_EQ(entries(), (QStringList{QStringLiteral("关闭窗口"), QStringLiteral("—"), QStringLiteral("Alpha notes"),
                                      QStringLiteral("✓ Beta && sketch*")}));
    look(QStringLiteral("window-menu-light"));

    // A click on the first window's entry brings it forward.
    QAction *first = entry(QStringLiteral("Alpha notes"));
    ASSERT_NE(first, nullptr);
    const QPoint at = windowMenu->mapToGlobal(windowMenu->actionGeometry(first).center());
    ASSERT_TRUE(TestSupport::xdotool(QStringLiteral("mousemove %1 %2 click 1").arg(at.x()).arg(at.y()).split(QLatin1Char(' '))));
    EXPECT_TRUE(pollUntil([&] { return activeWindow() == xcb_window_t(alpha.winId()) && QApplication::activeWindow() == &alpha; }))
        << "the window manager did not activate the chosen window";
    EXPECT_FALSE(windowMenu->isVisible());

    // The next opening is current again: the new active window is checked, a closed one is gone.
    beta.close();
    AppearanceManager::shared().setApplicationAppearance(Appearance::dark);
    open();
    EXPECT_EQ(entries(), (QStringList{QStringLiteral("关闭窗口"), QStringLiteral("—"), QStringLiteral("✓ Alpha notes")}));
    look(QStringLiteral("window-menu-dark"));
    ASSERT_TRUE(TestSupport::xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
    EXPECT_TRUE(pollUntil([&] { return !windowMenu->isVisible(); }));

    // With no window left the menu holds its own item only.
    alpha.close();
    palette.close();
    Q_EMIT windowMenu->aboutToShow();
    EXPECT_EQ(entries(), QStringList{QStringLiteral("关闭窗口")});
}
