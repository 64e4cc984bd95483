#include "EncyclopediaAccountantWin.h"

#include "ClientContext.h"
#include "EncyclopediaData.h"
#include "FileUtils.h"
#include "LinkTarget.h"
#include "Logger.h"
#include "MessageDlg.h"
#include "StringTable.h"
#include "ViewHistoryData.h"

#include <algorithm>

namespace
{
// "First level › second › third": where a section lies, without the
// first-level section and the section itself.
std::string PathOf(const CEncyclopediaSection* pSection)
{
    std::vector<const CEncyclopediaSection*> chain;
    for (const CEncyclopediaSection* pUp = pSection ? pSection->m_pParent : nullptr;
         pUp && pUp->m_pParent; pUp = pUp->m_pParent)
        chain.push_back(pUp);
    std::string strPath;
    // The last of the chain is the first-level section, shown on its own.
    for (std::size_t i = chain.size(); i-- > 1;)
        strPath += (strPath.empty() ? "" : " › ") + chain[i - 1]->m_strName;
    return strPath;
}
} // namespace

CEncyclopediaAccountantWin::CEncyclopediaAccountantWin(CClientContext& context, IViewHost* pHost)
    : m_context(context),
      m_pHost(pHost),
      m_navigator(context.GetDataLoader()),
      m_content(context),
      m_selector(context.GetDataLoader())
{
}

bool CEncyclopediaAccountantWin::Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId)
{
    if (!CreateBase(WINDOW_CHILD, "", rect, pParent, nId, (nStyle & WS_VISIBLE) != 0, false))
        return false;
    if (!m_navigator.Create(WS_CHILD | WS_VISIBLE, CRect{}, this, 1) ||
        !m_content.Create(CRect{}, this, 2) || !m_selector.CreateSelector(this, 100))
    {
        KLOG_ERR << "CEncyclopediaAccountantWin::Create can't create its windows";
        return false;
    }
    m_navigator.m_sigSectionSelected.connect(
        [this](CEncyclopediaSection* p) { OnSelectSectionInNavigator(p); });
    m_navigator.m_sigSeeAlsoSelected.connect(
        [this](CEncyclopediaSection* p) { OnSelectSectionInSeeAlso(p); });
    m_navigator.m_sigSelectSectionClicked.connect([this] { OnSelectSectionClicked(false); });
    m_navigator.m_sigFoundSelected.connect([this](CEncyclopediaSection* pSection) {
        // Another of the sections found, keeping the list.
        const CBookmark* pCurrent = m_pHost ? m_pHost->GetCurrentView() : nullptr;
        if (!pCurrent)
            return;
        auto pView = std::make_unique<CBookmark>(*pCurrent);
        pView->m_pSection = pSection;
        m_pHost->GoToBookmark(std::move(pView), true);
    });
    m_selector.m_sigSectionSelected.connect(
        [this](CEncyclopediaSection* p) { OnSelectSectionInFloatingPanel(p); });
    CBrowserContentToolBarWin& toolBar = m_content.GetToolBar();
    toolBar.m_sigAddBookmark.connect([this] { OnAddBookmarkClicked(); });
    toolBar.m_sigPrint.connect([this] { m_content.GetView().PrintContent(); });
    toolBar.m_sigContent.connect([this] { OnContentClicked(); });
    toolBar.m_sigSelectSection.connect([this] { OnSelectSectionClicked(true); });
    CKalimorHtmlView& view = m_content.GetView();
    view.m_sigLink1.connect([this](const std::string& strUrl) { OnGoToURL(strUrl); });
    view.m_sigLink2.connect([this](const std::string& strKey) { OnSpecialLink(strKey); });
    view.m_sigShowImage.connect([this](const std::string& strUrl) { OnShowImage(strUrl); });
    view.m_sigAddBookmark.connect([this] { OnAddBookmarkClicked(); });
    view.m_sigMarks.connect([this](int nCurrent, int nTotal) {
        m_content.GetToolBar().SetFoundCounter(nCurrent, nTotal);
    });
    toolBar.m_sigFoundStep.connect([this](int nStep) { MoveToFoundWord(nStep); });
    if (!SetTimer(kViewTimer, kViewTimerPeriodMs))
        KLOG_ERR << "Can't scedule timer";
    UpdateControls();
    return true;
}

void CEncyclopediaAccountantWin::UpdateControls()
{
    const CRect client = GetClientRect();
    m_navigator.MoveWindow(0, 0, kNavigatorWidth, client.m_nHeight);
    const int nLeft = m_bNavigatorShown ? kContentLeft : 0;
    m_content.MoveWindow(nLeft, 0, std::max(0, client.m_nWidth - nLeft), client.m_nHeight);
}

void CEncyclopediaAccountantWin::OnSize(int, int)
{
    UpdateControls();
}

void CEncyclopediaAccountantWin::ShowBookmark(const CBookmark& view)
{
    m_navigator.SetFoundSections(view.m_sections.size() > 1 ? view.m_sections : CSectionList(),
                                 view.m_strSearchString);
    std::string strPage, strAnchor;
    CFileUtils::ParseFileName(view.m_strPage, strPage, strAnchor);
    ShowSection(view.m_pSection, false, true, strAnchor, strPage);
    // A section opened from a search shows the words found; any other way
    // of opening a document shows none.
    m_content.GetView().MarkWords(view.m_highlightWords);
}

void CEncyclopediaAccountantWin::ShowSection(CEncyclopediaSection* pSection, bool bAddToHistory,
                                             bool bHideFloatingPanel, const std::string& strAnchor,
                                             const std::string& strPage)
{
    KTRACE("CEncyclopediaAccountantWin::ShowSection");
    if (!pSection)
    {
        KLOG_ERR << "CEncyclopediaAccountantWin::ShowSection received pSection=NULL";
        return;
    }
    if (bHideFloatingPanel)
        HideFloatingPanel();
    m_pSection = pSection;
    m_pDocumentSection = CEncyclopediaData::GetParentSectionWithURL(pSection);
    m_pFirstLevel =
        pSection->m_pParent ? CEncyclopediaData::GetFirstLevelSectionItem(pSection) : nullptr;
    m_navigator.AssignSectionId(m_pFirstLevel, pSection);
    if (bAddToHistory && m_pHost)
    {
        // A link followed in a document: a plain view of its own.
        m_navigator.SetFoundSections({}, {});
        m_content.GetView().MarkWords({});
        m_pHost->GoToBookmark(std::make_unique<CBookmark>(CBookmark::ForSection(pSection)), false);
    }

    std::string strAddress;
    if (m_pDocumentSection)
    {
        std::string_view url =
            strPage.empty() ? std::string_view(m_pDocumentSection->m_strURL) : strPage;
        while (url.starts_with('/') || url.starts_with('\\'))
            url.remove_prefix(1);
        strAddress = m_context.GetDocumentsFolder() + std::string(url);
        const std::string& strScrollTo =
            pSection->m_strAnchor.empty() ? strAnchor : pSection->m_strAnchor;
        if (!strScrollTo.empty())
            strAddress += "#" + strScrollTo;
        m_content.SetContent(strAddress);
    }
    FillLinkTables();
    m_navigator.UpdateContent();
    UpdateToolBar();
    m_tViewStart = m_context.Now();
    // A page in another's place (a form's sample) is no reading of the section.
    m_pTimedSection =
        strPage.empty() || (m_pDocumentSection && strPage == m_pDocumentSection->m_strURL)
            ? m_pDocumentSection
            : nullptr;
    if (m_pHost)
        m_pHost->UpdateSearchSample();
}

void CEncyclopediaAccountantWin::FillLinkTables()
{
    CKalimorHtmlView& view = m_content.GetView();
    view.m_linkTable1.clear();
    view.m_linkTable2.clear();
    std::vector<CEncyclopediaSection*> seeAlso;
    CEncyclopediaData* pEncyclopedia = m_context.GetEncyclopedia();
    for (const CDocumentLink& link : view.GetPage().GetLinks())
    {
        // Pictures open in the viewer (the view knows them by their name).
        const CLinkTarget target = ClassifyLink(link.m_strHref);
        if (target.m_bPicture)
            continue;
        if (target.m_eKind == ELinkKind::SPECIAL)
            view.m_linkTable2[link.m_strHref] = link.m_strHref;
        else
            view.m_linkTable1[link.m_strHref] = link.m_strTarget;
        if (!link.m_bSeeAlso || !pEncyclopedia)
            continue;
        CEncyclopediaSection* pLinked = pEncyclopedia->FindSectionByURL(link.m_strTarget);
        if (pLinked && std::find(seeAlso.begin(), seeAlso.end(), pLinked) == seeAlso.end())
            seeAlso.push_back(pLinked);
    }
    m_navigator.SetSeeAlso(std::move(seeAlso));
}

void CEncyclopediaAccountantWin::UpdateToolBar()
{
    CBrowserContentToolBarWin& toolBar = m_content.GetToolBar();
    toolBar.SetContentButtonVisible(m_pDocumentSection && !m_pDocumentSection->m_children.empty());
    toolBar.SetContentButtonExpanded(m_bNavigatorShown);
    CBookmarkVector* pBookmarks = m_context.GetBookmarks();
    const CBookmark* pCurrent = m_pHost ? m_pHost->GetCurrentView() : nullptr;
    toolBar.SetBookmarkAdded(pBookmarks && pCurrent && pBookmarks->IsContainsCopy(*pCurrent));
    const std::string strTitle = m_pSection ? m_pSection->m_strName : std::string();
    toolBar.SetLocation(m_pFirstLevel ? m_pFirstLevel->m_strName : std::string(),
                        PathOf(m_pSection), strTitle);
}

void CEncyclopediaAccountantWin::OnSelectSectionInNavigator(CEncyclopediaSection* pSection)
{
    if (m_pHost && pSection)
        m_pHost->GoToBookmark(std::make_unique<CBookmark>(CBookmark::ForSection(pSection)), true);
}

void CEncyclopediaAccountantWin::OnSelectSectionInSeeAlso(CEncyclopediaSection* pSection)
{
    OnSelectSectionInNavigator(pSection);
}

void CEncyclopediaAccountantWin::OnSelectSectionInFloatingPanel(CEncyclopediaSection* pSection)
{
    CEncyclopediaSection* pChild = CEncyclopediaData::GetFirstRealChild(pSection);
    if (!pChild)
    {
        KLOG_ERR << "Can't get real child";
        return;
    }
    OnSelectSectionInNavigator(pChild);
}

void CEncyclopediaAccountantWin::OnGoToURL(const std::string& strUrl)
{
    KLOG_TRACE << "Go to URL=" << strUrl;
    const CLinkTarget target = ClassifyLink(strUrl, m_context.GetDocumentsFolder());
    if (target.m_eKind == ELinkKind::WEB || target.m_eKind == ELinkKind::MAIL)
    {
        if (!m_context.OpenExternal(strUrl))
            ShowMessage(IDS_HYPERLINK_ERROR);
        return;
    }
    const std::string& strPath = target.m_strAddress;
    KLOG_NOTICE << "Go to document " << strPath;
    CEncyclopediaData* pEncyclopedia = m_context.GetEncyclopedia();
    CEncyclopediaSection* pSection =
        pEncyclopedia ? pEncyclopedia->FindSectionByURL(strPath) : nullptr;
    if (!pSection)
    {
        KLOG_WARN << "Document " << strPath << " not found";
        ShowMessage(IDS_INVALID_LINK);
        return;
    }
    ShowSection(pSection, true, true, target.m_strAnchor);
}

void CEncyclopediaAccountantWin::OnShowImage(const std::string& strUrl)
{
    if (!m_pHost)
        return;
    std::string_view path = strUrl;
    while (path.starts_with('/'))
        path.remove_prefix(1);
    m_pHost->ShowImage(m_context.GetDocumentsFolder() + std::string(path));
}

void CEncyclopediaAccountantWin::OnSpecialLink(const std::string& strKey)
{
    const CDocumentPage& page = m_content.GetView().GetPage();
    const bool bSample = page.GetSamples().count(strKey) > 0;
    const auto& links = bSample ? page.GetSamples() : page.GetDownloads();
    const auto it = links.find(strKey);
    if (it == links.end())
        return;
    m_sigFormsLink(CDocumentPage::ResolveLink(page.GetUrl(), it->second), bSample);
}

void CEncyclopediaAccountantWin::OnAddBookmarkClicked()
{
    CBookmarkVector* pBookmarks = m_context.GetBookmarks();
    CBookmark* pCurrent = m_pHost ? m_pHost->GetCurrentView() : nullptr;
    if (!pBookmarks || !pCurrent)
        return;
    if (pBookmarks->IsContainsCopy(*pCurrent))
    {
        KLOG_NOTICE << "Bookmark already added";
        return;
    }
    auto pBookmark = std::make_unique<CBookmark>(*pCurrent);
    pBookmark->m_strAnnotation = m_content.GetView().GetTextAnnotation();
    pBookmarks->Add(std::move(pBookmark));
    if (!m_context.SaveBookmarks())
        KLOG_ERR << "CEncyclopediaAccountantWin::OnAddBookmarkClicked can't save bookmarks";
    m_content.GetToolBar().SetBookmarkAdded(true);
}

void CEncyclopediaAccountantWin::OnContentClicked()
{
    m_bNavigatorShown = !m_bNavigatorShown;
    m_navigator.ShowWindow(m_bNavigatorShown ? SW_SHOW : SW_HIDE);
    m_content.GetToolBar().SetContentButtonExpanded(m_bNavigatorShown);
    UpdateControls();
}

void CEncyclopediaAccountantWin::OnSelectSectionClicked(bool bFromToolBar)
{
    CEncyclopediaData* pEncyclopedia = m_context.GetEncyclopedia();
    if (!pEncyclopedia || !pEncyclopedia->GetRoot())
        return;
    if (m_selector.IsShown())
    {
        m_selector.Hide();
        return;
    }
    m_selector.SetHighlightSection(m_pSection ? CEncyclopediaData::GetParentByLevel(m_pSection, 2)
                                              : nullptr);
    if (bFromToolBar)
    {
        const CRect button = m_content.GetToolBar().GetSelectSectionButtonRect();
        m_selector.ShowSubSections(m_pFirstLevel, button.m_nLeft, button.m_nTop + button.m_nHeight);
    }
    else
    {
        const CRect button = m_navigator.GetSelectSectionButtonRect();
        m_selector.ShowSections(pEncyclopedia->GetRoot(), button.m_nLeft,
                                button.m_nTop + button.m_nHeight);
    }
}

void CEncyclopediaAccountantWin::HideFloatingPanel()
{
    if (m_selector.IsWindow())
        m_selector.Hide();
}

void CEncyclopediaAccountantWin::OnDeactivateApp()
{
    HideFloatingPanel();
    m_content.GetView().HideMenu();
}

void CEncyclopediaAccountantWin::OnTimer(unsigned nId)
{
    if (nId == kViewTimer)
        CheckViewTimer();
}

void CEncyclopediaAccountantWin::CheckViewTimer()
{
    if (!m_pTimedSection)
        return;
    const std::time_t tNow = m_context.Now();
    // A clock that went backwards waits, like one that has not got there yet.
    if (tNow < m_tViewStart || tNow - m_tViewStart < kViewSeconds)
        return;
    if (IsWindowVisible())
    {
        KLOG_NOTICE << "Try to add section to view history";
        if (CViewHistoryData* pHistory = m_context.GetViewHistory())
        {
            const CEncyclopediaSection* pFirst =
                CEncyclopediaData::GetFirstLevelSectionItem(m_pTimedSection);
            pHistory->AddSection(m_pTimedSection->m_strURL, m_pTimedSection->m_strName,
                                 pFirst ? pFirst->m_strName : std::string());
        }
    }
    DeleteViewTimer();
}

void CEncyclopediaAccountantWin::ForgetContent()
{
    DeleteViewTimer();
    m_pFirstLevel = m_pDocumentSection = m_pSection = nullptr;
    m_navigator.ForgetContent();
    m_selector.ForgetContent();
}
