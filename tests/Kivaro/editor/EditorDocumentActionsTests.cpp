// The editor's actions on the whole shot, through answered panels and alerts: open, sample,
// save, export, copy, the grain pop-up, delete and masks, each with its status text and undo
// name.

#include "EditorFixtures.h"

#include "Kivaro/editor/HoldOverlay.h"
#include "KivaroCore/Localization.h"

#include "Kivaro/controls/KivaroModes.h"
#include "Kivaro/document/LinkedAnnotations.h"
#include "Kivaro/recent/RecentShots.h"
#include "Kivaro/sharing/SharePresenter.h"
#include "NativeAppAppearance/NativePopupButton.h"
#include "Platform/Dialogs/QtFilePanels.h"
#include "Platform/Dialogs/QtTranslations.h"
#include "Platform/Markup/UndoManager.h"

#include <QAction>
#include <QFile>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QPushButton>
#include <QScopeGuard>

using namespace Kivaro;
using namespace EditorTesting;
using Platform::ScriptedFilePanels;

namespace {

class DocumentActions : public EditorTest {
protected:
    QString undoName() const { return editor->document()->canvas()->undoManager()->undoActionName(); }
    QByteArray fileBytes(const QString &file) const
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void writeFile(const QString &file, const QByteArray &bytes)
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray renderedPNG() { return TestSupport::run(editor->document()->png(std::nullopt, false)); }
};

} // namespace

TEST_F(DocumentActions, SavingAsPngNameWritesAProjectBesideItThatReopensToAnEqualShot)
{
    loadPicture();
    editor->document()->addAnnotation(QStringLiteral("保存我"), QPointF(200, 150));
    panels->answer(path(QStringLiteral("x.png")));
    editor->saveProject();
    ASSERT_TRUE(waitUntil([&] { return statusText() == QStringLiteral("工程已保存"); }));
    ASSERT_TRUE(waitIdle());
    const ScriptedFilePanels::Request &request = panels->requests().first();
    EXPECT_EQ(request.kind, ScriptedFilePanels::Kind::save);
    EXPECT_EQ(request.save.suggestedName, QStringLiteral("未命名.kivaro"));
    EXPECT_EQ(request.save.allowedExtension, QStringLiteral("kivaro"));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("x.png"))));
    ASSERT_TRUE(QFile::exists(path(QStringLiteral("x.png.kivaro"))));
    EXPECT_EQ(editor->document()->fileURL(), path(QStringLiteral("x.png.kivaro")));
    EXPECT_TRUE(alerts->alerts().isEmpty());

    // A fresh editor opens it through its own open panel.
    auto fresh = makeEditor();
    panels->answer(path(QStringLiteral("x.png.kivaro")));
    fresh->openImage();
    ASSERT_TRUE(waitUntil([&] { return fresh->document()->hasImage() && !fresh->busy(); }));
    EXPECT_TRUE(fresh->document()->state() == LinkedAnnotations::reconcile(editor->document()->state()));
    EXPECT_TRUE(fresh->window()->isVisible());
    EXPECT_EQ(panels->requests().last().kind, ScriptedFilePanels::Kind::open);
    EXPECT_TRUE(panels->requests().last().open.nameFilters.first().contains(QStringLiteral("*.kivaro")));
    // The next save suggests the file's own name.
    panels->answer(std::nullopt);
    fresh->saveProject();
    ASSERT_TRUE(waitUntil([&] { return panels->queuedCount() == 0 && panels->waitingCount() == 0; }));
    EXPECT_EQ(panels->requests().last().save.suggestedName, QStringLiteral("x.png.kivaro"));
}

TEST_F(DocumentActions, AProjectExtensionInAnyCaseIsKept)
{
    loadPicture();
    panels->answer(path(QStringLiteral("Shot.KIVARO")));
    editor->saveProject();
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(path(QStringLiteral("Shot.KIVARO"))) && !editor->busy(); }));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("Shot.KIVARO.kivaro"))));
}

// The panel asked about "x.png"; the file written is "x.png.kivaro", so the editor asks about
// that one, and "取消" (the default) keeps it.
TEST_F(DocumentActions, SavingAsksBeforeReplacingTheNameActuallyWritten)
{
    loadPicture();
    const QString target = path(QStringLiteral("x.png.kivaro"));
    writeFile(target, QByteArrayLiteral("the user's older project"));

    panels->answer(path(QStringLiteral("x.png")));
    alerts->answer(0);
    editor->saveProject();
    ASSERT_TRUE(waitUntil([&] { return alerts->alerts().size() == 1 && alerts->queuedCount() == 0; }));
    waitUntil([] { return false; }, 50);
    EXPECT_TRUE(alerts->alerts().first().message.contains(QStringLiteral("x.png.kivaro")));
    EXPECT_EQ(alerts->alerts().first().buttons, (QStringList{QStringLiteral("取消"), QStringLiteral("替换")}));
    EXPECT_EQ(fileBytes(target), QByteArrayLiteral("the user's older project"));
    EXPECT_FALSE(editor->busy());

    panels->answer(path(QStringLiteral("x.png")));
    alerts->answer(1);
    editor->saveProject();
    ASSERT_TRUE(waitUntil([&] { return statusText() == QStringLiteral("工程已保存"); }));
    EXPECT_NE(fileBytes(target), QByteArrayLiteral("the user's older project"));
}

TEST_F(DocumentActions, ExportWritesTheRenderedPngAndAsksBeforeReplacing)
{
    loadPicture();
    editor->document()->addNumberedStep(QPointF(100, 100));
    const QString target = path(QStringLiteral("标注截图.png"));
    panels->answer(target);
    editor->exportPNG();
    ASSERT_TRUE(waitUntil([&] { return statusText() == QStringLiteral("PNG 已导出。"); }));
    EXPECT_EQ(panels->requests().first().save.suggestedName, QStringLiteral("标注截图.png"));
    EXPECT_EQ(panels->requests().first().save.allowedExtension, QStringLiteral("png"));
    EXPECT_EQ(fileBytes(target), renderedPNG());
    EXPECT_TRUE(alerts->alerts().isEmpty());

    writeFile(target, QByteArrayLiteral("keep"));
    panels->answer(target);
    alerts->answer(0);
    editor->exportPNG();
    ASSERT_TRUE(waitUntil([&] { return alerts->alerts().size() == 1 && alerts->queuedCount() == 0; }));
    waitUntil([] { return false; }, 50);
    EXPECT_EQ(fileBytes(target), QByteArrayLiteral("keep"));
}

// The bytes are PNG whatever the name: a name without ".png" gets it, and the replace question
// names the file actually written.
TEST_F(DocumentActions, ExportAppendsPngToAnyOtherNameAndAsksAboutTheNameWritten)
{
    loadPicture();
    panels->answer(path(QStringLiteral("x.jpg")));
    editor->exportPNG();
    ASSERT_TRUE(waitUntil([&] { return statusText() == QStringLiteral("PNG 已导出。"); }));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("x.jpg"))));
    EXPECT_EQ(fileBytes(path(QStringLiteral("x.jpg.png"))), renderedPNG());

    editor->status()->setStringValue(QString());
    panels->answer(path(QStringLiteral("Upper.PNG")));
    editor->exportPNG();
    ASSERT_TRUE(waitUntil([&] { return statusText() == QStringLiteral("PNG 已导出。"); }));
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("Upper.PNG"))).isFile()) << "a PNG extension in any case is kept";
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("Upper.PNG.png"))));

    writeFile(path(QStringLiteral("shot.png")), QByteArrayLiteral("keep"));
    panels->answer(path(QStringLiteral("shot")));
    alerts->answer(0);
    editor->exportPNG();
    ASSERT_TRUE(waitUntil([&] { return alerts->alerts().size() == 1 && alerts->queuedCount() == 0; }));
    EXPECT_TRUE(alerts->alerts().first().message.contains(QStringLiteral("“shot.png”"))) << alerts->alerts().first().message.toStdString();
    waitUntil([] { return false; }, 50);
    EXPECT_EQ(fileBytes(path(QStringLiteral("shot.png"))), QByteArrayLiteral("keep"));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("shot"))));
}

// The editor became busy, or lost its picture, while a panel was open: nothing is written, and
// the status line says why.
TEST_F(DocumentActions, ASaveOrExportThatCanNoLongerWriteSaysWhy)
{
    loadPicture();
    const auto chooseWhile = [&](void (EditorController::*action)(), const QString &name, const std::function<void()> &meanwhile) {
        editor->status()->setStringValue(QString());
        (editor.get()->*action)();
        ASSERT_TRUE(waitUntil([&] { return panels->waitingCount() == 1; }));
        meanwhile();
        panels->answer(path(name));
        waitUntil([&] { return !statusText().isEmpty(); }, 500);
    };
    chooseWhile(&EditorController::exportPNG, QStringLiteral("busy.png"), [&] { editor->setBusy(true); });
    EXPECT_EQ(statusText(), QStringLiteral("其他操作进行中，文件未写入。"));
    editor->setBusy(false);
    chooseWhile(&EditorController::saveProject, QStringLiteral("busy.kivaro"), [&] { editor->setBusy(true); });
    EXPECT_EQ(statusText(), QStringLiteral("其他操作进行中，文件未写入。"));
    editor->setBusy(false);

    chooseWhile(&EditorController::exportPNG, QStringLiteral("gone.png"), [&] { editor->document()->load(QImage(), false); });
    ASSERT_FALSE(editor->document()->hasImage());
    EXPECT_EQ(statusText(), QStringLiteral("截图已不在编辑器中，文件未写入。"));
    loadPicture();
    chooseWhile(&EditorController::saveProject, QStringLiteral("gone.kivaro"), [&] { editor->document()->load(QImage(), false); });
    EXPECT_EQ(statusText(), QStringLiteral("截图已不在编辑器中，文件未写入。"));
    EXPECT_TRUE(QDir(folder.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(DocumentActions, AnExportIntoAMissingFolderShowsTheErrorAndWritesNothing)
{
    loadPicture();
    panels->answer(path(QStringLiteral("missing/a.png")));
    editor->exportPNG();
    ASSERT_TRUE(waitUntil([&] { return !statusText().isEmpty() && !editor->busy(); }));
    EXPECT_NE(statusText(), QStringLiteral("PNG 已导出。"));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("missing/a.png"))));
    // The system's words follow a sentence of ours in the user's language.
    const QString ours = QStringLiteral("“%1”无法读取或写入：").arg(path(QStringLiteral("missing/a.png")));
    EXPECT_TRUE(statusText().startsWith(ours)) << statusText().toStdString();
    EXPECT_GT(statusText().size(), ours.size());

    StringTable::overrideLanguage(QStringLiteral("en"));
    panels->answer(path(QStringLiteral("missing/a.png")));
    editor->exportPNG();
    const bool shown = waitUntil([&] { return statusText().startsWith(QStringLiteral("“")) && statusText().contains(QStringLiteral("could not")) && !editor->busy(); });
    StringTable::overrideLanguage({});
    ASSERT_TRUE(shown) << statusText().toStdString();
    EXPECT_TRUE(statusText().startsWith(QStringLiteral("“%1” could not be read or written: ").arg(path(QStringLiteral("missing/a.png")))));
}

TEST_F(DocumentActions, WithoutAPictureSaveExportAndCopyDoNothingAndSayNothing)
{
    editor->saveProject();
    editor->exportPNG();
    editor->copyImage();
    waitUntil([] { return false; }, 30);
    EXPECT_TRUE(panels->requests().isEmpty());
    EXPECT_EQ(pasteboard->changeCount(), 0);
    EXPECT_TRUE(statusText().isEmpty());
    EXPECT_FALSE(editor->busy());
}

TEST_F(DocumentActions, CancelledPanelsChangeNothing)
{
    loadPicture();
    const ShotState before = editor->document()->state();
    panels->answer(std::nullopt);
    panels->answer(std::nullopt);
    panels->answer(std::nullopt);
    editor->saveProject();
    ASSERT_TRUE(waitUntil([&] { return panels->queuedCount() == 2; }));
    editor->exportPNG();
    ASSERT_TRUE(waitUntil([&] { return panels->queuedCount() == 1; }));
    editor->openImage();
    ASSERT_TRUE(waitUntil([&] { return panels->queuedCount() == 0; }));
    waitUntil([] { return false; }, 30);
    EXPECT_TRUE(editor->document()->state() == before);
    EXPECT_TRUE(statusText().isEmpty());
    EXPECT_TRUE(QDir(folder.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(DocumentActions, OpeningWhileBusyShowsTheHintAndAChoiceMadeWhileAnActionStartedIsDropped)
{
    loadPicture();
    editor->setBusy(true);
    editor->openImage();
    EXPECT_EQ(statusText(), QStringLiteral("请先完成当前语音标注。"));
    EXPECT_TRUE(panels->requests().isEmpty());
    editor->setBusy(false);

    const QString other = path(QStringLiteral("other.png"));
    ASSERT_TRUE(picture(100, 80).save(other));
    const ShotState before = editor->document()->state();
    editor->openImage();
    ASSERT_TRUE(waitUntil([&] { return panels->waitingCount() == 1; }));
    editor->setBusy(true);
    panels->answer(other);
    waitUntil([] { return false; }, 50);
    EXPECT_TRUE(editor->document()->state() == before);
}

TEST_F(DocumentActions, AnUnreadableFileIsReportedAndTheShotStays)
{
    loadPicture();
    const QString broken = path(QStringLiteral("broken.png"));
    writeFile(broken, QByteArrayLiteral("not a picture"));
    const ShotState before = editor->document()->state();
    panels->answer(broken);
    editor->openImage();
    ASSERT_TRUE(waitUntil([&] { return !statusText().isEmpty() && !editor->busy(); }));
    EXPECT_TRUE(statusText().startsWith(QStringLiteral("无法读取图片")));
    EXPECT_TRUE(editor->document()->state() == before);
}

TEST_F(DocumentActions, TheSampleReplacesTheShotAfterTheShotWasArchived)
{
    loadPicture();
    editor->mode()->setSelectedSegment(EditorController::mosaicSegment);
    editor->modeChanged();
    const QString archived = editor->recent()->sessionID();
    editor->loadSample();
    ASSERT_TRUE(waitUntil([&] { return editor->document()->isSample() && !editor->busy(); }));
    EXPECT_TRUE(recentFiles().contains(archived + QStringLiteral(".kivaro")));
    EXPECT_NE(editor->recent()->sessionID(), archived);
    EXPECT_EQ(editor->mode()->selectedSegment(), int(EditorController::selectSegment));
    EXPECT_TRUE(editor->window()->isVisible());
}

// ---- copying -----------------------------------------------------------------------------------

TEST_F(DocumentActions, CopyPutsExactlyTheRenderedPngOnThePasteboardArchivesAndHides)
{
    loadPicture();
    editor->document()->addAnnotation(QStringLiteral("复制"), QPointF(60, 60));
    pasteboard->setString(QStringLiteral("older"));
    editor->copyImage();
    EXPECT_TRUE(editor->busy());
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(statusText(), QStringLiteral("已复制"));
    EXPECT_EQ(pasteboard->types(), QStringList{QStringLiteral("image/png")}) << "the whole contents are replaced";
    EXPECT_EQ(pasteboard->data(QStringLiteral("image/png")), renderedPNG());
    EXPECT_FALSE(editor->window()->isVisible());
    EXPECT_TRUE(recentFiles().contains(editor->recent()->sessionID() + QStringLiteral(".png")));
}

TEST_F(DocumentActions, ARefusedClipboardWriteReportsItKeepsTheOldContentsAndTheWindow)
{
    loadPicture();
    pasteboard->setString(QStringLiteral("what the user copied before"));
    const long long count = pasteboard->changeCount();
    pasteboard->setRefusesWrites(true);
    editor->copyImage();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(statusText(), QStringLiteral("剪贴板写入失败。"));
    EXPECT_EQ(pasteboard->string(), QStringLiteral("what the user copied before"));
    EXPECT_EQ(pasteboard->changeCount(), count);
    EXPECT_TRUE(editor->window()->isVisible());
    EXPECT_TRUE(recentFiles().isEmpty()) << "nothing is archived after a failed copy";
}

TEST_F(DocumentActions, CopyToTouchesOnlyThePasteboardItIsGiven)
{
    loadPicture();
    const auto other = Platform::Pasteboard::withUniqueName();
    const QByteArray png = TestSupport::run(editor->copy(other));
    EXPECT_EQ(other->data(QStringLiteral("image/png")), png);
    EXPECT_EQ(pasteboard->changeCount(), 0);
    other->setRefusesWrites(true);
    EXPECT_THROW(TestSupport::run(editor->copy(other)), ShotError);
    EXPECT_EQ(other->data(QStringLiteral("image/png")), png);
}

// ---- grain, delete, masks ------------------------------------------------------------------------

TEST_F(DocumentActions, TheGrainPopUpOffersFourGrainsFollowsTheDocumentAndChangesItAsOneStep)
{
    loadPicture();
    NativeAppAppearance::NativePopupButton *grain = editor->mosaicGrainControl();
    EXPECT_EQ(grain->itemTitles(),
              (QStringList{QStringLiteral("细 · 12 px"), QStringLiteral("中 · 24 px"), QStringLiteral("粗 · 40 px"), QStringLiteral("特粗 · 64 px")}));
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(grain->itemAt(k)->data().toInt(), EditorController::grainTags[k]);
    EXPECT_EQ(grain->selectedItem()->data().toInt(), 24);

    grain->selectItemAt(2);
    editor->changeMosaicGrain();
    EXPECT_TRUE(editor->busy());
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(editor->document()->mosaicGrain(), 40);
    EXPECT_EQ(undoName(), QStringLiteral("调整马赛克颗粒"));
    editor->document()->canvas()->undoManager()->undo();
    EXPECT_EQ(editor->document()->mosaicGrain(), 24);
    EXPECT_EQ(grain->selectedItem()->data().toInt(), 24) << "the pop-up follows the document";

    // A grain no item offers leaves none selected.
    ShotState odd = editor->document()->state();
    odd.mosaicGrain = 30;
    editor->document()->replace(odd, editor->document()->state(), QStringLiteral("test"));
    EXPECT_EQ(grain->selectedItem(), nullptr);
    editor->changeMosaicGrain();
    EXPECT_FALSE(editor->busy()) << "no selected item: nothing to apply";
}

TEST_F(DocumentActions, DeleteRemovesTheSelectedAnnotationAsOneNamedStep)
{
    loadPicture();
    editor->document()->addAnnotation(QStringLiteral("删掉"), QPointF(300, 200));
    ASSERT_EQ(editor->document()->links().size(), 1);
    editor->document()->canvas()->setSelection({editor->document()->links().first().arrowID});
    editor->deleteAnnotation();
    EXPECT_TRUE(editor->document()->links().isEmpty());
    EXPECT_EQ(statusText(), QStringLiteral("已删除 · Ctrl+Z 恢复"));
    EXPECT_EQ(undoName(), QStringLiteral("删除标注"));
    editor->document()->canvas()->undoManager()->undo();
    EXPECT_EQ(editor->document()->links().size(), 1);
}

TEST_F(DocumentActions, AMaskRectangleOfTheOverlayMapsThroughTheVisibleFrameIntoThePicture)
{
    loadPicture(picture(640, 400));
    editor->mode()->setSelectedSegment(EditorController::mosaicSegment);
    editor->modeChanged();
    const QSizeF overlaySize = editor->overlay()->size();
    const QRectF visible = editor->document()->canvas()->contentVisibleFrame();
    ASSERT_GT(overlaySize.width(), 0);
    // The overlay rectangle over picture pixels (100, 80)-(260, 200), and one reaching past the
    // picture's edge (the mapping is linear, not clamped).
    const auto viewPoint = [&](QPointF p) {
        return QPointF((p.x() - visible.x()) / visible.width() * overlaySize.width(),
                       (p.y() - visible.y()) / visible.height() * overlaySize.height());
    };
    editor->addMask(QRectF(viewPoint({100, 80}), viewPoint({260, 200})));
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(statusText(), QStringLiteral("已添加马赛克"));
    EXPECT_EQ(undoName(), QStringLiteral("添加隐私遮挡"));
    ASSERT_EQ(editor->document()->masks().size(), 1);
    const QRectF mask = editor->document()->markup().subelements().shape(editor->document()->masks().first())->frame;
    EXPECT_NEAR(mask.left(), 100, 0.01);
    EXPECT_NEAR(mask.top(), 80, 0.01);
    EXPECT_NEAR(mask.width(), 160, 0.01);
    EXPECT_NEAR(mask.height(), 120, 0.01);

    editor->addMask(QRectF(viewPoint({560, 300}), viewPoint({700, 460})));
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(editor->document()->masks().size(), 2);

    // While busy the rectangle is dropped.
    editor->setBusy(true);
    editor->addMask(QRectF(viewPoint({10, 10}), viewPoint({90, 90})));
    editor->setBusy(false);
    waitUntil([] { return false; }, 30);
    EXPECT_EQ(editor->document()->masks().size(), 2);
}

TEST_F(DocumentActions, SharingHandsTheRenderedPngToTheShareMenuAsKivaroPng)
{
    loadPicture();
    editor->shareImage();
    ASSERT_TRUE(waitUntil([&] { return !editor->busy() && !editor->sharing()->activeFiles().isEmpty(); }));
    const QString file = editor->sharing()->activeFiles().first();
    EXPECT_EQ(QFileInfo(file).fileName(), QStringLiteral("Kivaro.png"));
    EXPECT_EQ(fileBytes(file), renderedPNG());
    EXPECT_TRUE(statusText().isEmpty());
    editor->sharing()->cancelPickers();
}

// The open, save and export panels as a Chinese user meets them: Qt's own dialog in Chinese,
// starting in the user's Pictures folder for a shot that came from no file.
TEST_F(DocumentActions, ThePanelsAreQtsOwnInTheUsersLanguageAndStartInPictures)
{
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    const auto restore = qScopeGuard([&] {
        qputenv("XDG_CONFIG_HOME", savedConfig);
        Platform::installQtTranslations(QString());
    });
    const QString pictures = path(QStringLiteral("Pictures"));
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("config"))) && QDir().mkpath(pictures));
    writeFile(path(QStringLiteral("config/user-dirs.dirs")), "XDG_PICTURES_DIR=\"" + pictures.toUtf8() + "\"\n");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(path(QStringLiteral("config"))));
    ASSERT_EQ(StringTable::language(), QStringLiteral("zh-Hans")) << "the tests' session prefers zh_CN";
    ASSERT_TRUE(Platform::installQtTranslations(StringTable::language()));

    auto qtPanels = std::make_shared<Platform::QtFilePanels>();
    Kivaro::EditorController::Services services = editorServices();
    services.filePanels = qtPanels;
    editor = std::make_unique<Kivaro::EditorController>(services);
    loadPicture();

    struct Panel {
        std::function<void()> open;
        QDialogButtonBox::StandardButton accept;
        QString text;
    };
    const Panel panels[] = {{[&] { editor->openImage(); }, QDialogButtonBox::Open, QStringLiteral("打开")},
                            {[&] { editor->saveProject(); }, QDialogButtonBox::Save, QStringLiteral("保存")},
                            {[&] { editor->exportPNG(); }, QDialogButtonBox::Save, QStringLiteral("保存")}};
    for (const Panel &panel : panels) {
        QPointer<QFileDialog> shown;
        const auto connection = QObject::connect(qtPanels.get(), &Platform::QtFilePanels::panelShown, [&](QFileDialog *d) { shown = d; });
        panel.open();
        ASSERT_TRUE(waitUntil([&] { return !shown.isNull(); }));
        QObject::disconnect(connection);
        SCOPED_TRACE(shown->windowTitle().toStdString());
        EXPECT_EQ(QDir(shown->directory()).canonicalPath(), QDir(pictures).canonicalPath());
        auto *buttons = shown->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        ASSERT_NE(buttons, nullptr);
        EXPECT_TRUE(buttons->button(panel.accept)->text().contains(panel.text)) << buttons->button(panel.accept)->text().toStdString();
        EXPECT_TRUE(buttons->button(QDialogButtonBox::Cancel)->text().contains(QStringLiteral("取消")));
        shown->reject();
        ASSERT_TRUE(waitIdle());
        ASSERT_TRUE(waitUntil([&] { return shown.isNull(); }));
    }
}
