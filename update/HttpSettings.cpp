#include "HttpSettings.h"

#include "RegistryConfig.h"

CHttpSettings CHttpSettings::FromConfig(const CRegistryConfig& config)
{
    CHttpSettings settings;
    settings.m_nProxyType = config.m_nProxyType;
    settings.m_strProxyHost = config.m_strProxyHost;
    settings.m_nProxyPort = static_cast<unsigned>(config.m_nProxyPort);
    settings.m_strProxyLogin = config.m_strProxyLogin;
    settings.m_strProxyPassword = config.m_strProxyPassword;
    return settings;
}
