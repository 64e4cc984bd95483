#pragma once

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One occurrence of an indexed word: the document's record number in
// "phrase_numbers.dat" (from 1) and the word's ordinal position in it.
struct WordPosition
{
    std::uint32_t docNumber = 0;
    std::uint32_t position = 0;

    bool operator==(const WordPosition&) const = default;
};

// The occurrences of a word in one document, summed up.
struct WordDocument
{
    std::uint32_t docNumber = 0;
    std::uint32_t firstPosition = 0;
    std::uint32_t count = 0;
    bool operator==(const WordDocument&) const = default;
};

// A found document's path: a string kept in the record itself when it is
// short, as paths are, so that the thousands of records of a search take no
// allocation each; a longer one is kept on the heap.
class CSearchResultPath
{
public:
    CSearchResultPath() = default;
    CSearchResultPath(std::string_view text) { assign(text); }
    CSearchResultPath(const char* szText) : CSearchResultPath(std::string_view(szText)) {}
    CSearchResultPath(const std::string& text) : CSearchResultPath(std::string_view(text)) {}

    void assign(std::string_view text);
    std::string_view view() const
    {
        return m_nInline == kOnHeap ? std::string_view(m_onHeap)
                                    : std::string_view(m_inline, m_nInline);
    }
    std::string str() const { return std::string(view()); }
    operator std::string_view() const { return view(); }
    operator std::string() const { return str(); }
    bool empty() const { return view().empty(); }
    std::size_t size() const { return view().size(); }

    friend bool operator==(const CSearchResultPath& a, std::string_view b) { return a.view() == b; }
    friend std::ostream& operator<<(std::ostream& out, const CSearchResultPath& path)
    {
        return out << path.view();
    }

private:
    static constexpr std::size_t kInlineSize = 46;
    static constexpr std::uint8_t kOnHeap = 0xFF;
    char m_inline[kInlineSize] = {};
    std::uint8_t m_nInline = 0; // the length held inline, or kOnHeap
    std::string m_onHeap;
};

// One found document.
struct SearchResult
{
    std::uint32_t docNumber = 0;
    // Filled after the record is in its set; not part of the order, so it may
    // change while the record sits in the set.
    mutable CSearchResultPath path;
    std::uint32_t firstPosition = 0;
    std::uint32_t lastPosition = 0;
    double score = 0.0;
    std::uint32_t span = 0;
};

// Span ascending, then score descending, then document number ascending;
// records equal on all three are one element.
struct SearchResultLess
{
    bool operator()(const SearchResult& a, const SearchResult& b) const
    {
        if (a.span != b.span)
            return a.span < b.span;
        if (a.score != b.score)
            return a.score > b.score;
        return a.docNumber < b.docNumber;
    }
};

// The found documents in SearchResultLess order, each key once: an ordered
// set kept as a sorted array, since a search adds its records in bulk and
// they are then only read in order. Inserting a record equal to one already
// there changes nothing, as in a set.
class CSearchResultSet
{
public:
    using value_type = SearchResult;
    using const_iterator = std::vector<SearchResult>::const_iterator;
    using iterator = const_iterator;

    CSearchResultSet() = default;
    CSearchResultSet(std::initializer_list<SearchResult> records);

    iterator begin() const { return m_records.begin(); }
    iterator end() const { return m_records.end(); }
    std::size_t size() const { return m_records.size(); }
    bool empty() const { return m_records.empty(); }
    void clear() { m_records.clear(); }

    std::pair<iterator, bool> insert(SearchResult record);
    // Records already in SearchResultLess order, no two equal: each goes in
    // unless the set holds an equal one.
    void InsertSorted(std::vector<SearchResult> records);

private:
    std::vector<SearchResult> m_records;
};
using SearchResultSet = CSearchResultSet;
