#include "FullTextSearch.h"

#include "Logger.h"
#include "SearchIndexFiles.h"

#include <exception>

CFullTextSearch::CFullTextSearch(std::string strIndexFolder) : m_strIndexFolder(std::move(strIndexFolder))
{
}

bool CFullTextSearch::LoadData()
{
    KTRACE("CFullTextSearch::LoadData");
    FreeData();
    try
    {
        for (const int nId : GetSearchIndexIds())
            if (!LoadIndex(nId))
                return false;
        return LoadNumbers();
    }
    catch (const std::exception&)
    {
        KLOG_ERR << "Can't load search indexes";
        return false;
    }
}

void CFullTextSearch::FreeData()
{
    KTRACE("CFullTextSearch::FreeData");
    m_indexFiles.clear();
    m_pNumbers = CSearchUtils::MFileClose(std::move(m_pNumbers));
}

bool CFullTextSearch::LoadIndex(int nId)
{
    KTRACE("CFullTextSearch::LoadIndex");
    const std::string strFolder = SearchIndexFiles::FolderPath(m_strIndexFolder);
    if (strFolder.empty() || !SearchIndexFiles::IsIndexId(nId))
    {
        KLOG_ERR << "Can't get path for index with id " << nId;
        m_indexFiles.erase(nId);
        return false;
    }
    const std::string strPath = strFolder + "index." + std::to_string(nId);
    KLOG_DEBUG << "CFullTextSearch::LoadIndex indexPath: " << strPath;
    MFilePtr pFile = SearchIndexFiles::Load(strPath, SEARCH_FILE_INDEX_1);
    if (!pFile)
    {
        m_indexFiles.erase(nId);
        return false;
    }
    m_indexFiles[nId] = std::move(pFile);
    return true;
}

bool CFullTextSearch::LoadNumbers()
{
    KTRACE("CFullTextSearch::LoadNumbers");
    m_pNumbers = CSearchUtils::MFileClose(std::move(m_pNumbers));
    const std::string strFolder = SearchIndexFiles::FolderPath(m_strIndexFolder);
    if (strFolder.empty())
    {
        KLOG_ERR << "Can't get path for numbers.dat";
        return false;
    }
    const std::string strPath = strFolder + "numbers.dat";
    KLOG_DEBUG << "CFullTextSearch::LoadNumbers path: " << strPath;
    m_pNumbers = SearchIndexFiles::Load(strPath, SEARCH_FILE_FNAMES_1);
    return m_pNumbers != nullptr;
}
