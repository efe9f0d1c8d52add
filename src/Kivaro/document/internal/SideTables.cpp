#include "Kivaro/document/internal/SideTables.h"

#include "Platform/Markup/DocumentLimits.h"

#include <QSet>

#include <limits>

namespace Kivaro::SideTables {

using namespace Platform;

namespace {

// `list` without its oldest entries that are not live, beyond what `limit` and the kept
// number allow. Returns the list itself when nothing goes.
template <typename T, typename Live>
QList<T> keepRecent(const QList<T> &list, Live isLive, qsizetype limit)
{
    qsizetype live = 0;
    for (const T &entry : list)
        live += isLive(entry) ? 1 : 0;
    const qsizetype budget = qMin(kKeptDangling, qMax<qsizetype>(0, limit - live));
    qsizetype drop = list.size() - live - budget;
    if (drop <= 0)
        return list;
    QList<T> kept;
    kept.reserve(list.size() - drop);
    for (const T &entry : list) {
        if (drop > 0 && !isLive(entry)) {
            --drop;
            continue;
        }
        kept.append(entry);
    }
    return kept;
}

} // namespace

ShotState pruned(const ShotState &state)
{
    const MarkupOrderedSet &elements = state.markup.subelements();
    auto exists = [&elements](const MarkupID<ShapeElement> &id) { return elements.shape(id) != nullptr; };
    constexpr qsizetype unlimited = std::numeric_limits<qsizetype>::max();

    ShotState next = state;
    next.links = keepRecent(state.links, [&](const AnnotationLink &l) { return exists(l.bubbleID) || exists(l.arrowID); },
                            DocumentLimits::kMaxLinks);
    next.masks = keepRecent(state.masks, exists, DocumentLimits::kMaxMasks);
    if (next.masks.size() != state.masks.size() || !state.mosaics.isEmpty()) {
        const QSet<MarkupID<ShapeElement>> keptMasks(next.masks.cbegin(), next.masks.cend());
        QList<MosaicLink> mosaics;
        for (const MosaicLink &m : state.mosaics)
            if (exists(m.maskID) || keptMasks.contains(m.maskID))
                mosaics.append(m);
        if (mosaics.size() != state.mosaics.size())
            next.mosaics = mosaics;
    }
    next.steps = keepRecent(state.steps, [&](const NumberedStep &s) { return exists(s.shapeID); }, unlimited);
    return next;
}

qsizetype liveMasks(const ShotState &state)
{
    qsizetype n = 0;
    for (const auto &id : state.masks)
        n += state.markup.subelements().shape(id) ? 1 : 0;
    return n;
}

qsizetype liveLinks(const ShotState &state)
{
    qsizetype n = 0;
    for (const AnnotationLink &link : state.links)
        n += state.markup.subelements().shape(link.bubbleID) ? 1 : 0;
    return n;
}

} // namespace Kivaro::SideTables
