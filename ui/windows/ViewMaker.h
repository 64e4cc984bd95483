#pragma once

#include "Bookmark.h"
#include "LinkTarget.h"

#include <memory>
#include <string>
#include <vector>

class CClientContext;
struct CMRUDocument;

// Makes the views the main window goes to from the content, the search and
// the links: each call returns the view, or null (logged) when there is
// nothing to show. Nothing here touches a window.
class CViewMaker
{
public:
    explicit CViewMaker(CClientContext& context) : m_context(context) {}

    // The search and the content it is made from are there.
    bool CanSearch() const;
    // The found sections by code, with the query's words to highlight (each
    // group: the forms of one word, all of them together as well).
    std::unique_ptr<CBookmark> ForSearch(const std::string& strQuery) const;
    // The sections of a registry phrase or, failing that, of the prompt list's
    // entry of that text.
    std::unique_ptr<CBookmark> ForPrompt(const std::string& strPrompt) const;
    // The sections the addresses point to: one as its section, several as a
    // list; strText becomes the view's search string.
    std::unique_ptr<CBookmark> ForLinks(const std::vector<std::string>& links,
                                        const std::string& strText) const;
    // The first document under a first-level section of that code.
    std::unique_ptr<CBookmark> ForSectionType(const std::string& strType) const;
    std::unique_ptr<CBookmark> ForRecentDocument(const CMRUDocument& document) const;
    // The form of the library whose file the address names.
    std::unique_ptr<CBookmark> ForFormOf(const std::string& strUrl) const;
    // A form's filled sample shown in the place of the section's document.
    std::unique_ptr<CBookmark> ForFilledSample(const std::string& strUrl,
                                               CEncyclopediaSection* pSection) const;

    // What a link leads to, the documents folder cut from its path.
    CLinkTarget Classify(const std::string& strUrl) const;
    // The section of a document link; an anchor the section tree does not
    // know is still where the page opens. strUrl is the link as written.
    std::unique_ptr<CBookmark> ForDocument(const CLinkTarget& target,
                                           const std::string& strUrl) const;

private:
    CClientContext& m_context;
};
