#include "NewsHeaderWin.h"

#include "ClientContext.h"
#include "Logger.h"

bool CNewsHeaderWin::Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId)
{
    CElement root;
    if (!CreateWithPage(nStyle, rect, pParent, nId, CClientContext::GetUiPath("ui/news_header.htm"),
                        root))
        return false;
    if (!m_blanks.SetElement(root, "btn_blanks") ||
        !m_taxCalendar.SetElement(root, "btn_tax_calendar"))
    {
        KLOG_ERR << "Can't initialize buttons";
        return false;
    }
    // The main window lays the column out by the heading's height.
    root.FindById("news_header").GetLocation();
    return true;
}

void CNewsHeaderWin::SetInsets(int nLeft, int nRight)
{
    GetRootElement()
        .FindById("news_header")
        .SetStyleAttribute("padding",
                           "0 " + std::to_string(nRight) + "px 0 " + std::to_string(nLeft) + "px");
}
