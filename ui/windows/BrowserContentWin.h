#pragma once

#include "HTMLayoutCtrl.h"
#include "HTMLayoutWin.h"
#include "KalimorHtmlView.h"

#include <boost/signals2/signal.hpp>

#include <string>

class CClientContext;

// The bar above a document: where it lies in the tree, its title, and the
// buttons for the contents column, bookmarks and printing.
class CBrowserContentToolBarWin : public CHTMLayoutWin
{
public:
    using CHTMLayoutWin::CHTMLayoutWin;
    bool Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId) override;

    void SetBookmarkAdded(bool bAdded);
    void SetContentButtonVisible(bool bVisible);
    void SetContentButtonExpanded(bool bExpanded);
    // The document's place: the first-level section (a button that opens the
    // selector of its subsections), the path below it and the title.
    void SetLocation(const std::string& strFirstLevel, const std::string& strPath,
                     const std::string& strTitle);
    CRect GetSelectSectionButtonRect() const;
    // "3 из 12" beside the buttons that move between the words a search
    // found; hidden when there are none.
    void SetFoundCounter(int nCurrent, int nTotal);

    boost::signals2::signal<void()> m_sigAddBookmark;
    boost::signals2::signal<void()> m_sigPrint;
    boost::signals2::signal<void()> m_sigContent;
    boost::signals2::signal<void()> m_sigSelectSection;
    boost::signals2::signal<void(int)> m_sigFoundStep; // -1 previous, 1 next

    static constexpr const char* kExpandedCaption = "Скрыть содержание";
    static constexpr const char* kCollapsedCaption = "Показать содержание";

private:
    CHTMLayoutButtonCtrl m_addBookmark, m_print, m_content, m_selectSection, m_prevFound,
        m_nextFound;
    bool m_bContentExpanded = true;
};

// The tool bar over the document view.
class CBrowserContentWin : public CWnd
{
public:
    static constexpr int kToolBarHeight = 101;
    static constexpr int kBottomGap = 10;

    explicit CBrowserContentWin(CClientContext& context);

    bool Create(const CRect& rect, CWnd* pParent, int nId);
    // Shows a document (a file path of the documents folder, "#anchor" after it).
    void SetContent(const std::string& strAddress);
    void LayoutControls();

    CBrowserContentToolBarWin& GetToolBar() { return m_toolBar; }
    CKalimorHtmlView& GetView() { return m_view; }

protected:
    void OnSize(int nWidth, int nHeight) override;

private:
    CBrowserContentToolBarWin m_toolBar;
    CKalimorHtmlView m_view;
};
