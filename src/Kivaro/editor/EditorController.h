#pragma once
// The editor: the controller of the editor window and the owner of the open shot.
//
// One controller per application. It owns the document (`ShotDocument`), the editor window and
// every view inside it (canvas host with the canvas, the checkerboard surround and the
// press-and-hold overlay; the dock with the mode control, the grain pop-up and the action
// buttons; the status line; the voice panel) and the supporting objects: the capture, the
// recent-shots store and window, the share presenter, the floating annotation panel and the
// inline capture editor. The views are built with the controller; the window stays hidden
// until the shell or an action shows it, and closing it only hides it (the shot stays loaded).
//
// Its state machine: four modes (the segments of `mode()`), an armed drawing tool in the
// select-and-edit mode, a pending re-pointing of an arrow, and `busy` while a long operation
// runs. `setBusy`, `updateMode` and `show` are the three operations through which every action
// changes what is enabled and reports errors. A long action refuses while busy, sets busy,
// runs as a task on the main thread that awaits the document or the store, reports success in
// the status line or shows the error, and clears busy as its last step. The tasks are started
// with the controller as owner: destroying the controller cancels them, and a cancelled task
// touches nothing of it.
//
// The actions live in per-concern files: EditorController.cpp (state, modes, busy, errors,
// closing), EditorViewBuilder.cpp (the window content), EditorReconciliation.cpp (the pass
// after each markup edit), EditorDocumentActions.cpp and EditorClipboardActions.cpp (open,
// sample, save, export, copy, grain, language, delete, masks), EditorMoreMenu.cpp,
// EditorShellActions.cpp (bringing the editor forward, replacing the shot after archiving it,
// sharing), EditorDrawingActions.cpp (the drawing tools, their style, the floating text and
// tool panels), EditorVoiceActions.cpp (the press-and-release on the canvas: text notes,
// re-pointing, and what the editor itself does with voice work) and EditorTextActions.cpp (text
// recognition, polishing, the recognised-text history and sharing its texts).
//
// Platform services come in through `Services`; each one left empty gets the running
// platform's (the general pasteboard, Qt's file dialogs and message boxes, the X server's
// pointer). Main thread only.

#include "Kivaro/document/AnnotationLink.h"
#include "Kivaro/editor/DrawingTool.h"
#include "Kivaro/shell/capture/CaptureCompletion.h"
#include "Kivaro/shell/capture/CaptureIntent.h"
#include "Kivaro/shell/capture/CapturePlacement.h"
#include "KivaroCore/CaptureSelectionMode.h"
#include "KivaroCore/RecognizedTextHistory.h"

#include "Platform/Async/Task.h"

#include <QColor>
#include <QObject>
#include <QPointF>
#include <QList>
#include <QPointer>

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

class QMenu;

namespace NativeAppAppearance {
class NativePopupButton;
}

namespace Platform {
class AlertPresenter;
class FilePanels;
class Pasteboard;
class PointerSource;
class ScreenSource;
class SharingServices;
} // namespace Platform

namespace Tellumo {
class AIKeyStore;
class PolishingSession;
} // namespace Tellumo

namespace Kivaro {

class AnnotationFloatingPanel;
class CanvasBackgroundView;
class CapturePermissionPanel;
class CompactStatusLabel;
class EditorDockView;
class EditorShell;
class HoldOverlay;
class InlineCaptureEditor;
class IntegratedTellumo;
class KivaroButton;
class KivaroModes;
class KivaroWindow;
class LinkedBubbleInteraction;
class RecentShots;
class RecentShotsWindow;
class RegionCapture;
struct RecentShot;
class SharePresenter;
class ShortcutSettingsController;
class ShotDocument;
class TextHistoryWindow;
class TransparencyGridView;
class VoiceAnnotation;
class VoiceFeedbackView;

namespace detail {
struct CaptureStart;
struct EditorViews;
}

class EditorController final : public QObject {
    Q_OBJECT
public:
    // The segments of the mode control.
    enum Segment : int { voiceSegment = 0, textSegment = 1, selectSegment = 2, mosaicSegment = 3 };
    static constexpr std::chrono::milliseconds reconciliationDelay{45};
    // The grain pop-up's items, in order; the tag is the grain in pixels.
    static constexpr int grainTags[] = {12, 24, 40, 64};

    struct Services {
        std::shared_ptr<Platform::Pasteboard> pasteboard; // the general pasteboard
        std::shared_ptr<Platform::FilePanels> filePanels;
        std::shared_ptr<Platform::AlertPresenter> alerts;
        std::shared_ptr<Platform::PointerSource> pointer;
        std::shared_ptr<Platform::ScreenSource> screens;        // the capture's screens
        std::shared_ptr<Platform::SharingServices> sharingServices;
        std::shared_ptr<VoiceAnnotation> voice;                // none: voice mode prepares nothing
        std::optional<QString> recentDirectory;                // the recent shots' folder
        // Where the AI key is kept (the process's store) and the polishing requests' connection
        // (the application's session).
        std::shared_ptr<Tellumo::AIKeyStore> keyStore;
        std::shared_ptr<Tellumo::PolishingSession> polishingSession;
    };

    explicit EditorController(Services services = {}, QObject *parent = nullptr);
    ~EditorController() override;

    // ---- what the other parts of the editor and the verification runs read and set ----------

    ShotDocument *document() const { return m_document; }
    // Null while no voice engine is installed.
    VoiceAnnotation *voice() const { return m_voice.get(); }
    HoldOverlay *overlay() const;
    TransparencyGridView *transparencySurround() const;
    RegionCapture *capture() const { return m_capture; }
    VoiceFeedbackView *voiceFeedback() const;
    RecentShots *recent() const { return m_recent; }
    RecentShotsWindow *recentWindow() const { return m_recentWindow; }
    SharePresenter *sharing() const { return m_sharing; }
    KivaroButton *shareButton() const;
    CompactStatusLabel *status() const;
    EditorDockView *dock() const;
    TransparencyGridView *canvasHost() const;
    InlineCaptureEditor *inlineEditor() const { return m_inlineEditor; }
    NativeAppAppearance::NativePopupButton *mosaicGrainControl() const;
    KivaroModes *mode() const;
    AnnotationFloatingPanel *annotationPanel() const { return m_annotationPanel; }
    CapturePermissionPanel *capturePermissionPanel() const { return m_capturePermissionPanel; }
    LinkedBubbleInteraction *linkedInteraction() const { return m_linkedInteraction; }
    // The bridge to polishing and the AI settings window; made with the controller.
    IntegratedTellumo *tellumo() const { return m_tellumo; }
    // The recognised-text history in "OCR" under the recent-shots folder, made on first use.
    RecognizedTextHistory &textHistory();
    TextHistoryWindow *textHistoryWindow() const { return m_textHistoryWindow; }
    Platform::Pasteboard &pasteboard() const { return *m_services.pasteboard; }
    Platform::PointerSource &pointer() const { return *m_services.pointer; }

    // The root view (the window's content) and the editor window.
    CanvasBackgroundView *view() const;
    KivaroWindow *window() const;
    // The gap between the canvas host's bottom and the dock's top: 98 in voice mode (room for
    // the voice panel), 26 otherwise.
    int canvasBottomGap() const { return m_canvasBottomGap; }

    int localeIndex() const { return m_localeIndex; }
    bool voiceReady() const { return m_voiceReady; }
    void setVoiceReady(bool ready) { m_voiceReady = ready; }
    const QColor &drawingColor() const { return m_drawingColor; }
    void setDrawingColor(const QColor &color) { m_drawingColor = color; }
    const std::optional<qreal> &drawingWidth() const { return m_drawingWidth; }
    void setDrawingWidth(std::optional<qreal> width) { m_drawingWidth = width; }
    // The armed tool; only ever set while the select-and-edit segment is selected.
    const std::optional<DrawingTool> &activeDrawingTool() const { return m_activeDrawingTool; }
    void setActiveDrawingTool(std::optional<DrawingTool> tool) { m_activeDrawingTool = tool; }
    // Image point of the voice gesture in progress.
    const std::optional<QPointF> &anchor() const { return m_anchor; }
    bool busy() const { return m_busy; }
    bool retargeting() const { return m_retargeting; }
    const std::optional<AnnotationLink> &retargetLink() const { return m_retargetLink; }
    const Platform::TaskHandle<void> &reconciliationTask() const { return m_reconciliationTask; }
    const Platform::TaskHandle<void> &captureTask() const { return m_captureTask; }
    const Platform::TaskHandle<void> &voiceTask() const { return m_voiceTask; }
    int voiceGeneration() const { return m_voiceGeneration; }
    const std::optional<QPointF> &failedVoiceAnchor() const { return m_failedVoiceAnchor; }
    void setFailedVoiceAnchor(std::optional<QPointF> anchor) { m_failedVoiceAnchor = anchor; }
    // Set by the shell when the application quits: a close request is then granted at once.
    bool allowsClose() const { return m_allowsClose; }
    void setAllowsClose(bool allows) { m_allowsClose = allows; }

    // The application delegate; null (the default) when there is no shell.
    EditorShell *shell() const { return m_shell; }
    void setShell(EditorShell *shell) { m_shell = shell; }

    // ---- state, modes and errors --------------------------------------------------------------

    // Stores the flag and applies what it enables: the canvas's editability, the share button,
    // the mode control and the grain control.
    void setBusy(bool busy);
    // Busy on behalf of voice work: only what voice work set busy may be cleared by cancelling it.
    void setVoiceBusy(bool busy);
    // Applies the selected segment, the armed tool and a pending re-pointing to the canvas, the
    // overlay, the controls, the voice panel and the status line.
    void updateMode();
    // Hides the dock, the canvas and the overlay while there is no image.
    void updateCanvasVisibility();
    // The window title (the file's name, or "Kivaro") and its edited mark.
    void updateTitle();
    // Reports an error in the status line; when the editor window is not visible, brings the
    // editor forward, or with no image shows the message in the settings window.
    void show(std::exception_ptr error);
    // The mode control's action.
    void modeChanged();
    // Escape in the editor.
    void cancelOperation();
    // After the root view was laid out.
    void viewDidLayout();
    // The "适应窗口" command.
    void fit();
    // A close request of the editor window (or the inline window). Refuses while busy; otherwise
    // writes the shot to the recent shots and then hides the window, and answers false: the
    // window is hidden shortly afterwards, not at once. When that write fails the window stays
    // with the error, once per shot: a further request hides it all the same (the shot stays
    // loaded), until a write succeeds or another shot is loaded.
    bool windowShouldClose(QWidget *window);
    // Schedules the consistency pass after a markup edit (EditorReconciliation.cpp).
    void nativeMarkupChanged();

    // ---- document actions ----------------------------------------------------------------------

    void openImage();
    void loadSample();
    void saveProject();
    void exportPNG();
    // Copies the shot as PNG to the general pasteboard, archives it and hides the editor.
    void copyImage();
    // Renders the shot as full-size PNG and puts exactly those bytes on `to` in one write,
    // returning them. A refused write throws ShotError "剪贴板写入失败。" and leaves the
    // pasteboard's old contents as they were.
    Platform::Task<QByteArray> copy(std::shared_ptr<Platform::Pasteboard> to);
    // The grain pop-up's action.
    void changeMosaicGrain();
    // The voice panel's language pop-up's action.
    void changeVoiceLanguageControl();
    // The More menu's language items (the tag is the item's language index).
    void selectSpeechLanguage(int tag);
    // Starts re-pointing the selected linked annotation's arrow.
    void retarget();
    void deleteAnnotation();
    // A privacy mask over a rectangle of the overlay (its coordinates).
    void addMask(QRectF viewRect);

    // ---- the More menu -------------------------------------------------------------------------

    // Builds the menu and shows it anchored at `sender`; nothing while busy.
    void showMore(QWidget *sender);
    // The menu the last showMore built (kept until the next one).
    QMenu *moreMenu() const;

    // ---- the editor window, replacing the shot, sharing ----------------------------------------

    // Brings the editor window forward; with no image, the settings window instead.
    void showEditor();
    // Archives the open shot to the recent shots, then runs `replacement`, which replaces the
    // document (throwing on failure). With `historyID` the recent shot of that identity goes on;
    // without, a new one starts. Nothing while busy.
    void replaceAfterArchiving(std::optional<QString> historyID, std::function<void()> replacement);
    // Shares the shot as "Kivaro.png" from `sender` (the share button when null).
    void shareImage(QWidget *sender = nullptr);
    // Shares a recent shot's rendering as "Kivaro.png" from `anchor` without opening it: the
    // open shot is not touched. Nothing while busy.
    void shareShot(const RecentShot &shot, QWidget *anchor);
    // The common step of both: sets busy, awaits `exportPNG`, writes the bytes as "Kivaro.png"
    // into a private share folder and shows the share menu at `anchor`; busy ends once the file
    // is ready, and the menu's outcome (an error) is shown when it arrives. The caller checked
    // that the editor is idle.
    void sharePNG(QWidget *anchor, std::function<Platform::Task<QByteArray>()> exportPNG);

    // ---- captures (EditorCaptureActions.cpp) ---------------------------------------------------

    // Starts one capture: nothing while busy or while a capture runs. A missing mode is window
    // selection; a missing `optionHeld` is whether Option is down when the selection starts.
    void captureRegion(CaptureIntent intent, std::optional<CaptureSelectionMode> mode = std::nullopt,
                       std::optional<bool> optionHeld = std::nullopt);
    // The hot keys' and menus' actions: the stored intent with window or region selection.
    void captureWithShortcutAction();
    void captureRegionWithShortcutAction();
    // An image capture in window selection.
    void startCapture();
    // The "录屏权限…" menu item.
    void showCapturePermission();
    // Archives the open shot and opens the recent-shots window.
    void showRecent();
    // The last stage of an image capture, after the image was loaded: copies, archives and opens
    // the inline editor over `placement` (or the editor window) as the preferences say.
    Platform::Task<void> finishImageCapture(CaptureCompletionPreferences preferences,
                                            std::shared_ptr<Platform::Pasteboard> pasteboard,
                                            std::optional<CapturePlacement> placement);

    // The inline editor's way out (its exit button, Escape, Ctrl+W, the window manager's close):
    // ends a voice gesture in progress, then asks `windowShouldClose` with the inline window.
    void exitInlineCapture();
    // Places the canvas host at `frame` (its parent's coordinates) with the canvas, the surround
    // and the overlay filling it; the rounded corners only in the editor window.
    void layoutCanvasHost(const QRect &frame, bool roundedCorners);

    // What a text capture does once its image is loaded: `copyRecognizedText` unless a test
    // installs something else.
    std::function<Platform::Task<void>(bool polish, std::shared_ptr<Platform::Pasteboard> to)> textRecognition;

    // ---- text recognition (EditorTextActions.cpp) ----------------------------------------------

    // The More menu's "识字并复制" and "识字并 AI 润色": nothing while busy or without an image;
    // on success the inline editor is dismissed and the editor window hidden, on failure both
    // stay with the error.
    void recognizeImageText();
    void recognizePolishedText();
    // Text captures: `captureRegion` with the intent "text" or "polishedText".
    void captureText();
    void capturePolishedText();
    void showTellumoSettings();
    // Recognises the shot's text with every privacy mask blacked out, polishes it when asked,
    // writes it to `to` as plain text and appends it to the history. Nothing recognised, a
    // failed recognition or polishing, and a refused write leave `to` as it was. A history that
    // cannot be written throws "文字已复制，但识字记录保存失败：…" with the text on `to`; a
    // history that stored the entry but could not drop the oldest ones does not fail the copy:
    // `textHistoryNotice()` says so until the next copy.
    Platform::Task<void> copyRecognizedText(bool polish, std::shared_ptr<Platform::Pasteboard> to);
    // The shot's recognised text, never empty (throws "未识别到文字，原剪贴板已保留。").
    Platform::Task<QString> recognizedText();
    // What the last copy has to add to its success text (a history that could not be pruned);
    // empty when nothing.
    const QString &textHistoryNotice() const { return m_textHistoryNotice; }
    // The "识字记录…" window with the history's records, each shareable; nothing while busy.
    void showTextHistory();
    // Shares `record`'s text as "Kivaro-OCR.txt" from `anchor`; nothing while busy.
    void shareText(const RecognizedTextRecord &record, QWidget *anchor);

    // ---- drawing (EditorDrawingActions.cpp) ----------------------------------------------------

    // The overlay's finished shape drag, in overlay coordinates: one element of the armed tool.
    void completeDrawing(QPointF from, QPointF to);
    // The overlay's finished pen stroke, in overlay coordinates.
    void completeFreehand(const QList<QPointF> &points);
    // A tool button: arms the tool of raw value `raw` (none outside 4...9) in select-and-edit
    // and reopens the tool panel.
    void chooseTool(int raw);
    // The dock's "标注工具" button: closes the open panel, or opens the tool panel.
    void showMarkupTools();
    // A new colour-and-width row wired to the editor; the caller owns it.
    QWidget *drawingStyleView();
    // The floating panel as a text panel at an image point: a new note, or `link`'s text.
    void showTextEditor(QPointF imagePoint, std::optional<AnnotationLink> link = std::nullopt);
    // The floating panel as the tool panel.
    void showFloatingTools();
    // Where the floating panel belongs, in global coordinates; none without a host window or
    // before the canvas is laid out.
    std::optional<QPointF> floatingPanelPosition() const;
    // The window the floating panel floats over: the inline capture window while it is shown,
    // else the editor window.
    QWidget *panelHost() const;

    // ---- the press on the canvas and voice work (EditorVoiceActions.cpp) -----------------------

    // The overlay's press, in overlay coordinates: remembers the image point for `end()`.
    void begin(QPointF viewPoint);
    // The overlay's release in voice, text or re-pointing use: re-points the arrow, or opens the
    // text panel at the point.
    void end();
    // Adds `text` as a linked note at an image point (throws the document's ShotError).
    void annotate(const QString &text, QPointF imagePoint);

    // Ends a voice gesture, a running voice task or a failed note, or a pending re-pointing.
    void cancelVoice();
    // The voice panel's cancel button.
    void cancelVoiceAction() { cancelVoice(); }
    // The voice panel's retry button: transcribes the kept recording again (prepares voice
    // first when it is not ready).
    void retryVoice();
    // The voice panel's text button: types the note at the held point instead.
    void typeVoiceFallback();
    // Prepares voice for the selected language; nothing while busy or without an engine.
    void prepareVoice();
    // Leaves the current language: ends any voice work and forgets the preparation, so the next
    // note prepares the selected language first. It prepares nothing itself.
    void changeLanguage();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    friend class InlineCaptureEditor;

    // The long-action pattern: `work` runs as a task; afterwards `success` in the status line,
    // or the error shown; busy cleared last. The caller has set busy.
    void runBusy(std::function<Platform::Task<void>()> work, QString success);
    static Platform::Task<void> busyOperation(QPointer<EditorController> self, std::function<Platform::Task<void>()> work,
                                              QString success);

    void loadView();
    void installCallbacks();
    void layoutView();
    void placeVoicePanel();
    void documentDidChange();
    void selectGrainItem();
    QRectF surroundExclusion() const;
    void hideWindow(QWidget *window);
    // Whether the user has been shown that the open shot's session cannot be archived.
    bool archiveFailureShown() const;
    // Whether an action that archives the open shot before leaving it (a capture, an open, the
    // recent shots, a copy, a close) goes on after that write failed with `error` (not a
    // cancellation). The session's first failure stops it, the caller shows the error, and the
    // session is marked; later requests of the session go on, the error said again in the status
    // line, so a shot that cannot be archived never blocks the next capture or open.
    bool goesOnUnarchived(const std::exception_ptr &error);
    // A recent-shots write failed on its own (a debounced write).
    void scheduledWriteFailed(std::exception_ptr error);
    // Shows the shell's settings window (made first when missing); null without one.
    ShortcutSettingsController *presentSettingsWindow();

    // Writes the open shot to the recent shots; the error, or null when it was written.
    static Platform::Task<std::exception_ptr> archiving(QPointer<EditorController> self);
    // archiving() for an action that goes on unless goesOnUnarchived() stops it: throws the
    // write's error then (and CancellationError when the editor is gone).
    static Platform::Task<void> archived(QPointer<EditorController> self);
    static Platform::Task<void> reconciling(QPointer<EditorController> self);
    static Platform::Task<void> closing(QPointer<EditorController> self, QPointer<QWidget> window);
    static Platform::Task<void> opening(QPointer<EditorController> self);
    static Platform::Task<void> savingProject(QPointer<EditorController> self);
    static Platform::Task<void> exporting(QPointer<EditorController> self);
    static Platform::Task<void> copying(QPointer<EditorController> self);
    static Platform::Task<QByteArray> copyingTo(QPointer<EditorController> self, std::shared_ptr<Platform::Pasteboard> to);
    static Platform::Task<void> replacing(QPointer<EditorController> self, std::optional<QString> historyID,
                                          std::function<void()> replacement);
    static Platform::Task<void> capturing(QPointer<EditorController> self, CaptureIntent intent,
                                          std::optional<CaptureSelectionMode> mode, std::optional<bool> optionHeld,
                                          detail::CaptureStart start);
    static Platform::Task<void> finishing(QPointer<EditorController> self, CaptureCompletionPreferences preferences,
                                          std::shared_ptr<Platform::Pasteboard> pasteboard, std::optional<CapturePlacement> placement);
    // Brings back what was shown before a capture that ended without a new shot.
    void restoreView(const detail::CaptureStart &start);
    static Platform::Task<void> showingRecent(QPointer<EditorController> self);
    static Platform::Task<void> sharing(QPointer<EditorController> self, QPointer<QWidget> anchor,
                                       std::function<Platform::Task<QByteArray>()> exportPNG);
    static Platform::Task<void> preparingVoice(QPointer<EditorController> self, int generation);
    // Starts recording at the press in voice mode (the rest of begin()).
    void beginVoice();
    // Finishes (or, with `retry`, transcribes again) the note held at `point` and adds it.
    static Platform::Task<void> transcribingVoice(QPointer<EditorController> self, int generation, QPointF point, bool retry);
    void presentVoiceFailure(std::exception_ptr error, bool canRetry);
    static bool canWriteChosenFile(QPointer<EditorController> self);
    void startRecognition(bool polish);
    static Platform::Task<void> recognizing(QPointer<EditorController> self, bool polish);
    static Platform::Task<void> copyingRecognizedText(QPointer<EditorController> self, bool polish,
                                                      std::shared_ptr<Platform::Pasteboard> to);
    static Platform::Task<QString> recognizingText(QPointer<EditorController> self);
    // The success text of a copy of recognised text, with the history's notice when it has one.
    QString recognizedTextStatus(const QString &success) const;
    // Asks before a save or an export replaces an existing file; true to go on.
    static Platform::Task<bool> confirmReplacing(QPointer<EditorController> self, QString path);

    Services m_services;
    ShotDocument *m_document;
    std::shared_ptr<VoiceAnnotation> m_voice;
    RegionCapture *m_capture;
    RecentShots *m_recent;
    RecentShotsWindow *m_recentWindow;
    SharePresenter *m_sharing;
    InlineCaptureEditor *m_inlineEditor;
    AnnotationFloatingPanel *m_annotationPanel;
    CapturePermissionPanel *m_capturePermissionPanel;
    IntegratedTellumo *m_tellumo;
    std::optional<RecognizedTextHistory> m_textHistory;
    TextHistoryWindow *m_textHistoryWindow;
    QString m_textHistoryNotice;
    LinkedBubbleInteraction *m_linkedInteraction = nullptr;
    QPointer<KivaroWindow> m_window;
    std::unique_ptr<detail::EditorViews> m_views;
    QPointer<QMenu> m_moreMenu;
    EditorShell *m_shell = nullptr;

    int m_canvasBottomGap = 26;
    int m_localeIndex = 0;
    bool m_voiceReady = false;
    QColor m_drawingColor;
    std::optional<qreal> m_drawingWidth;
    std::optional<DrawingTool> m_activeDrawingTool;
    std::optional<QPointF> m_anchor;
    bool m_busy = false;
    bool m_retargeting = false;
    std::optional<AnnotationLink> m_retargetLink;
    Platform::TaskHandle<void> m_reconciliationTask;
    Platform::TaskHandle<void> m_captureTask;
    Platform::TaskHandle<void> m_voiceTask;
    int m_voiceGeneration = 0;
    std::optional<QPointF> m_failedVoiceAnchor;
    // Voice work (preparing, recording, transcribing) set `busy` and has not cleared it yet.
    bool m_voiceBusy = false;
    bool m_allowsClose = false;
    // The recent-shots session (its generation) whose failure to be archived was shown to the
    // user: requests of that session that archive first then go on when the write fails again
    // (goesOnUnarchived). A completed write or another session ends it.
    std::optional<qint64> m_archiveFailureShown;
    // An error of a write that failed after the user put the editor away; shown in the status
    // line the next time the window shows.
    std::optional<QString> m_errorForNextShow;
};

} // namespace Kivaro
