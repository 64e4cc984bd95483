#pragma once

#include "ViewMaker.h"

#include <functional>
#include <string>
#include <vector>

class IViewHost;

// The commands of the panels and of the links that lead to another view or
// out of the client: each makes its view (CViewMaker) and has the host go to
// it, or opens the address with the desktop, or tells the user why not.
class CViewCommands
{
public:
    // waitCursor shows (true) and hides the wait cursor over the window.
    CViewCommands(CClientContext& context, IViewHost& host, std::function<void(bool)> waitCursor)
        : m_context(context),
          m_host(host),
          m_waitCursor(std::move(waitCursor)),
          m_maker(context)
    {
    }

    const CViewMaker& GetMaker() const { return m_maker; }
    // True when there is content; otherwise the user is told so.
    bool CheckContent() const;
    void Search(const std::string& strQuery);
    void SearchPrompt(const std::string& strPrompt);
    void OpenLinks(const std::vector<std::string>& links, const std::string& strText);
    void SelectSectionType(const std::string& strType);
    void OpenRecentDocument(const CMRUDocument& document);
    // A web or mail address opens in the user's browser, a document of the
    // library as its section.
    void OpenLink(const std::string& strUrl);
    void OpenSupport();
    // The lists that need content: the bookmarks, the history, the index.
    void ShowBookmarks();
    void ShowHistory();
    void ShowRegistry();
    // The view of the library's form whose file the address names; false
    // for any other address.
    bool ShowFormOf(const std::string& strUrl);
    // A form's file named by a document: the library's form is shown (true),
    // or the file is fetched and opened with the desktop's handler.
    bool DownloadForm(const std::string& strUrl);
    // A form's filled sample named by a document: the library's form, or the
    // sample in the place of the section's document.
    void ViewFilledSample(const std::string& strUrl, CEncyclopediaSection* pSection);
    void ShowAbout();

private:
    bool Show(std::unique_ptr<CBookmark> pView);

    CClientContext& m_context;
    IViewHost& m_host;
    std::function<void(bool)> m_waitCursor;
    CViewMaker m_maker;
};
