#pragma once
// An editor on in-process backends: a private pasteboard, panels and alerts the test answers,
// a pointer whose buttons the test holds, a fixed share-service list, a voice engine the test
// scripts, and a recent-shots folder of its own; plus pictures and a stand-in shell.

#include "Kivaro/editor/CompactStatusLabel.h"
#include "Kivaro/editor/EditorController.h"
#include "Kivaro/editor/EditorShell.h"
#include "Kivaro/editor/VoiceAnnotation.h"

#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/document/ShotDocument.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/Dialogs/ScriptedAlertPresenter.h"
#include "Platform/Dialogs/ScriptedFilePanels.h"
#include "Platform/Pasteboard/Pasteboard.h"
#include "Platform/Pointer/InProcessPointerSource.h"
#include "Platform/ScreenCapture/InProcessScreenSource.h"
#include "Platform/Sharing/DesktopApplications.h"
#include "Platform/Sharing/FixedSharingServices.h"
#include "Support/TaskTesting.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace EditorTesting {

using TestSupport::waitUntil;

// A picture with structure (a gradient and a grid), so renderings of different states differ.
inline QImage picture(int w = 640, int h = 400)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < w; ++x)
            row[x] = qRgb((x * 255) / qMax(1, w - 1), (y * 255) / qMax(1, h - 1), ((x / 16 + y / 16) % 2) * 200);
    }
    return image;
}

// A voice engine whose preparation the test lets succeed or fail.
class ScriptedVoice final : public Kivaro::VoiceAnnotation {
public:
    QStringList preparedLocales;
    std::optional<QString> failure; // the next preparations fail with this message
    int cancels = 0;

    Platform::Task<void> prepare(QString locale, bool) override
    {
        preparedLocales << locale;
        co_await Platform::sleep(std::chrono::milliseconds(1));
        if (failure)
            throw Kivaro::ShotError::message(*failure);
    }
    void begin() override {}
    Platform::Task<QString> finish() override { co_return QString(); }
    Platform::Task<QString> retry() override { co_return QString(); }
    bool canRetry() const override { return false; }
    void cancel() override { ++cancels; }
    double level() override { return 0; }
};

// The application delegate with a settings window.
class FakeShell final : public Kivaro::EditorShell, public Kivaro::ShortcutSettingsController {
public:
    ~FakeShell() override { delete m_window.data(); }
    ShortcutSettingsController *shortcutSettings() const override { return const_cast<FakeShell *>(this); }
    void showSettings() override { ++settingsShown; }
    QWidget *window() const override { return m_window; }
    void makeWindow() override { m_window = new QWidget; }
    void refresh() override { ++refreshes; }
    void setMessage(const QString &text, const QColor &color) override
    {
        message = text;
        messageColor = color;
    }

    int settingsShown = 0;
    int refreshes = 0;
    QString message;
    QColor messageColor;

private:
    QPointer<QWidget> m_window;
};

class EditorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        editor = makeEditor();
    }
    void TearDown() override
    {
        editor.reset();
        waitUntil([] { return false; }, 10); // lets deleteLater and queued task ends run
    }

    // The fixture's scripted services: a private pasteboard, panels, alerts and pointer, an
    // in-process screen, no sharing service, the scripted voice and the test's recent folder.
    Kivaro::EditorController::Services editorServices() const
    {
        Kivaro::EditorController::Services services;
        services.pasteboard = pasteboard;
        services.filePanels = panels;
        services.alerts = alerts;
        services.pointer = pointer;
        services.screens = std::make_shared<Platform::InProcessScreenSource>();
        services.sharingServices = std::make_shared<Platform::FixedSharingServices>(QList<Platform::SharingService>());
        services.voice = voice;
        services.recentDirectory = recentFolder();
        return services;
    }

    std::unique_ptr<Kivaro::EditorController> makeEditor() { return std::make_unique<Kivaro::EditorController>(editorServices()); }

    QString recentFolder() const { return folder.filePath(QStringLiteral("recent")); }
    QString path(const QString &name) const { return folder.filePath(name); }
    QStringList recentFiles() const { return QDir(recentFolder()).entryList(QDir::Files); }

    // Loads a picture straight into the document and shows the editor window.
    void loadPicture(const QImage &image = picture())
    {
        editor->document()->load(image, false);
        editor->window()->show();
    }
    bool waitIdle(int timeoutMs = 5000)
    {
        return waitUntil([this] { return !editor->busy(); }, timeoutMs);
    }
    QString statusText() const { return editor->status()->stringValue(); }

    QTemporaryDir folder;
    std::shared_ptr<Platform::PrivatePasteboard> pasteboard = Platform::Pasteboard::withUniqueName();
    std::shared_ptr<Platform::ScriptedFilePanels> panels = std::make_shared<Platform::ScriptedFilePanels>();
    std::shared_ptr<Platform::ScriptedAlertPresenter> alerts = std::make_shared<Platform::ScriptedAlertPresenter>();
    std::shared_ptr<Platform::InProcessPointerSource> pointer = std::make_shared<Platform::InProcessPointerSource>();
    std::shared_ptr<ScriptedVoice> voice = std::make_shared<ScriptedVoice>();
    std::unique_ptr<Kivaro::EditorController> editor;
};

// A desktop of the test's own with one application for `mimeType` that keeps a copy of the file
// it is given (`received`) and the path it was given (`name`).
class ReceivingDesktop {
public:
    ReceivingDesktop(const QString &mimeType, const QString &extension)
        : received(m_folder.filePath(QStringLiteral("received.") + extension)), name(m_folder.filePath(QStringLiteral("name")))
    {
        QDir().mkpath(m_folder.filePath(QStringLiteral("data/applications")));
        QFile script(m_folder.filePath(QStringLiteral("receiver")));
        if (!script.open(QIODevice::WriteOnly))
            return;
        script.write("#!/bin/sh\nprintf '%s\\n' \"$1\" > \"" + name.toUtf8() + "\"\ncp \"$1\" \"" + received.toUtf8() + ".part\" && mv \"" +
                     received.toUtf8() + ".part\" \"" + received.toUtf8() + "\"\n");
        script.close();
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QFile entry(m_folder.filePath(QStringLiteral("data/applications/kivaro-test-receiver.desktop")));
        if (!entry.open(QIODevice::WriteOnly))
            return;
        entry.write("[Desktop Entry]\nType=Application\nName=Receiver\nExec=" + script.fileName().toUtf8() + " %f\nMimeType=" +
                    mimeType.toUtf8() + ";\n");
        m_ready = true;
    }

    bool isReady() const { return m_ready && m_folder.isValid(); }
    // The bytes the application received, once it has them; empty after 10 s without.
    QByteArray delivered() const
    {
        if (!TestSupport::waitUntil([&] { return QFileInfo::exists(received); }, 10000))
            return {};
        QFile got(received);
        return got.open(QIODevice::ReadOnly) ? got.readAll() : QByteArray();
    }
    // The name of the file the application was given. Its share folder is removed: the
    // presenter keeps a started application's file for a minute, and the test does not wait.
    QString sharedFileName() const
    {
        QFile named(name);
        if (!named.open(QIODevice::ReadOnly))
            return {};
        const QFileInfo shared(QString::fromUtf8(named.readAll().trimmed()));
        QDir(shared.absolutePath()).removeRecursively();
        return shared.fileName();
    }
    std::shared_ptr<Platform::DesktopApplications> applications() const
    {
        return std::make_shared<Platform::DesktopApplications>(Platform::DesktopApplications::Options{
            {QStringLiteral("en")}, {m_folder.filePath(QStringLiteral("data"))}, {m_folder.filePath(QStringLiteral("config"))}});
    }

private:
    QTemporaryDir m_folder;
    bool m_ready = false;

public:
    const QString received;
    const QString name;
};

} // namespace EditorTesting
