#pragma once

#include <string>
#include <string_view>

class CRegistryConfig;

// The account the client signs in with, kept in the settings. Login and
// password are stored without the blanks around them.
class CLoginUserData
{
public:
    explicit CLoginUserData(CRegistryConfig& config) : m_config(config) {}

    bool LoadData();
    // Writes both into the settings and saves them.
    bool SaveData();

    const std::string& GetLogin() const { return m_strLogin; }
    const std::string& GetPassword() const { return m_strPassword; }
    void SetLogin(std::string_view text);
    void SetPassword(std::string_view text);

    // False for a text with a blank, a letter outside A-Z and a-z, or any
    // character that is neither a letter, a digit nor punctuation; an empty
    // text is acceptable.
    static bool IsAcceptable(std::string_view text);

private:
    CRegistryConfig& m_config;
    std::string m_strLogin;
    std::string m_strPassword;
};
