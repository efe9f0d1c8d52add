#pragma once
// The shell on in-process backends: private preferences, a hot-key service the test presses,
// an editor with a private pasteboard, scripted alerts and its own recent-shots folder.

#include "Kivaro/editor/EditorController.h"
#include "Kivaro/shell/AppDelegate.h"
#include "Platform/Defaults/UserDefaults.h"
#include "Platform/Dialogs/ScriptedAlertPresenter.h"
#include "Platform/Dialogs/ScriptedFilePanels.h"
#include "Platform/HotKeys/InProcessHotKeyService.h"
#include "Platform/Pasteboard/Pasteboard.h"
#include "Platform/Pointer/InProcessPointerSource.h"
#include "Platform/ScreenCapture/InProcessScreenSource.h"
#include "Platform/Sharing/FixedSharingServices.h"
#include "Support/PrivateConfigHome.h"
#include "Support/TaskTesting.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace ShellTesting {

using TestSupport::waitUntil;

// ⌃⌥⌘4 and ⌃⌘5, as stored.
inline const Kivaro::CaptureShortcut controlOptionCommand4{21, 0x1900, QStringLiteral("4")};
inline const Kivaro::CaptureShortcut controlCommand5{23, 0x1100, QStringLiteral("5")};

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        Platform::UserDefaults::forgetDomain(QString::fromLatin1(Platform::UserDefaults::standardDomain));
        Platform::HotKeyService::setShared(service);
    }
    void TearDown() override
    {
        delegate.reset();
        waitUntil([] { return false; }, 10);
        Platform::HotKeyService::setShared({});
        Platform::UserDefaults::forgetDomain(QString::fromLatin1(Platform::UserDefaults::standardDomain));
    }

    Kivaro::AppDelegate::Services services()
    {
        Kivaro::AppDelegate::Services s;
        s.editor.pasteboard = pasteboard;
        s.editor.filePanels = std::make_shared<Platform::ScriptedFilePanels>();
        s.editor.alerts = alerts;
        s.editor.pointer = std::make_shared<Platform::InProcessPointerSource>();
        s.editor.screens = std::make_shared<Platform::InProcessScreenSource>();
        s.editor.sharingServices = std::make_shared<Platform::FixedSharingServices>(QList<Platform::SharingService>());
        s.editor.recentDirectory = folder.filePath(QStringLiteral("recent"));
        s.alerts = alerts;
        return s;
    }
    void launch()
    {
        delegate = std::make_unique<Kivaro::AppDelegate>(services());
        delegate->applicationDidFinishLaunching();
    }
    Platform::UserDefaults defaults() const { return Platform::UserDefaults::standard(); }

    PrivateConfigHome configHome;
    QTemporaryDir folder;
    std::shared_ptr<Platform::InProcessHotKeyService> service = std::make_shared<Platform::InProcessHotKeyService>();
    std::shared_ptr<Platform::PrivatePasteboard> pasteboard = Platform::Pasteboard::withUniqueName();
    std::shared_ptr<Platform::ScriptedAlertPresenter> alerts = std::make_shared<Platform::ScriptedAlertPresenter>();
    std::unique_ptr<Kivaro::AppDelegate> delegate;
};

} // namespace ShellTesting
