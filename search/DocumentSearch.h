#pragma once

#include "FullTextSearch2.h"
#include "MorphoSearch.h"
#include "SearchResult.h"

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
    CDocumentSearch(CFullTextSearch2& index, CMorphoSearch& morpho) : m_index(index), m_morpho(morpho) {}

    // Inserts the documents found for the query (lower case) into the set and
    // fills their paths; the set is never cleared.
    void FindDocuments(std::string_view query, SearchResultSet& results);
    CHighlightWords GetHightlightWords(std::string_view query);

    // What the search command runs: the query lower-cased, its documents,
    // and when nothing is found for a query of 3 or more characters, every
    // indexed word its words begin with.
    void Search(std::string_view query, SearchResultSet& results, CHighlightWords& highlight);

private:
    // A query word's documents, merged over its base forms, and its idf.
    struct CWordDocuments
    {
        std::vector<WordDocument> m_documents;
        double m_dIdf = 0.0;
    };

    std::vector<std::string> BaseFormsOrWord(const std::string& word);
    CWordDocuments CollectDocuments(const std::string& word, std::uint32_t nDocCount);
    // Inserts the documents found for the query, leaving their paths empty,
    // and appends the records that went in to pAdded. False when the paths
    // are not to be filled: nothing to search for, or a document without a
    // word count (logged).
    bool InsertDocuments(std::string_view query, SearchResultSet& results,
                         std::vector<const SearchResult*>* pAdded);

    CFullTextSearch2& m_index;
    CMorphoSearch& m_morpho;
};
