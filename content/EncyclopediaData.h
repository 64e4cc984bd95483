#pragma once

#include "EncyclopediaSection.h"
#include "SearchResult.h"

#include <libxml/tree.h>

#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

using CSectionList = std::vector<CEncyclopediaSection*>;

// The practical encyclopedia: the section tree read from the enciphered
// catalogue "encyclopedia.dat", indexed by page address, and the plain text
// and query snippets of its pages.
class CEncyclopediaData
{
public:
    CEncyclopediaData() = default;
    ~CEncyclopediaData() { FreeData(); }
    CEncyclopediaData(const CEncyclopediaData&) = delete;
    CEncyclopediaData& operator=(const CEncyclopediaData&) = delete;

    // strDocumentsFolder is where the pages lie (their ".dat" files).
    bool LoadData(const std::string& strCataloguePath, const std::string& strDocumentsFolder);
    void FreeData();

    const CEncyclopediaSection* GetRoot() const { return m_pRoot.get(); }
    CEncyclopediaSection* GetRoot() { return m_pRoot.get(); }

    // "page.html?x=1#a7", "\page.html#a7" and "/page.html#a7" name the same
    // section; "/dir/" stands for "/dir.html". An unknown anchor on a known
    // page gives the page's own section.
    CEncyclopediaSection* FindSectionByURL(std::string_view address) const;
    // The sections of the addresses that exist, sorted by name.
    CSectionList FindSectionsByURLs(const std::vector<std::string>& addresses) const;
    // The sections of a search's documents, in the order of the result set;
    // documents that are no section are left out.
    CSectionList FindSectionsBySearchResult(const SearchResultSet& results) const;
    static CEncyclopediaSection* FindSubSectionByAnchor(const CEncyclopediaSection* pSection,
                                                        std::string_view anchor);

    static int GetSectionLevel(const CEncyclopediaSection* pSection);
    static CEncyclopediaSection* GetParentByLevel(CEncyclopediaSection* pSection, int nLevel);
    static CEncyclopediaSection* GetParentSectionWithURL(CEncyclopediaSection* pSection);
    static CEncyclopediaSection* GetFirstRealChild(CEncyclopediaSection* pSection);
    static CEncyclopediaSection* GetFirstLevelSectionItem(CEncyclopediaSection* pSection);
    CEncyclopediaSection* GetFirstLevelSectionItem(std::string_view code) const;
    // Sections filed under the code of their first-level ancestor, input order kept.
    static std::map<std::string, CSectionList> SortByCode(const CSectionList& sections);

    // The page's plain text with one leading blank, or "" when it cannot be read.
    std::string GetContent(const CEncyclopediaSection* pSection) const;
    // An HTML snippet of the page around the query's words, their forms in
    // bold. The query is a list of groups, each the forms of one query word.
    std::string GetContent(const CEncyclopediaSection* pSection,
                           const std::vector<std::vector<std::string>>& query);
    // The snippets are kept for the result lists being paged, up to this
    // many bytes (keys and texts); past it the cache starts afresh, since a
    // day of searches would otherwise keep every snippet ever shown.
    static constexpr std::size_t kSnippetCacheBytes = std::size_t{512} * 1024;
    std::size_t GetSnippetCacheBytes() const { return m_nSnippetCacheBytes; }

    // Rewrites the "sample" and "download" links of a page (an "a" directly in
    // a "div" of that class) to "about:SAMPLE_n" / "about:DOWNLOAD_n", keeping
    // the original targets in the maps.
    static bool ReplaceSpecialLinks(xmlNode* pElement, std::map<std::string, std::string>& samples,
                                    std::map<std::string, std::string>& downloads);
    static std::string GetParentDivClass(const xmlNode* pElement);

private:
    // The section of a page as the search index names it ("content/a/b.html").
    CEncyclopediaSection* SectionOfIndexPath(std::string_view path) const;
    void BuildFindMap(CEncyclopediaSection* pSection);

    std::unique_ptr<CEncyclopediaSection> m_pRoot;
    // Looked up by a string_view as well: a search answer can name tens of
    // thousands of pages.
    struct CAddressHash
    {
        using is_transparent = void;
        std::size_t operator()(std::string_view address) const
        {
            return std::hash<std::string_view>{}(address);
        }
    };
    std::unordered_map<std::string, CEncyclopediaSection*, CAddressHash, std::equal_to<>> m_findMap;
    // The section of each document number of the search index met so far: a
    // search may answer with tens of thousands of documents, most of them
    // found before, and a number is cheaper to look up than an address.
    // Emptied with the content, which the index goes with; never longer than
    // twice the addresses known (a number past that is looked up each time).
    mutable std::vector<CEncyclopediaSection*> m_byDocument;
    std::map<std::string, std::string> m_snippetCache;
    std::size_t m_nSnippetCacheBytes = 0;
    std::string m_strDocumentsFolder;
};
