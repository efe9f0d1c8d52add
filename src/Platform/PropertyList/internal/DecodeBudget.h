#pragma once
// What one decode may still build. Both readers take from it before they allocate, so a
// refused file costs no more than the bounds allow.

#include "Platform/PropertyList/PropertyList.h"

#include <algorithm>

namespace Platform::PropertyListCoding {

// Recursion depth of the readers is this at most, whatever a caller allows.
inline constexpr int kHardMaxDepth = 512;
inline constexpr qint64 kDefaultMinExpandedBytes = 64 * 1024 * 1024;

[[noreturn]] inline void fail(const char *what)
{
    throw PropertyListError(what);
}

class DecodeBudget {
public:
    DecodeBudget(const PropertyListLimits &limits, qsizetype inputSize)
        : m_maxDepth(std::min(limits.maxDepth, kHardMaxDepth)), m_nodes(std::max<qint64>(limits.maxNodes, 0)),
          m_bytes(limits.maxExpandedBytes >= 0 ? limits.maxExpandedBytes : std::max(4 * qint64(inputSize), kDefaultMinExpandedBytes))
    {
    }

    void enter(int depth) const
    {
        if (depth > m_maxDepth)
            fail("property list is nested too deeply");
    }
    // Taken for all elements of a container before room is made for them, so that nested
    // containers cannot each set aside the whole bound.
    void takeNodes(quint64 count)
    {
        if (count > quint64(m_nodes))
            fail("property list has too many elements");
        m_nodes -= qint64(count);
    }
    void takeBytes(quint64 count)
    {
        if (m_bytes < 0 || count > quint64(m_bytes))
            fail("property list expands beyond its size limit");
        m_bytes -= qint64(count);
    }

private:
    int m_maxDepth;
    qint64 m_nodes;
    qint64 m_bytes;
};

} // namespace Platform::PropertyListCoding
