#include "ServiceConfig.h"

#include "Logger.h"

#include <charconv>
#include <cstdlib>

bool CServiceConfig::ParseHostPort(std::string_view text, std::string& strHost, unsigned& nPort)
{
    const auto nColon = text.rfind(':');
    if (nColon == std::string_view::npos || nColon == 0 || nColon + 1 == text.size())
        return false;
    const std::string_view host = text.substr(0, nColon);
    const std::string_view port = text.substr(nColon + 1);
    if (host.find_first_of("/ \t\r\n@?#") != std::string_view::npos)
        return false;
    unsigned nValue = 0;
    const auto [pEnd, error] = std::from_chars(port.data(), port.data() + port.size(), nValue);
    if (error != std::errc() || pEnd != port.data() + port.size() || nValue == 0 || nValue > 65535)
        return false;
    strHost = host;
    nPort = nValue;
    return true;
}

CServiceConfig CServiceConfig::FromEnvironment()
{
    CServiceConfig config;
    const char* szOverride = std::getenv("KALIMOR_SERVICE");
    if (!szOverride || !*szOverride)
        return config;
    std::string strHost;
    unsigned nPort = 0;
    if (!ParseHostPort(szOverride, strHost, nPort))
    {
        KLOG_ERR << "CServiceConfig::FromEnvironment: KALIMOR_SERVICE is not host:port: "
                 << szOverride;
        return config;
    }
    config.m_strUpdateHost = config.m_strWebHost = strHost;
    config.m_nUpdatePort = config.m_nWebPort = nPort;
    config.m_strPasswordReminderUrl = config.GetWebUrl("/remind_password/");
    return config;
}

std::string CServiceConfig::GetWebUrl(std::string_view relativePath) const
{
    std::string strUrl = "http://" + m_strWebHost;
    if (m_nWebPort != 80)
        strUrl += ":" + std::to_string(m_nWebPort);
    if (!relativePath.starts_with('/') && !relativePath.starts_with('\\'))
        strUrl += '/';
    strUrl += relativePath;
    return strUrl;
}
