#include "SearchPromptMap.h"

#include "SearchUtils.h"
#include "Utf16Order.h"

#include <algorithm>
#include <deque>
#include <unordered_map>
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
    // The phrases in UTF-16 order of their texts, numbered by distinct text.
    std::vector<std::pair<std::string_view, std::uint32_t>> byText; // text, phrase
    byText.reserve(phrases.size());
    for (std::size_t i = 0; i < phrases.size(); ++i)
        byText.emplace_back(phrases[i]->text, static_cast<std::uint32_t>(i));
    std::sort(byText.begin(), byText.end(),
              [](const auto& a, const auto& b) { return Utf16Less()(a.first, b.first); });
    for (std::size_t i = 0; i < byText.size(); ++i)
        if (i == 0 || byText[i].first != byText[i - 1].first)
        {
            m_textStarts.push_back(m_textBytes.size());
            m_textBytes += byText[i].first;
        }
    m_textStarts.push_back(m_textBytes.size());

    // Each distinct word gets a number as first met, and the ids of its
    // phrases in a list of its own: the phrases are read by ascending id, so
    // each list comes out ascending, a repeated id always at its end. The
    // words are kept folded ("ё" as "е"): a phrase is prompted whichever way
    // it or the user spells the word. The folded copies live until the words
    // are copied into the map below.
    std::unordered_map<std::string_view, std::uint32_t> wordNumbers;
    std::vector<std::string_view> words;
    std::vector<std::vector<std::uint32_t>> wordIds;
    std::deque<std::string> folded;
    std::uint32_t nId = 0;
    for (std::size_t i = 0; i < byText.size(); ++i)
    {
        if (i > 0 && byText[i].first != byText[i - 1].first)
            ++nId;
        for (const std::string& word : phrases[byText[i].second]->words)
        {
            const std::string_view key =
                HasYo(word) ? std::string_view(folded.emplace_back(FoldYo(word))) : word;
            const auto [it, bNew] =
                wordNumbers.try_emplace(key, static_cast<std::uint32_t>(words.size()));
            if (bNew)
            {
                words.push_back(key);
                wordIds.emplace_back();
            }
            std::vector<std::uint32_t>& ids = wordIds[it->second];
            if (ids.empty() || ids.back() != nId)
                ids.push_back(nId);
        }
    }

    std::vector<std::uint32_t> order(words.size());
    for (std::uint32_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&words](std::uint32_t a, std::uint32_t b) { return words[a] < words[b]; });
    m_words.reserve(order.size());
    m_firstId.reserve(order.size() + 1);
    for (const std::uint32_t nWord : order)
    {
        m_words.emplace_back(words[nWord]);
        m_firstId.push_back(static_cast<std::uint32_t>(m_ids.size()));
        m_ids.insert(m_ids.end(), wordIds[nWord].begin(), wordIds[nWord].end());
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
