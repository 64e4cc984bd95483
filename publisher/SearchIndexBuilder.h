#pragma once

#include "MorphoSearch.h"
#include "PhraseIndexWriter.h"
#include "PublishReport.h"

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Builds the full-text index of the published pages: each page's words, split
// and lower-cased as the search splits a query, are indexed at their ordinal
// positions under each of their base forms, or as written when the dictionary
// has none - the forms in which the search looks words up - folded: "ё" is
// indexed as "е" (the search reads both spellings of a word that holds "ё").
class CSearchIndexBuilder
{
public:
    explicit CSearchIndexBuilder(CMorphoSearch& morpho) : m_morpho(morpho) {}

    // A page, stored in the document list under strPath.
    void AddPage(std::string_view path, std::string_view text);
    // Writes the index files into the folder and reports what the format's
    // 16-bit fields could not hold.
    bool Save(const std::string& strFolder, CPublishReport& report);

private:
    struct CTextHash
    {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const
        {
            return std::hash<std::string_view>()(text);
        }
    };
    template <typename Value>
    using CTextMap = std::unordered_map<std::string, Value, CTextHash, std::equal_to<>>;

    const std::vector<std::string>& IndexForms(const std::string& word);
    // The writer's handles of the forms a word of a page is indexed under.
    const std::vector<std::uint32_t>& WordHandles(std::string_view word);

    CMorphoSearch& m_morpho;
    CPhraseIndexWriter m_writer;
    std::vector<std::string> m_paths;
    // Many words repeat: each is looked up in the dictionary once, and each
    // spelling of it on a page is lower-cased and found in the writer once.
    CTextMap<std::vector<std::string>> m_forms;
    CTextMap<std::vector<std::uint32_t>> m_handles;
    std::vector<std::string_view> m_words; // of the page being added
};
