// The kit's controls from the keyboard: Tab reaches each and its focus ring shows, Space and
// Return press a focused button, arrows move within the mode control, Escape closes a window.

#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/controls/KivaroLinkButton.h"
#include "Kivaro/controls/KivaroModes.h"
#include "Kivaro/controls/KivaroTabButton.h"
#include "Kivaro/controls/KivaroToggle.h"
#include "Kivaro/controls/KivaroWindow.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeSoftButton.h"
#include "Support/KeyboardTesting.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QShortcut>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace Kivaro;
using namespace NativeAppAppearance;
using TestSupport::press;

namespace {

// A shown, active window holding `controls` in a row, left to right, none of them focused.
struct Host {
    explicit Host(const QList<QWidget *> &controls)
    {
        auto *row = new QHBoxLayout(&window);
        for (QWidget *control : controls)
            row->addWidget(control);
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        // Activation focused the first control.
        if (QWidget *focused = window.focusWidget())
            focused->clearFocus();
    }
    QWidget window;
};

// Whether the image has the focus ring's accent along its top edge, where no control draws.
bool ringed(const QImage &image)
{
    const QColor accent = resolve(DynamicColor::controlAccent, Appearance::light);
    const QColor line = image.pixelColor(image.width() / 2, 1);
    return line.alpha() > 0 && qAbs(line.hue() - accent.hue()) < 12 && line.saturation() > 60;
}

} // namespace

TEST(KitKeyboard, TabReachesEveryButtonWhichShowsItsRingAndSpaceOrReturnPressesIt)
{
    auto *button = new KivaroButton(QStringLiteral("保存"));
    auto *toggle = new KivaroToggle(QStringLiteral("自动检查更新"));
    auto *tab = new KivaroTabButton(QStringLiteral("AI 润色"), QStringLiteral("sparkles"));
    auto *link = new KivaroLinkButton(QStringLiteral("更新日志"));
    auto *soft = new NativeSoftButton(QStringLiteral("检查更新"), resolve(DynamicColor::controlAccent, Appearance::light));
    const QList<QAbstractButton *> buttons = {button, toggle, tab, link, soft};
    Host host({button, toggle, tab, link, soft});
    AppearanceManager::shared().setAppearance(&host.window, Appearance::light);

    for (QAbstractButton *control : buttons) {
        SCOPED_TRACE(control->metaObject()->className());
        EXPECT_FALSE(ringed(control->grab().toImage()));
        press(&host.window, Qt::Key_Tab);
        ASSERT_EQ(host.window.focusWidget(), control) << "Tab goes left to right";
        EXPECT_TRUE(ringed(control->grab().toImage()));

        QSignalSpy clicked(control, &QAbstractButton::clicked);
        press(&host.window, Qt::Key_Return);
        press(&host.window, Qt::Key_Enter, Qt::KeypadModifier);
        press(&host.window, Qt::Key_Space);
        EXPECT_EQ(clicked.count(), 3);
        press(&host.window, Qt::Key_Return, Qt::ControlModifier);
        EXPECT_EQ(clicked.count(), 3) << "a chord is not Return";
    }
    EXPECT_TRUE(toggle->isChecked()) << "three presses switched it on, off and on";
}

TEST(KitKeyboard, TheFocusedButtonTakesReturnFromTheWindowsDefaultAction)
{
    auto *field = new QLineEdit;
    auto *later = new KivaroButton(QStringLiteral("稍后"));
    Host host({field, later});
    int defaults = 0;
    new QShortcut(QKeySequence(Qt::Key_Return), &host.window, [&] { ++defaults; });
    QSignalSpy clicked(later, &QAbstractButton::clicked);

    field->setFocus();
    press(&host.window, Qt::Key_Return);
    EXPECT_EQ(defaults, 1);
    press(&host.window, Qt::Key_Tab);
    ASSERT_EQ(host.window.focusWidget(), later);
    press(&host.window, Qt::Key_Return);
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_EQ(defaults, 1);
}

TEST(KitKeyboard, TheModeControlIsOneTabStopRingedAtItsSelectionWhoseArrowsChooseAsAClickDoes)
{
    auto *before = new KivaroButton(QStringLiteral("前"));
    auto *modes = new KivaroModes({QStringLiteral("语音标注"), QString(), QString(), QString()});
    auto *after = new KivaroButton(QStringLiteral("后"));
    Host host({before, modes, after});
    AppearanceManager::shared().setAppearance(&host.window, Appearance::light);
    modes->setSelectedSegment(1);
    QSignalSpy activated(modes, &KivaroModes::activated);

    before->setFocus(Qt::TabFocusReason);
    press(&host.window, Qt::Key_Tab);
    ASSERT_EQ(host.window.focusWidget(), modes);
    EXPECT_TRUE(ringed(modes->grab(modes->segmentRect(1).toAlignedRect()).toImage()));
    EXPECT_FALSE(ringed(modes->grab(modes->segmentRect(2).toAlignedRect()).toImage()));
    QList<int> chosen;
    for (Qt::Key key : {Qt::Key_Right, Qt::Key_Down, Qt::Key_Right, Qt::Key_Home, Qt::Key_Left, Qt::Key_End, Qt::Key_Up}) {
        press(&host.window, key);
        chosen << modes->selectedSegment();
    }
    EXPECT_EQ(chosen, (QList<int>{2, 3, 3, 0, 0, 3, 2})) << "no wrapping at either end";
    EXPECT_EQ(activated.count(), 5) << "each change is the user's choice, once";

    press(&host.window, Qt::Key_Tab);
    EXPECT_EQ(host.window.focusWidget(), after) << "one stop for the whole control";
}

TEST(KitKeyboard, EscapeClosesAClosableWindowUnlessSomethingInsideTakesIt)
{
    KivaroWindow window(QRect(0, 0, 300, 200), KivaroWindow::Titled | KivaroWindow::Closable);
    window.setContentView(new QLineEdit);
    window.makeKeyAndOrderFront();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.contentView()->setFocus();
    int cancelled = 0;
    // A window that uses Escape itself (the editor cancels with it) keeps it.
    auto *cancel = new QShortcut(QKeySequence(Qt::Key_Escape), &window, [&] { ++cancelled; });
    press(&window, Qt::Key_Escape);
    EXPECT_EQ(cancelled, 1);
    EXPECT_TRUE(window.isVisible());
    delete cancel;
    window.setStyleMask(KivaroWindow::Titled);
    press(&window, Qt::Key_Escape);
    EXPECT_TRUE(window.isVisible()) << "a window without a close button stays";
    window.setStyleMask(KivaroWindow::Titled | KivaroWindow::Closable);
    press(&window, Qt::Key_Escape, Qt::ShiftModifier);
    EXPECT_TRUE(window.isVisible()) << "a chord is not Escape";
    press(&window, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
}
