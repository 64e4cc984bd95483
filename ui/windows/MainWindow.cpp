#include "MainWindow.h"

#include "ClientContext.h"
#include "HtmlDocument.h"
#include "Logger.h"
#include "MemoryPolicy.h"
#include "MessageDlg.h"
#include "StringTable.h"
#include "WindowManager.h"

namespace
{

void Show(CWnd& wnd, bool bShow)
{
    wnd.ShowWindow(bShow ? SW_SHOW : SW_HIDE);
}
} // namespace

CMainWindow::CMainWindow(CClientContext& context, std::unique_ptr<CSplashDlg> pSplash)
    : m_context(context),
      m_pSplash(std::move(pSplash)),
      m_topPanel(context.GetDataLoader()),
      m_searchPanel(context),
      m_welcome(context),
      m_encyclopedia(context, this),
      m_statusPanel(context.GetDataLoader()),
      m_searchRegistry(context, this),
      m_searchResult(context, this),
      m_bookmarkList(context, this),
      m_historyWin(context, this),
      m_newsHeader(context.GetDataLoader()),
      m_newsScrollBar(context.GetDataLoader()),
      m_newsPanel(context, this),
      m_newsCalendar(context, this),
      m_taxCalendar(context, this),
      m_blankView(context, this),
      m_blankList(context, this),
      m_blankSectionList(context, this)
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
    m_searchPanel.m_sigSearchPrompt.connect(
        [this](const std::string& strPrompt) { OnSearchPrompt(strPrompt); });
    m_searchPanel.m_registry.m_sigClick.connect([this] { OnRegistryButton(); });
    m_searchRegistry.m_sigPhrase.connect(
        [this](const std::string& strText, const std::vector<std::string>& links) {
            OpenLinks(links, strText);
        });
    m_welcome.m_sigSelectSection.connect(
        [this](const std::string& strType) { SelectEncyclopedySection(strType); });
    m_welcome.m_sigHowToUse.connect([this] { OnHowToUse(); });
    m_welcome.m_sigDocumentSelected.connect(
        [this](const CMRUDocument& document) { OnSelectMRUDocument(document); });
    m_statusPanel.m_support.m_sigClick.connect([this] { OnSupport(); });
    m_newsHeader.m_blanks.m_sigClick.connect([this] { OnBlanks(); });
    m_newsHeader.m_taxCalendar.m_sigClick.connect([this] {
        GoToBookmark(
            std::make_unique<CBookmark>(CBookmark::ForTaxCalendar(ToLocalDate(m_context.Now()))),
            true);
    });
    m_newsScrollBar.m_sigPosition.connect([this](int nPosition, int nMaximum) {
        m_newsPanel.SetScrollPosition(nPosition, nMaximum);
    });
    m_newsPanel.m_sigRange.connect([this](std::size_t nItems, std::size_t nVisible) {
        m_newsScrollBar.SetRange(nItems, nVisible);
    });
    m_newsPanel.m_sigWheel.connect([this](int nStep) { m_newsScrollBar.Step(nStep); });
    m_encyclopedia.m_sigFormsLink.connect([this](const std::string& strUrl, bool bSample) {
        if (bSample)
            OnViewFilledBlank(strUrl);
        else
            OnDownloadBlank(strUrl);
    });
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
    if (!CreateBase(WINDOW_FRAME, CStringTable::Get(IDS_MAIN_WINDOW_TITLE), desktop, nullptr, 0,
                    false, false))
    {
        KLOG_ERR << "CMainWindow::Create can't create MainWindow";
        return false;
    }
    if (!CreateChildren(CRect{0, 0, desktop.m_nWidth, 0}))
    {
        KLOG_ERR << "CMainWindow::Create can't create children windows";
        return false;
    }
    if (pManager)
    {
        pManager->SetShadowHost(*this, *this);
        pManager->SetActivationHook([this](bool bActive) { OnActivate(bActive); });
        pManager->SetKeyHook(
            [this](CWnd* pWnd, const CKeyPress& key) { return m_keyboard.OnKey(pWnd, key); });
    }
    SetShadowMode(false);
    m_nBodyKind = -1;
    SetBodyWinKind(0);
    OnUpdateStatus();
    RecalcLayout();
    OnUpdateData();
    // The client opens ready for a query, as a search program does.
    m_searchPanel.FocusSearchBox();
    m_updates.Start();
    return true;
}

bool CMainWindow::CreateChildren(const CRect& rect)
{
    // In the order they lie on screen, top to bottom and left to right
    // within each view: the page keeps its frames in the order they were
    // made, and that is the order Tab goes through them. The first failure
    // ends it.
    const unsigned nStyle = WS_CHILD | WS_VISIBLE;
    return m_topPanel.Create(nStyle, rect, this, 1) &&
           m_searchPanel.Create(nStyle, rect, this, 2) && m_welcome.Create(nStyle, rect, this, 3) &&
           m_blankSectionList.Create(nStyle, rect, this, 19) &&
           m_newsCalendar.Create(nStyle, rect, this, 12) &&
           m_newsHeader.Create(nStyle, rect, this, 10) &&
           m_newsScrollBar.Create(nStyle, rect, this, 11) &&
           m_newsPanel.Create(nStyle, rect, this, 12) &&
           m_encyclopedia.Create(nStyle, rect, this, 4) &&
           m_searchRegistry.Create(nStyle, rect, this, 6) &&
           m_searchResult.Create(nStyle, rect, this, 7) &&
           m_bookmarkList.Create(nStyle, rect, this, 8) &&
           m_historyWin.Create(nStyle, rect, this, 9) &&
           m_taxCalendar.Create(nStyle, rect, this, 16) &&
           m_blankList.Create(nStyle, rect, this, 18) &&
           m_blankView.Create(nStyle, rect, this, 17) &&
           m_leftMargin.Create("margin", rect, this, 13, true) &&
           m_rightMargin.Create("margin", rect, this, 14, true) &&
           m_statusPanel.Create(nStyle, rect, this, 5) &&
           m_shadow.Create("shadow", CRect{}, this, 20, false);
}

CWnd* CMainWindow::GetBodyWindow(int nKind)
{
    switch (nKind)
    {
    case CBookmark::VIEW_HOME: return &m_welcome;
    case CBookmark::VIEW_SECTION: return &m_encyclopedia;
    case CBookmark::VIEW_SEARCH_REGISTRY: return &m_searchRegistry;
    case CBookmark::VIEW_BOOKMARKS: return &m_bookmarkList;
    case CBookmark::VIEW_HISTORY: return &m_historyWin;
    case CBookmark::VIEW_SEARCH_RESULTS: return &m_searchResult;
    case CBookmark::VIEW_TAX_CALENDAR: return &m_taxCalendar;
    case CBookmark::VIEW_FORMS_HOME: return &m_blankSectionList;
    case CBookmark::VIEW_FORM_LIST: return &m_blankList;
    case CBookmark::VIEW_FORM: return &m_blankView;
    default: return nullptr;
    }
}

void CMainWindow::SetBodyWinKind(int nKind)
{
    const bool bHome = nKind == CBookmark::VIEW_HOME;
    const bool bForms = nKind == CBookmark::VIEW_FORMS_HOME;
    for (const int nOther : {1, 2, 3, 4, 5, 6, 8, 9})
        if (CWnd* pWnd = GetBodyWindow(nOther))
            Show(*pWnd, nOther == nKind);
    Show(m_welcome, bHome);
    Show(m_newsHeader, bHome);
    Show(m_newsCalendar, bHome);
    Show(m_blankSectionList, bForms);
    Show(m_newsScrollBar, bHome || bForms);
    Show(m_newsPanel, bHome || bForms);
    Show(m_leftMargin, !bHome);
    Show(m_rightMargin, !bHome);
    if (bHome || bForms)
    {
        m_nNewsPanelHeight = bForms ? 242 : 218;
        if (bForms)
            m_newsPanel.ShowBlankNews();
        else
            m_newsPanel.ShowNews();
        m_newsScrollBar.SetPosition(0);
    }
    if (nKind != CBookmark::VIEW_SECTION)
    {
        m_encyclopedia.HideFloatingPanel();
        m_encyclopedia.GetBrowserContent().GetView().ReleaseLargePage();
    }
    m_nBodyKind = nKind;
    m_searchPanel.SetBottomLineVisible(!bHome);
}

void CMainWindow::RecalcLayout()
{
    if (!IsWindow())
        return;
    const CRect client = GetClientRect();
    ApplyLayout(CMainLayout::Compute(
        std::max(client.m_nWidth, CMainLayout::kMinWidth),
        std::max(client.m_nHeight, CMainLayout::kMinHeight), std::max(0, m_nBodyKind),
        {m_topPanel.GetContentHeight(), m_newsHeader.GetContentHeight(),
         m_welcome.GetContentHeight(), m_newsCalendar.GetContentHeight()}));
}

void CMainWindow::ApplyLayout(const CMainLayout& layout)
{
    m_shadow.MoveWindow(layout.m_shadow);
    m_topPanel.MoveWindow(layout.m_topPanel);
    m_searchPanel.MoveWindow(layout.m_searchPanel);
    m_statusPanel.MoveWindow(layout.m_statusPanel);
    m_leftMargin.MoveWindow(layout.m_leftMargin);
    m_rightMargin.MoveWindow(layout.m_rightMargin);
    m_newsScrollBar.SetMarkers(layout.m_nMarker1, layout.m_nMarker2);
    m_newsPanel.SetInsets(layout.m_nMarker1, layout.m_nMarker2);
    m_newsHeader.SetInsets(layout.m_nMarker1, layout.m_nMarker2);
    switch (m_nBodyKind)
    {
    case CBookmark::VIEW_HOME:
        m_newsCalendar.SetStacked(layout.m_bNarrow);
        m_welcome.MoveWindow(layout.m_welcome);
        m_newsCalendar.MoveWindow(layout.m_newsCalendar);
        m_newsHeader.MoveWindow(layout.m_newsHeader);
        m_newsScrollBar.MoveWindow(layout.m_newsScrollBar);
        m_newsPanel.MoveWindow(layout.m_newsPanel);
        break;
    case CBookmark::VIEW_FORMS_HOME:
        m_blankSectionList.MoveWindow(layout.m_formSections);
        m_newsScrollBar.MoveWindow(layout.m_newsScrollBar);
        m_newsPanel.MoveWindow(layout.m_newsPanel);
        break;
    default:
        if (CWnd* pBody = GetBodyWindow(m_nBodyKind))
            pBody->MoveWindow(layout.m_body);
        break;
    }
}

void CMainWindow::OnSize(int, int)
{
    RecalcLayout();
}

void CMainWindow::OnUpdateStatus()
{
    const CRegistryConfig& config = m_context.GetRegistryConfig();
    m_statusPanel.OnUpdateStatus(config.GetLastUpdateDay(), config.GetLastUpdateMonth(),
                                 config.GetLastUpdateYear());
    RecalcLayout();
}

void CMainWindow::ReloadContent()
{
    // Nothing may point into the old content once it is freed: the views of
    // the back/forward list go first, then what every window holds of it.
    m_history.Clear();
    m_encyclopedia.ForgetContent();
    m_searchResult.ForgetContent();
    m_searchRegistry.ForgetContent();
    m_blankList.ForgetContent();
    m_blankView.ForgetContent();
    m_context.ReloadData();
    OnUpdateData();
}

void CMainWindow::OnUpdateData()
{
    m_searchPanel.OnUpdateData();
    m_welcome.OnUpdateData();
    m_newsPanel.Reload();
    m_newsCalendar.Refresh();
    m_newsScrollBar.SetMaximum(CNewsScrollBarWnd::kDefaultMaximum);
    m_newsScrollBar.SetPosition(0);
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
        // Within the section view (the navigator, a link of the document)
        // the keyboard stays where the user works; any other view takes it.
        if (CBookmark* pCurrent = m_history.GetCurrent())
        {
            ShowBookmark(*pCurrent, pCurrent->m_nType != CBookmark::VIEW_SECTION ||
                                        m_nBodyKind != CBookmark::VIEW_SECTION);
            // A new search says what it found; Back to it says nothing.
            if (pCurrent->m_nType == CBookmark::VIEW_SEARCH_RESULTS)
                m_searchPanel.AnnounceStatus(m_searchResult.GetSummary());
        }
        UpdateNavigation();
    }
    return true;
}

void CMainWindow::ShowBookmark(CBookmark& bookmark, bool bFocus)
{
    m_searchPanel.HidePrompts();
    if (bookmark.m_nType != m_nBodyKind)
    {
        SetBodyWinKind(bookmark.m_nType);
        RecalcLayout();
    }
    switch (bookmark.m_nType)
    {
    case CBookmark::VIEW_SECTION: m_encyclopedia.ShowBookmark(bookmark); break;
    case CBookmark::VIEW_BOOKMARKS: m_bookmarkList.ShowBookmark(bookmark); break;
    case CBookmark::VIEW_HISTORY: m_historyWin.ShowBookmark(bookmark); break;
    case CBookmark::VIEW_SEARCH_REGISTRY: m_searchRegistry.ShowBookmark(bookmark); break;
    case CBookmark::VIEW_SEARCH_RESULTS: m_searchResult.ShowBookmark(bookmark, true); break;
    case CBookmark::VIEW_TAX_CALENDAR: m_taxCalendar.ShowBookmark(bookmark); break;
    case CBookmark::VIEW_FORMS_HOME: m_blankSectionList.ShowBookmark(bookmark); break;
    case CBookmark::VIEW_FORM_LIST: m_blankList.ShowBookmark(bookmark); break;
    case CBookmark::VIEW_FORM: m_blankView.ShowBookmark(bookmark); break;
    default: m_newsCalendar.ShowBookmark(bookmark); break;
    }
    if (bFocus)
        m_keyboard.FocusView(bookmark.m_nType);
    UpdateNavigation();
    UpdateSearchSample();
    // The view left behind freed its pages, patches and lists: they go back
    // to the system once the new view is shown.
    if (CMessageLoop* pLoop = CMessageLoop::GetCurrent())
        pLoop->PostTask([] { CMemoryPolicy::ReleaseFreed(); });
}

void CMainWindow::UpdateSearchSample()
{
    m_searchPanel.UpdateSearchSample();
}

void CMainWindow::OnBlanks()
{
    GoToBookmark(std::make_unique<CBookmark>(CBookmark::VIEW_FORMS_HOME), true);
}

void CMainWindow::OnActivate(bool bActive)
{
    m_bActive = bActive;
    if (!bActive)
        m_encyclopedia.OnDeactivateApp();
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
    ShowBookmark(*pCurrent, true);
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
        ShowBookmark(*pCurrent, true);
}

bool CMainWindow::IsForeground() const
{
    return m_bActive && IsWindowVisible() && !m_context.IsTrayMode();
}

void CMainWindow::OnDownloadBlank(const std::string& strUrl)
{
    // A form of the library opens in the forms library, with its file.
    if (m_commands.DownloadForm(strUrl))
        m_blankView.OnDownload();
}

void CMainWindow::OnViewFilledBlank(const std::string& strUrl)
{
    m_commands.ViewFilledSample(strUrl, m_encyclopedia.GetCurrentSection());
}

void CMainWindow::SetWaitCursor(bool bWait)
{
    SetFrontEndClass(bWait ? "wait" : "");
    // Shown before the work starts, not with its result.
    if (CWindowManager* pManager = CWindowManager::Get(); bWait && pManager)
        pManager->Flush();
}

void CMainWindow::OnDestroy()
{
    if (CWindowManager* pManager = CWindowManager::Get())
        pManager->GetLoop().Quit(0);
}

void CMainWindow::OnTimer(unsigned nId)
{
    KLOG_DEBUG << "CMainWindow::OnTimer " << nId;
    m_updates.OnTimer(nId);
}

std::intptr_t CMainWindow::WindowProc(unsigned nMsg, std::uintptr_t wParam, std::intptr_t lParam)
{
    switch (nMsg)
    {
    case WM_OPEN_FROM_TRAY: m_tray.ShowFromTray(); return 0;
    case WM_STOP_KALIMOR: m_tray.Quit(); return 0;
    case WM_NEW_CLIENT_URL: m_updates.TakeNewClientUrl(lParam); return 0;
    case WM_CONTENT_SIZE_CHANGED: RecalcLayout(); return 0;
    case WM_SCHEDULED_UPDATE: m_updates.OnScheduledUpdate(); return 0;
    case WM_COMMAND: m_tray.OnCommand(static_cast<unsigned>(wParam)); return 0;
    case WM_SYSCOMMAND:
        if (wParam == SC_APP_UPDATE)
            OnAppUpdate(false);
        if (wParam == SC_APP_ABOUT)
            m_viewers.ShowAboutBox();
        return 0;
    default: return CWnd::WindowProc(nMsg, wParam, lParam);
    }
}
