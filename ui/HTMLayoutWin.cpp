#include "HTMLayoutWin.h"

#include "FileUtils.h"
#include "Logger.h"

CHTMLayoutWin::CHTMLayoutWin(CAbstractHTMLayoutDataLoader* pLoader)
{
    SetDataLoader(pLoader);
}

CHTMLayoutWin::~CHTMLayoutWin()
{
    DestroyWindow();
}

bool CHTMLayoutWin::Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId)
{
    if (!CreateBase(WINDOW_CHILD, "", rect, pParent, nId, (nStyle & WS_VISIBLE) != 0, true))
        return false;
    if (!AttachToWnd(this))
        return false;
    GetHtmlDocument()->AttachWindowHandler(this);
    return true;
}

bool CHTMLayoutWin::CreatePopupWindow(const CRect& rect, CWnd* pOwner, int nId)
{
    if (!CreateBase(WINDOW_DIALOG, "", rect, pOwner, nId, false, true))
        return false;
    if (!AttachToWnd(this))
        return false;
    GetHtmlDocument()->AttachWindowHandler(this);
    return true;
}

bool CHTMLayoutWin::CreateEx(unsigned, unsigned nStyle, const CRect& rect, CWnd* pParent, int nId)
{
    // Extended styles have nothing to change in the browser.
    return Create(nStyle, rect, pParent, nId);
}

bool CHTMLayoutWin::LoadHtmlFromFile(const std::string& strPath)
{
    CByteArray bytes;
    if (!GetHtmlDocument() || !CFileUtils::LoadBinFileOrResource(strPath, bytes))
        return false;
    return GetHtmlDocument()->LoadHtml(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

bool CHTMLayoutWin::CreateWithPage(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId,
                                   const std::string& strPage, CElement& root)
{
    if (!CHTMLayoutWin::Create(nStyle, rect, pParent, nId))
    {
        KLOG_ERR << "Can't create window";
        return false;
    }
    if (!LoadHtmlFromFile(strPage))
    {
        KLOG_ERR << "Can't load html layout";
        return false;
    }
    root = GetRootElement();
    if (!root.IsValid())
    {
        KLOG_ERR << "Can't get root element";
        return false;
    }
    return true;
}

bool CHTMLayoutWin::FocusPage()
{
    const CElement root = GetHtmlDocument() ? GetHtmlDocument()->GetRoot() : CElement();
    if (!root.IsValid())
        return false;
    CElement heading = root.SelectFirst("h1");
    if (heading.IsValid() && heading.IsVisible())
    {
        if (!heading.HasAttribute("tabindex"))
            heading.SetAttribute("tabindex", "-1"); // focusable by the client only
        heading.Focus();
        return true;
    }
    for (CElement control : root.Select("[tabindex]"))
        if (control.GetAttribute("tabindex") != "-1" && control.IsVisible() && control.IsEnabled())
        {
            control.Focus();
            return true;
        }
    return false;
}

CElement CHTMLayoutWin::GetRootElement() const
{
    CElement root = GetHtmlDocument() ? GetHtmlDocument()->GetRoot() : CElement();
    if (!root.IsValid())
        KLOG_ERR << "CHTMLayoutWin::GetRootElement can't get root htmlayout::dom::element";
    return root;
}
