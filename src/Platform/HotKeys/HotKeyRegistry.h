#pragma once
// The chords this process holds, with their identities; shared by the hot-key backends so that
// both refuse a held chord the same way.

#include "Platform/HotKeys/HotKeyService.h"

#include <QList>

#include <optional>

namespace Platform {

class HotKeyRegistry final {
public:
    bool holds(HotKeyChord chord) const;
    // Returns the new entry's reference (never 0).
    std::uint64_t add(HotKeyChord chord, HotKeyIdentity identity);
    // The removed entry's chord, or nothing for an unknown reference.
    std::optional<HotKeyChord> remove(std::uint64_t reference);
    std::optional<HotKeyIdentity> identityOf(HotKeyChord chord) const;
    QList<HotKeyChord> chords() const;
    bool isEmpty() const { return m_entries.isEmpty(); }

private:
    struct Entry {
        std::uint64_t reference;
        HotKeyChord chord;
        HotKeyIdentity identity;
    };
    QList<Entry> m_entries;
    std::uint64_t m_next = 1;
};

} // namespace Platform
