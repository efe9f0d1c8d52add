#include "Kivaro/shell/capture/ShortcutRecorder.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace Kivaro;

namespace {

// A key event as the xcb platform makes it: the keysym is the native virtual key.
QKeyEvent press(int qtKey, std::uint32_t keysym, Qt::KeyboardModifiers modifiers, const QString &text = {})
{
    return QKeyEvent(QEvent::KeyPress, qtKey, modifiers, 0, keysym, 0, text);
}

class Recorder : public ::testing::Test {
protected:
    Recorder()
    {
        auto *layout = new QVBoxLayout(&window);
        recorder = new ShortcutRecorder(&window);
        field = new QLineEdit(&window);
        layout->addWidget(recorder);
        layout->addWidget(field);
        recorder->binding = CaptureShortcut{21, 0x1900, QStringLiteral("4")};
        recorder->changed = [this](CaptureShortcut chord) { recorded.append(chord); };
        recorder->recordingChanged = [this](bool on) { changes.append(on); };
        window.show();
        QApplication::setActiveWindow(&window);
    }
    void startRecording()
    {
        recorder->recording = true;
        recorder->setText(QStringLiteral("按下组合键…"));
        recorder->setFocus(Qt::MouseFocusReason);
        recorder->recordingChanged(true);
    }
    // Sends a press to the focused field; returns whether the field got it.
    bool send(QKeyEvent event, QWidget *target = nullptr)
    {
        before = field->text();
        QApplication::sendEvent(target ? target : field, &event);
        return field->text() != before;
    }

    QWidget window;
    ShortcutRecorder *recorder;
    QLineEdit *field;
    QList<CaptureShortcut> recorded;
    QList<bool> changes;
    QString before;
};

} // namespace

TEST(ShortcutRecorderChord, NamesTheKeyItselfWhateverShiftTypes)
{
    const CaptureShortcut k = ShortcutRecorder::chord(press(Qt::Key_K, 0x4b, Qt::ShiftModifier | Qt::MetaModifier, QStringLiteral("K")));
    EXPECT_EQ(k.keyName, QStringLiteral("K"));
    EXPECT_EQ(k.modifiers, 0x300u);
    EXPECT_EQ(k.keyCode, 40u);
    EXPECT_EQ(ShortcutRecorder::chord(press(Qt::Key_F5, 0xffc2, Qt::ControlModifier)).keyName, QStringLiteral("F5"));
    EXPECT_EQ(ShortcutRecorder::chord(press(Qt::Key_F20, 0xffd1, Qt::ControlModifier)).keyName, QStringLiteral("F20"));
    EXPECT_EQ(ShortcutRecorder::chord(press(Qt::Key_Return, 0xff0d, Qt::AltModifier)).keyName, QStringLiteral("↩"));
    const CaptureShortcut enter = ShortcutRecorder::chord(press(Qt::Key_Enter, 0xff8d, Qt::AltModifier | Qt::KeypadModifier));
    EXPECT_EQ(enter.keyName, QStringLiteral("↩"));
    EXPECT_EQ(enter.keyCode, 76u);
    EXPECT_EQ(enter.modifiers, 0x800u) << "the keypad flag is not part of a chord";
    EXPECT_EQ(ShortcutRecorder::chord(press(Qt::Key_Space, 0x20, Qt::ControlModifier, QStringLiteral(" "))).keyName,
              QStringLiteral("空格"));
    EXPECT_EQ(ShortcutRecorder::chord(press(Qt::Key_Minus, 0x2d, Qt::ControlModifier, QStringLiteral("-"))).keyName, QStringLiteral("-"));
}

TEST_F(Recorder, ARecordedPressIsTakenReportedAndEndsRecording)
{
    startRecording();
    EXPECT_FALSE(send(press(Qt::Key_A, 0x61, Qt::ShiftModifier, QStringLiteral("A"))));
    ASSERT_EQ(recorded.size(), 1);
    EXPECT_EQ(recorded.first().keyName, QStringLiteral("A"));
    EXPECT_EQ(recorded.first().modifiers, 0x200u) << "refusing Shift+A is the settings window's task";
    EXPECT_FALSE(recorder->recording);
    EXPECT_EQ(recorder->text(), QStringLiteral("⌃⌥⌘4"));
    EXPECT_EQ(changes, (QList<bool>{true, false}));
}

TEST_F(Recorder, EscapeRecordsNothingAndRestoresTheTitle)
{
    startRecording();
    EXPECT_FALSE(send(press(Qt::Key_Escape, 0xff1b, Qt::NoModifier)));
    EXPECT_TRUE(recorded.isEmpty());
    EXPECT_FALSE(recorder->recording);
    EXPECT_EQ(recorder->text(), QStringLiteral("⌃⌥⌘4"));
}

TEST_F(Recorder, PressesGoOnWhenNotRecordingOrInAnotherWindow)
{
    EXPECT_TRUE(send(press(Qt::Key_B, 0x62, Qt::NoModifier, QStringLiteral("b"))));
    startRecording();
    QLineEdit elsewhere;
    elsewhere.show();
    QKeyEvent event = press(Qt::Key_C, 0x63, Qt::NoModifier, QStringLiteral("c"));
    QApplication::sendEvent(&elsewhere, &event);
    EXPECT_EQ(elsewhere.text(), QStringLiteral("c"));
    EXPECT_TRUE(recorder->recording);
    // A modifier on its own is a chord being formed, not a press to record.
    EXPECT_FALSE(send(press(Qt::Key_Control, 0xffe3, Qt::ControlModifier)));
    EXPECT_TRUE(recorder->recording);
    EXPECT_TRUE(recorded.isEmpty());
}

TEST_F(Recorder, LosingTheFocusEndsRecording)
{
    startRecording();
    ASSERT_TRUE(recorder->hasFocus());
    field->setFocus(Qt::MouseFocusReason);
    EXPECT_FALSE(recorder->recording);
    EXPECT_EQ(changes, (QList<bool>{true, false}));
    recorder->cancel(); // not recording: nothing happens
    EXPECT_EQ(changes.size(), 2);
}
