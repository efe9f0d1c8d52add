#include "Kivaro/document/ShotDocument.h"

#include "Kivaro/document/FileError.h"
#include "Kivaro/document/LinkedAnnotations.h"
#include "Kivaro/document/MosaicRenderer.h"
#include "Kivaro/document/ProjectArchive.h"
#include "Kivaro/document/ShotRenderer.h"
#include "Kivaro/document/internal/ProjectWriting.h"

#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/Files/RegularFile.h"
#include "Platform/Image/ImageDecoding.h"
#include "Platform/Markup/DocumentLimits.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QScopedValueRollback>
#include <QSet>
#include <QtConcurrent/QtConcurrentRun>

namespace Kivaro {

using namespace Platform;

namespace {

constexpr double kFitMargin = 24;
constexpr int kSaveRetries = 3;

QSet<ElementID> identities(const Markup &markup)
{
    QSet<ElementID> ids;
    for (const MarkupElement &e : markup.subelements())
        ids.insert(e.elementID());
    return ids;
}

// Ends a suspended operation whose document is gone.
void ensureAlive(const QPointer<ShotDocument> &document)
{
    if (!document)
        throw CancellationError();
}

[[noreturn]] void projectTooLarge()
{
    throw ShotError::message(kivaroCopy("文件太大，请选择小于 150 MB 的图片或工程。"));
}

// A project's bytes, read into memory once: only a regular file (links followed), never
// mapped, and at most the size limit (see Platform/Files/RegularFile.h). Throws FileError, or
// ShotError for a file of the limit's size or more.
QByteArray readProject(const QString &path)
{
    FileBytes file = readRegularFile(path, DocumentLimits::kMaxFileBytes - 1, FollowLinks::Yes);
    if (file.ok())
        return std::move(file.bytes);
    switch (file.failure->kind) {
    case ReadFailure::Kind::TooLarge:
        projectTooLarge();
    case ReadFailure::Kind::NotRegularFile:
        throw FileError(path, QStringLiteral("not a regular file"));
    default:
        throw FileError(path, file.failure->description());
    }
}

} // namespace

ShotDocument::ShotDocument(QObject *parent) : QObject(parent)
{
    adoptCanvas(new MarkupCanvas);
}

ShotDocument::~ShotDocument()
{
    if (!m_canvas)
        return;
    disconnect(m_canvas, nullptr, this, nullptr);
    if (!m_canvas->parent())
        delete m_canvas.data();
}

void ShotDocument::adoptCanvas(MarkupCanvas *canvas)
{
    canvas->setMarkup(m_canvasMarkup);
    m_canvas = canvas;
    connect(canvas, &MarkupCanvas::markupChanged, this, [this, canvas] { m_canvasMarkup = canvas->markup(); });
    // Emitted from the widget's destructor: the canvas part is gone, only its address is left.
    connect(canvas, &QObject::destroyed, this, [this] {
        m_canvas = nullptr;
        if (!QCoreApplication::closingDown())
            adoptCanvas(new MarkupCanvas);
    });
}

void ShotDocument::copySideTables(const ShotState &state)
{
    m_steps = state.steps;
    m_links = state.links;
    m_masks = state.masks;
    m_mosaics = state.mosaics;
    m_pendingBackground.reset(); // the state's background, whatever a load was making
    m_mosaicBackground = state.mosaicBackground;
    m_mosaicGrain = state.mosaicGrain;
}

// The canvas records no undo of its own for a change the document makes.
void ShotDocument::setCanvasMarkup(const Markup &markup)
{
    UndoManager *undo = m_canvas->undoManager();
    undo->disableUndoRegistration();
    m_canvas->setMarkup(markup);
    undo->enableUndoRegistration();
}

void ShotDocument::load(const QImage &image, bool isSample)
{
    m_isSample = isSample;
    const int w = image.width(), h = image.height();
    Markup markup(QRectF(0, 0, w, h));
    markup.setBackgroundColor(Qt::transparent);
    ImageElement picture;
    picture.image = MarkupImage(image);
    picture.frame = QRectF(0, 0, w, h);
    picture.id = MarkupID<ImageElement>::make();
    markup.subelements().append(picture);
    // The picture's encoding starts now, on a worker, while the rest of the load runs here: the
    // copy and the archive that follow a capture both need it.
    if (!isSample && qint64(w) * h <= DocumentLimits::kMaxPixels)
        (void)QtConcurrent::run([encoded = picture.image] { (void)encoded.pngData(); });
    m_steps.clear();
    m_links.clear();
    m_masks.clear();
    m_mosaics.clear();
    // The pixelated picture is made on a worker too: a copy of the bare picture does not wait
    // for it; everything that reads the background or the state does.
    m_mosaicBackground.reset();
    m_pendingBackground = QtConcurrent::run([image, grain = m_mosaicGrain] { return MosaicRenderer::background(image, grain); });
    m_savedState = ShotState{markup, {}, {}, {}, std::nullopt, {}, m_mosaicGrain};
    m_canvas->setMarkup(markup);
    m_fileURL.reset();
    m_canvas->undoManager()->removeAllActions();
    fit();
    if (didChange)
        didChange();
}

Markup ShotDocument::markup() const
{
    return m_canvas->markup().value_or(Markup(QRectF()));
}

void ShotDocument::settleMosaicBackground() const
{
    if (!m_pendingBackground)
        return;
    const QFuture<std::optional<QByteArray>> pending = *std::exchange(m_pendingBackground, std::nullopt);
    m_mosaicBackground = pending.result();
    if (m_savedState)
        m_savedState->mosaicBackground = m_mosaicBackground;
}

ShotState ShotDocument::state() const
{
    settleMosaicBackground();
    return unsettledState();
}

// While a background is being made, both this and the saved state hold none.
ShotState ShotDocument::unsettledState() const
{
    return ShotState{markup(), m_links, m_masks, m_mosaics, m_mosaicBackground, m_steps, m_mosaicGrain};
}

void ShotDocument::replace(const ShotState &next, const ShotState &undoState, const QString &action)
{
    UndoManager *undo = m_canvas->undoManager();
    // The one check every edit passes, whichever tool made it: a shot never becomes one that no
    // longer saves. Undo and redo only return to states that passed it.
    if (!undo->isUndoing() && !undo->isRedoing() && !ProjectArchive::withinLimits(next))
        throw ShotError::message(kivaroCopy("这项修改会使截图超出工程文件的限制，未执行。"));
    const bool groupsByEvent = undo->groupsByEvent();
    bool openedGroup = false;
    if (!undo->isUndoing() && !undo->isRedoing()) {
        if (groupsByEvent && undo->groupingLevel() == 1)
            undo->endUndoGrouping();
        undo->setGroupsByEvent(false);
        undo->beginUndoGrouping();
        openedGroup = true;
    }
    QPointer<ShotDocument> self(this);
    undo->registerUndo(
        [self, undoState, next, action] {
            if (self)
                self->replace(undoState, next, action);
        },
        this);
    undo->setActionName(action);

    const QList<ElementID> selectedBefore = m_canvas->selection();
    const QSet<ElementID> before = m_canvas->markup() ? identities(*m_canvas->markup()) : QSet<ElementID>();
    copySideTables(next);
    setCanvasMarkup(next.markup);

    QList<ElementID> added;
    for (const MarkupElement &e : next.markup.subelements())
        if (e.kind() != MarkupKind::Image && !before.contains(e.elementID()))
            added.append(e.elementID());
    if ((undo->isUndoing() || undo->isRedoing()) && !added.isEmpty()) {
        m_canvas->setSelection(added);
    } else {
        QList<ElementID> surviving;
        for (const ElementID &id : selectedBefore)
            if (next.markup.subelements().contains(id))
                surviving.append(id);
        m_canvas->setSelection(surviving);
    }
    if (didChange)
        didChange();
    if (openedGroup) {
        undo->endUndoGrouping();
        undo->setGroupsByEvent(groupsByEvent);
    }
}

void ShotDocument::applyGesture(const ShotState &state)
{
    copySideTables(state);
    setCanvasMarkup(state.markup);
}

QList<MarkupID<ShapeElement>> ShotDocument::selectedDrawingIDs() const
{
    QList<MarkupID<ShapeElement>> ids;
    const Markup current = markup();
    for (const ElementID &element : m_canvas->selection()) {
        const auto id = element.as<ShapeElement>();
        if (!id.isNull() && !m_masks.contains(id) && current.subelements().shape(id) && !ids.contains(id))
            ids.append(id);
    }
    return ids;
}

bool ShotDocument::hasImage() const
{
    if (!m_canvas->markup())
        return false;
    const QRectF bounds = m_canvas->markup()->bounds();
    return bounds.width() != 0 && bounds.height() != 0;
}

void ShotDocument::fit()
{
    if (!hasImage())
        return;
    m_canvas->ensurePolished();
    const QRectF bounds = m_canvas->markup()->bounds();
    const QRectF padded = bounds.adjusted(-kFitMargin, -kFitMargin, kFitMargin, kFitMargin);
    const double w = m_canvas->width(), h = m_canvas->height();
    if (w <= 0 || h <= 0)
        return;
    const double zoom = qMin(w / padded.width(), h / padded.height());
    m_canvas->setZoomScale(zoom);
    const QSizeF visible(w / zoom, h / zoom);
    m_canvas->setContentVisibleFrame(QRectF(padded.center() - QPointF(visible.width() / 2, visible.height() / 2), visible));
}

// A background still being made is the same on both sides: the answer does not wait for it.
bool ShotDocument::hasUnsavedChanges() const
{
    return m_savedState && !(*m_savedState == unsettledState());
}

void ShotDocument::open(const QString &path)
{
    if (QFileInfo(path).suffix().toLower() == QLatin1String("kivaro")) {
        const QByteArray bytes = readProject(path);
        ShotState decoded = ProjectArchive::decode(bytes);
        decoded.markup.setBackgroundColor(Qt::transparent);
        if (!DocumentLimits::canvasFits(decoded.markup.bounds()))
            throw ShotError::message(kivaroCopy("不支持这个工程的画布尺寸。"));
        m_isSample = false;
        copySideTables(decoded);
        m_savedState = decoded;
        m_canvas->setMarkup(decoded.markup);
        m_fileURL = path;
        m_canvas->undoManager()->removeAllActions();
        fit();
        if (didChange)
            didChange();
        return;
    }
    const DecodedImage decoded = decodeImageFile(path, ImageLimits{DocumentLimits::kMaxPixels, DocumentLimits::kMaxSide});
    if (!decoded.ok())
        throw ShotError::message(kivaroCopy("无法读取图片。图片每边最多 16000 像素，总像素最多 4000 万。"));
    load(decoded.image, false);
}

// Not coroutines themselves: a task may first run after a queued start, when the document may
// be gone; the coroutines behind them hold it weakly from the call on.
Task<void> ShotDocument::save(QString path)
{
    return saving(this, std::move(path));
}

Task<QByteArray> ShotDocument::archiveData()
{
    return archiving(this);
}

Task<void> ShotDocument::saving(QPointer<ShotDocument> self, QString path)
{
    ShotState snapshot;
    QByteArray bytes;
    for (int attempt = 0;; ++attempt) {
        ensureAlive(self);
        self->reconcile();
        snapshot = self->state();
        bytes = co_await ProjectArchive::encode(snapshot);
        ensureAlive(self);
        if (snapshot == self->state())
            break;
        if (attempt == kSaveRetries)
            throw ShotError::message(kivaroCopy("标注仍在变化，请结束编辑后重新保存。"));
    }
    if (const auto error = ProjectWriting::write(path, bytes))
        throw FileError(path, *error);
    self->m_fileURL = path;
    self->m_savedState = snapshot;
    if (self->didChange)
        self->didChange();
}

Task<QByteArray> ShotDocument::archiving(QPointer<ShotDocument> self)
{
    ensureAlive(self);
    co_return co_await ProjectArchive::encode(LinkedAnnotations::reconcile(self->state()));
}

Task<QByteArray> ShotDocument::png(std::optional<int> maxDimension, bool forRecognition)
{
    // Nothing is drawn from the mosaic background without masks: a fresh capture's picture is
    // not held up while the background is still being made.
    if (m_masks.isEmpty() && m_mosaics.isEmpty())
        return ShotRenderer::png(LinkedAnnotations::reconcile(unsettledState()), maxDimension, forRecognition);
    return ShotRenderer::png(LinkedAnnotations::reconcile(state()), maxDimension, forRecognition);
}

void ShotDocument::reconcile()
{
    if (m_reconciling)
        return;
    const QScopedValueRollback<bool> guard(m_reconciling, true);
    const ShotState next = LinkedAnnotations::reconcile(state());
    const bool markupChanged = !(next.markup == markup());
    // The pass changes only the markup and, when entries of long-gone elements are dropped,
    // the side tables; the background and the grain stay.
    const bool tablesChanged = next.links != m_links || next.masks != m_masks || next.mosaics != m_mosaics || next.steps != m_steps;
    if (tablesChanged) {
        m_links = next.links;
        m_masks = next.masks;
        m_mosaics = next.mosaics;
        m_steps = next.steps;
    }
    if (markupChanged) {
        const QList<ElementID> selected = m_canvas->selection();
        setCanvasMarkup(next.markup);
        m_canvas->setSelection(selected);
    }
    if ((markupChanged || tablesChanged) && didChange)
        didChange();
}

} // namespace Kivaro
