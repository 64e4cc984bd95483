#include "BodyPageWin.h"

#include "ClientContext.h"

bool CBodyPageWin::Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId)
{
    CElement root;
    return CreateWithPage(nStyle, rect, pParent, nId, CClientContext::GetUiPath(m_strPage), root);
}
