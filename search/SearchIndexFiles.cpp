#include "SearchIndexFiles.h"

#include "Logger.h"

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
    return nId == kIndexIdOther || nId == kIndexIdYo || (nId >= kIndexIdFirst && nId <= kIndexIdLast);
}
} // namespace SearchIndexFiles
