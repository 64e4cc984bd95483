#include "MainWindow.h"

#include "ClientContext.h"
#include "FileUtils.h"
#include "Logger.h"
#include "MessageDlg.h"
#include "SingleInstance.h"
#include "StringTable.h"
#include "WindowManager.h"

#include <thread>

namespace
{
constexpr const char* kSupportAddress = "mailto:support@kalimor.example";
constexpr int kStopAttempts = 60;

CClientContext* Context()
{
    return CClientContext::Get();
}
} // namespace

CMainWindow::CMainWindow(std::unique_ptr<CSplashDlg> pSplash)
    : m_pSplash(std::move(pSplash)),
      m_topPanel(Context() ? Context()->GetDataLoader() : nullptr),
      m_searchPanel(Context() ? Context()->GetDataLoader() : nullptr),
      m_statusPanel(Context() ? Context()->GetDataLoader() : nullptr)
{
    // The controls exist from construction; their elements come with Create.
    auto& top = m_topPanel;
    top.GetButton(0).m_sigClick.connect([this] { OnHomeButton(); });
    top.GetButton(1).m_sigClick.connect([this] { OnBackButton(); });
    top.GetButton(2).m_sigClick.connect([this] { OnForwButton(); });
    top.GetButton(3).m_sigClick.connect([this] { OnBookmarksButton(); });
    top.GetButton(4).m_sigClick.connect([this] { OnHistoryButton(); });
    top.GetButton(5).m_sigClick.connect([this] { OnUpdateButton(); });
    top.GetButton(6).m_sigClick.connect([this] { OnConfigButton(); });
    top.GetButton(7).m_sigClick.connect([this] { OnAboutButton(); });
    m_searchPanel.m_logo.m_sigClick.connect([this] {
        KLOG_NOTICE << "Pressed logo button";
        OnHomeButton();
    });
    m_searchPanel.m_sigSearch.connect([this](const std::string& strQuery) { OnSearch(strQuery); });
    m_statusPanel.m_support.m_sigClick.connect([this] { OnSupport(); });
}

CMainWindow::~CMainWindow()
{
    DestroyWindow();
}

void CMainWindow::CloseSplashWnd()
{
    if (!m_pSplash)
        return;
    m_pSplash->Hide();
    m_pSplash.reset();
}

bool CMainWindow::Create()
{
    KTRACE("CMainWindow::Create");
    CloseSplashWnd();
    CWindowManager* pManager = CWindowManager::Get();
    const CRect desktop = pManager ? pManager->GetDesktopRect() : CRect{0, 0, 1280, 800};
    if (!CreateBase(WINDOW_FRAME, CStringTable::Get(IDS_MAIN_WINDOW_TITLE), desktop, nullptr, 0, false, false))
    {
        KLOG_ERR << "CMainWindow::Create can't create MainWindow";
        return false;
    }
    const unsigned nStyle = WS_CHILD | WS_VISIBLE;
    const CRect empty{0, 0, desktop.m_nWidth, 0};
    if (!m_topPanel.Create(nStyle, empty, this, 1) || !m_searchPanel.Create(nStyle, empty, this, 2) ||
        !m_statusPanel.Create(nStyle, empty, this, 5) || !m_leftMargin.Create("margin", empty, this, 13, true) ||
        !m_rightMargin.Create("margin", empty, this, 14, true) || !m_shadow.Create("shadow", empty, this, 20, false))
    {
        KLOG_ERR << "CMainWindow::Create can't create children windows";
        return false;
    }
    SetShadowMode(false);
    SetBodyWinKind(0);
    OnUpdateStatus();
    RecalcLayout();
    OnUpdateData();
    SetTimer(TIMER_CLIENT_VERSION, 10800000);
    SetTimer(TIMER_CLIENT_OFFER, 60000);
    return true;
}

void CMainWindow::SetBodyWinKind(int nKind)
{
    // The body windows of the views join the frame with their own windows;
    // the panels are always there.
    m_nNewsPanelHeight = nKind == 7 ? 242 : 218;
    m_nBodyKind = nKind;
    m_searchPanel.SetBottomLineVisible(nKind != 0);
}

void CMainWindow::RecalcLayout()
{
    if (!IsWindow())
        return;
    const CRect client = GetClientRect();
    const CMainLayout layout =
        CMainLayout::Compute(client.m_nWidth, client.m_nHeight, m_nBodyKind, m_topPanel.GetContentHeight());
    m_shadow.MoveWindow(layout.m_shadow);
    m_topPanel.MoveWindow(layout.m_topPanel);
    m_searchPanel.MoveWindow(layout.m_searchPanel);
    m_statusPanel.MoveWindow(layout.m_statusPanel);
    m_leftMargin.MoveWindow(layout.m_leftMargin);
    m_rightMargin.MoveWindow(layout.m_rightMargin);
    m_leftMargin.ShowWindow(m_nBodyKind != 0 ? SW_SHOW : SW_HIDE);
    m_rightMargin.ShowWindow(m_nBodyKind != 0 ? SW_SHOW : SW_HIDE);
}

void CMainWindow::OnSize(int, int)
{
    RecalcLayout();
}

void CMainWindow::OnUpdateStatus()
{
    if (CClientContext* pContext = Context())
    {
        const CRegistryConfig& config = pContext->GetRegistryConfig();
        m_statusPanel.OnUpdateStatus(config.GetLastUpdateDay(), config.GetLastUpdateMonth(),
                                     config.GetLastUpdateYear());
    }
    RecalcLayout();
}

void CMainWindow::OnUpdateData()
{
    OnUpdateStatus();
    m_history.Clear();
    if (CBookmark* pCurrent = m_history.GetCurrent())
        ShowBookmark(*pCurrent);
}

void CMainWindow::UpdateNavigation()
{
    m_topPanel.SetNavigationState(m_history.CanMoveBackward(), m_history.CanMoveForward());
}

bool CMainWindow::GoToBookmark(std::unique_ptr<CBookmark> pBookmark, bool bShow)
{
    if (!pBookmark || !m_history.MoveTo(pBookmark))
        return false;
    if (bShow)
    {
        if (CBookmark* pCurrent = m_history.GetCurrent())
            ShowBookmark(*pCurrent);
        UpdateNavigation();
    }
    return true;
}

void CMainWindow::ShowBookmark(CBookmark& bookmark)
{
    if (bookmark.m_nType != m_nBodyKind)
    {
        SetBodyWinKind(bookmark.m_nType);
        RecalcLayout();
    }
    // The body windows of each kind take their view here as they arrive.
    UpdateNavigation();
}

bool CMainWindow::CheckContent()
{
    CClientContext* pContext = Context();
    if (pContext && pContext->GetRegistryConfig().GetContentVersion() != 0)
        return true;
    ShowMessage(IDS_NO_CONTENT);
    return false;
}

void CMainWindow::SetShadowMode(bool bOn)
{
    // The shadow dims the whole window under a modal dialog; the browser
    // keeps drawing the window itself, so no picture of it is needed.
    m_shadow.ShowWindow(bOn ? SW_SHOW : SW_HIDE);
}

void CMainWindow::OnHomeButton()
{
    GoToBookmark(std::make_unique<CBookmark>(CBookmark::VIEW_HOME), true);
}

void CMainWindow::OnBackButton()
{
    KLOG_NOTICE << "Pressed backward button";
    if (!m_history.CanMoveBackward())
        return;
    m_history.MoveBackward();
    CBookmark* pCurrent = m_history.GetCurrent();
    if (!pCurrent)
        return;
    ShowBookmark(*pCurrent);
    if (!pCurrent->m_strSearchString.empty())
        m_searchPanel.SetSearchText(pCurrent->m_strSearchString);
}

void CMainWindow::OnForwButton()
{
    KLOG_NOTICE << "Pressed forward button";
    if (!m_history.CanMoveForward())
        return;
    m_history.MoveForward();
    if (CBookmark* pCurrent = m_history.GetCurrent())
        ShowBookmark(*pCurrent);
}

void CMainWindow::OnBookmarksButton()
{
    if (CheckContent() && !GoToBookmark(std::make_unique<CBookmark>(CBookmark::VIEW_BOOKMARKS), true))
        KLOG_ERR << "Can't move to bookmark list";
}

void CMainWindow::OnHistoryButton()
{
    KLOG_NOTICE << "Pressed history button";
    if (CheckContent() && !GoToBookmark(std::make_unique<CBookmark>(CBookmark::VIEW_HISTORY), true))
        KLOG_ERR << "Can't move to history list";
}

void CMainWindow::OnUpdateButton()
{
    KLOG_NOTICE << "Pressed update button";
    // The update flow and the account settings join the window with their branch.
}

void CMainWindow::OnConfigButton()
{
    KLOG_NOTICE << "Pressed config button";
}

void CMainWindow::OnAboutButton()
{
    KLOG_NOTICE << "Pressed about button";
    std::string strPage;
    CClientContext* pContext = Context();
    if (!pContext || !CFileUtils::LoadTxtFileOrResource(pContext->GetResourceConfig().GetAboutMessagePath(), strPage))
        return;
    const std::string strResult = ShowMessageSized(strPage, MSG_SHADOW | MSG_NO_IMAGE, 700, 530);
    if (strResult == "EMAIL")
    {
        if (!pContext->OpenExternal(kSupportAddress))
            ShowMessage(IDS_HYPERLINK_ERROR);
    }
    else if (!strResult.empty())
        KLOG_WARN << "Unknown about dialog result";
}

void CMainWindow::OnSearch(const std::string& strQuery)
{
    KLOG_NOTICE << "Pressed search button";
    KLOG_DEBUG << "CMainWindow::OnSearch " << strQuery;
    if (!CheckContent())
        return;
    // The search pipeline joins here with the search objects: the query
    // lower-cased, searched, mapped to sections and shown as a view of kind 5.
}

void CMainWindow::OnSupport()
{
    if (CClientContext* pContext = Context(); !pContext || !pContext->OpenExternal(kSupportAddress))
        ShowMessage(IDS_HYPERLINK_ERROR);
}

void CMainWindow::OnAppShow()
{
    if (CClientContext* pContext = Context())
        pContext->ShowMainWindowFromTray();
    else
        ShowWindow(SW_SHOWMAXIMIZED);
}

void CMainWindow::OnAppUpdate(bool bSilent)
{
    KLOG_NOTICE << "CMainWindow::OnAppUpdate" << (bSilent ? " silent" : "");
}

void CMainWindow::OnCommand(unsigned nCommand)
{
    switch (nCommand)
    {
    case ID_APP_SHOW: OnAppShow(); break;
    case ID_APP_UPDATE: OnAppUpdate(Context() && Context()->IsTrayMode()); break;
    // Exit means exit, wherever the window is: as the stop message.
    case ID_APP_EXIT: OnCloseExistedKalimor(); break;
    default: KLOG_WARN << "CMainWindow::OnCommand unknown command " << nCommand; break;
    }
}

void CMainWindow::OnCloseExistedKalimor()
{
    KTRACE("CMainWindow::OnCloseExistedKalimor");
    if (CClientContext* pContext = Context(); pContext && pContext->IsUpdateRunning())
        pContext->CancelUpdate();
    DestroyWindow();
}

void CMainWindow::OnClose()
{
    KTRACE("CMainWindow::OnClose");
    CClientContext* pContext = Context();
    // With no tray to come back through, a hidden client would be lost.
    if (pContext && !pContext->HasTrayHost())
    {
        KLOG_NOTICE << "CMainWindow::OnClose no tray host: the client ends";
        OnCloseExistedKalimor();
        return;
    }
    if (pContext && !pContext->IsTrayMode())
    {
        pContext->SetTrayMode(true);
        ShowWindow(SW_HIDE);
        return;
    }
    if (pContext && pContext->IsUpdateRunning())
    {
        pContext->CancelUpdate();
        return;
    }
    DestroyWindow();
}

void CMainWindow::OnDestroy()
{
    if (CWindowManager* pManager = CWindowManager::Get())
        pManager->GetLoop().Quit(0);
}

void CMainWindow::OnTimer(unsigned nId)
{
    // The client-version watcher and the offer of a newer client come with
    // the update flow.
    KLOG_DEBUG << "CMainWindow::OnTimer " << nId;
}

std::intptr_t CMainWindow::WindowProc(unsigned nMsg, std::uintptr_t wParam, std::intptr_t lParam)
{
    switch (nMsg)
    {
    case WM_OPEN_FROM_TRAY: OnAppShow(); return 0;
    case WM_STOP_KALIMOR: OnCloseExistedKalimor(); return 0;
    case WM_NEW_CLIENT_URL:
    {
        std::unique_ptr<std::string> pUrl(reinterpret_cast<std::string*>(lParam));
        if (pUrl)
            m_strNewClientUrl = *pUrl;
        return 0;
    }
    case WM_CONTENT_SIZE_CHANGED: RecalcLayout(); return 0;
    case WM_COMMAND: OnCommand(static_cast<unsigned>(wParam)); return 0;
    case WM_SYSCOMMAND:
        if (wParam == SC_APP_UPDATE)
            OnAppUpdate(false);
        if (wParam == SC_APP_ABOUT)
        {
            SetShadowMode(true);
            CAboutDlg about(this);
            about.DoModal();
            SetShadowMode(false);
        }
        return 0;
    default: return CWnd::WindowProc(nMsg, wParam, lParam);
    }
}

void CMainWindow::OpenKalimorWindowFromTray()
{
    CSingleInstance instance(kKalimorMutexName);
    if (!instance.SendToRunning(WM_OPEN_FROM_TRAY))
        KLOG_ERR << "There is no another window";
}

void CMainWindow::StopExistedKalimor()
{
    CSingleInstance instance(kKalimorMutexName);
    // Bounded, unlike a bare "while it exists": a client that never answers
    // must not keep the uninstaller waiting for ever.
    for (int nAttempt = 0; nAttempt < kStopAttempts && instance.IsHeldByOther(); ++nAttempt)
    {
        instance.SendToRunning(WM_STOP_KALIMOR);
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    }
}

void CMainWindow::StopAndReplaceExistedKalimor()
{
    StopExistedKalimor();
    const std::string strOwn = CResourceConfig::GetExecutableFolder() + "/" + "KalimorClnt";
    char szSelf[4096] = {};
    const ssize_t nLength = ::readlink("/proc/self/exe", szSelf, sizeof(szSelf) - 1);
    const std::string strSelf = nLength > 0 ? std::string(szSelf, static_cast<std::size_t>(nLength)) : std::string();
    // Copying a file onto itself would empty it: there is nothing to replace.
    if (strSelf.empty() || strSelf == strOwn)
        return;
    for (int nAttempt = 0; nAttempt < 6; ++nAttempt)
    {
        if (nAttempt > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        if (CFileUtils::CopyFile(strSelf, strOwn))
            return;
    }
    KLOG_ERR << CStringTable::Get(IDS_INSTALL_ERROR);
    std::fprintf(stderr, "%s\n", std::string(CStringTable::Get(IDS_INSTALL_ERROR)).c_str());
}
