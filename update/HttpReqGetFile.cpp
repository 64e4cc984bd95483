#include "HttpReqGetFile.h"

#include "HttpSession.h"
#include "Logger.h"

#include <sys/stat.h>
#include <unistd.h>

CHttpReqGetFile::CHttpReqGetFile(const CRequestSettings& settings, std::string_view url,
                                 std::string strDestinationPath, bool bFinishPause)
    : CHttpRequest(settings, ""),
      m_strDestinationPath(std::move(strDestinationPath)),
      m_bFinishPause(bFinishPause)
{
    m_bUsePost = false;
    setUrl(url);
}

std::shared_ptr<CHttpReqGetFile>
CHttpReqGetFile::DoRequest(CRequestHandlers handlers, const CRequestSettings& settings,
                           std::string_view url, std::string strDestinationPath, bool bFinishPause)
{
    std::shared_ptr<CHttpReqGetFile> pRequest(
        new CHttpReqGetFile(settings, url, std::move(strDestinationPath), bFinishPause));
    pRequest->RegisterHandlers(std::move(handlers));
    Launch(pRequest);
    return pRequest;
}

void CHttpReqGetFile::KillRequest()
{
    KTRACE("CHttpReqGetFile::KillRequest");
    CHttpRequest::KillRequest();
    // The worker may still hold the file open; unlinking it is safe, and the
    // worker removes it again should it have created it only now.
    ::unlink(m_strDestinationPath.c_str());
}

void CHttpReqGetFile::DoRequest(CRequestBytes&)
{
    KLOG_NOTICE << "Perform http request";
    try
    {
        Download();
    }
    catch (...)
    {
        // Part of a file is of no use (a download always starts over), and
        // left in place it could pass for the whole: a web file is used
        // whenever it exists.
        ::unlink(m_strDestinationPath.c_str());
        throw;
    }
    if (IsKilled())
        ::unlink(m_strDestinationPath.c_str());
}

void CHttpReqGetFile::Download()
{
    CHttpFileOutput output;
    output.Open(m_strDestinationPath);
    output.SetProgressCallback([this](unsigned nPercent) { ReportProgress(nPercent); });
    {
        const auto pSession = BeginSession();
        try
        {
            pSession->Initialize(m_settings.m_http);
            if (IsKilled())
                pSession->Stop();
            pSession->Open(m_strHost, m_nPort);
            pSession->Get(m_strObjectPath, output);
            pSession->Close();
        }
        catch (...)
        {
            EndSession();
            throw;
        }
        EndSession();
    }
    output.Close();
    if (m_bFinishPause && !IsKilled())
    {
        ReportProgress(100);
        SleepUnlessKilled(m_settings.m_finishPause);
    }
}

bool CHttpReqGetFile::ParseResponseBuffer(const CRequestBytes&)
{
    struct stat st
    {
    };
    return ::stat(m_strDestinationPath.c_str(), &st) == 0;
}
