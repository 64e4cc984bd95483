#include "KalimorHTMLayoutDataLoader.h"

#include "Logger.h"
#include "TextUtils.h"
#include "UrlToPath.h"

#include <filesystem>

namespace
{
// folder + "/" + relative, or empty when the relative path is absolute, holds
// a zero byte or climbs out of the folder.
std::string JoinInside(const std::string& strFolder, const std::string& strRelative)
{
    if (strRelative.find('\0') != std::string::npos)
        return {};
    std::string strPath = strRelative;
    for (char& c : strPath)
        if (c == '\\')
            c = '/';
    while (strPath.starts_with("./"))
        strPath.erase(0, 2);
    const std::filesystem::path relative = std::filesystem::path(strPath).lexically_normal();
    if (relative.empty() || relative.is_absolute() || *relative.begin() == "..")
        return {};
    return strFolder + "/" + relative.string();
}
} // namespace

bool CKalimorHTMLayoutDataLoader::LoadHtml(std::string_view url, CByteArray& data)
{
    return LoadData(url, m_config.GetUIFolder(), data);
}

bool CKalimorHTMLayoutDataLoader::LoadStyle(std::string_view url, CByteArray& data)
{
    return LoadData(url, m_config.GetStylesFolder(), data);
}

bool CKalimorHTMLayoutDataLoader::IsAbsoluteFileUrl(std::string_view url)
{
    // Here an absolute path starts with "/", where the original platform's
    // started with a drive letter.
    return url.size() > 8 && CTextUtils::StartsWithNoCaseAscii(url, "file://") && url[7] == '/';
}

bool CKalimorHTMLayoutDataLoader::LoadImage(std::string_view url, CByteArray& data)
{
    if (!IsAbsoluteFileUrl(url))
        return LoadData(url, m_config.GetImagesFolder(), data);
    std::string strPath;
    if (!UrlToPath(url, strPath) || strPath.find('\0') != std::string::npos)
        return false;
    return CFileUtils::LoadBinFileOrResource(strPath, data);
}

bool CKalimorHTMLayoutDataLoader::LoadCursor(std::string_view, CByteArray&)
{
    KLOG_DEBUG << "CKalimorHTMLayoutDataLoader::LoadCursor";
    return false;
}

bool CKalimorHTMLayoutDataLoader::LoadScript(std::string_view, CByteArray&)
{
    KLOG_DEBUG << "CKalimorHTMLayoutDataLoader::LoadScript";
    return false;
}

bool CKalimorHTMLayoutDataLoader::LoadData(std::string_view url, const std::string& strFolder,
                                           CByteArray& data)
{
    KLOG_DEBUG << "CKalimorHTMLayoutDataLoader::LoadData " << url << " " << strFolder;
    std::string strRelative;
    if (!UrlToPath(url, strRelative))
        return false;
    const std::string strPath = JoinInside(strFolder, strRelative);
    if (strPath.empty())
    {
        KLOG_ERR << "CKalimorHTMLayoutDataLoader::LoadData refused " << url;
        return false;
    }
    return CFileUtils::LoadBinFileOrResource(strPath, data);
}
