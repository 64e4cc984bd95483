#include "HttpSession.h"

#include "Logger.h"
#include "ServiceConfig.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace
{
constexpr std::size_t kChunkSize = 4096;
constexpr std::uint32_t kUnknownLength = 1048576;
constexpr int kPollMilliseconds = 100;

void InitCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CCurlDeleter
{
    void operator()(CURL* p) const { curl_easy_cleanup(p); }
    void operator()(curl_slist* p) const { curl_slist_free_all(p); }
};

struct CCurlMultiDeleter
{
    void operator()(CURLM* p) const { curl_multi_cleanup(p); }
};
} // namespace

// The configured easy handle: what the platform calls the Internet session.
struct CHttpSession::CInternetSession
{
    std::unique_ptr<CURL, CCurlDeleter> m_pCurl;
    CHttpSettings m_settings;
};

// One request in flight, driven through a multi handle so that reads can be
// pulled one chunk at a time while the stop flag is watched.
class CHttpSession::CTransfer
{
public:
    CTransfer(CURL* pCurl, const std::atomic<bool>& bStop, std::chrono::milliseconds stallTimeout)
        : m_pCurl(pCurl),
          m_bStop(bStop),
          m_stallTimeout(stallTimeout)
    {
        curl_easy_setopt(m_pCurl, CURLOPT_WRITEFUNCTION, &CTransfer::OnBody);
        curl_easy_setopt(m_pCurl, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(m_pCurl, CURLOPT_HEADERFUNCTION, &CTransfer::OnHeader);
        curl_easy_setopt(m_pCurl, CURLOPT_HEADERDATA, this);
    }

    ~CTransfer()
    {
        if (m_bAdded)
            curl_multi_remove_handle(m_pMulti.get(), m_pCurl);
    }

    CTransfer(const CTransfer&) = delete;
    CTransfer& operator=(const CTransfer&) = delete;

    // A redirect's head is not the response's head when libcurl follows it.
    void SetFollowRedirects(bool bFollow) { m_bFollowRedirects = bFollow; }

    // Starts the request and waits for the response head (or the end).
    void Start()
    {
        curl_multi_add_handle(m_pMulti.get(), m_pCurl);
        m_bAdded = true;
        Pump([this] { return m_bHeadersDone || !m_pending.empty(); });
    }

    bool IsDone() const { return m_bDone; }
    CURLcode GetResult() const { return m_result; }
    bool IsStopped() const { return m_bStop; }

    long GetStatus() const
    {
        long nStatus = 0;
        curl_easy_getinfo(m_pCurl, CURLINFO_RESPONSE_CODE, &nStatus);
        return nStatus;
    }

    curl_off_t GetContentLength() const
    {
        curl_off_t nLength = -1;
        curl_easy_getinfo(m_pCurl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &nLength);
        return nLength;
    }

    // Up to nCapacity bytes of the body; 0 once the transport has ended (or
    // was stopped). A failed transport shows in GetResult once it returns 0.
    std::size_t Read(std::uint8_t* pBuffer, std::size_t nCapacity)
    {
        if (m_nPendingPos >= m_pending.size())
            Pump([this] { return m_nPendingPos < m_pending.size(); });
        const std::size_t nCount = std::min(nCapacity, m_pending.size() - m_nPendingPos);
        std::copy_n(m_pending.data() + m_nPendingPos, nCount, pBuffer);
        m_nPendingPos += nCount;
        if (m_nPendingPos == m_pending.size())
        {
            m_pending.clear();
            m_nPendingPos = 0;
        }
        return nCount;
    }

private:
    template <typename Ready> void Pump(Ready ready)
    {
        while (!m_bDone && !ready() && !m_bStop)
        {
            // A server that sends nothing at all for this long has stalled.
            if (std::chrono::steady_clock::now() - m_lastActivity > m_stallTimeout)
            {
                Finish(CURLE_OPERATION_TIMEDOUT);
                break;
            }
            int nRunning = 0;
            if (curl_multi_perform(m_pMulti.get(), &nRunning) != CURLM_OK)
            {
                Finish(CURLE_RECV_ERROR);
                break;
            }
            int nMessages = 0;
            while (CURLMsg* pMessage = curl_multi_info_read(m_pMulti.get(), &nMessages))
                if (pMessage->msg == CURLMSG_DONE)
                    Finish(pMessage->data.result);
            if (m_bDone || ready())
                break;
            curl_multi_poll(m_pMulti.get(), nullptr, 0, kPollMilliseconds, nullptr);
        }
    }

    void Finish(CURLcode result)
    {
        m_bDone = true;
        m_result = result;
    }

    static std::size_t OnBody(char* pData, std::size_t nSize, std::size_t nCount, void* pUser)
    {
        auto* pThis = static_cast<CTransfer*>(pUser);
        pThis->m_lastActivity = std::chrono::steady_clock::now();
        pThis->m_pending.insert(pThis->m_pending.end(), pData, pData + nSize * nCount);
        return nSize * nCount;
    }

    // The head is complete at the blank line that ends a final (not 1xx) status.
    static std::size_t OnHeader(char* pData, std::size_t nSize, std::size_t nCount, void* pUser)
    {
        auto* pThis = static_cast<CTransfer*>(pUser);
        pThis->m_lastActivity = std::chrono::steady_clock::now();
        const std::string_view line(pData, nSize * nCount);
        if (line.starts_with("HTTP/"))
        {
            const auto nSpace = line.find(' ');
            pThis->m_nHeadStatus = nSpace == std::string_view::npos
                                       ? 0
                                       : std::atoi(std::string(line.substr(nSpace + 1, 3)).c_str());
        }
        else if ((line == "\r\n" || line == "\n") && pThis->m_nHeadStatus >= 200 &&
                 !(pThis->m_bFollowRedirects && pThis->m_nHeadStatus >= 300 &&
                   pThis->m_nHeadStatus < 400))
            pThis->m_bHeadersDone = true;
        return nSize * nCount;
    }

    CURL* m_pCurl;
    const std::atomic<bool>& m_bStop;
    std::chrono::milliseconds m_stallTimeout;
    std::chrono::steady_clock::time_point m_lastActivity = std::chrono::steady_clock::now();
    std::unique_ptr<CURLM, CCurlMultiDeleter> m_pMulti{curl_multi_init()};
    bool m_bAdded = false;
    bool m_bDone = false;
    bool m_bHeadersDone = false;
    int m_nHeadStatus = 0;
    CURLcode m_result = CURLE_OK;
    bool m_bFollowRedirects = false;
    std::vector<std::uint8_t> m_pending;
    std::size_t m_nPendingPos = 0;
};

namespace
{
// Feeds a request body to libcurl from the input, at most 4096 bytes a time.
std::size_t ReadRequestBody(char* pBuffer, std::size_t nSize, std::size_t nCount, void* pUser)
{
    auto* pInput = static_cast<IHttpInput*>(pUser);
    try
    {
        return pInput->Read(pBuffer, std::min(nSize * nCount, kChunkSize));
    }
    catch (...)
    {
        return CURL_READFUNC_ABORT;
    }
}
} // namespace

CHttpSession::CHttpSession()
{
    InitCurlOnce();
}

CHttpSession::~CHttpSession()
{
    Destroy();
}

std::string CHttpSession::GetUserAgent()
{
    return std::string(kUserAgentProduct) + " " + std::string(kClientVersion);
}

void CHttpSession::Initialize(const CHttpSettings& settings)
{
    KTRACE("CHttpSession::Initialize");
    m_bStop = false;
    auto pSession = std::make_unique<CInternetSession>();
    pSession->m_pCurl.reset(curl_easy_init());
    pSession->m_settings = settings;
    CURL* pCurl = pSession->m_pCurl.get();
    if (!pCurl)
    {
        KLOG_ERR << "Exception on CHttpSession::Initialize";
        throw CHTTPException();
    }
    const std::string strAgent = GetUserAgent();
    curl_easy_setopt(pCurl, CURLOPT_USERAGENT, strAgent.c_str());
    curl_easy_setopt(pCurl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(pCurl, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(pCurl, CURLOPT_REDIR_PROTOCOLS_STR, "http");

    if (settings.m_nProxyType == PROXY_DIRECT)
        curl_easy_setopt(pCurl, CURLOPT_PROXY, "");
    else if (settings.m_nProxyType == PROXY_NAMED)
    {
        const std::string strProxy =
            settings.m_strProxyHost + ":" + std::to_string(settings.m_nProxyPort);
        curl_easy_setopt(pCurl, CURLOPT_PROXY, strProxy.c_str());
        // The named proxy serves every host, whatever no_proxy says.
        curl_easy_setopt(pCurl, CURLOPT_NOPROXY, "");
        if (!settings.m_strProxyLogin.empty())
        {
            bool bDone = curl_easy_setopt(pCurl, CURLOPT_PROXYUSERNAME,
                                          settings.m_strProxyLogin.c_str()) == CURLE_OK;
            bDone = bDone && curl_easy_setopt(pCurl, CURLOPT_PROXYPASSWORD,
                                              settings.m_strProxyPassword.c_str()) == CURLE_OK;
            if (!bDone)
                KLOG_WARN << "Can't setup internet proxy login/password";
        }
    }
    // Otherwise libcurl takes the proxy from the environment (http_proxy,
    // all_proxy, no_proxy): the system's settings.

    // A bounded connect (a stalled response is bounded by the transfer itself).
    if (curl_easy_setopt(pCurl, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(settings.m_connectTimeout.count())) != CURLE_OK)
        KLOG_WARN << "Can't setup internet timeout";
    m_pSession = std::move(pSession);
}

void CHttpSession::Open(const std::string& strHost, unsigned nPort)
{
    KLOG_NOTICE << "Open location " << strHost << ":" << nPort;
    Close();
    if (!m_pSession)
    {
        KLOG_ERR << "Exception on CHttpSession::doOpen";
        throw CHTTPException();
    }
    // A literal IPv6 address needs its brackets in a URL.
    const bool bIPv6 = strHost.find(':') != std::string::npos;
    m_pConnection = std::make_unique<std::string>(
        "http://" + (bIPv6 ? "[" + strHost + "]" : strHost) + ":" + std::to_string(nPort));
}

void CHttpSession::Close()
{
    m_pConnection.reset();
}

void CHttpSession::Destroy()
{
    Close();
    m_pSession.reset();
}

void CHttpSession::ReadBody(CTransfer& transfer, IHttpOutput& output, bool bWatchStop,
                            const char* szReadError)
{
    std::array<std::uint8_t, kChunkSize> buffer{};
    int nIdle = 0;
    const int nIdleReads = m_pSession->m_settings.m_nIdleReads;
    while (nIdle < nIdleReads)
    {
        if (bWatchStop && m_bStop)
            break;
        const std::size_t nRead = transfer.Read(buffer.data(), buffer.size());
        if (nRead > 0)
        {
            output.Write(buffer.data(), nRead);
            nIdle = 0;
            continue;
        }
        if (transfer.IsDone() && transfer.GetResult() != CURLE_OK)
        {
            KLOG_ERR << szReadError << static_cast<int>(transfer.GetResult());
            throw CHTTPException();
        }
        if (transfer.IsStopped())
            break;
        std::this_thread::sleep_for(m_pSession->m_settings.m_idleInterval);
        ++nIdle;
    }
}

void CHttpSession::Post(const std::string& strObjectPath, IHttpInput& input, IHttpOutput& output)
{
    KTRACE("CHttpSession::Post", strObjectPath);
    if (!m_pSession || !m_pConnection)
        throw CHTTPException();
    CURL* pCurl = m_pSession->m_pCurl.get();
    const std::string strUrl = *m_pConnection + strObjectPath;
    std::unique_ptr<curl_slist, CCurlDeleter> pHeaders(
        curl_slist_append(nullptr, "Content-type: application/x-www-form-urlencoded"));
    // The body follows the head at once; no "100 Continue" round trip.
    pHeaders.reset(curl_slist_append(pHeaders.release(), "Expect:"));
    curl_easy_setopt(pCurl, CURLOPT_URL, strUrl.c_str());
    curl_easy_setopt(pCurl, CURLOPT_POST, 1L);
    curl_easy_setopt(pCurl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(pCurl, CURLOPT_HTTPHEADER, pHeaders.get());
    const std::int32_t nLength = input.GetLength();
    if (nLength == -1)
    {
        curl_easy_setopt(pCurl, CURLOPT_POSTFIELDS, "");
        curl_easy_setopt(pCurl, CURLOPT_POSTFIELDSIZE, 0L);
    }
    else
    {
        curl_easy_setopt(pCurl, CURLOPT_POSTFIELDS, nullptr);
        curl_easy_setopt(pCurl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(nLength));
        curl_easy_setopt(pCurl, CURLOPT_READFUNCTION, &ReadRequestBody);
        curl_easy_setopt(pCurl, CURLOPT_READDATA, &input);
    }

    CTransfer transfer(pCurl, m_bStop, m_pSession->m_settings.m_stallTimeout);
    transfer.Start();
    if (transfer.IsDone() && transfer.GetResult() != CURLE_OK && !transfer.IsStopped())
        KLOG_ERR << "Exception on CHttpSession::SendRequest, code: "
                 << static_cast<int>(transfer.GetResult());
    const long nStatus = transfer.GetStatus();
    if (nStatus != 200)
    {
        KLOG_ERR << "Http get error: " << nStatus;
        throw CHTTPException();
    }
    ReadBody(transfer, output, true, "Exception on CHttpSession::Post, httpcode: ");
}

void CHttpSession::Get(const std::string& strObjectPath, IHttpOutput& output)
{
    KTRACE("CHttpSession::Get", strObjectPath);
    if (!m_pSession || !m_pConnection)
        throw CHTTPException();
    CURL* pCurl = m_pSession->m_pCurl.get();
    const std::string strUrl = *m_pConnection + strObjectPath;
    curl_easy_setopt(pCurl, CURLOPT_URL, strUrl.c_str());
    curl_easy_setopt(pCurl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(pCurl, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(pCurl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(pCurl, CURLOPT_MAXREDIRS, 5L);

    CTransfer transfer(pCurl, m_bStop, m_pSession->m_settings.m_stallTimeout);
    transfer.SetFollowRedirects(true);
    try
    {
        transfer.Start();
        if (transfer.IsDone() && transfer.GetResult() != CURLE_OK && !transfer.IsStopped() &&
            transfer.GetStatus() == 0)
        {
            KLOG_ERR << "InternetException on CHttpSession::Get, code: "
                     << static_cast<int>(transfer.GetResult());
            throw CHTTPException();
        }
        const long nStatus = transfer.GetStatus();
        if (nStatus != 200)
        {
            if (transfer.IsStopped())
                return;
            KLOG_ERR << "Http get error: " << nStatus;
            throw CHTTPException();
        }
        const curl_off_t nLength = transfer.GetContentLength();
        output.SetDataLength(
            nLength < 0 ? kUnknownLength
                        : static_cast<std::uint32_t>(std::min<curl_off_t>(nLength, UINT32_MAX)));
        ReadBody(transfer, output, true,
                 "Exception on CHttpSession::Get can't read data. CInternetException.code=");
    }
    catch (const CHTTPException&)
    {
        KLOG_ERR << "Exception on CHttpSession::Get, code: " << errno;
        throw;
    }
}
