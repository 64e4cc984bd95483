#pragma once

#include "DocumentPage.h"
#include "PopupWin.h"
#include "Wnd.h"

#include <boost/signals2/signal.hpp>

#include <map>
#include <set>
#include <string>
#include <string_view>

class CClientContext;

// The commands of the document's context menu.
enum EDocumentCommand : unsigned
{
    ID_MENU_COPY = 32771,
    ID_MENU_ADD_BOOKMARK = 32775,
    ID_MENU_PRINT = 32776,
    ID_MENU_MSWORD = 32788,
};

// The view of one content document. The browser renders the page itself, in
// a sandboxed frame fed by the bridge from the enciphered file (deciphered in
// memory, never written to disk). Everything the user does in it comes here
// to be decided: the first navigation shows the page, every later one (a
// click on a link or a picture) is routed by the link tables, and the context
// menu, copy, print and the word processor are the view's.
class CKalimorHtmlView : public CWnd
{
public:
    // Documents are read from the context's content folder; the word
    // processor is started through it.
    explicit CKalimorHtmlView(CClientContext& context);
    ~CKalimorHtmlView() override;

    bool Create(const CRect& rect, CWnd* pParent, int nId);
    // Shows the document of an address: a file path in the documents folder,
    // with an anchor after "#". The page is read at once (its links fill the
    // owner's tables); a page that cannot be read shows empty.
    bool Navigate(const std::string& strAddress);
    // The keyboard goes into the document (its frame), for reading on.
    void FocusDocument();
    const CDocumentPage& GetPage() const { return m_page; }
    // The view is no longer shown: a huge page's tree goes (see
    // CDocumentPage::ReleaseIfLarge); the next Navigate reads it again.
    void ReleaseLargePage() { m_page.ReleaseIfLarge(); }
    const std::string& GetDocumentPath() const { return m_strDocumentPath; }
    const std::string& GetAnchor() const { return m_strAnchor; }
    // The start of the document's text, for a bookmark.
    std::string GetTextAnnotation() const;
    void PrintContent();
    // Marks the word forms in the document on screen (none: no marks), and
    // moves to the next (1) or previous (-1) one.
    void MarkWords(const std::set<std::string>& words);
    void MoveMark(int nStep);
    int GetMarkCount() const { return m_nMarks; }
    int GetCurrentMark() const { return m_nCurrentMark; }
    void OnMenuCommand(unsigned nCommand);
    void HideMenu();

    // A click in the document on the address (as the page writes it).
    void OnBeforeNavigate(const std::string& strUrl);
    // The user asked for a context menu at a point of the view; kind is
    // "page", "selection", "image" or "control".
    void OnContextMenu(std::string_view kind, int nX, int nY);
    bool OnFrontEndEvent(std::string_view type, const nlohmann::json& event) override;

    // The address normalised as a path (see the .cpp); true, with the page's
    // enciphered name, when it names a page (".html").
    static bool GetLocalFileName(std::string_view url, std::string& strEncrypted,
                                 std::string& strPlain);
    static bool IsImageURL(std::string_view url);
    // The bridge address that shows a document path of the documents folder.
    static std::string MakeFrameUrl(std::string_view relativePath, std::string_view anchor,
                                    unsigned nNavigation);

    // Filled by the owner: an address as the page writes it -> what the
    // signal carries.
    std::map<std::string, std::string> m_linkTable1;
    std::map<std::string, std::string> m_linkTable2;

    boost::signals2::signal<void(const std::string&)> m_sigShowImage;
    boost::signals2::signal<void(const std::string&)> m_sigLink1;
    boost::signals2::signal<void(const std::string&)> m_sigLink2;
    boost::signals2::signal<void()> m_sigAddBookmark;
    // The marks in the document changed: the current one (from 1, 0 for
    // none yet) and how many there are.
    boost::signals2::signal<void(int, int)> m_sigMarks;

    CPopupMenuWin& GetMenu() { return m_menu; }

private:
    // The selection the page reported, for the clipboard ("copy") or for the
    // clipboard and the word processor ("word").
    void OnSelection(std::string_view purpose, const std::string& strHtml,
                     const std::string& strText);
    void OpenSelectionInWordProcessor(const std::string& strHtml);

    CClientContext& m_context;
    std::string m_strDocumentPath; // relative to the documents folder, "/dir/page.html"
    std::string m_strAnchor;
    bool m_bFirstNavigationDone = false;
    unsigned m_nNavigation = 0;
    CDocumentPage m_page;
    CPopupMenuWin m_menu;
    std::string m_strWordFolder; // the temporary copy for the word processor
    int m_nMarks = 0;
    int m_nCurrentMark = 0;
};
