#pragma once
// The elements of a markup in drawing order, lowest first, with look-up by identity.
// Implicitly shared: copying is free, the first change of a copy detaches it.

#include "Platform/Markup/MarkupElement.h"

#include <QExplicitlySharedDataPointer>
#include <QHash>
#include <QList>

namespace Platform {

class MarkupOrderedSet final {
public:
    MarkupOrderedSet();
    // Copies share the elements; there are no separate moves, so no object is ever left
    // without its (possibly empty) elements.
    MarkupOrderedSet(const MarkupOrderedSet &) = default;
    MarkupOrderedSet &operator=(const MarkupOrderedSet &) = default;

    qsizetype size() const { return d->elements.size(); }
    bool isEmpty() const { return d->elements.isEmpty(); }
    const MarkupElement &at(qsizetype i) const { return d->elements.at(i); }
    QList<MarkupElement>::const_iterator begin() const { return d->elements.cbegin(); }
    QList<MarkupElement>::const_iterator end() const { return d->elements.cend(); }
    const QList<MarkupElement> &elements() const { return d->elements; }

    // -1 when absent (also when the identity names an element of another kind).
    qsizetype indexOf(const ElementID &id) const;
    bool contains(const ElementID &id) const { return indexOf(id) >= 0; }
    const MarkupElement *element(const ElementID &id) const;
    const ShapeElement *shape(const MarkupID<ShapeElement> &id) const;
    const ImageElement *image(const MarkupID<ImageElement> &id) const;
    const StrokeElement *stroke(const MarkupID<StrokeElement> &id) const;

    // Replaces the element with the same identity in place, or appends it on top.
    void updateOrAppend(const MarkupElement &element);
    // Adds on top. An element with the same identity is removed first, so identities stay
    // unique.
    void append(const MarkupElement &element);
    // Removing an absent identity does nothing.
    void removeElement(const ElementID &id);

    friend bool operator==(const MarkupOrderedSet &a, const MarkupOrderedSet &b)
    {
        return a.d == b.d || a.d->elements == b.d->elements;
    }

private:
    struct Data : QSharedData {
        QList<MarkupElement> elements;
        QHash<QUuid, qsizetype> index;
    };
    void detach();
    QExplicitlySharedDataPointer<Data> d;
};

} // namespace Platform
