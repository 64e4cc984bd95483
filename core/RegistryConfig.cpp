#include "RegistryConfig.h"

#include "FileUtils.h"
#include "GLibPtr.h"
#include "Logger.h"
#include "TextUtils.h"

#include <glib.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace
{
constexpr const char* kSection = "UserConfig";

GKeyFilePtr LoadKeyFile(const std::string& strPath)
{
    GKeyFilePtr keyFile(g_key_file_new());
    GError* pError = nullptr;
    if (!g_key_file_load_from_file(keyFile.get(), strPath.c_str(), G_KEY_FILE_KEEP_COMMENTS,
                                   &pError))
    {
        g_clear_error(&pError);
        return nullptr;
    }
    return keyFile;
}

// A stored DWORD: a decimal number in 0..2^32-1; anything else keeps the default.
void ReadNumber(GKeyFile* pKeyFile, const char* szName, int& nValue)
{
    GError* pError = nullptr;
    const gint64 nStored = g_key_file_get_int64(pKeyFile, kSection, szName, &pError);
    if (pError)
    {
        g_clear_error(&pError);
        return;
    }
    if (nStored >= 0 && nStored <= static_cast<gint64>(UINT32_MAX))
        nValue = static_cast<int>(static_cast<std::uint32_t>(nStored));
}

void ReadBool(GKeyFile* pKeyFile, const char* szName, bool& bValue)
{
    int nValue = bValue ? 1 : 0;
    ReadNumber(pKeyFile, szName, nValue);
    bValue = nValue > 0;
}

void ReadString(GKeyFile* pKeyFile, const char* szName, std::string& strValue)
{
    GError* pError = nullptr;
    GCharPtr szStored(g_key_file_get_string(pKeyFile, kSection, szName, &pError));
    if (pError)
    {
        g_clear_error(&pError);
        return;
    }
    strValue = szStored.get();
}

void WriteNumber(GKeyFile* pKeyFile, const char* szName, int nValue)
{
    g_key_file_set_int64(pKeyFile, kSection, szName, static_cast<std::uint32_t>(nValue));
}

// Strings are escaped by the key file, so line breaks in a value can never
// make it look like another key.
void WriteString(GKeyFile* pKeyFile, const char* szName, const std::string& strValue)
{
    g_key_file_set_string(pKeyFile, kSection, szName, strValue.c_str());
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

CRegistryConfig::CRegistryConfig()
{
    SetDefaults();
}

void CRegistryConfig::SetDefaults()
{
    m_bAutoStart = false;
    m_bAutoUpdate = false;
    m_strLogin.clear();
    m_strPassword.clear();
    m_bMaximizeWindow = true;
    m_nLogLevel = 0;
    m_bActualVersion = false;
    m_nLastUpdateDay = 0;
    m_nLastUpdateMonth = 0;
    m_nLastUpdateYear = 0;
    m_nContentVersion = 0;
    m_nFontSize = 14;
    m_nProxyType = 2;
    m_strProxyHost.clear();
    m_nProxyPort = 0;
    m_strProxyLogin.clear();
    m_strProxyPassword.clear();
}

void CRegistryConfig::SetRegistryKey(std::string_view company, std::string_view appName)
{
    m_strCompany = company;
    m_strAppName = appName;
}

std::string CRegistryConfig::GetFilePath() const
{
    std::string strConfigHome;
    if (const char* szConfig = std::getenv("XDG_CONFIG_HOME"); szConfig && *szConfig == '/')
        strConfigHome = szConfig;
    else if (const char* szHome = std::getenv("HOME"); szHome && *szHome)
        strConfigHome = std::string(szHome) + "/.config";
    else
        strConfigHome = ".config";
    return strConfigHome + "/" + m_strCompany + "/" + m_strAppName + ".ini";
}

bool CRegistryConfig::LoadSettings()
{
    KTRACE("CRegistryConfig::LoadSettings");
    SetDefaults();
    const GKeyFilePtr keyFile = LoadKeyFile(GetFilePath());
    if (!keyFile)
        return true;
    GKeyFile* pKeyFile = keyFile.get();
    ReadBool(pKeyFile, "AutoRun", m_bAutoStart);
    ReadBool(pKeyFile, "AutoUpdate", m_bAutoUpdate);
    ReadString(pKeyFile, "Login", m_strLogin);
    std::string strPasswordHex;
    ReadString(pKeyFile, "Password", strPasswordHex);
    m_strPassword = DecodePassword(strPasswordHex);
    ReadBool(pKeyFile, "MaximizeWindow", m_bMaximizeWindow);
    ReadNumber(pKeyFile, "LogLevel", m_nLogLevel);
    ReadBool(pKeyFile, "ActualVersion", m_bActualVersion);
    ReadNumber(pKeyFile, "LastUpdateDay", m_nLastUpdateDay);
    ReadNumber(pKeyFile, "LastUpdateMonth", m_nLastUpdateMonth);
    ReadNumber(pKeyFile, "LastUpdateYear", m_nLastUpdateYear);
    ReadNumber(pKeyFile, "ContentVersion", m_nContentVersion);
    ReadNumber(pKeyFile, "FontSize", m_nFontSize);
    ReadNumber(pKeyFile, "ProxyType", m_nProxyType);
    ReadString(pKeyFile, "ProxyHost", m_strProxyHost);
    ReadNumber(pKeyFile, "ProxyPort", m_nProxyPort);
    ReadString(pKeyFile, "ProxyLogin", m_strProxyLogin);
    ReadString(pKeyFile, "ProxyPassword", m_strProxyPassword);
    return true;
}

bool CRegistryConfig::SaveSettings()
{
    KTRACE("CRegistryConfig::SaveSettings");
    const std::string strPath = GetFilePath();
    // Start from what the file holds, so "LogLevel" and anything else set by
    // hand survive the save.
    GKeyFilePtr keyFile = LoadKeyFile(strPath);
    if (!keyFile)
        keyFile.reset(g_key_file_new());
    GKeyFile* pKeyFile = keyFile.get();
    WriteNumber(pKeyFile, "AutoRun", m_bAutoStart ? 1 : 0);
    WriteNumber(pKeyFile, "AutoUpdate", m_bAutoUpdate ? 1 : 0);
    WriteString(pKeyFile, "Login", m_strLogin);
    WriteString(pKeyFile, "Password", EncodePassword(m_strPassword));
    WriteNumber(pKeyFile, "MaximizeWindow", m_bMaximizeWindow ? 1 : 0);
    WriteNumber(pKeyFile, "ActualVersion", m_bActualVersion ? 1 : 0);
    WriteNumber(pKeyFile, "LastUpdateDay", m_nLastUpdateDay);
    WriteNumber(pKeyFile, "LastUpdateMonth", m_nLastUpdateMonth);
    WriteNumber(pKeyFile, "LastUpdateYear", m_nLastUpdateYear);
    WriteNumber(pKeyFile, "ContentVersion", m_nContentVersion);
    WriteNumber(pKeyFile, "FontSize", m_nFontSize);
    WriteNumber(pKeyFile, "ProxyType", m_nProxyType);
    WriteString(pKeyFile, "ProxyHost", m_strProxyHost);
    WriteNumber(pKeyFile, "ProxyPort", m_nProxyPort);
    WriteString(pKeyFile, "ProxyLogin", m_strProxyLogin);
    WriteString(pKeyFile, "ProxyPassword", m_strProxyPassword);

    gsize nLength = 0;
    GCharPtr szData(g_key_file_to_data(pKeyFile, &nLength, nullptr));
    if (!szData ||
        !CFileUtils::SaveFileAtomically(strPath, std::string_view(szData.get(), nLength), 0600))
    {
        KLOG_ERR << "CRegistryConfig::SaveSettings can't write " << strPath;
        return false;
    }
    return true;
}

int CRegistryConfig::GetContentVersion() const
{
    KTRACE("CRegistryConfig::GetContentVersion");
    return m_nContentVersion;
}

void CRegistryConfig::SetContentVersion(int nVersion)
{
    KTRACE("CRegistryConfig::SetContentVersion");
    m_nContentVersion = nVersion;
}

void CRegistryConfig::SetActualVersion(bool bActual)
{
    KTRACE("CRegistryConfig::SetActualVersion");
    m_bActualVersion = bActual;
}

int CRegistryConfig::GetLastUpdateDay() const
{
    KTRACE("CRegistryConfig::GetLastUpdateDay");
    return m_nLastUpdateDay;
}

int CRegistryConfig::GetLastUpdateMonth() const
{
    KTRACE("CRegistryConfig::GetLastUpdateMonth");
    return m_nLastUpdateMonth;
}

int CRegistryConfig::GetLastUpdateYear() const
{
    KTRACE("CRegistryConfig::GetLastUpdateYear");
    return m_nLastUpdateYear;
}

void CRegistryConfig::SetLastUpdateDate(int nDay, int nMonth, int nYear)
{
    KTRACE("CRegistryConfig::SetLastUpdateDate");
    m_nLastUpdateDay = nDay;
    m_nLastUpdateMonth = nMonth;
    m_nLastUpdateYear = nYear;
}

const std::string& CRegistryConfig::GetLogin() const
{
    KTRACE("CRegistryConfig::GetLogin");
    return m_strLogin;
}

void CRegistryConfig::SetLogin(std::string_view login)
{
    KTRACE("CRegistryConfig::SetLogin");
    m_strLogin = login;
}

const std::string& CRegistryConfig::GetPassword() const
{
    KTRACE("CRegistryConfig::GetPassword");
    return m_strPassword;
}

void CRegistryConfig::SetPassword(std::string_view password)
{
    KTRACE("CRegistryConfig::SetPassword");
    m_strPassword = password;
}

std::string CRegistryConfig::EncodePassword(std::string_view password)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string strHex;
    for (const char16_t unit : CTextUtils::ToUtf16(password))
    {
        for (const unsigned nByte : {unit & 0xFFu, (unit >> 8) & 0xFFu})
        {
            strHex += kHex[nByte >> 4];
            strHex += kHex[nByte & 0xF];
        }
    }
    return strHex;
}

std::string CRegistryConfig::DecodePassword(std::string_view hex)
{
    if (hex.size() % 2 != 0)
        return {};
    std::u16string units;
    int nLowByte = -1;
    for (std::size_t i = 0; i < hex.size(); i += 2)
    {
        const int nHigh = HexDigit(hex[i]);
        const int nLow = HexDigit(hex[i + 1]);
        if (nHigh < 0 || nLow < 0)
            return {};
        const int nByte = nHigh * 16 + nLow;
        if (nLowByte < 0)
        {
            nLowByte = nByte;
            continue;
        }
        units += static_cast<char16_t>(nLowByte | (nByte << 8));
        nLowByte = -1;
    }
    // The text ends at its first zero character, as a C string would.
    if (const auto nZero = units.find(u'\0'); nZero != std::u16string::npos)
        units.resize(nZero);
    return CTextUtils::FromUtf16(units);
}
