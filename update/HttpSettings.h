#pragma once

#include <chrono>
#include <string>

class CRegistryConfig;

// Proxy modes of the "ProxyType" setting; any other value means "system".
enum EProxyType : int
{
    PROXY_DIRECT = 1,
    PROXY_SYSTEM = 2,
    PROXY_NAMED = 3,
};

// Everything an HTTP session needs, copied from the settings when a request
// starts, so a worker thread never reads the settings object itself.
struct CHttpSettings
{
    int m_nProxyType = PROXY_SYSTEM;
    std::string m_strProxyHost;
    unsigned m_nProxyPort = 0;
    std::string m_strProxyLogin;
    std::string m_strProxyPassword;

    // A response is complete after this many empty reads this far apart.
    int m_nIdleReads = 10;
    std::chrono::milliseconds m_idleInterval{100};
    // Bounds on every network wait: connecting, and a response that stops
    // sending anything at all.
    std::chrono::milliseconds m_connectTimeout{60000};
    std::chrono::milliseconds m_stallTimeout{120000};

    static CHttpSettings FromConfig(const CRegistryConfig& config);
};
