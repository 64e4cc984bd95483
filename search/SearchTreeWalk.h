#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <unordered_set>
#include <vector>

// The nodes of one walk through a tree in a search file. In a sound tree
// every node has one parent, so a walk meets each node at most once; a node
// met again means a cycle (an offset pointing back into its own path) or a
// shared subtree, and its branch is not followed. This bounds every walk by
// the number of offsets in the file, however the file is damaged.
class CTreeWalkVisits
{
public:
    // False when the node was already visited in this walk.
    bool Enter(std::uint32_t nOffset)
    {
        if (m_large.empty())
        {
            if (std::find(m_small.begin(), m_small.end(), nOffset) != m_small.end())
                return false;
            if (m_small.size() < kSmallLimit)
            {
                m_small.push_back(nOffset);
                return true;
            }
            m_large.insert(m_small.begin(), m_small.end());
        }
        return m_large.insert(nOffset).second;
    }

    void Clear()
    {
        m_small.clear();
        m_large.clear();
    }

private:
    // Sound trees are shallow: a short list is cheaper than a hash set.
    static constexpr std::size_t kSmallLimit = 64;
    std::vector<std::uint32_t> m_small;
    std::unordered_set<std::uint32_t> m_large;
};

// Unsigned byte comparison as strcmp makes it (-1, 0, +1): the order of the
// words and keys in every tree.
inline int CompareSearchBytes(std::string_view a, std::string_view b)
{
    const int nResult = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
    if (nResult != 0)
        return nResult < 0 ? -1 : 1;
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}
