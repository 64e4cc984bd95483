#include "LoginUserData.h"

#include "FileUtils.h"
#include "Logger.h"
#include "RegistryConfig.h"
#include "TextUtils.h"

bool CLoginUserData::LoadData()
{
    m_strLogin = m_config.GetLogin();
    m_strPassword = m_config.GetPassword();
    return true;
}

bool CLoginUserData::SaveData()
{
    KTRACE("CLoginUserData::SaveData");
    m_config.SetLogin(m_strLogin);
    m_config.SetPassword(m_strPassword);
    return m_config.SaveSettings();
}

void CLoginUserData::SetLogin(std::string_view text)
{
    m_strLogin = CTextUtils::Trim(text);
}

void CLoginUserData::SetPassword(std::string_view text)
{
    m_strPassword = CTextUtils::Trim(text);
}

bool CLoginUserData::IsAcceptable(std::string_view text)
{
    return !CFileUtils::ContainsRusLetters(text);
}
