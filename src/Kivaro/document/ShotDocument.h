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
// that render a stored project, verification runs); none needs a window. The canvas is created
// without a parent: whoever puts it on screen reparents it, otherwise the document deletes it.
// Asynchronous operations end with CancellationError when the document is destroyed while
// they wait.

#include "Kivaro/document/ShotState.h"

#include "Platform/Async/Task.h"
#include "Platform/Markup/MarkupCanvas.h"

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
    const std::optional<ShotState> &savedState() const { return m_savedState; }
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
    // Commits `next` and registers one undo step that restores `undo`, named `action`.
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
    // FileError or Platform::MarkupDataError and then changes nothing.
    void open(const QString &path);
    // Writes the reconciled state as a project file, atomically.
    Platform::Task<void> save(QString path);
    // The project-file bytes of the reconciled state; the document is not changed.
    Platform::Task<QByteArray> archiveData();
    // PNG of the reconciled state, the largest side at most `maxDimension` pixels.
    Platform::Task<QByteArray> png(std::optional<int> maxDimension, bool forRecognition);
    // Repairs the canvas's markup after a direct edit, without an undo step.
    void reconcile();

private:
    void copySideTables(const ShotState &state);
    void setCanvasMarkup(const Platform::Markup &markup);

    QPointer<Platform::MarkupCanvas> m_canvas;
    std::optional<QString> m_fileURL;
    std::optional<ShotState> m_savedState;
    QList<AnnotationLink> m_links;
    QList<Platform::MarkupID<Platform::ShapeElement>> m_masks;
    QList<NumberedStep> m_steps;
    QList<MosaicLink> m_mosaics;
    std::optional<QByteArray> m_mosaicBackground;
    qint64 m_mosaicGrain = 24;
    bool m_reconciling = false;
    bool m_isSample = false;
};

} // namespace Kivaro
