#pragma once

#include "HttpSettings.h"
#include "LineProtocol.h"
#include "ServiceConfig.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CHttpSession;
class IHttpOutput;
using CRequestBytes = std::vector<std::uint8_t>;

// What a request calls when it ends: exactly one of success and error, on
// its own thread. Downloads also report progress in percent.
struct CRequestHandlers
{
    std::function<void()> m_success;
    std::function<void()> m_error;
    std::function<void(unsigned)> m_progress;
};

// Everything a request needs, handed over when it starts: where the service
// is, how to reach it, and the pauses of the request rules.
struct CRequestSettings
{
    CServiceConfig m_service;
    CHttpSettings m_http;
    // The salt request's retries after a sign-up.
    int m_nSaltRetries = 50;
    std::chrono::milliseconds m_saltRetryPause{10000};
    // A download that ends a step shows the full bar this long.
    std::chrono::milliseconds m_finishPause{1000};
    // The client-version watcher waits this long before it reports.
    std::chrono::milliseconds m_clientNoticeDelay{5000};
};

// One exchange with the service on a worker thread of its own: one HTTP
// transfer, a check of the answer, then exactly one handler. The object lives
// as long as the caller's pointer or its thread, whichever is longer; the
// caller uses the pointer only inside a handler or to cancel.
class CHttpRequest : public std::enable_shared_from_this<CHttpRequest>
{
public:
    virtual ~CHttpRequest();
    CHttpRequest(const CHttpRequest&) = delete;
    CHttpRequest& operator=(const CHttpRequest&) = delete;

    // Stores the handlers; called once before the thread starts.
    void RegisterHandlers(CRequestHandlers handlers);
    // Turns the coming handler into a no-op and ends a running transfer; the
    // thread still runs to its end.
    virtual void KillRequest();
    bool IsKilled() const { return m_bKilled; }

    // Filled from a well-formed "ERROR" answer; 0 and empty otherwise.
    int GetErrorCode() const { return m_nErrorCode; }
    const std::string& GetErrorText() const { return m_strErrorText; }
    const CAnswerLines& GetLines() const { return m_lines; }

    const std::string& GetHost() const { return m_strHost; }
    unsigned GetPort() const { return m_nPort; }
    const std::string& GetObjectPath() const { return m_strObjectPath; }
    // An "http://" URL replaces host, port (80 unless it names one) and
    // object path; any other URL changes nothing.
    void setUrl(std::string_view url);

    static std::string GetDeviceID();

protected:
    CHttpRequest(const CRequestSettings& settings, std::string strObjectPath);

    // The update host on its port.
    virtual void SetDefaults();
    virtual void DoRequest(CRequestBytes& response);
    virtual void DoRequest(const CRequestBytes& body, CRequestBytes& response);
    virtual bool CheckResult(const CAnswerLines& lines);
    virtual void GetRequestBuffer(CRequestBytes& body);
    virtual bool ParseResponseBuffer(const CRequestBytes& response) = 0;

    // The answer handling shared by the line-protocol requests: parse, take
    // the error out of an "ERROR" answer, check it.
    bool ParseAndCheck(const CRequestBytes& response);
    // Waits unless the request is killed first; false when killed.
    bool SleepUnlessKilled(std::chrono::milliseconds duration);

    // Makes a session for one transfer that KillRequest can stop.
    std::shared_ptr<CHttpSession> BeginSession();
    void EndSession();
    // One transfer in a session of its own: open, transfer, close; the
    // body received goes to response.
    void RunSession(CRequestBytes& response,
                    const std::function<void(CHttpSession&, IHttpOutput&)>& transfer);

    // Starts the request's thread; the thread keeps the object alive.
    static void Launch(const std::shared_ptr<CHttpRequest>& pRequest);

    CRequestSettings m_settings;
    std::string m_strHost;
    unsigned m_nPort = 80;
    std::string m_strObjectPath;
    bool m_bUsePost = true;
    int m_nErrorCode = 0;
    std::string m_strErrorText;
    CAnswerLines m_lines;

    void ReportProgress(unsigned nPercent);

private:
    // The thread entry.
    void InitInstance();
    CRequestHandlers TakeHandlers();

    std::atomic<bool> m_bKilled{false};
    std::mutex m_mutex; // guards the handlers and the session pointer
    std::condition_variable m_killed;
    CRequestHandlers m_handlers;
    std::shared_ptr<CHttpSession> m_pSession;
};
