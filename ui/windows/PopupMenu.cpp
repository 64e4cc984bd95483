#include "PopupMenu.h"

#include "ClientContext.h"
#include "Logger.h"
#include "WindowManager.h"

#include <algorithm>

namespace
{
constexpr int kFirstItemResult = 100;
constexpr int kPadding = 4; // above and below the entries

CAbstractHTMLayoutDataLoader* Loader()
{
    CClientContext* pContext = CClientContext::Get();
    return pContext ? pContext->GetDataLoader() : nullptr;
}

std::string PagePath()
{
    CClientContext* pContext = CClientContext::Get();
    return pContext ? pContext->GetResourceConfig().GetPath("ui/popup_menu.htm")
                    : CResourceConfig().GetPath("ui/popup_menu.htm");
}
} // namespace

CPopupMenuDlg::CPopupMenuDlg(std::vector<CPopupMenuItem> items, const CRect& anchor, CWnd* pParent)
    : CHTMLayoutDlg(0, PagePath(), false, pParent, Loader()), m_items(std::move(items)),
      m_anchor(anchor)
{
    SetFixedSize(kWidth, static_cast<int>(m_items.size()) * kItemHeight + 2 * kPadding);
}

const CPopupMenuItem* CPopupMenuDlg::Track()
{
    const int nResult = DoModal() - kFirstItemResult;
    return nResult >= 0 && nResult < static_cast<int>(m_items.size())
               ? &m_items[std::size_t(nResult)]
               : nullptr;
}

bool CPopupMenuDlg::OnInitDialog()
{
    if (!CHTMLayoutDlg::OnInitDialog())
        return false;
    CElement menu = GetRootElement().FindById("menu");
    if (!menu.IsValid())
    {
        KLOG_ERR << "CPopupMenuDlg can't find its menu element";
        return false;
    }
    for (const CPopupMenuItem& item : m_items)
    {
        CElement entry = menu.CreateElement("div", item.m_strLabel);
        entry.SetAttribute("id", item.m_strId);
        entry.SetAttribute("class", "menu_item");
        entry.SetAttribute("role", "menuitem");
        // One entry at a time takes the keyboard; Tab leaves the menu.
        entry.SetAttribute("tabindex", "-1");
        menu.Append(entry);
        m_elements.push_back(entry);
    }
    // Below the anchor, kept inside the main window.
    CRect area{0, 0, 1280, 800};
    if (CWindowManager* pManager = CWindowManager::Get(); pManager && pManager->GetMainWindow())
        area = pManager->GetMainWindow()->GetWindowRect();
    const CRect size = GetWindowRect();
    const int nLeft = std::clamp(m_anchor.m_nLeft, 0, std::max(0, area.m_nWidth - size.m_nWidth));
    MoveWindow(nLeft, m_anchor.m_nTop + m_anchor.m_nHeight, size.m_nWidth, size.m_nHeight);
    FocusItem(0);
    return true;
}

int CPopupMenuDlg::GetFocusedItem() const
{
    const auto it = std::find_if(m_elements.begin(), m_elements.end(),
                                 [](const CElement& e) { return e.HasState(STATE_FOCUS); });
    return it == m_elements.end() ? -1 : static_cast<int>(it - m_elements.begin());
}

void CPopupMenuDlg::FocusItem(int nIndex)
{
    if (m_elements.empty())
        return;
    const int nCount = static_cast<int>(m_elements.size());
    nIndex = ((nIndex % nCount) + nCount) % nCount;
    for (CElement& element : m_elements)
        element.SetState(0, STATE_FOCUS);
    m_elements[std::size_t(nIndex)].SetState(STATE_FOCUS);
}

bool CPopupMenuDlg::on_key(CElement, CElement, unsigned nEvent, unsigned nKeyCode, unsigned)
{
    if (nEvent != KEY_DOWN)
        return false;
    const int nFocused = GetFocusedItem();
    switch (nKeyCode)
    {
    case VK_DOWN:
        FocusItem(nFocused + 1);
        return true;
    case VK_UP:
        FocusItem(nFocused < 0 ? -1 : nFocused - 1);
        return true;
    case VK_HOME:
        FocusItem(0);
        return true;
    case VK_END:
        FocusItem(-1);
        return true;
    case VK_ESCAPE:
    case VK_TAB:
        EndDialog(IDCANCEL);
        return true;
    default:
        return false;
    }
}

bool CPopupMenuDlg::on_mouse(CElement, CElement target, unsigned nEvent, int, int,
                             unsigned nButtons, unsigned)
{
    // A click beside the menu reaches its root element: the menu closes.
    if (nEvent == MOUSE_DOWN && (nButtons & MAIN_MOUSE_BUTTON) && target.GetTag() == "html")
    {
        EndDialog(IDCANCEL);
        return true;
    }
    return false;
}

bool CPopupMenuDlg::OnHyperlinkClick(CElement, CDomEvent& event)
{
    const CElement source = CElement::FromNode(event.m_pSource ? event.m_pSource : event.m_pTarget);
    const auto it = std::find(m_elements.begin(), m_elements.end(), source);
    if (it == m_elements.end())
        return false;
    EndDialog(kFirstItemResult + static_cast<int>(it - m_elements.begin()));
    return true;
}
