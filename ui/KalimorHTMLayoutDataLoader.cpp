#include "KalimorHTMLayoutDataLoader.h"

#include "Logger.h"
#include "TextUtils.h"
#include "UrlToPath.h"

#include <filesystem>

bool CKalimorHTMLayoutDataLoader::ResolveInside(const std::string& strFolder,
                                                std::string_view relative, std::string& strPath)
{
    namespace fs = std::filesystem;
    if (strFolder.empty() || relative.find('\0') != std::string_view::npos)
        return false;
    std::string strRelative(relative);
    for (char& c : strRelative)
        if (c == '\\')
            c = '/';
    const fs::path normal = fs::path(strRelative).lexically_normal();
    if (normal.empty() || normal.is_absolute() || *normal.begin() == "..")
        return false;
    strPath = strFolder + "/" + normal.string();
    // A file that exists is followed through its links: whatever it is must
    // still lie inside the folder (itself followed, so a linked folder works).
    std::error_code error;
    if (!fs::exists(fs::symlink_status(strPath, error)))
        return true; // the embedded copy answers, or nothing does
    const fs::path root = fs::canonical(strFolder, error);
    if (error)
        return false;
    const fs::path target = fs::weakly_canonical(strPath, error);
    if (error)
        return false;
    const std::string strTarget = target.string();
    const std::string strRoot = root.string();
    return strTarget.size() > strRoot.size() && strTarget.starts_with(strRoot) &&
           strTarget[strRoot.size()] == '/';
}

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
    std::string strPath;
    if (!ResolveInside(strFolder, strRelative, strPath))
    {
        KLOG_ERR << "CKalimorHTMLayoutDataLoader::LoadData refused " << url;
        return false;
    }
    return CFileUtils::LoadBinFileOrResource(strPath, data);
}
