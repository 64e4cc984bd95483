#include "PopupWin.h"

#include "ClientContext.h"
#include "HtmlDocument.h"
#include "HtmlParser.h"
#include "Logger.h"
#include "WindowManager.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace
{
constexpr const char* kItemPrefix = "cmd";
constexpr int kMenuPadding = 8;
constexpr int kScreenMargin = 8;
constexpr int kMinScrollingHeight = 240;
} // namespace

CPopupWin::~CPopupWin()
{
    WatchMouse(false);
}

bool CPopupWin::CreatePopup(const std::string& strPage, CWnd* pOwner, int nId,
                            std::string_view strLogName)
{
    if (!CreatePopupWindow(CRect{0, 0, 10, 10}, pOwner, nId))
    {
        KLOG_ERR << strLogName << " can't create window";
        return false;
    }
    if (!LoadHtmlFromFile(strPage))
    {
        KLOG_ERR << strLogName << " Can't load html layout";
        return false;
    }
    SetFrontEndClass("popup");
    return true;
}

void CPopupWin::ShowAt(const CRect& rect, bool bTakeFocus)
{
    CRect place = rect;
    if (CWindowManager* pManager = CWindowManager::Get())
        place = FitInside(rect, pManager->GetDesktopRect());
    const bool bWasShown = IsShown();
    MoveWindow(place);
    ShowWindow(SW_SHOW);
    if (bTakeFocus)
        SendFrontEndCommand({{"cmd", "focus"}});
    WatchMouse(true);
    if (!bWasShown)
        m_sigShown();
}

CRect CPopupWin::FitInside(const CRect& wanted, const CRect& area)
{
    CRect place = wanted;
    place.m_nLeft = std::max(0, std::min(place.m_nLeft, area.m_nWidth - place.m_nWidth));
    const int nRoomBelow = area.m_nHeight - place.m_nTop - kScreenMargin;
    if (place.m_nHeight > nRoomBelow)
    {
        // Tall content scrolls below its anchor while there is room enough
        // there; otherwise the pop-up moves up.
        if (nRoomBelow >= kMinScrollingHeight)
            place.m_nHeight = nRoomBelow;
        else
            place.m_nTop = std::max(0, area.m_nHeight - place.m_nHeight);
    }
    return place;
}

void CPopupWin::OnContentSizeChanged()
{
    const CHtmlDocument* pDocument = GetHtmlDocument();
    CWindowManager* pManager = CWindowManager::Get();
    if (!pDocument || !pManager || !IsShown() || pDocument->GetContentSize().m_nHeight <= 0)
        return;
    CRect wanted = GetWindowRect();
    wanted.m_nHeight = pDocument->GetContentSize().m_nHeight;
    const CRect place = FitInside(wanted, pManager->GetDesktopRect());
    if (!(place == GetWindowRect()))
        MoveWindow(place);
}

void CPopupWin::Hide()
{
    WatchMouse(false);
    if (!IsShown())
        return;
    ShowWindow(SW_HIDE);
    m_sigHidden();
}

void CPopupWin::WatchMouse(bool bWatch)
{
    CWindowManager* pManager = CWindowManager::Get();
    if (!pManager)
        return;
    if (m_nMouseHook != 0)
        pManager->RemoveMouseDownHook(m_nMouseHook);
    m_nMouseHook = 0;
    if (bWatch)
        m_nMouseHook = pManager->AddMouseDownHook([this](CWnd* pWnd) {
            if (pWnd != this && (!m_pCompanion || pWnd != m_pCompanion))
                Hide();
        });
}

bool CPopupWin::on_key(CElement, CElement, unsigned nEvent, unsigned nKeyCode, unsigned)
{
    if (nEvent != KEY_DOWN || nKeyCode != VK_ESCAPE)
        return false;
    Hide();
    return true;
}

bool CPopupMenuWin::CreateMenu(CWnd* pOwner, int nId)
{
    return CreatePopup(CClientContext::GetUiPath("ui/popup_menu.htm"), pOwner, nId);
}

void CPopupMenuWin::ShowMenu(const std::vector<CItem>& items, int nX, int nY)
{
    m_items = items;
    m_nCurrent = -1;
    std::string html;
    for (const CItem& item : items)
    {
        html += "<div id=\"" + std::string(kItemPrefix) + std::to_string(item.m_nCommand) +
                "\" class=\"menu_item\" role=\"menuitem\"";
        html += item.m_bEnabled ? ">" : " aria-disabled=\"true\" disabled=\"1\">";
        html += CHtmlWriter::EscapeText(item.m_strText) + "</div>";
    }
    CElement list = GetRootElement().FindById("menu");
    list.SetHtml(html);
    for (CElement line : list.Select(".menu_item"))
        if (line.HasAttribute("disabled"))
            line.SetState(STATE_DISABLED);
    const int nHeight = static_cast<int>(items.size()) * kItemHeight + kMenuPadding;
    ShowAt(CRect{nX, nY, kWidth, nHeight});
}

void CPopupMenuWin::Choose(unsigned nCommand)
{
    const auto it = std::find_if(m_items.begin(), m_items.end(), [nCommand](const CItem& item) {
        return item.m_nCommand == nCommand;
    });
    if (it == m_items.end() || !it->m_bEnabled || !IsShown())
        return;
    Hide();
    m_sigCommand(nCommand);
}

bool CPopupMenuWin::OnHyperlinkClick(CElement, CDomEvent& event)
{
    const std::string strId = CElement::FromNode(event.m_pTarget).GetAttribute("id");
    if (!strId.starts_with(kItemPrefix))
        return false;
    Choose(static_cast<unsigned>(
        std::strtoul(strId.c_str() + std::char_traits<char>::length(kItemPrefix), nullptr, 10)));
    return true;
}

void CPopupMenuWin::MoveCurrent(int nStep)
{
    const int nCount = static_cast<int>(m_items.size());
    for (int nTry = 0, n = m_nCurrent; nTry < nCount; ++nTry)
    {
        n = (n + nStep + nCount) % nCount;
        if (m_items[static_cast<std::size_t>(n)].m_bEnabled)
        {
            m_nCurrent = n;
            break;
        }
    }
    const std::vector<CElement> lines = GetRootElement().Select(".menu_item");
    for (std::size_t i = 0; i < lines.size(); ++i)
    {
        CElement line = lines[i];
        if (static_cast<int>(i) == m_nCurrent)
            line.SetState(STATE_CURRENT);
        else
            line.SetState(0, STATE_CURRENT);
    }
}

bool CPopupMenuWin::on_key(CElement he, CElement target, unsigned nEvent, unsigned nKeyCode,
                           unsigned nKeys)
{
    if (nEvent == KEY_DOWN && (nKeyCode == VK_DOWN || nKeyCode == VK_UP))
    {
        MoveCurrent(nKeyCode == VK_DOWN ? 1 : -1);
        return true;
    }
    if (nEvent == KEY_DOWN && nKeyCode == VK_RETURN && m_nCurrent >= 0 &&
        m_nCurrent < static_cast<int>(m_items.size()))
    {
        Choose(m_items[static_cast<std::size_t>(m_nCurrent)].m_nCommand);
        return true;
    }
    return CPopupWin::on_key(he, target, nEvent, nKeyCode, nKeys);
}
