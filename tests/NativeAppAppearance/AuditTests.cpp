#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeAppearanceAudit.h"
#include "NativeAppAppearance/NativeMenu.h"
#include "NativeAppAppearance/NativeStatusMenu.h"

#include "Support/TaskTesting.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using namespace NativeAppAppearance;
using Audit = NativeAppearanceAudit;

namespace {
class AuditTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AppearanceManager::shared().setApplicationAppearance(std::nullopt);
        options.evidenceFolder = folder.filePath(QStringLiteral("evidence"));
        options.settle = std::chrono::milliseconds(10);
        options.menuSettle = std::chrono::milliseconds(10);
        options.restoreSettle = std::chrono::milliseconds(1);
    }
    void TearDown() override
    {
        NativeStatusMenu::detach(&tray);
        AppearanceManager::shared().setApplicationAppearance(std::nullopt);
    }

    Audit::Scene windowScene(const QString &name, std::optional<Appearance> fixed = std::nullopt)
    {
        return Audit::Scene(name, [this, fixed]() -> Platform::Task<QWidget *> {
            auto window = std::make_unique<QWidget>();
            window->resize(400, 300);
            new QPushButton(QStringLiteral("按钮"), window.get());
            AppearanceManager::shared().adoptPalette(window.get());
            if (fixed)
                AppearanceManager::shared().setAppearance(window.get(), fixed);
            windows.push_back(std::move(window));
            co_return windows.back().get();
        });
    }

    QJsonObject summary() const
    {
        QFile file(QDir(options.evidenceFolder).filePath(QStringLiteral("summary.json")));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return QJsonDocument::fromJson(file.readAll()).object();
    }

    QTemporaryDir folder;
    Audit::Options options;
    std::vector<std::unique_ptr<QWidget>> windows;
    QSystemTrayIcon tray;
    QMenu statusMenu;
};
} // namespace

TEST_F(AuditTest, WithoutTheFlagNothingHappens)
{
    EXPECT_FALSE(Audit::requested({QStringLiteral("kivaro"), QStringLiteral("--verify")}));
    EXPECT_TRUE(Audit::requested({QStringLiteral("kivaro"), QStringLiteral("--verify-dark-theme")}));
    EXPECT_FALSE(Audit::runIfRequested({}));
    EXPECT_EQ(Audit::defaults().domain(), QString::fromLatin1(Platform::UserDefaults::standardDomain));
    EXPECT_EQ(Audit::evidenceFolder({QStringLiteral("a"), QStringLiteral("--evidence-dir"), QStringLiteral("/x/y")}), QStringLiteral("/x/y"));
    EXPECT_EQ(Audit::evidenceFolder({QStringLiteral("a"), QStringLiteral("--evidence-dir")}),
              QStringLiteral("/tmp/native-appearance-audit-") + QString::number(QCoreApplication::applicationPid()));
}

TEST_F(AuditTest, NoScenesStillCyclesAndPasses)
{
    const auto result = TestSupport::run(Audit::run({}, options));
    EXPECT_TRUE(result.passed) << result.error.toStdString();
    const QJsonObject json = summary();
    EXPECT_EQ(json.value(QStringLiteral("status")).toString(), QStringLiteral("passed"));
    EXPECT_EQ(json.value(QStringLiteral("environment")).toString(), QStringLiteral("native-linux"));
    EXPECT_EQ(json.value(QStringLiteral("systemAppearanceChanged")).toBool(true), false);
    EXPECT_EQ(json.value(QStringLiteral("liveAppearanceCycle")).toArray().size(), 3);
    EXPECT_TRUE(json.value(QStringLiteral("captures")).toArray().isEmpty());
    EXPECT_EQ(json.value(QStringLiteral("error")).toString(QStringLiteral("x")), QString());
    const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther
        | QFileDevice::WriteOther | QFileDevice::ExeOther;
    EXPECT_FALSE(QFile::permissions(options.evidenceFolder) & others); // a private folder
}

TEST_F(AuditTest, TwoScenesAndAStatusMenuMakeNineCaptures)
{
    statusMenu.addAction(QStringLiteral("截图"));
    statusMenu.addAction(QStringLiteral("退出"));
    NativeStatusMenu::attach(&tray, &statusMenu);
    AppearanceManager::shared().setApplicationAppearance(Appearance::dark);
    const auto result = TestSupport::run(Audit::run({windowScene(QStringLiteral("settings")), windowScene(QStringLiteral("recent"))}, options), 20000);
    ASSERT_TRUE(result.passed) << result.error.toStdString();
    ASSERT_EQ(result.captures.size(), 9);
    QStringList files;
    for (const auto &capture : result.captures) {
        files << QFileInfo(capture.screenshot).fileName();
        EXPECT_TRUE(QFile::exists(capture.screenshot));
    }
    for (const char *expected : {"settings-light.png", "recent-dark.png", "status-menu-light.png", "status-menu-dark.png",
                                 "status-menu-light-restored.png", "settings-light-restored.png"})
        EXPECT_TRUE(files.contains(QString::fromLatin1(expected))) << expected;
    EXPECT_EQ(result.captures.at(0).width, 800);
    EXPECT_EQ(result.captures.at(0).height, 600);
    EXPECT_EQ(result.captures.at(1).scene, QStringLiteral("status-menu"));
    EXPECT_FALSE(NativeMenu::shared().isOpen());
    EXPECT_EQ(AppearanceManager::shared().applicationAppearance(), Appearance::dark); // remembered setting restored
    EXPECT_EQ(summary().value(QStringLiteral("captures")).toArray().size(), 9);

    // The dark capture is dark and the light one light.
    QImage dark(result.captures.at(3).screenshot);
    QImage light(result.captures.at(0).screenshot);
    EXPECT_LT(dark.pixelColor(700, 500).lightness(), 100);
    EXPECT_GT(light.pixelColor(700, 500).lightness(), 200);
}

TEST_F(AuditTest, AWindowThatStaysLightFailsTheDarkPhase)
{
    const auto result = TestSupport::run(Audit::run({windowScene(QStringLiteral("stubborn"), Appearance::light)}, options), 20000);
    EXPECT_FALSE(result.passed);
    EXPECT_EQ(result.error, QStringLiteral("Appearance did not update: stubborn"));
    ASSERT_EQ(result.captures.size(), 1);
    EXPECT_EQ(result.captures.first().scheme, QStringLiteral("light"));
    const QJsonObject json = summary();
    EXPECT_EQ(json.value(QStringLiteral("status")).toString(), QStringLiteral("failed"));
    EXPECT_EQ(json.value(QStringLiteral("error")).toString(), result.error);
    EXPECT_EQ(AppearanceManager::shared().applicationAppearance(), std::nullopt);
}

TEST_F(AuditTest, AThrowingSceneAndABadFolderFail)
{
    const Audit::Scene broken(QStringLiteral("broken"), []() -> Platform::Task<QWidget *> {
        throw std::runtime_error("scene exploded");
        co_return nullptr;
    });
    const auto thrown = TestSupport::run(Audit::run({broken}, options));
    EXPECT_FALSE(thrown.passed);
    EXPECT_EQ(thrown.error, QStringLiteral("scene exploded"));

    const QString link = folder.filePath(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(folder.path(), link));
    options.evidenceFolder = link;
    const auto refused = TestSupport::run(Audit::run({}, options));
    EXPECT_FALSE(refused.passed);
    EXPECT_FALSE(refused.error.isEmpty());
    EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("summary.json"))));
}

TEST(NativeAppearanceAuditTools, ErrorSceneAndScrolling)
{
    QWidget *window = TestSupport::run(NativeAppearanceAudit::errorScene().show());
    std::unique_ptr<QWidget> owner(window);
    auto *alert = qobject_cast<QMessageBox *>(window);
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(NativeAppearanceAudit::errorScene().name, QStringLiteral("error-dialog"));
    EXPECT_EQ(alert->text(), QStringLiteral("操作未完成"));
    EXPECT_EQ(alert->informativeText(), QStringLiteral("这是隔离验收中的错误提示，请重试。"));
    ASSERT_EQ(alert->buttons().size(), 2);
    EXPECT_FALSE(alert->isVisible());

    QWidget holder;
    auto *list = new QListWidget(&holder);
    list->resize(200, 100);
    for (int i = 0; i < 50; ++i)
        list->addItem(QString::number(i));
    holder.show();
    NativeAppearanceAudit::scroll(&holder, true);
    EXPECT_EQ(list->verticalScrollBar()->value(), list->verticalScrollBar()->maximum());
    EXPECT_GT(list->verticalScrollBar()->maximum(), 0);
    NativeAppearanceAudit::scroll(&holder, false);
    EXPECT_EQ(list->verticalScrollBar()->value(), 0);
    NativeAppearanceAudit::scroll(nullptr, true);
}
