#include "KalimorHtmlView.h"

#include "ClientContext.h"
#include "FileUtils.h"
#include "LinkTarget.h"
#include "Logger.h"
#include "MessageDlg.h"
#include "SearchUtils.h"
#include "StringTable.h"
#include "TextUtils.h"
#include "UrlToPath.h"
#include "WindowManager.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>

CKalimorHtmlView::CKalimorHtmlView(CClientContext& context)
    : m_context(context),
      m_menu(context.GetDataLoader())
{
    m_menu.m_sigCommand.connect([this](unsigned nCommand) { OnMenuCommand(nCommand); });
}

CKalimorHtmlView::~CKalimorHtmlView()
{
    DestroyWindow();
    if (!m_strWordFolder.empty())
    {
        std::error_code error;
        std::filesystem::remove_all(m_strWordFolder, error);
    }
}

bool CKalimorHtmlView::Create(const CRect& rect, CWnd* pParent, int nId)
{
    if (!CreateBase(WINDOW_CHILD, "", rect, pParent, nId, true, false))
        return false;
    SetFrontEndClass("document");
    SetFrameSource("about:blank");
    if (!m_menu.CreateMenu(this, 101))
        KLOG_ERR << "CKalimorHtmlView::Create can't create the context menu";
    return true;
}

bool CKalimorHtmlView::GetLocalFileName(std::string_view url, std::string& strEncrypted,
                                        std::string& strPlain)
{
    // Lower case, "." and ".." resolved, blanks, doubled and trailing
    // separators gone; written with backslashes as the names were first made.
    std::string strPath = CFileUtils::NormalizePath(url);
    std::replace(strPath.begin(), strPath.end(), '/', '\\');
    constexpr std::string_view kPage = ".html";
    if (strPath.size() <= 5 || !strPath.ends_with(kPage))
        return false;
    strPlain = strPath;
    strEncrypted = strPath.substr(0, strPath.size() - kPage.size()) + ".dat";
    return true;
}

bool CKalimorHtmlView::IsImageURL(std::string_view url)
{
    return IsPictureUrl(url);
}

std::string CKalimorHtmlView::MakeFrameUrl(std::string_view relativePath, std::string_view anchor,
                                           unsigned nNavigation)
{
    while (relativePath.starts_with('/'))
        relativePath.remove_prefix(1);
    // The number makes every navigation a new address, so that showing the
    // same place again scrolls to it again.
    std::string strUrl =
        "/doc/" + PercentEncodeUrl(relativePath, "/") + "?v=" + std::to_string(nNavigation);
    if (!anchor.empty())
        strUrl += "#" + PercentEncodeUrl(anchor);
    return strUrl;
}

void CKalimorHtmlView::FocusDocument()
{
    SendFrontEndCommand({{"cmd", "focus"}});
}

bool CKalimorHtmlView::Navigate(const std::string& strAddress)
{
    KTRACE("CKalimorHtmlView::Navigate");
    m_bFirstNavigationDone = false;
    HideMenu();
    std::string strPath;
    CFileUtils::ParseFileName(strAddress, strPath, m_strAnchor);
    const std::string strFolder = m_context.GetDocumentsFolder();
    if (strFolder.empty() || !strPath.starts_with(strFolder))
    {
        KLOG_ERR << "CKalimorHtmlView::Navigate not a document of the content: " << strAddress;
        return false;
    }
    m_strDocumentPath = "/" + strPath.substr(strFolder.size());
    KLOG_DEBUG << "Before navigate " << m_strDocumentPath;
    std::string strEncrypted, strPlain;
    if (GetLocalFileName(m_strDocumentPath, strEncrypted, strPlain))
    {
        // A page that cannot be read shows empty; the reason is logged.
        if (!m_page.Load(strFolder, m_strDocumentPath))
            m_page.LoadHtml("<html><body></body></html>", m_strDocumentPath);
    }
    else
        m_page.LoadHtml("<html><body></body></html>", m_strDocumentPath);
    SetFrameSource(MakeFrameUrl(m_strDocumentPath, m_strAnchor, ++m_nNavigation));
    return true;
}

std::string CKalimorHtmlView::GetTextAnnotation() const
{
    // The title is the bookmark's own line already.
    return m_page.GetText(200, true);
}

void CKalimorHtmlView::PrintContent()
{
    KTRACE("CKalimorHtmlView::PrintContent");
    // The document's own print style (added by the bridge) leaves out the
    // browser's header and footer and prints backgrounds.
    SendFrontEndCommand({{"cmd", "print"}});
}

void CKalimorHtmlView::MarkWords(const std::set<std::string>& words)
{
    m_nMarks = m_nCurrentMark = 0;
    m_sigMarks(0, 0);
    SendFrontEndCommand({{"cmd", "mark"},
                         {"words", std::vector<std::string>(words.begin(), words.end())},
                         {"wordClass", kWordCharacterClass}});
}

void CKalimorHtmlView::MoveMark(int nStep)
{
    if (m_nMarks > 0)
        SendFrontEndCommand({{"cmd", "markMove"}, {"step", nStep}});
}

void CKalimorHtmlView::HideMenu()
{
    if (m_menu.IsWindow())
        m_menu.Hide();
}

void CKalimorHtmlView::OnBeforeNavigate(const std::string& strUrl)
{
    if (const auto it = m_linkTable1.find(strUrl); it != m_linkTable1.end())
    {
        m_sigLink1(it->second);
        return;
    }
    if (const auto it = m_linkTable2.find(strUrl); it != m_linkTable2.end())
    {
        m_sigLink2(it->second);
        return;
    }
    if (IsImageURL(strUrl))
    {
        KLOG_DEBUG << "CKalimorHtmlView::OnBeforeNavigate2 Try to show image url=" << strUrl;
        m_sigShowImage(CDocumentPage::ResolveLink(m_strDocumentPath, strUrl));
        return;
    }
    KLOG_DEBUG << "CKalimorHtmlView::OnBeforeNavigate2 dropped " << strUrl;
}

void CKalimorHtmlView::OnContextMenu(std::string_view kind, int nX, int nY)
{
    KLOG_DEBUG << "CKalimorHtmlView::OnContextMenu " << kind;
    // Pictures and controls get no menu; the browser's own never shows.
    if (kind != "page" && kind != "selection")
        return;
    const bool bSelection = kind == "selection";
    std::vector<CPopupMenuWin::CItem> items{{ID_MENU_COPY, "Копировать", bSelection},
                                            {ID_MENU_ADD_BOOKMARK, "Добавить в закладки", true},
                                            {ID_MENU_PRINT, "Печать", true}};
    if (bSelection)
        items.push_back({ID_MENU_MSWORD, "Открыть в LibreOffice Writer", true});
    const CRect place = GetScreenRect();
    m_menu.ShowMenu(items, place.m_nLeft + nX, place.m_nTop + nY);
}

void CKalimorHtmlView::OnMenuCommand(unsigned nCommand)
{
    switch (nCommand)
    {
    // The page reports the selection; what it holds is cleaned here before
    // it reaches the clipboard or the word processor.
    case ID_MENU_COPY: SendFrontEndCommand({{"cmd", "selection"}, {"purpose", "copy"}}); break;
    case ID_MENU_MSWORD: SendFrontEndCommand({{"cmd", "selection"}, {"purpose", "word"}}); break;
    case ID_MENU_ADD_BOOKMARK: m_sigAddBookmark(); break;
    case ID_MENU_PRINT: PrintContent(); break;
    default: KLOG_WARN << "CKalimorHtmlView::OnMenuCommand unknown command " << nCommand; break;
    }
}

void CKalimorHtmlView::OpenSelectionInWordProcessor(const std::string& strHtml)
{
    if (strHtml.empty())
        return;
    if (m_strWordFolder.empty())
    {
        const char* szTemp = std::getenv("TMPDIR");
        std::string strPattern =
            std::string(szTemp && *szTemp ? szTemp : "/tmp") + "/kalimor-writer-XXXXXX";
        if (::mkdtemp(strPattern.data()))
            m_strWordFolder = strPattern;
    }
    // The word processor reads a copy of the selection; it stays in a folder
    // of the user's own until the client ends.
    const std::string strFile = m_strWordFolder + "/Фрагмент документа.html";
    const std::string strPage = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>" +
                                strHtml + "</body></html>";
    if (m_strWordFolder.empty() || !CFileUtils::SaveFileAtomically(strFile, strPage) ||
        !m_context.OpenInWordProcessor(strFile))
    {
        KLOG_ERR << "CKalimorHtmlView::OnMenuMSWord can't open the word processor";
        ShowMessage(IDS_WORD_PROCESSOR_ERROR);
    }
}

void CKalimorHtmlView::OnSelection(std::string_view purpose, const std::string& strHtml,
                                   const std::string& strText)
{
    if (purpose != "copy" && purpose != "word")
        return;
    // The markup comes from the page, which comes from a package: the same
    // cleaner as for the page itself, as a part of a body.
    const std::string strClean = CDocumentPage::CleanSelection(strHtml);
    if (!strText.empty() || !strClean.empty())
        SendFrontEndCommand({{"cmd", "clipboard"}, {"html", strClean}, {"text", strText}});
    if (purpose == "word")
        OpenSelectionInWordProcessor(strClean);
}

bool CKalimorHtmlView::OnFrontEndEvent(std::string_view type, const nlohmann::json& event)
{
    const auto text = [&event](const char* szKey) {
        return CWindowManager::EventText(event, szKey);
    };
    if (type == "doclink")
        OnBeforeNavigate(text("href"));
    else if (type == "doccontext")
        OnContextMenu(text("kind"), CWindowManager::EventInt(event, "x"),
                      CWindowManager::EventInt(event, "y"));
    else if (type == "docloaded")
    {
        m_bFirstNavigationDone = true;
        KLOG_DEBUG << "CKalimorHtmlView::OnDocumentComplete " << text("src");
    }
    else if (type == "docselection")
        OnSelection(text("purpose"), text("html"), text("text"));
    else if (type == "dockey")
        HideMenu();
    else if (type == "docmarks")
    {
        m_nMarks = std::max(0, CWindowManager::EventInt(event, "total"));
        m_nCurrentMark = std::clamp(CWindowManager::EventInt(event, "current"), 0, m_nMarks);
        m_sigMarks(m_nCurrentMark, m_nMarks);
    }
    else
        return false;
    return true;
}
