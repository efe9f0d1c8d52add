// The editor's small views and its window layout: the status line's timing, the checkerboard,
// where the parts go, and the More menu.

#include "EditorFixtures.h"

#include "Kivaro/editor/CanvasBackgroundView.h"
#include "Kivaro/editor/EditorDockView.h"
#include "Kivaro/editor/HoldOverlay.h"
#include "KivaroCore/Localization.h"
#include "Kivaro/editor/TransparencyGridView.h"
#include "Kivaro/editor/internal/EditorLayout.h"

#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/controls/KivaroModes.h"
#include "Kivaro/voice-and-text/VoiceFeedbackView.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeMenu.h"
#include "NativeAppAppearance/NativeMenuRow.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPainter>

using namespace Kivaro;
using namespace EditorTesting;
using namespace NativeAppAppearance;

// ---- the status line ---------------------------------------------------------------------------

TEST(StatusLine, ATextShowsTheLineAndClearsItselfFiveSecondsLaterUnlessItAnnouncesWork)
{
    QWidget host;
    auto *label = new CompactStatusLabel(&host);
    host.show();
    EXPECT_TRUE(label->isHidden());

    label->setStringValue(QStringLiteral("已复制"));
    EXPECT_TRUE(label->isVisible());
    EXPECT_TRUE(label->dismissTimer().isActive());
    EXPECT_EQ(label->dismissTimer().interval(), 5000);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(waitUntil([&] { return label->isHidden(); }, 7000));
    EXPECT_GE(clock.elapsed(), 4900);
    EXPECT_TRUE(label->stringValue().isEmpty());

    label->setProgressText(QStringLiteral("正在识字…"));
    EXPECT_TRUE(label->isVisible());
    EXPECT_FALSE(label->dismissTimer().isActive()) << "a progress text stays";
    label->setStringValue(QString());
    EXPECT_TRUE(label->isHidden());
}

TEST(StatusLine, ANewTextRestartsTheFiveSeconds)
{
    CompactStatusLabel label;
    label.setStringValue(QStringLiteral("一"));
    waitUntil([] { return false; }, 400);
    label.setStringValue(QStringLiteral("二"));
    EXPECT_GT(label.dismissTimer().remainingTime(), 4800);
    label.setProgressText(QStringLiteral("正在准备语音…"));
    EXPECT_FALSE(label.dismissTimer().isActive()) << "the earlier text's timer cannot clear the progress text";
}

// Progress is what the caller says it is, in every language: the English and Traditional
// Chinese progress texts stay past the five seconds as the Simplified Chinese one does, and a
// text that merely begins like one fades.
TEST(StatusLine, AProgressTextStaysUntilReplacedInEveryLanguage)
{
    QWidget host;
    std::vector<CompactStatusLabel *> progress;
    for (const char *language : {"en", "zh-Hant", "zh-Hans"}) {
        StringTable::overrideLanguage(QString::fromLatin1(language));
        auto *label = new CompactStatusLabel(&host);
        label->setProgressText(kivaroCopy("正在识字并润色…"));
        EXPECT_TRUE(label->isProgress()) << language;
        progress.push_back(label);
    }
    StringTable::overrideLanguage({});
    EXPECT_EQ(progress[0]->stringValue(), QStringLiteral("Recognising and polishing text…"));
    auto *plain = new CompactStatusLabel(&host);
    plain->setStringValue(QStringLiteral("正在识字的图片无法读取。"));
    host.show();

    ASSERT_TRUE(waitUntil([&] { return plain->isHidden(); }, 7000));
    waitUntil([] { return false; }, 300);
    for (CompactStatusLabel *label : progress) {
        EXPECT_TRUE(label->isVisible()) << label->stringValue().toStdString();
        EXPECT_FALSE(label->stringValue().isEmpty());
    }
    progress[0]->setStringValue(QStringLiteral("Copied"));
    EXPECT_FALSE(progress[0]->isProgress());
    EXPECT_TRUE(progress[0]->dismissTimer().isActive()) << "the text that replaces progress fades again";
}

// A screen reader finds the line as static text named by what it says now. (The change
// announcement cannot be heard here: without an accessibility bus Qt drops every event.)
TEST(StatusLine, ScreenReadersReadTheLineAsStaticTextNamedByItsText)
{
    QWidget host;
    auto *label = new CompactStatusLabel(&host);
    host.show();
    label->setStringValue(QStringLiteral("PNG 已导出。"));
    QAccessibleInterface *line = QAccessible::queryAccessibleInterface(label);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->role(), QAccessible::StaticText);
    EXPECT_EQ(line->text(QAccessible::Name), QStringLiteral("PNG 已导出。"));
    label->setProgressText(QStringLiteral("正在识字…"));
    EXPECT_EQ(line->text(QAccessible::Name), QStringLiteral("正在识字…"));
    label->setStringValue(QString());
    EXPECT_TRUE(line->text(QAccessible::Name).isEmpty());
}

// ---- the checkerboard ------------------------------------------------------------------------------

namespace {
QImage paintGrid(QSize size, QRect dirty, std::optional<QRectF> excluded, Appearance appearance, QColor under = Qt::magenta)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(under);
    QPainter painter(&image);
    TransparencyGridView::paint(painter, QRectF(dirty), excluded, appearance);
    return image;
}
} // namespace

// The drawing as the rule states it: the background, then every 10-point tile whose column +
// row is even in the separator colour at alpha 0.18.
QImage tileByTile(QSize size, qreal dpr, Appearance appearance)
{
    QImage image(size * dpr, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    QPainter painter(&image);
    painter.fillRect(QRectF(QPointF(0, 0), size), resolve(DynamicColor::controlBackground, appearance));
    for (int row = 0; row * 10 < size.height(); ++row)
        for (int column = 0; column * 10 < size.width(); ++column)
            if ((row + column) % 2 == 0)
                painter.fillRect(QRectF(column * 10, row * 10, 10, 10), withAlpha(resolve(DynamicColor::separator, appearance), 0.18));
    return image;
}

TEST(Checkerboard, EqualsFillingEveryEvenTileAtEveryScale)
{
    for (const qreal dpr : {1.0, 2.0}) {
        for (const Appearance appearance : {Appearance::light, Appearance::dark}) {
            QImage image(QSize(97, 53) * dpr, QImage::Format_ARGB32_Premultiplied);
            image.setDevicePixelRatio(dpr);
            QPainter painter(&image);
            TransparencyGridView::paint(painter, QRectF(0, 0, 97, 53), std::nullopt, appearance);
            painter.end();
            EXPECT_EQ(image, tileByTile(QSize(97, 53), dpr, appearance)) << dpr;
        }
    }
}

TEST(Checkerboard, TilesAreAnchoredAtTheOriginSoAPartialRepaintKeepsThePhase)
{
    const QImage whole = paintGrid({100, 60}, QRect(0, 0, 100, 60), std::nullopt, Appearance::light);
    const QImage part = paintGrid({100, 60}, QRect(13, 7, 41, 29), std::nullopt, Appearance::light);
    EXPECT_EQ(part.copy(13, 7, 41, 29), whole.copy(13, 7, 41, 29));
    EXPECT_NE(whole.pixel(5, 5), whole.pixel(15, 5)) << "neighbouring tiles differ";
    EXPECT_EQ(whole.pixel(5, 5), whole.pixel(15, 15));
    EXPECT_EQ(part.pixel(5, 5), QColor(Qt::magenta).rgba()) << "nothing outside the dirty rectangle";
}

TEST(Checkerboard, TheExcludedRectangleIsLeftAloneAndTheColoursFollowTheAppearance)
{
    const QImage light = paintGrid({100, 60}, QRect(0, 0, 100, 60), QRectF(20, 20, 40, 20), Appearance::light);
    EXPECT_EQ(light.pixel(30, 30), QColor(Qt::magenta).rgba());
    EXPECT_NE(light.pixel(10, 10), QColor(Qt::magenta).rgba());
    const QImage dark = paintGrid({100, 60}, QRect(0, 0, 100, 60), std::nullopt, Appearance::dark);
    EXPECT_LT(qGray(dark.pixel(5, 5)), qGray(light.pixel(5, 5)));
}

TEST(Checkerboard, WithAnExclusionTheViewLetsClicksThrough)
{
    TransparencyGridView view;
    EXPECT_FALSE(view.testAttribute(Qt::WA_TransparentForMouseEvents));
    view.setExcluding([] { return QRectF(); });
    EXPECT_TRUE(view.testAttribute(Qt::WA_TransparentForMouseEvents));
    view.setExcluding({});
    EXPECT_FALSE(view.testAttribute(Qt::WA_TransparentForMouseEvents));
}

// ---- the window's layout ---------------------------------------------------------------------------

TEST(EditorWindowLayout, TheDockSitsCentredAboveTheBottomAndTheCanvasFillsTheRestWithItsMargins)
{
    const auto layout = detail::EditorLayout::place(QSize(1080, 760), QSize(400, 46), QSize(600, 62), 26);
    EXPECT_EQ(layout.dock, QRect(340, 698, 400, 46));
    EXPECT_EQ(layout.canvasHost, QRect(12, 12, 1056, 698 - 26 - 12));
    EXPECT_EQ(layout.status.bottom() + 1, 698 - 5);
    EXPECT_EQ(layout.status.width(), 972);
    EXPECT_EQ(layout.voicePanel, QRect(240, 698 - 12 - 62, 600, 62));
    const auto narrow = detail::EditorLayout::place(QSize(760, 540), QSize(400, 46), QSize(900, 62), 98);
    EXPECT_EQ(narrow.voicePanel.width(), 684) << "at most 0.9 of the width";
    EXPECT_EQ(narrow.canvasHost.bottom() + 1 + 98, narrow.dock.top());
}

using EditorWindow = EditorTest;

TEST_F(EditorWindow, TheWindowKeepsItsMinimumSizeAndTheSurroundLeavesThePictureFree)
{
    EXPECT_EQ(editor->window()->minimumSize().width(), 760);
    EXPECT_EQ(editor->window()->minimumSize().height(), 540 + KivaroWindow::titleBarHeight);
    loadPicture(picture(800, 500));
    editor->window()->resize(1080, 760 + KivaroWindow::titleBarHeight);
    QApplication::processEvents();
    const QRect host = editor->canvasHost()->geometry();
    EXPECT_EQ(host.topLeft(), QPoint(12, 12));
    EXPECT_EQ(host.width(), 1080 - 24);
    // The picture, fitted with a margin of 24 picture pixels, is what the surround leaves free.
    const QRectF free = editor->transparencySurround()->excluding()();
    const Platform::MarkupCanvas *canvas = editor->document()->canvas();
    EXPECT_NEAR(free.left(), canvas->viewPoint({0, 0}).x(), 0.01);
    EXPECT_NEAR(free.top(), canvas->viewPoint({0, 0}).y(), 0.01);
    EXPECT_NEAR(free.right(), canvas->viewPoint({800, 500}).x(), 0.01);
    EXPECT_NEAR(free.bottom(), canvas->viewPoint({800, 500}).y(), 0.01);
    EXPECT_TRUE(editor->overlay()->geometry() == QRect(QPoint(0, 0), host.size()));
}

// The dock's outline is half a point: one device pixel at a scale of 2 (a hairline) and, never
// thinner than a pixel, one pixel at a scale of 1; inside it the dock's fill.
TEST_F(EditorWindow, TheDocksOutlineIsAHairlineAtTwiceAndOnePixelAtOnce)
{
    loadPicture();
    EditorDockView *dock = editor->dock();
    ASSERT_GT(dock->width(), 100);
    const QColor fill = resolve(DynamicColor::windowBackground, Appearance::light);
    AppearanceManager::shared().setApplicationAppearance(Appearance::light);
    for (const int scale : {1, 2}) {
        QImage image(dock->size() * scale, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(scale);
        image.fill(Qt::transparent);
        dock->render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground);
        const int x = image.width() / 2; // the straight middle of the top edge
        const QColor outer = image.pixelColor(x, 0);
        EXPECT_NE(outer, fill) << "scale " << scale << ": the outline's pixel";
        EXPECT_GT(outer.alpha(), 0) << "scale " << scale << ": the outline covers its whole pixel";
        EXPECT_EQ(image.pixelColor(x, 1), fill) << "scale " << scale << ": the fill begins at the second pixel";
        EXPECT_EQ(image.pixelColor(x, image.height() - 2), fill) << "scale " << scale;
        EXPECT_NE(image.pixelColor(x, image.height() - 1), fill) << "scale " << scale;
    }
    AppearanceManager::shared().setApplicationAppearance(std::nullopt);
}

// ---- assistive technologies ---------------------------------------------------------------------

using EditorAccessibility = EditorTest;

// The mode control is a group of four radio buttons named and described by their segments'
// images; the select-and-edit segment follows the armed tool; pressing one chooses that mode.
TEST_F(EditorAccessibility, TheModeSegmentsAreRadioButtonsDescribedByTheirImages)
{
    loadPicture();
    QAccessibleInterface *modes = QAccessible::queryAccessibleInterface(editor->mode());
    ASSERT_TRUE(modes);
    EXPECT_EQ(modes->role(), QAccessible::Grouping);
    ASSERT_EQ(modes->childCount(), 4);
    const QStringList titles = {QStringLiteral("语音标注"), QStringLiteral("文字标注"), QStringLiteral("选择与编辑"), QStringLiteral("隐私马赛克")};
    for (int k = 0; k < 4; ++k) {
        QAccessibleInterface *segment = modes->child(k);
        ASSERT_TRUE(segment);
        EXPECT_EQ(segment->role(), QAccessible::RadioButton);
        EXPECT_EQ(segment->text(QAccessible::Name), titles[k]);
        EXPECT_EQ(segment->text(QAccessible::Description), titles[k]);
        EXPECT_EQ(segment->state().checked, k == EditorController::selectSegment) << k;
        EXPECT_EQ(segment->parent(), modes);
        EXPECT_EQ(modes->indexOfChild(segment), k);
        EXPECT_EQ(modes->child(k), segment) << "one interface per segment";
    }
    const QRect third = modes->child(2)->rect();
    EXPECT_EQ(third.size(), QSize(34, editor->mode()->height()));
    EXPECT_EQ(modes->childAt(third.center().x(), third.center().y()), modes->child(2));

    editor->setActiveDrawingTool(DrawingTool::arrow);
    editor->updateMode();
    EXPECT_EQ(modes->child(2)->text(QAccessible::Description), QStringLiteral("箭头"));
    EXPECT_EQ(modes->child(2)->text(QAccessible::Name), QStringLiteral("箭头"));

    QAccessibleActionInterface *press = modes->child(3)->actionInterface();
    ASSERT_TRUE(press);
    press->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(editor->mode()->selectedSegment(), int(EditorController::mosaicSegment));
    EXPECT_TRUE(modes->child(3)->state().checked);
    EXPECT_FALSE(modes->child(2)->state().checked);

    editor->setBusy(true);
    EXPECT_TRUE(modes->child(0)->state().disabled);
    modes->child(0)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(editor->mode()->selectedSegment(), int(EditorController::mosaicSegment)) << "a disabled control does not change";
    editor->setBusy(false);
}

TEST_F(EditorAccessibility, TheVoicePanelIsAGroupNamedByItsTexts)
{
    loadPicture();
    VoiceFeedbackView *panel = editor->voiceFeedback();
    panel->present(VoiceFeedbackView::Phase::ready, QStringLiteral("按住问题位置讲话"), QStringLiteral("松手生成箭头和文字 · Esc 取消"));
    QAccessibleInterface *group = QAccessible::queryAccessibleInterface(panel);
    ASSERT_TRUE(group);
    EXPECT_EQ(group->role(), QAccessible::Grouping);
    EXPECT_EQ(group->text(QAccessible::Name), QStringLiteral("按住问题位置讲话. 松手生成箭头和文字 · Esc 取消"));
}

// ---- the More menu -----------------------------------------------------------------------------------

namespace {
struct MenuItem {
    QString title;
    bool enabled;
};
QList<MenuItem> itemsOf(const QMenu *menu)
{
    QList<MenuItem> items;
    for (const QAction *action : menu->actions())
        items.append(action->isSeparator() ? MenuItem{QStringLiteral("—"), true} : MenuItem{action->text(), action->isEnabled()});
    return items;
}
} // namespace

using MoreMenu = EditorTest;

TEST_F(MoreMenu, ListsEveryCommandInOrderAndEnablesWhatCanActNow)
{
    FakeShell shell;
    editor->setShell(&shell);
    loadPicture();
    QWidget *more = editor->dock()->findChildren<KivaroButton *>().at(1);
    ASSERT_EQ(more->toolTip(), QStringLiteral("更多"));
    editor->showMore(more);
    ASSERT_TRUE(NativeMenu::shared().isOpen());
    QMenu *menu = editor->moreMenu();
    ASSERT_EQ(NativeMenu::shared().menuStack().first(), menu);

    const QList<MenuItem> items = itemsOf(menu);
    const QStringList titles = [&] {
        QStringList list;
        for (const MenuItem &item : items)
            list << item.title;
        return list;
    }();
    ASSERT_EQ(titles.size(), 18);
    EXPECT_TRUE(titles[0].startsWith(QStringLiteral("选中窗口"))) << titles[0].toStdString();
    EXPECT_EQ(titles.mid(2).size(), 16);

    // What the rows show: each title, and at the right the key as it is pressed here.
    QStringList rows;
    for (const NativeMenuRow *row : NativeMenu::shared().popover()->findChildren<NativeMenuRow *>()) {
        const NativeMenuRow::Look look = row->look();
        rows << (look.shortcut.isEmpty() ? look.title : look.title + QStringLiteral(" | ") + look.shortcut);
    }
    ASSERT_EQ(rows.size(), 14);
    EXPECT_EQ(rows.first(), QStringLiteral("选中窗口 | ⌃⌥⌘4")) << "the capture hot key in the shortcut column";
    EXPECT_EQ(rows.mid(2), (QStringList{QStringLiteral("打开… | Ctrl+O"), QStringLiteral("最近截图… | Ctrl+R"), QStringLiteral("识字记录…"),
                                       QStringLiteral("保存工程… | Ctrl+S"), QStringLiteral("适应窗口"), QStringLiteral("识字并复制"),
                                       QStringLiteral("识字并 AI 润色"), QStringLiteral("识字与 AI 设置…"), QStringLiteral("修改指向"),
                                       QStringLiteral("删除标注"), QStringLiteral("语音语言"), QStringLiteral("设置… | Ctrl+,")}));
    EXPECT_TRUE(items[0].enabled && items[1].enabled) << "the two captures";
    EXPECT_TRUE(items[2].enabled);  // open
    EXPECT_TRUE(items[3].enabled);  // recent shots
    EXPECT_TRUE(items[5].enabled);  // save
    EXPECT_TRUE(items[6].enabled);  // fit
    EXPECT_FALSE(items[12].enabled) << "nothing selected: nothing to re-point";
    EXPECT_FALSE(items[13].enabled) << "nothing selected: nothing to delete";
    EXPECT_TRUE(items[17].enabled);

    QMenu *languages = menu->actions()[15]->menu();
    ASSERT_TRUE(languages);
    ASSERT_EQ(languages->actions().size(), 2);
    EXPECT_EQ(languages->actions()[1]->text(), QStringLiteral("English"));
    EXPECT_TRUE(languages->actions()[0]->isChecked());
    EXPECT_FALSE(languages->actions()[1]->isChecked());
    languages->actions()[1]->trigger();
    EXPECT_EQ(editor->localeIndex(), 1);
    EXPECT_EQ(statusText(), QStringLiteral("语音语言已切换"));

    menu->actions()[17]->trigger();
    EXPECT_EQ(shell.settingsShown, 1);
    NativeMenu::shared().close();
    editor->setShell(nullptr);
}

TEST_F(MoreMenu, ReTargetingIsOfferedForASelectedLinkedNote)
{
    loadPicture();
    editor->document()->addAnnotation(QStringLiteral("看这里"), QPointF(120, 120));
    editor->document()->canvas()->setSelection({editor->document()->links().first().bubbleID});
    ASSERT_TRUE(editor->document()->selectedLink().has_value());
    editor->showMore(editor->dock());
    ASSERT_TRUE(itemsOf(editor->moreMenu())[12].enabled);
    editor->moreMenu()->actions()[12]->trigger();
    EXPECT_TRUE(editor->retargeting());
    NativeMenu::shared().close();
}

TEST_F(MoreMenu, DeleteIsEnabledWithADrawingSelectedAndNothingOpensWhileBusy)
{
    loadPicture();
    editor->document()->addNumberedStep(QPointF(100, 100));
    ASSERT_FALSE(editor->document()->selectedDrawingIDs().isEmpty());
    editor->showMore(editor->dock());
    EXPECT_TRUE(itemsOf(editor->moreMenu())[13].enabled);
    EXPECT_TRUE(itemsOf(editor->moreMenu())[17].enabled) << "settings is always enabled";
    editor->moreMenu()->actions()[17]->trigger(); // no shell: nothing to open, nothing breaks
    // The shell is asked when the item is chosen, not when the menu was built.
    FakeShell shell;
    editor->setShell(&shell);
    editor->moreMenu()->actions()[17]->trigger();
    EXPECT_EQ(shell.settingsShown, 1);
    editor->setShell(nullptr);
    NativeMenu::shared().close();

    QMenu *previous = editor->moreMenu();
    editor->setBusy(true);
    editor->showMore(editor->dock());
    EXPECT_FALSE(NativeMenu::shared().isOpen());
    EXPECT_EQ(editor->moreMenu(), previous);
}
