#include "ClientContext.h"

#include "BrowserLauncher.h"

namespace
{
CClientContext* g_pContext = nullptr;
} // namespace

CClientContext* CClientContext::Get()
{
    return g_pContext;
}

void CClientContext::Set(CClientContext* pContext)
{
    g_pContext = pContext;
}

bool CClientContext::OpenExternal(const std::string& strUrl)
{
    return CBrowserLauncher::OpenWithDesktop(strUrl);
}
