#include "Platform/Sharing/DesktopApplications.h"
#include "Support/TaskTesting.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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

TEST_F(FakeDesktop, PerformStartsTheApplicationWithTheFileAndReportsItsExit)
{
    DesktopApplications applications(options());
    writeFile("share/Kivaro.png", "png");
    const auto service = applications.service(QStringLiteral("zeta-viewer.desktop"));
    ASSERT_TRUE(service.has_value());
    int startedCalls = 0, endedCalls = 0;
    std::optional<QString> error = QStringLiteral("unset");
    applications.perform(*service, path("share/Kivaro.png"), [&](std::optional<QString> e) { ++startedCalls, error = e; },
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

TEST_F(FakeDesktop, AProgramThatCannotStartIsTheShareFailure)
{
    DesktopApplications applications(options());
    const auto service = applications.service(QStringLiteral("broken.desktop"));
    ASSERT_TRUE(service.has_value());
    std::optional<QString> error;
    bool started = false, ended = false;
    applications.perform(*service, path("x.png"), [&](std::optional<QString> e) { started = true, error = e; }, [&] { ended = true; });
    ASSERT_TRUE(TestSupport::waitUntil([&] { return started; }));
    ASSERT_TRUE(error.has_value());
    EXPECT_TRUE(error->contains(QStringLiteral("Broken")));
    TestSupport::waitUntil([] { return false; }, 50);
    EXPECT_FALSE(ended);
}
