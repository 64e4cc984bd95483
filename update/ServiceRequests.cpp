#include "ServiceRequests.h"

#include "Logger.h"

namespace
{
// A line of an accepted answer: an error answer can have the same number of
// lines, and its code is no version.
std::string LineIfCount(const CAnswerLines& lines, std::size_t nCount, std::size_t nIndex)
{
    return lines.size() == nCount && lines[0] == "OK" ? lines[nIndex] : std::string();
}
} // namespace

// Makes the request, registers its handlers and starts its thread (the
// constructors are protected: a request exists only running).
#define KALIMOR_START(Type, ...)                                                                   \
    std::shared_ptr<Type> pRequest(new Type(__VA_ARGS__));                                         \
    pRequest->RegisterHandlers(std::move(handlers));                                               \
    Launch(pRequest);                                                                              \
    return pRequest

CHttpReqSalt::CHttpReqSalt(const CRequestSettings& settings, std::string strLogin, bool bRetry)
    : CHttpRequest(settings, "/distributor/salt"),
      m_strLogin(std::move(strLogin)),
      m_bRetry(bRetry)
{
}

std::shared_ptr<CHttpReqSalt> CHttpReqSalt::DoRequest(CRequestHandlers handlers,
                                                      const CRequestSettings& settings,
                                                      std::string strLogin, bool bRetry)
{
    KALIMOR_START(CHttpReqSalt, settings, std::move(strLogin), bRetry);
}

void CHttpReqSalt::GetRequestBuffer(CRequestBytes& body)
{
    body = CLineProtocol::BuildBody({m_strLogin});
}

bool CHttpReqSalt::ParseResponseBuffer(const CRequestBytes& response)
{
    bool bChecked = ParseAndCheck(response);
    for (int nAttempt = 0; !bChecked && m_bRetry && nAttempt < m_settings.m_nSaltRetries;
         ++nAttempt)
    {
        if (!SleepUnlessKilled(m_settings.m_saltRetryPause))
            return false;
        KLOG_NOTICE << "CHttpReqSalt: asking for the salt again, attempt " << nAttempt + 2;
        CRequestBytes body, answer;
        GetRequestBuffer(body);
        CHttpRequest::DoRequest(body, answer);
        m_nErrorCode = 0;
        m_strErrorText.clear();
        bChecked = ParseAndCheck(answer);
    }
    return bChecked && m_lines.size() == 3;
}

std::string CHttpReqSalt::GetSalt() const
{
    return LineIfCount(m_lines, 3, 2);
}

CHttpReqClientVersions::CHttpReqClientVersions(const CRequestSettings& settings,
                                               std::string strLogin, std::string strPassword)
    : CHttpRequest(settings, "/distributor/client_versions"),
      m_strLogin(std::move(strLogin)),
      m_strPassword(std::move(strPassword))
{
}

std::shared_ptr<CHttpReqClientVersions>
CHttpReqClientVersions::DoRequest(CRequestHandlers handlers, const CRequestSettings& settings,
                                  std::string strLogin, std::string strPassword)
{
    KALIMOR_START(CHttpReqClientVersions, settings, std::move(strLogin), std::move(strPassword));
}

void CHttpReqClientVersions::GetRequestBuffer(CRequestBytes& body)
{
    body = CLineProtocol::BuildBody({m_strLogin, m_strPassword, GetDeviceID(), kClientKind});
}

bool CHttpReqClientVersions::ParseResponseBuffer(const CRequestBytes& response)
{
    return ParseAndCheck(response) && m_lines.size() == 4;
}

std::string CHttpReqClientVersions::GetVersion() const
{
    return LineIfCount(m_lines, 4, 2);
}

std::string CHttpReqClientVersions::GetUrl() const
{
    return LineIfCount(m_lines, 4, 3);
}

CHttpReqFullUpdate::CHttpReqFullUpdate(const CRequestSettings& settings, std::string strObjectPath,
                                       std::string strLogin, std::string strPassword)
    : CHttpRequest(settings, std::move(strObjectPath)),
      m_strLogin(std::move(strLogin)),
      m_strPassword(std::move(strPassword))
{
}

std::shared_ptr<CHttpReqFullUpdate> CHttpReqFullUpdate::DoRequest(CRequestHandlers handlers,
                                                                  const CRequestSettings& settings,
                                                                  std::string strLogin,
                                                                  std::string strPassword)
{
    KALIMOR_START(CHttpReqFullUpdate, settings, "/distributor/full_content", std::move(strLogin),
                  std::move(strPassword));
}

void CHttpReqFullUpdate::GetRequestBuffer(CRequestBytes& body)
{
    body = CLineProtocol::BuildBody({m_strLogin, m_strPassword, GetDeviceID(), kClientKind});
}

bool CHttpReqFullUpdate::ParseResponseBuffer(const CRequestBytes& response)
{
    return ParseAndCheck(response);
}

void CHttpReqFullUpdate::GetUpdateList(CUpdateList& list) const
{
    for (std::size_t n = 2; n + 1 < m_lines.size(); n += 2)
        list.emplace_back(m_lines[n], m_lines[n + 1]);
}

CHttpReqUpdateContent::CHttpReqUpdateContent(const CRequestSettings& settings, std::string strLogin,
                                             std::string strPassword, std::string strContentVersion)
    : CHttpReqFullUpdate(settings, "/distributor/update_content", std::move(strLogin),
                         std::move(strPassword)),
      m_strContentVersion(std::move(strContentVersion))
{
}

std::shared_ptr<CHttpReqUpdateContent>
CHttpReqUpdateContent::DoRequest(CRequestHandlers handlers, const CRequestSettings& settings,
                                 std::string strLogin, std::string strPassword,
                                 std::string strContentVersion)
{
    KALIMOR_START(CHttpReqUpdateContent, settings, std::move(strLogin), std::move(strPassword),
                  std::move(strContentVersion));
}

void CHttpReqUpdateContent::GetRequestBuffer(CRequestBytes& body)
{
    body = CLineProtocol::BuildBody(
        {m_strLogin, m_strPassword, GetDeviceID(), kClientKind, m_strContentVersion});
}

CCheckClientThread::CCheckClientThread(const CRequestSettings& settings, NotifyFn notify)
    : CHttpRequest(settings, "/distributor/client_versions"),
      m_notify(std::move(notify))
{
}

std::shared_ptr<CCheckClientThread> CCheckClientThread::Start(const CRequestSettings& settings,
                                                              NotifyFn notify)
{
    CRequestHandlers handlers;
    KALIMOR_START(CCheckClientThread, settings, std::move(notify));
}

void CCheckClientThread::GetRequestBuffer(CRequestBytes& body)
{
    body = CLineProtocol::BuildBody({"", "", GetDeviceID(), kClientKind});
}

bool CCheckClientThread::ParseResponseBuffer(const CRequestBytes& response)
{
    CAnswerLines lines;
    CLineProtocol::ParseText(response, lines);
    // An "ERROR" answer has four lines too; its code is not a client version.
    if (lines.size() != 4 || lines[0] != "OK")
        return false;
    if (lines[2] != kClientVersion)
    {
        std::string strUrl = lines[3];
        if (!SleepUnlessKilled(m_settings.m_clientNoticeDelay))
            return true;
        if (m_notify)
            m_notify(std::move(strUrl));
    }
    return true;
}
