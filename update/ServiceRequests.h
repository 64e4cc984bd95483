#pragma once

#include "HttpRequest.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// One package of an update list: its content version and its URL.
using CUpdateList = std::vector<std::pair<std::string, std::string>>;

// Signs in: the salt for the login's credential digest. With retry, a failed
// answer is asked again (after a pause, up to 50 times), because an account
// made a moment ago may not yet be known to the update service.
class CHttpReqSalt : public CHttpRequest
{
public:
    static std::shared_ptr<CHttpReqSalt> DoRequest(CRequestHandlers handlers,
                                                   const CRequestSettings& settings,
                                                   std::string strLogin, bool bRetry);
    std::string GetSalt() const;

protected:
    CHttpReqSalt(const CRequestSettings& settings, std::string strLogin, bool bRetry);
    void GetRequestBuffer(CRequestBytes& body) override;
    bool ParseResponseBuffer(const CRequestBytes& response) override;

private:
    std::string m_strLogin;
    bool m_bRetry;
};

// The newest client the service offers: version and installer URL.
class CHttpReqClientVersions : public CHttpRequest
{
public:
    static std::shared_ptr<CHttpReqClientVersions> DoRequest(CRequestHandlers handlers,
                                                             const CRequestSettings& settings,
                                                             std::string strLogin,
                                                             std::string strPassword);
    std::string GetVersion() const;
    std::string GetUrl() const;

protected:
    CHttpReqClientVersions(const CRequestSettings& settings, std::string strLogin,
                           std::string strPassword);
    void GetRequestBuffer(CRequestBytes& body) override;
    bool ParseResponseBuffer(const CRequestBytes& response) override;

private:
    std::string m_strLogin;
    std::string m_strPassword;
};

// The packages of the whole content (nothing installed yet).
class CHttpReqFullUpdate : public CHttpRequest
{
public:
    static std::shared_ptr<CHttpReqFullUpdate> DoRequest(CRequestHandlers handlers,
                                                         const CRequestSettings& settings,
                                                         std::string strLogin,
                                                         std::string strPassword);
    // Appends the (version, URL) pairs in answer order, the order of installation.
    void GetUpdateList(CUpdateList& list) const;

protected:
    CHttpReqFullUpdate(const CRequestSettings& settings, std::string strObjectPath,
                       std::string strLogin, std::string strPassword);
    void GetRequestBuffer(CRequestBytes& body) override;
    bool ParseResponseBuffer(const CRequestBytes& response) override;

    std::string m_strLogin;
    std::string m_strPassword;
};

// The packages newer than the installed content version.
class CHttpReqUpdateContent : public CHttpReqFullUpdate
{
public:
    static std::shared_ptr<CHttpReqUpdateContent>
    DoRequest(CRequestHandlers handlers, const CRequestSettings& settings, std::string strLogin,
              std::string strPassword, std::string strContentVersion);

protected:
    CHttpReqUpdateContent(const CRequestSettings& settings, std::string strLogin,
                          std::string strPassword, std::string strContentVersion);
    void GetRequestBuffer(CRequestBytes& body) override;

private:
    std::string m_strContentVersion;
};

// The client-version watcher: asks without an account whether a newer client
// exists and, when one does, hands its URL to the main window after a pause.
// It never reports a failure.
class CCheckClientThread : public CHttpRequest
{
public:
    using NotifyFn = std::function<void(std::string)>;
    static std::shared_ptr<CCheckClientThread> Start(const CRequestSettings& settings,
                                                     NotifyFn notify);

protected:
    CCheckClientThread(const CRequestSettings& settings, NotifyFn notify);
    void GetRequestBuffer(CRequestBytes& body) override;
    bool ParseResponseBuffer(const CRequestBytes& response) override;

private:
    NotifyFn m_notify;
};
