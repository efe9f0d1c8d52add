// The annotation tools run as the full suite calls it: on a real editor under a window manager,
// in-process, with the suite's folder. It returns on a pass and throws at the first failed
// check, and either way leaves the editor as it found it for the suite's next step.

#include "../editor/EditorFixtures.h"

#include "Kivaro/controls/KivaroModes.h"
#include "Kivaro/document/SampleImage.h"
#include "Kivaro/editor/AnnotationFloatingPanel.h"
#include "Kivaro/verification/AnnotationToolsVerification.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "Platform/ScreenCapture/X11TestDisplay.h"

#include <QGuiApplication>
#include <QTest>
#include <QWindow>

using namespace Kivaro;
using namespace EditorTesting;
using NativeAppAppearance::Appearance;
using NativeAppAppearance::AppearanceManager;
using TestSupport::X11TestDisplay;

namespace {

class AnnotationToolsSubRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        ASSERT_TRUE(display.isValid());
        ASSERT_TRUE(display.startWindowManager());
        ASSERT_TRUE(folder.isValid());
        Kivaro::EditorController::Services services;
        services.filePanels = std::make_shared<Platform::ScriptedFilePanels>();
        services.alerts = std::make_shared<Platform::ScriptedAlertPresenter>();
        services.pasteboard = Platform::Pasteboard::withUniqueName();
        services.recentDirectory = folder.filePath(QStringLiteral("recent"));
        editor = std::make_unique<EditorController>(services);
        editor->document()->load(SampleImage::make(), true);
        editor->showEditor();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(editor->window()->windowHandle(), 10000));
        TestSupport::waitUntil([] { return false; }, 500);
    }
    void TearDown() override
    {
        editor.reset();
        // The editor's cancelled tasks (a pending history write) end on the event loop.
        TestSupport::waitUntil([] { return false; }, 300);
        AppearanceManager::shared().setApplicationAppearance(std::nullopt);
        display.stopWindowManager();
    }
    QString output() const { return folder.filePath(QStringLiteral("suite")); }
    QString runFailure()
    {
        try {
            TestSupport::run(AnnotationToolsVerification::run(editor.get(), output()), 60000);
        } catch (const ShotError &error) {
            return error.text();
        }
        return QString();
    }

    X11TestDisplay display;
    QTemporaryDir folder;
    std::unique_ptr<EditorController> editor;
};

TEST_F(AnnotationToolsSubRun, PassesAndPutsTheEditorBack)
{
    ASSERT_TRUE(QDir().mkdir(output()));
    AppearanceManager::shared().setApplicationAppearance(Appearance::dark);
    editor->mode()->setSelectedSegment(EditorController::mosaicSegment);
    editor->updateMode();
    const ShotState before = editor->document()->state();

    EXPECT_EQ(runFailure(), QString());
    QFile result(output() + QStringLiteral("/annotation-tools-result.json"));
    ASSERT_TRUE(result.open(QIODevice::ReadOnly));
    EXPECT_EQ(result.readAll(), QByteArray(AnnotationToolsVerification::resultRecord));
    EXPECT_EQ(QDir(output()).entryList(QDir::Files).size(), 9);

    EXPECT_TRUE(editor->document()->state() == before) << "the drawings, steps and note are gone again";
    EXPECT_EQ(editor->mode()->selectedSegment(), EditorController::mosaicSegment);
    EXPECT_EQ(AppearanceManager::shared().applicationAppearance(), std::optional<Appearance>(Appearance::dark));
    EXPECT_FALSE(editor->annotationPanel()->isVisible());
}

// A busy editor refuses the first drag: the run names it, writes no result, and the editor is
// put back all the same.
TEST_F(AnnotationToolsSubRun, ABusyEditorFailsAtTheFirstDragAndIsPutBack)
{
    ASSERT_TRUE(QDir().mkdir(output()));
    const ShotState before = editor->document()->state();
    const int mode = editor->mode()->selectedSegment();
    editor->setBusy(true);
    const QString failure = runFailure();
    EXPECT_TRUE(failure.startsWith(QStringLiteral("Drag did not create arrow: mode=2, active="))) << failure.toStdString();
    EXPECT_TRUE(failure.contains(QStringLiteral(", busy=true, view=(0.0, 0.0, "))) << failure.toStdString();
    EXPECT_TRUE(failure.endsWith(QStringLiteral(", windowVisible=true, key=true")) || failure.endsWith(QStringLiteral(", windowVisible=true, key=false")))
        << failure.toStdString();
    EXPECT_FALSE(QFile::exists(output() + QStringLiteral("/annotation-tools-result.json")));
    EXPECT_TRUE(QDir(output()).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(editor->document()->state() == before);
    EXPECT_EQ(editor->mode()->selectedSegment(), mode);
    EXPECT_EQ(AppearanceManager::shared().applicationAppearance(), std::nullopt);
}

// An editor without a shown window cannot be driven: the run says so instead of passing.
TEST_F(AnnotationToolsSubRun, AHiddenEditorFailsNamingWhatIsMissing)
{
    ASSERT_TRUE(QDir().mkdir(output()));
    editor->window()->hide();
    EXPECT_EQ(runFailure(), QStringLiteral("The editor window is not shown: no window to deliver the gesture to"));
    EXPECT_FALSE(QFile::exists(output() + QStringLiteral("/annotation-tools-result.json")));
}

} // namespace
