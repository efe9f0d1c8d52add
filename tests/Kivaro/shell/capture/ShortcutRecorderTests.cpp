#include "Kivaro/shell/capture/ShortcutRecorder.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

#include <gtest/gtest.h>

using namespace Kivaro;

namespace {

// A key event as the xcb platform makes it: the keysym is the native virtual key.
QKeyEvent press(int qtKey, std::uint32_t keysym, Qt::KeyboardModifiers modifiers = {}, const QString &text = {})
{
    return QKeyEvent(QEvent::KeyPress, qtKey, modifiers, 0, keysym, 0, text);
}

// A recorder for ⌃⌥⌘4 beside a text field in an active window.
class Recorder : public ::testing::Test {
protected:
    Recorder()
    {
        field->move(0, 40);
        recorder->binding = CaptureShortcut{21, 0x1900, QStringLiteral("4")};
        recorder->changed = [this](CaptureShortcut chord) { recorded.append(chord); };
        recorder->recordingChanged = [this](bool on) { changes.append(on); };
        window.show();
        QApplication::setActiveWindow(&window);
    }
    void startRecording()
    {
        recorder->recording = true;
        recorder->setFocus(Qt::MouseFocusReason);
        recorder->recordingChanged(true);
    }
    // Sends a press to `target` (the field); returns whether the press typed into it.
    static bool typed(QKeyEvent event, QLineEdit *target)
    {
        const QString before = target->text();
        QApplication::sendEvent(target, &event);
        return target->text() != before;
    }

    QWidget window;
    ShortcutRecorder *recorder = new ShortcutRecorder(&window);
    QLineEdit *field = new QLineEdit(&window);
    QList<CaptureShortcut> recorded;
    QList<bool> changes;
};

} // namespace

TEST(ShortcutRecorderChord, NamesTheKeyItselfWhateverShiftTypes)
{
    EXPECT_EQ(ShortcutRecorder::chord(press(Qt::Key_K, 0x4b, Qt::ShiftModifier | Qt::MetaModifier, QStringLiteral("K"))),
              (CaptureShortcut{40, 0x300, QStringLiteral("K")}));
    EXPECT_EQ(ShortcutRecorder::chord(press(Qt::Key_Enter, 0xff8d, Qt::AltModifier | Qt::KeypadModifier)), (CaptureShortcut{76, 0x800, QStringLiteral("↩")}))
        << "the keypad flag is not part of a chord";
    EXPECT_EQ(ShortcutRecorder::chord(press(Qt::Key_Return, 0xff0d)).keyName, QStringLiteral("↩"));
    EXPECT_EQ(ShortcutRecorder::chord(press(Qt::Key_F5, 0xffc2)).keyName, QStringLiteral("F5"));
    EXPECT_EQ(ShortcutRecorder::chord(press(Qt::Key_F20, 0xffd1)).keyName, QStringLiteral("F20"));
    EXPECT_EQ(ShortcutRecorder::chord(press(Qt::Key_Space, 0x20, {}, QStringLiteral(" "))).keyName, QStringLiteral("空格"));
}

TEST_F(Recorder, ARecordedPressIsTakenReportedAndEndsRecordingAndEscapeRecordsNothing)
{
    startRecording();
    EXPECT_FALSE(typed(press(Qt::Key_A, 0x61, Qt::ShiftModifier, QStringLiteral("A")), field));
    ASSERT_EQ(recorded.size(), 1);
    EXPECT_EQ(recorded.first().modifiers, 0x200u) << "refusing Shift+A is the settings window's task";
    EXPECT_EQ(recorder->text(), QStringLiteral("⌃⌥⌘4"));
    EXPECT_EQ(changes, (QList<bool>{true, false}));

    startRecording();
    EXPECT_FALSE(typed(press(Qt::Key_Escape, 0xff1b), field));
    EXPECT_EQ(recorded.size(), 1);
    EXPECT_FALSE(recorder->recording);
}

TEST_F(Recorder, PressesGoOnWhenNotRecordingOrInAnotherWindowAndFocusLossEndsRecording)
{
    EXPECT_TRUE(typed(press(Qt::Key_B, 0x62, {}, QStringLiteral("b")), field));
    startRecording();
    QLineEdit elsewhere;
    elsewhere.show();
    EXPECT_TRUE(typed(press(Qt::Key_C, 0x63, {}, QStringLiteral("c")), &elsewhere));
    EXPECT_FALSE(typed(press(Qt::Key_Control, 0xffe3, Qt::ControlModifier), field));
    EXPECT_TRUE(recorder->recording) << "a modifier on its own is a chord being formed";
    EXPECT_TRUE(recorded.isEmpty());

    field->setFocus(Qt::MouseFocusReason);
    EXPECT_FALSE(recorder->recording);
    EXPECT_EQ(changes, (QList<bool>{true, false}));
}
