#include "Platform/Dialogs/QtAlertPresenter.h"
#include "Platform/Dialogs/ScriptedAlertPresenter.h"
#include "Support/TaskTesting.h"

#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace Platform;
using TestSupport::waitUntil;

namespace {

class QtAlertPresenterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window.resize(600, 400);
        window.show();
    }

    TaskHandle<AlertResponse> show(Alert alert)
    {
        QMessageBox *announced = nullptr;
        auto connection = QObject::connect(&presenter, &QtAlertPresenter::alertShown, [&](QMessageBox *shown) { announced = shown; });
        auto handle = start(presenter.present(&window, std::move(alert)));
        EXPECT_TRUE(waitUntil([&] { return announced != nullptr; }));
        QObject::disconnect(connection);
        box = announced;
        return handle;
    }

    QAbstractButton *button(const QString &title) const
    {
        for (QAbstractButton *candidate : box->buttons()) {
            if (candidate->text() == title)
                return candidate;
        }
        return nullptr;
    }

    static std::optional<int> answer(const TaskHandle<AlertResponse> &handle)
    {
        if (!TestSupport::waitFor(handle) || handle.error())
            return std::nullopt;
        return handle.value().button;
    }

    static Alert replaceAlert()
    {
        return {QStringLiteral("“x.png.kivaro”已存在，要替换它吗？"), QStringLiteral("替换后原文件的内容会丢失。"),
                {QStringLiteral("替换"), QStringLiteral("取消")}, 1, AlertStyle::warning};
    }

    QWidget window;
    QtAlertPresenter presenter;
    QPointer<QMessageBox> box;
};

} // namespace

TEST_F(QtAlertPresenterTest, ShowsTheAlertWindowModalAndAnswersTheClickedButton)
{
    auto handle = show(replaceAlert());
    ASSERT_TRUE(box);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_EQ(box->text(), QStringLiteral("“x.png.kivaro”已存在，要替换它吗？"));
    EXPECT_EQ(box->informativeText(), QStringLiteral("替换后原文件的内容会丢失。"));
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    EXPECT_EQ(box->buttons().size(), 2);
    EXPECT_EQ(box->defaultButton(), button(QStringLiteral("替换")));
    EXPECT_EQ(presenter.currentBox(), box);

    QTest::mouseClick(button(QStringLiteral("取消")), Qt::LeftButton);
    EXPECT_EQ(answer(handle), 1);
    EXPECT_TRUE(waitUntil([&] { return box.isNull(); }));
    EXPECT_EQ(presenter.currentBox(), nullptr);
}

TEST_F(QtAlertPresenterTest, ReturnChoosesTheFirstButtonAndEscapeTheCancelButton)
{
    auto first = show(replaceAlert());
    ASSERT_TRUE(box);
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(answer(first), 0);

    auto escaped = show(replaceAlert());
    ASSERT_TRUE(box);
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_EQ(answer(escaped), 1);

    // A single button is also the escape; several buttons without a cancel button ignore it.
    auto single = show({QStringLiteral("无法保存"), {}, {QStringLiteral("好")}, -1, AlertStyle::critical});
    ASSERT_TRUE(box);
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_EQ(answer(single), 0);

    auto undecided = show({QStringLiteral("选一个"), {}, {QStringLiteral("甲"), QStringLiteral("乙")}, -1, AlertStyle::informational});
    ASSERT_TRUE(box);
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_FALSE(waitUntil([&] { return undecided.isFinished(); }, 100));
    EXPECT_TRUE(box->isVisible());
    QTest::mouseClick(button(QStringLiteral("乙")), Qt::LeftButton);
    EXPECT_EQ(answer(undecided), 1);
}

TEST_F(QtAlertPresenterTest, CancellingTheTaskClosesTheAlert)
{
    auto handle = show({QStringLiteral("选一个"), {}, {QStringLiteral("甲"), QStringLiteral("乙")}, -1, AlertStyle::warning});
    ASSERT_TRUE(box);
    handle.cancel();
    ASSERT_TRUE(TestSupport::waitFor(handle));
    EXPECT_TRUE(handle.endedByCancellation());
    EXPECT_TRUE(waitUntil([&] { return box.isNull(); }));
    EXPECT_EQ(presenter.currentBox(), nullptr);
}

TEST(ScriptedAlertPresenter, AnswersInOrderWaitsWhenNoneIsQueuedAndRecordsAlerts)
{
    ScriptedAlertPresenter alerts;
    alerts.answer(1);
    EXPECT_EQ(TestSupport::run(alerts.present(nullptr, {QStringLiteral("一"), {}, {QStringLiteral("好")}})).button, 1);

    auto waiting = start(alerts.present(nullptr, {QStringLiteral("二"), {}, {QStringLiteral("好")}}));
    ASSERT_TRUE(waitUntil([&] { return alerts.waitingCount() == 1; }));
    alerts.answer(0);
    ASSERT_TRUE(TestSupport::waitFor(waiting));
    EXPECT_EQ(waiting.value().button, 0);

    auto cancelled = start(alerts.present(nullptr, {QStringLiteral("三"), {}, {QStringLiteral("好")}}));
    ASSERT_TRUE(waitUntil([&] { return alerts.waitingCount() == 1; }));
    cancelled.cancel();
    ASSERT_TRUE(TestSupport::waitFor(cancelled));
    EXPECT_TRUE(cancelled.endedByCancellation());
    EXPECT_EQ(alerts.waitingCount(), 0);
    ASSERT_EQ(alerts.alerts().size(), 3);
    EXPECT_EQ(alerts.alerts()[2].message, QStringLiteral("三"));
}
