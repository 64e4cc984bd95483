#pragma once

#include "FullTextSearch2.h"
#include "MorphoSearch.h"
#include "SearchResult.h"

#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// One set of word forms per query word, in query order: what to highlight.
using CHighlightWords = std::vector<std::set<std::string>>;

// The full-text search: a query's words reduced to their base forms, the
// documents that hold every known word found in the phrase index, each scored
// by a TF-IDF sum damped by how far apart the words first occur, and the word
// forms to highlight.
class CDocumentSearch
{
public:
    CDocumentSearch(CFullTextSearch2& index, CMorphoSearch& morpho)
        : m_index(index),
          m_morpho(morpho)
    {
    }

    // Inserts the documents found for the query (lower case) into the set and
    // fills their paths; the set is never cleared.
    void FindDocuments(std::string_view query, SearchResultSet& results);
    CHighlightWords GetHightlightWords(std::string_view query);

    // What the search command runs: the query lower-cased, its documents,
    // and when nothing is found for a query of 3 or more characters, every
    // indexed word its words begin with.
    void Search(std::string_view query, SearchResultSet& results, CHighlightWords& highlight);
    // The words the last Search completed its words to (blank-separated base
    // forms), empty when it found the words as they were typed.
    const std::string& GetLastCompletions() const { return m_strLastCompletions; }

private:
    // A query word's documents, merged over its base forms, and its idf.
    struct CWordDocuments
    {
        std::vector<WordDocument> m_documents;
        double m_dIdf = 0.0;
    };

    std::vector<std::string> BaseFormsOrWord(const std::string& word);
    // The occurrences of the word's base forms as the dictionary lists them
    // (or of the word), and when the word or one of them holds "ё", of its
    // other spellings: "ё" and "е" are one letter.
    CWordDocuments CollectDocuments(const std::string& word, std::uint32_t nDocCount);
    // The words of B(w) = bases(w) U bases(fold(w)) (or w when both are
    // empty) and of their folds that are not among those already read;
    // bKnown says whether the dictionary had base forms for the word.
    std::vector<std::string> OtherSpellings(const std::string& word,
                                            const std::vector<std::string>& read, bool bKnown);
    // Search with a set that already holds records: each query reads the
    // paths of the whole set.
    void SearchInto(const std::string& lowered, SearchResultSet& results,
                    CHighlightWords& highlight);
    // The prefix fallback: find() for every base form of every indexed word a
    // query word begins with; returns those base forms joined by blanks.
    std::string CompleteWords(const std::string& lowered,
                              const std::function<void(std::string_view)>& find);

    // A document found by one query of a search (the search's nth), before
    // it becomes a record. Its place in the set's order is packed into two
    // integers: sorting these is much cheaper than sorting records.
    struct CFound
    {
        std::uint64_t m_nOrderHigh = 0; // span, then the upper half of the score's order
        std::uint64_t m_nOrderLow = 0;  // the lower half of the score's order, then the document
        std::uint32_t m_nQuery = 0;
        std::uint32_t m_nFirstPosition = 0;
        std::uint32_t m_nLastPosition = 0;

        CFound() = default;
        CFound(std::uint32_t nSpan, double dScore, std::uint32_t nDocument, std::uint32_t nFirst,
               std::uint32_t nLast, std::uint32_t nQuery);
        std::uint32_t Span() const { return static_cast<std::uint32_t>(m_nOrderHigh >> 32); }
        double Score() const;
        std::uint32_t Document() const { return static_cast<std::uint32_t>(m_nOrderLow); }
        bool SameKey(const CFound& other) const
        {
            return m_nOrderHigh == other.m_nOrderHigh && m_nOrderLow == other.m_nOrderLow;
        }
    };
    enum class EFound
    {
        Nothing,  // no word to search for, or none found: paths are not read
        Complete, // every common document scored: paths are to be read
        Stopped,  // a document without a word count stopped the walk (logged)
    };
    // Appends the documents found for the query, tagged with nQuery.
    EFound CollectFound(std::string_view query, std::uint32_t nQuery, std::vector<CFound>& found);
    EFound CollectOneWord(const CWordDocuments& list, std::uint32_t nQuery,
                          std::vector<CFound>& found);
    // The walk for lists that hold each document once.
    EFound CollectCommon(const std::vector<CWordDocuments>& lists, std::uint32_t nQuery,
                         std::vector<CFound>& found);
    // Scores the document every cursor is at; false when it has no word
    // count (logged), which ends the walk.
    bool ScoreCommonDocument(const std::vector<CWordDocuments>& lists,
                             const std::vector<std::size_t>& cursors, std::uint32_t nQuery,
                             std::vector<CFound>& found);
    // The records of what was found, in the set's order, each key once (the
    // earliest query's). Paths are read for the queries up to nLastFilled.
    std::vector<SearchResult> MakeRecords(std::vector<CFound>& found, std::int64_t nLastFilled);

    CFullTextSearch2& m_index;
    CMorphoSearch& m_morpho;
    // The sort's memory, kept between searches to spare allocations.
    std::vector<std::uint64_t> m_order;
    std::vector<std::uint64_t> m_orderBuffer;
    std::string m_strLastCompletions;
    std::string m_fold; // a form being folded, kept to spare allocations
};
