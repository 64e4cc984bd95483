#pragma once

#include "DateUtils.h"
#include "EncyclopediaData.h"

#include <libxml/tree.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

class CBlankInfoData;
struct CBlankInfo;

// A view of the main window that the user can come back to: a bookmark, and
// an entry of the back/forward list. Only section and form bookmarks are
// saved to the bookmarks file; the other kinds live in memory.
class CBookmark
{
public:
    enum EViewKind : int
    {
        VIEW_HOME = 0,
        VIEW_SECTION = 1,
        VIEW_SEARCH_REGISTRY = 2,
        VIEW_BOOKMARKS = 3,
        VIEW_HISTORY = 4,
        VIEW_SEARCH_RESULTS = 5,
        VIEW_TAX_CALENDAR = 6,
        VIEW_FORMS_HOME = 7,
        VIEW_FORM_LIST = 8,
        VIEW_FORM = 9,
    };

    CBookmark() = default;
    explicit CBookmark(int nType) : m_nType(nType) {}
    static CBookmark ForSection(CEncyclopediaSection* pSection);
    static CBookmark ForSections(CSectionList sections, std::string strSearchString);
    static CBookmark ForSearchResults(std::map<std::string, CSectionList> sectionsByCode,
                                      std::set<std::string> highlightWords);
    static CBookmark ForTaxCalendar(const CDate& date);
    static CBookmark ForForm(const CBlankInfo* pBlank);

    // Copies describe the same view: kind, section, view parameters and
    // number, sections by code, the form, and for the tax calendar the date.
    bool IsCopyOf(const CBookmark& other) const;

    // Reads one "bookmark" element; sections and forms are resolved by url.
    bool LoadBookmarkData(const xmlNode* pElement, const CEncyclopediaData& encyclopedia,
                          CBlankInfoData* pBlanks);
    bool SaveBookmarkData(xmlNode* pElement) const;

    int m_nType = VIEW_HOME;
    CEncyclopediaSection* m_pSection = nullptr;
    int m_nParam1 = 0;
    int m_nParam2 = 0;
    // The state of a search view.
    CSectionList m_sections;
    std::map<std::string, CSectionList> m_sectionsByCode;
    std::set<std::string> m_highlightWords;
    // The same forms, one set per query word (snippets weigh the words).
    std::vector<std::set<std::string>> m_highlightGroups;
    std::vector<std::string> m_searchWords;
    // A search view: how many documents were found, and the words the query
    // was completed to when nothing matched it as typed.
    std::size_t m_nFoundDocuments = 0;
    std::string m_strCompletions;
    std::string m_strSearchString;
    CDate m_date;
    int m_nViewNumber = 0;
    const CBlankInfo* m_pBlank = nullptr;
    // A section view: the page shown in place of the section's own document
    // (a form's filled sample, or a place in the page the section tree does
    // not know), with its anchor.
    std::string m_strPage;
    std::string m_strAnnotation;
    bool m_bImportant = false;
    std::string m_strText;
    // The control the user left the view by (a result opened), which has
    // the keyboard again when Back returns to the view. Not saved.
    std::string m_strFocusId;
};

// An ordered list of bookmarks that owns them: the user's bookmarks, kept in
// "bookmarks.xml", and the list type of the back/forward history.
class CBookmarkVector
{
public:
    // Loads the user's file. A bookmark that cannot be resolved (its page was
    // removed by an update) is dropped and logged; when anything was dropped
    // or the file could not be read whole, a copy of the file is kept beside
    // it so the next save cannot destroy it.
    bool LoadData(const std::string& strPath, const CEncyclopediaData& encyclopedia,
                  CBlankInfoData* pBlanks);
    // Writes the list atomically.
    bool SaveData(const std::string& strPath) const;
    void FreeData() { m_bookmarks.clear(); }

    bool IsContainsCopy(const CBookmark& bookmark) const;
    void Add(std::unique_ptr<CBookmark> pBookmark) { m_bookmarks.push_back(std::move(pBookmark)); }
    void RemoveAt(std::size_t nIndex);

    std::size_t GetCount() const { return m_bookmarks.size(); }
    CBookmark* GetAt(std::size_t nIndex) const { return m_bookmarks.at(nIndex).get(); }
    std::vector<std::unique_ptr<CBookmark>>& Items() { return m_bookmarks; }
    const std::vector<std::unique_ptr<CBookmark>>& Items() const { return m_bookmarks; }

private:
    std::vector<std::unique_ptr<CBookmark>> m_bookmarks;
};
