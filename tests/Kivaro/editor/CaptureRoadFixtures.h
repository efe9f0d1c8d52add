#pragma once
// An editor whose capture reads fixture screens (the in-process screen source) under a
// permission the test grants or refuses, with helpers that drive the real overlay's view.

#include "EditorFixtures.h"

#include "Kivaro/editor/InlineCaptureEditor.h"

#include "Kivaro/shell/capture/CaptureOverlayWindow.h"
#include "Kivaro/shell/capture/CaptureSelectionView.h"
#include "Kivaro/shell/capture/RegionCapture.h"
#include "Platform/Defaults/UserDefaults.h"
#include "TellumoCore/ScreenRegionCapture.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace EditorTesting {

struct TestPermission final : Tellumo::ScreenRecordingPermission {
    bool granted = true;
    int requests = 0;
    bool isGranted() const override { return granted; }
    void request() override { ++requests; }
};

class CaptureRoadTest : public EditorTest {
protected:
    void SetUp() override
    {
        Tellumo::ScreenRegionCapture::setPermission(permission);
        const Platform::CaptureScreen main{QStringLiteral("main"), QRectF(0, 0, 960, 600), 1.0};
        screenImage = picture(960, 600);
        source->setScreens({{main, screenImage}});
        source->setPointerLocation({10, 10});
        clearPreferences();
        EditorTest::SetUp();
        editor = makeCapturingEditor();
    }
    void TearDown() override
    {
        if (editor && editor->captureTask() && !editor->captureTask().isFinished()) {
            editor->captureTask().cancel();
            waitUntil([&] { return editor->captureTask().isFinished(); });
        }
        EditorTest::TearDown();
        clearPreferences();
        Tellumo::ScreenRegionCapture::setPermission({});
    }
    static void clearPreferences()
    {
        Platform::UserDefaults defaults = Platform::UserDefaults::standard();
        for (const char *key : {Kivaro::CaptureCompletionPreferences::opensEditorKey, Kivaro::CaptureCompletionPreferences::copiesImageKey,
                                Kivaro::CaptureIntents::preferenceKey})
            defaults.remove(QString::fromLatin1(key));
    }
    static void setPreference(const char *key, const QVariant &value)
    {
        Platform::UserDefaults::standard().set(QString::fromLatin1(key), value);
    }

    std::unique_ptr<Kivaro::EditorController> makeCapturingEditor()
    {
        Kivaro::EditorController::Services services;
        services.pasteboard = pasteboard;
        services.filePanels = panels;
        services.alerts = alerts;
        services.pointer = pointer;
        services.screens = source;
        services.sharingServices = sharingServices;
        services.voice = voice;
        services.recentDirectory = recentFolder();
        return std::make_unique<Kivaro::EditorController>(services);
    }

    // The first overlay's view once the capture shows it; null when none came.
    Kivaro::CaptureSelectionView *overlayView()
    {
        if (!waitUntil([&] { return editor->capture()->hasPendingSelection() || !editor->captureTask() || editor->captureTask().isFinished(); })
            || !editor->capture()->hasPendingSelection())
            return nullptr;
        return editor->capture()->overlays().first()->contentView();
    }
    static std::unique_ptr<QMouseEvent> mouse(const Kivaro::CaptureSelectionView &view, QEvent::Type type, QPointF viewPoint)
    {
        const QPointF local = view.widgetPoint(viewPoint);
        const Qt::MouseButtons buttons = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
        return std::make_unique<QMouseEvent>(type, local, local, local, Qt::LeftButton, buttons, Qt::NoModifier);
    }
    // A drag from `from` to `to` (view points, y up) on the shown overlay.
    bool drag(QPointF from, QPointF to)
    {
        Kivaro::CaptureSelectionView *view = overlayView();
        if (!view)
            return false;
        view->mouseDown(*mouse(*view, QEvent::MouseButtonPress, from));
        view->mouseUp(*mouse(*view, QEvent::MouseButtonRelease, to));
        return true;
    }
    bool escape()
    {
        Kivaro::CaptureSelectionView *view = overlayView();
        if (!view)
            return false;
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        view->keyDown(press);
        return true;
    }
    bool waitCaptureEnded()
    {
        return waitUntil([&] { return !editor->captureTask() && !editor->busy(); }, 10000);
    }
    // A region capture dragged over (120, 100)-(640, 350) of the 960 x 600 screen.
    bool captureRegion()
    {
        editor->captureRegion(Kivaro::CaptureIntent::image, Kivaro::CaptureSelectionMode::region, false);
        return drag({120, 100}, {640, 350}) && waitCaptureEnded();
    }
    // What that region holds: y up, so rows 600 - 350 to 600 - 100.
    QImage capturedRegion() const { return screenImage.copy(120, 250, 520, 250); }

    std::shared_ptr<TestPermission> permission = std::make_shared<TestPermission>();
    std::shared_ptr<Platform::InProcessScreenSource> source = std::make_shared<Platform::InProcessScreenSource>();
    std::shared_ptr<Platform::FixedSharingServices> sharingServices = std::make_shared<Platform::FixedSharingServices>(
        QList<Platform::SharingService>{{QStringLiteral("viewer.desktop"), QStringLiteral("Viewer"), {}}});
    QImage screenImage;
};

} // namespace EditorTesting
