#include "FullTextSearch.h"

#include "Logger.h"
#include "SearchIndexFiles.h"

namespace
{
constexpr SearchIndexFiles::CGeneration kGeneration1{"index.", SEARCH_FILE_INDEX_1, "numbers.dat",
                                                     SEARCH_FILE_FNAMES_1, "CFullTextSearch"};
} // namespace

CFullTextSearch::CFullTextSearch(std::string strIndexFolder)
    : m_strIndexFolder(std::move(strIndexFolder))
{
}

bool CFullTextSearch::LoadData()
{
    KTRACE("CFullTextSearch::LoadData");
    FreeData();
    return SearchIndexFiles::LoadGeneration([this](int nId) { return LoadIndex(nId); },
                                            [this] { return LoadNumbers(); });
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
    return SearchIndexFiles::LoadIndexInto(kGeneration1, m_strIndexFolder, nId, m_indexFiles);
}

bool CFullTextSearch::LoadNumbers()
{
    KTRACE("CFullTextSearch::LoadNumbers");
    m_pNumbers = CSearchUtils::MFileClose(std::move(m_pNumbers));
    m_pNumbers = SearchIndexFiles::LoadNumbers(kGeneration1, m_strIndexFolder);
    return m_pNumbers != nullptr;
}
