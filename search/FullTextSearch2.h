#pragma once

#include "SearchResult.h"
#include "SearchUtils.h"

#include <map>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

using CNodeEnds = std::unordered_map<std::uint32_t, std::uint32_t>;

// The phrase index every search reads: "phrase_index.<id>" (a binary search
// tree of words with the documents and positions they occur at, one file per
// first letter) and "phrase_numbers.dat" (the path and word count of every
// document). All words are lower-case UTF-8 here and Windows-1251 on disk.
class CFullTextSearch2
{
public:
    explicit CFullTextSearch2(std::string strIndexFolder = {});
    void SetIndexFolder(std::string strIndexFolder)
    {
        m_strIndexFolder = std::move(strIndexFolder);
    }

    bool LoadData();
    void FreeData();
    bool LoadIndex(int nId);
    bool LoadNumbers();

    // Appends the occurrences of exactly this word, by document, then position.
    void GetWordPositions(std::string_view word, std::vector<WordPosition>& positions);
    // The documents of exactly this word, by document, each with the word's
    // first position and number of occurrences there: what GetWordPositions
    // gives, summed up per document without reading every position.
    void GetWordDocuments(std::string_view word, std::vector<WordDocument>& documents);
    // The indexed words that begin with the text, which must be one word.
    std::set<std::string> GetStartWords(std::string_view text);
    std::uint32_t GetDocCount();
    // The number of words in the loaded index files.
    std::uint64_t GetWordCount() const;
    std::uint32_t GetWordsCountInDoc(std::uint32_t nDocNumber);
    void FillDocumentPathByNumber(SearchResultSet& results);
    // The same for some records only, in the order given.
    void FillDocumentPathByNumber(std::span<const SearchResult* const> records);

private:
    void SearchInNodePositions(std::string_view bytes, int nId, std::uint32_t nOffset,
                               std::vector<WordPosition>& positions);
    void SearchInNodeStartWords(std::string_view prefix, int nId, std::uint32_t nOffset,
                                std::set<std::string>& words);
    const MFile* GetIndexFile(int nId) const;
    std::uint32_t GetPathWidth();
    void FillDocumentPath(const SearchResult& result, std::uint32_t nWidth);

    std::string m_strIndexFolder;
    MFilePtr m_pNumbers;
    std::uint32_t m_nPathWidth = 0;
    std::uint32_t m_nDocCount = 0;
    std::map<int, MFilePtr> m_indexFiles;
    // Per index id: where large nodes end (their left child), by offset.
    std::map<int, CNodeEnds> m_nodeEnds;
    std::string m_pathBuffer; // a path being converted, kept to spare allocations
};
