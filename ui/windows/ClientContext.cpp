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

bool CClientContext::OpenInWordProcessor(const std::string& strPath)
{
    return CBrowserLauncher::OpenWordProcessor(strPath);
}

std::string CClientContext::GetDocumentsFolder() const
{
    std::string strFolder = GetContentFolder();
    if (strFolder.empty())
        return {};
    if (strFolder.back() != '/')
        strFolder += '/';
    return strFolder + "Content/";
}

std::string CClientContext::GetUiPath(std::string_view relative)
{
    CClientContext* pContext = Get();
    return pContext ? pContext->GetResourceConfig().GetPath(relative) : CResourceConfig().GetPath(relative);
}
