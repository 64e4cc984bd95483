#include "ResourceConfig.h"

#include <unistd.h>

#include <climits>

CResourceConfig::CResourceConfig() : m_strAppFolder(GetExecutableFolder()) {}

CResourceConfig::CResourceConfig(std::string strAppFolder) : m_strAppFolder(std::move(strAppFolder))
{
    while (m_strAppFolder.size() > 1 && m_strAppFolder.back() == '/')
        m_strAppFolder.pop_back();
}

std::string CResourceConfig::GetPath(std::string_view relativePath) const
{
    return m_strAppFolder + "/" + std::string(relativePath);
}

std::string CResourceConfig::GetExecutableFolder()
{
    char szPath[PATH_MAX];
    const ssize_t nLength = ::readlink("/proc/self/exe", szPath, sizeof(szPath) - 1);
    if (nLength <= 0)
        return ".";
    const std::string strPath(szPath, static_cast<std::size_t>(nLength));
    const auto nSlash = strPath.find_last_of('/');
    return nSlash == 0 ? "/" : strPath.substr(0, nSlash);
}
