#include "Kivaro/document/ShotState.h"

namespace Kivaro {

namespace {
bool sameBytes(const std::optional<QByteArray> &a, const std::optional<QByteArray> &b)
{
    if (a.has_value() != b.has_value())
        return false;
    if (!a)
        return true;
    // Snapshots of one document share the buffer; only foreign copies need a byte comparison.
    return (a->constData() == b->constData() && a->size() == b->size()) || *a == *b;
}
} // namespace

bool operator==(const ShotState &a, const ShotState &b)
{
    return a.markup == b.markup && a.links == b.links && a.masks == b.masks && a.mosaics == b.mosaics
           && sameBytes(a.mosaicBackground, b.mosaicBackground) && a.steps == b.steps && a.mosaicGrain == b.mosaicGrain;
}

} // namespace Kivaro
