#include "Platform/Sharing/DesktopApplications.h"
#include "Support/TaskTesting.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using Platform::DesktopApplications;

namespace {

// A private desktop: its own data and config folders with a few application entries.
class FakeDesktop : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        QDir().mkpath(path("home/applications"));
        QDir().mkpath(path("system/applications"));
        QDir().mkpath(path("config"));

        // Records its arguments, then lingers until told to go, like a real viewer would.
        writeFile("bin/recorder", "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + path("args").toUtf8()
                                      + "\"\nwhile [ ! -e \"" + path("quit").toUtf8() + "\" ]; do sleep 0.02; done\n");
        QFile::setPermissions(path("bin/recorder"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

        entry("system", "zeta-viewer.desktop", "Zeta Viewer", path("bin/recorder").toUtf8() + " %f", "image/png;");
        entry("system", "alpha-editor.desktop", "Alpha Editor", "true %U", "image/*;");
        entry("system", "notes.desktop", "Notes", "true %f", "text/plain;");
        entry("system", "hidden.desktop", "Hidden", "true %f", "image/png;", "NoDisplay=true\n");
        entry("system", "missing.desktop", "Missing", "true %f", "image/png;", "TryExec=/nonexistent/program\n");
        entry("system", "broken.desktop", "Broken", "/nonexistent/program %f", "image/png;");
        // The user's own entry of an id overrides the system's.
        entry("system", "override.desktop", "System Copy", "true %f", "image/png;");
        entry("home", "override.desktop", "User Copy", "true %f", "image/png;");
        writeFile("config/mimeapps.list", "[Default Applications]\nimage/png=zeta-viewer.desktop;\n");
    }

    DesktopApplications::Options options() const
    {
        return {{QStringLiteral("en")}, {path("home"), path("system")}, {path("config")}};
    }

    QString path(const QString &relative) const { return m_root.path() + QLatin1Char('/') + relative; }
    void writeFile(const QString &relative, const QByteArray &bytes)
    {
        QDir().mkpath(QFileInfo(path(relative)).absolutePath());
        QFile file(path(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    void entry(const QString &where, const QString &id, const QByteArray &name, const QByteArray &exec, const QByteArray &mime,
               const QByteArray &extra = {})
    {
        writeFile(where + QStringLiteral("/applications/") + id,
                  "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + exec + "\nMimeType=" + mime + "\n" + extra);
    }
    QStringList titles(const QList<Platform::SharingService> &services)
    {
        QStringList list;
        for (const auto &service : services)
            list << service.title;
        return list;
    }

    QTemporaryDir m_root;
};

} // namespace

TEST_F(FakeDesktop, OffersTheApplicationsOfTheFileTypeWithTheDefaultFirst)
{
    DesktopApplications applications(options());
    const QString png = path("share/Kivaro.png");
    writeFile("share/Kivaro.png", "not decoded here");
    EXPECT_EQ(titles(applications.servicesFor(png)),
              (QStringList{QStringLiteral("Zeta Viewer"), QStringLiteral("Alpha Editor"), QStringLiteral("Broken"), QStringLiteral("User Copy")}));
    writeFile("share/Kivaro-OCR.txt", "text");
    EXPECT_EQ(titles(applications.servicesFor(path("share/Kivaro-OCR.txt"))), QStringList{QStringLiteral("Notes")});
    EXPECT_TRUE(applications.service(QStringLiteral("notes.desktop")).has_value());
    EXPECT_FALSE(applications.service(QStringLiteral("hidden.desktop")).has_value());
    EXPECT_FALSE(applications.service(QStringLiteral("nothing.desktop")).has_value());
}

TEST_F(FakeDesktop, AnApplicationWithoutAnIconItCanShowHasTheGenericOne)
{
    entry("home", "no-icon.desktop", "No Icon", "true %f", "image/png;");
    entry("home", "lost-icon.desktop", "Lost Icon", "true %f", "image/png;", "Icon=" + path("gone.png").toUtf8() + "\n");
    entry("home", "unknown-icon.desktop", "Unknown Icon", "true %f", "image/png;", "Icon=kivaro-no-such-icon-name\n");
    ASSERT_TRUE(QFile::exists(QStringLiteral(":/kivaro/sharing/application.svg"))) << "the generic icon is linked in";
    DesktopApplications applications(options());
    for (const char *id : {"no-icon.desktop", "lost-icon.desktop", "unknown-icon.desktop"}) {
        const auto service = applications.service(QString::fromLatin1(id));
        ASSERT_TRUE(service.has_value()) << id;
        EXPECT_FALSE(service->image.isNull()) << id << ": a blank square in the share menu";
    }
}

TEST_F(FakeDesktop, PerformStartsTheApplicationWithTheFileAndReportsItsExit)
{
    DesktopApplications applications(options());
    writeFile("share/Kivaro.png", "png");
    const auto service = applications.service(QStringLiteral("zeta-viewer.desktop"));
    ASSERT_TRUE(service.has_value());
    int startedCalls = 0, endedCalls = 0;
    std::optional<Platform::LaunchFailure> error = Platform::LaunchFailure::other;
    applications.perform(*service, path("share/Kivaro.png"), [&](std::optional<Platform::LaunchFailure> e) { ++startedCalls, error = e; },
                         [&] { ++endedCalls; });
    ASSERT_TRUE(TestSupport::waitUntil([&] { return startedCalls == 1; }));
    EXPECT_FALSE(error.has_value());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return QFile::exists(path("args")); }));
    QFile args(path("args"));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return args.size() > 0; }));
    ASSERT_TRUE(args.open(QIODevice::ReadOnly));
    EXPECT_EQ(args.readAll().trimmed(), path("share/Kivaro.png").toUtf8());
    EXPECT_EQ(endedCalls, 0) << "the application is still running";
    writeFile("quit", "");
    ASSERT_TRUE(TestSupport::waitUntil([&] { return endedCalls == 1; }, 5000));
    EXPECT_EQ(startedCalls, 1);
}

TEST_F(FakeDesktop, AProgramThatCannotStartIsTheShareFailureWithItsCause)
{
    using Platform::LaunchFailure;
    writeFile("bin/plain", "#!/bin/sh\n"); // not executable
    writeFile("locked/tool", "#!/bin/sh\n");
    QFile::setPermissions(path("locked/tool"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile::setPermissions(path("locked"), QFileDevice::ReadOwner | QFileDevice::WriteOwner); // cannot be searched
    const QByteArray never = "application/x-never;";
    entry("system", "unnamed.desktop", "Unnamed", "kivaro-no-such-program-anywhere %f", never);
    entry("system", "plain.desktop", "Plain", path("bin/plain").toUtf8() + " %f", never);
    entry("system", "folder.desktop", "Folder", path("bin").toUtf8() + " %f", never);
    entry("system", "quoted.desktop", "Quoted", "\"unterminated %f", never);
    entry("system", "locked.desktop", "Locked", path("locked/tool").toUtf8() + " %f", never);
    entry("system", "gone.desktop", "Gone", "true %f", never);
    DesktopApplications applications(options());
    const auto gone = applications.service(QStringLiteral("gone.desktop"));
    ASSERT_TRUE(gone.has_value());
    QFile::remove(path("system/applications/gone.desktop"));

    const auto failure = [&](const Platform::SharingService &service) {
        std::optional<LaunchFailure> error;
        bool started = false, ended = false;
        applications.perform(service, path("x.png"), [&](std::optional<LaunchFailure> e) { started = true, error = e; }, [&] { ended = true; });
        EXPECT_TRUE(TestSupport::waitUntil([&] { return started; }));
        TestSupport::waitUntil([] { return false; }, 20);
        EXPECT_FALSE(ended) << "nothing ran, so nothing ends";
        return error;
    };
    const auto failureOf = [&](const char *name) {
        const auto service = applications.service(QString::fromLatin1(name));
        EXPECT_TRUE(service.has_value()) << name;
        return service ? failure(*service) : std::nullopt;
    };
    EXPECT_EQ(failureOf("broken.desktop"), LaunchFailure::programNotFound);
    EXPECT_EQ(failureOf("unnamed.desktop"), LaunchFailure::programNotFound);
    EXPECT_EQ(failure(*gone), LaunchFailure::programNotFound) << "the entry was removed after the menu listed it";
    EXPECT_EQ(failureOf("plain.desktop"), LaunchFailure::notExecutable);
    EXPECT_EQ(failureOf("folder.desktop"), LaunchFailure::notExecutable);
    EXPECT_EQ(failureOf("quoted.desktop"), LaunchFailure::notExecutable);
    if (::geteuid() != 0) { // the superuser searches any folder
        EXPECT_EQ(failureOf("locked.desktop"), LaunchFailure::permissionDenied);
    }
    QFile::setPermissions(path("locked"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST_F(FakeDesktop, EntriesTheDesktopWouldNotShowAreNoShareTargets)
{
    // Read from the environment's data and config folders, as the application does.
    const QHash<QByteArray, QString> environment{{"XDG_DATA_HOME", path("home")},     {"XDG_DATA_DIRS", path("system")},
                                                 {"XDG_CONFIG_HOME", path("config")}, {"XDG_CONFIG_DIRS", path("config")},
                                                 {"XDG_CURRENT_DESKTOP", QStringLiteral("Tiling:Kivdesk")}};
    QHash<QByteArray, QByteArray> saved;
    for (auto it = environment.cbegin(); it != environment.cend(); ++it) {
        saved.insert(it.key(), qgetenv(it.key().constData()));
        qputenv(it.key().constData(), it.value().toLocal8Bit());
    }
    const QByteArray png = "image/png;";
    entry("system", "console.desktop", "Console", "true %f", png, "Terminal=true\n");
    entry("system", "removed.desktop", "Removed", "true %f", png, "Hidden=true\n");
    entry("system", "withdrawn.desktop", "Withdrawn", "true %f", png);
    entry("home", "withdrawn.desktop", "Withdrawn", "true %f", png, "Hidden=true\n"); // the user deleted the system's
    entry("system", "foreign.desktop", "Foreign", "true %f", png, "OnlyShowIn=Other;Third;\n");
    entry("system", "shunned.desktop", "Shunned", "true %f", png, "NotShowIn=Kivdesk;\n");
    entry("system", "native.desktop", "Native", "true %f", png, "OnlyShowIn=Other;Kivdesk;\n");
    entry("system", "tolerant.desktop", "Tolerant", "true %f", png, "NotShowIn=Other;\n");
    entry("system", "tried.desktop", "Tried", "true %f", png, "TryExec=" + path("bin/recorder").toUtf8() + "\n");
    entry("system", "console-off.desktop", "Console Off", "true %f", png, "Terminal=false\n");
    writeFile("share/Kivaro.png", "png");

    DesktopApplications applications(DesktopApplications::Options{{QStringLiteral("en")}, {}, {}});
    EXPECT_EQ(titles(applications.servicesFor(path("share/Kivaro.png"))),
              (QStringList{QStringLiteral("Zeta Viewer"), QStringLiteral("Alpha Editor"), QStringLiteral("Broken"),
                           QStringLiteral("Console Off"), QStringLiteral("Native"), QStringLiteral("Tolerant"), QStringLiteral("Tried"),
                           QStringLiteral("User Copy")}));
    for (const char *id : {"console", "removed", "withdrawn", "foreign", "shunned", "hidden", "missing"})
        EXPECT_FALSE(applications.service(QString::fromLatin1(id) + QStringLiteral(".desktop")).has_value()) << id;

    for (auto it = saved.cbegin(); it != saved.cend(); ++it) {
        if (it.value().isNull())
            qunsetenv(it.key().constData());
        else
            qputenv(it.key().constData(), it.value());
    }
}

// Mended: the listing opened a link to a FIFO in an applications folder and waited for a writer
// for ever; mimeapps.list was read the same way.
TEST_F(FakeDesktop, FifosAndLinksToThemAreLeftOutWithoutWaitingWhileLinkedEntriesCount)
{
    const QString fifo = path("home/applications/x.desktop");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(fifo, path("home/applications/fifo-link.desktop")));
    ASSERT_TRUE(QFile::link(fifo, path("home/applications/mimeapps.list")));
    // Desktop entries are often links to files kept elsewhere.
    writeFile("elsewhere/linked.desktop", "[Desktop Entry]\nType=Application\nName=Linked Viewer\nExec=true %f\nMimeType=image/png;\n");
    ASSERT_TRUE(QFile::link(path("elsewhere/linked.desktop"), path("system/applications/linked.desktop")));
    writeFile("share/Kivaro.png", "png");

    // Should the listing wait on the FIFO, a writer comes and goes after a while, so that the
    // test fails instead of hanging.
    std::atomic<bool> done = false, released = false;
    std::thread watchdog([&] {
        const QDeadlineTimer patience(10000);
        while (!done) {
            if (patience.hasExpired()) {
                const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0) {
                    released = true;
                    ::close(fd);
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    DesktopApplications applications(options());
    const QStringList offered = titles(applications.servicesFor(path("share/Kivaro.png")));
    const bool linkedIsAService = applications.service(QStringLiteral("linked.desktop")).has_value();
    const bool fifoIsAService = applications.service(QStringLiteral("fifo-link.desktop")).has_value()
                                || applications.service(QStringLiteral("x.desktop")).has_value();
    done = true;
    watchdog.join();

    EXPECT_FALSE(released) << "the listing waited on a FIFO";
    EXPECT_EQ(offered, (QStringList{QStringLiteral("Zeta Viewer"), QStringLiteral("Alpha Editor"), QStringLiteral("Broken"),
                                    QStringLiteral("Linked Viewer"), QStringLiteral("User Copy")}));
    EXPECT_TRUE(linkedIsAService);
    EXPECT_FALSE(fifoIsAService);
}
