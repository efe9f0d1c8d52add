// Sharing through real desktop entries: a private data folder holds one application entry whose
// command records what it was given, so the whole road from menu to started process runs.

#include "Kivaro/sharing/SharePresenter.h"

#include "NativeAppAppearance/MenuContentView.h"
#include "NativeAppAppearance/NativeMenu.h"
#include "Platform/Sharing/DesktopApplications.h"
#include "Support/TaskTesting.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

using namespace Kivaro;
using NativeAppAppearance::NativeMenu;
using namespace std::chrono_literals;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

TEST(DesktopShare, TheChosenApplicationGetsTheFileAndItsFolderGoesAfterItExits)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString args = root.filePath(QStringLiteral("args")), received = root.filePath(QStringLiteral("received"));
    const QString quit = root.filePath(QStringLiteral("quit")), program = root.filePath(QStringLiteral("bin/recorder"));
    // Records its arguments and what the file held when it started, then stays until told to go.
    writeAll(program, "#!/bin/sh\ncat \"$1\" > \"" + received.toUtf8() + ".part\" && mv \"" + received.toUtf8() + ".part\" \""
                          + received.toUtf8() + "\"\nprintf '%s\\n' \"$@\" > \"" + args.toUtf8() + "\"\nwhile [ ! -e \""
                          + quit.toUtf8() + "\" ]; do sleep 0.02; done\n");
    QFile::setPermissions(program, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    writeAll(root.filePath(QStringLiteral("data/applications/recorder.desktop")),
             "[Desktop Entry]\nType=Application\nName=Recorder\nName[zh_CN]=记录器\nExec=" + program.toUtf8()
                 + " %f\nMimeType=image/png;\n");
    writeAll(root.filePath(QStringLiteral("data/applications/notes.desktop")),
             "[Desktop Entry]\nType=Application\nName=Notes\nExec=true %f\nMimeType=text/plain;\n");
    QDir().mkpath(root.filePath(QStringLiteral("config")));

    auto applications = std::make_shared<Platform::DesktopApplications>(Platform::DesktopApplications::Options{
        {QStringLiteral("zh_CN")}, {root.filePath(QStringLiteral("data"))}, {root.filePath(QStringLiteral("config"))}});
    SharePresenter presenter(applications, SharePresenter::Options{0ms, 0ms});
    EXPECT_TRUE(presenter.services().service(QStringLiteral("recorder.desktop")).has_value()) << "looked up by name";

    const QByteArray png("\x89PNG\r\n\x1a\nnot really", 18);
    const QString file = SharePresenter::prepare(png, QStringLiteral("Kivaro.png"));
    QWidget anchor;
    anchor.resize(80, 30);
    anchor.show();
    int calls = 0;
    std::exception_ptr error;
    presenter.present(file, &anchor, [&](std::exception_ptr e) { ++calls, error = e; });
    ASSERT_EQ(presenter.sessions().size(), 1);
    EXPECT_EQ(presenter.sessions().begin().value()->serviceTitles(), QStringList{QStringLiteral("记录器")});
    ASSERT_TRUE(NativeMenu::shared().isOpen());
    NativeMenu::shared().contentView()->rows().at(0)->activate();

    ASSERT_TRUE(TestSupport::waitUntil([&] { return calls == 1; }));
    EXPECT_FALSE(error);
    EXPECT_TRUE(presenter.sessions().isEmpty());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return QFileInfo::exists(args); }, 10000));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return readAll(args).endsWith('\n'); }));
    EXPECT_EQ(readAll(args).trimmed(), file.toUtf8());
    EXPECT_EQ(readAll(received), png) << "the file was there when the application read it";
    EXPECT_TRUE(QFileInfo::exists(file)) << "kept while the application runs";

    writeAll(quit, "");
    EXPECT_TRUE(TestSupport::waitUntil([&] { return !QFileInfo::exists(QFileInfo(file).absolutePath()); }, 10000));
    EXPECT_TRUE(presenter.pendingRemovals().isEmpty());
    EXPECT_EQ(calls, 1);
}
