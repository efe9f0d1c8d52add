// The application's update prompt window: its two sizes, its answers (each given once), the
// replacement of an open prompt, and its layout with long notes in both appearances.

#include "UpdateViewsFixture.h"

#include "Kivaro/update/KivaroUpdatePrompts.h"
#include "Kivaro/update/internal/ReleaseNotesView.h"
#include "Kivaro/controls/KivaroTextLabel.h"

#include "Support/TaskTesting.h"

#include <QApplication>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

using namespace Kivaro;
using NativeAppUpdater::NativeUpdatePrompt;
using NativeAppAppearance::Appearance;
using NativeAppAppearance::AppearanceManager;

namespace {

NativeUpdatePrompt prompt(std::optional<QString> notes = QStringLiteral("## What's new\n\n- Clear voice annotation guidance.\n- Custom controls."),
                          std::optional<QString> later = QStringLiteral("稍后"))
{
    return {QStringLiteral("软件更新"), QStringLiteral("已准备好"), notes, QStringLiteral("检查更新"), later};
}

struct Answers {
    QList<bool> values;
    std::function<void(bool)> completion()
    {
        return [this](bool accepted) { values << accepted; };
    }
};

} // namespace

TEST(UpdatePromptWindow, SizeDependsOnWhetherThereAreNotes)
{
    Answers answers; // outlives the prompts, which answer an open prompt when they go
    KivaroUpdatePrompts prompts;
    prompts.present(prompt(), answers.completion());
    ASSERT_NE(prompts.window(), nullptr);
    EXPECT_EQ(prompts.window()->contentSize(), QSize(480, 400));
    EXPECT_EQ(prompts.window()->title(), QStringLiteral("软件更新"));
    auto *notes = prompts.window()->findChild<detail::ReleaseNotesView *>();
    ASSERT_NE(notes, nullptr);
    EXPECT_EQ(notes->toPlainText(), QStringLiteral("What's new\n• Clear voice annotation guidance.\n• Custom controls."));
    EXPECT_TRUE(notes->isReadOnly());

    prompts.present(prompt(std::nullopt), answers.completion());
    EXPECT_EQ(prompts.window()->contentSize(), QSize(480, 240));
    EXPECT_EQ(prompts.window()->findChild<detail::ReleaseNotesView *>(), nullptr);
    // Notes of one space are notes.
    prompts.present(prompt(QStringLiteral(" ")), answers.completion());
    EXPECT_EQ(prompts.window()->contentSize(), QSize(480, 400));
    EXPECT_NE(prompts.window()->findChild<detail::ReleaseNotesView *>(), nullptr);
    EXPECT_EQ(answers.values, (QList<bool>{false, false}));
}

TEST(UpdatePromptWindow, EachWayOutAnswersOnceAndClosesTheWindow)
{
    Answers answers; // outlives the prompts, which answer an open prompt when they go
    KivaroUpdatePrompts prompts;
    prompts.present(prompt(), answers.completion());
    QPointer<KivaroWindow> window = prompts.window();
    ASSERT_NE(prompts.confirm(), nullptr);
    QTest::mouseClick(prompts.confirm(), Qt::LeftButton);
    EXPECT_EQ(answers.values, QList<bool>{true});
    EXPECT_EQ(prompts.window(), nullptr);
    EXPECT_EQ(prompts.confirm(), nullptr);
    EXPECT_EQ(prompts.later(), nullptr);
    EXPECT_TRUE(TestSupport::waitUntil([&] { return window.isNull(); }));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    prompts.present(prompt(), answers.completion());
    QTest::mouseClick(prompts.later(), Qt::LeftButton);
    EXPECT_EQ(answers.values, (QList<bool>{true, false}));

    // The title bar's close button: declined once, not again when the window goes.
    prompts.present(prompt(), answers.completion());
    prompts.window()->performClose();
    EXPECT_EQ(answers.values, (QList<bool>{true, false, false}));
    TestSupport::waitUntil([] { return false; }, 50);
    EXPECT_EQ(answers.values.size(), 3);
    EXPECT_EQ(prompts.window(), nullptr);
}

TEST(UpdatePromptWindow, ReturnChoosesThePrimaryButton)
{
    Answers answers; // outlives the prompts, which answer an open prompt when they go
    KivaroUpdatePrompts prompts;
    prompts.present(prompt(), answers.completion());
    KivaroWindow *window = prompts.window();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, Qt::Key_Return);
    EXPECT_EQ(answers.values, QList<bool>{true});
}

TEST(UpdatePromptWindow, ANewPromptDeclinesTheOpenOneFirstAndACompletionMayPresentAgain)
{
    QStringList events;
    KivaroUpdatePrompts prompts;
    prompts.present(prompt(), [&](bool accepted) {
        events << QStringLiteral("first %1").arg(accepted);
        EXPECT_EQ(prompts.window(), nullptr);
    });
    prompts.present(prompt(std::nullopt), [&](bool accepted) {
        events << QStringLiteral("second %1").arg(accepted);
        prompts.present(prompt(), [&](bool again) { events << QStringLiteral("third %1").arg(again); });
    });
    EXPECT_EQ(events, QStringList{QStringLiteral("first 0")});
    prompts.accept();
    EXPECT_EQ(events, (QStringList{QStringLiteral("first 0"), QStringLiteral("second 1")}));
    ASSERT_NE(prompts.window(), nullptr); // the third one
    prompts.cancel();
    EXPECT_EQ(events.last(), QStringLiteral("third 0"));
}

TEST(UpdatePromptWindow, ASinglePrimaryButtonSitsAtTheRightEdge)
{
    KivaroUpdatePrompts prompts;
    prompts.present(prompt(std::nullopt, std::nullopt), [](bool) {});
    EXPECT_EQ(prompts.later(), nullptr);
    const QRect confirm = prompts.confirm()->geometry();
    EXPECT_EQ(confirm.right() + 1, 480 - 24);
    EXPECT_EQ(confirm.bottom() + 1, 240 - 24);
    EXPECT_TRUE(prompts.confirm()->isPrimary());
    EXPECT_FALSE(prompts.confirm()->hasFocus()); // no focus ring on a freshly opened prompt
}

// Long notes in Chinese and English, light and dark, 1× and 2×: the texts and buttons stay
// inside the window without overlapping, the notes scroll, and dark is really dark.
TEST(UpdatePromptWindow, LaysOutLongNotesInBothAppearances)
{
    for (const QString &notes : {UpdateViewsTesting::longChineseNotes(), UpdateViewsTesting::longEnglishNotes()}) {
        const bool chinese = notes.startsWith(QStringLiteral("## Kivaro"));
        NativeUpdatePrompt long_ = chinese ? NativeUpdatePrompt{QStringLiteral("Kivaro 2.0 可更新"),
                                                                 QStringLiteral("可以现在下载。下载并校验完成后，应用会询问是否重启完成更新。"),
                                                                 notes, QStringLiteral("下载更新"), QStringLiteral("稍后")}
                                           : NativeUpdatePrompt{QStringLiteral("Kivaro 2.0 is available"),
                                                                 QStringLiteral("You can download it now. After verification, the app will ask to restart and finish the update."),
                                                                 notes, QStringLiteral("Download Update"), QStringLiteral("Later")};
        for (Appearance appearance : {Appearance::light, Appearance::dark}) {
            KivaroUpdatePrompts prompts;
            prompts.present(long_, [](bool) {});
            KivaroWindow *window = prompts.window();
            AppearanceManager::shared().setAppearance(window, appearance);
            QApplication::processEvents();
            QWidget *content = window->contentView();
            const auto labels = content->findChildren<KivaroTextLabel *>();
            auto *notesView = content->findChild<detail::ReleaseNotesView *>();
            ASSERT_EQ(labels.size(), 2);
            ASSERT_NE(notesView, nullptr);
            const QRect inside = content->rect().adjusted(24, 24, -24, -24);
            QList<QRect> parts{labels[0]->geometry(), labels[1]->geometry(), notesView->geometry(), prompts.confirm()->geometry(),
                               prompts.later()->geometry()};
            for (const QRect &part : parts)
                EXPECT_TRUE(inside.contains(part)) << part.x() << "," << part.y() << " " << part.width() << "x" << part.height();
            for (qsizetype i = 0; i < parts.size(); ++i)
                for (qsizetype j = i + 1; j < parts.size(); ++j)
                    EXPECT_FALSE(parts[i].intersects(parts[j])) << i << " overlaps " << j;
            EXPECT_GE(notesView->height(), 150);
            EXPECT_GT(notesView->document()->size().height(), notesView->viewport()->height()); // long notes scroll
            EXPECT_EQ(notesView->verticalScrollBar()->value(), 0); // from their beginning
            for (int scale : {1, 2}) {
                const QImage image = UpdateViewsTesting::picture(window, chinese ? QStringLiteral("prompt-zh") : QStringLiteral("prompt-en"),
                                                                 appearance, scale);
                const QColor corner = image.pixelColor(image.width() / 2, image.height() - 4 * scale);
                EXPECT_EQ(corner.lightness() < 128, appearance == Appearance::dark);
            }
        }
    }
}

// A message without notes in the short window: a long failure text still leaves the button free.
TEST(UpdatePromptWindow, ALongMessageFitsTheShortWindow)
{
    const NativeUpdatePrompt message{
        QStringLiteral("下载更新失败：无法处理更新文件：cannot write /home/someone/.cache/kivaro/updates/kivaro-update-6F9619FF-8B86-D011-B42D-00C04FC964FF/update.zip: No space left on device"),
        QString(), std::nullopt, QStringLiteral("好"), std::nullopt};
    for (Appearance appearance : {Appearance::light, Appearance::dark}) {
        KivaroUpdatePrompts prompts;
        prompts.present(message, [](bool) {});
        AppearanceManager::shared().setAppearance(prompts.window(), appearance);
        QApplication::processEvents();
        const auto labels = prompts.window()->contentView()->findChildren<KivaroTextLabel *>();
        ASSERT_EQ(labels.size(), 2);
        EXPECT_LT(labels[0]->geometry().bottom(), prompts.confirm()->geometry().top());
        for (int scale : {1, 2})
            UpdateViewsTesting::picture(prompts.window(), QStringLiteral("message"), appearance, scale);
    }
}
