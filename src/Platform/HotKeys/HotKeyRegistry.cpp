#include "Platform/HotKeys/HotKeyRegistry.h"

namespace Platform {

bool HotKeyRegistry::holds(HotKeyChord chord) const
{
    return identityOf(chord).has_value();
}

std::uint64_t HotKeyRegistry::add(HotKeyChord chord, HotKeyIdentity identity)
{
    const std::uint64_t reference = m_next++;
    m_entries.append({reference, chord, identity});
    return reference;
}

std::optional<HotKeyChord> HotKeyRegistry::remove(std::uint64_t reference)
{
    for (qsizetype i = 0; i < m_entries.size(); ++i)
        if (m_entries.at(i).reference == reference) {
            const HotKeyChord chord = m_entries.at(i).chord;
            m_entries.removeAt(i);
            return chord;
        }
    return std::nullopt;
}

std::optional<HotKeyIdentity> HotKeyRegistry::identityOf(HotKeyChord chord) const
{
    for (const Entry &entry : m_entries)
        if (entry.chord == chord)
            return entry.identity;
    return std::nullopt;
}

QList<HotKeyChord> HotKeyRegistry::chords() const
{
    QList<HotKeyChord> result;
    for (const Entry &entry : m_entries)
        result.append(entry.chord);
    return result;
}

} // namespace Platform
