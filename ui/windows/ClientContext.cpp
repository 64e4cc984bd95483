#include "ClientContext.h"

#include "BrowserLauncher.h"

#include <spawn.h>

extern char** environ;

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
    const std::string strOpen = CBrowserLauncher::FindProgram("xdg-open");
    if (strOpen.empty())
        return false;
    std::vector<char*> argv{const_cast<char*>(strOpen.c_str()), const_cast<char*>(strUrl.c_str()), nullptr};
    pid_t pid = 0;
    return ::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0;
}
