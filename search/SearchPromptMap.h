#pragma once

#include "RegistryPhrase.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// A set of prompt phrases, by their ids in a CSearchPromptMap: one bit each.
class CPromptIdSet
{
public:
    void Reset(std::size_t nIds);
    void Insert(std::uint32_t nId) { m_bits[nId >> 6] |= std::uint64_t{1} << (nId & 63); }
    void IntersectWith(const CPromptIdSet& other);
    bool IsEmpty() const;
    std::size_t Count() const;
    // The ids in ascending order.
    template <typename Fn> void ForEach(const Fn& fn) const
    {
        for (std::size_t nWord = 0; nWord < m_bits.size(); ++nWord)
            for (std::uint64_t bits = m_bits[nWord]; bits != 0; bits &= bits - 1)
                fn(static_cast<std::uint32_t>(nWord * 64 +
                                              static_cast<unsigned>(__builtin_ctzll(bits))));
    }

private:
    std::vector<std::uint64_t> m_bits;
};

// The words of the prompt phrases, each with the phrases that hold it.
//
// The distinct phrase texts are numbered in UTF-16 order, so a set of ids
// read in ascending order lists its texts in that order; they are stored one
// after another in that order, so listing many reads memory in sequence. The words are kept
// sorted by bytes with the ids of each word's phrases stored one word after
// another: all words that begin with a prefix form one run of words (UTF-8
// byte order keeps every string with a given prefix together), and their
// phrases one run of ids. The words are folded ("ё" kept as "е"), so lookups
// pass folded words and prefixes.
class CSearchPromptMap
{
public:
    void Build(std::span<const RegistryPhrase* const> phrases);
    void Clear();
    bool IsEmpty() const { return m_words.empty(); }

    std::size_t TextCount() const { return m_textStarts.empty() ? 0 : m_textStarts.size() - 1; }
    // Valid until the map is cleared or built again.
    std::string_view GetText(std::uint32_t nId) const
    {
        return std::string_view(m_textBytes)
            .substr(m_textStarts[nId], m_textStarts[nId + 1] - m_textStarts[nId]);
    }
    std::size_t WordCount() const { return m_words.size(); }

    // Adds the phrases holding exactly this word.
    void AddWord(std::string_view word, CPromptIdSet& ids) const;
    // Adds the phrases holding a word that begins with the prefix.
    void AddWordsWithPrefix(std::string_view prefix, CPromptIdSet& ids) const;

private:
    void AddRun(std::size_t nFirstWord, std::size_t nEndWord, CPromptIdSet& ids) const;

    // Text k is m_textBytes[m_textStarts[k] .. m_textStarts[k + 1]).
    std::string m_textBytes;
    std::vector<std::size_t> m_textStarts;
    std::vector<std::string> m_words;
    // The ids of word k's phrases are m_ids[m_firstId[k]] .. m_ids[m_firstId[k + 1] - 1].
    std::vector<std::uint32_t> m_firstId;
    std::vector<std::uint32_t> m_ids;
};
