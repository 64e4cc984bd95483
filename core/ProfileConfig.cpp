#include "ProfileConfig.h"

#include "FileUtils.h"
#include "Logger.h"

#include <cstdlib>
#include <filesystem>

std::string CProfileConfig::GetDefaultProfileRoot()
{
    if (const char* szProfile = std::getenv("KALIMOR_PROFILE"); szProfile && *szProfile)
        return szProfile;
    std::string strDataHome;
    if (const char* szData = std::getenv("XDG_DATA_HOME"); szData && *szData == '/')
        strDataHome = szData;
    else if (const char* szHome = std::getenv("HOME"); szHome && *szHome)
        strDataHome = std::string(szHome) + "/.local/share";
    else
        return {};
    return strDataHome + "/KalimorClient";
}

std::string CProfileConfig::CreateRoot(const std::string& strRoot)
{
    if (strRoot.empty())
        return {};
    std::error_code error;
    std::string strPath = std::filesystem::absolute(strRoot, error).lexically_normal().string();
    if (error)
        return {};
    while (strPath.size() > 1 && strPath.back() == '/')
        strPath.pop_back();
    if (strPath.empty() || !CFileUtils::MakePath(strPath))
        return {};
    return strPath;
}

std::string CProfileConfig::CreateProfileRootFolder()
{
    KTRACE("CProfileConfig::CreateProfileRootFolder");
    return CreateRoot(GetDefaultProfileRoot());
}

std::string CProfileConfig::CreateProfileDirectory(const char* szSuffix) const
{
    if (!szSuffix || m_strProfileRoot.empty())
        return {};
    const std::string strPath = m_strProfileRoot + szSuffix;
    return CFileUtils::MakePath(strPath) ? strPath : std::string();
}

bool CProfileConfig::LoadSettings()
{
    return LoadSettings(GetDefaultProfileRoot());
}

bool CProfileConfig::LoadSettings(const std::string& strRoot)
{
    KTRACE("CProfileConfig::LoadSettings", strRoot);
    *this = CProfileConfig();
    m_strProfileRoot = CreateRoot(strRoot);
    if (m_strProfileRoot.empty())
        return true;
    m_strContentDirPath = CreateProfileDirectory("/Content/");
    m_strDownloadDirPath = CreateProfileDirectory("/Download/");
    FillPaths();
    return true;
}

void CProfileConfig::FillPaths()
{
    const std::string& r = m_strProfileRoot;
    m_strLogFilePath = r + "/KalimorClient.log";
    m_strEncyclopediaPath = r + "/Content/encyclopedia.dat";
    m_strDocumentsDirPath = r + "/Content/Content/";
    m_strTaxCalendarPath = r + "/Content/tax_calendar.dat";
    m_strWorkCalendarPath = r + "/Content/work_calendar.dat";
    m_strBlanksPath = r + "/Content/blanks.dat";
    m_strNewDocumentsPath = r + "/Content/new_documents.dat";
    m_strArticlesPath = r + "/Content/articles.dat";
    m_strReferencePath = r + "/Content/reference.dat";
    m_strMorphologyDirPath = r + "/Content/morphology/";
    m_strFullTextDirPath = r + "/Content/fulltextsearch/";
    m_strSearchRegistryPath = r + "/Content/registry2.dat";
    m_strSynonymsPath = r + "/Content/search_synonyms.dat";
    m_strSearchPromptsPath = r + "/Content/search_prompts.dat";
    m_strSearchPrompts2Path = r + "/Content/search_prompts2.dat";
    m_strBookmarksPath = r + "/bookmarks.xml";
    m_strMRUDocumentsPath = r + "/Content/mru_documents.dat";
    m_strNewsPath = r + "/Content/news.dat";
    m_strViewHistoryPath = r + "/history.xml";
    // The style sheet lies in the documents folder; on a case-sensitive file
    // system it must be spelt with the same "Content/Content/" as that folder.
    m_strStyleSheetSourcePath = r + "/Content/Content/online/styles/style.css.win";
    m_strStyleSheetPath = r + "/Content/Content/online/styles/style.css";
}
