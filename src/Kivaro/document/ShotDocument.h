#pragma once
// The editor's document: one picture with everything drawn on it.
//
// It owns a markup canvas (the picture and the drawn elements; its undo manager is the
// document's) and keeps beside it the bookkeeping the canvas knows nothing of: linked
// bubbles, privacy masks, numbered steps, mask-to-patch pairs, the pixelated picture and its
// grain. `state()` is the whole content as a value; every edit replaces the whole state through
// `replace()`, which registers the way back as one named undo step.
//
// Main thread only. Several documents can live side by side (the editor's, short-lived ones
// that render a stored project, verification runs); none needs a window.
//
// The canvas is created without a parent. A host that puts it on screen reparents it and only
// borrows it: the document deletes a canvas that has no parent when it goes, and outlives a
// host destroyed with its canvas (a recent-shots write may still be pending). For that it keeps
// the markup the canvas last reported (markupChanged) and, when the canvas is destroyed, puts a
// fresh parentless canvas holding it in its place; the lost canvas's undo history, selection
// and view go with it. `canvas()` may thus return another canvas after a host is gone, never
// null; while the application shuts down no canvas is made and the document is not to be used.
// Asynchronous operations end with CancellationError when the document is destroyed while
// they wait, or before a task started with a queued start first runs.

#include "Kivaro/document/DrawingTool.h"
#include "Kivaro/document/ShotState.h"

#include "Platform/Async/Task.h"
#include "Platform/Markup/MarkupCanvas.h"

#include <QFuture>
#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>

namespace Kivaro {

class ShotDocument final : public QObject {
    Q_OBJECT
public:
    explicit ShotDocument(QObject *parent = nullptr);
    ~ShotDocument() override;

    Platform::MarkupCanvas *canvas() const { return m_canvas; }

    // Called after every load, open, successful save and committed edit (see replace()).
    std::function<void()> didChange;

    const std::optional<QString> &fileURL() const { return m_fileURL; }
    void setFileURL(const std::optional<QString> &path) { m_fileURL = path; }
    const std::optional<ShotState> &savedState() const
    {
        settleMosaicBackground();
        return m_savedState;
    }
    const QList<AnnotationLink> &links() const { return m_links; }
    const QList<Platform::MarkupID<Platform::ShapeElement>> &masks() const { return m_masks; }
    const QList<NumberedStep> &steps() const { return m_steps; }
    qint64 mosaicGrain() const { return m_mosaicGrain; }
    bool isSample() const { return m_isSample; }

    // Replaces the shot with `image` as its bottom, inert picture; clears undo; no failure.
    void load(const QImage &image, bool isSample);
    ShotState state() const;
    // The canvas's markup, or an empty markup with zero bounds.
    Platform::Markup markup() const;
    // Commits `next` and registers one undo step that restores `undo`, named `action`. An edit
    // whose state would no longer save (ProjectArchive::withinLimits) is refused: ShotError,
    // nothing changes. Undo and redo pass unchecked.
    void replace(const ShotState &next, const ShotState &undo, const QString &action);
    // Shows an intermediate state of a drag: no undo step, no change notification.
    void applyGesture(const ShotState &state);
    // The selected shapes that exist and are not privacy masks, in selection order.
    QList<Platform::MarkupID<Platform::ShapeElement>> selectedDrawingIDs() const;
    bool hasImage() const;
    // Fits the whole picture with a margin of 24 into the canvas, centred.
    void fit();
    bool hasUnsavedChanges() const;

    // Opens a project (extension "kivaro", any case) or an image file. Throws ShotError,
    // FileError or Platform::MarkupDataError and then changes nothing. Only regular files are
    // read: anything else is a FileError for a project, the unreadable-image error for an image.
    // A project is read into memory once, never mapped: a file cut short meanwhile gives fewer
    // bytes and a decoding error, not a signal.
    void open(const QString &path);
    // Writes the reconciled state as a project file, atomically and through to the disk (see
    // internal/ProjectWriting.h); a failed write throws FileError and changes nothing.
    Platform::Task<void> save(QString path);
    // The project-file bytes of the reconciled state; the document is not changed.
    Platform::Task<QByteArray> archiveData();
    // PNG of the reconciled state, the largest side at most `maxDimension` pixels.
    Platform::Task<QByteArray> png(std::optional<int> maxDimension, bool forRecognition);
    // Repairs the canvas's markup after a direct edit, without an undo step; also drops the
    // side-table entries the consistency pass drops (long-gone elements, see LinkedAnnotations).
    void reconcile();

    // ---- annotations. Each edit is one undo step with its own name; a refused edit throws
    // ShotError and changes nothing. Points and rectangles are markup coordinates.

    // A text bubble for `text` (1 to 500 characters once trimmed) near `anchor`, with its arrow
    // and link. Undo "添加标注".
    void addAnnotation(const QString &text, QPointF anchor);
    // Replaces the text of `link`'s bubble; the bubble keeps its frame. Undo "修改标注文字".
    void editText(const AnnotationLink &link, const QString &text);
    // Points the link of `link`'s bubble at `point` and rebuilds its arrow. Undo "修改指向".
    void retarget(const AnnotationLink &link, QPointF point);
    // retarget() for selectedLink().
    void retargetSelected(QPointF point);
    // The first link whose bubble or arrow is selected on the canvas.
    std::optional<AnnotationLink> selectedLink() const;

    // The two mask operations do their work when the task is awaited (the picture's bitmap is
    // at hand, so they do not suspend). A privacy mask over `rect` with its pixelated patch.
    // Undo "添加隐私遮挡".
    Platform::Task<void> addMask(QRectF rect);
    // Pixelates again at `grain` (12, 24, 40 or 64; others and the current one are ignored) and
    // cuts every mask's patch again. Undo "调整马赛克颗粒".
    Platform::Task<void> setMosaicGrain(qint64 grain);

    // Deletes the selected link (bubble, arrow and link) or else the selected drawings, and the
    // steps whose markers go with them. Undo "删除标注".
    void deleteSelectedAnnotation();

    // ---- drawing (ShotDocumentDrawing.cpp). A drag or stroke too short to draw is refused
    // silently; one the project file could no longer hold throws ShotError (see replace()).

    // One element for `tool` dragged from `from` to `to`, then selected. The step tool places a
    // step marker at `to`; the others clamp both points into the canvas and refuse a drag
    // shorter than 6 (and a rectangle or ellipse narrower or lower than 6). No colour means the
    // accent, no width the tool's default. Undo named after the tool. Its identity, or none.
    std::optional<Platform::MarkupID<Platform::ShapeElement>> addDrawing(DrawingTool tool, QPointF from, QPointF to,
                                                                         std::optional<QColor> color, std::optional<double> width);
    // A pen stroke through `points` as given (at least two); the selection stays. Undo "画笔".
    void addFreehand(const QList<QPointF> &points, const QColor &color, double width);

    // The number the next step marker shows.
    qint64 nextStepNumber() const;
    // A step marker at `point`, then selected; none (and no undo step) when the point is outside
    // the canvas or the canvas is smaller than the marker. Undo "数字步骤".
    std::optional<Platform::MarkupID<Platform::ShapeElement>> addNumberedStep(QPointF point);

private:
    static Platform::Task<void> saving(QPointer<ShotDocument> self, QString path);
    static Platform::Task<QByteArray> archiving(QPointer<ShotDocument> self);
    void addMaskNow(const QRectF &rect);
    void setMosaicGrainNow(qint64 grain);

    // Takes the mosaic background a load is making on a worker, waiting for it if need be.
    void settleMosaicBackground() const;
    // state() without waiting: the background is none while it is being made.
    ShotState unsettledState() const;

    void adoptCanvas(Platform::MarkupCanvas *canvas);
    void copySideTables(const ShotState &state);
    void setCanvasMarkup(const Platform::Markup &markup);

    QPointer<Platform::MarkupCanvas> m_canvas;
    std::optional<Platform::Markup> m_canvasMarkup; // the canvas's markup as it last reported it
    std::optional<QString> m_fileURL;
    // Both wait for a pending background (settleMosaicBackground) before they are read.
    mutable std::optional<ShotState> m_savedState;
    mutable std::optional<QFuture<std::optional<QByteArray>>> m_pendingBackground;
    QList<AnnotationLink> m_links;
    QList<Platform::MarkupID<Platform::ShapeElement>> m_masks;
    QList<NumberedStep> m_steps;
    QList<MosaicLink> m_mosaics;
    mutable std::optional<QByteArray> m_mosaicBackground;
    qint64 m_mosaicGrain = 24;
    bool m_reconciling = false;
    bool m_isSample = false;
};

} // namespace Kivaro
