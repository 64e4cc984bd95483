#pragma once

#include <string>
#include <string_view>

// The user's settings: section [UserConfig] of the INI file
// $XDG_CONFIG_HOME/<company>/<application>.ini (XDG_CONFIG_HOME defaults to
// ~/.config). The file holds the account password, so it is written with mode
// 0600, and always atomically. "LogLevel" is only read: it is set by hand.
class CRegistryConfig
{
public:
    CRegistryConfig();

    // Chooses the file: the company folder and the application's name.
    void SetRegistryKey(std::string_view company, std::string_view appName = "KalimorClnt");
    // The file name, or the one of the default key when none was set.
    std::string GetFilePath() const;

    // Resets every value to its default, then reads the file; a missing or
    // malformed value keeps its default. Always true.
    bool LoadSettings();
    // Writes every value except "LogLevel", keeping whatever else the file
    // holds. False (and logged) when the file cannot be written.
    bool SaveSettings();

    int GetContentVersion() const;
    void SetContentVersion(int nVersion);
    void SetActualVersion(bool bActual);
    int GetLastUpdateDay() const;
    int GetLastUpdateMonth() const;
    int GetLastUpdateYear() const;
    void SetLastUpdateDate(int nDay, int nMonth, int nYear);
    const std::string& GetLogin() const;
    void SetLogin(std::string_view login);
    const std::string& GetPassword() const;
    void SetPassword(std::string_view password);

    // The password as stored: its UTF-16LE bytes in lower-case hex.
    static std::string EncodePassword(std::string_view password);
    // The reverse; an odd length or a non-hex pair gives an empty password.
    static std::string DecodePassword(std::string_view hex);

    bool m_bAutoStart;
    bool m_bAutoUpdate;
    std::string m_strLogin;
    std::string m_strPassword;
    bool m_bMaximizeWindow;
    int m_nLogLevel;
    bool m_bActualVersion;
    int m_nLastUpdateDay;
    int m_nLastUpdateMonth;
    int m_nLastUpdateYear;
    int m_nContentVersion;
    int m_nFontSize;
    int m_nProxyType;
    std::string m_strProxyHost;
    int m_nProxyPort;
    std::string m_strProxyLogin;
    std::string m_strProxyPassword;

private:
    void SetDefaults();

    std::string m_strCompany = "Kalimor";
    std::string m_strAppName = "KalimorClnt";
};
