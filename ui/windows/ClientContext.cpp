#include "ClientContext.h"

#include "BrowserLauncher.h"
#include "HttpRequest.h"

#include <cstdlib>
#include <string_view>

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
    return pContext ? pContext->GetResourceConfig().GetPath(relative)
                    : CResourceConfig().GetPath(relative);
}

CAbstractHTMLayoutDataLoader* CClientContext::GetUiLoader()
{
    CClientContext* pContext = Get();
    return pContext ? pContext->GetDataLoader() : nullptr;
}

CRequestSettings CClientContext::GetRequestSettings() const
{
    CRequestSettings settings;
    settings.m_service = CServiceConfig::FromEnvironment();
    // The browser tests of a stalled download wait seconds, not minutes.
    const char* szHooks = std::getenv("KALIMOR_TEST_HOOKS");
    const char* szStall = std::getenv("KALIMOR_TEST_STALL_MS");
    if (szHooks && std::string_view(szHooks) == "1" && szStall && std::atoi(szStall) > 0)
        settings.m_http.m_stallTimeout = std::chrono::milliseconds(std::atoi(szStall));
    return settings;
}
