// The capture sub-runs of the full suite, called in-process through their entry points against
// a real editor on an X server, the way the suite will call them: they pass on the document the
// suite leaves, and a broken precondition or a planted link makes them throw the named failure
// without touching anything outside the run's folder.

#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/editor/EditorController.h"
#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/verification/CaptureImprovementsVerification.h"
#include "Kivaro/verification/CaptureWorkflowVerification.h"
#include "Platform/Markup/MarkupCanvas.h"
#include "Platform/Markup/UndoManager.h"
#include "Platform/ScreenCapture/X11TestDisplay.h"
#include "Kivaro/document/SampleImage.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Dialogs/ScriptedAlertPresenter.h"
#include "Platform/Dialogs/ScriptedFilePanels.h"
#include "Platform/Pasteboard/Pasteboard.h"
#include "Platform/Pointer/InProcessPointerSource.h"
#include "Platform/ScreenCapture/InProcessScreenSource.h"
#include "Platform/Sharing/FixedSharingServices.h"
#include "Support/TaskTesting.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// A shot with strong colours everywhere (the mosaic's red stays well above black).
QImage shot()
{
    QImage image(1000, 600, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(120 + (x * 135) / 999, (y * 255) / 599, ((x / 20 + y / 20) % 2) * 180));
    return image;
}

class CaptureSubRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        output = home.filePath(QStringLiteral("suite"));
        userHistory = home.filePath(QStringLiteral("user-history"));
        ASSERT_TRUE(QDir().mkpath(output));
        ASSERT_TRUE(QDir().mkpath(userHistory));
        writeFile(userHistory + QStringLiteral("/0A3B5C1D-0000-4000-8000-000000000001.kivaro"), QByteArrayLiteral("a shot of the user"));
        // The user's environment may name their history: the run must still keep out of it.
        qputenv("KIVARO_DATA_DIR", QFile::encodeName(userHistory));
        Kivaro::EditorController::Services services;
        services.pasteboard = Platform::Pasteboard::withUniqueName();
        services.filePanels = std::make_shared<Platform::ScriptedFilePanels>();
        services.alerts = std::make_shared<Platform::ScriptedAlertPresenter>();
        services.pointer = std::make_shared<Platform::InProcessPointerSource>();
        services.screens = std::make_shared<Platform::InProcessScreenSource>();
        services.sharingServices = std::make_shared<Platform::FixedSharingServices>(QList<Platform::SharingService>());
        editor = std::make_unique<Kivaro::EditorController>(services);
    }
    void TearDown() override
    {
        editor.reset();
        TestSupport::waitUntil([] { return false; }, 10);
        qunsetenv("KIVARO_DATA_DIR");
        EXPECT_EQ(QDir(userHistory).entryList(QDir::Files),
                  QStringList{QStringLiteral("0A3B5C1D-0000-4000-8000-000000000001.kivaro")});
    }

    // The document as the suite leaves it: the picture and a linked bubble with its arrow.
    void suiteDocument(bool linked = true)
    {
        Kivaro::ShotDocument *document = editor->document();
        document->load(shot(), false);
        editor->window()->show();
        if (linked)
            document->addAnnotation(QStringLiteral("按钮没有反应"), QPointF(600, 300));
    }

    // The ShotError text `task` ends with; empty when it passes.
    static QString failureOf(Platform::Task<void> task)
    {
        try {
            TestSupport::run(std::move(task), 30000);
        } catch (const Kivaro::ShotError &error) {
            return error.text();
        }
        return QString();
    }
    QString failureOf() { return failureOf(Kivaro::CaptureWorkflowVerification::run(editor.get(), output)); }
    QStringList written() const
    {
        QStringList names;
        for (const QString &name : Kivaro::CaptureImprovementsVerification::evidenceNames())
            if (QFileInfo::exists(output + u'/' + name))
                names.append(name);
        return names;
    }

    QTemporaryDir home;
    QString output;
    QString userHistory;
    std::unique_ptr<Kivaro::EditorController> editor;
};

TEST_F(CaptureSubRun, WorkflowPassesOnTheSuitesDocumentAndKeepsToItsFolder)
{
    suiteDocument();
    ASSERT_EQ(editor->document()->links().size(), 1);
    ASSERT_EQ(editor->document()->markup().subelements().size(), 3);
    ASSERT_NO_THROW(TestSupport::run(Kivaro::CaptureWorkflowVerification::run(editor.get(), output), 20000));

    const QImage redacted(output + QStringLiteral("/05-redacted.png"));
    ASSERT_EQ(redacted.size(), QSize(1000, 600));
    EXPECT_EQ(qAlpha(redacted.pixel(350, 305)), 255);
    EXPECT_NE(redacted.pixel(350, 305), shot().pixel(350, 305)) << "the mask shows its mosaic, not the picture";
    EXPECT_EQ(editor->document()->masks().size(), 1);
    EXPECT_EQ(editor->document()->fileURL(), std::optional<QString>(output + QStringLiteral("/linked-and-masked.kivaro")));

    // The history checks ran in the run's own folder, not in the editor's (the user's) one.
    const QStringList recent = QDir(output + QStringLiteral("/recent-data")).entryList({QStringLiteral("*.kivaro")}, QDir::Files);
    ASSERT_EQ(recent.size(), 1);
    struct stat info = {};
    ASSERT_EQ(::stat(QFile::encodeName(output + QStringLiteral("/recent-data/") + recent.first()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    const QDir retention(output + QStringLiteral("/retention-test"));
    EXPECT_EQ(retention.entryList({QStringLiteral("*.kivaro")}, QDir::Files).size(), 20);
    EXPECT_EQ(contents(retention.filePath(QStringLiteral("keep.txt"))), QByteArrayLiteral("unrelated"));
}

// Without a link there is nothing to check: the run says so at once, moves nothing, and an
// earlier run's evidence does not survive to pass for this one.
TEST_F(CaptureSubRun, WorkflowWithoutALinkFailsBeforeMovingAnything)
{
    suiteDocument(false);
    writeFile(output + QStringLiteral("/05-redacted.png"), QByteArrayLiteral("stale"));
    writeFile(output + QStringLiteral("/linked-and-masked.kivaro"), QByteArrayLiteral("stale"));
    const Platform::Markup before = editor->document()->markup();
    EXPECT_EQ(failureOf(), QStringLiteral("关联记录缺失"));
    EXPECT_EQ(editor->document()->markup().dataRepresentation(), before.dataRepresentation());
    EXPECT_FALSE(QFileInfo::exists(output + QStringLiteral("/05-redacted.png")));
    EXPECT_FALSE(QFileInfo::exists(output + QStringLiteral("/linked-and-masked.kivaro")));
}

// A linked delete that leaves no undo step behind cannot be taken back: the run fails at that
// check by name, and the evidence of later steps is never written.
TEST_F(CaptureSubRun, WorkflowDeleteWithoutUndoFailsItsCheck)
{
    suiteDocument();
    Kivaro::ShotDocument *document = editor->document();
    const std::function<void()> previous = document->didChange;
    document->didChange = [document, previous] {
        if (previous)
            previous();
        if (document->links().isEmpty() && document->canvas())
            document->canvas()->undoManager()->removeAllActions();
    };
    EXPECT_EQ(failureOf(), QStringLiteral("断言失败：linked-delete-undo"));
    document->didChange = previous;
    EXPECT_FALSE(QFileInfo::exists(output + QStringLiteral("/05-redacted.png")));
}

// A link planted at the retention folder's name is refused: the run fails in its last step and
// nothing lands in the link's target.
TEST_F(CaptureSubRun, WorkflowNeverWritesThroughALinkedRetentionFolder)
{
    suiteDocument();
    const QString elsewhere = home.filePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    ASSERT_TRUE(QFile::link(elsewhere, output + QStringLiteral("/retention-test")));
    EXPECT_EQ(failureOf(), QStringLiteral("the folder %1/retention-test is a symbolic link").arg(output));
    EXPECT_TRUE(QDir(elsewhere).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

// ---- capture improvements ---------------------------------------------------------------------

namespace Improvements = Kivaro::CaptureImprovementsVerification;
using TestSupport::X11TestDisplay;

// Every stretch the sub-run holds passes on the real editor, in the sub-run's order, and leaves
// its pictures; the striped export is the first rendering with its mosaic.
TEST_F(CaptureSubRun, ImprovementStretchesPassInOrderAndLeaveTheirEvidence)
{
    X11TestDisplay display;
    ASSERT_TRUE(display.startWindowManager());
    editor->window()->show();
    EXPECT_EQ(failureOf(Improvements::mosaic(editor.get(), output)), QString());
    EXPECT_EQ(failureOf(Improvements::friendlyAnnotations(editor.get(), output)), QString());
    EXPECT_EQ(failureOf(Improvements::grainPopup(editor.get(), output)), QString());
    EXPECT_EQ(editor->document()->mosaicGrain(), 64);
    EXPECT_EQ(failureOf(Improvements::selection(editor.get(), output, Kivaro::SampleImage::make())), QString());
    EXPECT_EQ(failureOf(Improvements::friendlyEvidence(editor.get(), output)), QString());
    QStringList expected = Improvements::evidenceNames();
    expected.removeAll(QStringLiteral("capture-settings.png"));
    expected.removeAll(QStringLiteral("capture-improvements.json"));
    EXPECT_EQ(written(), expected);
    const QImage exported(output + QStringLiteral("/mosaic-export.png"));
    ASSERT_EQ(exported.size(), QSize(960, 600));
    EXPECT_EQ(exported.pixel(100, 100), exported.pixel(101, 100)) << "one block of the mosaic";
    EXPECT_NE(exported.pixel(100, 100), Improvements::stripes().pixel(100, 100));
    EXPECT_EQ(exported.pixel(700, 500), Improvements::stripes().pixel(700, 500)) << "outside the mask the picture stays";
    display.stopWindowManager();
}

// A grain change that leaves no undo step behind (its step is dropped as soon as the grain is
// 12) cannot be taken back: the check that depends on it fails by name, after the checks
// before it passed, and the later steps do not run.
TEST_F(CaptureSubRun, ImprovementsGrainChangeWithoutUndoFailsItsCheck)
{
    editor->window()->show();
    Kivaro::ShotDocument *document = editor->document();
    const std::function<void()> previous = document->didChange;
    document->didChange = [document, previous] {
        if (previous)
            previous();
        if (document->mosaicGrain() == 12 && document->canvas())
            document->canvas()->undoManager()->removeAllActions();
    };
    EXPECT_EQ(failureOf(Improvements::mosaic(editor.get(), output)), QStringLiteral("验证失败：grain-undo-restores-pixels"));
    document->didChange = previous;
    EXPECT_FALSE(QFileInfo::exists(output + QStringLiteral("/mosaic.kivaro")));
}

// The friendly annotation checks need a linked bubble: without one they fail saying so instead
// of passing with nothing checked.
TEST_F(CaptureSubRun, ImprovementsFriendlyChecksWithoutALinkFail)
{
    editor->window()->show();
    editor->document()->load(shot(), false);
    EXPECT_EQ(failureOf(Improvements::friendlyAnnotations(editor.get(), output)),
              QStringLiteral("the friendly annotation checks need a linked annotation, and the document has none"));
    EXPECT_TRUE(written().isEmpty());
}

// With none of this process's windows on the screen there is no target to highlight: the
// capture-mode stretch fails before it opens its window.
TEST_F(CaptureSubRun, ImprovementsCaptureModesWithoutAWindowOfTheirOwnFail)
{
    X11TestDisplay display;
    ASSERT_TRUE(display.startWindowManager());
    editor->window()->hide();
    EXPECT_EQ(failureOf(Improvements::selection(editor.get(), output, Kivaro::SampleImage::make())), QStringLiteral("验证目标窗口不可用"));
    EXPECT_TRUE(written().isEmpty());
    display.stopWindowManager();
}

// The whole sub-run cannot pass while one of its stretches is missing; it says which, and an
// earlier result record is gone.
// The run begins with the main menu's window keys: an editor without the application around it
// fails there, and no earlier pass survives.
TEST_F(CaptureSubRun, ImprovementsRunWithoutTheApplicationsMenuFailsAtItsFirstCheck)
{
    writeFile(output + QStringLiteral("/capture-improvements.json"), Improvements::passRecord());
    EXPECT_EQ(failureOf(Improvements::run(editor.get(), output)), QStringLiteral("应用菜单不可用"));
    EXPECT_TRUE(written().isEmpty());
}

} // namespace
