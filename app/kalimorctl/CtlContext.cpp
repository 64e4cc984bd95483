#include "CtlContext.h"

#include "FileUtils.h"
#include "Logger.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>

int CtlUsageError(const CCtlCommand& command, std::string_view message)
{
    std::cerr << "kalimorctl " << command.m_name << ": " << message << "\n"
              << "usage: kalimorctl " << command.m_name << " " << command.m_usage << "\n";
    return CTL_USAGE;
}

int CtlFail(std::string_view message)
{
    std::cerr << "kalimorctl: " << message << "\n";
    return CTL_FAILED;
}

void CtlTakeJsonFlag(CCtlContext& context)
{
    const auto it = std::remove(context.m_args.begin(), context.m_args.end(), "--json");
    if (it != context.m_args.end())
    {
        context.m_bJson = true;
        context.m_args.erase(it, context.m_args.end());
    }
}

CProfileConfig CtlLoadProfile(const CCtlContext& context)
{
    CProfileConfig config;
    if (context.m_strProfileRoot.empty())
        config.LoadSettings();
    else
        config.LoadSettings(context.m_strProfileRoot);
    return config;
}

CCtlLogSession::CCtlLogSession(const std::string& strLogPath, int nLevel) : m_strPath(strLogPath)
{
    if (m_strPath.empty())
    {
        std::string strTemplate = "/tmp/kalimorctl-XXXXXX";
        if (const char* szTmp = std::getenv("TMPDIR"); szTmp && *szTmp)
            strTemplate = std::string(szTmp) + "/kalimorctl-XXXXXX";
        if (::mkdtemp(strTemplate.data()))
        {
            m_strTempFolder = strTemplate;
            m_strPath = m_strTempFolder + "/kalimorctl.log";
        }
    }
    if (!m_strPath.empty())
        GetLog().Open(m_strPath, nLevel);
}

CCtlLogSession::~CCtlLogSession()
{
    GetLog().Close();
    if (!m_strTempFolder.empty())
    {
        ::unlink(m_strPath.c_str());
        ::rmdir(m_strTempFolder.c_str());
    }
}

void CCtlLogSession::Finish(int nExitCode)
{
    GetLog().Close();
    if (nExitCode != CTL_FAILED || m_strTempFolder.empty())
        return;
    std::string strLog;
    if (CFileUtils::LoadAllTxtFile(m_strPath, strLog) && !strLog.empty())
        std::cerr << "kalimorctl: the client's log says:\n" << strLog;
}
