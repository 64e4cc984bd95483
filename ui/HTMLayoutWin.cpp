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
    return GetHtmlDocument()->LoadHtml(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

CElement CHTMLayoutWin::GetRootElement() const
{
    CElement root = GetHtmlDocument() ? GetHtmlDocument()->GetRoot() : CElement();
    if (!root.IsValid())
        KLOG_ERR << "CHTMLayoutWin::GetRootElement can't get root htmlayout::dom::element";
    return root;
}
