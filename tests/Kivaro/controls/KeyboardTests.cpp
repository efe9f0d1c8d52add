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

#include "Rendering.h"

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
        const QImage idle = control->grab().toImage();
        EXPECT_FALSE(ringed(idle));
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

TEST(KitKeyboard, TheModeControlIsOneTabStopWhoseArrowsChooseAsAClickDoes)
{
    auto *before = new KivaroButton(QStringLiteral("前"));
    auto *modes = new KivaroModes({QStringLiteral("语音标注"), QString(), QString(), QString()});
    auto *after = new KivaroButton(QStringLiteral("后"));
    Host host({before, modes, after});
    modes->setSelectedSegment(1);
    QSignalSpy activated(modes, &KivaroModes::activated);

    before->setFocus(Qt::TabFocusReason);
    press(&host.window, Qt::Key_Tab);
    ASSERT_EQ(host.window.focusWidget(), modes);
    press(&host.window, Qt::Key_Right);
    press(&host.window, Qt::Key_Down);
    EXPECT_EQ(modes->selectedSegment(), 3);
    press(&host.window, Qt::Key_Right);
    EXPECT_EQ(modes->selectedSegment(), 3) << "no wrapping";
    press(&host.window, Qt::Key_Home);
    EXPECT_EQ(modes->selectedSegment(), 0);
    press(&host.window, Qt::Key_Left);
    press(&host.window, Qt::Key_End);
    press(&host.window, Qt::Key_Up);
    EXPECT_EQ(modes->selectedSegment(), 2);
    QList<int> chosen;
    for (const QList<QVariant> &signal : std::as_const(activated))
        chosen << signal.at(0).toInt();
    EXPECT_EQ(chosen, (QList<int>{2, 3, 0, 3, 2})) << "each change is the user's choice, once";

    press(&host.window, Qt::Key_Tab);
    EXPECT_EQ(host.window.focusWidget(), after) << "one stop for the whole control";
    modes->setEnabled(false);
    press(&host.window, Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(host.window.focusWidget(), before) << "a disabled control is passed over";
}

TEST(KitKeyboard, TheModeControlsRingSurroundsTheSelectedSegment)
{
    KivaroModes modes({QStringLiteral("语音标注"), QString(), QString(), QString()});
    for (int i = 1; i < 4; ++i)
        modes.setWidth(i, 34);
    modes.setSelectedSegment(2);
    modes.resize(modes.sizeHint());
    KivaroModes::Look look = modes.look();
    const auto render = [](const KivaroModes::Look &shown) {
        return canvas(shown.size.toSize(), [&](QPainter &p) { KivaroModes::paint(p, shown, Appearance::light); });
    };
    const QImage plain = render(look);
    look.focused = true;
    const QImage focused = render(look);
    const QRect segment = modes.segmentRect(2).toAlignedRect();
    QRect changed;
    for (int y = 0; y < focused.height(); ++y)
        for (int x = 0; x < focused.width(); ++x)
            if (focused.pixel(x, y) != plain.pixel(x, y))
                changed |= QRect(x, y, 1, 1);
    EXPECT_FALSE(changed.isEmpty());
    EXPECT_TRUE(segment.contains(changed)) << "a ring inside the selected segment, nothing else";
    EXPECT_TRUE(ringed(focused.copy(segment)));
}

TEST(KitKeyboard, EscapeClosesAClosableWindowUnlessSomethingInsideTakesIt)
{
    KivaroWindow window(QRect(0, 0, 300, 200), KivaroWindow::Titled | KivaroWindow::Closable);
    auto *field = new QLineEdit;
    window.setContentView(field);
    window.makeKeyAndOrderFront();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    field->setFocus();
    press(&window, Qt::Key_Escape, Qt::ShiftModifier);
    EXPECT_TRUE(window.isVisible()) << "a chord is not Escape";
    press(&window, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());

    // A window that uses Escape itself (the editor cancels with it) keeps it.
    window.makeKeyAndOrderFront();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    int cancelled = 0;
    auto *cancel = new QShortcut(QKeySequence(Qt::Key_Escape), &window, [&] { ++cancelled; });
    press(&window, Qt::Key_Escape);
    EXPECT_EQ(cancelled, 1);
    EXPECT_TRUE(window.isVisible());
    delete cancel;

    window.setStyleMask(KivaroWindow::Titled);
    press(&window, Qt::Key_Escape);
    EXPECT_TRUE(window.isVisible()) << "a window without a close button stays";
}
