#include "HttpRequest.h"

#include "DeviceID.h"
#include "HttpSession.h"
#include "Logger.h"
#include "TextUtils.h"
#include "WorkerThreads.h"

#include <charconv>

namespace
{
void DoNothing() {}

CRequestHandlers DoNothingHandlers()
{
    return {DoNothing, DoNothing, nullptr};
}
} // namespace

CHttpRequest::CHttpRequest(const CRequestSettings& settings, std::string strObjectPath)
    : m_settings(settings),
      m_strObjectPath(std::move(strObjectPath)),
      m_handlers(DoNothingHandlers())
{
    CHttpRequest::SetDefaults();
}

CHttpRequest::~CHttpRequest() = default;

void CHttpRequest::SetDefaults()
{
    m_strHost = m_settings.m_service.m_strUpdateHost;
    m_nPort = m_settings.m_service.m_nUpdatePort;
}

void CHttpRequest::RegisterHandlers(CRequestHandlers handlers)
{
    std::lock_guard lock(m_mutex);
    if (!handlers.m_success)
        handlers.m_success = DoNothing;
    if (!handlers.m_error)
        handlers.m_error = DoNothing;
    m_handlers = std::move(handlers);
}

void CHttpRequest::KillRequest()
{
    std::shared_ptr<CHttpSession> pSession;
    {
        std::lock_guard lock(m_mutex);
        m_handlers = DoNothingHandlers();
        m_bKilled = true;
        pSession = m_pSession;
    }
    m_killed.notify_all();
    if (pSession)
        pSession->Stop();
}

CRequestHandlers CHttpRequest::TakeHandlers()
{
    std::lock_guard lock(m_mutex);
    CRequestHandlers handlers = m_handlers;
    m_handlers = DoNothingHandlers();
    return handlers;
}

void CHttpRequest::ReportProgress(unsigned nPercent)
{
    std::function<void(unsigned)> progress;
    {
        std::lock_guard lock(m_mutex);
        progress = m_handlers.m_progress;
    }
    if (progress)
        progress(nPercent);
}

bool CHttpRequest::SleepUnlessKilled(std::chrono::milliseconds duration)
{
    std::unique_lock lock(m_mutex);
    return !m_killed.wait_for(lock, duration, [this] { return m_bKilled.load(); });
}

std::shared_ptr<CHttpSession> CHttpRequest::BeginSession()
{
    auto pSession = std::make_shared<CHttpSession>();
    std::lock_guard lock(m_mutex);
    m_pSession = pSession;
    return pSession;
}

void CHttpRequest::EndSession()
{
    std::lock_guard lock(m_mutex);
    m_pSession.reset();
}

void CHttpRequest::setUrl(std::string_view url)
{
    if (!CTextUtils::StartsWithNoCaseAscii(url, "http://"))
        return;
    std::string_view rest = url.substr(7);
    const auto nSlash = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, nSlash);
    std::string strObject =
        nSlash == std::string_view::npos ? "/" : std::string(rest.substr(nSlash));
    if (strObject.starts_with('?') || strObject.starts_with('#'))
        strObject.insert(0, "/");
    if (const auto nHash = strObject.find('#'); nHash != std::string::npos)
        strObject.erase(nHash);
    if (const auto nAt = authority.rfind('@'); nAt != std::string_view::npos)
        authority = authority.substr(nAt + 1);

    std::string_view host = authority;
    unsigned nPort = 80;
    const auto nClose = authority.rfind(']');
    const auto nColon = authority.rfind(':');
    if (nColon != std::string_view::npos && (nClose == std::string_view::npos || nColon > nClose))
    {
        const std::string_view port = authority.substr(nColon + 1);
        unsigned nValue = 0;
        const auto [pEnd, error] = std::from_chars(port.data(), port.data() + port.size(), nValue);
        if (error != std::errc() || pEnd != port.data() + port.size() || nValue == 0 ||
            nValue > 65535)
            return;
        nPort = nValue;
        host = authority.substr(0, nColon);
    }
    if (host.starts_with('[') && host.ends_with(']'))
        host = host.substr(1, host.size() - 2);
    if (host.empty())
        return;
    m_strHost = host;
    m_nPort = nPort;
    m_strObjectPath = strObject;
}

std::string CHttpRequest::GetDeviceID()
{
    return CDeviceID::GetDeviceID();
}

void CHttpRequest::GetRequestBuffer(CRequestBytes&) {}

bool CHttpRequest::CheckResult(const CAnswerLines& lines)
{
    return CLineProtocol::CheckResult(lines);
}

bool CHttpRequest::ParseAndCheck(const CRequestBytes& response)
{
    m_lines.clear();
    CLineProtocol::ParseText(response, m_lines);
    CLineProtocol::ExtractError(m_lines, m_nErrorCode, m_strErrorText);
    return CheckResult(m_lines);
}

void CHttpRequest::DoRequest(const CRequestBytes& body, CRequestBytes& response)
{
    CMemFile file(body);
    CHttpFileTransfer input(&file, 0);
    RunSession(response, [&](CHttpSession& session, IHttpOutput& output) {
        input.Seek(0);
        session.Post(m_strObjectPath, input, output);
    });
}

void CHttpRequest::DoRequest(CRequestBytes& response)
{
    RunSession(response, [&](CHttpSession& session, IHttpOutput& output) {
        session.Get(m_strObjectPath, output);
    });
}

void CHttpRequest::RunSession(CRequestBytes& response,
                              const std::function<void(CHttpSession&, IHttpOutput&)>& transfer)
{
    KLOG_NOTICE << "Perform http request";
    CHttpBufferOutput output;
    const auto pSession = BeginSession();
    // The session is given up however the transfer ends, a throw included.
    struct CEnd
    {
        CHttpRequest* m_pRequest;
        ~CEnd() { m_pRequest->EndSession(); }
    } end{this};
    pSession->Initialize(m_settings.m_http);
    if (m_bKilled)
        pSession->Stop();
    pSession->Open(m_strHost, m_nPort);
    transfer(*pSession, output);
    pSession->Close();
    response = output.GetData();
}

void CHttpRequest::InitInstance()
{
    KLOG_NOTICE << "Start http request thread";
    bool bSuccess = false;
    try
    {
        CRequestBytes response;
        if (m_bUsePost)
        {
            CRequestBytes body;
            GetRequestBuffer(body);
            if (body.empty())
            {
                KLOG_ERR << "Cannot get request buffer";
                throw std::logic_error("empty request body");
            }
            DoRequest(body, response);
        }
        else
            DoRequest(response);
        bSuccess = ParseResponseBuffer(response);
    }
    catch (...)
    {
        KLOG_ERR << "Exception on CHttpRequest::InitInstance";
        bSuccess = false;
    }
    const CRequestHandlers handlers = TakeHandlers();
    try
    {
        if (bSuccess)
            handlers.m_success();
        else
            handlers.m_error();
    }
    catch (...)
    {
        // Nothing may leave a worker thread.
        KLOG_ERR << "Exception in a handler of CHttpRequest";
    }
}

void CHttpRequest::Launch(const std::shared_ptr<CHttpRequest>& pRequest)
{
    CWorkerThreads::Start([pRequest] { pRequest->InitInstance(); });
}
