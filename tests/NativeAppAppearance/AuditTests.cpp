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
using namespace std::chrono_literals;

namespace {
class AuditTest : public ::testing::Test {
protected:
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
    Audit::Options options{folder.filePath(QStringLiteral("evidence")), 10ms, 10ms, 1ms};
    std::vector<std::unique_ptr<QWidget>> windows;
    QSystemTrayIcon tray;
    std::shared_ptr<QMenu> statusMenu = std::make_shared<QMenu>();
};
} // namespace

TEST_F(AuditTest, WithoutTheFlagNothingHappens)
{
    EXPECT_FALSE(Audit::requested({QStringLiteral("kivaro"), QStringLiteral("--verify")}));
    EXPECT_TRUE(Audit::requested({QStringLiteral("kivaro"), QStringLiteral("--verify-dark-theme")}));
    EXPECT_FALSE(Audit::runIfRequested({}));
    EXPECT_EQ(Audit::defaults().domain(), QString::fromLatin1(Platform::UserDefaults::standardDomain));
    const QString dir = QStringLiteral("--evidence-dir");
    EXPECT_EQ(Audit::evidenceFolder({QStringLiteral("a"), dir, QStringLiteral("/x/y")}), QStringLiteral("/x/y"));
    EXPECT_EQ(Audit::evidenceFolder({QStringLiteral("a"), dir}),
              QStringLiteral("/tmp/native-appearance-audit-") + QString::number(QCoreApplication::applicationPid()));
}

TEST_F(AuditTest, NoScenesStillCyclesAndPassesInAPrivateFolder)
{
    const auto result = TestSupport::run(Audit::run({}, options));
    EXPECT_TRUE(result.passed) << result.error.toStdString();
    const QJsonObject json = summary();
    EXPECT_EQ(json.value(QStringLiteral("status")).toString(), QStringLiteral("passed"));
    EXPECT_TRUE(json.value(QStringLiteral("captures")).toArray().isEmpty());
    EXPECT_EQ(QFile::permissions(options.evidenceFolder).toInt() & 0x77, 0) << "no access for group or others";

    // A folder the user named that exists already keeps its mode.
    options.evidenceFolder = folder.filePath(QStringLiteral("named"));
    ASSERT_TRUE(QDir().mkdir(options.evidenceFolder));
    const auto shared = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup
                        | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther;
    ASSERT_TRUE(QFile::setPermissions(options.evidenceFolder, shared));
    EXPECT_TRUE(TestSupport::run(Audit::run({}, options)).passed);
    EXPECT_EQ(QFile::permissions(options.evidenceFolder) & ~QFileDevice::Permissions(0xf00), shared);
    EXPECT_EQ(summary().value(QStringLiteral("status")).toString(), QStringLiteral("passed"));
}

TEST_F(AuditTest, TwoScenesAndAStatusMenuMakeNineCaptures)
{
    statusMenu->addAction(QStringLiteral("截图"));
    statusMenu->addAction(QStringLiteral("退出"));
    NativeStatusMenu::attach(&tray, statusMenu);
    AppearanceManager::shared().setApplicationAppearance(Appearance::dark);
    const QList<Audit::Scene> scenes{windowScene(QStringLiteral("settings")), windowScene(QStringLiteral("recent"))};
    const auto result = TestSupport::run(Audit::run(scenes, options), 20000);
    ASSERT_TRUE(result.passed) << result.error.toStdString();
    ASSERT_EQ(result.captures.size(), 9);
    QStringList files;
    for (const auto &capture : result.captures)
        files << QFileInfo(capture.screenshot).fileName();
    EXPECT_EQ(files.mid(0, 4), (QStringList{QStringLiteral("settings-light.png"), QStringLiteral("status-menu-light.png"),
                                            QStringLiteral("recent-light.png"), QStringLiteral("settings-dark.png")}));
    EXPECT_EQ(files.last(), QStringLiteral("recent-light-restored.png"));
    EXPECT_EQ(QSize(result.captures.at(0).width, result.captures.at(0).height), QSize(800, 600));
    EXPECT_FALSE(NativeMenu::shared().isOpen());
    EXPECT_EQ(AppearanceManager::shared().applicationAppearance(), Appearance::dark) << "the remembered setting comes back";
    EXPECT_EQ(summary().value(QStringLiteral("captures")).toArray().size(), 9);
    // The files hold what each phase showed.
    EXPECT_LT(QImage(result.captures.at(3).screenshot).pixelColor(700, 500).lightness(), 100);
    EXPECT_GT(QImage(result.captures.at(0).screenshot).pixelColor(700, 500).lightness(), 200);
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
    const QString plain = folder.filePath(QStringLiteral("plain"));
    ASSERT_TRUE(QFile(plain).open(QIODevice::WriteOnly));
    for (const QString &bad : {link, QString(link + QLatin1Char('/')), plain}) {
        options.evidenceFolder = bad;
        const auto refused = TestSupport::run(Audit::run({}, options));
        EXPECT_FALSE(refused.passed) << bad.toStdString();
        EXPECT_FALSE(refused.error.isEmpty());
    }
    EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("summary.json"))));
}

TEST(NativeAppearanceAuditTools, ErrorSceneIsBuiltNotRunAndScrollReachesBothEnds)
{
    std::unique_ptr<QWidget> window(TestSupport::run(NativeAppearanceAudit::errorScene().show()));
    auto *alert = qobject_cast<QMessageBox *>(window.get());
    ASSERT_NE(alert, nullptr);
    EXPECT_FALSE(alert->isVisible());

    QWidget holder;
    auto *list = new QListWidget(&holder);
    list->resize(200, 100);
    for (int i = 0; i < 50; ++i)
        list->addItem(QString::number(i));
    holder.show();
    NativeAppearanceAudit::scroll(&holder, true);
    EXPECT_GT(list->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(list->verticalScrollBar()->value(), list->verticalScrollBar()->maximum());
    NativeAppearanceAudit::scroll(&holder, false);
    EXPECT_EQ(list->verticalScrollBar()->value(), 0);
    NativeAppearanceAudit::scroll(nullptr, true);
}
