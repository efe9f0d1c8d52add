#include "Platform/Markup/MarkupOrderedSet.h"

namespace Platform {

MarkupOrderedSet::MarkupOrderedSet() : d(new Data)
{
}

void MarkupOrderedSet::detach()
{
    d.detach();
}

qsizetype MarkupOrderedSet::indexOf(const ElementID &id) const
{
    const auto it = d->index.constFind(id.uuid());
    if (it == d->index.cend() || d->elements.at(*it).kind() != id.kind())
        return -1;
    return *it;
}

const MarkupElement *MarkupOrderedSet::element(const ElementID &id) const
{
    const qsizetype i = indexOf(id);
    return i < 0 ? nullptr : &d->elements.at(i);
}

const ShapeElement *MarkupOrderedSet::shape(const MarkupID<ShapeElement> &id) const
{
    const MarkupElement *e = element(id);
    return e ? e->shape() : nullptr;
}

const ImageElement *MarkupOrderedSet::image(const MarkupID<ImageElement> &id) const
{
    const MarkupElement *e = element(id);
    return e ? e->image() : nullptr;
}

const StrokeElement *MarkupOrderedSet::stroke(const MarkupID<StrokeElement> &id) const
{
    const MarkupElement *e = element(id);
    return e ? e->stroke() : nullptr;
}

void MarkupOrderedSet::updateOrAppend(const MarkupElement &element)
{
    detach();
    const ElementID id = element.elementID();
    const auto it = d->index.constFind(id.uuid());
    if (it != d->index.cend()) {
        d->elements[*it] = element;
        return;
    }
    d->index.insert(id.uuid(), d->elements.size());
    d->elements.append(element);
}

void MarkupOrderedSet::append(const MarkupElement &element)
{
    const QUuid uuid = element.elementID().uuid();
    const auto it = d->index.constFind(uuid);
    if (it != d->index.cend())
        removeElement(ElementID(d->elements.at(*it).kind(), uuid));
    updateOrAppend(element);
}

void MarkupOrderedSet::removeElement(const ElementID &id)
{
    const qsizetype i = indexOf(id);
    if (i < 0)
        return;
    detach();
    d->elements.removeAt(i);
    d->index.remove(id.uuid());
    for (auto it = d->index.begin(); it != d->index.end(); ++it)
        if (*it > i)
            --*it;
}

} // namespace Platform
