#pragma once

#include "HttpException.h"
#include "HttpIO.h"
#include "HttpSettings.h"

#include <atomic>
#include <memory>
#include <string>

// One HTTP connection to one server for one request, on libcurl. Two transfers:
// a POST whose body comes from an input, and a GET whose body goes to an
// output. Bodies move in 4096-byte chunks; a response is complete when the
// transport has ended and ten reads in a row (100 ms apart) brought nothing.
// Every failure is logged and then thrown as CHTTPException. Only Stop may be
// called from another thread.
class CHttpSession
{
public:
    CHttpSession();
    virtual ~CHttpSession();
    CHttpSession(const CHttpSession&) = delete;
    CHttpSession& operator=(const CHttpSession&) = delete;

    // Clears the stop flag and sets up the session: user agent, proxy mode
    // (direct, the proxy environment variables, or a named proxy with
    // credentials) and the connect time-out.
    void Initialize(const CHttpSettings& settings);
    void Open(const std::string& strHost, unsigned nPort);
    void Post(const std::string& strObjectPath, IHttpInput& input, IHttpOutput& output);
    void Get(const std::string& strObjectPath, IHttpOutput& output);
    // Ends a running transfer before its next read (a stalled one within
    // 100 ms). Safe from any thread.
    void Stop() { m_bStop = true; }
    void Close();
    void Destroy();

    static std::string GetUserAgent();

private:
    struct CInternetSession;
    class CTransfer;

    void ReadBody(CTransfer& transfer, IHttpOutput& output, bool bWatchStop,
                  const char* szReadError);

    std::atomic<bool> m_bStop{false};
    std::unique_ptr<CInternetSession> m_pSession;
    std::unique_ptr<std::string> m_pConnection; // "http://host:port" while open
};
