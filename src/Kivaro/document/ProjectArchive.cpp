#include "Kivaro/document/ProjectArchive.h"

#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/Markup/DocumentLimits.h"
#include "Platform/PropertyList/PropertyList.h"

#include <QBuffer>
#include <QImageReader>
#include <QtConcurrent/QtConcurrentRun>

#include <cmath>
#include <exception>

namespace Kivaro::ProjectArchive {

using namespace Platform;
using namespace Platform::DocumentLimits;

namespace {

// A record that does not have the archive's shape: the bytes are then read as bare markup.
struct NotAnArchive {};

template <typename T>
QString idText(const MarkupID<T> &id)
{
    return id.toString();
}

QVariantList encodeLinks(const QList<AnnotationLink> &links)
{
    QVariantList list;
    for (const AnnotationLink &l : links)
        list << QVariantMap{{QStringLiteral("bubbleID"), idText(l.bubbleID)},
                            {QStringLiteral("arrowID"), idText(l.arrowID)},
                            {QStringLiteral("anchor"), QVariantList{l.anchor.x(), l.anchor.y()}}};
    return list;
}

// ---- strict reading of the record --------------------------------------------------------

const QVariant &need(const QVariantMap &map, const char *key)
{
    const auto it = map.constFind(QLatin1String(key));
    if (it == map.cend())
        throw NotAnArchive{};
    return *it;
}

QVariantList list(const QVariant &v)
{
    if (v.typeId() != QMetaType::QVariantList)
        throw NotAnArchive{};
    return v.toList();
}

QVariantMap dictionary(const QVariant &v)
{
    if (v.typeId() != QMetaType::QVariantMap)
        throw NotAnArchive{};
    return v.toMap();
}

qint64 integer(const QVariant &v)
{
    if (v.typeId() != QMetaType::LongLong)
        throw NotAnArchive{};
    return v.toLongLong();
}

double real(const QVariant &v)
{
    if (v.typeId() != QMetaType::Double && v.typeId() != QMetaType::LongLong)
        throw NotAnArchive{};
    const double d = v.toDouble();
    if (!std::isfinite(d))
        throw NotAnArchive{};
    return d;
}

template <typename T>
MarkupID<T> identity(const QVariant &v)
{
    if (v.typeId() != QMetaType::QString)
        throw NotAnArchive{};
    const MarkupID<T> id = MarkupID<T>::fromString(v.toString());
    if (id.isNull())
        throw NotAnArchive{};
    return id;
}

struct Record {
    QString format;
    qint64 version = 0;
    QByteArray markupData;
    QList<AnnotationLink> links;
    QList<MarkupID<ShapeElement>> masks;
    QList<MosaicLink> mosaics;
    std::optional<QByteArray> mosaicBackground;
    std::optional<qint64> mosaicGrain;
    QList<NumberedStep> steps;
};

[[noreturn]] void unsupported()
{
    throw ShotError::message(kivaroCopy("工程格式不受支持，请更新应用后重试。"));
}

// A side table's entries, refused by their number before any entry is read.
QVariantList table(const QVariant &v, qsizetype limit)
{
    const QVariantList entries = list(v);
    if (entries.size() > limit)
        unsupported();
    return entries;
}

Record readRecord(const QVariant &root)
{
    const QVariantMap map = dictionary(root);
    Record r;
    const QVariant &format = need(map, "format");
    if (format.typeId() != QMetaType::QString)
        throw NotAnArchive{};
    r.format = format.toString();
    r.version = integer(need(map, "version"));
    const QVariant &markup = need(map, "markupData");
    if (markup.typeId() != QMetaType::QByteArray)
        throw NotAnArchive{};
    r.markupData = markup.toByteArray();
    for (const QVariant &v : table(need(map, "links"), kMaxLinks)) {
        const QVariantMap l = dictionary(v);
        const QVariantList anchor = list(need(l, "anchor"));
        if (anchor.size() != 2)
            throw NotAnArchive{};
        const QPointF point(real(anchor[0]), real(anchor[1]));
        if (std::abs(point.x()) > MarkupDataLimits().maxCoordinate || std::abs(point.y()) > MarkupDataLimits().maxCoordinate)
            throw NotAnArchive{};
        r.links.append(AnnotationLink{identity<ShapeElement>(need(l, "bubbleID")), identity<ShapeElement>(need(l, "arrowID")), point});
    }
    for (const QVariant &v : table(need(map, "masks"), kMaxMasks))
        r.masks.append(identity<ShapeElement>(v));
    if (map.contains(QStringLiteral("mosaics"))) {
        for (const QVariant &v : table(map.value(QStringLiteral("mosaics")), kMaxMosaics)) {
            const QVariantMap m = dictionary(v);
            r.mosaics.append(MosaicLink{identity<ShapeElement>(need(m, "maskID")), identity<ImageElement>(need(m, "imageID"))});
        }
    }
    if (map.contains(QStringLiteral("mosaicBackground"))) {
        const QVariant &v = map[QStringLiteral("mosaicBackground")];
        if (v.typeId() != QMetaType::QByteArray)
            throw NotAnArchive{};
        r.mosaicBackground = v.toByteArray();
    }
    if (map.contains(QStringLiteral("mosaicGrain")))
        r.mosaicGrain = integer(map.value(QStringLiteral("mosaicGrain")));
    if (map.contains(QStringLiteral("steps"))) {
        for (const QVariant &v : table(map.value(QStringLiteral("steps")), kMaxSteps)) {
            const QVariantMap s = dictionary(v);
            r.steps.append(NumberedStep{identity<ShapeElement>(need(s, "shapeID")), integer(need(s, "number"))});
        }
    }
    return r;
}

// Checks the background's pixel size from its header, without decoding a pixel.
bool backgroundWithinLimits(const QByteArray &png)
{
    QBuffer buffer;
    buffer.setData(png);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    const QSize size = reader.size();
    // An unreadable background is kept: it only yields no patches, as a missing one does.
    if (!size.isValid())
        return true;
    return size.width() <= kMaxSide && size.height() <= kMaxSide && qint64(size.width()) * size.height() <= kMaxPixels;
}

// ---- writing ------------------------------------------------------------------------------

[[noreturn]] void unwritable()
{
    throw ShotError::message(kivaroCopy("这张截图超出了工程文件的限制，无法保存。"));
}

} // namespace

bool withinLimits(const ShotState &state)
{
    const MarkupDataLimits limits;
    if (state.links.size() > kMaxLinks || state.masks.size() > kMaxMasks || state.mosaics.size() > kMaxMosaics
        || state.steps.size() > kMaxSteps || state.mosaicGrain < kMinGrain || state.mosaicGrain > kMaxGrain
        || state.markup.subelements().size() > limits.maxElements || !canvasFits(state.markup.bounds()))
        return false;
    qint64 pixels = 0;
    qsizetype text = 0;
    for (const MarkupElement &element : state.markup.subelements()) {
        // An arrow rebuilt towards a far-away anchor can leave the coordinates the reader takes.
        const QRectF frame = element.frame();
        for (const double value : {frame.x(), frame.y(), frame.width(), frame.height()}) {
            if (!std::isfinite(value) || std::abs(value) > limits.maxCoordinate)
                return false;
        }
        if (const ShapeElement *shape = element.shape()) {
            const qsizetype length = shape->attributedText.length();
            if (length > limits.maxTextLength)
                return false;
            text += length;
        } else if (const ImageElement *image = element.image()) {
            const QSize size = image->image.size();
            const qint64 area = qint64(size.width()) * size.height();
            if (size.width() > limits.maxImageSide || size.height() > limits.maxImageSide || area > limits.maxImagePixels)
                return false;
            pixels += area;
        }
    }
    return pixels <= limits.maxTotalImagePixels && text <= limits.maxTotalTextLength;
}

namespace {

// The writer never writes what the reader or opening refuses. Runs on the main thread: the
// string lookup is not thread-safe.
void checkWritable(const ShotState &state)
{
    if (!withinLimits(state))
        unwritable();
}

QByteArray checkedSize(const QByteArray &bytes)
{
    if (bytes.size() >= kMaxFileBytes)
        unwritable();
    return bytes;
}

QByteArray encodeRecord(const ShotState &state)
{
    QVariantList masks, mosaics, steps;
    for (const auto &m : state.masks)
        masks << idText(m);
    for (const MosaicLink &m : state.mosaics)
        mosaics << QVariantMap{{QStringLiteral("maskID"), idText(m.maskID)}, {QStringLiteral("imageID"), idText(m.imageID)}};
    for (const NumberedStep &s : state.steps)
        steps << QVariantMap{{QStringLiteral("shapeID"), idText(s.shapeID)}, {QStringLiteral("number"), s.number}};
    QVariantMap root{{QStringLiteral("format"), QStringLiteral("Kivaro")},
                     {QStringLiteral("version"), qint64(2)},
                     {QStringLiteral("markupData"), state.markup.dataRepresentation()},
                     {QStringLiteral("links"), encodeLinks(state.links)},
                     {QStringLiteral("masks"), masks},
                     {QStringLiteral("mosaics"), mosaics},
                     {QStringLiteral("mosaicGrain"), state.mosaicGrain},
                     {QStringLiteral("steps"), steps}};
    if (state.mosaicBackground)
        root.insert(QStringLiteral("mosaicBackground"), *state.mosaicBackground);
    return encodePropertyList(root);
}

} // namespace

QByteArray encodeNow(const ShotState &state)
{
    checkWritable(state);
    return checkedSize(encodeRecord(state));
}

namespace {

struct Encoding {
    QByteArray bytes;
    std::exception_ptr error;
};

Task<QByteArray> awaitEncoding(QFuture<Encoding> running)
{
    const Encoding result = co_await Platform::future(running);
    if (result.error)
        std::rethrow_exception(result.error);
    co_return checkedSize(result.bytes);
}

Task<QByteArray> refused(std::exception_ptr error)
{
    std::rethrow_exception(error);
    co_return QByteArray();
}

} // namespace

// Not a coroutine itself: the state is handed to the worker here, so no coroutine frame holds
// a copy of it, and the work starts at once rather than when the task is first awaited.
Task<QByteArray> encode(ShotState state)
{
    try {
        checkWritable(state);
    } catch (...) {
        return refused(std::current_exception());
    }
    // QtConcurrent passes on only QException errors; carry any other across by hand.
    return awaitEncoding(QtConcurrent::run([state = std::move(state)] {
        Encoding r;
        try {
            r.bytes = encodeRecord(state);
        } catch (...) {
            r.error = std::current_exception();
        }
        return r;
    }));
}

// The bytes are decoded as a property list once, within the bounds of bare markup (the record
// nests less deeply and holds far fewer nodes). What is not a property list is not markup
// either; a property list without the record's shape is read as bare markup from the same
// decoded tree. A table over its limit is refused before its entries are read.
ShotState decode(const QByteArray &bytes)
{
    const MarkupDataLimits limits;
    const QVariant root = Markup::parseDataRepresentation(bytes, limits);
    std::optional<Record> record;
    try {
        record = readRecord(root);
    } catch (const NotAnArchive &) {
    }
    if (!record) {
        ShotState state;
        state.markup = Markup::fromParsedRepresentation(root, limits);
        return state;
    }
    if (record->format != QLatin1String("Kivaro") || (record->version != 1 && record->version != 2))
        unsupported();
    const qint64 grain = record->mosaicGrain.value_or(24);
    if (grain < kMinGrain || grain > kMaxGrain)
        unsupported();
    if (record->mosaicBackground && !backgroundWithinLimits(*record->mosaicBackground))
        unsupported();
    ShotState state;
    state.markup = Markup::fromDataRepresentation(record->markupData);
    state.links = std::move(record->links);
    state.masks = std::move(record->masks);
    state.mosaics = std::move(record->mosaics);
    state.mosaicBackground = std::move(record->mosaicBackground);
    state.steps = std::move(record->steps);
    state.mosaicGrain = grain;
    return state;
}

} // namespace Kivaro::ProjectArchive
