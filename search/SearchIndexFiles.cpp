#include "SearchIndexFiles.h"

#include "Logger.h"

#include <exception>

namespace SearchIndexFiles
{
std::string FolderPath(const std::string& strFolder)
{
    if (strFolder.empty() || strFolder.ends_with('/'))
        return strFolder;
    return strFolder + "/";
}

MFilePtr Load(const std::string& strPath, std::uint32_t nExpectedType)
{
    MFilePtr pFile = CSearchUtils::MFileLoad(strPath);
    if (!pFile)
    {
        KLOG_ERR << "Can't open handles for " << strPath;
        return nullptr;
    }
    if (pFile->type != nExpectedType)
    {
        KLOG_ERR << "Incorrect index file format (" << strPath << ". Closing";
        return CSearchUtils::MFileClose(std::move(pFile));
    }
    return pFile;
}

bool IsIndexId(int nId)
{
    return nId == kIndexIdOther || nId == kIndexIdYo ||
           (nId >= kIndexIdFirst && nId <= kIndexIdLast);
}

bool LoadGeneration(const std::function<bool(int)>& loadIndex,
                    const std::function<bool()>& loadNumbers)
{
    try
    {
        for (const int nId : GetSearchIndexIds())
            if (!loadIndex(nId))
                return false;
        return loadNumbers();
    }
    catch (const std::exception&)
    {
        KLOG_ERR << "Can't load search indexes";
        return false;
    }
}

bool LoadIndexInto(const CGeneration& generation, const std::string& strFolder, int nId,
                   std::map<int, MFilePtr>& files)
{
    const std::string strFolderPath = FolderPath(strFolder);
    if (strFolderPath.empty() || !IsIndexId(nId))
    {
        KLOG_ERR << "Can't get path for index with id " << nId;
        files.erase(nId);
        return false;
    }
    const std::string strPath =
        strFolderPath + std::string(generation.m_indexPrefix) + std::to_string(nId);
    KLOG_DEBUG << generation.m_reader << "::LoadIndex indexPath: " << strPath;
    MFilePtr pFile = Load(strPath, generation.m_nIndexType);
    if (!pFile)
    {
        files.erase(nId);
        return false;
    }
    files[nId] = std::move(pFile);
    return true;
}

MFilePtr LoadNumbers(const CGeneration& generation, const std::string& strFolder)
{
    const std::string strFolderPath = FolderPath(strFolder);
    if (strFolderPath.empty())
    {
        KLOG_ERR << "Can't get path for " << generation.m_numbersName;
        return nullptr;
    }
    const std::string strPath = strFolderPath + std::string(generation.m_numbersName);
    KLOG_DEBUG << generation.m_reader << "::LoadNumbers path: " << strPath;
    return Load(strPath, generation.m_nNumbersType);
}
} // namespace SearchIndexFiles
