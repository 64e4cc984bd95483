#include "ViewMaker.h"

#include "BlankInfoData.h"
#include "ClientContext.h"
#include "DocumentSearch.h"
#include "EncyclopediaData.h"
#include "Logger.h"
#include "MRUDocumentData.h"
#include "SearchPrompt2Manager.h"
#include "SearchRegistry.h"
#include "TextUtils.h"

bool CViewMaker::CanSearch() const
{
    return m_context.GetDocumentSearch() && m_context.GetEncyclopedia();
}

std::unique_ptr<CBookmark> CViewMaker::ForSearch(const std::string& strQuery) const
{
    if (!CanSearch())
        return nullptr;
    CDocumentSearch* pSearch = m_context.GetDocumentSearch();
    CEncyclopediaData* pEncyclopedia = m_context.GetEncyclopedia();
    SearchResultSet results;
    CHighlightWords highlight;
    pSearch->Search(CTextUtils::ToLower(strQuery), results, highlight);
    std::set<std::string> words;
    for (const std::set<std::string>& forms : highlight)
        words.insert(forms.begin(), forms.end());
    const CSectionList sections = pEncyclopedia->FindSectionsBySearchResult(results);
    auto pView = std::make_unique<CBookmark>(
        CBookmark::ForSearchResults(CEncyclopediaData::SortByCode(sections), std::move(words)));
    pView->m_highlightGroups = std::move(highlight);
    pView->m_strSearchString = strQuery;
    pView->m_nFoundDocuments = sections.size();
    pView->m_strCompletions = pSearch->GetLastCompletions();
    return pView;
}

std::unique_ptr<CBookmark> CViewMaker::ForPrompt(const std::string& strPrompt) const
{
    const CSearchRegistry* pRegistry = m_context.GetSearchRegistry();
    const CSearchPrompt2Manager* pPrompts = m_context.GetPromptList();
    const RegistryPhrase* pPhrase = pRegistry ? pRegistry->FindPhrase(strPrompt) : nullptr;
    if (!pPhrase && pPrompts)
        pPhrase = pPrompts->FindPrompt(strPrompt);
    return ForLinks(pPhrase ? pPhrase->links : std::vector<std::string>(), strPrompt);
}

std::unique_ptr<CBookmark> CViewMaker::ForLinks(const std::vector<std::string>& links,
                                                const std::string& strText) const
{
    CEncyclopediaData* pEncyclopedia = m_context.GetEncyclopedia();
    CSectionList sections =
        pEncyclopedia ? pEncyclopedia->FindSectionsByURLs(links) : CSectionList();
    if (sections.empty())
    {
        KLOG_WARN << "Nothing to show";
        return nullptr;
    }
    auto pView = std::make_unique<CBookmark>(CBookmark::ForSections(std::move(sections), strText));
    if (!pView->m_pSection)
        pView->m_pSection = pView->m_sections.front();
    return pView;
}

std::unique_ptr<CBookmark> CViewMaker::ForSectionType(const std::string& strType) const
{
    CEncyclopediaData* pEncyclopedia = m_context.GetEncyclopedia();
    CEncyclopediaSection* pFirst =
        pEncyclopedia ? pEncyclopedia->GetFirstLevelSectionItem(strType) : nullptr;
    CEncyclopediaSection* pChild = pFirst ? CEncyclopediaData::GetFirstRealChild(pFirst) : nullptr;
    if (!pChild)
    {
        KLOG_ERR << "Invalid section type=" << strType;
        return nullptr;
    }
    return std::make_unique<CBookmark>(CBookmark::ForSection(pChild));
}

std::unique_ptr<CBookmark> CViewMaker::ForRecentDocument(const CMRUDocument& document) const
{
    CEncyclopediaData* pEncyclopedia = m_context.GetEncyclopedia();
    CEncyclopediaSection* pSection =
        pEncyclopedia ? pEncyclopedia->FindSectionByURL(document.m_strURL) : nullptr;
    if (!pSection)
    {
        KLOG_ERR << "Document" << document.m_strName << " not found";
        return nullptr;
    }
    return std::make_unique<CBookmark>(CBookmark::ForSection(pSection));
}

std::unique_ptr<CBookmark> CViewMaker::ForFormOf(const std::string& strUrl) const
{
    CBlankInfoData* pBlanks = m_context.GetBlanks();
    const CBlankInfo* pBlank = pBlanks ? pBlanks->FindBlankByUploadURL(strUrl) : nullptr;
    return pBlank ? std::make_unique<CBookmark>(CBookmark::ForForm(pBlank)) : nullptr;
}

std::unique_ptr<CBookmark> CViewMaker::ForFilledSample(const std::string& strUrl,
                                                       CEncyclopediaSection* pSection) const
{
    // The sample takes the document's place; the section stays where it is.
    if (!pSection)
        return nullptr;
    auto pView = std::make_unique<CBookmark>(CBookmark::ForSection(pSection));
    pView->m_strPage = strUrl;
    return pView;
}

CLinkTarget CViewMaker::Classify(const std::string& strUrl) const
{
    return ClassifyLink(strUrl, m_context.GetDocumentsFolder());
}

std::unique_ptr<CBookmark> CViewMaker::ForDocument(const CLinkTarget& target,
                                                   const std::string& strUrl) const
{
    CEncyclopediaData* pEncyclopedia = m_context.GetEncyclopedia();
    CEncyclopediaSection* pSection =
        pEncyclopedia ? pEncyclopedia->FindSectionByURL(target.m_strAddress) : nullptr;
    if (!pSection)
    {
        KLOG_WARN << "Document " << strUrl << " not found";
        return nullptr;
    }
    auto pView = std::make_unique<CBookmark>(CBookmark::ForSection(pSection));
    if (!target.m_strAnchor.empty() && pSection->m_strAnchor != target.m_strAnchor)
        pView->m_strPage = target.m_strAddress;
    return pView;
}
