// The sub-runs of the full verification suite that drive the settings window (the global hot
// keys and what a finished capture does), text recognition and the appearance, run in this
// process against a real application delegate and editor, on an X server of this executable's
// own with openbox (the hot-key check grabs global keys). Each is checked by its evidence bytes
// and what it leaves behind, and fails once on purpose.

#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/document/ShotState.h"
#include "Kivaro/editor/CanvasBackgroundView.h"
#include "Kivaro/editor/EditorController.h"
#include "Kivaro/shell/AppDelegate.h"
#include "Kivaro/shell/ShortcutSettingsController.h"
#include "Kivaro/shell/capture/GlobalShortcut.h"
#include "Kivaro/controls/KivaroModes.h"
#include "Kivaro/verification/AppearanceVerification.h"
#include "Kivaro/verification/BasicWorkflowVerification.h"
#include "Kivaro/verification/ApplicationVisibilityVerification.h"
#include "Kivaro/verification/CaptureCompletionVerification.h"
#include "Kivaro/verification/LocalizationVerification.h"
#include "Kivaro/verification/PrototypeVerification.h"
#include "Kivaro/verification/ShortcutRoutingVerification.h"
#include "Kivaro/verification/ShortcutVerification.h"
#include "Kivaro/verification/SharingVerification.h"
#include "Kivaro/verification/TextRecognitionVerification.h"
#include "Kivaro/voice-and-text/IntegratedTellumo.h"
#include "Kivaro/voice-and-text/VoiceFeedbackView.h"
#include "KivaroCore/CaptureShortcut.h"
#include "KivaroCore/VerificationRun.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "Platform/Dialogs/ScriptedAlertPresenter.h"
#include "Platform/Dialogs/ScriptedFilePanels.h"
#include "Platform/Keys/KeyTable.h"
#include "Platform/Pasteboard/Pasteboard.h"
#include "Platform/ScreenCapture/X11TestDisplay.h"
#include "Support/ClientProcess.h"
#include "Support/TaskTesting.h"
#include "Support/TestRun.h"
#include "Support/XvfbSession.h"
#include "TellumoCore/TextRecognizer.h"

#include <QAction>
#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QProcess>
#include <QTemporaryDir>
#include <QWindow>

#include <gtest/gtest.h>

using namespace Kivaro;
using NativeAppAppearance::Appearance;
using NativeAppAppearance::AppearanceManager;
using TestSupport::X11TestDisplay;

namespace {

X11TestDisplay *display = nullptr;

std::exception_ptr runTask(Platform::Task<void> task, int timeoutMs = 60000)
{
    try {
        TestSupport::run(std::move(task), timeoutMs);
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

QString failureOf(Platform::Task<void> task, int timeoutMs = 60000)
{
    const std::exception_ptr error = runTask(std::move(task), timeoutMs);
    return error ? PrototypeVerification::describe(error) : QString();
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList filesIn(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    names.removeAll(QStringLiteral("data"));
    names.sort();
    return names;
}

// The mean lightness of a PNG's pixels (0 black .. 255 white).
int lightness(const QString &path)
{
    const QImage image(path);
    if (image.isNull())
        return -1;
    qint64 sum = 0;
    qint64 count = 0;
    for (int y = 0; y < image.height(); y += 7)
        for (int x = 0; x < image.width(); x += 7, ++count)
            sum += qGray(image.pixel(x, y));
    return int(sum / qMax<qint64>(count, 1));
}

class SubRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(QDir().mkpath(output()));
        // The run's own data folder: the sharing check's receiver goes there.
        savedDataHome = qgetenv("XDG_DATA_HOME");
        ASSERT_TRUE(QDir().mkpath(dataHome()));
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome()));
        AppearanceManager::shared().setApplicationAppearance(std::nullopt);
        AppDelegate::Services services;
        services.editor.pasteboard = Platform::Pasteboard::withUniqueName();
        services.editor.filePanels = std::make_shared<Platform::ScriptedFilePanels>();
        services.editor.alerts = std::make_shared<Platform::ScriptedAlertPresenter>();
        services.editor.recentDirectory = folder.filePath(QStringLiteral("recent"));
        services.alerts = services.editor.alerts;
        delegate = std::make_unique<AppDelegate>(services);
        delegate->applicationDidFinishLaunching();
        ASSERT_TRUE(delegate->editor());
        editor = delegate->editor();
        // The shot the suite's earlier steps leave open.
        QImage shot(640, 400, QImage::Format_RGBA8888_Premultiplied);
        shot.fill(QColor(40, 120, 220));
        editor->document()->load(shot, false);
    }
    // Waits until the window manager has put `window` on the screen.
    static bool exposed(QWidget *window)
    {
        return TestSupport::waitUntil([window] { return window && window->windowHandle() && window->windowHandle()->isExposed(); });
    }
    void TearDown() override
    {
        delegate.reset();
        TestSupport::waitUntil([] { return false; }, 20);
        AppearanceManager::shared().setApplicationAppearance(std::nullopt);
        qputenv("XDG_DATA_HOME", savedDataHome);
    }
    QString dataHome() const { return out(QStringLiteral("data")); }
    QString output() const { return folder.filePath(QStringLiteral("out")); }
    QString out(const QString &name) const { return QDir(output()).filePath(name); }

    QTemporaryDir folder;
    QByteArray savedDataHome;
    std::unique_ptr<AppDelegate> delegate;
    EditorController *editor = nullptr;
};

// ---- the two capture hot keys ----------------------------------------------------------------

const CaptureShortcut controlOptionCommand5{23, 0x1900, QStringLiteral("5")};

QStringList shortcutSuites()
{
    return QDir(Platform::UserDefaults::folder())
        .entryList({QString::fromLatin1(ShortcutVerification::suitePrefix) + u'*'}, QDir::Files | QDir::Dirs);
}

TEST_F(SubRun, TheHotKeyCheckPassesOnRealGrabsAndGivesTheApplicationItsHotKeyBack)
{
    GlobalShortcut *own = delegate->shortcut();
    ASSERT_TRUE(own && own->registeredBinding());
    const CaptureShortcut ownBinding = *own->registeredBinding();
    const bool ownOptionVariant = own->hasOptionVariant();

    ASSERT_EQ(failureOf(ShortcutVerification::run(output())), QString());

    const QByteArray record = contents(out(QStringLiteral("two-shortcuts-result.json")));
    EXPECT_EQ(record, ShortcutVerification::passRecord());
    EXPECT_EQ(record.size(), 175);
    EXPECT_EQ(filesIn(output()), (QStringList{QStringLiteral("06-shortcut-settings.png"), QStringLiteral("two-shortcuts-dark.png"),
                                             QStringLiteral("two-shortcuts-light.png"), QStringLiteral("two-shortcuts-result.json")}));
    EXPECT_GT(lightness(out(QStringLiteral("two-shortcuts-light.png"))), 150);
    EXPECT_LT(lightness(out(QStringLiteral("two-shortcuts-dark.png"))), 110);
    EXPECT_LT(lightness(out(QStringLiteral("06-shortcut-settings.png"))), 110);

    // The application's own hot key is back, the throw-away suite is gone, and the run's chords
    // (the blocking ⌃⌥⌘7 and the recorded ⌃⌘8) are free for other applications again.
    ASSERT_TRUE(own->registeredBinding());
    EXPECT_EQ(*own->registeredBinding(), ownBinding);
    EXPECT_EQ(own->hasOptionVariant(), ownOptionVariant);
    EXPECT_EQ(shortcutSuites(), QStringList());
    for (const auto &[keysym, mask] : {std::pair<std::uint32_t, std::uint32_t>{'7', 0x1900}, {'8', 0x1100}, {'8', 0x1900}}) {
        const xcb_keycode_t code = display->keyCode(keysym);
        const std::uint16_t modifiers = Platform::Keys::xModifiersFromHotKeyMask(mask);
        EXPECT_TRUE(display->grabKey(code, modifiers)) << char(keysym);
        display->ungrabKey(code, modifiers);
    }
}

TEST_F(SubRun, AChordHeldByAnotherApplicationFailsTheHotKeyCheckAndLeavesNothingBehind)
{
    const CaptureShortcut ownBinding = *delegate->shortcut()->registeredBinding();
    const xcb_keycode_t five = display->keyCode('5');
    const std::uint16_t modifiers = Platform::Keys::xModifiersFromHotKeyMask(controlOptionCommand5.modifiers);
    ASSERT_TRUE(display->grabKey(five, modifiers));

    const QString failure = failureOf(ShortcutVerification::run(output()));
    display->ungrabKey(five, modifiers);

    EXPECT_FALSE(failure.isEmpty());
    EXPECT_FALSE(failure.contains(QStringLiteral("快捷键未生效或未保存"))) << "the apply's own refusal is reported: " << failure.toStdString();
    EXPECT_FALSE(QFile::exists(out(QStringLiteral("two-shortcuts-result.json"))));
    EXPECT_EQ(shortcutSuites(), QStringList());
    ASSERT_TRUE(delegate->shortcut()->registeredBinding());
    EXPECT_EQ(*delegate->shortcut()->registeredBinding(), ownBinding);
}

TEST_F(SubRun, WhenTheApplicationsHotKeyCannotComeBackTheHotKeyCheckFails)
{
    GlobalShortcut *own = delegate->shortcut();
    ASSERT_TRUE(own && own->registeredBinding());
    const CaptureShortcut ownBinding = *own->registeredBinding();
    const xcb_keycode_t code = display->keyCode(ownBinding.keyName.at(0).unicode());
    const std::uint16_t modifiers = Platform::Keys::xModifiersFromHotKeyMask(ownBinding.modifiers);

    // Once the pictures are being taken the run no longer holds the application's chord: another
    // application takes it then, before the run gives it back.
    auto running = Platform::start(ShortcutVerification::run(output()));
    bool grabbed = false;
    ASSERT_TRUE(TestSupport::waitUntil(
        [&] {
            if (!grabbed && QFile::exists(out(QStringLiteral("two-shortcuts-light.png"))))
                grabbed = display->grabKey(code, modifiers);
            return running.isFinished();
        },
        60000));
    display->ungrabKey(code, modifiers);
    ASSERT_TRUE(grabbed);
    ASSERT_TRUE(running.error());
    EXPECT_TRUE(PrototypeVerification::describe(running.error()).startsWith(QStringLiteral("应用快捷键恢复失败")))
        << PrototypeVerification::describe(running.error()).toStdString();
    EXPECT_FALSE(QFile::exists(out(QStringLiteral("two-shortcuts-result.json"))));
    EXPECT_EQ(shortcutSuites(), QStringList());
}

// ---- what a finished capture does ------------------------------------------------------------

enum class Fault { copiesWhenOff, clearsWhenOff, showsWhenNotAsked, leavesAnotherMode, reencodesThePNG };

// The editor's own completion step with one fault planted in or after it.
Platform::Task<void> faultyCompletion(Fault fault, EditorController *editor, CaptureCompletionPreferences preferences,
                                      std::shared_ptr<Platform::Pasteboard> pasteboard)
{
    const bool copies = preferences.copiesImage;
    preferences.copiesImage |= fault == Fault::copiesWhenOff;
    preferences.opensEditor |= fault == Fault::showsWhenNotAsked;
    co_await editor->finishImageCapture(preferences, pasteboard, std::nullopt);
    if (fault == Fault::clearsWhenOff && !copies)
        pasteboard->clearContents();
    if (fault == Fault::leavesAnotherMode)
        editor->mode()->setSelectedSegment(EditorController::textSegment);
    if (fault == Fault::reencodesThePNG && copies) {
        // The same picture in other bytes.
        QImage image = QImage::fromData(pasteboard->data(Platform::PasteboardType::png).value_or(QByteArray()));
        image.setText(QStringLiteral("Comment"), QStringLiteral("encoded again"));
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        pasteboard->setContents({{Platform::PasteboardType::png, buffer.data()}});
    }
}

QByteArray realClipboard()
{
    const auto read = TestSupport::runClient(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-o")});
    return read.finished && read.exitCode == 0 ? read.output : QByteArray();
}

QStringList completionSuites()
{
    return QDir(Platform::UserDefaults::folder()).entryList({QString::fromLatin1(CaptureCompletionVerification::suitePrefix) + u'*'}, QDir::Files);
}

TEST_F(SubRun, TheCompletionCheckPassesAndLeavesTheUsersSettingsClipboardAndMode)
{
    // The user's own choices differ from what a fresh suite must read.
    Platform::UserDefaults user = Platform::UserDefaults::standard();
    user.set(QString::fromLatin1(CaptureCompletionPreferences::opensEditorKey), true);
    user.set(QString::fromLatin1(CaptureCompletionPreferences::copiesImageKey), false);
    const auto before = Platform::UserDefaults::persistentDomain(QString::fromLatin1(Platform::UserDefaults::standardDomain));
    // Another client owns the real clipboard (xclip serves it in the foreground until replaced).
    QProcess owner;
    owner.start(QStringLiteral("xclip"), {QStringLiteral("-quiet"), QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-i")});
    ASSERT_TRUE(owner.waitForStarted(5000));
    owner.write("the user's clipboard");
    owner.closeWriteChannel();
    ASSERT_TRUE(TestSupport::waitUntil([] { return realClipboard() == "the user's clipboard"; }));
    editor->showEditor();
    editor->mode()->setSelectedSegment(EditorController::textSegment);

    ASSERT_EQ(failureOf(CaptureCompletionVerification::run(editor, output())), QString());

    const QByteArray record = contents(out(QStringLiteral("capture-completion-result.json")));
    EXPECT_EQ(record, QByteArray(CaptureCompletionVerification::passResult));
    EXPECT_EQ(record.size(), 146);
    EXPECT_EQ(filesIn(output()), (QStringList{QStringLiteral("capture-completion-result.json"), QStringLiteral("capture-completion-settings-dark.png"),
                                             QStringLiteral("capture-completion-settings-light.png")}));
    EXPECT_GT(lightness(out(QStringLiteral("capture-completion-settings-light.png"))), 150);
    EXPECT_LT(lightness(out(QStringLiteral("capture-completion-settings-dark.png"))), 110);
    EXPECT_EQ(realClipboard(), "the user's clipboard");
    owner.kill();
    owner.waitForFinished(2000);
    EXPECT_EQ(Platform::UserDefaults::persistentDomain(QString::fromLatin1(Platform::UserDefaults::standardDomain)), before);
    EXPECT_EQ(completionSuites(), QStringList());
    EXPECT_TRUE(editor->window()->isVisible());
    EXPECT_EQ(editor->mode()->selectedSegment(), int(EditorController::textSegment));
}

TEST_F(SubRun, AFaultyCompletionStepOrAMissingEditorFailsTheCompletionCheckWithItsMessage)
{
    EXPECT_EQ(failureOf(CaptureCompletionVerification::run(nullptr, output())), QStringLiteral("Editor window missing"));
    editor->mode()->setSelectedSegment(EditorController::textSegment);
    const std::pair<Fault, QString> cases[] = {
        {Fault::copiesWhenOff, QStringLiteral("Disabled capture copy changed the clipboard")},
        // Clearing alone moves the change count, though nothing is written.
        {Fault::clearsWhenOff, QStringLiteral("Disabled capture copy changed the clipboard")},
        {Fault::showsWhenNotAsked, QStringLiteral("Capture editor visibility or mode incorrect")},
        {Fault::leavesAnotherMode, QStringLiteral("Capture editor visibility or mode incorrect")},
        {Fault::reencodesThePNG, QStringLiteral("Captured PNG was not copied")},
    };
    for (const auto &[fault, message] : cases) {
        SCOPED_TRACE(message.toStdString());
        // An earlier pass in the folder does not outlive the failure.
        QFile stale(out(QStringLiteral("capture-completion-result.json")));
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly) && stale.write(CaptureCompletionVerification::passResult) == 146);
        stale.close();
        const auto step = [fault](EditorController *target, CaptureCompletionPreferences preferences, std::shared_ptr<Platform::Pasteboard> to) {
            return faultyCompletion(fault, target, preferences, std::move(to));
        };
        EXPECT_EQ(failureOf(CaptureCompletionVerification::run(editor, output(), step)), message);
        EXPECT_FALSE(QFile::exists(out(QStringLiteral("capture-completion-result.json"))));
        EXPECT_EQ(completionSuites(), QStringList());
        EXPECT_TRUE(editor->window()->isVisible());
        EXPECT_EQ(editor->mode()->selectedSegment(), int(EditorController::textSegment));
    }
}

// ---- the minimised window --------------------------------------------------------------------

// A minimised window stays "visible" to Qt and listed by the window manager: only the window
// manager's iconic state tells a minimised window from a shown one.
TEST(MinimisedWindow, OnlyTheWindowManagersIconicStatePassesTheCheck)
{
    QWidget window;
    window.setWindowTitle(QStringLiteral("Minimised check"));
    window.resize(320, 200);
    window.show();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return window.windowHandle() && window.windowHandle()->isExposed(); }));
    EXPECT_EQ(ApplicationVisibilityVerification::isIconic(&window), std::optional<bool>(false));
    EXPECT_EQ(failureOf(ApplicationVisibilityVerification::requireMinimized(&window, 8)),
              QStringLiteral("Application visibility check 8: the window manager does not show \"Minimised check\" minimised"));

    window.showMinimized();
    EXPECT_TRUE(window.isVisible()) << "Qt keeps a minimised window visible";
    EXPECT_EQ(failureOf(ApplicationVisibilityVerification::requireMinimized(&window, 8)), QString());
    EXPECT_EQ(ApplicationVisibilityVerification::isIconic(&window), std::optional<bool>(true));
}

// ---- the localisation run's windows ----------------------------------------------------------

// The texts of the visible windows are gathered in the application's window order: the window
// manager's stacking, front-most first, whichever window was made first.
TEST(LocalizationWindows, VisibleWindowsComeFrontMostFirst)
{
    QWidget first;
    first.setWindowTitle(QStringLiteral("Made first"));
    QWidget second;
    second.setWindowTitle(QStringLiteral("Made second"));
    for (QWidget *window : {&first, &second}) {
        window->resize(300, 200);
        window->show();
        ASSERT_TRUE(TestSupport::waitUntil([window] { return window->windowHandle() && window->windowHandle()->isExposed(); }));
    }
    const auto order = [&] {
        QList<QWidget *> ours;
        for (QWidget *window : LocalizationVerification::visibleWindows())
            if (window == &first || window == &second)
                ours.append(window);
        return ours;
    };
    for (QWidget *front : {&first, &second, &first}) {
        front->raise();
        front->activateWindow();
        QWidget *back = front == &first ? &second : &first;
        EXPECT_TRUE(TestSupport::waitUntil([&] { return order() == QList<QWidget *>{front, back}; }))
            << front->windowTitle().toStdString() << " in front";
    }
}

// ---- the quit during a capture ---------------------------------------------------------------

// The quit is the scenario's own only once the menu took its key: nothing is noted while the key
// waits in the queue (another quit meanwhile is not the scenario's), nor when no enabled item
// takes it.
TEST_F(SubRun, TheQuitIsTheScenariosOwnOnlyOnceTheMenuTookItsKey)
{
    QAction *quit = nullptr;
    for (QAction *top : delegate->mainMenu()->actions())
        if (QMenu *menu = top->menu())
            for (QAction *item : menu->actions())
                if (item->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_Q))
                    quit = item;
    ASSERT_TRUE(quit);
    bool refused = false;
    quit->setEnabled(false);
    BasicWorkflowVerification::postQuitKey(delegate.get(), [&] { refused = true; });
    EXPECT_FALSE(PrototypeVerification::quitPostedDuringCapture());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return refused; }));
    EXPECT_FALSE(PrototypeVerification::quitPostedDuringCapture()) << "no item took the key";

    refused = false;
    quit->setEnabled(true);
    BasicWorkflowVerification::postQuitKey(delegate.get(), [&] { refused = true; });
    EXPECT_FALSE(PrototypeVerification::quitPostedDuringCapture()) << "the key still waits in the queue";
    const bool noted = TestSupport::waitUntil([] { return PrototypeVerification::quitPostedDuringCapture(); });
    PrototypeVerification::noteQuitPostedDuringCapture(false);
    EXPECT_TRUE(noted);
    EXPECT_FALSE(refused);
    EXPECT_TRUE(TestSupport::waitUntil([&] { return delegate->hasTerminated(); })) << "the menu's quit ran";
}

// ---- the window keys of the main menu --------------------------------------------------------

TEST_F(SubRun, TheWindowKeysOpenAndCloseSettingsAndHideTheEditor)
{
    ASSERT_EQ(failureOf(ShortcutRoutingVerification::run(editor, output())), QString());
    EXPECT_EQ(filesIn(output()), QStringList{QStringLiteral("capture-settings.png")});
    EXPECT_FALSE(delegate->shortcutSettings()->window()->isVisible());
    EXPECT_FALSE(editor->window()->isVisible());
    EXPECT_FALSE(delegate->hasTerminated());
}

TEST_F(SubRun, ASettingsItemThatCannotBeChosenFailsTheFirstRoutingCheck)
{
    const QKeySequence comma = ShortcutRoutingVerification::key(43, HotKeyMask::command);
    ASSERT_EQ(comma, QKeySequence(Qt::CTRL | Qt::Key_Comma));
    int disabled = 0;
    for (QAction *action : delegate->mainMenu()->findChildren<QAction *>())
        if (action->shortcut() == comma) {
            action->setEnabled(false);
            ++disabled;
        }
    ASSERT_GT(disabled, 0);
    EXPECT_EQ(failureOf(ShortcutRoutingVerification::run(editor, output())), QStringLiteral("验证失败：command-comma-routed"));
    EXPECT_EQ(filesIn(output()), QStringList());
}

// ---- text recognition ------------------------------------------------------------------------

TEST(TextRecognitionFixture, TheFixtureReadsExactlyAndTheBlankImageGivesNothing)
{
    const QString read = TestSupport::run(Tellumo::TextRecognizer::recognize(TextRecognitionVerification::fixture()), 60000);
    EXPECT_EQ(read, QStringLiteral("Confidential 739182\n公开笔记 Public note 246810")) << read.toStdString();
    QImage blank(960, 600, QImage::Format_RGBA8888_Premultiplied);
    blank.fill(Qt::white);
    EXPECT_EQ(TestSupport::run(Tellumo::TextRecognizer::recognize(blank), 60000), QString());
}

TEST_F(SubRun, RecognitionDropsTheMaskedLineKeepsThePasteboardAndRestoresTheShot)
{
    ShotDocument *document = editor->document();
    document->setFileURL(QStringLiteral("/somewhere/else.kivaro"));
    const ShotState before = document->state();
    int changes = 0;
    const auto previous = document->didChange;
    document->didChange = [&changes, previous] {
        ++changes;
        if (previous)
            previous();
    };
    editor->showEditor();
    ASSERT_TRUE(exposed(editor->window()));

    ASSERT_EQ(failureOf(TextRecognitionVerification::run(editor, output()), 120000), QString());

    EXPECT_EQ(contents(out(QStringLiteral("synthetic-ocr.txt"))), QStringLiteral("公开笔记 Public note 246810").toUtf8());
    EXPECT_EQ(filesIn(output()), (QStringList{QStringLiteral("07-ocr-redacted.png"), QStringLiteral("08-tellumo-settings.png"),
                                             QStringLiteral("before-ocr.kivaro"), QStringLiteral("synthetic-ocr.png"),
                                             QStringLiteral("synthetic-ocr.txt")}));
    const QImage exported = QImage(out(QStringLiteral("synthetic-ocr.png"))).convertToFormat(QImage::Format_RGB32);
    const QImage drawn = TextRecognitionVerification::fixture().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(exported.size(), QSize(960, 600));
    const QRect masked = TextRecognitionVerification::maskRect.toRect();
    EXPECT_NE(exported.copy(masked), drawn.copy(masked)) << "the mask covers the first line";
    const QRect open(0, 330, 960, 270);
    EXPECT_EQ(exported.copy(open), drawn.copy(open)) << "the second line is drawn as it is";
    EXPECT_EQ(document->state(), before);
    EXPECT_EQ(document->fileURL(), std::nullopt);
    EXPECT_GE(changes, 1);
    EXPECT_FALSE(editor->tellumo()->window() && editor->tellumo()->window()->isVisible());
    // The recognised text went to the editor's history in its own folder, nowhere else.
    EXPECT_TRUE(QDir(folder.filePath(QStringLiteral("recent/OCR"))).exists());
}

TEST_F(SubRun, ARecognitionRunThatCannotWriteItsTextStillRestoresTheShot)
{
    const ShotState before = editor->document()->state();
    editor->showEditor();
    ASSERT_TRUE(exposed(editor->window()));
    ASSERT_TRUE(QDir().mkpath(out(QStringLiteral("synthetic-ocr.txt"))));
    const QString failure = failureOf(TextRecognitionVerification::run(editor, output()), 120000);
    EXPECT_FALSE(failure.isEmpty());
    EXPECT_EQ(editor->document()->state(), before);
    EXPECT_EQ(editor->document()->fileURL(), std::nullopt);
    EXPECT_FALSE(QFile::exists(out(QStringLiteral("synthetic-ocr.png"))));
}

// ---- appearance ------------------------------------------------------------------------------

TEST_F(SubRun, TheAppearanceStepsPictureDarkThenLightAndPutTheSettingBack)
{
    editor->showEditor();
    ASSERT_TRUE(exposed(editor->window()));
    delegate->shortcutSettings()->show();
    ASSERT_TRUE(exposed(delegate->shortcutSettings()->window()));
    AppearanceManager::shared().setApplicationAppearance(Appearance::light);
    ASSERT_EQ(failureOf(AppearanceVerification::empty(editor, output())), QString());
    ASSERT_EQ(failureOf(AppearanceVerification::content(editor, output())), QString());

    EXPECT_EQ(filesIn(output()), (QStringList{QStringLiteral("11-dark-settings.png"), QStringLiteral("12-dark-editor.png"),
                                             QStringLiteral("13-dark-recording.png"), QStringLiteral("14-dark-retry.png"),
                                             QStringLiteral("15-dark-ai-settings.png"), QStringLiteral("16-light-restored.png")}));
    for (const char *dark : {"11-dark-settings.png", "12-dark-editor.png", "13-dark-recording.png", "14-dark-retry.png", "15-dark-ai-settings.png"})
        EXPECT_LT(lightness(out(QString::fromLatin1(dark))), 110) << dark;
    EXPECT_GT(lightness(out(QStringLiteral("16-light-restored.png"))), 150);
    EXPECT_EQ(AppearanceManager::shared().applicationAppearance(), Appearance::light);
    EXPECT_EQ(editor->voiceFeedback()->phase(), VoiceFeedbackView::Phase::hidden);
    EXPECT_FALSE(editor->tellumo()->window() && editor->tellumo()->window()->isVisible());
}

TEST_F(SubRun, ACanvasThatKeepsItsOwnAppearanceFailsAndEverythingIsPutBack)
{
    editor->showEditor();
    ASSERT_TRUE(exposed(editor->window()));
    AppearanceManager::shared().setAppearance(editor->document()->canvas(), Appearance::light);
    EXPECT_EQ(failureOf(AppearanceVerification::content(editor, output())), QStringLiteral("窗口背景未跟随主题切换"));
    EXPECT_EQ(AppearanceManager::shared().applicationAppearance(), std::nullopt);
    EXPECT_EQ(editor->voiceFeedback()->phase(), VoiceFeedbackView::Phase::hidden);
    EXPECT_EQ(filesIn(output()), QStringList());
}

// ---- sharing ---------------------------------------------------------------------------------

QStringList shareFolders()
{
    return QDir(QDir::tempPath()).entryList({QStringLiteral("Kivaro-share-*")}, QDir::Dirs);
}

TEST_F(SubRun, EveryShareEntryPointOffersTheDesignatedReceiverOneRightFileAndCleansUp)
{
    const QStringList before = shareFolders();
    ASSERT_EQ(failureOf(SharingVerification::run(editor, output()), 120000), QString());

    const QByteArray result = contents(out(QStringLiteral("sharing-result.json")));
    EXPECT_EQ(result, SharingVerification::passRecord());
    const QJsonObject record = QJsonDocument::fromJson(result).object();
    EXPECT_EQ(record.value(QStringLiteral("status")).toString(), QStringLiteral("passed"));
    EXPECT_EQ(record.value(QStringLiteral("environment")).toString(), QStringLiteral("native-linux"));
    EXPECT_EQ(record.value(QStringLiteral("recipientTransferVerified")), QJsonValue(false));
    EXPECT_EQ(record.value(QStringLiteral("checks")).toArray().size(), 6);

    const QJsonObject picker = QJsonDocument::fromJson(contents(out(QStringLiteral("share-picker-state.json")))).object();
    EXPECT_EQ(picker.value(QStringLiteral("files")).toInt(), 1);
    EXPECT_TRUE(picker.value(QStringLiteral("pngMatches")).toBool());
    EXPECT_TRUE(picker.value(QStringLiteral("receiverCanPerform")).toBool());
    EXPECT_TRUE(picker.value(QStringLiteral("proposedTitles")).toArray().contains(QString::fromLatin1(SharingVerification::receiverTitle)));
    EXPECT_FALSE(picker.value(QStringLiteral("busy")).toBool());

    QStringList names = filesIn(output());
    ASSERT_EQ(names.size(), 14) << names.join(u' ').toStdString();
    for (const char *name : {"share-editor-light.png", "share-editor-dark.png", "share-history-light.png", "share-history-dark.png",
                             "share-ocr-light.png", "share-ocr-dark.png", "share-menu.png", "share-menu-dark.png",
                             "share-history-menu.png", "share-ocr-menu.png"})
        EXPECT_FALSE(QImage(out(QString::fromLatin1(name))).isNull()) << name;
    // Nothing of the run claims a transfer it cannot make, the receiver is gone again, and the
    // share files were deleted.
    for (const QString &name : names)
        if (name.endsWith(QStringLiteral(".json"))) {
            EXPECT_FALSE(contents(out(name)).contains("AirDrop")) << name.toStdString();
        }
    EXPECT_FALSE(QFile::exists(QDir(dataHome()).filePath(QStringLiteral("applications/")
                                                          + QString::fromLatin1(SharingVerification::receiverId))));
    EXPECT_TRUE(TestSupport::waitUntil([&] { return shareFolders() == before; }, 3000)) << shareFolders().join(u' ').toStdString();
    EXPECT_EQ(AppearanceManager::shared().applicationAppearance(), std::nullopt);
    EXPECT_EQ(editor->textHistory().entries().value(0).text, SharingVerification::fixtureText());
}

TEST_F(SubRun, TheSharingCheckRefusesAReceiverOutsideTheRunsFolder)
{
    QTemporaryDir elsewhere;
    ASSERT_TRUE(elsewhere.isValid());
    qputenv("XDG_DATA_HOME", QFile::encodeName(elsewhere.path()));
    const QString failure = failureOf(SharingVerification::run(editor, output()));
    EXPECT_TRUE(failure.contains(QStringLiteral("XDG_DATA_HOME"))) << failure.toStdString();
    EXPECT_EQ(QDir(elsewhere.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    EXPECT_FALSE(QFile::exists(out(QStringLiteral("sharing-result.json"))));
}

} // namespace

int main(int argc, char **argv)
{
    TestSupport::XvfbSession xvfb(QSize(1600, 1000));
    if (!xvfb.isRunning()) {
        std::fprintf(stderr, "could not start an X server\n");
        return 1;
    }
    X11TestDisplay server;
    if (!server.isValid() || !server.startWindowManager()) {
        std::fprintf(stderr, "could not start openbox\n");
        return 1;
    }
    display = &server;
    qputenv("QT_QPA_PLATFORM", "xcb");
    return TestSupport::runTests(argc, argv);
}
