#include "ViewCommands.h"

#include "ClientContext.h"
#include "FileUtils.h"
#include "FormFile.h"
#include "Logger.h"
#include "MessageDlg.h"
#include "StringTable.h"
#include "ViewHost.h"

namespace
{
constexpr const char* kSupportAddress = "mailto:support@kalimor.example";
} // namespace

bool CViewCommands::Show(std::unique_ptr<CBookmark> pView)
{
    return pView && m_host.GoToBookmark(std::move(pView), true);
}

bool CViewCommands::CheckContent() const
{
    if (m_context.GetRegistryConfig().GetContentVersion() != 0)
        return true;
    ShowMessage(IDS_NO_CONTENT);
    return false;
}

void CViewCommands::Search(const std::string& strQuery)
{
    KLOG_NOTICE << "Pressed search button";
    KLOG_DEBUG << "CMainWindow::OnSearch " << strQuery;
    if (!CheckContent() || !m_maker.CanSearch())
        return;
    m_waitCursor(true);
    if (!m_host.GoToBookmark(m_maker.ForSearch(strQuery), true))
        KLOG_WARN << "CMainWindow::OnSearch can't show the results";
    m_waitCursor(false);
}

void CViewCommands::SearchPrompt(const std::string& strPrompt)
{
    KLOG_NOTICE << "CMainWindow::OnSearchPrompt " << strPrompt;
    if (CheckContent())
        Show(m_maker.ForPrompt(strPrompt));
}

void CViewCommands::OpenLinks(const std::vector<std::string>& links, const std::string& strText)
{
    Show(m_maker.ForLinks(links, strText));
}

void CViewCommands::SelectSectionType(const std::string& strType)
{
    KLOG_DEBUG << "Go to section type=" << strType;
    if (CheckContent())
        Show(m_maker.ForSectionType(strType));
}

void CViewCommands::OpenRecentDocument(const CMRUDocument& document)
{
    KLOG_NOTICE << "Select MRU document";
    if (CheckContent())
        Show(m_maker.ForRecentDocument(document));
}

void CViewCommands::OpenLink(const std::string& strUrl)
{
    KLOG_DEBUG << "CMainWindow::OpenLink " << strUrl;
    const CLinkTarget target = m_maker.Classify(strUrl);
    if (target.m_eKind == ELinkKind::WEB || target.m_eKind == ELinkKind::MAIL)
    {
        if (!m_context.OpenExternal(strUrl))
            ShowMessage(IDS_HYPERLINK_ERROR);
        return;
    }
    if (!CheckContent())
        return;
    std::unique_ptr<CBookmark> pView = m_maker.ForDocument(target, strUrl);
    if (!pView)
    {
        ShowMessage(IDS_INVALID_LINK);
        return;
    }
    m_host.GoToBookmark(std::move(pView), true);
}

void CViewCommands::OpenSupport()
{
    if (!m_context.OpenExternal(kSupportAddress))
        ShowMessage(IDS_HYPERLINK_ERROR);
}

void CViewCommands::ShowAbout()
{
    KLOG_NOTICE << "Pressed about button";
    std::string strPage;
    if (!CFileUtils::LoadTxtFileOrResource(m_context.GetResourceConfig().GetAboutMessagePath(),
                                           strPage))
        return;
    const std::string strResult = ShowMessageSized(strPage, MSG_SHADOW | MSG_NO_IMAGE, 700, 530);
    if (strResult == "EMAIL")
    {
        if (!m_context.OpenExternal(kSupportAddress))
            ShowMessage(IDS_HYPERLINK_ERROR);
    }
    else if (!strResult.empty())
        KLOG_WARN << "Unknown about dialog result";
}

void CViewCommands::ShowBookmarks()
{
    if (CheckContent() &&
        !m_host.GoToBookmark(std::make_unique<CBookmark>(CBookmark::VIEW_BOOKMARKS), true))
        KLOG_ERR << "Can't move to bookmark list";
}

void CViewCommands::ShowHistory()
{
    KLOG_NOTICE << "Pressed history button";
    if (CheckContent() &&
        !m_host.GoToBookmark(std::make_unique<CBookmark>(CBookmark::VIEW_HISTORY), true))
        KLOG_ERR << "Can't move to history list";
}

void CViewCommands::ShowRegistry()
{
    KLOG_NOTICE << "Pressed registry button";
    if (CheckContent())
        m_host.GoToBookmark(std::make_unique<CBookmark>(CBookmark::VIEW_SEARCH_REGISTRY), true);
}

bool CViewCommands::ShowFormOf(const std::string& strUrl)
{
    std::unique_ptr<CBookmark> pView = m_maker.ForFormOf(strUrl);
    if (!pView)
        return false;
    m_host.GoToBookmark(std::move(pView), true);
    return true;
}

bool CViewCommands::DownloadForm(const std::string& strUrl)
{
    KLOG_NOTICE << "CMainWindow::OnDownloadBlank " << strUrl;
    if (ShowFormOf(strUrl))
        return true;
    const std::string strPath = m_host.DownloadContentFile(strUrl);
    if (strPath.empty())
        return false;
    // The desktop gets a copy outside the content, and only of a document.
    const std::string strCopy = CFormFile::CopyForDesktop(strPath, CFormFile::GetCopiesFolder());
    if (strCopy.empty() || !m_context.OpenExternal(strCopy))
        ShowMessage(IDS_FORM_OPEN_ERROR);
    return false;
}

void CViewCommands::ViewFilledSample(const std::string& strUrl, CEncyclopediaSection* pSection)
{
    KLOG_NOTICE << "CMainWindow::OnViewFilledBlank " << strUrl;
    if (!ShowFormOf(strUrl))
        Show(m_maker.ForFilledSample(strUrl, pSection));
}
