#include "Platform/Dialogs/QtFilePanels.h"
#include "Platform/Dialogs/QtTranslations.h"
#include "Platform/Dialogs/ScriptedFilePanels.h"
#include "Support/TaskTesting.h"

#include <QScreen>
#include <QDialogButtonBox>
#include <QFile>
#include <QHeaderView>
#include <QScopeGuard>
#include <QTreeView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

using namespace Platform;
using TestSupport::waitUntil;

namespace {

void touch(const QString &path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("x");
}

class QtFilePanelsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        touch(folder.filePath(QStringLiteral("shot.png")));
        touch(folder.filePath(QStringLiteral("notes.txt")));
        touch(folder.filePath(QStringLiteral("x.png.kivaro")));
        window.resize(600, 400);
        window.show();
    }

    // Starts `task` and waits until its dialog is on screen.
    TaskHandle<std::optional<QString>> show(Task<std::optional<QString>> task)
    {
        QFileDialog *announced = nullptr;
        auto connection = QObject::connect(&panels, &QtFilePanels::panelShown, [&](QFileDialog *dialog) { announced = dialog; });
        auto handle = start(std::move(task));
        EXPECT_TRUE(waitUntil([&] { return announced != nullptr; }));
        QObject::disconnect(connection);
        dialog = announced;
        return handle;
    }

    // Types `name` into the name field and presses the dialog's accept button, as a user does.
    void typeAndAccept(const QString &name)
    {
        auto *field = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(field, nullptr);
        field->setText(name);
        auto *buttons = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        ASSERT_NE(buttons, nullptr);
        QPushButton *accept = buttons->button(dialog->acceptMode() == QFileDialog::AcceptSave ? QDialogButtonBox::Save : QDialogButtonBox::Open);
        ASSERT_NE(accept, nullptr);
        ASSERT_TRUE(accept->isEnabled());
        QTest::mouseClick(accept, Qt::LeftButton);
    }

    static std::optional<QString> result(const TaskHandle<std::optional<QString>> &handle)
    {
        EXPECT_TRUE(TestSupport::waitFor(handle));
        if (!handle.isFinished() || handle.error())
            return QStringLiteral("<no result>");
        return handle.value();
    }

    QTemporaryDir folder;
    QWidget window;
    QtFilePanels panels;
    QPointer<QFileDialog> dialog;
};

} // namespace

TEST_F(QtFilePanelsTest, OpenPanelShowsQtsOwnDialogAndReturnsTheChosenFile)
{
    auto handle = show(panels.chooseFileToOpen(&window, {QStringLiteral("打开"), {QStringLiteral("图片 (*.png *.kivaro)")}, folder.path()}));
    ASSERT_TRUE(dialog);
    EXPECT_EQ(panels.currentDialog(), dialog);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->parentWidget(), &window);
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("打开"));
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
    EXPECT_EQ(dialog->nameFilters(), QStringList{QStringLiteral("图片 (*.png *.kivaro)")});
    EXPECT_EQ(QDir(dialog->directory()).canonicalPath(), QDir(folder.path()).canonicalPath());

    typeAndAccept(QStringLiteral("shot.png"));
    const auto chosen = result(handle);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(QFileInfo(*chosen).canonicalFilePath(), QFileInfo(folder.filePath(QStringLiteral("shot.png"))).canonicalFilePath());
    EXPECT_TRUE(waitUntil([&] { return dialog.isNull(); })) << "the dialog is deleted afterwards";
    EXPECT_EQ(panels.currentDialog(), nullptr);
}

// In a Chinese session the panels are Chinese throughout, their file list shows whole dates,
// and a panel given no folder starts in the user's Pictures folder, then where the last file
// was chosen.
TEST_F(QtFilePanelsTest, PanelsSpeakTheUsersLanguageShowWholeDatesAndStartInPicturesThenTheLastFolder)
{
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    const auto restore = qScopeGuard([&] {
        qputenv("XDG_CONFIG_HOME", savedConfig);
        installQtTranslations(QString());
    });
    const QString pictures = folder.filePath(QStringLiteral("图片"));
    ASSERT_TRUE(QDir().mkpath(folder.filePath(QStringLiteral("config"))) && QDir().mkpath(pictures));
    QFile dirs(folder.filePath(QStringLiteral("config/user-dirs.dirs")));
    ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
    dirs.write(QByteArray("XDG_PICTURES_DIR=\"") + pictures.toUtf8() + "\"\n");
    dirs.close();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder.filePath(QStringLiteral("config"))));
    ASSERT_TRUE(installQtTranslations(QStringLiteral("zh-Hans"))) << "qt6-translations-l10n is installed by scripts/install-deps";

    auto opening = show(panels.chooseFileToOpen(&window, {}));
    ASSERT_TRUE(dialog);
    EXPECT_EQ(QDir(dialog->directory()).canonicalPath(), QDir(pictures).canonicalPath());
    auto *buttons = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    ASSERT_NE(buttons, nullptr);
    EXPECT_TRUE(buttons->button(QDialogButtonBox::Open)->text().contains(QStringLiteral("打开")))
        << buttons->button(QDialogButtonBox::Open)->text().toStdString();
    EXPECT_TRUE(buttons->button(QDialogButtonBox::Cancel)->text().contains(QStringLiteral("取消")));
    // The file list in a folder with a file: its date stands whole in its column.
    dialog->setDirectory(folder.path());
    auto *list = dialog->findChild<QTreeView *>(QStringLiteral("treeView"));
    ASSERT_NE(list, nullptr);
    const auto shot = [&] { return list->model()->index(0, 3, list->rootIndex()); };
    ASSERT_TRUE(waitUntil([&] { return list->model()->rowCount(list->rootIndex()) >= 3 && !shot().data().toString().isEmpty(); }));
    const QString date = shot().data().toString();
    EXPECT_GE(list->header()->sectionSize(3), list->fontMetrics().horizontalAdvance(date) + 8) << date.toStdString();
    EXPECT_GE(list->header()->sectionSize(3), list->header()->sectionSizeHint(3));
    // Grown for its columns, the dialog still stands whole on its screen.
    EXPECT_TRUE(dialog->screen()->availableGeometry().contains(dialog->frameGeometry()))
        << dialog->frameGeometry().x() << "," << dialog->frameGeometry().y();
    typeAndAccept(QStringLiteral("shot.png"));
    ASSERT_TRUE(result(opening));

    auto saving = show(panels.chooseSaveLocation(&window, {QString(), QStringLiteral("标注截图.png"), QStringLiteral("png"), {}, {}}));
    ASSERT_TRUE(dialog);
    EXPECT_EQ(QDir(dialog->directory()).canonicalPath(), QDir(folder.path()).canonicalPath()) << "where the last file was chosen";
    buttons = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    EXPECT_TRUE(buttons->button(QDialogButtonBox::Save)->text().contains(QStringLiteral("保存")));
    EXPECT_TRUE(dialog->findChild<QLabel *>(QStringLiteral("fileNameLabel"))->text().contains(QStringLiteral("文件名")))
        << dialog->findChild<QLabel *>(QStringLiteral("fileNameLabel"))->text().toStdString();
    dialog->reject();
    EXPECT_EQ(result(saving), std::nullopt);

    // English needs no translation: Qt's own texts come back.
    EXPECT_FALSE(installQtTranslations(QStringLiteral("en")));
    EXPECT_FALSE(QDialogButtonBox(QDialogButtonBox::Cancel).button(QDialogButtonBox::Cancel)->text().contains(QStringLiteral("取消")));
}

TEST_F(QtFilePanelsTest, ACancelledPanelAnswersNothing)
{
    auto handle = show(panels.chooseFileToOpen(&window, {}));
    ASSERT_TRUE(dialog);
    dialog->reject();
    EXPECT_EQ(result(handle), std::nullopt);
    EXPECT_TRUE(waitUntil([&] { return dialog.isNull(); }));
}

TEST_F(QtFilePanelsTest, SavePanelNeverAsksAboutReplacingAndAddsTheExtensionOnlyToBareNames)
{
    const SavePanelOptions options{QStringLiteral("保存工程"), QStringLiteral("未命名.kivaro"), QStringLiteral("kivaro"), {}, folder.path()};
    auto handle = show(panels.chooseSaveLocation(&window, options));
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_TRUE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_EQ(dialog->nameFilters(), QStringList{QStringLiteral("*.kivaro")});
    EXPECT_EQ(dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->text(), QStringLiteral("未命名.kivaro"));

    // An existing file: no question from the panel, the caller asks about the final name.
    typeAndAccept(QStringLiteral("x.png.kivaro"));
    EXPECT_EQ(result(handle), folder.filePath(QStringLiteral("x.png.kivaro")));
    EXPECT_TRUE(window.findChildren<QMessageBox *>().isEmpty());

    const std::pair<QString, QString> names[] = {{QStringLiteral("shot"), QStringLiteral("shot.kivaro")},
                                                 {QStringLiteral("x.png"), QStringLiteral("x.png")}};
    for (const auto &[typed, expected] : names) {
        SCOPED_TRACE(typed.toStdString());
        auto next = show(panels.chooseSaveLocation(&window, options));
        ASSERT_TRUE(dialog);
        typeAndAccept(typed);
        EXPECT_EQ(result(next), folder.filePath(expected));
    }
}

TEST_F(QtFilePanelsTest, CancellingTheTaskClosesThePanel)
{
    auto handle = show(panels.chooseSaveLocation(&window, {QString(), QStringLiteral("标注截图.png"), QStringLiteral("png"), {}, folder.path()}));
    ASSERT_TRUE(dialog);
    handle.cancel();
    ASSERT_TRUE(TestSupport::waitFor(handle));
    EXPECT_TRUE(handle.endedByCancellation());
    EXPECT_TRUE(waitUntil([&] { return dialog.isNull(); }));
    EXPECT_EQ(panels.currentDialog(), nullptr);
}

TEST_F(QtFilePanelsTest, APanelWhoseWindowGoesAwayEndsQuietly)
{
    auto *transient = new QWidget;
    transient->show();
    auto handle = show(panels.chooseFileToOpen(transient, {}));
    ASSERT_TRUE(dialog);
    delete transient; // deletes the dialog with it
    ASSERT_TRUE(TestSupport::waitFor(handle));
    EXPECT_TRUE(handle.endedByCancellation());
    EXPECT_EQ(panels.currentDialog(), nullptr);
}

TEST(ScriptedFilePanels, AnswersInOrderWaitsWhenNoneIsQueuedAndRecordsRequests)
{
    ScriptedFilePanels panels;
    panels.answer(QStringLiteral("/tmp/a.png"));
    EXPECT_EQ(TestSupport::run(panels.chooseFileToOpen(nullptr, {QStringLiteral("打开"), {}, {}})), QStringLiteral("/tmp/a.png"));

    QWidget parent;
    auto waiting = start(panels.chooseSaveLocation(&parent, {QString(), QStringLiteral("未命名.kivaro"), QStringLiteral("kivaro"), {}, {}}));
    ASSERT_TRUE(waitUntil([&] { return panels.waitingCount() == 1; }));
    EXPECT_FALSE(waitUntil([&] { return waiting.isFinished(); }, 50));
    panels.answer(std::nullopt);
    ASSERT_TRUE(TestSupport::waitFor(waiting));
    EXPECT_EQ(waiting.value(), std::nullopt);
    EXPECT_EQ(panels.waitingCount(), 0);

    auto cancelled = start(panels.chooseFileToOpen(nullptr, {}));
    ASSERT_TRUE(waitUntil([&] { return panels.waitingCount() == 1; }));
    cancelled.cancel();
    ASSERT_TRUE(TestSupport::waitFor(cancelled));
    EXPECT_TRUE(cancelled.endedByCancellation());
    EXPECT_EQ(panels.waitingCount(), 0);

    ASSERT_EQ(panels.requests().size(), 3);
    EXPECT_EQ(panels.requests()[0].kind, ScriptedFilePanels::Kind::open);
    EXPECT_EQ(panels.requests()[0].open.title, QStringLiteral("打开"));
    EXPECT_EQ(panels.requests()[1].kind, ScriptedFilePanels::Kind::save);
    EXPECT_EQ(panels.requests()[1].save.suggestedName, QStringLiteral("未命名.kivaro"));
    EXPECT_TRUE(panels.requests()[1].hadParent);
}
