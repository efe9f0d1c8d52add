#pragma once
// An editor on the real X server's own backends (its screens, pointer and clipboard) with
// panels and alerts the test answers and a recent-shots folder of its own, for the capture road
// tests; the capture preferences cleared before and after, and the clipboard read back by
// another client (xclip).

#include "EditorFixtures.h"

#include "Kivaro/shell/capture/CaptureCompletion.h"
#include "Platform/Defaults/UserDefaults.h"
#include "Support/ClientProcess.h"

namespace EditorTesting {

class LiveCaptureEditor : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        clearPreferences();
        services.filePanels = std::make_shared<Platform::ScriptedFilePanels>();
        services.alerts = std::make_shared<Platform::ScriptedAlertPresenter>();
        services.recentDirectory = folder.filePath(QStringLiteral("recent"));
        editor = std::make_unique<Kivaro::EditorController>(services);
    }
    void TearDown() override
    {
        if (editor && editor->captureTask() && !editor->captureTask().isFinished()) {
            editor->captureTask().cancel();
            waitUntil([&] { return editor->captureTask().isFinished(); });
        }
        editor.reset();
        clearPreferences();
    }
    static void clearPreferences()
    {
        Platform::UserDefaults defaults = Platform::UserDefaults::standard();
        defaults.remove(QString::fromLatin1(Kivaro::CaptureCompletionPreferences::opensEditorKey));
        defaults.remove(QString::fromLatin1(Kivaro::CaptureCompletionPreferences::copiesImageKey));
    }
    // The clipboard's PNG as another client reads it; empty when there is none.
    static QByteArray clipboardPNG()
    {
        const TestSupport::ClientResult read = TestSupport::runClient(
            QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"),
                                      QStringLiteral("image/png"), QStringLiteral("-o")});
        return read.finished && read.exitCode == 0 ? read.output : QByteArray();
    }

    QTemporaryDir folder;
    Kivaro::EditorController::Services services;
    std::unique_ptr<Kivaro::EditorController> editor;
};

} // namespace EditorTesting
