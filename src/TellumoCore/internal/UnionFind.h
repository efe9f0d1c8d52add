#pragma once
// Disjoint sets over indices 0..n-1 stored in a plain vector, for labelling pixels and grouping
// glyphs. The root of a set is always its smallest index, so a scan in index order meets a
// set's root before any other member.

#include <cstdint>
#include <vector>

namespace Tellumo::detail {

inline int32_t findRoot(int32_t *parent, int32_t i)
{
    while (parent[size_t(i)] != i) {
        parent[size_t(i)] = parent[size_t(parent[size_t(i)])]; // path halving
        i = parent[size_t(i)];
    }
    return i;
}

inline void uniteSets(int32_t *parent, int32_t a, int32_t b)
{
    a = findRoot(parent, a);
    b = findRoot(parent, b);
    if (a < b)
        parent[size_t(b)] = a;
    else if (b < a)
        parent[size_t(a)] = b;
}

inline int32_t findRoot(std::vector<int32_t> &parent, int32_t i)
{
    return findRoot(parent.data(), i);
}

inline void uniteSets(std::vector<int32_t> &parent, int32_t a, int32_t b)
{
    uniteSets(parent.data(), a, b);
}

} // namespace Tellumo::detail
