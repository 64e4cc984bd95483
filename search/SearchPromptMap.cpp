#include "SearchPromptMap.h"

#include "SearchUtils.h"
#include "Utf16Order.h"

#include <algorithm>
#include <deque>
#include <utility>

void CPromptIdSet::Reset(std::size_t nIds)
{
    m_bits.assign((nIds + 63) / 64, 0);
}

void CPromptIdSet::IntersectWith(const CPromptIdSet& other)
{
    const std::size_t nCommon = std::min(m_bits.size(), other.m_bits.size());
    for (std::size_t i = 0; i < nCommon; ++i)
        m_bits[i] &= other.m_bits[i];
    std::fill(m_bits.begin() + static_cast<std::ptrdiff_t>(nCommon), m_bits.end(), 0);
}

bool CPromptIdSet::IsEmpty() const
{
    return std::all_of(m_bits.begin(), m_bits.end(), [](std::uint64_t bits) { return bits == 0; });
}

std::size_t CPromptIdSet::Count() const
{
    std::size_t nCount = 0;
    for (const std::uint64_t bits : m_bits)
        nCount += static_cast<std::size_t>(__builtin_popcountll(bits));
    return nCount;
}

void CSearchPromptMap::Clear()
{
    m_textBytes.clear();
    m_textStarts.clear();
    m_words.clear();
    m_firstId.clear();
    m_ids.clear();
}

void CSearchPromptMap::Build(std::span<const RegistryPhrase* const> phrases)
{
    Clear();
    std::vector<std::string_view> texts;
    texts.reserve(phrases.size());
    for (const RegistryPhrase* pPhrase : phrases)
        texts.push_back(pPhrase->text);
    std::sort(texts.begin(), texts.end(), Utf16Less());
    texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
    for (const std::string_view text : texts)
    {
        m_textStarts.push_back(m_textBytes.size());
        m_textBytes += text;
    }
    m_textStarts.push_back(m_textBytes.size());

    // The words are kept folded ("ё" as "е"): a phrase is prompted whichever
    // way it or the user spells the word. The folded copies live until the
    // words are copied into the map below.
    std::vector<std::pair<std::string_view, std::uint32_t>> pairs;
    std::deque<std::string> folded;
    for (const RegistryPhrase* pPhrase : phrases)
    {
        const auto it = std::lower_bound(texts.begin(), texts.end(), pPhrase->text, Utf16Less());
        const auto nId = static_cast<std::uint32_t>(it - texts.begin());
        for (const std::string& word : pPhrase->words)
            pairs.emplace_back(
                HasYo(word) ? std::string_view(folded.emplace_back(FoldYo(word))) : word, nId);
    }
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
    m_ids.reserve(pairs.size());
    for (const auto& [word, nId] : pairs)
    {
        if (m_words.empty() || m_words.back() != word)
        {
            m_words.emplace_back(word);
            m_firstId.push_back(static_cast<std::uint32_t>(m_ids.size()));
        }
        m_ids.push_back(nId);
    }
    m_firstId.push_back(static_cast<std::uint32_t>(m_ids.size()));
}

void CSearchPromptMap::AddWord(std::string_view word, CPromptIdSet& ids) const
{
    const auto it = std::lower_bound(m_words.begin(), m_words.end(), word);
    if (it != m_words.end() && *it == word)
    {
        const auto nWord = static_cast<std::size_t>(it - m_words.begin());
        AddRun(nWord, nWord + 1, ids);
    }
}

void CSearchPromptMap::AddWordsWithPrefix(std::string_view prefix, CPromptIdSet& ids) const
{
    const auto first = std::lower_bound(m_words.begin(), m_words.end(), prefix);
    // Sorted words that begin with the prefix all come first from there on.
    const auto last = std::partition_point(first, m_words.end(), [prefix](const std::string& word) {
        return std::string_view(word).starts_with(prefix);
    });
    AddRun(static_cast<std::size_t>(first - m_words.begin()),
           static_cast<std::size_t>(last - m_words.begin()), ids);
}

void CSearchPromptMap::AddRun(std::size_t nFirstWord, std::size_t nEndWord, CPromptIdSet& ids) const
{
    for (std::uint32_t i = m_firstId[nFirstWord]; i < m_firstId[nEndWord]; ++i)
        ids.Insert(m_ids[i]);
}
