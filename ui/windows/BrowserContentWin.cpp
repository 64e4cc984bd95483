#include "BrowserContentWin.h"

#include "ClientContext.h"
#include "HtmlParser.h"
#include "Logger.h"

#include <algorithm>

bool CBrowserContentToolBarWin::Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId)
{
    CElement root;
    if (!CreateWithPage(nStyle, rect, pParent, nId,
                        CClientContext::GetUiPath("ui/browser_content_tool_bar.htm"), root))
        return false;
    if (!m_addBookmark.SetElement(root, "btn_add_bookmark") ||
        !m_print.SetElement(root, "btn_print") || !m_content.SetElement(root, "btn_content") ||
        !m_selectSection.SetElement(root, "btn_select_subsection"))
    {
        KLOG_ERR << "Can't initialize buttons";
        return false;
    }
    m_addBookmark.m_sigClick.connect([this] { m_sigAddBookmark(); });
    m_print.m_sigClick.connect([this] { m_sigPrint(); });
    m_content.m_sigClick.connect([this] { m_sigContent(); });
    m_selectSection.m_sigClick.connect([this] { m_sigSelectSection(); });
    if (m_prevFound.SetElement(root, "btn_prev_found") &&
        m_nextFound.SetElement(root, "btn_next_found"))
    {
        m_prevFound.m_sigClick.connect([this] { m_sigFoundStep(-1); });
        m_nextFound.m_sigClick.connect([this] { m_sigFoundStep(1); });
    }
    SetContentButtonExpanded(true);
    SetFoundCounter(0, 0);
    return true;
}

void CBrowserContentToolBarWin::SetBookmarkAdded(bool bAdded)
{
    CElement button = m_addBookmark.GetElement();
    button.SetAttribute("added", bAdded ? "1" : "0");
    button.SetAttribute("aria-pressed", bAdded ? "true" : "false");
    button.SetText(bAdded ? "В закладках" : "В закладки");
}

void CBrowserContentToolBarWin::SetContentButtonVisible(bool bVisible)
{
    CElement cell = GetRootElement().FindById("td_content");
    cell.SetVisible(bVisible);
}

void CBrowserContentToolBarWin::SetContentButtonExpanded(bool bExpanded)
{
    m_bContentExpanded = bExpanded;
    CElement button = m_content.GetElement();
    std::string strClass = "button";
    if (bExpanded)
        strClass += " no_bottom";
    button.SetAttribute("class", strClass);
    button.SetAttribute("aria-expanded", bExpanded ? "true" : "false");
    CElement caption = button.SelectFirst(".button_caption");
    caption.SetText(bExpanded ? kExpandedCaption : kCollapsedCaption);
}

void CBrowserContentToolBarWin::SetLocation(const std::string& strFirstLevel,
                                            const std::string& strPath, const std::string& strTitle)
{
    CElement root = GetRootElement();
    CElement section = m_selectSection.GetElement();
    section.SetText(strFirstLevel);
    root.FindById("doc_path").SetText(strPath);
    root.FindById("doc_title").SetText(strTitle);
}

void CBrowserContentToolBarWin::SetFoundCounter(int nCurrent, int nTotal)
{
    CElement root = GetRootElement();
    CElement bar = root.FindById("found_bar");
    bar.SetVisible(nTotal > 0);
    CElement counter = root.FindById("found_counter");
    counter.SetText(nTotal <= 0    ? std::string()
                    : nCurrent > 0 ? std::to_string(nCurrent) + " из " + std::to_string(nTotal)
                                   : "Найдено: " + std::to_string(nTotal));
}

CRect CBrowserContentToolBarWin::GetSelectSectionButtonRect() const
{
    return GetScreenRectOf(m_selectSection.GetElement());
}

CBrowserContentWin::CBrowserContentWin(CClientContext& context)
    : m_toolBar(context.GetDataLoader()),
      m_view(context)
{
}

bool CBrowserContentWin::Create(const CRect& rect, CWnd* pParent, int nId)
{
    if (!CreateBase(WINDOW_CHILD, "", rect, pParent, nId, true, false))
        return false;
    if (!m_toolBar.Create(WS_CHILD | WS_VISIBLE, CRect{}, this, 1) ||
        !m_view.Create(CRect{}, this, 2))
    {
        KLOG_ERR << "CBrowserContentWin::Create can't create the tool bar or the view";
        return false;
    }
    LayoutControls();
    return true;
}

void CBrowserContentWin::SetContent(const std::string& strAddress)
{
    if (!m_view.IsWindow())
        return;
    m_view.Navigate(strAddress);
    m_toolBar.ShowWindow(SW_SHOW);
}

void CBrowserContentWin::LayoutControls()
{
    const CRect client = GetClientRect();
    m_toolBar.MoveWindow(0, 0, client.m_nWidth, kToolBarHeight);
    m_view.MoveWindow(1, kToolBarHeight + 1, std::max(0, client.m_nWidth - 2),
                      std::max(0, client.m_nHeight - kToolBarHeight - kBottomGap - 2));
}

void CBrowserContentWin::OnSize(int, int)
{
    LayoutControls();
}
