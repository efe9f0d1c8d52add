#pragma once
// Typed element identities. A `MarkupID<ShapeElement>` can only name a shape, a
// `MarkupID<ImageElement>` only an image; `ElementID` names an element of any kind (the
// selection and the ordered set's look-ups use it). Identities are random UUIDs, written in
// files as their upper-case text without braces.

#include <QHash>
#include <QString>
#include <QUuid>

namespace Platform {

struct ShapeElement;
struct ImageElement;
struct StrokeElement;

enum class MarkupKind : quint8 { Shape, Image, Stroke };

template <typename T>
class MarkupID final {
public:
    MarkupID() = default;
    explicit MarkupID(const QUuid &uuid) : m_uuid(uuid) {}
    static MarkupID make() { return MarkupID(QUuid::createUuid()); }
    // Null when `text` is not a UUID.
    static MarkupID fromString(const QString &text) { return MarkupID(QUuid::fromString(text)); }

    const QUuid &uuid() const { return m_uuid; }
    bool isNull() const { return m_uuid.isNull(); }
    QString toString() const { return m_uuid.toString(QUuid::WithoutBraces).toUpper(); }

    friend bool operator==(const MarkupID &, const MarkupID &) = default;
    friend bool operator<(const MarkupID &a, const MarkupID &b) { return a.m_uuid < b.m_uuid; }
    friend size_t qHash(const MarkupID &id, size_t seed = 0) { return qHash(id.m_uuid, seed); }

private:
    QUuid m_uuid;
};

template <typename T>
constexpr MarkupKind markupKindOf();
template <>
constexpr MarkupKind markupKindOf<ShapeElement>() { return MarkupKind::Shape; }
template <>
constexpr MarkupKind markupKindOf<ImageElement>() { return MarkupKind::Image; }
template <>
constexpr MarkupKind markupKindOf<StrokeElement>() { return MarkupKind::Stroke; }

class ElementID final {
public:
    ElementID() = default;
    ElementID(MarkupKind kind, const QUuid &uuid) : m_kind(kind), m_uuid(uuid) {}
    template <typename T>
    ElementID(const MarkupID<T> &id) : m_kind(markupKindOf<T>()), m_uuid(id.uuid()) // NOLINT: implicit on purpose
    {
    }
    static ElementID shape(const MarkupID<ShapeElement> &id) { return ElementID(id); }
    static ElementID image(const MarkupID<ImageElement> &id) { return ElementID(id); }
    static ElementID stroke(const MarkupID<StrokeElement> &id) { return ElementID(id); }

    MarkupKind kind() const { return m_kind; }
    const QUuid &uuid() const { return m_uuid; }
    // The typed identity when this names an element of kind T, a null one otherwise.
    template <typename T>
    MarkupID<T> as() const
    {
        return m_kind == markupKindOf<T>() ? MarkupID<T>(m_uuid) : MarkupID<T>();
    }

    friend bool operator==(const ElementID &, const ElementID &) = default;
    friend size_t qHash(const ElementID &id, size_t seed = 0) { return qHash(id.m_uuid, seed) ^ size_t(id.m_kind); }

private:
    MarkupKind m_kind = MarkupKind::Shape;
    QUuid m_uuid;
};

} // namespace Platform
